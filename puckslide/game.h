#pragma once
// The air hockey game without its window: the moving objects on the table,
// the game state, the eight timers and every handler, in plain C++.
//
// Positions and sizes are in twips (15 a pixel) from the top left corner of
// the table; top grows downwards. The window feeds in the mouse, the two
// buttons and a millisecond clock, draws the sprites and shows the messages;
// tests drive the same handlers step by step.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace puck {

struct Rect {
  int left;
  int top;
  int width;
  int height;
};

// What the game needs from around it.
class Host {
 public:
  virtual ~Host() = default;
  virtual void bounceSound() {}  // "Prev", then "Play" on MMControl2
  virtual void hitSound() {}     // "Prev", then "Play" on MMControl1
  virtual void beep() {}         // the platform's default beep
  // A message with an OK button and the program's title; returns once it is
  // closed. The clock may be advanced from inside (the box does not stop the
  // timers that are still running).
  virtual void message(const std::string& utf8Text) = 0;
  // Ends the program at once; need not return.
  virtual void endProgram() = 0;
  // A fresh number in [0, 1).
  virtual float rnd() = 0;
};

// The puck mode (the tag of the user's score label).
enum PuckMode : int { kNormal = 0, kUserShot = 10, kComputerShot = 20 };

// One timer: an interval of 0 means stopped; setting a non-zero interval
// restarts it.
struct Timer {
  int Interval = 0;
  bool Enabled = true;
  std::int64_t due = 0;  // clock time of its next tick while running
  bool running() const { return Enabled && Interval > 0; }
};

class Game {
 public:
  // Table geometry.
  static constexpr int kLeftWall = 0;
  static constexpr int kRightWall = 3960;
  static constexpr int kUserGoal = 600;       // puck top above this: the computer scores
  static constexpr int kComputerGoal = 4800;  // puck top below this: the user scores
  static constexpr int kUserHitLine = 1000;
  static constexpr int kComputerHitLine = 4480;
  static constexpr int kMouseLimit = 3500;
  static constexpr int kWinningScore = 10;
  // Sprite tops (twips): the user's mallet is drawn 120 above its logical top.
  static constexpr int kImage1Top = 720;
  static constexpr int kImage2Top = 4440;

  explicit Game(Host& host);

  // ---- Moving objects: logical rectangles, never drawn ----
  Rect Shape1{240, 1560, 255, 255};    // the puck
  Rect Shape10{2040, 840, 480, 375};   // the user's mallet (top fixed)
  Rect Shape11{1200, 4440, 615, 375};  // the computer's mallet (top fixed)

  // ---- Sprites, placed by the follow timer ----
  Rect Image1{2040, kImage1Top, 585, 525};  // the user's mallet
  Rect Image2{1200, kImage2Top, 585, 525};  // the computer's mallet
  Rect Image3{240, 1560, 285, 285};         // the puck
  bool Image3Visible = false;

  // ---- Game state ----
  int tate = 60;              // the puck's vertical step per physics tick (down is positive)
  int yoko = 60;              // the puck's horizontal step per physics tick (right is positive)
  int speed = 0;              // the computer mallet's step per tracking tick
  std::optional<int> Label5;  // restart step; empty until the first start
  int Label6 = 40;            // the tracking timer's interval after a goal
  int mode = kNormal;         // puck mode (the tag of Label1)
  int Label1 = 0;             // the user's score
  int Label2 = 0;             // the computer's score

  // ---- Buttons ----
  bool Command1Enabled = true;  // "Start"
  bool Command2Enabled = true;  // "Pose"

  // ---- Timers, numbered 1 to 8 as on the window ----
  Timer& timer(int n) { return timers_.at(static_cast<std::size_t>(n - 1)); }
  const Timer& timer(int n) const { return timers_.at(static_cast<std::size_t>(n - 1)); }
  // Sets a timer's interval; a non-zero interval restarts it from now.
  void setInterval(int n, int ms);
  void setEnabled(int n, bool on);

  // ---- The clock ----
  // Runs every timer tick that falls due up to the clock time nowMs, one at a
  // time in the order they fall due, each at its own nominal time. A timer
  // that has fallen far behind (the program was held up) skips the ticks it
  // missed instead of rushing through them.
  void advance(std::int64_t nowMs);
  std::int64_t now() const { return now_; }
  static constexpr std::int64_t kMaxLagMs = 200;

  // ---- Handlers ----
  void Form_Load(std::int64_t nowMs);
  void Command1_Click();  // "Start"
  void Command2_Click();  // "Pose"
  void Form_MouseMove(int xTwips);
  void Timer1_Timer();  // physics tick
  void Timer2_Timer();  // the computer's mallet
  void Timer3_Timer();  // speed-up
  void Timer5_Timer();  // the sprites follow the logical rectangles
  void Timer7_Timer();  // keeps the user's mallet left of the limit
  void Timer8_Timer();  // end of game

  // True while a goal's "OK?" message is open: the game holds still.
  bool awaitingOk() const { return awaitingOk_; }
  bool ending() const { return ending_; }

 private:
  void fire(int n);
  void goal(bool userScored);
  void moveSideways();

  Host& host_;
  std::array<Timer, 8> timers_{};
  std::int64_t now_ = 0;
  bool awaitingOk_ = false;
  bool ending_ = false;
};

}  // namespace puck
