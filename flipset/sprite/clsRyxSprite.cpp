#include "flipset/sprite/clsRyxSprite.h"

#include "flipset/sprite/ryxerrors.h"

namespace ryx {

clsRyxPattern& clsRyxSprite::Pattern(int vPtNo) const {
  if (vPtNo < 0 || vPtNo > ptNoMax_ || vPtNo >= static_cast<int>(patterns_.size())) throw IndexError();
  return *patterns_[static_cast<std::size_t>(vPtNo)];
}

void clsRyxSprite::Create(clsRyxField* vField, PictureBox* vSrcPic, PictureBox* vMskPic, int vPMax) {
  const std::int16_t count = i16(vPMax);
  patterns_.clear();
  ptNoMax_ = i16(count - 1);
  for (int i = 0; i < count; ++i) {
    auto p = std::make_unique<clsRyxPattern>();
    p->setPicture(vSrcPic);
    p->setMask(vMskPic);
    p->setField(vField);
    patterns_.push_back(std::move(p));
  }
}

bool clsRyxSprite::SetPtnPic(int vPtNo, int vLeft, int vTop, int vWd, int vHt) {
  if (vPtNo < 0 || vPtNo > ptNoMax_ || vPtNo >= static_cast<int>(patterns_.size())) return false;
  clsRyxPattern& p = *patterns_[static_cast<std::size_t>(vPtNo)];
  p.setLeft(vLeft);
  p.setTop(vTop);
  p.setWidth(vWd);
  p.setHeight(vHt);
  return true;
}

void clsRyxSprite::Release() {
  patterns_.clear();
  ptNoMax_ = -1;
}

}  // namespace ryx
