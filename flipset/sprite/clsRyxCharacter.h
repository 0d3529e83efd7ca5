#pragma once
// One moving, animated instance of a sprite: a position, velocity and
// acceleration in pixels, the current frame with a paced animation, and an
// optional motion queue. The character refers to its sprite and queue; it
// owns neither.
#include <QString>
#include <cstdint>

#include "flipset/sprite/clsRyxMQL.h"
#include "flipset/sprite/clsRyxSprite.h"

namespace ryx {

class clsRyxCharacter {
 public:
  std::int16_t PtNo() const { return ptNo_; }
  // Accepted only for an existing frame number; otherwise ignored.
  void setPtNo(int v);
  clsRyxSprite* Sprite() const { return sprite_; }
  void setSprite(clsRyxSprite* vSprite) { sprite_ = vSprite; }
  clsRyxMQL* MQL() const { return mql_; }
  // Attaches a queue and applies its entry 0.
  void setMQL(clsRyxMQL* vMQL);

  float LeftTrans() const { return leftTrans_; }
  void setLeftTrans(float v) { leftTrans_ = v; }
  float TopTrans() const { return topTrans_; }
  void setTopTrans(float v) { topTrans_ = v; }
  float LeftAccel() const { return leftAccel_; }
  void setLeftAccel(float v) { leftAccel_ = v; }
  float TopAccel() const { return topAccel_; }
  void setTopAccel(float v) { topAccel_ = v; }
  std::int16_t Hp() const { return hp_; }
  void setHp(int v);
  std::int32_t Num() const { return num_; }
  void setNum(std::int32_t v) { num_ = v; }
  QString Tag() const { return tag_; }
  void setTag(const QString& v) { tag_ = v; }
  float Left() const { return left_; }
  void setLeft(float v) { left_ = v; }
  float Top() const { return top_; }
  void setTop(float v) { top_ = v; }
  // Size of the current frame.
  std::int16_t Width() const;
  std::int16_t Height() const;

  std::int16_t AniSp() const { return aniSp_; }
  std::int16_t AniCt() const { return aniCt_; }
  std::int32_t MqlSeq() const { return mqlSeq_; }
  std::int32_t MoveCt() const { return moveCt_; }

  void Create(clsRyxSprite* vSprite, int vLeft, int vTop, int vHp, int vAniSp);
  void ChangeSprite(clsRyxSprite* vSprite, int vAniSp);
  // The current frame at the integer position.
  void Paint() const;
  void PaintEx() const;
  // One motion step: the position moves with the velocity, then the
  // acceleration is added to the velocity.
  void Move();
  // One queue step, then Move. Without a queue, a plain Move.
  void MoveMQL();
  std::int16_t PosCheck() const;
  std::int16_t VerPosCheck(int vLeft, int vTop) const;
  std::int16_t PileCheck(const clsRyxCharacter& vTChr) const;
  std::int16_t PileCheckLt(const clsRyxCharacter& vTChr) const;
  bool PileCheckPoint(int vLeft, int vTop) const;
  // Paced frame step: 0 next, 1 back, 2 next looping, 3 back looping.
  bool AutoAnime(int vAniType);
  bool SetNextPt();
  bool SetBeforePt();
  bool SetNextPtLp();
  bool SetBeforePtLp();

  // Drops the sprite and the queue.
  void Release();

  // The integer position handed to the frames.
  std::int16_t intLeft() const;
  std::int16_t intTop() const;

 private:
  const clsRyxPattern& frame() const;
  bool NextMql();
  std::int16_t maxFrame() const;

  clsRyxSprite* sprite_ = nullptr;
  clsRyxMQL* mql_ = nullptr;
  std::int16_t ptNo_ = 0;
  std::int16_t aniSp_ = 0;
  std::int16_t aniCt_ = 0;
  float left_ = 0, top_ = 0;
  float leftTrans_ = 0, topTrans_ = 0;
  float leftAccel_ = 0, topAccel_ = 0;
  std::int16_t hp_ = 0;
  std::int32_t num_ = 0;
  QString tag_;
  // Queue position and steps left; held wide enough for every entry's count.
  std::int32_t mqlSeq_ = 0;
  std::int32_t moveCt_ = 0;
};

}  // namespace ryx
