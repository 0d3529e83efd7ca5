#pragma once
// The analogue clock window "アナログ時計": three black hands over the clock
// face "\★MailData\DATA\Cdata\back.bmp", redrawn ten times a second. The
// window stays above every other window.
#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QTimer>

#include "platform/ui.h"

namespace clockface {

// The centre of the face in picMain's pixels and the hands' lengths.
inline constexpr int kCentre = 80;
inline constexpr int kHourLength = 40;
inline constexpr int kMinuteLength = 60;
inline constexpr int kSecondLength = 60;

// Angles in degrees, clockwise from 12 o'clock: hour (h mod 12) * 30 + m / 2
// rounded half to even, minute m * 6, second s * 6.
int hourAngle(int hour, int minute);
int minuteAngle(int minute);
int secondAngle(int second);

// The end point of a hand of the given angle and length, each coordinate
// rounded half to even, from the centre (80, 80) with y growing downwards.
QPoint handEnd(int angle, int length);

// One frame: the face (or black where there is none) and the hour, minute
// and second hands, 160 x 160 pixels.
QImage frame(const QImage& face, int hour, int minute, int second);

}  // namespace clockface

namespace forms {

class TimeForm : public ui::Form {
 public:
  QLabel* picMain;  // 160 x 160 pixels: the face and the hands
  QTimer* Timer1;   // 100 ms

  void Timer1_Timer();
  // The face as loaded (a null image when back.bmp could not be read).
  const QImage& face() const { return face_; }

 protected:
  void Form_Load() override;

 private:
  TimeForm();
  friend class ui::Accessor<TimeForm>;
  QImage face_;
};

}  // namespace forms

// The one TimeForm of the program (loaded on first touch; its load shows it).
forms::TimeForm& TimeForm();
bool TimeFormLoaded();
