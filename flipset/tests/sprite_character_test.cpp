#include <gtest/gtest.h>

#include <vector>

#include "flipset/sprite/clsRyxCharacter.h"
#include "flipset/sprite/clsRyxMQL.h"
#include "flipset/sprite/clsRyxSprite.h"
#include "flipset/sprite/ryxerrors.h"
#include "platform/gdi.h"
#include "platform/ui.h"

using namespace ryx;

namespace {

// A 12-frame sprite on a 100 x 100 field, frames 32 x 32.
struct World {
  PictureBox stage, sheet;
  clsRyxField field;
  clsRyxSprite sprite;
  explicit World(int frames = 12) {
    stage.place(0, 0, ui::tw(100), ui::tw(100));
    sheet.setPicture(gdi::surface(36 * frames + 4, 40, 0x000000));
    field.Create(&stage, 0, 0);
    sprite.Create(&field, &sheet, &sheet, frames);
    for (int i = 0; i < frames; ++i) sprite.SetPtnPic(i, 36 * i + 4, 4, 32, 32);
  }
};

}  // namespace

TEST(SpriteSprite, FramesAndTheirNumbers) {
  World w;
  EXPECT_EQ(w.sprite.PtNoMax(), 11);
  EXPECT_EQ(w.sprite.Pattern(3).Left(), 36 * 3 + 4);
  EXPECT_EQ(w.sprite.Pattern(11).Field(), &w.field);
  EXPECT_EQ(w.sprite.Pattern(0).Mask(), &w.sheet);
  EXPECT_EQ(w.sprite.Width(5), 32);
  EXPECT_EQ(&w.sprite.Pattern(2), &w.sprite.Pattern(2));  // shared, not a copy

  EXPECT_FALSE(w.sprite.SetPtnPic(12, 0, 0, 5, 5));
  EXPECT_FALSE(w.sprite.SetPtnPic(-1, 0, 0, 5, 5));
  EXPECT_EQ(w.sprite.Pattern(11).Width(), 32);
  EXPECT_TRUE(w.sprite.SetPtnPic(11, 1, 2, 0, 7));
  EXPECT_EQ(w.sprite.Pattern(11).Width(), 1);
  EXPECT_EQ(w.sprite.Pattern(11).Height(), 7);

  EXPECT_THROW(w.sprite.Pattern(12), IndexError);
  EXPECT_THROW(w.sprite.Paint(-1, 0, 0), IndexError);
  EXPECT_THROW(w.sprite.PosCheck(12, 0, 0), IndexError);
  clsRyxSprite none;
  EXPECT_THROW(none.Pattern(0), IndexError);
  w.sprite.Release();
  EXPECT_THROW(w.sprite.Pattern(0), IndexError);
}

TEST(SpriteCharacter, FrameSteps) {
  World w;
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  for (int i = 1; i <= 11; ++i) EXPECT_FALSE(c.SetNextPt()) << i;
  EXPECT_EQ(c.PtNo(), 11);
  EXPECT_TRUE(c.SetNextPt());
  EXPECT_EQ(c.PtNo(), 11);

  for (int i = 10; i >= 0; --i) {
    EXPECT_FALSE(c.AutoAnime(1));
    EXPECT_EQ(c.PtNo(), i);
  }
  EXPECT_TRUE(c.AutoAnime(1));
  EXPECT_EQ(c.PtNo(), 0);

  EXPECT_TRUE(c.SetBeforePtLp());
  EXPECT_EQ(c.PtNo(), 11);
  EXPECT_TRUE(c.SetNextPtLp());
  EXPECT_EQ(c.PtNo(), 0);
  EXPECT_FALSE(c.SetNextPtLp());
  EXPECT_EQ(c.PtNo(), 1);
  EXPECT_FALSE(c.AutoAnime(7));  // no such step
  EXPECT_EQ(c.PtNo(), 1);

  c.setPtNo(12);
  EXPECT_EQ(c.PtNo(), 1);
  c.setPtNo(-1);
  EXPECT_EQ(c.PtNo(), 1);
  c.setPtNo(11);
  EXPECT_EQ(c.PtNo(), 11);
}

TEST(SpriteCharacter, AnimationPace) {
  World w;
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 3);
  std::vector<int> frames;
  for (int i = 1; i <= 9; ++i) {
    c.AutoAnime(0);
    frames.push_back(c.PtNo());
  }
  EXPECT_EQ(frames, (std::vector<int>{0, 0, 1, 1, 1, 2, 2, 2, 3}));
  c.ChangeSprite(&w.sprite, 0);  // a pace of 0 steps on every call
  EXPECT_EQ(c.PtNo(), 0);
  c.AutoAnime(2);
  c.AutoAnime(2);
  EXPECT_EQ(c.PtNo(), 2);
}

TEST(SpriteCharacter, MoveAddsVelocityThenAcceleration) {
  World w;
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setLeftTrans(1);
  c.setTopTrans(0);
  c.setLeftAccel(0);
  c.setTopAccel(1);
  c.Move();
  EXPECT_FLOAT_EQ(c.Left(), 1);
  EXPECT_FLOAT_EQ(c.Top(), 0);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 1);
  EXPECT_FLOAT_EQ(c.TopTrans(), 1);
  c.Move();
  EXPECT_FLOAT_EQ(c.Left(), 2);
  EXPECT_FLOAT_EQ(c.Top(), 1);
  EXPECT_FLOAT_EQ(c.TopTrans(), 2);
}

TEST(SpriteCharacter, MotionQueueLoops) {
  World w;
  clsRyxMQL q;
  q.Add(0, 2, 0, 3, false);
  q.Add(0, -6, 0, 1, false);
  EXPECT_EQ(q.MqlMax(), 2);
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setMQL(&q);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 2);
  std::vector<float> steps;
  for (int i = 0; i < 8; ++i) {
    const float before = c.Left();
    c.MoveMQL();
    steps.push_back(c.Left() - before);
  }
  EXPECT_EQ(steps, (std::vector<float>{2, 2, -6, 2, 2, 2, -6, 2}));
}

TEST(SpriteCharacter, AccelerationEntriesCarryTheVelocity) {
  World w;
  clsRyxMQL q;
  q.Add(0, 1, 0, 1, true);  // attaching adds 1 to the velocity once
  q.Add(0, 0.5f, 0, 2, true);
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setLeftTrans(3);
  c.setLeftAccel(0.25f);
  c.setMQL(&q);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 4);
  EXPECT_FLOAT_EQ(c.LeftAccel(), 0.25f);
  c.MoveMQL();  // entry 1: acceleration 0.5
  EXPECT_FLOAT_EQ(c.Left(), 4);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 4.5f);
  c.MoveMQL();
  EXPECT_FLOAT_EQ(c.Left(), 8.5f);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 5);
}

TEST(SpriteCharacter, EmptyQueueKeepsTheCharacterStill) {
  World w;
  clsRyxMQL q;
  EXPECT_EQ(q.MqlMax(), 0);
  EXPECT_FLOAT_EQ(q.vX(0), 0);
  EXPECT_THROW(q.vX(1), IndexError);
  EXPECT_THROW(q.MoveCt(-1), IndexError);
  clsRyxCharacter c;
  c.Create(&w.sprite, 5, 5, 0, 1);
  c.setLeftTrans(3);
  c.setTopTrans(1);
  c.setMQL(&q);
  EXPECT_FLOAT_EQ(c.LeftTrans(), 0);
  EXPECT_FLOAT_EQ(c.TopTrans(), 0);
  EXPECT_EQ(c.MoveCt(), 0);
  for (int i = 0; i < 3; ++i) c.MoveMQL();
  EXPECT_FLOAT_EQ(c.Left(), 5);
  EXPECT_FLOAT_EQ(c.Top(), 5);
}

TEST(SpriteCharacter, QueueStepWithoutQueueIsAPlainMove) {
  World w;
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setLeftTrans(2);
  c.setTopAccel(1);
  c.MoveMQL();
  c.MoveMQL();
  EXPECT_FLOAT_EQ(c.Left(), 4);
  EXPECT_FLOAT_EQ(c.Top(), 1);
}

TEST(SpriteCharacter, StepCountsBeyondSixteenBits) {
  World w;
  clsRyxMQL q;
  q.Add(0, 1, 0, 40000, false);
  q.Add(0, -1, 0, INT32_MIN, false);
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setMQL(&q);
  EXPECT_EQ(c.MoveCt(), 40000);
  for (int i = 0; i < 39999; ++i) c.MoveMQL();
  EXPECT_FLOAT_EQ(c.LeftTrans(), 1);
  c.MoveMQL();  // the second entry, whose count is below one, lasts one step
  EXPECT_FLOAT_EQ(c.LeftTrans(), -1);
  c.MoveMQL();
  EXPECT_FLOAT_EQ(c.LeftTrans(), 1);
  EXPECT_EQ(c.MqlSeq(), 0);
}

TEST(SpriteCharacter, IntegerPositionRoundsHalvesToEven) {
  World w;
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  struct {
    float v;
    int want;
  } cases[] = {{2.5f, 2}, {3.5f, 4}, {-0.5f, 0}, {-1.5f, -2}, {2.4f, 2}, {2.6f, 3}};
  for (const auto& k : cases) {
    c.setLeft(k.v);
    EXPECT_EQ(c.intLeft(), k.want) << k.v;
  }
  c.setLeft(40000);
  EXPECT_THROW(c.Paint(), OverflowError);
  EXPECT_THROW(c.PosCheck(), OverflowError);
}

TEST(SpriteCharacter, PositionAndOverlapChecks) {
  World w;
  clsRyxCharacter a, b;
  a.Create(&w.sprite, 10, 10, 0, 1);
  b.Create(&w.sprite, 42, 10, 0, 1);  // touching edges
  EXPECT_EQ(a.PosCheck(), 0);
  EXPECT_EQ(a.VerPosCheck(-40, 0), 1);
  EXPECT_EQ(a.VerPosCheck(90, 0), 2);
  EXPECT_EQ(a.PileCheck(b), 2);
  EXPECT_EQ(a.PileCheckLt(b), 2);
  b.setLeft(43);
  EXPECT_EQ(a.PileCheck(b), 1);
  b.setLeft(10.4f);
  EXPECT_EQ(a.PileCheck(b), 0);
  EXPECT_FALSE(a.PileCheckPoint(42, 42));
  EXPECT_TRUE(a.PileCheckPoint(43, 42));
  EXPECT_EQ(a.Width(), 32);
}

TEST(SpriteCharacter, PaintsItsFrameOntoTheField) {
  World w;
  QImage sheet = gdi::surface(36 * 12 + 4, 40, 0x000000);
  sheet.setPixel(36 * 3 + 4, 4, 0xFF00FF00);  // top-left pixel of frame 3
  w.sheet.setPicture(sheet);
  w.field.ClsW();
  clsRyxCharacter c;
  c.Create(&w.sprite, 0, 0, 0, 1);
  c.setPtNo(3);
  c.setLeft(20.5f);
  c.setTop(7.5f);
  c.Paint();
  const QImage& img = *dcSurface(w.field.Hdc());
  EXPECT_EQ(img.pixel(20, 8) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(img.pixel(19, 8) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(img.pixel(21, 9) & 0xFFFFFF, 0x000000u);
}
