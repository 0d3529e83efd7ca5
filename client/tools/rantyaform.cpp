#include "client/tools/rantyaform.h"

namespace {
ui::Accessor<forms::RantyaForm>& accessor() {
  static ui::Accessor<forms::RantyaForm> a;
  return a;
}
}  // namespace

forms::RantyaForm& RantyaForm() { return accessor()(); }
bool RantyaFormLoaded() { return accessor().isLoaded(); }

namespace forms {

RantyaForm::RantyaForm() : ui::Form(QStringLiteral("RantyaForm")) {
  setCaption(QStringLiteral("ランチャー"));
  Move(2400, 1800, 4200, 5400);
}

}  // namespace forms
