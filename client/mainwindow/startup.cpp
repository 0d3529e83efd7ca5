// The start and end of the client: the main window's loading (the data
// folders, the copy of the settings for the fourth accessory, the
// one-instance lock, the counters, the mail library started) and its
// unloading, which ends the program.

#include "client/mainwindow/startup.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/history/listpaint.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/playsound.h"
#include "client/mainwindow/race.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startpassword.h"
#include "nmail/nmail.h"
#include "platform/oserror.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"

namespace startup {
namespace {

// The open lock file while this instance holds its lock; -1 when none.
int lockFd = -1;

const QString kAccessoryCopy = QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini");

}  // namespace

void mailLibraryStart() {
  NMailInitializeWinSock();
  NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, 8192);
  // The windows keep answering while the library waits on the server.
  mailwait::install();
}

void mailLibraryEnd() { NMailEndWinSock(); }

const QStringList& dataFolders() {
  static const QStringList f = {
      QStringLiteral("\\★MailData"),
      QStringLiteral("\\★MailData\\DATA\\Adata"),
      QStringLiteral("\\★MailData\\DATA\\Bdata"),
      QStringLiteral("\\★MailData\\DATA\\Cdata"),
      QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA"),
      QStringLiteral("\\★MailData\\DATA\\Edata"),
      QStringLiteral("\\添付フォルダ"),
      QStringLiteral("\\■TextQuickSave"),
  };
  return f;
}

void ensureDataFolders() {
  for (const QString& f : dataFolders()) paths::ensureFolder(f);
}

bool refreshAccessoryCopy() {
  const QString copy = paths::resolve(kAccessoryCopy);
  QFile::remove(copy);
  if (!QFile::copy(paths::resolve(settings::kIniFile), copy)) return false;
  // The copy holds the start-up password as the original does.
  QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  return true;
}

QString instanceLockPath() { return paths::resolve(QStringLiteral("\\★MailData\\RuvoMail.lock")); }

namespace {

// True when some process holds a lock on the file at path (by the kernel's
// table of locks, which needs no access to the file itself).
bool lockedByAnyone(const QByteArray& path) {
  struct stat st;
  if (::stat(path.constData(), &st) != 0) return false;
  QFile locks(QStringLiteral("/proc/locks"));
  if (!locks.open(QIODevice::ReadOnly)) return false;
  const QByteArray inode = QByteArray::number(static_cast<qulonglong>(st.st_ino));
  for (const QByteArray& line : locks.readAll().split('\n')) {
    // "1: FLOCK  ADVISORY  WRITE 4242 08:01:123456 0 EOF"; "->" marks a waiter.
    const QList<QByteArray> f = line.simplified().split(' ');
    if (f.size() < 6 || f.at(1) == "->") continue;
    const QList<QByteArray> id = f.at(5).split(':');
    if (id.size() != 3 || id.at(2) != inode) continue;
    bool okMajor = false, okMinor = false;
    const unsigned major = id.at(0).toUInt(&okMajor, 16), minor = id.at(1).toUInt(&okMinor, 16);
    if (okMajor && okMinor && major == ::major(st.st_dev) && minor == ::minor(st.st_dev)) return true;
  }
  return false;
}

// Puts a new empty lock file in place of one this user cannot open at all
// (another user's, or no file); the open new file, or -1 with errno set.
int replaceLockFile(const QByteArray& path) {
  const QByteArray tmp = path + ".~" + QByteArray::number(::getpid());
  const int fd = ::open(tmp.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (::rename(tmp.constData(), path.constData()) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(tmp.constData());
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace

LockResult acquireInstanceLock() {
  if (lockFd >= 0) return {LockResult::Acquired, {}};
  const QString folder = paths::dataFolder();
  if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
    return {LockResult::Unwritable, oserror::reasonText(errno)};
  const QByteArray native = QFile::encodeName(instanceLockPath());
  // Two starts that replace the file at once could each lock a file of its
  // own: a lock counts only while the name still names the locked file.
  for (int attempt = 0; attempt < 10; ++attempt) {
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // A lock needs no write access: a file left read-only, by another user
    // or as a folder is locked as it is.
    if (fd < 0) fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      // Not even readable: it is replaced, unless a running instance of
      // another user holds it.
      if (lockedByAnyone(native)) return {LockResult::Held, {}};
      fd = replaceLockFile(native);
    }
    if (fd < 0) return {LockResult::Unwritable, oserror::reasonText(errno)};
    // The kernel drops the lock with the process however it ends, so a lock
    // is never stale; what the file holds does not count.
    int r;
    do r = ::flock(fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return {LockResult::Held, {}};
      return {LockResult::Unwritable, oserror::reasonText(err)};
    }
    struct stat mine, named;
    if (::fstat(fd, &mine) == 0 && ::stat(native.constData(), &named) == 0 && mine.st_dev == named.st_dev &&
        mine.st_ino == named.st_ino) {
      lockFd = fd;
      return {LockResult::Acquired, {}};
    }
    ::close(fd);
  }
  return {LockResult::Held, {}};
}

void releaseInstanceLock() {
  if (lockFd >= 0) ::close(lockFd);
  lockFd = -1;
}

QString unwritableFolderText(const QString& reason) {
  return QStringLiteral("データフォルダ「%1」に書き込めないため、起動できません。\n(%2)\n"
                        "フォルダの場所と書き込みの許可をご確認下さい。")
      .arg(QDir::toNativeSeparators(paths::dataFolder()), reason);
}

QString unreadableSettingsText(const QString& reason) {
  return QStringLiteral("設定ファイル「%1」を読み込めないため、起動できません。\n(%2)\n"
                        "設定は変更していません。ファイルの読み取りの許可をご確認下さい。")
      .arg(QDir::toNativeSeparators(paths::resolve(settings::kIniFile)), reason);
}

void removeSettingsLeftovers() {
  for (const QString& f : {settings::kIniFile, settings::kIdPassFile, settings::kServerFile})
    profile::removeLeftovers(paths::resolve(f));
}

}  // namespace startup

namespace forms {

void MainForm::Form_Load() {
  startup::ensureDataFolders();

  // Settings that are there but cannot be read are not taken for missing
  // ones: the start-up password would become the default one and every
  // later write would fail. Told, and nothing is touched.
  if (const std::optional<QString> why = profile::unreadableReason(paths::resolve(settings::kIniFile))) {
    seams::MsgBox(startup::unreadableSettingsText(*why), seams::vbCritical);
    ui::endAtOnce(1);
  }

  // 1, 2: the rain's label hidden; the race field with the boats at the start line.
  Label25->hide();
  race::LoadPictures();
  race::DrawStart();
  seams::Randomize();

  // 3: the running total of new mails.
  Text14->setText(QString::number(settings::readNumber(settings::key::MailTotal)));

  // 4: the fourth accessory's copy of the settings.
  startup::refreshAccessoryCopy();

  // 5: one instance only; a data folder that cannot be written is told.
  const startup::LockResult lock = startup::acquireInstanceLock();
  if (lock.state == startup::LockResult::Unwritable) {
    seams::MsgBox(startup::unwritableFolderText(lock.reason), seams::vbCritical);
    ui::endAtOnce(1);
  }
  if (lock.state == startup::LockResult::Held) ui::endAtOnce(0);
  // Temporaries of a settings write that a crash cut short (one may hold a
  // password); with the lock held no other instance is writing.
  startup::removeSettingsLeftovers();

  // 6, 7: the automatic check from 0; the number box.
  timeLabel1->setText(QStringLiteral("0"));
  ResetAutoCheck();
  Command3->hide();
  Text5->setText(QStringLiteral("0"));

  // 8: the user's name.
  Text1->setText(settings::readText(settings::key::UserName));

  // 9: the hover help switch places the help box.
  const int help = settings::readNumber(settings::key::HoverHelp);
  if (help == 1) {
    Check1->setChecked(true);
    Picture1->move(Picture1->x(), 20);
  } else if (help == 0) {
    Check1->setChecked(false);
    Picture1->move(Picture1->x(), 1000);
  }

  // 10: the counts of the received, sent and VIP lists (a missing file is created).
  auto count = [](const QString& file) {
    return QString::number(std::max(records::MailFile(file).count(), 0));
  };
  Text3->setText(count(records::kReceivedFile));
  Text4->setText(count(records::kSentFile));
  Picture1->hide();
  Text15->setText(count(records::kVipFile));

  // 11: the VIP address; this loads the settings window, hidden.
  ::SetForm().Text3->setText(settings::readText(settings::key::VipAddress));

  // 12, 13: the mascot labels; the composer loaded hidden.
  Label13->setEnabled(true);
  Label14->setEnabled(false);
  ::WriteForm().Check1->setChecked(false);

  // 14: the server settings.
  const settings::ServerFileValues servers = settings::loadServerSettings();
  if (servers.mail) Text8->setText(*servers.mail);

  // 15: the open-file dialog starts in the current folder.
  CommonDialogInitDir = QDir::currentPath();

  // 16: the mail library.
  startup::mailLibraryStart();

  // 17, 18: the sender display text; the server settings into the settings window.
  Text7->setText(::SetForm().Text2->text());
  ::SetForm().SmtpText->setText(SmtpServer);
  ::SetForm().Pop3Text->setText(PopServer);
  ::SetForm().MailText->setText(FromAddress);
  ::SetForm().ApopCheck->setChecked(UseApop != 0);

  // 19: the start-up password keeps the window hidden behind its prompt.
  Text13->setText(settings::readText(settings::key::StartPassword));
  if (!Text13->text().isEmpty()) {
    startHidden_ = true;
    showStartPasswordPrompt();
    Label14_Click();
    Hide();
  }

  // 20.
  picMain2->resize(picMain2->width(), ui::px(600));
  Text5->setText(QStringLiteral("0"));

  Timer->start();
  Timer1->start();
  Timer2->start();
  Timer2_Timer();
}

void MainForm::Form_QueryUnload(int&, int) {
  UnhookHeader(::TyakuForm().MailListView);
  UnhookTyakuList(&::TyakuForm());
  UnhookHeader(::FriendForm().MailListView);
  UnhookFriendList(&::FriendForm());
}

void MainForm::Form_Unload(int&) {
  StopSound();
  Label14_Click();
  // A value that could not be written (a read-only settings file keeps what
  // it holds) is told of before the end, unless the file gives it back.
  QStringList lost;
  const QString help = Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
  if (!settings::writeText(settings::key::UserName, Text1->text()) &&
      settings::readText(settings::key::UserName) != Text1->text())
    lost << QStringLiteral("名前");
  if (!settings::writeText(settings::key::HoverHelp, help) &&
      settings::storedText(settings::key::HoverHelp).value_or(QStringLiteral("0")) != help)
    lost << QStringLiteral("説明表示");
  if (!lost.isEmpty())
    seams::MsgBox(QStringLiteral("次の設定を保存できませんでした。（ini.ini）\r\n") + lost.join(QStringLiteral("、")) +
                      QStringLiteral("\r\n次回の起動時には前の値のままです。"),
                  seams::vbExclamation);
  startup::mailLibraryEnd();
  StopSound();
  race::reset();
  startup::releaseInstanceLock();
  ui::endAtOnce(0);
}

}  // namespace forms
