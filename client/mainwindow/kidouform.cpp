// The start-up password prompt (KidouForm): the main window stays hidden
// behind it until the right password is typed.

#include "client/mainwindow/kidouform.h"

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/startpassword.h"
#include "client/mainwindow/startup.h"
#include "platform/seams.h"

namespace {

ui::Accessor<forms::KidouForm>& kidouAccessor() {
  static ui::Accessor<forms::KidouForm> a;
  return a;
}

}  // namespace

forms::KidouForm& KidouForm() { return kidouAccessor()(); }
bool KidouFormLoaded() { return kidouAccessor().isLoaded(); }

namespace forms {

KidouForm::KidouForm() : ui::Form(QStringLiteral("KidouForm")) {
  setCaption(QStringLiteral("個人用パスワード（起動用）"));
  Move(0, 0, 4590, 2130);
  Label1 = ui::control<QLabel>(client(), QStringLiteral("Label1"), 240, 240, 1800, 255, QStringLiteral("パスワード"));
  Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 240, 570, 3960, 330);
  Text1->setEchoMode(QLineEdit::Password);
  Text1->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
  Command1 = ui::control<QPushButton>(client(), QStringLiteral("Command1"), 1560, 1110, 1215, 375, QStringLiteral("OK"));
  Command2 = ui::control<QPushButton>(client(), QStringLiteral("Command2"), 2985, 1110, 1215, 375,
                                      QStringLiteral("Cansel"));
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  // Enter in the box is the same as "OK".
  connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void KidouForm::Command1_Click() {
  // Exact comparison: case, width and blanks count.
  if (Text1->text() == ::MainForm().Text13->text()) {
    accepted_ = true;
    Hide();
    ::MainForm().Show();
    return;
  }
  seams::MsgBox(QStringLiteral("パスワードが違います。"), seams::vbOKOnly);
  Text1->clear();
  Text1->setFocus();
}

void KidouForm::Command2_Click() { Unload(); }

void KidouForm::Form_Unload(int&) {
  // Without the right password the program does not go on: nothing would
  // be left on the screen to bring it back.
  if (StartPasswordPending()) {
    startup::releaseInstanceLock();
    ui::endAtOnce(0);
  }
}

}  // namespace forms
