#include "client/tools/monthform.h"

namespace {
ui::Accessor<forms::MonthForm>& accessor() {
  static ui::Accessor<forms::MonthForm> a;
  return a;
}
}  // namespace

forms::MonthForm& MonthForm() { return accessor()(); }
bool MonthFormLoaded() { return accessor().isLoaded(); }

namespace forms {

MonthForm::MonthForm() : ui::Form(QStringLiteral("MonthForm")) {
  setCaption(QStringLiteral("カレンダー"));
  Move(2400, 1800, 4500, 4200);
}

}  // namespace forms
