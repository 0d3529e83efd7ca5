#pragma once
// The calendar window.
#include "platform/ui.h"

namespace forms {

class MonthForm : public ui::Form {
 private:
  MonthForm();
  friend class ui::Accessor<MonthForm>;
};

}  // namespace forms

// The one MonthForm of the program (loaded hidden on first touch).
forms::MonthForm& MonthForm();
bool MonthFormLoaded();
