#pragma once
// The desktop mascot "Form1": a speedboat that wanders over the desktop in a
// small borderless window that stays on top of every other window. The
// window is shaped: the pixels of each frame that have the colour of its
// top-left pixel are transparent. The left button drags the boat, the right
// button alone ends the whole client at once.
//
// The eight 48 x 32 frames come from "\★MailData\Data\Speedboat.bmp" (frame k
// at x = 48 k); the frame of a step is chosen by the leg's direction and an
// alternating phase (FrameIndex). A 200 ms step timer moves the window along
// legs of random length and direction, clamped to the screen.
#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QTimer>
#include <array>
#include <cstdint>

#include "platform/ui.h"

namespace forms {

class Form1 : public ui::Form {
 public:
  static constexpr int kFrames = 8;
  static constexpr int kFrameWidth = 48;
  static constexpr int kFrameHeight = 32;
  // The region of a frame covers the pixels (0..42, 0..42) from its top-left
  // corner; columns 43 to 47 are never shown.
  static constexpr int kRegionGrid = 43;
  static constexpr int kStepMs = 200;

  // The frame pictures (RGB32, 48 x 32 pixels each).
  std::array<QImage, kFrames> Picture1;
  // The step timer (200 ms), running while the window is loaded.
  QTimer* Timer1;

  // The current leg's movement per step in twips, and the screen's twips
  // per pixel (read at load).
  std::int16_t Dx = 0;
  std::int16_t Dy = 0;
  int TwipsX = ui::kTwipsPerPixel;
  int TwipsY = ui::kTwipsPerPixel;

  // One step: a new leg when the last one has ended, the move (clamped to
  // the screen) and the frame of the step.
  void Timer1_Timer();
  // A mouse button pressed on the boat: button is the one pressed, buttons
  // all that are held (with it). Left drags, right alone ends the client.
  void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, QPoint globalPos);

  // The frame shown at the moment and the region given to the window for it.
  int frame() const { return frame_; }
  const QRegion& FrameRegion(int k) const { return FrameRegions[static_cast<std::size_t>(k)]; }

  // The frame of a step: (steps left mod 2) + 2 when the leg runs
  // rightwards + 4 when it runs upwards.
  static int FrameIndex(int stepsLeft, int dx, int dy);
  // The visible part of a picture: every pixel of the 43 x 43 grid from its
  // top-left corner (as far as the picture reaches) whose colour differs
  // from that of pixel (0, 0). There is no cap on the rectangles it takes.
  static QRegion BuildRegion(const QImage& picture);
  // The screen the boat keeps to, in pixels.
  static QSize screenSize();

 protected:
  void Form_Load() override;
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  Form1();
  friend class ui::Accessor<Form1>;
  void showFrame(int k);

  std::array<QRegion, kFrames> FrameRegions;
  int frame_ = 0;
  // Dragging by hand where the window system does not move the window.
  bool dragging_ = false;
  QPoint dragOffset_;
};

}  // namespace forms

// The one mascot window of the program (loaded on first touch).
forms::Form1& Form1();
// True while the mascot window is loaded (peeking does not load it).
bool Form1Loaded();

namespace mascot {

// What the boat keeps while the client runs, also when its window is
// closed and opened again: the steps left in the current leg.
struct BoatMoveState {
  std::int16_t stepsLeft = 0;
};
BoatMoveState& boatMoveState();

// The eight frames cut from the picture sheet; a missing sheet gives plain
// dark frames (the window then shows as an unshaped box).
std::array<QImage, forms::Form1::kFrames> loadFrames();

}  // namespace mascot
