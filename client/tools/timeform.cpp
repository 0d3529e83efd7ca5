#include "client/tools/timeform.h"

namespace {
ui::Accessor<forms::TimeForm>& accessor() {
  static ui::Accessor<forms::TimeForm> a;
  return a;
}
}  // namespace

forms::TimeForm& TimeForm() { return accessor()(); }
bool TimeFormLoaded() { return accessor().isLoaded(); }

namespace forms {

TimeForm::TimeForm() : ui::Form(QStringLiteral("TimeForm")) {
  setCaption(QStringLiteral("アナログ時計"));
  Move(2400, 1800, 3600, 3900);
}

}  // namespace forms
