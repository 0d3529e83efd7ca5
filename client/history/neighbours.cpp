#include "client/history/neighbours.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>

#include "client/history/commondialog.h"

#include "client/mainwindow/mainform.h"
#include "client/composer/friendform.h"
#include "client/tools/helpform.h"
#include "client/composer/writeform.h"

namespace neighbours {

namespace {
// The composer's body box, once the composer carries one.
template <class Form>
QTextEdit* bodyOf(Form& f) {
  if constexpr (requires { f.rtfEd; }) return f.rtfEd;
  else return nullptr;
}
template <class Form>
CommonDialog* dialogOf(Form& f) {
  if constexpr (requires { f.CommonDialog1.ShowSave(); }) return &f.CommonDialog1;
  else return nullptr;
}
}  // namespace

int hoverHelpSwitch() {
  if (!MainFormLoaded()) return -1;
  const Qt::CheckState s = ::MainForm().Check1->checkState();
  return s == Qt::Checked ? 1 : s == Qt::Unchecked ? 0 : 2;
}

void putMascotAway() {
  if (MainFormLoaded()) ::MainForm().Label14_Click();
}

void setReceivedCount(const QString& text) {
  if (MainFormLoaded()) ::MainForm().Text3->setText(text);
}

void setSentCount(const QString& text) {
  if (MainFormLoaded()) ::MainForm().Text4->setText(text);
}

void setVipCount(const QString& text) {
  if (MainFormLoaded()) ::MainForm().Text15->setText(text);
}

void showAddressBookWith(const QString& address) {
  ::FriendForm().Text4->setText(address);
  ::FriendForm().Show();
}

void showHelp() {
  ::HelpForm().Show();
}

ui::Form* writeForm() {
  return &::WriteForm();
}

QTextEdit* writeFormBody() {
  return bodyOf(::WriteForm());
}

CommonDialog* writeFormDialog() {
  return dialogOf(::WriteForm());
}

}  // namespace neighbours
