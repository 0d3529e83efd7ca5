#include <gtest/gtest.h>

#include "flipset/sprite/clsRyxField.h"
#include "flipset/sprite/clsRyxPattern.h"
#include "flipset/sprite/ryxerrors.h"
#include "platform/gdi.h"
#include "platform/ui.h"

using namespace ryx;

namespace {

// A stage of w x h pixels.
struct Stage {
  PictureBox box;
  Stage(int w, int h) { box.place(0, 0, ui::tw(w), ui::tw(h)); }
};

QRgb at(const QImage* img, int x, int y) { return img->pixel(x, y) & 0xFFFFFF; }

const QImage& fieldImage(const clsRyxField& f) { return *dcSurface(f.Hdc()); }

// A sheet of w x h filled with colour.
void fill(PictureBox& sheet, int w, int h, QRgb colour) { sheet.setPicture(gdi::surface(w, h, colour)); }

}  // namespace

TEST(SpriteField, SizeIsTheStagePlusMargins) {
  Stage s(28, 28);
  ASSERT_EQ(s.box.ScaleWidth(), 28);
  struct {
    int plusW, plusH, w, h;
  } cases[] = {{0, 0, 28, 28}, {10, 5, 38, 33}, {-8, 0, 20, 28}};
  for (const auto& c : cases) {
    clsRyxField f;
    f.Create(&s.box, c.plusW, c.plusH);
    EXPECT_EQ(f.Width(), c.w);
    EXPECT_EQ(f.Height(), c.h);
    EXPECT_EQ(f.PlusWd(), c.plusW);
    EXPECT_EQ(f.PlusHt(), c.plusH);
    ASSERT_NE(dcSurface(f.Hdc()), nullptr);
    EXPECT_EQ(fieldImage(f).size(), QSize(c.w, c.h));
  }
  clsRyxField ex;
  ex.CreateEx(&s.box, 50, 7);
  EXPECT_EQ(fieldImage(ex).size(), QSize(50, 7));
  EXPECT_EQ(ex.PlusWd(), 0);
}

TEST(SpriteField, ClearsPaintsOntoTheStageAndReadsItBack) {
  Stage s(6, 4);
  clsRyxField f;
  f.Create(&s.box, 4, 0);  // wider than the stage: the copy is clipped
  f.ClsW();
  EXPECT_EQ(at(&fieldImage(f), 9, 3), 0xFFFFFFu);
  f.Paint();
  EXPECT_EQ(at(&s.box.image(), 5, 3), 0xFFFFFFu);
  f.ClsB();
  EXPECT_EQ(at(&fieldImage(f), 0, 0), 0u);
  f.Paint();
  EXPECT_EQ(at(&s.box.image(), 0, 0), 0u);
  f.ClsW();
  f.GetPicture();
  EXPECT_EQ(at(&fieldImage(f), 5, 3), 0u);         // from the stage
  EXPECT_EQ(at(&fieldImage(f), 8, 3), 0xFFFFFFu);  // beyond the stage: untouched
}

TEST(SpriteField, StoredSizeLargerThanTheBitmapStaysInside) {
  Stage s(8, 8);
  clsRyxField f;
  f.Create(&s.box, 0, 0);
  f.setWidth(5000);
  f.setHeight(5000);
  f.ClsW();
  f.Paint();
  f.GetPicture();
  EXPECT_EQ(fieldImage(f).size(), QSize(8, 8));
  EXPECT_EQ(at(&s.box.image(), 7, 7), 0xFFFFFFu);
  f.setWidth(-3);  // a negative stored size draws nothing
  f.ClsB();
  EXPECT_EQ(at(&fieldImage(f), 0, 0), 0xFFFFFFu);
}

TEST(SpriteField, ReleasingTwiceOrBeforeCreateIsHarmless) {
  Stage s(4, 4);
  clsRyxField never;
  never.Delete();
  never.ClsB();
  never.Paint();

  clsRyxField f;
  f.Create(&s.box, 0, 0);
  f.setForeColor(0x0000FF);
  const Handle dc = f.Hdc(), bm = f.bitmap();
  f.Create(&s.box, 2, 2);  // a second Create frees the first surface
  EXPECT_FALSE(isLive(dc));
  EXPECT_FALSE(isLive(bm));
  const Handle dc2 = f.Hdc();
  f.Delete();
  EXPECT_FALSE(isLive(dc2));
  EXPECT_EQ(f.PicStage(), nullptr);
  f.Delete();
  f.ClsW();
  f.Paint();
  f.LineEx(0, 0, 3, 3);
}

TEST(SpriteField, LineWithTheForeColourLeavesOutItsEnd) {
  Stage s(10, 3);
  clsRyxField f;
  f.Create(&s.box, 0, 0);
  f.ClsB();
  f.setForeColor(0x0000FF);  // red, red in the low byte
  f.LineEx(1, 1, 5, 1);
  const QImage& img = fieldImage(f);
  EXPECT_EQ(at(&img, 0, 1), 0u);
  for (int x = 1; x <= 4; ++x) EXPECT_EQ(at(&img, x, 1), 0xFF0000u) << x;
  EXPECT_EQ(at(&img, 5, 1), 0u);
  f.setForeColor(0xFF0000);  // blue; the red pen is released
  f.LineEx(1, 2, 3, 2);
  EXPECT_EQ(at(&img, 1, 2), 0x0000FFu);
}

TEST(SpritePattern, SizeBelowOneIsStoredAsOne) {
  clsRyxPattern p;
  for (int v : {0, -1, -32768}) {
    p.setWidth(v);
    p.setHeight(v);
    EXPECT_EQ(p.Width(), 1);
    EXPECT_EQ(p.Height(), 1);
  }
  p.setWidth(32);
  EXPECT_EQ(p.Width(), 32);
  EXPECT_THROW(p.setWidth(40000), OverflowError);
  EXPECT_THROW(p.setLeft(-40000), OverflowError);
}

TEST(SpritePattern, PosCheckAgainstTheField) {
  Stage s(100, 100);
  clsRyxField f;
  f.Create(&s.box, 0, 0);
  clsRyxPattern p;
  p.setField(&f);
  p.setWidth(32);
  p.setHeight(32);
  struct {
    int l, t, want;
  } cases[] = {{0, 0, 0},   {-1, 0, 2},  {68, 68, 0}, {69, 0, 2}, {101, 0, 1},
               {-33, 0, 1}, {-32, 0, 2}, {0, 69, 2},  {0, -33, 1}, {100, 100, 2}};
  for (const auto& c : cases) EXPECT_EQ(p.PosCheck(c.l, c.t), c.want) << c.l << "," << c.t;
}

TEST(SpritePattern, PileChecks) {
  clsRyxPattern p;
  p.setWidth(10);
  p.setHeight(10);
  struct {
    int tl, tt, tw, th, pile, lt;
  } cases[] = {
      {0, 0, 20, 20, 0, 2},    // frame contained in the target
      {15, 15, 10, 10, 2, 2},  // edges touch
      {16, 0, 5, 5, 1, 1},     // apart
      {7, 7, 2, 2, 2, 2},      // target inside the frame
      {0, 16, 30, 30, 1, 1},   // below
      {5, 5, 10, 10, 0, 2},    // same rectangle
  };
  for (const auto& c : cases) {
    EXPECT_EQ(p.PileCheck(5, 5, c.tl, c.tt, c.tw, c.th), c.pile) << c.tl << "," << c.tt;
    EXPECT_EQ(p.PileCheckLt(5, 5, c.tl, c.tt, c.tw, c.th), c.lt) << c.tl << "," << c.tt;
  }
  struct {
    int x, y;
    bool miss;
  } points[] = {{5, 5, false}, {15, 15, false}, {16, 10, true}, {4, 10, true}, {10, 16, true}, {10, 4, true}};
  for (const auto& c : points) EXPECT_EQ(p.PileCheckPoint(5, 5, c.x, c.y), c.miss) << c.x << "," << c.y;
}

TEST(SpritePattern, ArithmeticOutsideSixteenBitsOverflows) {
  clsRyxPattern p;
  p.setWidth(32);
  p.setHeight(32);
  EXPECT_THROW(p.PosCheck(32767 - 10, 0), OverflowError);
  EXPECT_THROW(p.PosCheck(0, 32740), OverflowError);
  EXPECT_EQ(p.PosCheck(32767 - 32, 0), 1);
  EXPECT_THROW(p.PileCheck(0, 0, 32000, 0, 1000, 1), OverflowError);
  EXPECT_THROW(p.PileCheckPoint(32760, 0, 0, 0), OverflowError);
  EXPECT_THROW(p.PosCheck(40000, 0), OverflowError);

  Stage s(2, 2);
  clsRyxField big;
  big.CreateEx(&s.box, 40000, 1);
  EXPECT_THROW(p.setField(&big), OverflowError);
}

TEST(SpritePattern, PaintCopiesTheFrameRectangle) {
  Stage s(8, 8);
  clsRyxField f;
  f.Create(&s.box, 0, 0);
  f.ClsB();
  PictureBox sheet;
  fill(sheet, 10, 10, 0x112233);
  QImage img = sheet.image();
  img.setPixel(3, 4, 0xFFABCDEF);
  sheet.setPicture(img);
  clsRyxPattern p;
  p.setField(&f);
  p.setPicture(&sheet);
  p.setLeft(3);
  p.setTop(4);
  p.setWidth(2);
  p.setHeight(2);
  p.Paint(6, 6);  // partly beyond the field: clipped
  EXPECT_EQ(at(&fieldImage(f), 6, 6), 0xABCDEFu);
  EXPECT_EQ(at(&fieldImage(f), 7, 7), 0x112233u);
  EXPECT_EQ(at(&fieldImage(f), 5, 5), 0u);
  p.Paint(-1, -1);
  EXPECT_EQ(at(&fieldImage(f), 0, 0), 0x112233u);
}

TEST(SpritePattern, MaskedPaint) {
  Stage s(4, 1);
  clsRyxField f;
  f.Create(&s.box, 0, 0);
  PictureBox mask, picture;
  // Mask black where the sprite is (x = 1, 2), white around; picture black around.
  QImage m = gdi::surface(4, 1, 0xFFFFFF), pic = gdi::surface(4, 1, 0x000000);
  m.setPixel(1, 0, 0xFF000000);
  m.setPixel(2, 0, 0xFF000000);
  pic.setPixel(1, 0, 0xFFFF8800);
  pic.setPixel(2, 0, 0xFF0088FF);
  mask.setPicture(m);
  picture.setPicture(pic);
  clsRyxPattern p;
  p.setField(&f);
  p.setPicture(&picture);
  p.setMask(&mask);
  p.setWidth(4);
  p.setHeight(1);

  // The background is a pattern of its own.
  const QRgb back[4] = {0x336699, 0x445566, 0x778899, 0xAABBCC};
  auto paintBack = [&] {
    QImage b = gdi::surface(4, 1);
    for (int x = 0; x < 4; ++x) b.setPixel(x, 0, back[x] | 0xFF000000u);
    PictureBox bb;
    bb.setPicture(b);
    BitBlt(f.Hdc(), 0, 0, 4, 1, bb.hDC(), 0, 0, gdi::SRCCOPY);
  };
  paintBack();
  p.PaintEx(0, 0);
  const QImage& img = fieldImage(f);
  EXPECT_EQ(at(&img, 0, 0), back[0]);
  EXPECT_EQ(at(&img, 1, 0), 0xFF8800u);
  EXPECT_EQ(at(&img, 2, 0), 0x0088FFu);
  EXPECT_EQ(at(&img, 3, 0), back[3]);

  // An all-white mask with an all-black picture leaves the field unchanged.
  mask.setPicture(gdi::surface(4, 1, 0xFFFFFF));
  picture.setPicture(gdi::surface(4, 1, 0x000000));
  paintBack();
  p.PaintEx(0, 0);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(at(&img, x, 0), back[x]) << x;
}
