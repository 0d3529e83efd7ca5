// The desktop mascot: frame choice, the walk on its step timer, the shape
// from the corner colour, dragging and the right button's end.
#include <QCursor>
#include <QMouseEvent>
#include <deque>

#include "client/mainwindow/form1.h"
#include "client/mainwindow/tests/mainform_fixture.h"

using namespace mainformtest;

namespace {

const QRgb kKey = qRgb(255, 0, 255);

// A sheet of eight frames, all of the key colour, with the given pixels of
// frame 0 painted.
QImage sheetWith(const std::vector<QPoint>& frame0Pixels, QRgb colour = qRgb(10, 20, 30)) {
  QImage sheet(8 * 48, 32, QImage::Format_RGB32);
  sheet.fill(kKey);
  for (const QPoint& p : frame0Pixels) sheet.setPixel(p, colour);
  return sheet;
}

class MascotTest : public MainFormTest {
 protected:
  std::deque<float> rnd;
  int rndCalls = 0;

  void SetUp() override {
    MainFormTest::SetUp();
    mascot::boatMoveState().stepsLeft = 0;
    seams::setRandom([this] {
      ++rndCalls;
      if (rnd.empty()) return 0.5f;
      const float r = rnd.front();
      rnd.pop_front();
      return r;
    });
  }

  void writeSheet(const QImage& sheet) {
    QDir().mkpath(dir.path() + QStringLiteral("/★MailData/DATA"));
    ASSERT_TRUE(sheet.save(dir.path() + QStringLiteral("/★MailData/DATA/Speedboat.bmp"), "BMP"));
  }

  // Opens the mascot with the mouse cursor at (x, y) pixels.
  forms::Form1& open(int x, int y) {
    QCursor::setPos(x, y);
    forms::Form1& m = Form1();
    m.Show();
    return m;
  }

  static void press(forms::Form1& m, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint global) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(global - m.frameGeometry().topLeft()), QPointF(global), button,
                  buttons, Qt::NoModifier);
    QApplication::sendEvent(&m, &e);
  }
  static void mouse(forms::Form1& m, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint global) {
    QMouseEvent e(type, QPointF(global - m.frameGeometry().topLeft()), QPointF(global), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(&m, &e);
  }
};

}  // namespace

TEST(MascotFrames, IndexByDirectionAndPhase) {
  struct Case {
    int steps, dx, dy, index;
  } cases[] = {
      {0, -5, 3, 0},  {1, -5, 3, 1},    // leftwards, downwards
      {0, 0, 0, 0},   {1, 0, 0, 1},     // no move: leftwards and downwards frames
      {0, 40, 3, 2},  {1, 40, 0, 3},    // rightwards, downwards or level
      {0, 0, -1, 4},  {1, -600, -75, 5},  // leftwards or none, upwards
      {2, 1, -1, 6},  {25, 600, -2, 7},  // rightwards, upwards
  };
  for (const Case& c : cases)
    EXPECT_EQ(forms::Form1::FrameIndex(c.steps, c.dx, c.dy), c.index) << c.steps << " " << c.dx << " " << c.dy;
}

TEST(MascotFrames, RegionFromTheCornerColour) {
  // Pixels of another colour inside the 43-pixel strip are shown; the
  // corner colour and the columns 43 to 47 are not.
  QImage pic(48, 32, QImage::Format_RGB32);
  pic.fill(kKey);
  const std::vector<QPoint> shown = {{1, 0}, {2, 0}, {3, 0}, {42, 31}, {0, 31}, {20, 15}};
  for (const QPoint& p : shown) pic.setPixel(p, qRgb(0, 0, 0));
  for (int y = 0; y < 32; ++y) pic.setPixel(45, y, qRgb(0, 0, 0));
  const QRegion r = forms::Form1::BuildRegion(pic);
  int inside = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      const bool want = std::find(shown.begin(), shown.end(), QPoint(x, y)) != shown.end();
      EXPECT_EQ(r.contains(QPoint(x, y)), want) << x << "," << y;
      inside += want;
    }
  EXPECT_EQ(inside, 6);
  EXPECT_FALSE(r.boundingRect().intersects(QRect(43, 0, 5, 32)));

  // The corner pixel decides the transparent colour, whatever it is.
  QImage dark(48, 32, QImage::Format_RGB32);
  dark.fill(qRgb(0, 0, 0));
  dark.setPixel(10, 10, kKey);
  const QRegion d = forms::Form1::BuildRegion(dark);
  EXPECT_TRUE(d.contains(QPoint(10, 10)));
  EXPECT_EQ(d.rectCount(), 1);
}

TEST(MascotFrames, NoCapOnTheRectangles) {
  // A checkerboard over the whole strip needs far more than 201 rectangles.
  QImage pic(48, 32, QImage::Format_RGB32);
  pic.fill(kKey);
  int painted = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 43; ++x)
      if ((x + y) % 2 == 1) {
        pic.setPixel(x, y, qRgb(1, 2, 3));
        ++painted;
      }
  const QRegion r = forms::Form1::BuildRegion(pic);
  EXPECT_GT(r.rectCount(), 201);
  int covered = 0;
  for (const QRect& rect : r) covered += rect.width() * rect.height();
  EXPECT_EQ(covered, painted);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 43; ++x) EXPECT_EQ(r.contains(QPoint(x, y)), (x + y) % 2 == 1) << x << "," << y;
}

TEST_F(MascotTest, LoadShapesTheWindowFromTheSheet) {
  writeSheet(sheetWith({{5, 5}, {6, 5}, {44, 5}}));
  forms::Form1& m = open(100, 120);
  EXPECT_EQ(m.size(), QSize(48, 32));
  EXPECT_TRUE(m.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(m.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(m.frameGeometry().topLeft(), QPoint(100, 120));
  EXPECT_EQ(m.Dx, -5);
  EXPECT_EQ(m.Dy, -2);
  EXPECT_EQ(m.mask(), QRegion(QRect(5, 5, 2, 1)));
  EXPECT_EQ(m.FrameRegion(0), QRegion(QRect(5, 5, 2, 1)));
  EXPECT_TRUE(m.Timer1->isActive());
  EXPECT_EQ(m.Timer1->interval(), 200);
}

TEST_F(MascotTest, WalkTable) {
  const QSize screen = forms::Form1::screenSize();
  struct Case {
    const char* name;
    QPoint cursor;
    std::vector<float> r;  // r1 (steps), r2 (Dx), r3 (Dy)
    int steps, dx, dy;     // the leg drawn, steps counted after the tick
    QPoint at;             // pixels after the tick
    int frame;
  } cases[] = {
      // 16 steps; Dx 2.5 x 15 x 8 = 300 twips (20 px); Dy -37.5 -> -38 twips, half to even.
      {"right and up", {100, 100}, {0.5f, 0.75f, 0.25f}, 15, 300, -38, {120, 97}, 7},
      // 8.5 -> 8 steps; the shortest and longest moves sideways.
      {"left, down", {300, 200}, {0.125f, 0.0f, 0.75f}, 7, -600, 38, {260, 203}, 1},
      {"shortest leg", {300, 200}, {0.0f, 0.5f, 0.5f}, 5, 0, 0, {300, 200}, 1},
      {"longest leg", {300, 200}, {0.999f, 0.5f, 0.5f}, 25, 0, 0, {300, 200}, 1},
      // Pulled back onto the screen at the bottom right; the leg keeps running there.
      {"bottom right corner", {screen.width() - 2, screen.height() - 2}, {0.5f, 0.5f, 0.5f}, 15, 0, 0,
       {screen.width() - 48, screen.height() - 32}, 1},
      {"top left edge", {10, 1}, {0.5f, 0.0f, 0.0f}, 15, -600, -75, {0, 0}, 5},
  };
  for (const Case& c : cases) {
    mascot::boatMoveState().stepsLeft = 0;
    rnd.assign(c.r.begin(), c.r.end());
    forms::Form1& m = open(c.cursor.x(), c.cursor.y());
    m.Timer1_Timer();
    EXPECT_EQ(mascot::boatMoveState().stepsLeft, c.steps) << c.name;
    EXPECT_EQ(m.Dx, c.dx) << c.name;
    EXPECT_EQ(m.Dy, c.dy) << c.name;
    EXPECT_EQ(m.frameGeometry().topLeft(), c.at) << c.name;
    EXPECT_EQ(m.frame(), c.frame) << c.name;
    EXPECT_EQ(m.Dx, c.dx) << c.name << ": clamping leaves the leg";
    m.Unload();
  }
}

TEST_F(MascotTest, FramesAlternateAndTheLegRunsOut) {
  rnd = {0.0f, 0.75f, 0.75f};  // 6 steps of +20 px, +2.5 px
  forms::Form1& m = open(100, 100);
  std::vector<int> frames;
  for (int i = 0; i < 6; ++i) {
    m.Timer1_Timer();
    frames.push_back(m.frame());
  }
  EXPECT_EQ(frames, (std::vector<int>{3, 2, 3, 2, 3, 2}));
  EXPECT_EQ(rndCalls, 3);
  EXPECT_EQ(m.frameGeometry().x(), 100 + 6 * 20);
  // The seventh tick draws a new leg.
  rnd = {0.5f, 0.0f, 0.0f};
  m.Timer1_Timer();
  EXPECT_EQ(rndCalls, 6);
  EXPECT_EQ(m.frame(), 5);
}

TEST_F(MascotTest, ASecondOpeningFinishesTheOldLegFromTheCursor) {
  rnd = {0.5f, 1.0f, 1.0f};  // 16 steps, Dx 600, Dy 75
  forms::Form1& first = open(100, 100);
  first.Timer1_Timer();
  first.Timer1_Timer();
  EXPECT_EQ(mascot::boatMoveState().stepsLeft, 14);
  Form1().Unload();
  EXPECT_FALSE(Form1Loaded());

  const int calls = rndCalls;
  forms::Form1& again = open(400, 300);
  EXPECT_EQ(again.frameGeometry().topLeft(), QPoint(400, 300));
  EXPECT_EQ(again.Dx, -5);
  EXPECT_EQ(again.Dy, -2);
  again.Timer1_Timer();
  EXPECT_EQ(rndCalls, calls) << "no new leg while steps are left";
  EXPECT_EQ(mascot::boatMoveState().stepsLeft, 13);
  EXPECT_EQ(again.frame(), 5);  // leftwards and upwards, odd phase
}

TEST_F(MascotTest, LeftButtonDragsAndTheWalkGoesOnFromThere) {
  forms::Form1& m = open(100, 100);
  press(m, Qt::LeftButton, Qt::LeftButton, {110, 110});
  mouse(m, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {260, 210});
  mouse(m, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {260, 210});
  EXPECT_EQ(m.frameGeometry().topLeft(), QPoint(250, 200));
  // A move without the button held does not drag.
  mouse(m, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, {300, 300});
  EXPECT_EQ(m.frameGeometry().topLeft(), QPoint(250, 200));
  rnd = {0.5f, 0.75f, 0.5f};  // +20 px sideways
  m.Timer1_Timer();
  EXPECT_EQ(m.frameGeometry().topLeft(), QPoint(270, 200));
  // Left together with another button drags too; other buttons do nothing.
  press(m, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, {280, 210});
  press(m, Qt::MiddleButton, Qt::MiddleButton, {280, 210});
  press(m, Qt::RightButton, Qt::RightButton | Qt::MiddleButton, {280, 210});
  EXPECT_EQ(ends, 0);
}

TEST_F(MascotTest, RightButtonEndsTheClientWithoutSaving) {
  forms::MainForm& f = start({QStringLiteral("NAME8=元の名前"), QStringLiteral("NUMBER7=0")});
  f.Text1->setText(QStringLiteral("変えた名前"));
  f.Check1->setChecked(true);
  f.Label13_Click();
  ASSERT_TRUE(Form1Loaded());
  EXPECT_TRUE(Form1().isVisible());
  EXPECT_FALSE(f.Label13->isEnabled());
  EXPECT_TRUE(f.Label14->isEnabled());
  const QByteArray before = fileBytes(ini());
  try {
    press(Form1(), Qt::RightButton, Qt::RightButton, {5, 5});
    ADD_FAILURE() << "the client did not end";
  } catch (const ui::EndCalled& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(fileBytes(ini()), before);
}

TEST_F(MascotTest, AwayClosesTheWindow) {
  forms::MainForm& f = start();
  f.Label13_Click();
  ASSERT_TRUE(Form1Loaded());
  f.Label14_Click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Form1Loaded());
  EXPECT_TRUE(f.Label13->isEnabled());
  EXPECT_FALSE(f.Label14->isEnabled());
  // Away with no mascot out changes nothing.
  f.Label14_Click();
  EXPECT_FALSE(Form1Loaded());
}

TEST_F(MascotTest, MissingPicturesGiveAnUnshapedBox) {
  forms::Form1& m = open(50, 50);
  EXPECT_EQ(m.size(), QSize(48, 32));
  EXPECT_TRUE(m.FrameRegion(0).isEmpty());
  EXPECT_TRUE(m.mask().isEmpty());  // no mask: the whole box shows and takes the mouse
}
