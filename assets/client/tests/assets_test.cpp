// The client's drawn pictures and sound in the laid-out program folder.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

namespace {

QString folder() { return QString::fromUtf8(RUVO_ASSET_FOLDER); }
QImage picture(const char* name) {
  return QImage(folder() + QStringLiteral("/★MailData/DATA/") + QString::fromLatin1(name))
      .convertToFormat(QImage::Format_RGB32);
}
QRgb rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }

}  // namespace

TEST(ClientAssets, PicturesHaveTheirSizes) {
  struct Case {
    const char* name;
    int w, h;
  } cases[] = {{"Water.bmp", 32, 32}, {"Boat.bmp", 90, 161}, {"Rain.bmp", 96, 16}, {"Lane1.bmp", 14, 13},
               {"Lane6.bmp", 14, 13}, {"Icon.png", 32, 32}};
  for (const Case& c : cases) {
    const QImage img = picture(c.name);
    ASSERT_FALSE(img.isNull()) << c.name;
    EXPECT_EQ(img.size(), QSize(c.w, c.h)) << c.name;
  }
}

TEST(ClientAssets, BoatSheetHasMaskAndColourRows) {
  const QImage sheet = picture("Boat.bmp");
  ASSERT_FALSE(sheet.isNull());
  for (int f = 0; f < 2; ++f) {
    int maskBlack = 0, maskOther = 0, colour = 0;
    for (int y = 0; y < 33; ++y)
      for (int x = 45 * f; x < 45 * f + 45; ++x) {
        const QRgb m = rgb(sheet, x, y);
        if (m == 0) ++maskBlack;
        else if (m != 0xFFFFFF) ++maskOther;
        if (rgb(sheet, x, 128 + y) != 0) ++colour;
      }
    EXPECT_GT(maskBlack, 20) << f;  // the dark parts of the boat
    EXPECT_EQ(maskOther, 0) << f;   // a mask is black and white only
    EXPECT_GT(colour, 200) << f;    // the boat itself
    // Corners of the colour cell are black, so that the water shows around the boat.
    EXPECT_EQ(rgb(sheet, 45 * f, 128), 0u);
    EXPECT_EQ(rgb(sheet, 45 * f + 44, 128 + 32), 0u);
  }
  // Between the two rows nothing is drawn.
  for (int y = 33; y < 128; ++y) EXPECT_EQ(rgb(sheet, 20, y), 0u);
}

TEST(ClientAssets, RainDropsMatchTheirMasks) {
  const QImage rain = picture("Rain.bmp");
  ASSERT_FALSE(rain.isNull());
  for (int s = 0; s < 3; ++s) {
    int drop = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool lit = rgb(rain, 16 * s + x, y) != 0;
        const QRgb m = rgb(rain, 48 + 16 * s + x, y);
        EXPECT_EQ(m, lit ? 0u : 0xFFFFFFu) << s << " " << x << " " << y;
        drop += lit;
      }
    EXPECT_GT(drop, 6) << s;
  }
}

TEST(ClientAssets, StartSoundIsAPcmWave) {
  QFile f(folder() + QStringLiteral("/Sound/Kouka.wav"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray b = f.readAll();
  ASSERT_GT(b.size(), 44);
  EXPECT_EQ(b.left(4), QByteArray("RIFF"));
  EXPECT_EQ(b.mid(8, 8), QByteArray("WAVEfmt "));
  EXPECT_EQ(b.mid(36, 4), QByteArray("data"));
  // Small enough for the in-memory play (2,097,152 bytes at most).
  EXPECT_LE(b.size(), 2097152);
}
