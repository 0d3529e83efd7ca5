#pragma once
// The note "新着メールはありませんでした。" that the mail check shows for three
// seconds after a check that brought no mail. It stays above every other
// window while it is shown.
#include <QLineEdit>

#include "platform/ui.h"

namespace forms {

class MsgForm : public ui::Form {
 public:
  QLineEdit* Text1;  // "新着メールはありませんでした。"

 protected:
  void Form_Load() override;

 private:
  MsgForm();
  friend class ui::Accessor<MsgForm>;
};

}  // namespace forms

// The one note window (loaded on first touch).
forms::MsgForm& MsgForm();
// True while the note window is loaded (peeking does not load it).
bool MsgFormLoaded();
