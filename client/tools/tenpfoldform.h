#pragma once
// The attachment-folder window: the files received mail brought along.
#include "platform/ui.h"

namespace forms {

class TenpFoldForm : public ui::Form {
 private:
  TenpFoldForm();
  friend class ui::Accessor<TenpFoldForm>;
};

}  // namespace forms

// The one TenpFoldForm of the program (loaded hidden on first touch).
forms::TenpFoldForm& TenpFoldForm();
bool TenpFoldFormLoaded();
