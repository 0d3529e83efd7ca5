#pragma once
// The help window: the help pages beside the program ("\help\index.htm").
#include <QTextBrowser>

#include "platform/ui.h"

namespace forms {

class HelpForm : public ui::Form {
 public:
  QTextBrowser* WebBrowser1;  // shows the help pages

 protected:
  void Form_Load() override;

 private:
  HelpForm();
  friend class ui::Accessor<HelpForm>;
};

}  // namespace forms

// The one help window of the program (loaded hidden on first touch).
forms::HelpForm& HelpForm();
bool HelpFormLoaded();
