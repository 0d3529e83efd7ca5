#include "flipset/sprite/clsRyxPattern.h"

#include "flipset/sprite/ryxerrors.h"
#include "platform/gdi.h"

namespace ryx {

void clsRyxPattern::setField(clsRyxField* vField) {
  if (vField) {
    const std::int16_t w = i16(vField->Width());
    const std::int16_t h = i16(vField->Height());
    fieldWd_ = w;
    fieldHt_ = h;
  } else {
    fieldWd_ = fieldHt_ = 0;
  }
  field_ = vField;
}

void clsRyxPattern::setLeft(int v) { left_ = i16(v); }
void clsRyxPattern::setTop(int v) { top_ = i16(v); }
void clsRyxPattern::setWidth(int v) { width_ = v < 1 ? std::int16_t(1) : i16(v); }
void clsRyxPattern::setHeight(int v) { height_ = v < 1 ? std::int16_t(1) : i16(v); }

void clsRyxPattern::blit(PictureBox* sheet, int vLeft, int vTop, std::uint32_t rop) const {
  if (!field_ || !sheet) return;
  BitBlt(field_->Hdc(), i16(vLeft), i16(vTop), width_, height_, sheet->hDC(), left_, top_, rop);
}

void clsRyxPattern::Paint(int vLeft, int vTop) const { blit(picture_, vLeft, vTop, gdi::SRCCOPY); }

void clsRyxPattern::PaintEx(int vLeft, int vTop) const {
  blit(mask_, vLeft, vTop, gdi::SRCAND);
  blit(picture_, vLeft, vTop, gdi::SRCINVERT);
}

std::int16_t clsRyxPattern::PosCheck(int vLeft, int vTop) const {
  const std::int16_t l = i16(vLeft), t = i16(vTop);
  const std::int16_t r = i16(l + width_);
  const std::int16_t b = i16(t + height_);
  if (r < 0 || l > fieldWd_ || b < 0 || t > fieldHt_) return 1;
  if (r > fieldWd_ || l < 0 || b > fieldHt_ || t < 0) return 2;
  return 0;
}

bool clsRyxPattern::apart(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const {
  const std::int16_t l = i16(vLeft), t = i16(vTop);
  const std::int16_t r = i16(l + width_);
  const std::int16_t b = i16(t + height_);
  const std::int16_t tl = i16(vTLeft), tt = i16(vTTop);
  const std::int16_t tr = i16(tl + i16(vTWd));
  const std::int16_t tb = i16(tt + i16(vTHt));
  if (tr < l || r < tl) return true;
  if (tb < t || b < tt) return true;
  return false;
}

std::int16_t clsRyxPattern::PileCheck(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const {
  if (apart(vLeft, vTop, vTLeft, vTTop, vTWd, vTHt)) return 1;
  const int r = vLeft + width_, b = vTop + height_;
  const int tr = vTLeft + vTWd, tb = vTTop + vTHt;
  if (vLeft >= vTLeft && r <= tr && vTop >= vTTop && b <= tb) return 0;
  return 2;
}

std::int16_t clsRyxPattern::PileCheckLt(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const {
  return apart(vLeft, vTop, vTLeft, vTTop, vTWd, vTHt) ? 1 : 2;
}

bool clsRyxPattern::PileCheckPoint(int vLeft, int vTop, int vTLeft, int vTTop) const {
  const std::int16_t l = i16(vLeft), t = i16(vTop);
  const std::int16_t tl = i16(vTLeft), tt = i16(vTTop);
  const std::int16_t r = i16(l + width_);
  const std::int16_t b = i16(t + height_);
  return r < tl || tl < l || b < tt || tt < t;
}

}  // namespace ryx
