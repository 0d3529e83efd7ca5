// The program start and end around the main window.
#include <QProcess>
#include <QSysInfo>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "client/composer/writeform.h"
#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"

using namespace mainformtest;

namespace {

const char* const kFolders[] = {"★MailData", "★MailData/DATA/Ddata/DATA", "★MailData/DATA/Edata", "添付フォルダ",
                                "■TextQuickSave"};

}  // namespace

TEST_F(MainFormTest, FirstStartOnAnEmptyFolder) {
  forms::MainForm& f = MainForm();
  for (const char* file : {"xqmdata2.data", "xqmdata5.data", "xqmdata80.data"}) {
    const QFileInfo fi(dir.path() + QStringLiteral("/★MailData/") + QString::fromLatin1(file));
    EXPECT_TRUE(fi.exists()) << file;
    EXPECT_EQ(fi.size(), 0) << file;
  }
  for (const char* folder : kFolders) EXPECT_TRUE(QDir(dir.path() + u'/' + QString::fromUtf8(folder)).exists()) << folder;
  EXPECT_EQ(f.Text3->text(), QStringLiteral("0"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
  EXPECT_EQ(f.Text15->text(), QStringLiteral("0"));
  EXPECT_EQ(f.Text1->text(), QStringLiteral("QzvKmuTel"));
  EXPECT_EQ(f.Text14->text(), QStringLiteral("0"));
  EXPECT_EQ(f.Text5->text(), QStringLiteral("0"));
  EXPECT_EQ(f.timeLabel1->text(), QStringLiteral("0"));
  EXPECT_FALSE(f.Label25->isVisibleTo(&f));
  EXPECT_FALSE(f.Picture1->isVisibleTo(&f));
  EXPECT_FALSE(f.Command3->isVisibleTo(&f));
  // No settings file yet: no copy for the fourth accessory.
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini"))));
  // The settings window and the composer are loaded, hidden.
  EXPECT_TRUE(SetFormLoaded());
  EXPECT_FALSE(SetForm().isVisible());
  EXPECT_TRUE(WriteFormLoaded());
  EXPECT_FALSE(WriteForm().isVisible());
  EXPECT_FALSE(WriteForm().Check1->isChecked());
  EXPECT_TRUE(f.Label13->isEnabled());
  EXPECT_FALSE(f.Label14->isEnabled());
  // No NAME10 at all: the secret default is the password.
  EXPECT_EQ(f.Text13->text(), QStringLiteral("QzvKmuTel"));
  EXPECT_TRUE(f.startHidden());
  // The race field shows the water and the boats rest at the start line.
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(race::BoatX[k], 510);
  EXPECT_EQ(f.picMain->image.size(), QSize(560, 192));
  EXPECT_TRUE(f.Timer->isActive());
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_TRUE(f.Timer2->isActive());
}

TEST_F(MainFormTest, UserNameAndStartPasswordKeys) {
  struct Case {
    const char* name;
    QStringList ini;
    QString text1, text13;
    bool hidden;
  } cases[] = {
      {"NAME8 missing", {QStringLiteral("NAME10=")}, QStringLiteral("QzvKmuTel"), QString(), false},
      {"NAME8 empty", {QStringLiteral("NAME8="), QStringLiteral("NAME10=")}, QStringLiteral("QzvKmuTel"), QString(), false},
      {"NAME8 set", {QStringLiteral("NAME8=山田　花子"), QStringLiteral("NAME10=")}, QStringLiteral("山田　花子"), QString(), false},
      {"NAME10 missing", {QStringLiteral("NAME8=x")}, QStringLiteral("x"), QStringLiteral("QzvKmuTel"), true},
      {"NAME10 set", {QStringLiteral("NAME10=Pass word")}, QStringLiteral("QzvKmuTel"), QStringLiteral("Pass word"), true},
  };
  for (const Case& c : cases) {
    writeIni(c.ini);
    forms::MainForm& f = MainForm();
    EXPECT_EQ(f.Text1->text(), c.text1) << c.name;
    EXPECT_EQ(f.Text13->text(), c.text13) << c.name;
    EXPECT_EQ(f.startHidden(), c.hidden) << c.name;
    EXPECT_FALSE(f.isVisible()) << c.name;  // the program shows it after the load
    if (c.hidden) {
      EXPECT_FALSE(f.Label14->isEnabled()) << c.name;
    }
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(MainFormTest, CountsComeFromTheFileLengths) {
  writeFile(dir.path() + QStringLiteral("/★MailData/xqmdata2.data"), QByteArray(2 * 32284, ' '));
  writeFile(dir.path() + QStringLiteral("/★MailData/xqmdata5.data"), QByteArray(3 * 32284, ' '));
  writeFile(dir.path() + QStringLiteral("/★MailData/xqmdata80.data"), QByteArray(1 * 32284, ' '));
  forms::MainForm& f = start({QStringLiteral("NUMBER28=10")});
  EXPECT_EQ(f.Text3->text(), QStringLiteral("2"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("3"));
  EXPECT_EQ(f.Text15->text(), QStringLiteral("1"));
  EXPECT_EQ(f.Text14->text(), QStringLiteral("10"));
}

TEST_F(MainFormTest, HoverHelpSwitchPlacesTheHelpBox) {
  struct Case {
    const char* value;
    bool ticked;
    int top;
  } cases[] = {{"1", true, 20}, {"0", false, 1000}, {"2", false, 20}};  // 2: design state
  for (const Case& c : cases) {
    forms::MainForm& f = start({QStringLiteral("NUMBER7=") + QString::fromLatin1(c.value)});
    EXPECT_EQ(f.Check1->isChecked(), c.ticked) << c.value;
    EXPECT_EQ(f.Picture1->y(), c.top) << c.value;
    EXPECT_FALSE(f.Picture1->isVisibleTo(&f)) << c.value;
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(MainFormTest, ServerSettingsAndSettingsWindowValues) {
  writeFile(dir.path() + QStringLiteral("/xqmail.ini"),
            QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP= 1\r\n"));
  forms::MainForm& f = start({QStringLiteral("NAME12=boss@example.jp"), QStringLiteral("NAME9=山田")});
  EXPECT_EQ(f.Text8->text(), QStringLiteral("me@example.jp"));
  EXPECT_EQ(f.Text7->text(), QStringLiteral("山田"));
  EXPECT_EQ(SetForm().Text3->text(), QStringLiteral("boss@example.jp"));
  EXPECT_EQ(SetForm().SmtpText->text(), QStringLiteral("smtp.example.jp"));
  EXPECT_EQ(SetForm().Pop3Text->text(), QStringLiteral("pop.example.jp"));
  EXPECT_EQ(SetForm().MailText->text(), QStringLiteral("me@example.jp"));
  EXPECT_TRUE(SetForm().ApopCheck->isChecked());
  EXPECT_EQ(FromAddress, QStringLiteral("me@example.jp"));
  EXPECT_EQ(f.CommonDialogInitDir, QDir::currentPath());
}

TEST_F(MainFormTest, SettingsCopyForTheFourthAccessoryIsByteEqual) {
  writeIni({QStringLiteral("NAME10="), QStringLiteral("NAME8=ルボ"), QStringLiteral("NUMBER28=7")});
  const QByteArray before = fileBytes(ini());
  // The folder is made when missing; the copy is taken before the start-up
  // writes NUMBER13 into the settings file.
  MainForm();
  EXPECT_EQ(fileBytes(path(QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini"))), before);
  EXPECT_EQ(iniValue("NUMBER13"), QStringLiteral("0"));
  destroyWindows();
  startup::releaseInstanceLock();

  // A stale copy is replaced.
  writeFile(dir.path() + QStringLiteral("/★MailData/DATA/Ddata/DATA/ini.ini"), QByteArray("old"));
  MainForm();
  EXPECT_EQ(fileBytes(path(QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini"))), fileBytes(ini()));
}

// Another process that holds the instance lock until it is killed.
class LockHolder {
 public:
  explicit LockHolder(const QString& lockFile) {
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                   QStringLiteral("exec 9>>\"$1\" && flock -n 9 && echo locked && exec sleep 60"),
                                   QStringLiteral("sh"), lockFile});
    held = p.waitForReadyRead(10000) && p.readAllStandardOutput().startsWith("locked");
  }
  // Ends the holder as a crash does: no chance to clean anything up.
  void crash() {
    p.kill();
    p.waitForFinished();
  }
  ~LockHolder() { crash(); }
  bool held = false;

 private:
  QProcess p;
};

TEST_F(MainFormTest, SecondInstanceEndsAtOnceWithoutWritingSettings) {
  // Another running instance holds the lock.
  QDir().mkpath(dir.path() + QStringLiteral("/★MailData"));
  LockHolder other(startup::instanceLockPath());
  ASSERT_TRUE(other.held);
  writeIni({QStringLiteral("NAME10="), QStringLiteral("NAME8=first"), QStringLiteral("NUMBER7=1")});
  const QByteArray before = fileBytes(ini());
  EXPECT_THROW(MainForm(), ui::EndCalled);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(boxes.empty());
  // The copy was refreshed; nothing was written after it.
  EXPECT_EQ(fileBytes(path(QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini"))), before);
  EXPECT_EQ(fileBytes(ini()), before);
  EXPECT_FALSE(SetFormLoaded());

  // The other instance ends without a word (killed): its lock goes with it.
  destroyWindows();
  other.crash();
  EXPECT_NO_THROW(MainForm());
  EXPECT_EQ(ends, 1);
}

TEST_F(MainFormTest, LockFileLeftByAnotherRunOrMachineDoesNotBlock) {
  // What a lock file holds does not count: a run that ended (here or on the
  // machine the folder was copied from) leaves nothing that blocks.
  QProcess p;
  p.start(QStringLiteral("true"), {});
  ASSERT_TRUE(p.waitForFinished());
  const qint64 dead = p.processId() > 0 ? p.processId() : 999999;
  QDir().mkpath(dir.path() + QStringLiteral("/★MailData"));
  const QString contents[] = {
      QStringLiteral("%1\nRuvoMail\n%2\n").arg(dead).arg(QSysInfo::machineHostName()),
      QStringLiteral("1\nRuvoMail\nanother-machine\n0123456789abcdef\n"),
  };
  for (const QString& c : contents) {
    writeFile(startup::instanceLockPath(), c.toUtf8());
    writeIni({QStringLiteral("NAME10=")});
    EXPECT_NO_THROW(MainForm()) << c.toStdString();
    EXPECT_EQ(ends, 0);
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

// The lock takes no write access to an old lock file: one left read-only,
// by another user, as a folder or as a link that leads nowhere does not
// block the start, and the start still keeps every other start out.
TEST_F(MainFormTest, LockFileThatCannotBeWrittenDoesNotBlock) {
  QDir().mkpath(dir.path() + QStringLiteral("/★MailData"));
  const QString lock = startup::instanceLockPath();
  const QByteArray native = QFile::encodeName(lock);
  struct Case {
    const char* name;
    std::function<void()> make;
  } cases[] = {
      {"read-only file",
       [&] {
         writeFile(lock, QByteArray("old"));
         ASSERT_TRUE(QFile::setPermissions(lock, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
       }},
      {"another user's private file",
       [&] {
         writeFile(lock, QByteArray("old"));
         ASSERT_EQ(::chmod(native.constData(), 0600), 0);
         if (::geteuid() == 0) ASSERT_EQ(::chown(native.constData(), 65534, 65534), 0);
       }},
      {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(lock)); }},
      {"a link to itself", [&] { ASSERT_EQ(::symlink(native.constData(), native.constData()), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(lock);
    QDir().rmdir(lock);
    c.make();
    writeIni({QStringLiteral("NAME10=")});
    boxes.clear();
    EXPECT_NO_THROW(MainForm());
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? std::string() : boxes[0].prompt.toStdString());
    // Another start finds the lock held.
    QProcess other;
    other.start(QStringLiteral("flock"), {QStringLiteral("-n"), lock, QStringLiteral("true")});
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_NE(other.exitCode(), 0);
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

// Settings that are there but cannot be read are told before the end; they
// are not taken for missing ones (no prompt for the default password) and
// nothing is written over them or beside them.
TEST_F(MainFormTest, UnreadableSettingsFileIsToldAndLeftAlone) {
  const QString data = dir.path() + QStringLiteral("/★MailData");
  const QString copy = data + QStringLiteral("/DATA/Ddata/DATA/ini.ini");
  struct Case {
    const char* name;
    bool asFolder;
  } cases[] = {{"a folder of that name", true}, {"no read permission", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.asFolder && ::geteuid() == 0) continue;  // the superuser reads any file
    QDir(data).removeRecursively();
    QDir().mkpath(data + QStringLiteral("/DATA/Ddata/DATA"));
    writeFile(copy, QByteArray("[EXEINI]\r\nNAME10=old copy\r\n"));
    if (c.asFolder) {
      ASSERT_TRUE(QDir().mkpath(ini()));
    } else {
      writeIni({QStringLiteral("NAME10=secret")});
      ASSERT_TRUE(QFile::setPermissions(ini(), QFileDevice::Permissions()));
    }
    boxes.clear();
    ends = 0;
    EXPECT_THROW(MainForm(), ui::EndCalled);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("を読み込めないため、起動できません"))) << boxes[0].prompt.toStdString();
    EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("ini.ini")));
    EXPECT_EQ(boxes[0].buttons & seams::vbCritical, seams::vbCritical);
    EXPECT_FALSE(KidouFormLoaded());
    EXPECT_FALSE(SetFormLoaded());
    EXPECT_EQ(fileBytes(copy), QByteArray("[EXEINI]\r\nNAME10=old copy\r\n"));
    if (c.asFolder) {
      EXPECT_TRUE(QFileInfo(ini()).isDir());
      EXPECT_TRUE(QDir(ini()).isEmpty());
    } else {
      QFile::setPermissions(ini(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
      EXPECT_EQ(fileBytes(ini()), sjis(QStringLiteral("[EXEINI]\r\nNAME10=secret\r\n")));
    }
    EXPECT_TRUE(QDir(data).entryList({QStringLiteral("ini.ini.~*")}, QDir::AllEntries | QDir::Hidden).isEmpty());
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(MainFormTest, DataFolderThatCannotBeWrittenIsToldBeforeTheEnd) {
  // A file stands where the data folder should be.
  writeFile(dir.path() + QStringLiteral("/★MailData"), QByteArray("not a folder"));
  EXPECT_THROW(MainForm(), ui::EndCalled);
  EXPECT_EQ(ends, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("書き込めないため、起動できません"))) << boxes[0].prompt.toStdString();
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("★MailData")));
  EXPECT_EQ(boxes[0].buttons & seams::vbCritical, seams::vbCritical);
}

TEST_F(MainFormTest, StartRemovesTemporariesOfInterruptedSettingsWrites) {
  QDir().mkpath(dir.path() + QStringLiteral("/★MailData"));
  const QString data = dir.path() + QStringLiteral("/★MailData/");
  const QString leftovers[] = {data + QStringLiteral("ini.ini.~4242-0"), data + QStringLiteral("iniIdPass.ini.~17-3"),
                               dir.path() + QStringLiteral("/xqmail.ini.~9-12")};
  for (const QString& f : leftovers) writeFile(f, QByteArray("[EXEINI]\r\nNAME10=secret\r\n"));
  // Files that only look alike stay.
  const QString others[] = {data + QStringLiteral("ini.ini.~backup"), data + QStringLiteral("r.cfg.~1-1")};
  for (const QString& f : others) writeFile(f, QByteArray("x"));
  start();
  for (const QString& f : leftovers) EXPECT_FALSE(QFile::exists(f)) << f.toStdString();
  for (const QString& f : others) EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
}

TEST_F(MainFormTest, ClosingWritesNameAndHelpSwitchAndEnds) {
  forms::MainForm& f = start({QStringLiteral("NUMBER7=0")});
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("<none>"));
  closeMain();
  EXPECT_EQ(ends, 1);
  // The name shown is written even when it is the default.
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("QzvKmuTel"));
  EXPECT_EQ(iniValue("NUMBER7"), QStringLiteral("0"));
  destroyWindows();
  startup::releaseInstanceLock();

  forms::MainForm& g = start();
  g.Text1->setText(QStringLiteral("佐藤"));
  g.Check1->setChecked(true);
  closeMain();
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("佐藤"));
  EXPECT_EQ(iniValue("NUMBER7"), QStringLiteral("1"));
  (void)f;
}

TEST_F(MainFormTest, EndMenuWritesNothing) {
  forms::MainForm& f = start();
  f.Text1->setText(QStringLiteral("changed"));
  EXPECT_THROW(f.mend->trigger(), ui::EndCalled);
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("<none>"));
}

TEST_F(MainFormTest, SharedSettingsFileKeepsNameTenEmpty) {
  // The settings file the build lays out: a new user is not asked for a
  // start-up password, while a missing key still means the secret default.
  const QByteArray shipped = fileBytes(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/../../../assets/client/ini.ini"));
  ASSERT_FALSE(shipped.isEmpty());
  writeFile(dir.path() + QStringLiteral("/★MailData/ini.ini"), shipped);
  forms::MainForm& f = MainForm();
  EXPECT_FALSE(f.startHidden());
  EXPECT_TRUE(f.Text13->text().isEmpty());
}
