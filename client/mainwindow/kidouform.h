#pragma once
// The start-up password prompt "個人用パスワード（起動用）": shown by the start-up
// when a password is set, before the main window; the right password shows
// the main window, "Cansel" or closing the prompt ends the program.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/ui.h"

namespace forms {

class KidouForm : public ui::Form {
 public:
  QLabel* Label1;         // "パスワード"
  QLineEdit* Text1;       // the password typed, shown as "*"
  QPushButton* Command1;  // "OK"
  QPushButton* Command2;  // "Cansel"

  void Command1_Click();
  void Command2_Click();
  // True once the right password was typed (the prompt is then hidden for
  // the rest of the run).
  bool accepted() const { return accepted_; }

 protected:
  void Form_Unload(int& cancel) override;

 private:
  KidouForm();
  friend class ui::Accessor<KidouForm>;
  bool accepted_ = false;
};

}  // namespace forms

// The one prompt window of the program (loaded hidden on first touch).
forms::KidouForm& KidouForm();
// True while the prompt window is loaded (peeking does not load it).
bool KidouFormLoaded();
