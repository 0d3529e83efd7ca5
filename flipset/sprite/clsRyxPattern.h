#pragma once
// One frame of a sprite sheet: a source rectangle in a picture (with an
// optional mask sheet) that draws itself onto a field and answers position
// and overlap questions. All its arithmetic is 16-bit signed: a position
// plus a size outside -32768..32767 fails with OverflowError.
#include <cstdint>

#include "flipset/sprite/clsRyxField.h"
#include "flipset/sprite/picturebox.h"

namespace ryx {

class clsRyxPattern {
 public:
  // Setting the field also takes its Width and Height as 16-bit values.
  clsRyxField* Field() const { return field_; }
  void setField(clsRyxField* vField);
  PictureBox* Picture() const { return picture_; }
  void setPicture(PictureBox* v) { picture_ = v; }
  PictureBox* Mask() const { return mask_; }
  void setMask(PictureBox* v) { mask_ = v; }

  std::int16_t Left() const { return left_; }
  void setLeft(int v);
  std::int16_t Top() const { return top_; }
  void setTop(int v);
  // A size below 1 is stored as 1.
  std::int16_t Width() const { return width_; }
  void setWidth(int v);
  std::int16_t Height() const { return height_; }
  void setHeight(int v);

  std::int16_t FieldWd() const { return fieldWd_; }
  std::int16_t FieldHt() const { return fieldHt_; }

  // Copies the frame onto the field at (vLeft, vTop).
  void Paint(int vLeft, int vTop) const;
  // Draws the frame masked: the mask with AND, then the picture with XOR.
  void PaintEx(int vLeft, int vTop) const;
  // 0 inside the field, 1 wholly outside, 2 partly outside.
  std::int16_t PosCheck(int vLeft, int vTop) const;
  // Against a target rectangle: 0 contained in it, 1 apart, 2 overlap.
  std::int16_t PileCheck(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const;
  // 1 apart, 2 overlap (no containment test).
  std::int16_t PileCheckLt(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const;
  // True when the point (vTLeft, vTTop) misses the frame placed at (vLeft, vTop).
  bool PileCheckPoint(int vLeft, int vTop, int vTLeft, int vTTop) const;

 private:
  bool apart(int vLeft, int vTop, int vTLeft, int vTTop, int vTWd, int vTHt) const;
  void blit(PictureBox* sheet, int vLeft, int vTop, std::uint32_t rop) const;
  clsRyxField* field_ = nullptr;
  PictureBox* picture_ = nullptr;
  PictureBox* mask_ = nullptr;
  std::int16_t fieldWd_ = 0, fieldHt_ = 0;
  std::int16_t left_ = 0, top_ = 0;
  std::int16_t width_ = 1, height_ = 1;
};

}  // namespace ryx
