// The main window's menus: each item wired to the window it opens or the
// program it starts, the desktop shortcut, and the reset of the mail count.

#include "client/mainwindow/menus.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/history/openmaillist.h"
#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/kojinform.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startup.h"
#include "client/tools/assyukuform.h"
#include "client/tools/helpform.h"
#include "client/tools/kaitoform.h"
#include "client/tools/monthform.h"
#include "client/tools/rantyaform.h"
#include "client/tools/tenpfoldform.h"
#include "client/tools/timeform.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/ui.h"

namespace {

void on(QAction* a, forms::MainForm& f, std::function<void()> action) {
  QObject::connect(a, &QAction::triggered, &f, [action = std::move(action)] { action(); });
}

// New mail: the composer shown, then its width (9700 with the address pane, 7140 without).
void newMail(forms::MainForm& f, bool mascotAway, int width) {
  if (mascotAway) f.Label14_Click();
  ::WriteForm().Show();
  ::WriteForm().setWidth(width);
}

}  // namespace

void wireMenus(forms::MainForm& f) {
  // File menu.
  on(f.mdesk, f, [] { menus::MakeDesktopShortcut(); });
  on(f.mshinki, f, [&f] { newMail(f, false, 7140); });
  on(f.mnushikiadores2, f, [&f] { newMail(f, true, 9700); });
  on(f.mjyushin, f, [&f] {
    f.Label5->setText(QStringLiteral("メールを受信します。"));
    ReceiveMail();
  });
  on(f.mtyakushin, f, [] { OpenMailList(1); });
  on(f.mnukin, f, [] { OpenMailList(3); });
  on(f.mnugin, f, [] { OpenMailList(4); });
  on(f.mnudou, f, [] { OpenMailList(5); });
  on(f.msouhin, f, [] { OpenMailList(2); });
  on(f.mnutenpfold, f, [] { ::TenpFoldForm().Show(); });
  on(f.maddress, f, [] { ::FriendForm().Show(); });
  on(f.mend, f, [] { ui::endAtOnce(0); });

  // Settings menu.
  on(f.mset, f, [] { ::SetForm().Show(); });
  on(f.mnuspam, f, [] { ::GekitaiForm().Show(); });
  on(f.mnukojin, f, [&f] {
    f.Label14_Click();
    ::KojinForm().Show();
  });
  on(f.mrantya2, f, [] { ::RantyaForm().Show(); });
  on(f.mtime, f, [] { ::TimeForm().Show(); });
  on(f.mflipset, f, [] { menus::StartAccessory(menus::kFlipset, QStringLiteral("Flipset")); });
  on(f.mnuair, f, [] { menus::StartAccessory(menus::kPuckslide, QStringLiteral("Puckslide")); });
  on(f.mkarenda, f, [] { ::MonthForm().Show(); });
  on(f.mfinwisp, f, [] { menus::StartAccessory(menus::kFinwisp, QStringLiteral("finwisp")); });
  on(f.mfinwispresset, f, [&f] { menus::CountReset(f); });
  on(f.mnutask, f, [&f] { f.IntoTray(); });
  on(f.msmall, f, [&f] { f.setWindowState(1); });

  // Archive and help menus.
  on(f.mfassyuku, f, [] { ::AssyukuForm().Show(); });
  on(f.mfkaito, f, [] { ::KaitoForm().Show(); });
  on(f.mtorisetu, f, [] { ::HelpForm().Show(); });

  // Race field popup.
  on(f.mpopupshinki, f, [&f] { newMail(f, true, 7140); });
  on(f.mpopupshinkiadrress, f, [&f] { newMail(f, true, 9700); });
  on(f.mpopupjyushin, f, [&f] { f.Label8_Click(); });
  on(f.mpopuptyakushin, f, [] { OpenMailList(1); });
  on(f.mnukin2, f, [] { OpenMailList(3); });
  on(f.mnugin2, f, [] { OpenMailList(4); });
  on(f.mnudou2, f, [] { OpenMailList(5); });
  on(f.mpopupsoushin, f, [] { OpenMailList(2); });
  on(f.mtenpfold, f, [] { ::TenpFoldForm().Show(); });
  on(f.mpopset, f, [] { ::SetForm().Show(); });
  on(f.mtask2, f, [&f] { f.IntoTray(); });
}

namespace menus {

namespace {

// The creature that the fourth accessory raises.
const QString kCreature = QStringLiteral("フィンウィスプ");

// One argument of a desktop entry's Exec key, quoted, then escaped as the
// key's string value.
QString execArgument(const QString& arg) {
  QString q;
  for (const QChar c : arg) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') q += u'\\';
    q += c;
  }
  q = u'"' + q + u'"';
  q.replace(u'%', QStringLiteral("%%"));
  q.replace(u'\\', QStringLiteral("\\\\"));
  q.replace(u'\n', QStringLiteral("\\n"));
  return q;
}

}  // namespace

void StartAccessory(const QString& programPath, const QString& name) {
  const QString program = paths::resolve(programPath);
  if (seams::startProgram({program, {}, {}})) return;
  seams::MsgBox(QStringLiteral("%1 を起動できませんでした。\r\n%2 が見つからないか、実行できません。").arg(name, program),
                seams::vbOKOnly | seams::vbExclamation);
}

void CountReset(forms::MainForm& f) {
  const int answer =
      seams::MsgBox(kCreature + QStringLiteral("を幼魚に戻します。処理を続けますか? 処理は次回起動より反映されます。"),
                    seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認"));
  if (answer != seams::vbYes) return;
  settings::writeText(settings::key::MailTotal, QStringLiteral("0"));
  // The running total goes back to 0 with the key, or the next check would
  // write the old total back.
  f.Text14->setText(QStringLiteral("0"));
  startup::refreshAccessoryCopy();
}

QString desktopFolder() { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); }

QString shortcutText(const QString& program) {
  return QStringLiteral("[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=ルボちゃん\n"
                        "Exec=%1\n"
                        "Terminal=false\n")
      .arg(execArgument(program));
}

void MakeDesktopShortcut() {
  const QString folder = desktopFolder();
  const QString file = QDir(folder).filePath(kShortcutFile);
  const QString program = paths::programFolder() + QStringLiteral("/RuvoMail");
  bool ok = !folder.isEmpty() && QDir().mkpath(folder);
  if (ok) {
    QSaveFile out(file);
    ok = out.open(QIODevice::WriteOnly) && out.write(shortcutText(program).toUtf8()) >= 0 && out.commit();
  }
  // Desktops start only entries that may be executed.
  if (ok)
    ok = QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  if (!ok) {
    seams::MsgBox(QStringLiteral("デスクトップにショートカットを作成できませんでした。\r\n%1").arg(file),
                  seams::vbOKOnly | seams::vbExclamation);
    return;
  }
  seams::MsgBox(QStringLiteral("可愛いっい！！　ルボちゃんメール！　を\r\nデスクトップに作成しました"), seams::vbOKOnly);
}

}  // namespace menus
