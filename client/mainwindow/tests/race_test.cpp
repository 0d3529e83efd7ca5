// The boat race and the rain: movement, finish list, the controller's states
// and pace, the masked copies and MainForm.Wait.
#include <QElapsedTimer>
#include <QTimer>
#include <deque>

#include "client/mainwindow/tests/mainform_fixture.h"
#include "platform/gdi.h"

using namespace mainformtest;

namespace {

struct RaceResult {
  std::vector<int> finishFrames[7];
  int endFrame = 0;
  QStringList list;
};

// Runs MoveBoats frame by frame with the factors of one row until the race ends.
RaceResult runRow(forms::MainForm& f, const float* factors) {
  RaceResult r;
  for (int k = 1; k <= 6; ++k) {
    race::LaneSpeeds[k] = factors[k - 1];
    race::BoatX[k] = 510;
  }
  race::RaceActive = 1;
  f.List1->clear();
  for (int frame = 1; frame <= 2000 && race::RaceActive == 1; ++frame) {
    const int before = f.List1->count();
    race::MoveBoats();
    for (int i = before; i < f.List1->count(); ++i) r.finishFrames[f.List1->item(i)->text().toInt()].push_back(frame);
    if (race::RaceActive != 1) r.endFrame = frame;
  }
  for (int i = 0; i < f.List1->count(); ++i) r.list << f.List1->item(i)->text();
  return r;
}

void runEventsFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

// Runs events until done() holds, for at most ms: on a busy machine (or in
// the sanitized build) the frames come far slower than their pace.
template <class Done>
void runEventsUntil(Done done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

}  // namespace

TEST_F(MainFormTest, LaneSpeedsAreTheSinglePrecisionNumbers) {
  EXPECT_EQ(race::kLaneSpeedTable[0][1], 0.9965f);
  EXPECT_EQ(race::kLaneSpeedTable[6][5], 0.9991854f);
  EXPECT_EQ(race::kLaneSpeedTable[10][0], 0.9975998f);
  EXPECT_EQ(race::kLaneSpeedTable[15][2], 0.99994f);
  // The row of a uniform number: 1 to 16.
  EXPECT_EQ(race::rowFor(0.0f), 1);
  EXPECT_EQ(race::rowFor(0.0624f), 1);
  EXPECT_EQ(race::rowFor(0.0625f), 2);
  EXPECT_EQ(race::rowFor(0.99999994f), 16);
}

TEST_F(MainFormTest, RaceRowsFinishOnTheirFrames) {
  forms::MainForm& f = start();
  struct Case {
    int row;
    QStringList list;
    std::vector<std::pair<int, int>> finishes;  // lane, frame
    int end;
  } cases[] = {
      {1, {"2", "4", "1", "6"}, {{2, 313}, {4, 331}, {1, 336}, {6, 379}}, 436},
      {4, {"1", "3", "4"}, {{1, 355}, {3, 355}, {4, 355}}, 455},
      {16, {"6", "1", "2", "3", "4", "5"}, {{6, 405}, {1, 510}, {2, 510}, {3, 510}, {4, 510}, {5, 510}}, 610},
  };
  for (const Case& c : cases) {
    const RaceResult r = runRow(f, race::kLaneSpeedTable[c.row - 1]);
    EXPECT_EQ(r.list, c.list) << "row " << c.row;
    for (auto [lane, frame] : c.finishes) {
      ASSERT_EQ(r.finishFrames[lane].size(), 1u) << "row " << c.row << " lane " << lane;
      EXPECT_EQ(r.finishFrames[lane][0], frame) << "row " << c.row << " lane " << lane;
    }
    EXPECT_EQ(r.endFrame, c.end) << "row " << c.row;
    // Idle after the race: the boats rest at the start line.
    EXPECT_EQ(race::RaceActive, 0);
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(race::BoatX[k], 510);
  }
  // A factor of 0.9999 moves one pixel a frame: the finish on frame 510.
  const float slow[6] = {0.9999f, 0.9999f, 0.9999f, 0.9999f, 0.9999f, 0.9999f};
  EXPECT_EQ(runRow(f, slow).finishFrames[3], std::vector<int>{510});
}

TEST_F(MainFormTest, RaceStartTakesARowClearsTheListAndRunsOnTimers) {
  forms::MainForm& f = start();
  f.Show();
  f.List1->addItem(QStringLiteral("3"));
  f.Label25->show();
  seams::setRandom([] { return 3.0f / 16.0f; });  // row 4
  f.Command4->click();
  // No sound file here: the message, and the race starts all the same.
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("API がエラーを返しました"));
  EXPECT_EQ(race::current(), race::Show::Race);
  EXPECT_EQ(race::RaceActive, 1);
  EXPECT_EQ(f.List1->count(), 0);
  EXPECT_FALSE(f.Label25->isVisibleTo(&f));
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(race::LaneSpeeds[k], race::kLaneSpeedTable[3][k - 1]);
  // The start returned at once; the boats move as events run.
  EXPECT_EQ(race::BoatX[1], 510);
  const int refreshes = f.picMain->refreshCount;
  QElapsedTimer t;
  t.start();
  runEventsFor(400);
  runEventsUntil([&] { return f.picMain->refreshCount - refreshes > 5; }, 10000);
  const qint64 elapsed = t.elapsed();
  const int frames = f.picMain->refreshCount - refreshes;
  EXPECT_LT(race::BoatX[1], 510);
  EXPECT_GT(frames, 5);
  // Never faster than the pace of just over 20 ms (plus the frame flips of the 120 ms timer).
  EXPECT_LE(frames, elapsed / 20 + 1);

  // Stop mid-race: the list as far as it got, the boats back, the sound stopped.
  f.List1->addItem(QStringLiteral("2"));
  f.Command5->click();
  EXPECT_EQ(race::RaceActive, 0);
  EXPECT_EQ(f.List1->count(), 1);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(race::BoatX[k], 510);
  EXPECT_EQ(race::current(), race::Show::Race);
  // Idle: only the 120 ms flips of the boats' frame redraw the field.
  const int idle = f.picMain->refreshCount;
  runEventsFor(500);
  EXPECT_LE(f.picMain->refreshCount - idle, 5);
  EXPECT_EQ(race::BoatX[1], 510);
  auto* frames_timer = f.findChild<QTimer*>(QStringLiteral("RaceFrames"));
  ASSERT_NE(frames_timer, nullptr);
  EXPECT_FALSE(frames_timer->isActive());
}

TEST_F(MainFormTest, FrameTickFlipsTheFrameAndMovesTheLanePictures) {
  forms::MainForm& f = start();
  race::BoatFrame = 0;
  race::BoatX[3] = 200;
  race::FrameTick();
  EXPECT_EQ(race::BoatFrame, 1);
  EXPECT_EQ(f.Image3[2]->pos(), QPoint(240, 74));
  EXPECT_EQ(f.Image3[5]->pos(), QPoint(550, 167));
  race::FrameTick();
  EXPECT_EQ(race::BoatFrame, 0);
}

TEST_F(MainFormTest, BoatsAreDrawnThroughTheirMasks) {
  forms::MainForm& f = start();
  const QRgb water = 0x204080;
  f.picBack = gdi::surface(32, 32, water);
  // Frame 0: colour part red at cell rows 10..19, mask black at cell rows 0..3; white elsewhere.
  QImage sheet = gdi::surface(90, 161, 0x000000);
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 90; ++x) sheet.setPixel(x, y, (x < 45 && y < 4) ? 0xFF000000u : 0xFFFFFFFFu);
  for (int y = 128 + 10; y < 128 + 20; ++y)
    for (int x = 5; x < 40; ++x) sheet.setPixel(x, y, 0xFFFF0000u);
  f.picChara2 = sheet;
  race::BoatFrame = 0;
  for (int k = 1; k <= 6; ++k) race::BoatX[k] = 100;
  race::DrawRaceField();
  race::DrawBoats();
  const QImage& img = f.picMain->image;
  auto rgb = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; };
  EXPECT_EQ(rgb(110, 12), (0xFF0000u | water));  // colour ORed onto the water
  EXPECT_EQ(rgb(110, 5), 0u);                     // mask black, four rows lower than its cell row 1
  EXPECT_EQ(rgb(110, 3), water);                  // mask row 0 is drawn at y = 4: row 3 keeps the water
  EXPECT_EQ(rgb(90, 12), water);                  // around the boat
  EXPECT_EQ(rgb(150, 12), water);
  EXPECT_EQ(rgb(110, 30 + 12), (0xFF0000u | water));  // lane 2
  for (int y = 0; y < img.height(); ++y) EXPECT_EQ(qAlpha(img.pixel(20, y)), 255);
}

TEST_F(MainFormTest, RainInitialisesItsDropsInRange) {
  forms::MainForm& f = start();
  std::deque<float> values;
  seams::setRandom([&] {
    if (values.empty()) return 0.0f;
    const float v = values.front();
    values.pop_front();
    return v;
  });
  values = {0.99999994f, 0.99999994f, 0.99999994f, 0.5f, 0.5f, 0.5f};
  f.InitData();
  EXPECT_EQ(race::RainDrops[0].X, 599);
  EXPECT_EQ(race::RainDrops[0].Y, 319);
  EXPECT_EQ(race::RainDrops[0].Speed, 2);
  EXPECT_EQ(race::RainDrops[1].X, 300);
  EXPECT_EQ(race::RainDrops[1].Y, 160);
  EXPECT_EQ(race::RainDrops[1].Speed, 1);
  EXPECT_EQ(race::RainDrops[2].X, 0);

  // A drop at 320 with speed 0 falls to 321 and starts again higher up; X stays.
  race::RainDrops[0] = {37, 320, 0};
  race::RainDrops[1] = {38, 319, 0};
  race::RainDrops[2] = {39, 318, 2};
  values = {0.25f};
  race::MoveDrops();
  EXPECT_EQ(race::RainDrops[0].X, 37);
  EXPECT_EQ(race::RainDrops[0].Y, 80);
  EXPECT_EQ(race::RainDrops[1].Y, 320);
  EXPECT_EQ(race::RainDrops[2].Y, 0);  // 318 + 2 + 1 = 321 > 320: placed again (r = 0)
}

TEST_F(MainFormTest, RainTakesOverAndTheRaceTakesItBack) {
  forms::MainForm& f = start();
  f.Show();
  // Drops on black: the drop cells of Rain.bmp over their masks.
  QImage sprites = gdi::surface(96, 16, 0x000000);
  for (int y = 0; y < 16; ++y)
    for (int x = 48; x < 96; ++x) sprites.setPixel(x, y, 0xFFFFFFFFu);
  for (int s = 0; s < 3; ++s)
    for (int y = 6; y < 10; ++y) {
      sprites.setPixel(16 * s + 7, y, 0xFF80C0FFu);
      sprites.setPixel(48 + 16 * s + 7, y, 0xFF000000u);
    }
  writeFile(dir.path() + QStringLiteral("/★MailData/DATA/Rain.bmp"), QByteArray());
  sprites.save(path(QStringLiteral("\\★MailData\\Data\\Rain.bmp")), "BMP");
  f.Command1->click();
  EXPECT_EQ(race::current(), race::Show::Rain);
  EXPECT_TRUE(f.Label25->isVisibleTo(&f));
  int drops = 0, other = 0;
  const auto countPixels = [&] {
    const QImage& img = f.picMain->image;
    drops = other = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb p = img.pixel(x, y) & 0xFFFFFFu;
        if (p == 0x80C0FFu) ++drops;
        else if (p != 0) ++other;
      }
    return drops > 0;
  };
  runEventsFor(150);
  runEventsUntil(countPixels, 10000);
  EXPECT_GT(drops, 0);
  EXPECT_EQ(other, 0);
  // The stop button leaves the rain falling; only its label goes.
  f.Command5->click();
  EXPECT_EQ(race::current(), race::Show::Rain);
  EXPECT_FALSE(f.Label25->isVisibleTo(&f));
  const int refreshes = f.picMain->refreshCount;
  runEventsFor(150);
  runEventsUntil([&] { return f.picMain->refreshCount > refreshes; }, 10000);
  EXPECT_GT(f.picMain->refreshCount, refreshes);
  // A race start replaces the rain.
  f.Label25->show();
  f.Command4->click();
  EXPECT_EQ(race::current(), race::Show::Race);
  EXPECT_FALSE(f.Label25->isVisibleTo(&f));
}

TEST_F(MainFormTest, WaitLastsLongerThanItsTimeWhileTimersTick) {
  forms::MainForm& f = start();
  int ticks = 0;
  QTimer t;
  QObject::connect(&t, &QTimer::timeout, [&] { ++ticks; });
  t.start(20);
  QElapsedTimer clock;
  clock.start();
  const std::int64_t t0 = seams::tickCount();
  f.Wait(300);
  EXPECT_GT(seams::tickCount() - t0, 300);
  EXPECT_GE(ticks, 8);
  // A clock that steps: Wait returns only once more than the time has passed.
  std::int64_t now = 1000;
  seams::setTickCount([&] { return now += 100; });
  clock.restart();
  f.Wait(1000);
  EXPECT_GT(now - 1000, 1000);
  EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(MainFormTest, RaceEndsIdleAtTheStartLine) {
  forms::MainForm& f = start();
  f.Show();
  f.Command4->click();
  // Lane 1 two pixels before its end mark: the race ends within a few frames.
  race::BoatX[1] = -98;
  runEventsUntil([] { return race::RaceActive == 0; }, 10000);
  runEventsFor(50);
  EXPECT_EQ(race::RaceActive, 0);
  EXPECT_EQ(race::current(), race::Show::Race);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(race::BoatX[k], 510);
  auto* frames = f.findChild<QTimer*>(QStringLiteral("RaceFrames"));
  ASSERT_NE(frames, nullptr);
  EXPECT_FALSE(frames->isActive());
}
