#include "puckslide/game.h"

#include <cmath>
#include <limits>

namespace puck {

namespace {

// Rounds down a random fraction of a step: r x factor, r in [0, 1).
int jitter(float r, int factor) { return static_cast<int>(std::floor(r * static_cast<float>(factor))); }

// Whether the puck's left edge lies within a mallet's span, ends included.
bool within(int left, const Rect& mallet) { return mallet.left <= left && left <= mallet.left + mallet.width; }

// Holds a flag for the duration of a scope, also when it is left by an exception.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

Game::Game(Host& host) : host_(host) {
  // Design-time timers: interval and whether each runs from the start.
  const int intervals[8] = {8, 40, 1000, 0, 10, 1000, 1, 1000};
  const bool enabled[8] = {false, false, true, true, true, true, true, true};
  for (int i = 0; i < 8; ++i) {
    timers_[static_cast<std::size_t>(i)].Interval = intervals[i];
    timers_[static_cast<std::size_t>(i)].Enabled = enabled[i];
  }
}

void Game::setInterval(int n, int ms) {
  Timer& t = timer(n);
  t.Interval = ms < 0 ? 0 : ms;
  if (t.Interval > 0) t.due = now_ + t.Interval;
}

void Game::setEnabled(int n, bool on) {
  Timer& t = timer(n);
  if (on && !t.Enabled) t.due = now_ + t.Interval;
  t.Enabled = on;
}

void Game::advance(std::int64_t nowMs) {
  for (;;) {
    int next = 0;
    std::int64_t due = std::numeric_limits<std::int64_t>::max();
    for (int n = 1; n <= 8; ++n) {
      const Timer& t = timer(n);
      if (t.running() && t.due <= nowMs && t.due < due) {
        due = t.due;
        next = n;
      }
    }
    if (next == 0) break;
    Timer& t = timer(next);
    if (nowMs - t.due > kMaxLagMs) t.due = nowMs;  // held up: skip the missed ticks
    if (t.due > now_) now_ = t.due;
    t.due += t.Interval;
    fire(next);
  }
  if (nowMs > now_) now_ = nowMs;
}

void Game::fire(int n) {
  switch (n) {
    case 1: Timer1_Timer(); break;
    case 2: Timer2_Timer(); break;
    case 3: Timer3_Timer(); break;
    case 5: Timer5_Timer(); break;
    case 7: Timer7_Timer(); break;
    case 8: Timer8_Timer(); break;
    default: break;  // Timer4 never fires, Timer6 does nothing
  }
}

void Game::Form_Load(std::int64_t nowMs) {
  now_ = nowMs;
  for (int n = 1; n <= 8; ++n) timer(n).due = now_ + timer(n).Interval;
  speed = 300;
  setInterval(2, 25);
  Command2Enabled = false;
  Command1Enabled = true;
}

void Game::Command1_Click() {
  if (awaitingOk_ || ending_) return;
  Command2Enabled = true;
  Command1Enabled = false;
  Image3Visible = true;
  setInterval(2, 40);
  setInterval(1, 8);
  if (Label5 != 60) {
    // The first start.
    setEnabled(1, true);
    setEnabled(2, true);
    Label5 = 60;
  } else if (840 <= Shape1.top && Shape1.top <= 1140 && within(Shape1.left, Shape10)) {
    // Going on after a pause with the puck on the user's mallet: a special shot.
    mode = kUserShot;
  }
}

void Game::Command2_Click() {
  if (awaitingOk_ || ending_) return;
  setInterval(1, 0);
  setInterval(2, 0);
  Command2Enabled = false;
  Command1Enabled = true;
}

void Game::Form_MouseMove(int xTwips) {
  if (awaitingOk_ || ending_) return;
  Shape10.left = xTwips - Shape10.width / 2;
}

void Game::Timer1_Timer() {
  if (awaitingOk_ || ending_) return;
  Rect& puck = Shape1;
  if (puck.left < kLeftWall) {
    puck.left = kLeftWall;
    yoko = -yoko;
    host_.bounceSound();
    puck.top -= 20;
  }
  if (puck.left > kRightWall) {
    puck.left = kRightWall;
    yoko = -yoko;
    host_.bounceSound();
  }
  if (puck.top < kUserGoal) {
    goal(false);
    return;
  }
  if (puck.top > kComputerGoal) {
    goal(true);
    return;
  }
  if (puck.top < kUserHitLine && within(puck.left, Shape10)) {
    tate = -tate;
    mode = kNormal;
    host_.hitSound();
    puck.top = kUserHitLine;
    host_.beep();
  }
  if (puck.top > kComputerHitLine) {
    mode = kNormal;
    if (within(puck.left, Shape11)) {
      tate = -tate;
      host_.hitSound();
      puck.top = kComputerHitLine;
      host_.beep();
    }
  }
  switch (mode) {
    case kNormal:
      puck.top += tate;
      puck.left += yoko;
      break;
    case kComputerShot:
      puck.top += tate + jitter(host_.rnd(), -245);
      moveSideways();
      break;
    default:
      puck.top += tate + jitter(host_.rnd(), 245);
      moveSideways();
      break;
  }
}

void Game::moveSideways() {
  Shape1.left += yoko + jitter(host_.rnd(), 185);
  Shape1.left += yoko + jitter(host_.rnd(), -185);
}

void Game::goal(bool userScored) {
  if (userScored) ++Label1;
  else ++Label2;
  setInterval(1, 0);
  setInterval(2, 0);
  setInterval(3, 0);
  {
    // Nothing of the game moves while the message is open, whatever the
    // user does meanwhile: only the sprites, the mouse limit and the end
    // check go on.
    FlagScope hold(awaitingOk_);
    host_.message("OK?");
  }
  if (ending_) return;
  mode = kNormal;
  if (userScored) {
    Shape11.left = 1560;
    Shape10.left = 1560;
  } else {
    Shape10.left = 1560;
    Shape11.left = 320;
  }
  tate = Label5.value_or(60);
  yoko = Label5.value_or(60);
  // The timers restart from the moment the message was closed.
  setInterval(1, 8);
  // The lower mallet is always the computer's, so it always starts again.
  setInterval(2, Label6);
  setInterval(3, 2000);
  Shape1.top = 1680;
  Shape1.left = 1520;
}

void Game::Timer2_Timer() {
  if (awaitingOk_ || ending_) return;
  if (Shape11.left + 280 <= Shape1.left) Shape11.left += speed;
  else Shape11.left -= speed;
}

void Game::Timer3_Timer() {
  if (awaitingOk_ || ending_) return;
  tate = tate < 0 ? tate - 1 : tate + 1;
  yoko = yoko < 0 ? yoko - 10 : yoko + 10;
}

void Game::Timer5_Timer() {
  Image1.left = Shape10.left;
  Image2.left = Shape11.left;
  Image3.left = Shape1.left;
  Image3.top = Shape1.top;
}

void Game::Timer7_Timer() {
  if (Shape10.left >= kMouseLimit) Shape10.left = kMouseLimit;
}

void Game::Timer8_Timer() {
  if (ending_ || Label1 < kWinningScore) return;
  // Every timer stops before the first message, so each message is shown
  // once, even when this check comes round again while they are open.
  ending_ = true;
  for (int n = 1; n <= 8; ++n) setInterval(n, 0);
  host_.message("Gameover");
  host_.message("Game Over");
  host_.endProgram();
}

}  // namespace puck
