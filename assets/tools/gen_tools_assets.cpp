// Draws the desktop tools' pictures into the program folder:
//   ★MailData/DATA/Cdata/back.bmp  the analogue clock's face, 160 x 160
//                                   pixels, centre (80, 80), under black hands.
// Usage: gen_tools_assets <program folder>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

QImage clockFace() {
  constexpr int kSize = 160;
  constexpr double kCentre = 80.0;
  QImage img(kSize, kSize, QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(kCentre, kCentre);

  // The rim: a dark blue ring with a highlight at the upper left.
  QRadialGradient rim(QPointF(55, 50), 110);
  rim.setColorAt(0.0, QColor(120, 160, 220));
  rim.setColorAt(0.6, QColor(30, 60, 120));
  rim.setColorAt(1.0, QColor(10, 20, 50));
  p.setPen(Qt::NoPen);
  p.setBrush(rim);
  p.drawEllipse(c, 79, 79);

  // The dial: ivory, a touch darker towards its edge.
  QRadialGradient dial(c, 70);
  dial.setColorAt(0.0, QColor(255, 255, 248));
  dial.setColorAt(0.85, QColor(246, 242, 226));
  dial.setColorAt(1.0, QColor(214, 208, 188));
  p.setBrush(dial);
  p.drawEllipse(c, 70, 70);

  // Minute ticks and hour bars; the quarters a little longer.
  for (int i = 0; i < 60; ++i) {
    const double a = i * 6.0 * M_PI / 180.0;
    const double sx = std::sin(a), cy = -std::cos(a);
    const bool hour = i % 5 == 0, quarter = i % 15 == 0;
    const double outer = 66, inner = quarter ? 52 : hour ? 56 : 62;
    QPen pen(hour ? QColor(30, 40, 70) : QColor(120, 120, 130), quarter ? 4 : hour ? 3 : 1);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(QPointF(kCentre + sx * inner, kCentre + cy * inner), QPointF(kCentre + sx * outer, kCentre + cy * outer));
  }

  // A small red mark above the centre and the hub the hands turn on.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 40, 40));
  p.drawEllipse(QPointF(kCentre, kCentre - 30), 3, 3);
  p.setBrush(QColor(40, 40, 40));
  p.drawEllipse(c, 4, 4);
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

bool save(const QImage& img, const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  if (img.save(path, "BMP")) return true;
  std::fprintf(stderr, "gen_tools_assets: cannot write %s\n", path.toLocal8Bit().constData());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_tools_assets <program folder>\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  return save(clockFace(), root + QStringLiteral("/★MailData/DATA/Cdata/back.bmp")) ? 0 : 1;
}
