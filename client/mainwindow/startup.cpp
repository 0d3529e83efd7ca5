#include "client/mainwindow/startup.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/history/listpaint.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
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

LockResult acquireInstanceLock() {
  if (lockFd >= 0) return {LockResult::Acquired, {}};
  const QString folder = paths::dataFolder();
  const QByteArray native = QFile::encodeName(instanceLockPath());
  const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 || ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    return {LockResult::Unwritable, oserror::reasonText(err)};
  }
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
  lockFd = fd;
  return {LockResult::Acquired, {}};
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

void removeSettingsLeftovers() {
  for (const QString& f : {settings::kIniFile, settings::kIdPassFile, settings::kServerFile})
    profile::removeLeftovers(paths::resolve(f));
}

}  // namespace startup

namespace forms {

void MainForm::Form_Load() {
  startup::ensureDataFolders();

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
  settings::writeText(settings::key::UserName, Text1->text());
  settings::writeText(settings::key::HoverHelp, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
  startup::mailLibraryEnd();
  StopSound();
  race::reset();
  startup::releaseInstanceLock();
  ui::endAtOnce(0);
}

}  // namespace forms
