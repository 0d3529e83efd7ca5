#pragma once
// The new-mail composer. Loaded hidden at start-up; the main window and the
// menus show it and then set its width: 9700 twips with the address-book
// pane, 7140 without it.
#include <QCheckBox>

#include "platform/ui.h"

namespace forms {

class WriteForm : public ui::Form {
 public:
  QCheckBox* Check1;  // "占い添付": append a fortune slip to the mail

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

 private:
  WriteForm();
  friend class ui::Accessor<WriteForm>;
};

}  // namespace forms

// The one new-mail composer of the program (loaded hidden on first touch).
forms::WriteForm& WriteForm();
bool WriteFormLoaded();
