#pragma once
// A motion queue: movement records that a character steps through, looping.
// A new queue holds one all-zero slot at index 0 and no entries.
#include <cstdint>
#include <vector>

namespace ryx {

struct MqlRecord {
  std::int32_t PtMng = 0;  // frame management value, kept but not read
  float vX = 0;            // horizontal velocity or acceleration
  float vY = 0;            // vertical velocity or acceleration
  std::int32_t MoveCt = 0; // number of steps the entry lasts
  bool IneFlag = false;    // false: vX/vY set the velocity; true: an acceleration
};

class clsRyxMQL {
 public:
  clsRyxMQL() : entries_(1) {}
  // Entry fields; an index outside the stored slots fails with IndexError.
  std::int32_t MoveCt(std::int32_t vMqlSeq) const { return at(vMqlSeq).MoveCt; }
  float vX(std::int32_t vMqlSeq) const { return at(vMqlSeq).vX; }
  float vY(std::int32_t vMqlSeq) const { return at(vMqlSeq).vY; }
  bool IneFlag(std::int32_t vMqlSeq) const { return at(vMqlSeq).IneFlag; }
  std::int32_t MqlMax() const { return mqlMax_; }
  // Appends an entry.
  void Add(std::int32_t vPtMng, float vVX, float vVY, std::int32_t vMoveCt, bool vIneFlag);

 private:
  const MqlRecord& at(std::int32_t i) const;
  std::vector<MqlRecord> entries_;
  std::int32_t mqlMax_ = 0;
};

}  // namespace ryx
