#pragma once
// The password-setting window "個人用パスワード": sets the start-up password
// (ini.ini NAME10, its confirmation NAME11), which takes effect at the next
// start. An empty password removes it.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "platform/ui.h"

namespace forms {

class KojinForm : public ui::Form {
 public:
  std::array<QLabel*, 2> Label1{};  // (0) "パスワード設定", (1) "確認用"
  QLineEdit* Text1;       // the new password, shown as typed
  QLineEdit* Text2;       // its confirmation, shown as "*"
  QPushButton* Command1;  // "OK"
  QPushButton* Command2;  // "Cansel"

  void Command1_Click();
  void Command2_Click();

 protected:
  void Form_Load() override;

 private:
  KojinForm();
  friend class ui::Accessor<KojinForm>;
};

}  // namespace forms

// The one password-setting window of the program (loaded hidden on first touch).
forms::KojinForm& KojinForm();
// True while the password-setting window is loaded (peeking does not load it).
bool KojinFormLoaded();
