// Makes the air hockey game's pictures and sounds and writes them as one C++
// source file that compiles them into the program. The files themselves are
// written beside it too, for looking at.
//
//   puckslide_assetgen <output folder>
//
// Everything is drawn and synthesised from numbers here; nothing is read.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "assets/common/assetgen.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

QByteArray png(const QImage& img) {
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "PNG");
  return bytes;
}

// ---- The table: 275 x 392 pixels ----
//
// The puck's top edge scores against the user above y 40 and against the
// computer below y 320 (its bottom edge then below 339); the mallets sit at
// y 48 (user) and y 296 (computer). The playing surface lies between the
// rails from y 32 to 347; above and below it are dark strips for the
// buttons and captions.
QImage table() {
  QImage img(275, 392, QImage::Format_RGB32);
  img.fill(QColor(0, 0, 0));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);

  // Dark panels above and below the table.
  QLinearGradient top(0, 0, 0, 32);
  top.setColorAt(0, QColor(10, 14, 30));
  top.setColorAt(1, QColor(0, 0, 0));
  p.fillRect(QRect(0, 0, 275, 32), top);
  QLinearGradient bottom(0, 348, 0, 392);
  bottom.setColorAt(0, QColor(0, 0, 0));
  bottom.setColorAt(1, QColor(10, 14, 30));
  p.fillRect(QRect(0, 348, 275, 44), bottom);

  // The rail around the surface.
  const QRectF rail(0.5, 32.5, 274, 315);
  p.setPen(Qt::NoPen);
  QLinearGradient railShade(0, 0, 275, 0);
  railShade.setColorAt(0.0, QColor(36, 52, 88));
  railShade.setColorAt(0.5, QColor(62, 84, 128));
  railShade.setColorAt(1.0, QColor(36, 52, 88));
  p.setBrush(railShade);
  p.drawRoundedRect(rail, 10, 10);

  // The playing surface.
  const QRectF surface(5, 37, 265, 306);
  QLinearGradient ice(0, 37, 0, 343);
  ice.setColorAt(0.0, QColor(214, 236, 252));
  ice.setColorAt(0.5, QColor(232, 244, 255));
  ice.setColorAt(1.0, QColor(214, 236, 252));
  p.setBrush(ice);
  p.drawRoundedRect(surface, 7, 7);

  // Air holes.
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int y = 44; y < 340; y += 9)
    for (int x = 11 + ((y / 9) % 2) * 4; x < 266; x += 9) img.setPixel(x, y, qRgb(184, 208, 228));
  p.setRenderHint(QPainter::Antialiasing, true);

  // Goal mouths in the rail at both ends.
  p.setBrush(QColor(8, 10, 18));
  p.drawRect(QRectF(87, 32, 101, 5));
  p.drawRect(QRectF(87, 343, 101, 5));

  const QColor red(214, 40, 48);
  const QColor blue(40, 96, 204);
  p.setBrush(Qt::NoBrush);

  // Goal lines and creases.
  p.setPen(QPen(red, 2));
  p.drawLine(QPointF(5, 40), QPointF(270, 40));
  p.drawLine(QPointF(5, 339), QPointF(270, 339));
  p.setPen(QPen(blue, 2));
  p.drawArc(QRectF(137.5 - 44, 40 - 44, 88, 88), 180 * 16, 180 * 16);
  p.drawArc(QRectF(137.5 - 44, 339 - 44, 88, 88), 0, 180 * 16);

  // Zone lines, centre line and circle.
  p.setPen(QPen(blue, 3));
  p.drawLine(QPointF(5, 115), QPointF(270, 115));
  p.drawLine(QPointF(5, 265), QPointF(270, 265));
  p.setPen(QPen(red, 2));
  p.drawLine(QPointF(5, 190), QPointF(270, 190));
  p.drawEllipse(QPointF(137.5, 190), 32, 32);
  p.setBrush(red);
  p.drawEllipse(QPointF(137.5, 190), 4, 4);
  p.setBrush(Qt::NoBrush);

  // Face-off spots.
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  for (double y : {78.0, 302.0})
    for (double x : {60.0, 215.0}) p.drawEllipse(QPointF(x, y), 3, 3);

  // A thin shine along the inner edge of the rail.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(120, 150, 200), 1));
  p.drawRoundedRect(surface.adjusted(-1, -1, 1, 1), 8, 8);
  p.end();
  return img;
}

// ---- A mallet: 39 x 35 pixels, transparent around it ----
QImage mallet(const QColor& body, const QColor& dark, const QColor& light) {
  QImage img(39, 35, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QRectF outer(0.5, 0.5, 38, 34);
  QRadialGradient g(outer.center() + QPointF(-5, -5), 24);
  g.setColorAt(0.0, light);
  g.setColorAt(0.6, body);
  g.setColorAt(1.0, dark);
  p.setPen(QPen(dark.darker(150), 1));
  p.setBrush(g);
  p.drawEllipse(outer);
  // The raised ring and the knob.
  p.setPen(QPen(dark, 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(outer.adjusted(6, 5.5, -6, -5.5));
  QRadialGradient knob(outer.center() + QPointF(-2, -2), 9);
  knob.setColorAt(0.0, light.lighter(130));
  knob.setColorAt(1.0, body);
  p.setPen(QPen(dark, 1));
  p.setBrush(knob);
  p.drawEllipse(outer.center(), 7.5, 6.5);
  // A highlight.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawEllipse(QPointF(14, 10), 3, 2);
  p.end();
  return img;
}

// ---- The puck: 19 x 19 pixels ----
QImage puck() {
  QImage img(19, 19, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  QRadialGradient g(QPointF(7.5, 7.5), 11);
  g.setColorAt(0.0, QColor(90, 90, 96));
  g.setColorAt(0.7, QColor(28, 28, 32));
  g.setColorAt(1.0, QColor(8, 8, 10));
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.setBrush(g);
  p.drawEllipse(QRectF(0.5, 0.5, 18, 18));
  p.setPen(QPen(QColor(240, 190, 40), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(4, 4, 11, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawEllipse(QPointF(6.5, 5.5), 2, 1.4);
  p.end();
  return img;
}

// ---- Sounds: 22050 Hz, 16-bit mono PCM ----
constexpr int kRate = 22050;

QByteArray wav(const std::vector<double>& samples) {
  std::vector<std::int16_t> pcm;
  pcm.reserve(samples.size());
  for (double s : samples) {
    const double c = std::max(-1.0, std::min(1.0, s));
    pcm.push_back(static_cast<std::int16_t>(std::lround(c * 32767.0)));
  }
  return assetgen::monoWav16(pcm, kRate);
}

// A repeatable noise source.
struct Noise {
  std::uint32_t state = 0x1234567u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  }
};

// The mallet striking the puck: a short, low knock with a hard attack.
QByteArray hit() {
  Noise n;
  std::vector<double> s;
  const int count = kRate * 12 / 100;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double body = std::exp(-t / 0.028) * (0.55 * std::sin(2 * kPi * 420 * t) + 0.3 * std::sin(2 * kPi * 630 * t + 0.7) +
                                                0.12 * std::sin(2 * kPi * 1310 * t));
    const double click = std::exp(-t / 0.003) * 0.45 * n.next();
    s.push_back(0.8 * (body + click));
  }
  return wav(s);
}

// The puck glancing off the rail: a bright, very short tick.
QByteArray bounce() {
  Noise n;
  n.state = 0x89abcdefu;
  std::vector<double> s;
  const int count = kRate * 6 / 100;
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double tone = std::exp(-t / 0.011) * (0.5 * std::sin(2 * kPi * 1250 * t) + 0.2 * std::sin(2 * kPi * 1870 * t));
    const double click = std::exp(-t / 0.0015) * 0.35 * n.next();
    s.push_back(0.7 * (tone + click));
  }
  return wav(s);
}

struct Asset {
  const char* function;
  const char* file;
  QByteArray bytes;
};

void emitArray(FILE* f, const char* name, const QByteArray& b) {
  std::fprintf(f, "const unsigned char %s[%lld] = {", name, static_cast<long long>(b.size()));
  for (qsizetype i = 0; i < b.size(); ++i) {
    if (i % 16 == 0) std::fprintf(f, "\n   ");
    std::fprintf(f, " 0x%02x,", static_cast<unsigned char>(b[i]));
  }
  std::fprintf(f, "\n};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir);

  const std::vector<Asset> assets = {
      {"tablePicture", "table.png", png(table())},
      {"userMalletPicture", "mallet_user.png", png(mallet(QColor(222, 44, 52), QColor(120, 14, 20), QColor(255, 150, 150)))},
      {"computerMalletPicture", "mallet_computer.png",
       png(mallet(QColor(36, 120, 220), QColor(12, 44, 110), QColor(150, 200, 255)))},
      {"puckPicture", "puck.png", png(puck())},
      {"hitSound", "hit.wav", hit()},
      {"bounceSound", "hane.wav", bounce()},
  };

  for (const Asset& a : assets) {
    QFile file(outDir + QLatin1Char('/') + QLatin1String(a.file));
    if (!file.open(QIODevice::WriteOnly) || file.write(a.bytes) != a.bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", a.file);
      return 1;
    }
  }

  const QByteArray cppPath = (outDir + QStringLiteral("/puckslide_assets.cpp")).toLocal8Bit();
  const QByteArray tmpPath = cppPath + ".tmp";
  FILE* f = std::fopen(tmpPath.constData(), "w");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", tmpPath.constData());
    return 1;
  }
  std::fprintf(f, "// Made by puckslide_assetgen; do not edit.\n#include \"assets/puckslide/assets.h\"\n\n");
  std::fprintf(f, "namespace {\n\n");
  for (std::size_t i = 0; i < assets.size(); ++i) emitArray(f, (QByteArray("k") + assets[i].function).constData(), assets[i].bytes);
  std::fprintf(f, "QByteArray bytes(const unsigned char* p, qsizetype n) {\n"
                  "  return QByteArray::fromRawData(reinterpret_cast<const char*>(p), n);\n}\n\n}  // namespace\n\n");
  std::fprintf(f, "namespace puckassets {\n\n");
  for (const Asset& a : assets)
    std::fprintf(f, "QByteArray %s() { return bytes(k%s, sizeof k%s); }\n", a.function, a.function, a.function);
  std::fprintf(f, "\n}  // namespace puckassets\n");
  const bool ok = std::fclose(f) == 0;
  if (!ok || std::rename(tmpPath.constData(), cppPath.constData()) != 0) {
    std::fprintf(stderr, "cannot write %s\n", cppPath.constData());
    return 1;
  }
  return 0;
}
