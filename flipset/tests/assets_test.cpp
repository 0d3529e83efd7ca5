#include <gtest/gtest.h>

#include "flipset/frmFlipset.h"
#include "flipset_assets.h"

TEST(FlipsetAssets, SheetFollowsTheFrameLayout) {
  const QImage sheet = flipset_assets::stoneSheet();
  ASSERT_GE(sheet.width(), 36 * 11 + 4 + 32);
  ASSERT_GE(sheet.height(), 36);
  auto centre = [&](int i) { return sheet.pixel(36 * i + 4 + 14, 4 + 14) & 0xFFFFFF; };
  EXPECT_EQ(centre(0), 0x000000u);   // the black face
  EXPECT_EQ(centre(11), 0xFFFFFFu);  // the white face
  // The frame's visible 28 x 28 corner holds the whole stone: its edges are ground.
  for (int i : {0, 11}) {
    EXPECT_EQ(sheet.pixel(36 * i + 4, 4) & 0xFFFFFF, 0x004000u) << i;
    EXPECT_EQ(sheet.pixel(36 * i + 4 + 27, 4 + 1) & 0xFFFFFF, 0x004000u) << i;
    EXPECT_EQ(sheet.pixel(36 * i + 4 + 14, 4 + 27 + 1) & 0xFFFFFF, 0x004000u) << i;
  }
  // A frame in the middle of the turn is narrow.
  EXPECT_EQ(sheet.pixel(36 * 5 + 4 + 14 - 6, 18) & 0xFFFFFF, 0x004000u);
}

TEST(FlipsetAssets, TuneAndEndSoundAreWellFormed) {
  const QByteArray mid = flipset_assets::tuneMidi();
  ASSERT_GT(mid.size(), 22);
  EXPECT_EQ(mid.left(4), QByteArray("MThd"));
  EXPECT_EQ(mid.mid(14, 4), QByteArray("MTrk"));
  const quint32 len = (quint8(mid[18]) << 24) | (quint8(mid[19]) << 16) | (quint8(mid[20]) << 8) | quint8(mid[21]);
  EXPECT_EQ(len + 22, quint32(mid.size()));
  EXPECT_TRUE(mid.endsWith(QByteArray("\xFF\x2F\x00", 3)));
  const QByteArray wav = flipset_assets::endSoundWav();
  EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
  EXPECT_EQ(wav.mid(8, 4), QByteArray("WAVE"));
  EXPECT_EQ(flipset_assets::kEndSoundFile, flipset::kEndSoundFile);
}
