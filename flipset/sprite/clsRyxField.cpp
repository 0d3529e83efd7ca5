#include "flipset/sprite/clsRyxField.h"

#include "flipset/sprite/ryxerrors.h"
#include "platform/gdi.h"

namespace ryx {

clsRyxField::~clsRyxField() { Delete(); }

void clsRyxField::setForeColor(std::int32_t vFCr) {
  const Handle pen = CreatePen(PS_SOLID, 1, static_cast<std::uint32_t>(vFCr));
  const Handle old = SelectObject(hdc_, pen);
  if (old == 0) {
    DeleteObject(pen);
    return;
  }
  if (old == pen_ && pen_ != 0) DeleteObject(pen_);
  pen_ = pen;
}

void clsRyxField::make(PictureBox* stage, std::int32_t w, std::int32_t h, std::int32_t plusWd,
                       std::int32_t plusHt) {
  // A second Create releases the first surface instead of leaking it.
  Delete();
  stage_ = stage;
  const Handle stageDc = stage ? stage->hDC() : 0;
  ownDc_ = CreateCompatibleDC(stageDc);
  hdc_ = ownDc_;
  width_ = w;
  height_ = h;
  plusWd_ = plusWd;
  plusHt_ = plusHt;
  bitmap_ = CreateCompatibleBitmap(stageDc, width_, height_);
  previous_ = SelectObject(hdc_, bitmap_);
}

void clsRyxField::Create(PictureBox* vPicStage, std::int32_t vPlusWd, std::int32_t vPlusHt) {
  const long long sw = vPicStage ? vPicStage->ScaleWidth() : 0;
  const long long sh = vPicStage ? vPicStage->ScaleHeight() : 0;
  make(vPicStage, i32(sw + vPlusWd), i32(sh + vPlusHt), vPlusWd, vPlusHt);
}

void clsRyxField::CreateEx(PictureBox* vPicStage, std::int32_t vWd, std::int32_t vHt) {
  make(vPicStage, vWd, vHt, 0, 0);
}

void clsRyxField::ClsB() { PatBlt(hdc_, 0, 0, width_, height_, gdi::BLACKNESS); }

void clsRyxField::ClsW() { PatBlt(hdc_, 0, 0, width_, height_, gdi::WHITENESS); }

void clsRyxField::LineEx(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
  MoveToEx(hdc_, X1, Y1);
  LineTo(hdc_, X2, Y2);
}

void clsRyxField::Paint() {
  if (!stage_) return;
  BitBlt(stage_->hDC(), 0, 0, width_, height_, hdc_, 0, 0, gdi::SRCCOPY);
}

void clsRyxField::GetPicture() {
  if (!stage_) return;
  BitBlt(hdc_, 0, 0, width_, height_, stage_->hDC(), 0, 0, gdi::SRCCOPY);
}

void clsRyxField::Delete() {
  stage_ = nullptr;
  if (ownDc_ != 0) {
    if (previous_ != 0) SelectObject(ownDc_, previous_);
    DeleteDC(ownDc_);
  }
  if (bitmap_ != 0) DeleteObject(bitmap_);
  if (pen_ != 0) DeleteObject(pen_);
  ownDc_ = bitmap_ = previous_ = pen_ = 0;
  if (hdc_ != 0) hdc_ = 0;
}

}  // namespace ryx
