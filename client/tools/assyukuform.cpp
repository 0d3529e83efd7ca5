#include "client/tools/assyukuform.h"

namespace {
ui::Accessor<forms::AssyukuForm>& accessor() {
  static ui::Accessor<forms::AssyukuForm> a;
  return a;
}
}  // namespace

forms::AssyukuForm& AssyukuForm() { return accessor()(); }
bool AssyukuFormLoaded() { return accessor().isLoaded(); }

namespace forms {

AssyukuForm::AssyukuForm() : ui::Form(QStringLiteral("AssyukuForm")) {
  setCaption(QStringLiteral("フォルダの圧縮"));
  Move(2400, 1800, 5400, 3600);
}

}  // namespace forms
