// The analogue clock: the hands' angles and end points, the face, the
// always-on-top window and its tick.
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPointer>

#include "client/tools/tests/desktoptools_fixture.h"
#include "client/tools/timeform.h"

using namespace toolstest;

namespace {

struct HandCase {
  int h, m, s;
  QPoint hour, minute, second;
};

class TimeFormTest : public ToolsTest {
 protected:
  void TearDown() override {
    if (TimeFormLoaded()) TimeForm().Unload();
    seams::setClock({});
    ToolsTest::TearDown();
  }
  void at(int h, int m, int s) {
    seams::setClock([h, m, s] { return QDateTime(QDate(2026, 12, 10), QTime(h, m, s)); });
  }
  // A face of one colour, saved where the clock looks for it.
  void writeFace(QColor colour) {
    QImage face(160, 160, QImage::Format_RGB888);
    face.fill(colour);
    ASSERT_TRUE(face.save(path(QStringLiteral("★MailData/DATA/Cdata/back.bmp")), "BMP"));
  }
  QImage shown() { return TimeForm().picMain->pixmap().toImage().convertToFormat(QImage::Format_RGB32); }
};

}  // namespace

TEST(ClockHands, EndPointsAtTheEdgeTimes) {
  const HandCase cases[] = {
      {3, 45, 0, {117, 95}, {20, 80}, {80, 20}},
      {12, 0, 0, {80, 40}, {80, 20}, {80, 20}},
      {0, 0, 0, {80, 40}, {80, 20}, {80, 20}},
      {6, 0, 30, {80, 120}, {80, 20}, {80, 140}},
      {9, 0, 0, {40, 80}, {80, 20}, {80, 20}},
  };
  for (const HandCase& c : cases) {
    SCOPED_TRACE(QStringLiteral("%1:%2:%3").arg(c.h).arg(c.m).arg(c.s).toStdString());
    EXPECT_EQ(clockface::handEnd(clockface::hourAngle(c.h, c.m), clockface::kHourLength), c.hour);
    EXPECT_EQ(clockface::handEnd(clockface::minuteAngle(c.m), clockface::kMinuteLength), c.minute);
    EXPECT_EQ(clockface::handEnd(clockface::secondAngle(c.s), clockface::kSecondLength), c.second);
  }
}

TEST(ClockHands, HalfDegreesOfTheHourHandGoToTheEvenNeighbour) {
  EXPECT_EQ(clockface::hourAngle(3, 45), 112);  // 112.5
  EXPECT_EQ(clockface::hourAngle(3, 47), 114);  // 113.5
  EXPECT_EQ(clockface::hourAngle(15, 45), 112);
  EXPECT_EQ(clockface::hourAngle(11, 59), 360);  // 359.5
}

TEST_F(TimeFormTest, LoadShowsTheWindowOnTopWithTheFaceAndRunsTheTimer) {
  writeFace(QColor(250, 250, 240));
  at(9, 0, 0);
  forms::TimeForm& f = TimeForm();
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(f.Caption(), QStringLiteral("アナログ時計"));
  EXPECT_EQ(f.picMain->geometry(), QRect(0, 0, 160, 160));
  // As high as the face; beside it, where the title needs the room, black.
  EXPECT_EQ(f.client()->height(), 160);
  EXPECT_GE(f.client()->width(), 160);
  if (f.client()->width() > 160) {
    const QImage whole = f.grab().toImage();
    EXPECT_EQ(whole.pixel(whole.width() - 2, 80), qRgb(0, 0, 0));
  }
  EXPECT_TRUE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 100);
  ASSERT_FALSE(f.face().isNull());
  const QImage img = shown();
  ASSERT_EQ(img.size(), QSize(160, 160));
  // The hour hand runs left to 9 o'clock, the other two up to 12.
  EXPECT_EQ(img.pixel(60, 80), qRgb(0, 0, 0));
  EXPECT_EQ(img.pixel(80, 30), qRgb(0, 0, 0));
  // Elsewhere the face shows.
  EXPECT_EQ(img.pixel(130, 130), qRgb(250, 250, 240));
  EXPECT_EQ(img.pixel(120, 80), qRgb(250, 250, 240));
}

TEST_F(TimeFormTest, EveryTickDrawsTheHandsAfreshFromTheClock) {
  writeFace(QColor(255, 255, 255));
  at(9, 0, 0);
  forms::TimeForm& f = TimeForm();
  EXPECT_EQ(shown().pixel(60, 80), qRgb(0, 0, 0));
  at(6, 0, 30);
  f.Timer1_Timer();
  const QImage img = shown();
  EXPECT_EQ(img.pixel(60, 80), qRgb(255, 255, 255));  // nothing left of the last frame
  EXPECT_EQ(img.pixel(80, 110), qRgb(0, 0, 0));       // the hour hand down to 6
  EXPECT_EQ(img.pixel(80, 135), qRgb(0, 0, 0));       // the second hand beyond it
}

TEST_F(TimeFormTest, WithoutAFaceTheHandsGoRoundOnBlack) {
  at(3, 0, 15);
  forms::TimeForm& f = TimeForm();
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.face().isNull());
  EXPECT_TRUE(boxes.empty());
  const QImage img = shown();
  EXPECT_EQ(img.pixel(10, 10), qRgb(0, 0, 0));
  // The hands show on the black: the hour hand right to 3 o'clock, the
  // minute hand up to 12, the second hand right to 3 as well.
  EXPECT_EQ(img.pixel(105, 80), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(80, 30), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(135, 80), qRgb(255, 255, 255));
}

TEST_F(TimeFormTest, OnADarkFaceTheHandsShowToo) {
  writeFace(QColor(20, 20, 60));
  at(9, 0, 0);
  TimeForm();
  const QImage img = shown();
  EXPECT_EQ(img.pixel(60, 80), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(130, 130), qRgb(20, 20, 60));
}

TEST_F(TimeFormTest, ClosingStopsTheClock) {
  TimeForm();
  QPointer<QTimer> timer = TimeForm().Timer1;
  ASSERT_TRUE(TimeForm().Unload());
  EXPECT_FALSE(TimeFormLoaded());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(timer.isNull());
}
