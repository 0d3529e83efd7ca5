// The boat race and the rain in the main window's picture area: their frames,
// the sprites, and the timer tick that moves them.

#include "client/mainwindow/race.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "client/mainwindow/mainform.h"
#include "client/mainwindow/playsound.h"
#include "platform/gdi.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace race {

std::int16_t BoatX[7] = {0, kStartLine, kStartLine, kStartLine, kStartLine, kStartLine, kStartLine};
std::int16_t BoatFrame = 0;
std::int16_t RaceActive = 0;
float LaneSpeeds[7] = {0, 1, 1, 1, 1, 1, 1};
RainDrop RainDrops[101];

const float kLaneSpeedTable[16][6] = {
    {0.997f, 0.9965f, 0.9999f, 0.9969f, 0.99885f, 0.99799f},
    {0.9987f, 0.998f, 0.9981f, 0.9988f, 0.99825f, 0.9987f},
    {0.9993f, 0.9967f, 0.9996f, 0.9969f, 0.99794f, 0.9998f},
    {0.9975f, 0.99999f, 0.9975f, 0.997495f, 0.9998f, 0.999587f},
    {0.9978f, 0.9995f, 0.9998f, 0.9984f, 0.99749f, 0.9998f},
    {0.99898f, 0.9989f, 0.9993f, 0.9984f, 0.9989f, 0.99767f},
    {0.998796f, 0.9994f, 0.9998f, 0.9987f, 0.9988f, 0.9991854f},
    {0.9991f, 0.999397f, 0.9984f, 0.9996f, 0.9989f, 0.99934f},
    {0.99875f, 0.99999f, 0.9975f, 0.997895f, 0.9998f, 0.999987f},
    {0.99898f, 0.9995f, 0.9998f, 0.99724f, 0.99749f, 0.9998f},
    {0.9975998f, 0.9989f, 0.996993f, 0.99794f, 0.9989f, 0.99767f},
    {0.998796f, 0.997984f, 0.99898f, 0.9987f, 0.9988f, 0.9991854f},
    {0.99781f, 0.999397f, 0.99849f, 0.9996f, 0.9989f, 0.996934f},
    {0.998796f, 0.9994f, 0.99848f, 0.99877f, 0.9988f, 0.9991854f},
    {0.99731f, 0.999397f, 0.99849f, 0.9996f, 0.9989f, 0.997934f},
    {0.9991f, 0.999397f, 0.99994f, 0.9996f, 0.99969f, 0.998334f},
};

namespace {

// Boat sheet layout and the lanes.
constexpr int kBoatW = 45;
constexpr int kBoatH = 33;
constexpr int kColourRow = 128;
constexpr int kMaskRow = 0;
constexpr int kLaneGap = 30;
constexpr int kImage3Top[6] = {13, 45, 74, 105, 136, 167};
// The rain field and its sprites.
constexpr int kRainW = 600;
constexpr int kRainH = 320;
constexpr int kDrop = 16;
constexpr int kDrops = 100;

Show g_show = Show::None;
QPointer<QTimer> g_frames;
QElapsedTimer g_lastFrame;

forms::MainForm* form() { return MainFormLoaded() ? &::MainForm() : nullptr; }

// Shows the main window (it comes back when it sat in the tray), unless the
// start-up password has not been given yet.
void showMainWindow() {
  forms::MainForm* f = form();
  if (!f || f->startHidden()) return;
  if (f->WindowState() == 1 || !f->Visible()) f->setWindowState(0);
  f->Show();
}

void frame() {
  // Never faster than the pace, however the timer events bunch up.
  if (g_lastFrame.isValid() && g_lastFrame.elapsed() < kFrameMs - 1) return;
  g_lastFrame.start();
  if (!form()) {
    reset();
    return;
  }
  if (g_show == Show::Race) {
    RaceFrame();
    // An ended race rests at the start line: no more frames until the boats'
    // frame flips (FrameTick) or a new start.
    if (RaceActive != 1 && g_frames) g_frames->stop();
  } else if (g_show == Show::Rain) {
    RainFrame();
  }
}

void runFrames() {
  forms::MainForm* f = form();
  if (!f) return;
  if (!g_frames) {
    g_frames = new QTimer(f);
    g_frames->setObjectName(QStringLiteral("RaceFrames"));
    g_frames->setTimerType(Qt::PreciseTimer);
    g_frames->setInterval(kFrameMs);
    QObject::connect(g_frames, &QTimer::timeout, f, [] { frame(); });
  }
  if (!g_frames->isActive()) g_frames->start();
}

QImage loadPicture(const QString& programPath) {
  QImage img(paths::resolve(programPath));
  return img.isNull() ? QImage() : gdi::toSurface(img);
}

}  // namespace

Show current() { return g_show; }

int rowFor(float r) {
  const float v = r * 16.0f + 1.0f;
  return std::clamp(static_cast<int>(std::floor(v)), 1, 16);
}

void reset() {
  if (QTimer* t = g_frames.data()) {
    // Also called from the timer's own tick: the timer goes once it returns.
    g_frames = nullptr;
    t->stop();
    t->deleteLater();
  }
  g_show = Show::None;
  g_lastFrame.invalidate();
}

void LoadPictures() {
  forms::MainForm* f = form();
  if (!f) return;
  f->picBack = loadPicture(QStringLiteral("\\★MailData\\Data\\Water.bmp"));
  if (f->picBack.isNull()) f->picBack = gdi::surface(32, 32, 0x1850A0);
  f->picChara2 = loadPicture(QStringLiteral("\\★MailData\\Data\\Boat.bmp"));
  for (int k = 0; k < 6; ++k) {
    const QImage lane(paths::resolve(QStringLiteral("\\★MailData\\Data\\Lane%1.bmp").arg(k + 1)));
    if (lane.isNull()) continue;
    f->Image3[k]->setPixmap(QPixmap::fromImage(lane));
    f->Image3[k]->resize(lane.size());
  }
  const QImage icon(paths::resolve(QStringLiteral("\\★MailData\\Data\\Icon.png")));
  if (!icon.isNull()) f->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
}

void DrawStart() {
  forms::MainForm* f = form();
  if (!f) return;
  DrawRaceField();
  for (int k = 1; k <= 6; ++k) BoatX[k] = kStartLine;
  DrawBoats();
  f->picMain->Refresh();
}

void DrawRaceField() {
  forms::MainForm* f = form();
  if (!f) return;
  QImage& dst = f->picMain->image;
  const int tw = f->picBack.width(), th = f->picBack.height();
  if (tw <= 0 || th <= 0) return;
  for (int row = 0; row <= 18; ++row)
    for (int col = 0; col <= 18; ++col) gdi::BitBlt(dst, 32 * col, 32 * row, 32, 32, f->picBack, 0, 0, gdi::SRCCOPY);
}

void MoveBoats() {
  if (RaceActive != 1) return;
  forms::MainForm* f = form();
  for (int k = 1; k <= 6; ++k) {
    // The product of the integer and the single-precision factor is exact in
    // double precision; it is rounded half to even.
    BoatX[k] = vb::CInt((static_cast<double>(BoatX[k]) - 1.0) * static_cast<double>(LaneSpeeds[k]));
    if (BoatX[k] == kFinishLine && f) f->List1->addItem(QString::number(k));
  }
  if (BoatX[1] == kLaneOneEnd) {
    RaceActive = 0;
    StopSound();
    for (int k = 1; k <= 6; ++k) BoatX[k] = kStartLine;
    showMainWindow();
  }
}

void DrawBoats() {
  forms::MainForm* f = form();
  if (!f) return;
  QImage& dst = f->picMain->image;
  const int sx = kBoatW * BoatFrame;
  for (int k = 1; k <= 6; ++k) {
    const int y = kLaneGap * (k - 1);
    gdi::BitBlt(dst, BoatX[k], y, kBoatW, kBoatH, f->picChara2, sx, kColourRow, gdi::SRCPAINT);
    gdi::BitBlt(dst, BoatX[k], y + 4, kBoatW, kBoatH, f->picChara2, sx, kMaskRow, gdi::SRCAND);
  }
}

void RaceFrame() {
  forms::MainForm* f = form();
  if (!f) return;
  DrawRaceField();
  MoveBoats();
  DrawBoats();
  f->picMain->Refresh();
}

void RunRace() {
  for (int k = 1; k <= 6; ++k) BoatX[k] = kStartLine;
  showMainWindow();
  g_show = Show::Race;
  if (RaceActive == 1) {
    runFrames();
  } else {
    // Resting at the start line: drawn now, then at each flip of the frame.
    if (g_frames) g_frames->stop();
    RaceFrame();
  }
}

void RaceStart() {
  forms::MainForm* f = form();
  if (!f) return;
  // The field holds still while the start sets up (its message may wait
  // for the user).
  if (g_frames) g_frames->stop();
  f->Label25->hide();
  RaceActive = 1;
  f->List1->clear();
  StopSound();
  const int r = PlaySoundFile(paths::resolve(QStringLiteral("\\Sound\\Kouka.wav")), f->ChkSynchro->isChecked(),
                              f->ChkLoop->isChecked(), f->ChkOnMem->isChecked(), false);
  ShowPlaySoundError(r);
  seams::Randomize();
  const int row = rowFor(seams::Rnd());
  for (int k = 1; k <= 6; ++k) LaneSpeeds[k] = kLaneSpeedTable[row - 1][k - 1];
  RunRace();
}

void RaceStop() {
  forms::MainForm* f = form();
  if (!f) return;
  f->Label25->hide();
  RaceActive = 0;
  StopSound();
  for (int k = 1; k <= 6; ++k) BoatX[k] = kStartLine;
  showMainWindow();
  // A running race rests at the start line; the rain, once it falls, goes on
  // (only a race start replaces it); with no show yet the resting race is
  // drawn.
  if (g_show != Show::Rain) RunRace();
}

void InitData() {
  forms::MainForm* f = form();
  if (!f) return;
  seams::Randomize();
  f->picChar = loadPicture(QStringLiteral("\\★MailData\\Data\\Rain.bmp"));
  for (int i = 0; i < kDrops; ++i) {
    RainDrop& d = RainDrops[i];
    d.X = static_cast<std::int16_t>(std::clamp(static_cast<int>(std::floor(seams::Rnd() * float(kRainW))), 0, kRainW - 1));
    d.Y = static_cast<std::int16_t>(std::clamp(static_cast<int>(std::floor(seams::Rnd() * float(kRainH))), 0, kRainH - 1));
    d.Speed = static_cast<std::int16_t>(std::clamp(static_cast<int>(std::floor(seams::Rnd() * 3.0f)), 0, 2));
  }
}

void DrawSnow() {
  forms::MainForm* f = form();
  if (!f) return;
  QImage& dst = f->picMain->image;
  gdi::PatBlt(dst, 0, 0, kRainW, kRainH, gdi::BLACKNESS);
  for (int i = 0; i < kDrops; ++i) {
    const RainDrop& d = RainDrops[i];
    gdi::BitBlt(dst, d.X, d.Y, kDrop, kDrop, f->picChar, kDrop * d.Speed + 3 * kDrop, 0, gdi::SRCAND);
    gdi::BitBlt(dst, d.X, d.Y, kDrop, kDrop, f->picChar, kDrop * d.Speed, 0, gdi::SRCPAINT);
  }
  f->picMain->Refresh();
}

void MoveDrops() {
  for (int i = 0; i < kDrops; ++i) {
    RainDrop& d = RainDrops[i];
    d.Y = static_cast<std::int16_t>(d.Y + d.Speed + 1);
    if (d.Y > kRainH)
      d.Y = static_cast<std::int16_t>(std::clamp(static_cast<int>(std::floor(seams::Rnd() * float(kRainH))), 0, kRainH - 1));
  }
}

void RainFrame() {
  DrawSnow();
  MoveDrops();
}

void RainStart() {
  forms::MainForm* f = form();
  if (!f) return;
  // A label lies beneath the help box: the box, when shown, stays readable.
  f->Label25->show();
  f->Label25->stackUnder(f->Picture1);
  StopSound();
  InitData();
  showMainWindow();
  g_show = Show::Rain;
  runFrames();
}

void FrameTick() {
  forms::MainForm* f = form();
  if (!f) return;
  BoatFrame = BoatFrame == 0 ? 1 : 0;
  for (int k = 1; k <= 6; ++k) f->Image3[k - 1]->move(BoatX[k] + 40, kImage3Top[k - 1]);
  // The resting race is redrawn with the new frame of the boats.
  if (g_show == Show::Race && RaceActive != 1) RaceFrame();
}

void Wait(std::int32_t ms) {
  const std::int64_t t0 = seams::tickCount();
  ui::doEvents();
  for (;;) {
    // A 64-bit difference: no wrap of the clock can make it fail. Between
    // looks at the clock the events run in a short sleep, not a busy loop.
    const std::int64_t elapsed = seams::tickCount() - t0;
    if (elapsed > ms) return;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min<std::int64_t>(ms - elapsed + 1, 10)), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
  }
}

}  // namespace race
