#include "client/tools/helpform.h"

#include <QUrl>
#include <QVBoxLayout>

#include "platform/paths.h"

namespace {
ui::Accessor<forms::HelpForm>& accessor() {
  static ui::Accessor<forms::HelpForm> a;
  return a;
}
}  // namespace

forms::HelpForm& HelpForm() { return accessor()(); }
bool HelpFormLoaded() { return accessor().isLoaded(); }

namespace forms {

HelpForm::HelpForm() : ui::Form(QStringLiteral("HelpForm")) {
  setCaption(QStringLiteral("取り扱い（HELP）"));
  Move(1800, 1200, 9600, 7200);
  auto* layout = new QVBoxLayout(client());
  layout->setContentsMargins(0, 0, 0, 0);
  WebBrowser1 = new QTextBrowser(client());
  WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
  WebBrowser1->setOpenLinks(true);
  layout->addWidget(WebBrowser1);
}

void HelpForm::Form_Load() {
  WebBrowser1->setSource(QUrl::fromLocalFile(paths::resolve(QStringLiteral("\\help\\index.htm"))));
}

}  // namespace forms
