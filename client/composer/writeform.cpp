#include "client/composer/writeform.h"

#include "client/mainwindow/globals.h"
#include "client/mainwindow/settings.h"

namespace {
ui::Accessor<forms::WriteForm>& accessor() {
  static ui::Accessor<forms::WriteForm> a;
  return a;
}
}  // namespace

forms::WriteForm& WriteForm() { return accessor()(); }
bool WriteFormLoaded() { return accessor().isLoaded(); }

namespace forms {

WriteForm::WriteForm() : ui::Form(QStringLiteral("WriteForm")) {
  setCaption(QStringLiteral("新規作成"));
  Move(1200, 900, 9700, 7200);
  Check1 = ui::control<QCheckBox>(client(), QStringLiteral("Check1"), 240, 240, 1800, 300,
                                  QStringLiteral("占い添付"));
}

void WriteForm::Form_Load() {
  MailListKind = 1000;
  // The size the composer had when it was last closed, then the width of
  // the view with the address-book pane.
  const int w = settings::readNumber(settings::key::WriteWidth);
  const int h = settings::readNumber(settings::key::WriteHeight);
  if (w > 0) setWidth(w);
  if (h > 0) setHeight(h);
  setWidth(9700);
}

void WriteForm::Form_Unload(int&) {
  MailListKind = 1000;
  settings::writeNumber(settings::key::WriteWidth, Width());
  settings::writeNumber(settings::key::WriteHeight, Height());
}

}  // namespace forms
