#pragma once
// A numbered set of frames (patterns) cut from one sprite sheet and drawn
// onto one field. Frame numbers outside 0..PtNoMax fail with IndexError.
#include <cstdint>
#include <memory>
#include <vector>

#include "flipset/sprite/clsRyxPattern.h"

namespace ryx {

class clsRyxSprite {
 public:
  std::int16_t PtNoMax() const { return ptNoMax_; }
  // The frame object itself (shared, not a copy).
  clsRyxPattern& Pattern(int vPtNo) const;
  std::int16_t Width(int vPtNo) const { return Pattern(vPtNo).Width(); }
  std::int16_t Height(int vPtNo) const { return Pattern(vPtNo).Height(); }

  // Drops any earlier frames and makes vPMax new ones on the sheets.
  void Create(clsRyxField* vField, PictureBox* vSrcPic, PictureBox* vMskPic, int vPMax);
  // Sets a frame's rectangle; false and no change for a frame that does not exist.
  bool SetPtnPic(int vPtNo, int vLeft, int vTop, int vWd, int vHt);
  void Paint(int vPtNo, int vLeft, int vTop) const { Pattern(vPtNo).Paint(vLeft, vTop); }
  void PaintEx(int vPtNo, int vLeft, int vTop) const { Pattern(vPtNo).PaintEx(vLeft, vTop); }
  std::int16_t PosCheck(int vPtNo, int vLeft, int vTop) const { return Pattern(vPtNo).PosCheck(vLeft, vTop); }

  // Releases the frames.
  void Release();

 private:
  std::vector<std::unique_ptr<clsRyxPattern>> patterns_;
  std::int16_t ptNoMax_ = -1;
};

}  // namespace ryx
