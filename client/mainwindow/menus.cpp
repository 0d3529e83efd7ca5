#include "client/mainwindow/menus.h"

#include <QAction>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/history/openmaillist.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/setform.h"
#include "client/tools/assyukuform.h"
#include "client/tools/helpform.h"
#include "client/tools/kaitoform.h"
#include "client/tools/monthform.h"
#include "client/tools/rantyaform.h"
#include "client/tools/tenpfoldform.h"
#include "client/tools/timeform.h"
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
  on(f.mrantya2, f, [] { ::RantyaForm().Show(); });
  on(f.mtime, f, [] { ::TimeForm().Show(); });
  on(f.mkarenda, f, [] { ::MonthForm().Show(); });
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

  // Still without their actions: mdesk (desktop shortcut), mnuspam (spam
  // keywords), mnukojin (start-up password), mflipset and mnuair (the games),
  // mfinwisp and mfinwispresset (the fourth accessory).
}
