#pragma once
// The launcher window: programs started with one click.
#include "platform/ui.h"

namespace forms {

class RantyaForm : public ui::Form {
 private:
  RantyaForm();
  friend class ui::Accessor<RantyaForm>;
};

}  // namespace forms

// The one RantyaForm of the program (loaded hidden on first touch).
forms::RantyaForm& RantyaForm();
bool RantyaFormLoaded();
