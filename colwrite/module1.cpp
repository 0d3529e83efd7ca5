#include "module1.h"

#include "platform/seams.h"

namespace colwrite {

std::int32_t ShowColorDialog(QWidget* owner, std::int32_t colour) {
  (void)colour;  // offered by the callers, never preselected
  seams::ColorDialogCall call;
  call.custom.fill(0xFFFFFF);  // white
  call.initial = 0;
  call.fullOpen = false;
  call.parent = owner;
  const std::optional<std::uint32_t> chosen = seams::chooseColor(call);
  if (!chosen) return -1;
  return static_cast<std::int32_t>(*chosen & 0xFFFFFFu);
}

}  // namespace colwrite
