#pragma once
// The folder extraction window: archives dropped on it are unpacked.
#include "platform/ui.h"

namespace forms {

class KaitoForm : public ui::Form {
 private:
  KaitoForm();
  friend class ui::Accessor<KaitoForm>;
};

}  // namespace forms

// The one KaitoForm of the program (loaded hidden on first touch).
forms::KaitoForm& KaitoForm();
bool KaitoFormLoaded();
