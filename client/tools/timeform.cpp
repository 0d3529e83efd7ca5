#include "client/tools/timeform.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {
ui::Accessor<forms::TimeForm>& accessor() {
  static ui::Accessor<forms::TimeForm> a;
  return a;
}

const QString kFacePath = QStringLiteral("\\★MailData\\DATA\\Cdata\\back.bmp");
constexpr int kFaceSize = 160;  // pixels
// Degrees to radians as the clock has always computed it (3.141592 / 180).
constexpr double kRadiansPerDegree = 0.01745328888888889;
}  // namespace

forms::TimeForm& TimeForm() { return accessor()(); }
bool TimeFormLoaded() { return accessor().isLoaded(); }

namespace clockface {

int hourAngle(int hour, int minute) { return vb::CInt((hour % 12) * 30 + minute / 2.0); }
int minuteAngle(int minute) { return minute * 6; }
int secondAngle(int second) { return second * 6; }

QPoint handEnd(int angle, int length) {
  const double r = (90 - angle) * kRadiansPerDegree;
  return QPoint(kCentre + vb::CInt(std::cos(r) * length), kCentre + vb::CInt(std::sin(r) * -length));
}

QImage frame(const QImage& face, int hour, int minute, int second) {
  QImage img(kFaceSize, kFaceSize, QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  if (!face.isNull()) p.drawImage(0, 0, face);
  const struct {
    int angle, length, width;
  } hands[] = {
      {hourAngle(hour, minute), kHourLength, 3},
      {minuteAngle(minute), kMinuteLength, 2},
      {secondAngle(second), kSecondLength, 1},
  };
  // Black hands on the light face; on a dark background (no face, or a dark
  // one) they would not show, and are drawn white.
  qint64 light = 0;
  for (int y = 0; y < img.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width(); ++x) light += qGray(row[x]);
  }
  const bool dark = light < qint64(128) * img.width() * img.height();
  const QPoint centre(kCentre, kCentre);
  for (const auto& h : hands) {
    QPen pen(dark ? Qt::white : Qt::black);
    pen.setWidth(h.width);
    pen.setCapStyle(h.width > 1 ? Qt::RoundCap : Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(centre, handEnd(h.angle, h.length));
  }
  return img;
}

}  // namespace clockface

namespace forms {

TimeForm::TimeForm() : ui::Form(QStringLiteral("TimeForm")) {
  setCaption(QStringLiteral("アナログ時計"));
  picMain = ui::control<QLabel>(client(), QStringLiteral("picMain"), 0, 0, 2400, 2400);
  picMain->setAutoFillBackground(true);
  QPalette pal = picMain->palette();
  pal.setColor(QPalette::Window, Qt::black);
  picMain->setPalette(pal);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
  // The window is as high as its face and as wide as the face or, where a
  // title bar needs more for the whole of "アナログ時計" beside its buttons,
  // that much, with black beside the face.
  client()->setAutoFillBackground(true);
  client()->setPalette(pal);
  Move(2400, 1800);
  setFixedSize(std::max(kFaceSize, ui::widthForCaption(this)), kFaceSize);
}

void TimeForm::Form_Load() {
  // 1. Above every other window, shown where it stands.
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  show();
  // 2. The face. Without it the hands go round on black.
  face_ = QImage(paths::resolve(kFacePath));
  if (!face_.isNull()) face_ = face_.convertToFormat(QImage::Format_RGB32);
  Timer1_Timer();
  Timer1->start();
}

void TimeForm::Timer1_Timer() {
  // One reading of the clock for all three hands, so that a hand never
  // jumps back at the turn of a minute or an hour.
  const QTime t = seams::now().time();
  picMain->setPixmap(QPixmap::fromImage(clockface::frame(face_, t.hour(), t.minute(), t.second())));
  picMain->repaint();
}

}  // namespace forms
