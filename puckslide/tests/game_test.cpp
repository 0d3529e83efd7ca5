// The game driven step by step without a window: the state is set by hand,
// handlers and the clock are run one at a time.
#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

#include "puckslide/game.h"

namespace {

struct Ended {};

struct FakeHost : puck::Host {
  std::vector<std::string> messages;
  int bounces = 0;
  int hits = 0;
  int beeps = 0;
  int ends = 0;
  std::deque<float> rnds;
  std::function<void(const std::string&)> onMessage;

  void bounceSound() override { ++bounces; }
  void hitSound() override { ++hits; }
  void beep() override { ++beeps; }
  void message(const std::string& text) override {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
  void endProgram() override {
    ++ends;
    throw Ended{};
  }
  float rnd() override {
    if (rnds.empty()) return 0.5f;
    const float r = rnds.front();
    rnds.pop_front();
    return r;
  }
};

class PuckGame : public ::testing::Test {
 protected:
  FakeHost host;
  puck::Game game{host};
  void SetUp() override { game.Form_Load(0); }
  void start() { game.Command1_Click(); }
  // Lets the clock run to t as a steady clock would, in small steps.
  void runTo(std::int64_t t) {
    for (std::int64_t now = game.now() + 4; now < t; now += 4) game.advance(now);
    game.advance(t);
  }
  int count(const std::string& text) const {
    int n = 0;
    for (const auto& m : host.messages) n += m == text;
    return n;
  }
};

TEST_F(PuckGame, LoadLeavesTheGameWaitingForStart) {
  EXPECT_EQ(game.speed, 300);
  EXPECT_EQ(game.timer(2).Interval, 25);
  EXPECT_FALSE(game.timer(1).running());
  EXPECT_FALSE(game.timer(2).running());
  for (int n : {3, 5, 6, 7, 8}) EXPECT_TRUE(game.timer(n).running()) << "Timer" << n;
  EXPECT_FALSE(game.timer(4).running());
  EXPECT_TRUE(game.Command1Enabled);
  EXPECT_FALSE(game.Command2Enabled);
  EXPECT_FALSE(game.Image3Visible);
  EXPECT_FALSE(game.Label5.has_value());
}

TEST_F(PuckGame, WaitingBeforeTheFirstStartSpeedsThePuckUp) {
  runTo(3000);
  EXPECT_EQ(game.tate, 63);
  EXPECT_EQ(game.yoko, 90);
  EXPECT_EQ(game.Shape1.top, 1560);  // not moving yet
  EXPECT_EQ(game.Shape1.left, 240);
}

TEST_F(PuckGame, FirstStartRunsPhysicsAndTrackingButNeverASpecialShot) {
  game.Shape1.top = 900;
  game.Shape1.left = game.Shape10.left + 10;  // on the mallet
  start();
  EXPECT_EQ(game.Label5, 60);
  EXPECT_EQ(game.mode, puck::kNormal);
  EXPECT_TRUE(game.timer(1).running());
  EXPECT_EQ(game.timer(1).Interval, 8);
  EXPECT_TRUE(game.timer(2).running());
  EXPECT_EQ(game.timer(2).Interval, 40);
  EXPECT_FALSE(game.Command1Enabled);
  EXPECT_TRUE(game.Command2Enabled);
  EXPECT_TRUE(game.Image3Visible);
}

TEST_F(PuckGame, PoseStopsPhysicsAndTrackingWhileSpeedUpRunsOn) {
  start();
  game.Command2_Click();
  EXPECT_EQ(game.timer(1).Interval, 0);
  EXPECT_EQ(game.timer(2).Interval, 0);
  EXPECT_TRUE(game.Command1Enabled);
  EXPECT_FALSE(game.Command2Enabled);
  const puck::Rect puck = game.Shape1;
  const int computer = game.Shape11.left;
  runTo(2000);
  EXPECT_EQ(game.Shape1.top, puck.top);
  EXPECT_EQ(game.Shape1.left, puck.left);
  EXPECT_EQ(game.Shape11.left, computer);
  EXPECT_EQ(game.tate, 62);
  EXPECT_EQ(game.yoko, 80);
}

TEST_F(PuckGame, SpeedUpGrowsBothStepsInSize) {
  struct Case {
    int tate, yoko, tateAfter, yokoAfter;
  };
  const Case cases[] = {{60, 60, 61, 70}, {-60, -60, -61, -70}, {0, 0, 1, 10}, {-1, 5, -2, 15}, {7, -3, 8, -13}};
  for (const Case& c : cases) {
    game.tate = c.tate;
    game.yoko = c.yoko;
    game.Timer3_Timer();
    EXPECT_EQ(game.tate, c.tateAfter) << c.tate;
    EXPECT_EQ(game.yoko, c.yokoAfter) << c.yoko;
  }
}

// One physics tick from a state set by hand (no goal in these cases).
TEST_F(PuckGame, PhysicsTick) {
  struct Case {
    const char* what;
    int left, top, tate, yoko, mode;
    int leftAfter, topAfter, tateAfter, yokoAfter, modeAfter;
    int bounces, hits;
  };
  // The user's mallet spans 2040..2520, the computer's 1200..1815.
  const Case cases[] = {
      {"plain move", 1000, 2000, 60, 60, 0, 1060, 2060, 60, 60, 0, 0, 0},
      {"left wall lifts by 20", -30, 2000, 60, -70, 0, 70, 2040, 60, 70, 0, 1, 0},
      {"right wall does not lift", 3990, 2000, 60, 70, 0, 3890, 2060, 60, -70, 0, 1, 0},
      {"right wall edge is inside", 3960, 2000, 60, 70, 0, 4030, 2060, 60, 70, 0, 0, 0},
      {"left wall edge is inside", 0, 2000, 60, -70, 0, -70, 2060, 60, -70, 0, 0, 0},
      {"user's mallet, left end", 2040, 990, -60, 0, 0, 2040, 1060, 60, 0, 0, 0, 1},
      {"user's mallet, right end", 2520, 990, -60, 0, 0, 2520, 1060, 60, 0, 0, 0, 1},
      {"user's mallet missed", 2521, 990, -60, 0, 0, 2521, 930, -60, 0, 0, 0, 0},
      {"user's mallet ends a special shot", 2100, 990, -60, 0, 10, 2100, 1060, 60, 0, 0, 0, 1},
      {"at the user's hit line", 2100, 1000, -60, 0, 0, 2100, 940, -60, 0, 0, 0, 0},
      {"computer's mallet, left end", 1200, 4490, 60, 0, 0, 1200, 4420, -60, 0, 0, 0, 1},
      {"computer's mallet, right end", 1815, 4490, 60, 0, 0, 1815, 4420, -60, 0, 0, 0, 1},
      {"computer's mallet missed", 1816, 4490, 60, 0, 0, 1816, 4550, 60, 0, 0, 0, 0},
      {"passing 4480 ends a special shot", 3000, 4490, 60, 0, 10, 3000, 4550, 60, 0, 0, 0, 0},
      {"top 600 is no goal", 100, 600, -60, 0, 0, 100, 540, -60, 0, 0, 0, 0},
      {"top 4800 is no goal", 3000, 4800, 60, 0, 0, 3000, 4860, 60, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    FakeHost h;
    puck::Game g(h);
    g.Form_Load(0);
    g.Command1_Click();
    g.Shape1.left = c.left;
    g.Shape1.top = c.top;
    g.tate = c.tate;
    g.yoko = c.yoko;
    g.mode = c.mode;
    g.Timer1_Timer();
    EXPECT_EQ(g.Shape1.left, c.leftAfter) << c.what;
    EXPECT_EQ(g.Shape1.top, c.topAfter) << c.what;
    EXPECT_EQ(g.tate, c.tateAfter) << c.what;
    EXPECT_EQ(g.yoko, c.yokoAfter) << c.what;
    EXPECT_EQ(g.mode, c.modeAfter) << c.what;
    EXPECT_EQ(h.bounces, c.bounces) << c.what;
    EXPECT_EQ(h.hits, c.hits) << c.what;
    EXPECT_EQ(h.beeps, c.hits) << c.what;  // a beep follows every hit
    EXPECT_TRUE(h.messages.empty()) << c.what;
  }
}

TEST_F(PuckGame, SpecialShotsMoveWithJitter) {
  struct Case {
    int mode;
    float r1, r2, r3;
    int topStep, leftStep;
  };
  // top: tate + floor(r1 x +-245); left: 2 x yoko + floor(r2 x 185) + floor(r3 x -185).
  const Case cases[] = {
      {10, 0.5f, 0.25f, 0.75f, 60 + 122, 140 + 46 - 139},
      {10, 0.0f, 0.0f, 0.0f, 60, 140},
      {20, 0.5f, 0.25f, 0.75f, 60 - 123, 140 + 46 - 139},
      {20, 0.0f, 0.999f, 0.999f, 60, 140 + 184 - 185},
  };
  for (const Case& c : cases) {
    start();
    game.Shape1 = {2000, 2000, 255, 255};
    game.tate = 60;
    game.yoko = 70;
    game.mode = c.mode;
    host.rnds = {c.r1, c.r2, c.r3};
    game.Timer1_Timer();
    EXPECT_EQ(game.Shape1.top, 2000 + c.topStep) << c.mode << " " << c.r1;
    EXPECT_EQ(game.Shape1.left, 2000 + c.leftStep) << c.mode << " " << c.r1;
    EXPECT_EQ(game.mode, c.mode);
  }
}

TEST_F(PuckGame, StartAfterPoseWithThePuckOnTheMalletIsASpecialShot) {
  struct Case {
    int top, left;
    bool special;
  };
  // The user's mallet spans 2040..2520.
  const Case cases[] = {{840, 2040, true}, {1140, 2520, true}, {1000, 2300, true}, {839, 2300, false},
                        {1141, 2300, false}, {1000, 2039, false}, {1000, 2521, false}};
  for (const Case& c : cases) {
    FakeHost h;
    puck::Game g(h);
    g.Form_Load(0);
    g.Command1_Click();
    g.Command2_Click();
    g.Shape1.top = c.top;
    g.Shape1.left = c.left;
    g.Command1_Click();
    EXPECT_EQ(g.mode, c.special ? puck::kUserShot : puck::kNormal) << c.top << "," << c.left;
    EXPECT_TRUE(g.timer(1).running());
    EXPECT_TRUE(g.timer(2).running());
  }
}

TEST_F(PuckGame, ComputersMalletHuntsAroundThePuckAndCanLeaveTheTable) {
  game.Shape11.left = 1200;
  game.Shape1.left = 2000;
  std::vector<int> path;
  for (int i = 0; i < 5; ++i) {
    game.Timer2_Timer();
    path.push_back(game.Shape11.left);
  }
  EXPECT_EQ(path, (std::vector<int>{1500, 1800, 1500, 1800, 1500}));

  game.Shape1.left = 0;
  game.Shape11.left = 0;
  game.Timer2_Timer();
  EXPECT_EQ(game.Shape11.left, -300);
  game.Shape1.left = 3960;
  game.Shape11.left = 3900;
  game.Timer2_Timer();
  EXPECT_EQ(game.Shape11.left, 3600);
  game.Shape11.left = 3680;  // 3680 + 280 = 3960: still moves right
  game.Timer2_Timer();
  EXPECT_EQ(game.Shape11.left, 3980);
}

TEST_F(PuckGame, ComputersMalletTicksEvery40MsOnceStarted) {
  start();
  game.timer(3).Interval = 0;
  game.Shape1 = {3900, 2000, 255, 255};
  game.tate = 0;
  game.yoko = 0;
  game.Shape11.left = -10000;  // far to the left: moves right every tick
  runTo(400);
  EXPECT_EQ(game.Shape11.left, -10000 + 10 * 300);
}

TEST_F(PuckGame, MouseMovesTheMalletAndIsHeldLeftOf3500) {
  game.Form_MouseMove(5000);
  EXPECT_EQ(game.Shape10.left, 4760);
  game.advance(1);  // Timer7
  EXPECT_EQ(game.Shape10.left, 3500);
  game.Form_MouseMove(3740);
  game.Timer7_Timer();
  EXPECT_EQ(game.Shape10.left, 3500);
  game.Form_MouseMove(0);
  game.advance(2);
  EXPECT_EQ(game.Shape10.left, -240);  // no limit on the left
  game.advance(20);                    // the sprite follows
  EXPECT_EQ(game.Image1.left, -240);
}

TEST_F(PuckGame, PhysicsRunsInFixedStepsWhateverTheClockJitter) {
  start();
  game.timer(3).Interval = 0;
  game.Shape1 = {2000, 2000, 255, 255};
  game.tate = 1;
  game.yoko = 0;
  const int steps[] = {3, 17, 1, 30, 2, 9, 150, 8, 5};
  std::int64_t t = 0;
  while (t < 800) {
    for (int s : steps) {
      t += s;
      if (t > 800) t = 800;
      game.advance(t);
    }
  }
  EXPECT_EQ(game.Shape1.top, 2100);  // 800 ms / 8 ms
}

TEST_F(PuckGame, AHeldUpClockDoesNotRushThroughTheMissedSteps) {
  start();
  game.timer(3).Interval = 0;
  game.Shape1 = {2000, 2000, 255, 255};
  game.tate = 1;
  game.yoko = 0;
  game.advance(10000);
  EXPECT_EQ(game.Shape1.top, 2001);
  game.advance(10008);
  EXPECT_EQ(game.Shape1.top, 2002);
}

TEST_F(PuckGame, TheGoalTestComesBeforeTheMallet) {
  start();
  game.Shape1 = {2100, 590, 255, 255};  // within the user's mallet
  game.tate = -60;
  game.Timer1_Timer();
  EXPECT_EQ(game.Label2, 1);
  EXPECT_EQ(game.Label1, 0);
  EXPECT_EQ(host.hits, 0);
  EXPECT_EQ(host.messages, (std::vector<std::string>{"OK?"}));
}

TEST_F(PuckGame, APuckPastTheMalletGivesTheComputerAPoint) {
  start();
  game.timer(3).Interval = 0;
  game.Shape1 = {100, 1500, 255, 255};
  game.tate = -60;
  game.yoko = 0;
  runTo(400);
  EXPECT_EQ(game.Label2, 1);
  EXPECT_EQ(host.hits, 0);
  EXPECT_EQ(count("OK?"), 1);
}

struct GoalCase {
  const char* what;
  int top;
  int userScore, computerScore;
  int userMallet, computerMallet;
};

void PrintTo(const GoalCase& c, std::ostream* os) { *os << c.what; }

class PuckGoal : public PuckGame, public ::testing::WithParamInterface<GoalCase> {};

TEST_P(PuckGoal, StopsForOkThenRestartsFromTheMiddle) {
  const GoalCase& c = GetParam();
  start();
  game.Shape1 = {2700, c.top, 255, 255};
  game.tate = c.top < 1000 ? -75 : 75;  // the steps have grown
  game.yoko = 110;
  game.Shape10.left = 100;
  game.Shape11.left = 3000;
  game.mode = puck::kUserShot;
  bool checked = false;
  host.onMessage = [&](const std::string& text) {
    EXPECT_EQ(text, "OK?");
    for (int n : {1, 2, 3}) EXPECT_EQ(game.timer(n).Interval, 0) << "Timer" << n;
    for (int n : {5, 7, 8}) EXPECT_TRUE(game.timer(n).running()) << "Timer" << n;
    EXPECT_EQ(game.Label1, c.userScore);
    EXPECT_EQ(game.Label2, c.computerScore);
    checked = true;
  };
  game.Timer1_Timer();
  ASSERT_TRUE(checked);
  EXPECT_EQ(game.mode, puck::kNormal);
  EXPECT_EQ(game.Shape10.left, c.userMallet);
  EXPECT_EQ(game.Shape11.left, c.computerMallet);
  EXPECT_EQ(game.tate, 60);
  EXPECT_EQ(game.yoko, 60);
  EXPECT_EQ(game.Shape1.top, 1680);
  EXPECT_EQ(game.Shape1.left, 1520);
  EXPECT_EQ(game.timer(1).Interval, 8);
  EXPECT_EQ(game.timer(2).Interval, 40);
  EXPECT_EQ(game.timer(3).Interval, 2000);
  for (int n : {1, 2, 3}) EXPECT_TRUE(game.timer(n).running());
  // Start and Pose keep their state through a goal.
  EXPECT_FALSE(game.Command1Enabled);
  EXPECT_TRUE(game.Command2Enabled);
}

INSTANTIATE_TEST_SUITE_P(BothEnds, PuckGoal,
                         ::testing::Values(GoalCase{"computer scores", 590, 0, 1, 1560, 320},
                                           GoalCase{"user scores", 4810, 1, 0, 1560, 1560}),
                         [](const auto& info) { return info.param.top < 1000 ? "ComputerScores" : "UserScores"; });

TEST_F(PuckGame, NothingOfTheGameRunsWhileOkIsOpen) {
  start();
  runTo(100);
  game.Shape1 = {2000, 4810, 255, 255};
  const std::int64_t boxOpened = game.now();
  std::int64_t boxClosed = 0;
  puck::Rect puckInBox{}, computerInBox{};
  int tateInBox = 0, userInBox = 0;
  host.onMessage = [&](const std::string&) {
    puckInBox = game.Shape1;
    computerInBox = game.Shape11;
    tateInBox = game.tate;
    userInBox = game.Shape10.left;
    // Whatever happens meanwhile ...
    game.Command2_Click();
    game.Command1_Click();
    game.Form_MouseMove(3000);
    game.Timer1_Timer();
    game.Timer2_Timer();
    game.Timer3_Timer();
    game.advance(boxOpened + 5000);
    // ... the game holds still; only the sprites follow.
    EXPECT_EQ(game.Shape1.top, puckInBox.top);
    EXPECT_EQ(game.Shape1.left, puckInBox.left);
    EXPECT_EQ(game.Shape11.left, computerInBox.left);
    EXPECT_EQ(game.tate, tateInBox);
    EXPECT_EQ(game.Shape10.left, userInBox);
    EXPECT_FALSE(game.Command1Enabled);
    EXPECT_TRUE(game.Command2Enabled);
    EXPECT_EQ(game.Image3.top, puckInBox.top);
    EXPECT_EQ(game.Label1, 1);
    boxClosed = game.now();
  };
  game.advance(boxOpened + 8);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(boxClosed, boxOpened + 5000);
  EXPECT_EQ(game.Label1, 1);
  // The game goes on counting from the moment the box was closed.
  EXPECT_EQ(game.Shape1.top, 1680);
  game.advance(boxClosed + 7);
  EXPECT_EQ(game.Shape1.top, 1680);
  game.advance(boxClosed + 8);
  EXPECT_EQ(game.Shape1.top, 1740);
  EXPECT_EQ(game.Shape1.left, 1580);
}

TEST_F(PuckGame, TenPointsEndTheGameWithEachMessageOnce) {
  start();
  game.Command2_Click();
  game.Label1 = 10;
  host.onMessage = [&](const std::string& text) {
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(game.timer(n).Interval, 0) << text << " Timer" << n;
    game.advance(game.now() + 5000);  // the box stays open for a while
  };
  EXPECT_THROW(game.advance(1000), Ended);
  EXPECT_EQ(host.messages, (std::vector<std::string>{"Gameover", "Game Over"}));
  EXPECT_EQ(host.ends, 1);
}

TEST_F(PuckGame, TheTenthPointEndsTheGameUnderAnOpenOk) {
  start();
  game.Label1 = 9;
  game.Shape1 = {2000, 4810, 255, 255};
  host.onMessage = [&](const std::string& text) {
    if (text == "OK?") game.advance(game.now() + 1500);
  };
  EXPECT_THROW(game.advance(8), Ended);
  EXPECT_EQ(host.messages, (std::vector<std::string>{"OK?", "Gameover", "Game Over"}));
  EXPECT_EQ(game.Label1, 10);
  EXPECT_EQ(host.ends, 1);
}

TEST_F(PuckGame, EndCheckWaitsForTenUserPoints) {
  start();
  game.Command2_Click();
  game.Label1 = 9;
  game.Label2 = 25;  // the computer's score has no limit
  runTo(5000);
  EXPECT_TRUE(host.messages.empty());
  // A point scored past ten before the check came round still ends the game.
  game.Label1 = 11;
  EXPECT_THROW(runTo(6000), Ended);
  EXPECT_EQ(count("Gameover"), 1);
  EXPECT_EQ(count("Game Over"), 1);
}

}  // namespace
