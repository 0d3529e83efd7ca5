#pragma once
// An off-screen drawing surface bound to a picture box (its stage): a memory
// device context with a bitmap of the stage's size (plus margins) or of an
// explicit size, copied onto the stage by Paint.
#include <cstdint>

#include "flipset/sprite/picturebox.h"
#include "flipset/sprite/ryxdc.h"

namespace ryx {

class clsRyxField {
 public:
  clsRyxField() = default;
  ~clsRyxField();
  clsRyxField(const clsRyxField&) = delete;
  clsRyxField& operator=(const clsRyxField&) = delete;

  // Stored sizes and handle; setting them changes only the stored value.
  std::int32_t Width() const { return width_; }
  void setWidth(std::int32_t v) { width_ = v; }
  std::int32_t Height() const { return height_; }
  void setHeight(std::int32_t v) { height_ = v; }
  Handle Hdc() const { return hdc_; }
  void setHdc(Handle v) { hdc_ = v; }
  // Selects a solid 1-pixel pen of colour vFCr (0x00BBGGRR) for LineEx.
  void setForeColor(std::int32_t vFCr);

  std::int32_t PlusWd() const { return plusWd_; }
  std::int32_t PlusHt() const { return plusHt_; }
  PictureBox* PicStage() const { return stage_; }

  // A surface of the stage's size plus the margins.
  void Create(PictureBox* vPicStage, std::int32_t vPlusWd, std::int32_t vPlusHt);
  // A surface of an explicit size.
  void CreateEx(PictureBox* vPicStage, std::int32_t vWd, std::int32_t vHt);
  void ClsB();
  void ClsW();
  void LineEx(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2);
  // Copies the surface onto the stage at (0, 0).
  void Paint();
  // Copies the stage's top-left corner into the surface.
  void GetPicture();
  // Releases the stage and frees the device context, bitmap and pen. Safe to
  // run more than once.
  void Delete();

  // The bitmap made by Create (0 when none).
  Handle bitmap() const { return bitmap_; }

 private:
  void make(PictureBox* stage, std::int32_t w, std::int32_t h, std::int32_t plusWd, std::int32_t plusHt);
  PictureBox* stage_ = nullptr;
  Handle hdc_ = 0;
  Handle ownDc_ = 0;
  Handle bitmap_ = 0;
  Handle previous_ = 0;
  Handle pen_ = 0;
  std::int32_t width_ = 0, height_ = 0;
  std::int32_t plusWd_ = 0, plusHt_ = 0;
};

}  // namespace ryx
