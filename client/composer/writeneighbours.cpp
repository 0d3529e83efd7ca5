#include "client/composer/writeneighbours.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/setform.h"
#include "client/tools/helpform.h"
#include "platform/seams.h"

#if __has_include("client/composer/ccform.h")
#include "client/composer/ccform.h"
#define RUVO_HAVE_CCFORM 1
#endif
#if __has_include("client/composer/kaoform.h")
#include "client/composer/kaoform.h"
#define RUVO_HAVE_KAOFORM 1
#endif

namespace writeneighbours {

namespace {

// The address last picked, for a build without the Cc window's box.
QString& lastPicked() {
  static QString s;
  return s;
}

QColor qb(int n) { return seams::toQColor(seams::QBColor(n)); }

void setForeColor(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  w->setPalette(p);
}

// The Cc window's members as far as its build carries them.
template <class F>
int listCountOf(F& f) {
  if constexpr (requires { f.List3->count(); }) return f.List3->count();
  else return 0;
}

template <class F>
void showWith(F& f, const QString& status, int colour, const QString& prompt, bool typed) {
  f.Show();
  if constexpr (requires { f.Label3->setText(status); }) {
    f.Label3->setText(status);
    setForeColor(f.Label3, qb(colour));
  }
  if constexpr (requires { f.Text5->setText(prompt); }) {
    f.Text5->setEnabled(typed);
    f.Text5->setText(prompt);
  }
  if constexpr (requires { f.Command2->setEnabled(typed); }) f.Command2->setEnabled(typed);
}

template <class F>
QString addPicked(F& f, const QString& address) {
  if constexpr (requires { f.List3->addItem(address); }) f.List3->addItem(address);
  lastPicked() = address;
  QString stored = address;
  if constexpr (requires { f.Text2->setText(address); }) {
    f.Text2->setText(address);
    stored = f.Text2->text();
  }
  if constexpr (requires { f.Text3->setText(address); })
    f.Text3->setText(QString::number(listCountOf(f)));
  return stored;
}

template <class F>
QString pickedOf(F& f) {
  if constexpr (requires { f.Text2->text(); }) return f.Text2->text();
  else return lastPicked();
}

}  // namespace

QString dateTimeText() { return MainFormLoaded() ? ::MainForm().Text2->text() : QString(); }
QString displayText() { return MainFormLoaded() ? ::MainForm().Text7->text() : QString(); }
QString ownAddress() { return MainFormLoaded() ? ::MainForm().Text8->text() : QString(); }

void setSentCount(const QString& text) {
  if (MainFormLoaded()) ::MainForm().Text4->setText(text);
}

int hoverHelpSwitch() {
  if (!MainFormLoaded()) return -1;
  const Qt::CheckState s = ::MainForm().Check1->checkState();
  return s == Qt::Checked ? 1 : s == Qt::Unchecked ? 0 : 2;
}

QString senderDisplayText() { return ::SetForm().Text2->text(); }
void setNoSentHistory(bool ticked) { ::SetForm().Check1->setChecked(ticked); }

#ifdef RUVO_HAVE_CCFORM
bool ccLoaded() { return CcFormLoaded(); }
void ccUnload() {
  if (CcFormLoaded()) ::CcForm().Unload();
}
int ccListCount() { return CcFormLoaded() ? listCountOf(::CcForm()) : 0; }
void ccShowTyped() {
  showWith(::CcForm(), QStringLiteral("手動で入力が選択されました"), 1, QStringLiteral("ここにアドレスを手動で入力。"),
           true);
}
void ccShowFromBook() {
  showWith(::CcForm(), QStringLiteral("アドレス帳から入力が選択されました"), 2,
           QStringLiteral("新規作成のアドレス帳をクリック"), false);
}
QString ccAddPicked(const QString& address) { return addPicked(::CcForm(), address); }
void ccKeepOnly(const QStringList& addresses) {
  if (CcFormLoaded()) ::CcForm().KeepOnly(addresses);
}
QString ccPickedText() {
  return CcFormLoaded() ? pickedOf(::CcForm()) : lastPicked();
}
#else
bool ccLoaded() { return false; }
void ccUnload() {}
int ccListCount() { return 0; }
void ccShowTyped() {}
void ccShowFromBook() {}
QString ccAddPicked(const QString& address) { return lastPicked() = address; }
void ccKeepOnly(const QStringList&) {}
QString ccPickedText() { return lastPicked(); }
#endif

#ifdef RUVO_HAVE_KAOFORM
void showFaceMarks() { ::KaoForm().Show(); }
#else
void showFaceMarks() {}
#endif

void showHelp() { ::HelpForm().Show(); }

}  // namespace writeneighbours
