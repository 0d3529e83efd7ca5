#pragma once
// The colour dialog of the viewer.
#include <cstdint>

class QWidget;

namespace colwrite {

// Shows the colour dialog modally over owner, with sixteen white custom
// colours that are not kept afterwards. colour is the value the caller
// offers; the dialog is not told to preselect it and starts from its own
// default. Returns the chosen colour (0x00BBGGRR), or -1 when cancelled.
std::int32_t ShowColorDialog(QWidget* owner, std::int32_t colour);

}  // namespace colwrite
