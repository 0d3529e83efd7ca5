#include "flipset/sprite/clsRyxMQL.h"

#include "flipset/sprite/ryxerrors.h"

namespace ryx {

const MqlRecord& clsRyxMQL::at(std::int32_t i) const {
  if (i < 0 || i >= static_cast<std::int32_t>(entries_.size())) throw IndexError();
  return entries_[static_cast<std::size_t>(i)];
}

void clsRyxMQL::Add(std::int32_t vPtMng, float vVX, float vVY, std::int32_t vMoveCt, bool vIneFlag) {
  if (mqlMax_ == INT32_MAX) throw OverflowError();
  if (static_cast<std::size_t>(mqlMax_) >= entries_.size()) entries_.resize(static_cast<std::size_t>(mqlMax_) + 1);
  entries_[static_cast<std::size_t>(mqlMax_)] = MqlRecord{vPtMng, vVX, vVY, vMoveCt, vIneFlag};
  ++mqlMax_;
}

}  // namespace ryx
