// The desktop speedboat mascot (Form1): a shaped window cut from its picture,
// its frames, and the timer that moves it about the screen.

#include "client/mainwindow/form1.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

ui::Accessor<forms::Form1>& form1Accessor() {
  static ui::Accessor<forms::Form1> a;
  return a;
}

}  // namespace

forms::Form1& Form1() { return form1Accessor()(); }
bool Form1Loaded() { return form1Accessor().isLoaded(); }

namespace mascot {

BoatMoveState& boatMoveState() {
  static BoatMoveState s;
  return s;
}

std::array<QImage, forms::Form1::kFrames> loadFrames() {
  using forms::Form1;
  std::array<QImage, Form1::kFrames> frames;
  QImage sheet(paths::resolve(QStringLiteral("\\★MailData\\Data\\Speedboat.bmp")));
  if (!sheet.isNull()) sheet = sheet.convertToFormat(QImage::Format_RGB32);
  for (int k = 0; k < Form1::kFrames; ++k) {
    const QRect cell(k * Form1::kFrameWidth, 0, Form1::kFrameWidth, Form1::kFrameHeight);
    if (!sheet.isNull() && sheet.rect().contains(cell)) {
      frames[static_cast<std::size_t>(k)] = sheet.copy(cell);
    } else {
      QImage plain(Form1::kFrameWidth, Form1::kFrameHeight, QImage::Format_RGB32);
      plain.fill(QColor(64, 64, 64));
      frames[static_cast<std::size_t>(k)] = plain;
    }
  }
  return frames;
}

}  // namespace mascot

namespace forms {

Form1::Form1() : ui::Form(QStringLiteral("Form1")) {
  // No border, no title bar, always on top, no button of its own in the task bar.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  Picture1 = mascot::loadFrames();
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kStepMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

int Form1::FrameIndex(int stepsLeft, int dx, int dy) {
  return (stepsLeft % 2) + (dx > 0 ? 2 : 0) + (dy < 0 ? 4 : 0);
}

QRegion Form1::BuildRegion(const QImage& picture) {
  QRegion region;
  if (picture.isNull()) return region;
  const QRgb corner = picture.pixel(0, 0) & 0xFFFFFF;
  // Positions of the grid outside the picture lie outside the window too
  // and would add nothing visible, so the grid stops at the picture's edge.
  const int w = std::min(kRegionGrid, picture.width());
  const int h = std::min(kRegionGrid, picture.height());
  for (int y = 0; y < h; ++y) {
    int x = 0;
    while (x < w) {
      while (x < w && (picture.pixel(x, y) & 0xFFFFFF) == corner) ++x;
      const int start = x;
      while (x < w && (picture.pixel(x, y) & 0xFFFFFF) != corner) ++x;
      if (x > start) region += QRect(start, y, x - start, 1);
    }
  }
  return region;
}

QSize Form1::screenSize() {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().size() : QSize(800, 600);
}

void Form1::Form_Load() {
  // 1: the regions of the eight frames.
  for (int k = 0; k < kFrames; ++k)
    FrameRegions[static_cast<std::size_t>(k)] = BuildRegion(Picture1[static_cast<std::size_t>(k)]);
  // 2, 3: the size of the first frame; topmost came with the window's flags.
  setFixedSize(Picture1[0].size());
  // 4: the screen's twips per pixel; the random numbers seeded from the clock.
  TwipsX = ui::kTwipsPerPixel;
  TwipsY = ui::kTwipsPerPixel;
  seams::Randomize();
  // 5: the top-left corner at the mouse cursor.
  const QPoint cursor = QCursor::pos();
  Move(cursor.x() * TwipsX, cursor.y() * TwipsY);
  // 6: the leg of an opening; the steps left from an earlier showing stay.
  Dx = -5;
  Dy = -2;
  showFrame(0);
  Timer1->start();
}

void Form1::showFrame(int k) {
  frame_ = k;
  const QRegion& r = FrameRegions[static_cast<std::size_t>(k)];
  // An empty region would make the window vanish for good (nothing left to
  // catch with the mouse): such a frame shows unshaped.
  if (r.isEmpty()) clearMask();
  else setMask(r);
  update();
}

void Form1::Timer1_Timer() {
  mascot::BoatMoveState& state = mascot::boatMoveState();
  // 1: a new leg once the last one has run out.
  if (state.stepsLeft < 1) {
    const float r1 = seams::Rnd();
    const float r2 = seams::Rnd();
    const float r3 = seams::Rnd();
    state.stepsLeft = vb::CInt((static_cast<double>(r1) * 10 + 3) * 2);
    Dx = vb::CInt((static_cast<double>(r2) * 10 - 5) * TwipsX * 8);
    Dy = vb::CInt((static_cast<double>(r3) * 10 - 5) * TwipsY);
  }
  // 2.
  state.stepsLeft = static_cast<std::int16_t>(state.stepsLeft - 1);
  // 3: the new place, kept on the screen; the leg itself is not changed.
  const QSize screen = screenSize();
  const int w = Picture1[0].width() * TwipsX;
  const int h = Picture1[0].height() * TwipsY;
  int left = Left() + Dx;
  int top = Top() + Dy;
  if (left < 0) left = 0;
  if (top < 0) top = 0;
  if (left + w > screen.width() * TwipsX) left = screen.width() * TwipsX - w;
  if (top + h > screen.height() * TwipsY) top = screen.height() * TwipsY - h;
  // 4.
  Move(left, top);
  // 5, 6: the frame of the step with its region.
  showFrame(FrameIndex(state.stepsLeft, Dx, Dy));
}

void Form1::MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, QPoint globalPos) {
  if ((buttons | button) & Qt::LeftButton) {
    // The window system drags the window as it drags a caption; where it
    // cannot, the window follows the mouse itself until the button is let go.
    QWindow* w = windowHandle();
    if (w && w->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = globalPos - frameGeometry().topLeft();
  } else if (button == Qt::RightButton && (buttons & ~Qt::RightButton) == Qt::NoButton) {
    // The whole client ends at once: no window's closing steps run.
    ui::endAtOnce(0);
  }
}

void Form1::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Picture1[static_cast<std::size_t>(frame_)]);
}

void Form1::mousePressEvent(QMouseEvent* e) {
  MouseDown(e->button(), e->buttons(), e->globalPosition().toPoint());
  e->accept();
}

void Form1::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_ && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - dragOffset_);
  e->accept();
}

void Form1::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) dragging_ = false;
  e->accept();
}

}  // namespace forms
