#pragma once
// The analogue clock window.
#include "platform/ui.h"

namespace forms {

class TimeForm : public ui::Form {
 private:
  TimeForm();
  friend class ui::Accessor<TimeForm>;
};

}  // namespace forms

// The one TimeForm of the program (loaded hidden on first touch).
forms::TimeForm& TimeForm();
bool TimeFormLoaded();
