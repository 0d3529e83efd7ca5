#include <gtest/gtest.h>

#include "platform/gdi.h"

namespace {
std::uint32_t px(const QImage& img, int x, int y) { return img.pixel(x, y); }
}  // namespace

TEST(Gdi, MaskedCopyLeavesBackgroundWhereTheMaskIsWhite) {
  // The classic sprite draw: SRCAND of a mask (white outside, black inside),
  // then SRCPAINT of the colour part (black outside).
  QImage back = gdi::surface(4, 1, 0x336699);
  QImage mask = gdi::surface(4, 1, 0xFFFFFF);
  QImage sprite = gdi::surface(4, 1, 0x000000);
  mask.setPixel(1, 0, 0xFF000000);
  sprite.setPixel(1, 0, 0xFFAA5500);
  gdi::BitBlt(back, 0, 0, 4, 1, mask, 0, 0, gdi::SRCAND);
  gdi::BitBlt(back, 0, 0, 4, 1, sprite, 0, 0, gdi::SRCPAINT);
  EXPECT_EQ(px(back, 0, 0), 0xFF336699u);
  EXPECT_EQ(px(back, 1, 0), 0xFFAA5500u);
}

TEST(Gdi, RopTableMatchesTheClassicFormulas) {
  const std::uint32_t P = 0xF0F0F0, S = 0xCCCCCC, D = 0xAAAAAA, M = 0xFFFFFF;
  struct {
    std::uint32_t rop, want;
  } cases[] = {
      {gdi::SRCCOPY, S},          {gdi::SRCPAINT, S | D},         {gdi::SRCAND, S & D},
      {gdi::SRCINVERT, S ^ D},    {gdi::SRCERASE, S & (~D & M)},  {gdi::NOTSRCCOPY, ~S & M},
      {gdi::NOTSRCERASE, ~(S | D) & M}, {gdi::MERGECOPY, P & S}, {gdi::MERGEPAINT, (~S & M) | D},
      {gdi::PATCOPY, P},          {gdi::PATINVERT, P ^ D},        {gdi::DSTINVERT, ~D & M},
      {gdi::BLACKNESS, 0},        {gdi::WHITENESS, M},            {gdi::PATPAINT, P | (~S & M) | D},
  };
  for (auto& c : cases) EXPECT_EQ(gdi::ropPixel(c.rop, P, S, D) & M, c.want) << std::hex << c.rop;
}

TEST(Gdi, ClipsToBothImages) {
  QImage dst = gdi::surface(3, 3, 0);
  QImage src = gdi::surface(2, 2, 0xFFFFFF);
  EXPECT_TRUE(gdi::BitBlt(dst, 2, 2, 5, 5, src, 0, 0, gdi::SRCCOPY));
  EXPECT_EQ(px(dst, 2, 2), 0xFFFFFFFFu);
  EXPECT_EQ(px(dst, 1, 1), 0xFF000000u);
  EXPECT_TRUE(gdi::BitBlt(dst, -1, -1, 2, 2, src, 0, 0, gdi::SRCCOPY));
  EXPECT_EQ(px(dst, 0, 0), 0xFFFFFFFFu);
  EXPECT_FALSE(gdi::BitBlt(dst, 5, 5, 2, 2, src, 0, 0, gdi::SRCCOPY));
}

TEST(Gdi, LineLeavesOutItsEndPixel) {
  QImage img = gdi::surface(5, 1, 0);
  gdi::Line(img, 0, 0, 4, 0, 0xFF0000);
  EXPECT_EQ(px(img, 3, 0), 0xFFFF0000u);
  EXPECT_EQ(px(img, 4, 0), 0xFF000000u);
}
