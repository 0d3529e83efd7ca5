// What the desktop tools find in the laid-out program folder: the clock
// face they draw on, and help pages whose links all lead somewhere.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QStringDecoder>
#include <cmath>

namespace {

const QString kFolder = QString::fromUtf8(RUVO_ASSET_FOLDER);

QString readUtf8(const QString& path, bool* valid) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    *valid = false;
    return {};
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8(f.readAll());
  *valid = !utf8.hasError();
  return text;
}

}  // namespace

TEST(ClockFace, IsA160PixelBitmapWithALightDialUnderTheHands) {
  const QString path = kFolder + QStringLiteral("/★MailData/DATA/Cdata/back.bmp");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  const QByteArray head = f.read(30);
  ASSERT_EQ(head.left(2), QByteArray("BM"));
  EXPECT_EQ(static_cast<unsigned char>(head[28]), 24);  // bits per pixel
  const QImage face(path);
  ASSERT_EQ(face.size(), QSize(160, 160));
  // Where the three black hands sweep, the dial is light, so they show.
  for (int deg = 0; deg < 360; deg += 6) {
    for (int r = 10; r <= 45; r += 5) {
      const double a = deg * M_PI / 180.0;
      const int x = 80 + static_cast<int>(std::lround(std::sin(a) * r));
      const int y = 80 - static_cast<int>(std::lround(std::cos(a) * r));
      if (std::hypot(x - 80, y - 50) < 6) continue;  // the small mark below 12
      EXPECT_GT(qGray(face.pixel(x, y)), 180) << deg << " degrees, radius " << r;
    }
  }
}

TEST(HelpPages, EveryChapterPageIsThereAndItsLinksLeadToPagesAndAnchorsThatExist) {
  static const QRegularExpression href(QStringLiteral(R"re(href="([^"]*)")re"));
  static const QRegularExpression id(QStringLiteral(R"re(id="([^"]*)")re"));
  const QDir help(kFolder + QStringLiteral("/help"));
  for (const char* page : {"index.htm", "index2.htm", "index3.htm", "index4.htm", "index8.htm", "index9.htm"}) {
    SCOPED_TRACE(page);
    bool valid = false;
    const QString text = readUtf8(help.filePath(QString::fromLatin1(page)), &valid);
    ASSERT_TRUE(valid) << "missing or not UTF-8";
    EXPECT_TRUE(text.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    QStringList ids;
    for (auto it = id.globalMatch(text); it.hasNext();) ids << it.next().captured(1);
    for (auto it = href.globalMatch(text); it.hasNext();) {
      const QString target = it.next().captured(1);
      SCOPED_TRACE(target.toStdString());
      EXPECT_FALSE(target.contains(QStringLiteral("://")));  // the help never leads off the machine
      const qsizetype hash = target.indexOf(u'#');
      const QString file = hash < 0 ? target : target.left(hash);
      if (!file.isEmpty()) EXPECT_TRUE(help.exists(file));
      else EXPECT_TRUE(ids.contains(target.mid(hash + 1)));
    }
  }
}
