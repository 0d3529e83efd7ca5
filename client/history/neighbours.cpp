#include "client/history/neighbours.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>

#if __has_include("client/mainwindow/mainform.cpp")
#define RUVO_HAVE_MAINFORM 1
#include "client/mainwindow/mainform.h"
#endif
#if __has_include("client/composer/friendform.cpp")
#define RUVO_HAVE_FRIENDFORM 1
#include "client/composer/friendform.h"
#endif
#if __has_include("client/tools/helpform.cpp")
#define RUVO_HAVE_HELPFORM 1
#include "client/tools/helpform.h"
#endif
#if __has_include("client/composer/writeform.cpp")
#define RUVO_HAVE_WRITEFORM 1
#include "client/composer/writeform.h"
#endif

namespace neighbours {

namespace {
// The composer's body box, once the composer carries one.
template <class Form>
QTextEdit* bodyOf(Form& f) {
  if constexpr (requires { f.rtfEd; }) return f.rtfEd;
  else return nullptr;
}
}  // namespace

int hoverHelpSwitch() {
#ifdef RUVO_HAVE_MAINFORM
  if (!MainFormLoaded()) return -1;
  const Qt::CheckState s = ::MainForm().Check1->checkState();
  return s == Qt::Checked ? 1 : s == Qt::Unchecked ? 0 : 2;
#else
  return -1;
#endif
}

void putMascotAway() {
#ifdef RUVO_HAVE_MAINFORM
  if (MainFormLoaded()) ::MainForm().Label14_Click();
#endif
}

void setReceivedCount(const QString& text) {
#ifdef RUVO_HAVE_MAINFORM
  if (MainFormLoaded()) ::MainForm().Text3->setText(text);
#else
  (void)text;
#endif
}

void setSentCount(const QString& text) {
#ifdef RUVO_HAVE_MAINFORM
  if (MainFormLoaded()) ::MainForm().Text4->setText(text);
#else
  (void)text;
#endif
}

void setVipCount(const QString& text) {
#ifdef RUVO_HAVE_MAINFORM
  if (MainFormLoaded()) ::MainForm().Text15->setText(text);
#else
  (void)text;
#endif
}

void showAddressBookWith(const QString& address) {
#ifdef RUVO_HAVE_FRIENDFORM
  ::FriendForm().Text4->setText(address);
  ::FriendForm().Show();
#else
  (void)address;
#endif
}

void showHelp() {
#ifdef RUVO_HAVE_HELPFORM
  ::HelpForm().Show();
#endif
}

ui::Form* writeForm() {
#ifdef RUVO_HAVE_WRITEFORM
  return &::WriteForm();
#else
  return nullptr;
#endif
}

QTextEdit* writeFormBody() {
#ifdef RUVO_HAVE_WRITEFORM
  return bodyOf(::WriteForm());
#else
  return nullptr;
#endif
}

}  // namespace neighbours
