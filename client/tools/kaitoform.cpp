#include "client/tools/kaitoform.h"

namespace {
ui::Accessor<forms::KaitoForm>& accessor() {
  static ui::Accessor<forms::KaitoForm> a;
  return a;
}
}  // namespace

forms::KaitoForm& KaitoForm() { return accessor()(); }
bool KaitoFormLoaded() { return accessor().isLoaded(); }

namespace forms {

KaitoForm::KaitoForm() : ui::Form(QStringLiteral("KaitoForm")) {
  setCaption(QStringLiteral("フォルダの解凍"));
  Move(2400, 1800, 5400, 3600);
}

}  // namespace forms
