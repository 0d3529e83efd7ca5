#include "flipset/sprite/clsRyxCharacter.h"

#include "flipset/sprite/ryxerrors.h"

namespace ryx {

namespace {
// Objects must be set before use, as an object variable must.
[[noreturn]] void notSet() { throw std::logic_error("Object variable not set"); }
}  // namespace

std::int16_t clsRyxCharacter::maxFrame() const {
  if (!sprite_) notSet();
  return sprite_->PtNoMax();
}

const clsRyxPattern& clsRyxCharacter::frame() const {
  if (!sprite_) notSet();
  return sprite_->Pattern(ptNo_);
}

void clsRyxCharacter::setPtNo(int v) {
  if (v >= 0 && v <= maxFrame()) ptNo_ = static_cast<std::int16_t>(v);
}

void clsRyxCharacter::setHp(int v) { hp_ = i16(v); }

void clsRyxCharacter::setMQL(clsRyxMQL* vMQL) {
  mql_ = vMQL;
  if (!mql_) return;
  if (!mql_->IneFlag(0)) {
    leftTrans_ = mql_->vX(0);
    topTrans_ = mql_->vY(0);
  } else {
    leftTrans_ += mql_->vX(0);
    topTrans_ += mql_->vY(0);
  }
  moveCt_ = mql_->MoveCt(0);
}

std::int16_t clsRyxCharacter::Width() const { return frame().Width(); }
std::int16_t clsRyxCharacter::Height() const { return frame().Height(); }

std::int16_t clsRyxCharacter::intLeft() const { return cint(left_); }
std::int16_t clsRyxCharacter::intTop() const { return cint(top_); }

void clsRyxCharacter::Create(clsRyxSprite* vSprite, int vLeft, int vTop, int vHp, int vAniSp) {
  const std::int16_t l = i16(vLeft), t = i16(vTop), hp = i16(vHp), sp = i16(vAniSp);
  sprite_ = vSprite;
  hp_ = hp;
  aniSp_ = sp;
  left_ = l;
  top_ = t;
  aniCt_ = 0;
  ptNo_ = 0;
}

void clsRyxCharacter::ChangeSprite(clsRyxSprite* vSprite, int vAniSp) {
  const std::int16_t sp = i16(vAniSp);
  sprite_ = vSprite;
  aniSp_ = sp;
  aniCt_ = 0;
  ptNo_ = 0;
}

void clsRyxCharacter::Paint() const { frame().Paint(intLeft(), intTop()); }
void clsRyxCharacter::PaintEx() const { frame().PaintEx(intLeft(), intTop()); }

void clsRyxCharacter::Move() {
  left_ += leftTrans_;
  top_ += topTrans_;
  leftTrans_ += leftAccel_;
  topTrans_ += topAccel_;
}

bool clsRyxCharacter::NextMql() {
  // Counting down from one or less changes the entry; no count ever goes
  // below the entry's own.
  if (moveCt_ > 1) {
    --moveCt_;
    return false;
  }
  if (mqlSeq_ >= mql_->MqlMax() - 1) mqlSeq_ = 0;
  else ++mqlSeq_;
  moveCt_ = mql_->MoveCt(mqlSeq_);
  return true;
}

void clsRyxCharacter::MoveMQL() {
  if (mql_ && NextMql()) {
    if (!mql_->IneFlag(mqlSeq_)) {
      leftTrans_ = mql_->vX(mqlSeq_);
      topTrans_ = mql_->vY(mqlSeq_);
      leftAccel_ = 0;
      topAccel_ = 0;
    } else {
      leftAccel_ = mql_->vX(mqlSeq_);
      topAccel_ = mql_->vY(mqlSeq_);
    }
  }
  Move();
}

std::int16_t clsRyxCharacter::PosCheck() const { return frame().PosCheck(intLeft(), intTop()); }

std::int16_t clsRyxCharacter::VerPosCheck(int vLeft, int vTop) const {
  return frame().PosCheck(i16(vLeft), i16(vTop));
}

std::int16_t clsRyxCharacter::PileCheck(const clsRyxCharacter& vTChr) const {
  return frame().PileCheck(intLeft(), intTop(), vTChr.intLeft(), vTChr.intTop(), vTChr.Width(), vTChr.Height());
}

std::int16_t clsRyxCharacter::PileCheckLt(const clsRyxCharacter& vTChr) const {
  return frame().PileCheckLt(intLeft(), intTop(), vTChr.intLeft(), vTChr.intTop(), vTChr.Width(),
                             vTChr.Height());
}

bool clsRyxCharacter::PileCheckPoint(int vLeft, int vTop) const {
  return frame().PileCheckPoint(intLeft(), intTop(), vLeft, vTop);
}

bool clsRyxCharacter::AutoAnime(int vAniType) {
  // The counter never passes the pace, so it cannot overflow.
  if (aniCt_ < 32767) ++aniCt_;
  if (aniCt_ < aniSp_) return false;
  aniCt_ = 0;
  switch (vAniType) {
    case 0: return SetNextPt();
    case 1: return SetBeforePt();
    case 2: return SetNextPtLp();
    case 3: return SetBeforePtLp();
    default: return false;
  }
}

bool clsRyxCharacter::SetNextPt() {
  if (ptNo_ < maxFrame()) {
    ++ptNo_;
    return false;
  }
  return true;
}

bool clsRyxCharacter::SetBeforePt() {
  if (ptNo_ >= 1) {
    --ptNo_;
    return false;
  }
  return true;
}

bool clsRyxCharacter::SetNextPtLp() {
  const std::int16_t max = maxFrame();
  if (ptNo_ + 1 > max) {
    ptNo_ = 0;
    return true;
  }
  ++ptNo_;
  return false;
}

bool clsRyxCharacter::SetBeforePtLp() {
  const std::int16_t max = maxFrame();
  if (ptNo_ - 1 < 0) {
    ptNo_ = max;
    return true;
  }
  --ptNo_;
  return false;
}

void clsRyxCharacter::Release() {
  sprite_ = nullptr;
  mql_ = nullptr;
}

}  // namespace ryx
