#include "client/composer/friendform.h"

#include <QHeaderView>

#include "client/history/listpaint.h"

namespace {
ui::Accessor<forms::FriendForm>& accessor() {
  static ui::Accessor<forms::FriendForm> a;
  return a;
}
}  // namespace

forms::FriendForm& FriendForm() { return accessor()(); }
bool FriendFormLoaded() { return accessor().isLoaded(); }

namespace forms {

FriendForm::FriendForm() : ui::Form(QStringLiteral("FriendForm")) {
  setCaption(QStringLiteral("アドレス帳"));
  Move(2400, 1500, 6600, 5400);
  MailListView = ui::control<QTreeWidget>(client(), QStringLiteral("MailListView"), 120, 120, 6120, 3600);
  MailListView->setRootIsDecorated(false);
  MailListView->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("アドレス")});
  MailListView->header()->setStretchLastSection(true);
  Text4 = ui::control<QLineEdit>(client(), QStringLiteral("Text4"), 120, 3840, 6120, 330);
}

void FriendForm::Form_Load() {
  HookHeader(MailListView);
  HookFriendList(this);
}

void FriendForm::Form_QueryUnload(int&, int) {
  UnhookHeader(MailListView);
  UnhookFriendList(this);
}

}  // namespace forms
