#include "client/tools/tenpfoldform.h"

namespace {
ui::Accessor<forms::TenpFoldForm>& accessor() {
  static ui::Accessor<forms::TenpFoldForm> a;
  return a;
}
}  // namespace

forms::TenpFoldForm& TenpFoldForm() { return accessor()(); }
bool TenpFoldFormLoaded() { return accessor().isLoaded(); }

namespace forms {

TenpFoldForm::TenpFoldForm() : ui::Form(QStringLiteral("TenpFoldForm")) {
  setCaption(QStringLiteral("添付フォルダ"));
  Move(2400, 1800, 6000, 4500);
}

}  // namespace forms
