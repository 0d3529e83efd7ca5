// Draws the desktop mascot's speedboat into the program folder:
//   ★MailData/DATA/Speedboat.bmp   eight 48 x 32 frames side by side (384 x 32,
//                                  24-bit), frame k at x = 48 k
//
// Frames 0, 1 run leftwards, 2, 3 rightwards, both level or going down;
// 4, 5 leftwards and 6, 7 rightwards with the bow lifted (going up). The two
// frames of a pair differ in the spray, so that the boat seems to bounce
// over the waves. The background is one colour (the colour of the top-left
// pixel), which the window makes transparent. The window shows only the
// 43 x 32 pixels from the left edge, so the boat keeps inside them.
//
// Usage: gen_mascot <program folder>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>
#include <cstdio>

#include "assets/common/assetgen.h"

namespace {

constexpr int kW = 48;
constexpr int kH = 32;
constexpr int kShown = 43;  // columns the window shows
const QColor kKey(255, 0, 255);

const QColor kHullWhite(246, 246, 240);
const QColor kHullShade(190, 196, 204);
const QColor kStripe(214, 32, 40);
const QColor kDeck(120, 72, 40);
const QColor kGlass(40, 70, 130);
const QColor kGlassLight(130, 180, 230);
const QColor kOutline(30, 30, 40);
const QColor kSpray(235, 248, 255);
const QColor kWater(80, 160, 230);
const QColor kEngine(60, 60, 66);

// One frame facing left. lift: degrees the bow is raised (negative: lowered);
// phase 0 or 1: the spray pattern.
QImage frameLeft(double lift, int phase) {
  QImage img(kW, kH, QImage::Format_RGB32);
  img.fill(kKey);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);

  // Water under the boat and the wake behind it (drawn untilted).
  p.setPen(Qt::NoPen);
  p.setBrush(kWater);
  p.drawRect(QRect(8, 26, 30, 2));
  p.setBrush(kSpray);
  const int shift = phase ? 2 : 0;
  for (int i = 0; i < 4; ++i) p.drawRect(QRect(36 + (i % 2) * 2, 23 + i + shift / 2, 3 + i, 1));
  p.drawRect(QRect(6 + shift, 27, 4, 1));
  p.drawRect(QRect(16 - shift, 28, 5, 1));
  p.drawRect(QRect(27 + shift, 28, 4, 1));
  if (phase) {
    p.drawRect(QRect(3, 24, 2, 2));
    p.drawRect(QRect(1, 21, 1, 1));
  } else {
    p.drawRect(QRect(4, 25, 3, 1));
    p.drawRect(QRect(2, 23, 1, 1));
  }

  // The boat, turned about its middle by the lift.
  // Phase 1 rides a pixel higher: the boat bounces from frame to frame.
  QTransform t;
  t.translate(21, 19 - phase);
  t.rotate(lift);  // positive angles turn the bow (left end) up
  t.translate(-21, -19);
  p.setTransform(t);

  // Hull: a pointed bow on the left, a square stern on the right.
  const QPolygonF hull({QPointF(4, 18), QPointF(38, 18), QPointF(38, 25), QPointF(13, 25)});
  p.setPen(kOutline);
  p.setBrush(kHullWhite);
  p.drawPolygon(hull);
  // Shade of the lower hull and the stripe along it.
  p.setPen(Qt::NoPen);
  p.setBrush(kHullShade);
  p.drawPolygon(QPolygonF({QPointF(11, 23), QPointF(38, 23), QPointF(38, 25), QPointF(13, 25)}));
  p.setBrush(kStripe);
  p.drawPolygon(QPolygonF({QPointF(7, 20), QPointF(38, 20), QPointF(38, 21), QPointF(8, 21)}));
  // Deck and the windscreen with the cabin behind it.
  p.setBrush(kDeck);
  p.drawRect(QRectF(12, 16, 25, 2));
  p.setPen(kOutline);
  p.setBrush(kGlass);
  p.drawPolygon(QPolygonF({QPointF(15, 16), QPointF(19, 10), QPointF(27, 10), QPointF(28, 16)}));
  p.setPen(Qt::NoPen);
  p.setBrush(kGlassLight);
  p.drawRect(QRectF(19, 11, 3, 2));
  // The driver's head behind the glass.
  p.setBrush(QColor(250, 200, 60));
  p.drawEllipse(QRectF(23, 8, 4, 4));
  // Outboard engine at the stern.
  p.setPen(kOutline);
  p.setBrush(kEngine);
  p.drawRect(QRectF(37, 14, 3, 7));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(38, 21, 2, 4));
  // A small flag on the stern.
  p.setPen(kOutline);
  p.drawLine(QPointF(35, 16), QPointF(35, 9));
  p.setPen(Qt::NoPen);
  p.setBrush(kStripe);
  p.drawPolygon(QPolygonF({QPointF(35, 9), QPointF(35 + (phase ? 4 : 3), 10.5), QPointF(35, 12)}));
  p.end();
  return img;
}

// The same frame facing right: mirrored within the shown columns.
QImage mirrored(const QImage& left) {
  QImage img(kW, kH, QImage::Format_RGB32);
  img.fill(kKey);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kShown; ++x) img.setPixel(kShown - 1 - x, y, left.pixel(x, y));
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_mascot <program folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/★MailData/DATA");
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
    return 1;
  }
  QImage sheet(8 * kW, kH, QImage::Format_RGB888);
  sheet.fill(kKey);
  QPainter p(&sheet);
  for (int k = 0; k < 8; ++k) {
    const bool right = (k & 2) != 0;
    const bool up = (k & 4) != 0;
    const int phase = k & 1;
    const QImage left = frameLeft(up ? 7.0 : -3.0, phase);
    p.drawImage(k * kW, 0, right ? mirrored(left) : left);
  }
  p.end();
  const QString path = folder + QStringLiteral("/Speedboat.bmp");
  return assetgen::saveImage(sheet, path, "BMP") ? 0 : 1;
}
