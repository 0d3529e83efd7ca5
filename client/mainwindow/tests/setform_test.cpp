#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"

namespace {

// Message boxes of one test: recorded and answered with the first button.
struct Boxes {
  std::vector<seams::MsgBoxCall> calls;
  Boxes() {
    seamtest::recordMsgBoxes(calls, seamtest::alwaysOk);
  }
  ~Boxes() {
    seamtest::answerMsgBoxes();
  }
};

using seamtest::fileBytes;

void writeBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

using seamtest::sjis;

class SetFormTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString ini, idPass, server;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath(QStringLiteral("★MailData"));
    paths::setProgramFolder(dir.path());
    ini = paths::resolve(settings::kIniFile);
    idPass = paths::resolve(settings::kIdPassFile);
    server = paths::resolve(settings::kServerFile);
    SmtpServer = PopServer = FromAddress = UserId = UserPassword = QString();
    UseApop = 0;
  }
  void TearDown() override {
    if (GekitaiFormLoaded()) GekitaiForm().Unload();
    if (SetFormLoaded()) SetForm().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    paths::setProgramFolder(QString());
  }
  QString iniValue(const char* key) {
    return profile::readValue(settings::kSection, QString::fromLatin1(key), ini).value_or(QStringLiteral("<none>"));
  }
  QString idValue(const char* key) {
    return profile::readValue(settings::kSection, QString::fromLatin1(key), idPass).value_or(QStringLiteral("<none>"));
  }
};

TEST_F(SetFormTest, LoadFillsTheControlsAndUnloadWritesItsSixKeysOnly) {
  writeBytes(ini, sjis(QStringLiteral("[EXEINI]\r\nNAME8=太郎\r\nNAME9=山田\r\nNAME12=vip@example.jp\r\n"
                                      "NUMBER14=1\r\nNUMBER15=0\r\nNUMBER16=0\r\nNUMBER18=1\r\nNUMBER7=1\r\n"
                                      "[OTHER]\r\nNAME9=keep\r\n")));
  writeBytes(idPass, QByteArray("[EXEINI]\r\nNAME=user1\r\nNAME2=secret\r\nNAME3=1\r\n"));
  SmtpServer = QStringLiteral("smtp.example.jp");
  PopServer = QStringLiteral("pop.example.jp");
  FromAddress = QStringLiteral("me@example.jp");
  UseApop = 1;

  Boxes boxes;
  forms::SetForm& f = SetForm();
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.Caption(), QStringLiteral("設定"));
  EXPECT_EQ(f.IdText->text(), QStringLiteral("user1"));
  EXPECT_EQ(f.PassText->text(), QStringLiteral("secret"));
  EXPECT_EQ(f.PassText->echoMode(), QLineEdit::Password);
  EXPECT_EQ(f.Text2->text(), QStringLiteral("山田"));
  EXPECT_EQ(f.SmtpText->text(), QStringLiteral("smtp.example.jp"));
  EXPECT_EQ(f.Pop3Text->text(), QStringLiteral("pop.example.jp"));
  EXPECT_EQ(f.MailText->text(), QStringLiteral("me@example.jp"));
  EXPECT_TRUE(f.ApopCheck->isChecked());
  EXPECT_EQ(f.Text3->text(), QStringLiteral("vip@example.jp"));
  EXPECT_TRUE(f.Check1->isChecked());
  EXPECT_FALSE(f.Check2->isChecked());
  EXPECT_EQ(f.Text6->text(), QStringLiteral("0"));
  EXPECT_TRUE(f.Check4->isChecked());
  ASSERT_EQ(f.SSTab1->count(), 3);
  EXPECT_EQ(f.SSTab1->tabText(0), QStringLiteral("迷惑"));
  EXPECT_EQ(f.SSTab1->tabText(1), QStringLiteral("サーバー設定"));
  EXPECT_EQ(f.SSTab1->tabText(2), QStringLiteral("ID,PASS"));

  f.Text2->setText(QStringLiteral("山田　花子"));
  f.Text3->setText(QStringLiteral("boss@example.jp"));
  f.Check1->setChecked(false);
  f.Text6->setText(QStringLiteral("12a"));  // kept as typed
  f.Check4->setChecked(false);
  f.SmtpText->setText(QStringLiteral("other.example.jp"));
  f.IdText->setText(QStringLiteral("someone"));
  f.Command5->click();  // "Cansel"
  EXPECT_FALSE(SetFormLoaded());

  EXPECT_EQ(iniValue("NAME9"), QStringLiteral("山田　花子"));
  EXPECT_EQ(iniValue("NAME12"), QStringLiteral("boss@example.jp"));
  EXPECT_EQ(iniValue("NUMBER14"), QStringLiteral("0"));
  EXPECT_EQ(iniValue("NUMBER15"), QStringLiteral("0"));
  EXPECT_EQ(iniValue("NUMBER16"), QStringLiteral("12a"));
  EXPECT_EQ(iniValue("NUMBER18"), QStringLiteral("0"));
  // Other keys and sections, the server file and the account stay as they were.
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("太郎"));
  EXPECT_EQ(iniValue("NUMBER7"), QStringLiteral("1"));
  EXPECT_EQ(profile::readValue(QStringLiteral("OTHER"), QStringLiteral("NAME9"), ini).value_or(QString()),
            QStringLiteral("keep"));
  EXPECT_FALSE(QFile::exists(server));
  EXPECT_EQ(SmtpServer, QStringLiteral("smtp.example.jp"));
  EXPECT_EQ(fileBytes(idPass), QByteArray("[EXEINI]\r\nNAME=user1\r\nNAME2=secret\r\nNAME3=1\r\n"));
  EXPECT_TRUE(boxes.calls.empty());

  // Loaded again, the window reads what its closing wrote; the dropped
  // server edit comes back from the module variable.
  EXPECT_EQ(SetForm().Text6->text(), QStringLiteral("12"));
  EXPECT_EQ(SetForm().SmtpText->text(), QStringLiteral("smtp.example.jp"));
  EXPECT_EQ(SetForm().IdText->text(), QStringLiteral("user1"));
}

TEST_F(SetFormTest, MissingFilesGiveTheDesignDefaults) {
  forms::SetForm& f = SetForm();
  EXPECT_EQ(f.IdText->text(), QString());
  EXPECT_EQ(f.Text2->text(), QString());
  EXPECT_EQ(f.Text6->text(), QStringLiteral("0"));
  EXPECT_FALSE(f.Check1->isChecked());
  EXPECT_FALSE(f.Check2->isChecked());
  EXPECT_FALSE(f.Check4->isChecked());
  EXPECT_FALSE(f.ApopCheck->isChecked());
  EXPECT_TRUE(f.Text6->isEnabled());
  EXPECT_TRUE(f.Check2->isEnabled());
}

TEST_F(SetFormTest, SwitchKeysApplyOnlyZeroOrOne) {
  struct Case {
    const char* value;
    bool ticked;
  } cases[] = {{"1", true}, {"0", false}, {"2", false}, {"-1", false}, {"abc", false}};
  for (const Case& c : cases) {
    writeBytes(ini, QByteArray("[EXEINI]\r\nNUMBER14=") + c.value + "\r\nNUMBER18=" + c.value + "\r\n");
    forms::SetForm& f = SetForm();
    EXPECT_EQ(f.Check1->isChecked(), c.ticked) << c.value;
    EXPECT_EQ(f.Check4->isChecked(), c.ticked) << c.value;
    f.Unload();
  }
}

TEST_F(SetFormTest, SettingButtonWritesExactlyTheFourServerLines) {
  Boxes boxes;
  writeBytes(server, QByteArray("SMTP=old\r\nPOP3=old\r\nMAIL=old\r\nAPOP= 0\r\nEXTRA=1\r\n"));
  forms::SetForm& f = SetForm();
  f.SmtpText->setText(QStringLiteral("smtp.example.jp"));
  f.Pop3Text->setText(QStringLiteral("pop.example.jp"));
  f.MailText->setText(QStringLiteral("me@example.jp"));
  f.ApopCheck->setChecked(true);
  f.OkCommand->click();
  EXPECT_EQ(fileBytes(server),
            QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP= 1\r\n"));
  EXPECT_EQ(SmtpServer, QStringLiteral("smtp.example.jp"));
  EXPECT_EQ(PopServer, QStringLiteral("pop.example.jp"));
  EXPECT_EQ(FromAddress, QStringLiteral("me@example.jp"));
  EXPECT_EQ(UseApop, 1);
  EXPECT_TRUE(SetFormLoaded());  // the window stays open
  EXPECT_TRUE(boxes.calls.empty());

  f.ApopCheck->setChecked(false);
  f.SmtpText->clear();
  f.OkCommand->click();
  EXPECT_EQ(fileBytes(server), QByteArray("SMTP=\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP= 0\r\n"));
  EXPECT_EQ(UseApop, 0);
}

TEST_F(SetFormTest, CancelDropsServerEditsButKeepsTheVipAddress) {
  writeBytes(server, QByteArray("SMTP=a\r\nPOP3=b\r\nMAIL=c\r\nAPOP= 0\r\n"));
  SmtpServer = QStringLiteral("a");
  forms::SetForm& f = SetForm();
  f.SmtpText->setText(QStringLiteral("changed"));
  f.Text3->setText(QStringLiteral("vip@example.jp"));
  f.CancelCommand->click();  // "中止"
  EXPECT_FALSE(SetFormLoaded());
  EXPECT_EQ(fileBytes(server), QByteArray("SMTP=a\r\nPOP3=b\r\nMAIL=c\r\nAPOP= 0\r\n"));
  EXPECT_EQ(SmtpServer, QStringLiteral("a"));
  EXPECT_EQ(iniValue("NAME12"), QStringLiteral("vip@example.jp"));
}

TEST_F(SetFormTest, ValuesLongerThanTheServerFileGivesBackAreKeptAndToldOf) {
  Boxes boxes;
  forms::SetForm& f = SetForm();
  const QString longName = QString(120, u's');
  f.SmtpText->setText(longName);
  f.Pop3Text->setText(QString(100, u'p'));  // exactly 100: read back whole
  f.OkCommand->click();
  EXPECT_EQ(f.SmtpText->text(), longName);
  EXPECT_EQ(SmtpServer, longName);
  EXPECT_TRUE(fileBytes(server).startsWith("SMTP=" + longName.toLatin1() + "\r\n"));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_TRUE(boxes.calls[0].prompt.contains(QStringLiteral("SMTPサーバー名")));
  EXPECT_FALSE(boxes.calls[0].prompt.contains(QStringLiteral("POP3")));
  EXPECT_TRUE(boxes.calls[0].prompt.contains(QStringLiteral("100文字")));
}

TEST_F(SetFormTest, OkSavesTheAccountByTheSaveSwitch) {
  struct Case {
    const char* name;
    QByteArray before;  // iniIdPass.ini before, empty: missing
    bool save;
    const char* id;  // NAME, NAME2, NAME3 afterwards ("<none>": missing)
    const char* pass;
    const char* flag;
  } cases[] = {
      {"save over old", "[EXEINI]\r\nNAME=old\r\nNAME2=oldpw\r\nNAME3=1\r\n", true, "newid", "newpw", "1"},
      {"save into missing file", "", true, "newid", "newpw", "1"},
      {"no save keeps old", "[EXEINI]\r\nNAME=old\r\nNAME2=oldpw\r\nNAME3=1\r\n", false, "old", "oldpw", "0"},
      {"no save, no file", "", false, "<none>", "<none>", "0"},
  };
  for (const Case& c : cases) {
    QFile::remove(idPass);
    if (!c.before.isEmpty()) writeBytes(idPass, c.before);
    UserId = UserPassword = QString();
    forms::SetForm& f = SetForm();
    f.IdText->setText(QStringLiteral("newid"));
    f.PassText->setText(QStringLiteral("newpw"));
    f.Check3->setChecked(c.save);
    f.Command6->click();
    EXPECT_EQ(UserId, QStringLiteral("newid")) << c.name;
    EXPECT_EQ(UserPassword, QStringLiteral("newpw")) << c.name;
    EXPECT_EQ(idValue("NAME"), QString::fromLatin1(c.id)) << c.name;
    EXPECT_EQ(idValue("NAME2"), QString::fromLatin1(c.pass)) << c.name;
    EXPECT_EQ(idValue("NAME3"), QString::fromLatin1(c.flag)) << c.name;
    EXPECT_TRUE(SetFormLoaded()) << c.name;
    f.Unload();
  }
}

TEST_F(SetFormTest, IntervalAndHangUpExcludeEachOther) {
  forms::SetForm& f = SetForm();
  f.Check2->setChecked(true);
  EXPECT_FALSE(f.Text6->isEnabled());
  f.Check2->setChecked(false);
  EXPECT_TRUE(f.Text6->isEnabled());

  struct Step {
    const char* text;
    const char* shown;  // the box's text afterwards
    bool hangUpEnabled;
  } steps[] = {
      {"5", "5", false},  {"", "0", true},     {"10", "10", false}, {"-3", "-3", false},
      {"abc", "abc", false}, {"0", "0", true}, {"-3", "-3", true},  {"x", "x", true},
  };
  for (const Step& s : steps) {
    f.Text6->setText(QString::fromLatin1(s.text));
    EXPECT_EQ(f.Text6->text(), QString::fromLatin1(s.shown)) << s.text;
    EXPECT_EQ(f.Check2->isEnabled(), s.hangUpEnabled) << s.text;
  }
}

TEST_F(SetFormTest, BothSwitchedOnInTheFileLeavesOneControlUsable) {
  writeBytes(ini, QByteArray("[EXEINI]\r\nNUMBER15=1\r\nNUMBER16=10\r\n"));
  forms::SetForm& f = SetForm();
  EXPECT_TRUE(f.Check2->isChecked());
  EXPECT_EQ(f.Text6->text(), QStringLiteral("10"));
  EXPECT_FALSE(f.Text6->isEnabled());
  EXPECT_TRUE(f.Check2->isEnabled());
  // Clearing the hang-up frees the interval, which then locks the hang-up.
  f.Check2->setChecked(false);
  EXPECT_TRUE(f.Text6->isEnabled());
  EXPECT_FALSE(f.Check2->isEnabled());
  f.Text6->setText(QStringLiteral("0"));
  EXPECT_TRUE(f.Check2->isEnabled());
}

TEST_F(SetFormTest, LoadLocksTheHangUpWhileAnIntervalRuns) {
  writeBytes(ini, QByteArray("[EXEINI]\r\nNUMBER15=0\r\nNUMBER16=7\r\n"));
  forms::SetForm& f = SetForm();
  EXPECT_EQ(f.Text6->text(), QStringLiteral("7"));
  EXPECT_TRUE(f.Text6->isEnabled());
  EXPECT_FALSE(f.Check2->isEnabled());
  f.Unload();
  writeBytes(ini, QByteArray("[EXEINI]\r\nNUMBER15=1\r\nNUMBER16=0\r\n"));
  forms::SetForm& g = SetForm();
  EXPECT_FALSE(g.Text6->isEnabled());
  EXPECT_TRUE(g.Check2->isEnabled());
}

TEST_F(SetFormTest, SpamButtonShowsTheKeywordWindow) {
  forms::SetForm& f = SetForm();
  f.Command4->click();
  ASSERT_TRUE(GekitaiFormLoaded());
  EXPECT_TRUE(GekitaiForm().isVisible());
}

// With the main window up (as whenever the client runs): the sender display
// text is copied live, "設定" refreshes the own address, and the keyword
// window places its help box by the main window's help switch. The main
// window stays loaded to the end of the process (closing it ends the
// program).
TEST_F(SetFormTest, WithTheMainWindowTheLiveCopiesFollow) {
  if (MainFormLoaded()) GTEST_SKIP() << "the main window of an earlier test is still up";
  writeBytes(ini, sjis(QStringLiteral("[EXEINI]\r\nNAME9=山田\r\nNAME10=\r\nNUMBER7=1\r\n")));
  writeBytes(server, QByteArray("SMTP=s\r\nPOP3=p\r\nMAIL=old@example.jp\r\nAPOP= 0\r\n"));
  Boxes boxes;
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  forms::MainForm& m = MainForm();
  forms::SetForm& f = SetForm();
  EXPECT_EQ(m.Text7->text(), QStringLiteral("山田"));
  EXPECT_EQ(m.Text8->text(), QStringLiteral("old@example.jp"));
  EXPECT_EQ(f.MailText->text(), QStringLiteral("old@example.jp"));

  f.Text2->clear();
  EXPECT_EQ(m.Text7->text(), QString());
  f.Text2->insert(QStringLiteral("花"));
  EXPECT_EQ(m.Text7->text(), QStringLiteral("花"));
  f.Text2->insert(QStringLiteral("子"));
  EXPECT_EQ(m.Text7->text(), QStringLiteral("花子"));

  f.MailText->setText(QStringLiteral("new@example.jp"));
  f.OkCommand->click();
  EXPECT_EQ(m.Text8->text(), QStringLiteral("new@example.jp"));
  EXPECT_EQ(FromAddress, QStringLiteral("new@example.jp"));

  ASSERT_TRUE(m.Check1->isChecked());
  EXPECT_EQ(GekitaiForm().Text2->y(), ui::px(3480));
  GekitaiForm().Unload();
  m.Check1->setChecked(false);
  EXPECT_LT(GekitaiForm().Text2->geometry().bottom(), 0);
  EXPECT_TRUE(boxes.calls.empty());
}

// Every box whose text goes into a settings file refuses, with a message, a
// pasted or typed text that one line of the file cannot hold; what the box
// held stays, and every file gets back exactly what the boxes show.
TEST_F(SetFormTest, BoxesWrittenToSettingsFilesRefuseLineBreaksAndUnstorableCharacters) {
  writeBytes(ini, sjis(QStringLiteral("[EXEINI]\r\nNAME9=山田\r\nNAME12=vip@example.jp\r\nNUMBER16=5\r\n")));
  writeBytes(idPass, QByteArray("[EXEINI]\r\nNAME=user1\r\nNAME2=secret\r\nNAME3=1\r\n"));
  SmtpServer = QStringLiteral("smtp.example.jp");
  PopServer = QStringLiteral("pop.example.jp");
  FromAddress = QStringLiteral("me@example.jp");
  Boxes boxes;
  forms::SetForm& f = SetForm();
  f.Show();
  struct Pasted {
    QString text;
    QString told;  // what the message says
  } pasted[] = {
      {QStringLiteral("evil.example.jp\r\nPOP3=evil.example.jp"), QStringLiteral("改行を入力できません")},
      {QStringLiteral("x\n"), QStringLiteral("改行を入力できません")},
      {QStringLiteral("\r"), QStringLiteral("改行を入力できません")},
      {QStringLiteral("caf\u00e9"), QStringLiteral("「\u00e9」はShift-JISで保存できない文字")},
      {QStringLiteral("a\U0001F600"), QStringLiteral("「\U0001F600」はShift-JISで保存できない文字")},
  };
  QLineEdit* const stored[] = {f.Text3, f.Text2, f.Text6, f.SmtpText, f.Pop3Text, f.MailText, f.IdText, f.PassText};
  for (QLineEdit* box : stored) {
    f.SSTab1->setCurrentWidget(box->parentWidget()->parentWidget());
    const QString before = box->text();
    for (const Pasted& p : pasted) {
      SCOPED_TRACE(box->objectName().toStdString() + " " + p.text.toStdString());
      boxes.calls.clear();
      box->setFocus();
      box->end(false);
      QApplication::clipboard()->setText(p.text);
      QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
      QCoreApplication::processEvents();
      EXPECT_EQ(box->text(), before);
      ASSERT_EQ(boxes.calls.size(), 1u);
      EXPECT_TRUE(boxes.calls[0].prompt.contains(p.told)) << boxes.calls[0].prompt.toStdString();
      EXPECT_EQ(boxes.calls[0].buttons & seams::vbExclamation, seams::vbExclamation);
    }
    // A clean paste goes in as it stands, without a word.
    boxes.calls.clear();
    QApplication::clipboard()->setText(QStringLiteral("7"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), before + u'7') << box->objectName().toStdString();
    EXPECT_TRUE(boxes.calls.empty());
  }
  f.Check3->setChecked(true);
  QTest::mouseClick(f.Command6, Qt::LeftButton);
  QTest::mouseClick(f.OkCommand, Qt::LeftButton);
  QTest::mouseClick(f.Command5, Qt::LeftButton);
  ASSERT_FALSE(SetFormLoaded());
  EXPECT_TRUE(boxes.calls.empty());
  EXPECT_EQ(fileBytes(server),
            QByteArray("SMTP=smtp.example.jp7\r\nPOP3=pop.example.jp7\r\nMAIL=me@example.jp7\r\nAPOP= 0\r\n"));
  EXPECT_EQ(fileBytes(idPass), QByteArray("[EXEINI]\r\nNAME=user17\r\nNAME2=secret7\r\nNAME3=1\r\n"));
  EXPECT_EQ(iniValue("NAME12"), QStringLiteral("vip@example.jp7"));
  EXPECT_EQ(iniValue("NAME9"), QStringLiteral("山田7"));
  EXPECT_EQ(iniValue("NUMBER16"), QStringLiteral("57"));
}

// "設定" takes no value that one line of the server file cannot hold, even
// one the program put into a box: the file and the servers stay as they
// were and the message names the box.
TEST_F(SetFormTest, SettingButtonRefusesAValueWithALineBreak) {
  const QByteArray before("SMTP=s\r\nPOP3=p\r\nMAIL=m\r\nAPOP= 0\r\n");
  writeBytes(server, before);
  SmtpServer = QStringLiteral("s");
  PopServer = QStringLiteral("p");
  FromAddress = QStringLiteral("m");
  Boxes boxes;
  forms::SetForm& f = SetForm();
  f.Pop3Text->setText(QStringLiteral("p\r\nPOP3=evil.example.jp"));
  f.OkCommand->click();
  EXPECT_EQ(fileBytes(server), before);
  EXPECT_EQ(PopServer, QStringLiteral("p"));
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_TRUE(boxes.calls[0].prompt.startsWith(QStringLiteral("POP3サーバー名："))) << boxes.calls[0].prompt.toStdString();
  EXPECT_TRUE(boxes.calls[0].prompt.contains(QStringLiteral("保存していません")));
  // The server file itself takes no line break from any caller.
  PopServer = QStringLiteral("p\nPOP3=evil");
  EXPECT_FALSE(settings::saveServerSettings());
  EXPECT_EQ(fileBytes(server), before);
}

// Settings files made read-only keep what they hold: closing the window and
// "設定" leave them byte for byte (and read-only), and "設定" says so.
TEST_F(SetFormTest, ReadOnlySettingsFilesAreLeftAsTheyAre) {
  const QByteArray iniBefore = sjis(QStringLiteral("[EXEINI]\r\nNAME9=山田\r\nNAME12=vip@example.jp\r\n"));
  const QByteArray serverBefore("SMTP=s\r\nPOP3=p\r\nMAIL=m\r\nAPOP= 0\r\n");
  writeBytes(ini, iniBefore);
  writeBytes(server, serverBefore);
  const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
  ASSERT_TRUE(QFile::setPermissions(ini, readOnly));
  ASSERT_TRUE(QFile::setPermissions(server, readOnly));
  Boxes boxes;
  forms::SetForm& f = SetForm();
  f.Show();
  f.SSTab1->setCurrentIndex(1);
  f.Pop3Text->selectAll();
  QTest::keyClicks(f.Pop3Text, QStringLiteral("other.example.jp"));
  QTest::mouseClick(f.OkCommand, Qt::LeftButton);
  ASSERT_EQ(boxes.calls.size(), 1u);
  EXPECT_TRUE(boxes.calls[0].prompt.startsWith(QStringLiteral("サーバー設定を保存できませんでした。")));
  f.SSTab1->setCurrentIndex(2);
  f.Text3->selectAll();
  QTest::keyClicks(f.Text3, QStringLiteral("boss@example.jp"));
  QTest::mouseClick(f.Command5, Qt::LeftButton);
  ASSERT_FALSE(SetFormLoaded());
  EXPECT_EQ(fileBytes(ini), iniBefore);
  EXPECT_EQ(fileBytes(server), serverBefore);
  const auto writable = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
  EXPECT_FALSE(QFile::permissions(ini) & writable);
  EXPECT_FALSE(QFile::permissions(server) & writable);
}

}  // namespace
