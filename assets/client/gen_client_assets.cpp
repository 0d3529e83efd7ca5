// Draws the client's own pictures and sound into the program folder:
//   Sound/Kouka.wav                the race's start sound
//   ★MailData/DATA/Water.bmp       the water tile (32 x 32)
//   ★MailData/DATA/Boat.bmp        the boat sheet: two 45 x 33 frames, mask row at
//                                  y = 0, colour row at y = 128
//   ★MailData/DATA/Lane1..6.bmp    the lane flags that ride with the boats
//   ★MailData/DATA/Rain.bmp        three 16 x 16 drops and their masks beside them
//   ★MailData/DATA/Icon.png        the window and tray icon
//
// Usage: gen_client_assets <program folder>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "assets/common/assetgen.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

QImage rgb(int w, int h, QColor fill) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(fill);
  return img;
}

bool save(const QImage& img, const QString& path) { return assetgen::saveImage(img, path); }

// The water: deep blue with two sets of wave crests that repeat every 32 pixels.
QImage water() {
  QImage img = rgb(32, 32, Qt::black);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const double a = std::sin(2 * kPi * (2.0 * x / 32 + 1.0 * y / 32));
      const double b = std::sin(2 * kPi * (1.0 * x / 32 - 2.0 * y / 32) + 1.3);
      const double v = 0.6 * a + 0.4 * b;
      int r = 16, g = 72, bl = 160;
      if (v > 0.78) r = 150, g = 200, bl = 250;
      else if (v > 0.55) r = 60, g = 120, bl = 205;
      else if (v < -0.7) r = 8, g = 52, bl = 132;
      img.setPixel(x, y, qRgb(r, g, bl));
    }
  return img;
}

// One boat, facing left (the race runs from right to left). The colour part
// is ORed onto the water; the mask part is ANDed four pixels lower and adds
// the dark hull line and the shadow under the boat.
void drawBoatColour(QPainter& p, int ox, int oy, int frame) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  // Hull.
  p.setBrush(QColor(255, 255, 255));
  p.drawPolygon(QPolygon({QPoint(ox + 1, oy + 18), QPoint(ox + 9, oy + 14), QPoint(ox + 41, oy + 14),
                          QPoint(ox + 43, oy + 16), QPoint(ox + 43, oy + 22), QPoint(ox + 9, oy + 22)}));
  // Stripe along the hull.
  p.setBrush(QColor(255, 220, 0));
  p.drawRect(ox + 8, oy + 18, 35, 2);
  // Windshield and cockpit.
  p.setBrush(QColor(0, 255, 255));
  p.drawPolygon(QPolygon({QPoint(ox + 15, oy + 14), QPoint(ox + 20, oy + 8), QPoint(ox + 25, oy + 8),
                          QPoint(ox + 25, oy + 14)}));
  // The driver's helmet.
  p.setBrush(QColor(255, 190, 0));
  p.drawEllipse(QPoint(ox + 30, oy + 9), 3, 3);
  // Spray at the bow and the wake behind; they change from frame to frame.
  p.setBrush(QColor(230, 240, 255));
  if (frame == 0) {
    p.drawRect(ox + 0, oy + 21, 4, 1);
    p.drawRect(ox + 2, oy + 23, 3, 1);
    p.drawRect(ox + 40, oy + 24, 4, 2);
    p.drawRect(ox + 36, oy + 27, 3, 1);
  } else {
    p.drawRect(ox + 1, oy + 22, 3, 1);
    p.drawRect(ox + 0, oy + 24, 3, 1);
    p.drawRect(ox + 38, oy + 25, 6, 1);
    p.drawRect(ox + 41, oy + 28, 3, 1);
  }
}

void drawBoatMask(QPainter& p, int ox, int oy, int frame) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  // Drawn four pixels lower than the colour part: mask row r lands on colour row r + 4.
  // The hull's bottom edge and its shadow on the water (colour rows 22 to 24).
  p.drawPolygon(QPolygon({QPoint(ox + 6, oy + 18), QPoint(ox + 43, oy + 18), QPoint(ox + 43, oy + 20),
                          QPoint(ox + 10, oy + 20)}));
  // The deck line (colour row 14) and the cockpit's frame.
  p.drawRect(ox + 10, oy + 10, 31, 1);
  p.drawRect(ox + 25, oy + 4, 1, 6);
  // A number panel on the hull (colour rows 16 to 17).
  p.drawRect(ox + 32 + frame * 0, oy + 12, 6, 2);
}

QImage boatSheet() {
  QImage img = rgb(90, 161, Qt::black);
  QPainter p(&img);
  // Mask row: white, the boat's dark parts black.
  p.fillRect(0, 0, 90, 33, Qt::white);
  for (int f = 0; f < 2; ++f) {
    drawBoatMask(p, 45 * f, 0, f);
    drawBoatColour(p, 45 * f, 128, f);
  }
  p.end();
  return img;
}

// Digits of a 3 x 5 pixel font.
const char* const kDigits[10] = {"111101101101111", "010110010010111", "111001111100111", "111001111001111",
                                 "101101111001001", "111100111001111", "111100111101111", "111001010010010",
                                 "111101111101111", "111101111001111"};

QImage laneFlag(int lane) {
  // The lane colours of a boat race: white, black, red, blue, yellow, green.
  static const QColor back[6] = {QColor(255, 255, 255), QColor(24, 24, 24), QColor(230, 0, 18),
                                 QColor(0, 80, 220),    QColor(255, 230, 0), QColor(0, 160, 64)};
  static const QColor fore[6] = {QColor(0, 0, 0),       QColor(255, 255, 255), QColor(255, 255, 255),
                                 QColor(255, 255, 255), QColor(0, 0, 0),       QColor(255, 255, 255)};
  QImage img = rgb(14, 13, QColor(64, 64, 64));
  QPainter p(&img);
  p.fillRect(1, 1, 12, 11, back[lane - 1]);
  p.end();
  const char* d = kDigits[lane];
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 3; ++c)
      if (d[r * 3 + c] == '1') {
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) img.setPixel(4 + 2 * c + dx, 1 + 2 * r + dy, fore[lane - 1].rgb());
      }
  return img;
}

// Rain: drops for the speeds 0, 1 and 2 (longer as they fall faster) on
// black at x = 16 * speed, their masks (black drop on white) at x = 48 + 16 * speed.
QImage rain() {
  QImage img = rgb(96, 16, Qt::black);
  QPainter p(&img);
  p.fillRect(48, 0, 48, 16, Qt::white);
  p.end();
  const int lengths[3] = {5, 8, 12};
  for (int s = 0; s < 3; ++s) {
    const int len = lengths[s];
    const int top = (16 - len) / 2;
    for (int i = 0; i < len; ++i) {
      // A streak that widens into a round drop at its lower end.
      const bool head = i >= len - 3;
      const int x0 = head ? 6 : 7, x1 = head ? 9 : 8;
      for (int x = x0; x <= x1; ++x) {
        const bool core = (x == 7 || x == 8) && head;
        const int shade = 140 + (110 * i) / len;
        const QRgb c = core ? qRgb(235, 245, 255) : qRgb(shade / 2, shade * 3 / 4 + 40, 255);
        img.setPixel(16 * s + x, top + i, c);
        img.setPixel(48 + 16 * s + x, top + i, qRgb(0, 0, 0));
      }
    }
  }
  return img;
}

QImage icon() {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(16, 72, 160));
  p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
  p.setBrush(QColor(120, 180, 250));
  p.drawRect(QRectF(3, 22, 26, 2));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({QPointF(3, 18), QPointF(9, 14), QPointF(29, 14), QPointF(29, 20), QPointF(8, 20)}));
  p.setBrush(QColor(0, 230, 255));
  p.drawPolygon(QPolygonF({QPointF(12, 14), QPointF(16, 9), QPointF(20, 9), QPointF(20, 14)}));
  p.setBrush(QColor(255, 190, 0));
  p.drawEllipse(QPointF(23, 10), 2.5, 2.5);
  p.end();
  return img;
}

// The start sound: a short fanfare over an engine that picks up speed.
std::vector<std::int16_t> startSound(int rate) {
  const double total = 2.4;
  const int n = static_cast<int>(total * rate);
  std::vector<double> s(n, 0.0);
  // Fanfare: G4 C5 E5 G5, then C6 held.
  struct Note {
    double start, length, freq;
  };
  const Note notes[] = {{0.00, 0.14, 392.00}, {0.16, 0.14, 523.25}, {0.32, 0.14, 659.25},
                        {0.48, 0.14, 783.99}, {0.66, 0.70, 1046.50}};
  for (const Note& nt : notes) {
    const int a = static_cast<int>(nt.start * rate), len = static_cast<int>(nt.length * rate);
    for (int i = 0; i < len && a + i < n; ++i) {
      const double t = double(i) / rate;
      const double env = std::min(1.0, t / 0.01) * std::exp(-2.2 * t / nt.length);
      double v = 0;
      for (int h = 1; h <= 5; ++h) v += std::sin(2 * kPi * nt.freq * h * t) / (h * h * 0.8 + 0.2);
      s[a + i] += 0.32 * env * v;
    }
  }
  // Engine: a buzzing saw from 55 to 140 Hz with some noise, swelling in.
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  double phase = 0, lp = 0;
  for (int i = 0; i < n; ++i) {
    const double t = double(i) / rate;
    const double f = 55 + 85 * std::min(1.0, t / 1.8);
    phase += f / rate;
    phase -= std::floor(phase);
    const double saw = 2 * phase - 1;
    lp += 0.08 * (noise(gen) - lp);
    const double env = std::min(1.0, t / 0.5) * std::min(1.0, (total - t) / 0.35);
    s[i] += env * (0.22 * saw + 0.25 * lp);
  }
  double peak = 0;
  for (double v : s) peak = std::max(peak, std::abs(v));
  std::vector<std::int16_t> out(n);
  for (int i = 0; i < n; ++i) out[i] = static_cast<std::int16_t>(std::lround(s[i] / peak * 0.7 * 32767));
  return out;
}

bool writeWav(const QString& path, const std::vector<std::int16_t>& pcm, int rate) {
  return assetgen::writeFile(path, assetgen::monoWav16(pcm, rate));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
    return 2;
  }
  const QString top = QString::fromLocal8Bit(argv[1]);
  const QString data = top + QStringLiteral("/★MailData/DATA");
  const QString snd = top + QStringLiteral("/Sound");
  QDir().mkpath(data);
  QDir().mkpath(snd);
  // The client finds "DATA" under any spelling; where an older layout left
  // a second spelling of the folder beside it, the pictures go there too.
  QStringList folders{data};
  for (const QString& e : QDir(top + QStringLiteral("/★MailData")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    if (e.toLower() == QStringLiteral("data") && e != QStringLiteral("DATA"))
      folders << top + QStringLiteral("/★MailData/") + e;
  bool ok = true;
  for (const QString& d : folders) {
    ok &= save(water(), d + QStringLiteral("/Water.bmp"));
    ok &= save(boatSheet(), d + QStringLiteral("/Boat.bmp"));
    for (int k = 1; k <= 6; ++k) ok &= save(laneFlag(k), d + QStringLiteral("/Lane%1.bmp").arg(k));
    ok &= save(rain(), d + QStringLiteral("/Rain.bmp"));
    ok &= save(icon(), d + QStringLiteral("/Icon.png"));
  }
  ok &= writeWav(snd + QStringLiteral("/Kouka.wav"), startSound(22050), 22050);
  return ok ? 0 : 1;
}
