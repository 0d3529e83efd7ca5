#pragma once
// The folder compression window: folders and files dropped on it are packed.
#include "platform/ui.h"

namespace forms {

class AssyukuForm : public ui::Form {
 private:
  AssyukuForm();
  friend class ui::Accessor<AssyukuForm>;
};

}  // namespace forms

// The one AssyukuForm of the program (loaded hidden on first touch).
forms::AssyukuForm& AssyukuForm();
bool AssyukuFormLoaded();
