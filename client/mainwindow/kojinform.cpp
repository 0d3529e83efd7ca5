// The window "個人用パスワード" (KojinForm): the start-up password typed twice
// and stored, so that the next start asks for it.

#include "client/mainwindow/kojinform.h"

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/playsound.h"
#include "client/mainwindow/settings.h"
#include "client/mainwindow/startpassword.h"
#include "platform/seams.h"

namespace {

ui::Accessor<forms::KojinForm>& kojinAccessor() {
  static ui::Accessor<forms::KojinForm> a;
  return a;
}

}  // namespace

forms::KojinForm& KojinForm() { return kojinAccessor()(); }
bool KojinFormLoaded() { return kojinAccessor().isLoaded(); }

namespace forms {

KojinForm::KojinForm() : ui::Form(QStringLiteral("KojinForm")) {
  setCaption(QStringLiteral("個人用パスワード"));
  Move(3000, 2500, 4590, 2850);
  Label1[0] = ui::control<QLabel>(client(), QStringLiteral("Label1_0"), 240, 180, 2400, 255,
                                  QStringLiteral("パスワード設定"));
  Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 240, 465, 3960, 330);
  Label1[1] = ui::control<QLabel>(client(), QStringLiteral("Label1_1"), 240, 930, 2400, 255, QStringLiteral("確認用"));
  Text2 = ui::control<QLineEdit>(client(), QStringLiteral("Text2"), 240, 1215, 3960, 330);
  Text2->setEchoMode(QLineEdit::Password);
  Text2->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
  // Both boxes take only what can be stored and read back whole.
  for (QLineEdit* t : {Text1, Text2}) settings::guardEntry(t);
  Command1 = ui::control<QPushButton>(client(), QStringLiteral("Command1"), 1560, 1800, 1215, 375, QStringLiteral("OK"));
  Command2 = ui::control<QPushButton>(client(), QStringLiteral("Command2"), 2985, 1800, 1215, 375,
                                      QStringLiteral("Cansel"));
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  // Above every other window.
  setWindowFlag(Qt::WindowStaysOnTopHint);
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void KojinForm::Form_Load() {
  StopSound();
  // The mascot is put away: "   訓練タイム♪" on, "訓練終了" off.
  ::MainForm().Label14_Click();
}

void KojinForm::Command1_Click() {
  // Every box of this step stands over this window, also the one after the
  // question, when the window manager may not yet have given the keyboard
  // back to it.
  const seams::BoxOwner boxOwner(this);
  if (Text1->text() != Text2->text()) {
    seams::MsgBox(QStringLiteral("入力間違いです。同じパスワードが入らなければいけません。\r\n"
                                 "確認をしてもう一度入力し直して下さい。"),
                  seams::vbOKOnly);
    Text2->clear();
    Text2->setFocus();
    return;
  }
  const int answer = seams::MsgBox(
      QStringLiteral("設定をしてよろしいですか？　この設定をすると、次回より正しいパスワードが入力されなければ起動しなくなります。"
                     "パスワードは絶対に忘れないようにどこかに保存しておくようにして下さい。"),
      seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認"));
  if (answer == seams::vbYes) {
    // A password that did not reach the file must not look set: the old
    // one stays in force, and the boxes stay for another try.
    if (!startpassword::store(Text1->text(), Text2->text())) {
      seams::MsgBox(QStringLiteral("パスワードを保存できませんでした。（ini.ini）\r\n"
                                   "これまでのパスワードのままです。設定ファイルの書き込みの許可をご確認下さい。"),
                    seams::vbExclamation);
      return;
    }
    Unload();
  } else {
    Text1->clear();
    Text2->clear();
  }
}

void KojinForm::Command2_Click() {
  Text1->clear();
  Text2->clear();
  Unload();
}

}  // namespace forms
