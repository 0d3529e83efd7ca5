// The air hockey window on the offscreen platform: its layout, its pictures
// and sounds, and a goal and the end of a game through its message boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <vector>

#include "assets/puckslide/assets.h"
#include "platform/seams.h"
#include "platform/testing/seam_recorder.h"
#include "platform/ui.h"
#include "puckslide/mainform.h"

namespace {

std::int64_t g_clock = 0;

class PuckWindow : public ::testing::Test {
 protected:
  std::vector<seams::MsgBoxCall> boxes;
  void SetUp() override {
    seams::setTickCount([] { return g_clock; });
    seamtest::recordMsgBoxes(boxes, seamtest::alwaysOk);
  }
  void TearDown() override {
    seams::setTickCount(nullptr);
    ui::setEndHook(nullptr);
  }
};

TEST(PuckAssets, PicturesHaveTheirSizesAndSoundsAreWaves) {
  struct Pic {
    QByteArray png;
    int w, h;
  };
  const Pic pics[] = {{puckassets::tablePicture(), 275, 392},
                      {puckassets::userMalletPicture(), 39, 35},
                      {puckassets::computerMalletPicture(), 39, 35},
                      {puckassets::puckPicture(), 19, 19}};
  for (const Pic& p : pics) {
    QImage img;
    ASSERT_TRUE(img.loadFromData(p.png, "PNG"));
    EXPECT_EQ(img.size(), QSize(p.w, p.h));
  }
  // The mallets and the puck are round: their corners let the table show through.
  QImage puck;
  puck.loadFromData(puckassets::puckPicture(), "PNG");
  EXPECT_EQ(qAlpha(puck.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(puck.pixel(9, 9)), 255);
  for (const QByteArray& wav : {puckassets::hitSound(), puckassets::bounceSound()}) {
    EXPECT_TRUE(wav.startsWith("RIFF"));
    EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_GT(wav.size(), 1000);
  }
}

TEST_F(PuckWindow, WindowAndControlsAsDesigned) {
  forms::MainForm& f = MainForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("エアホッケー"));
  EXPECT_EQ(f.ScaleWidth(), 4125);
  EXPECT_EQ(f.ScaleHeight(), 5865);
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);

  struct Ctl {
    QWidget* w;
    const char* name;
    QString text;
    QRect px;  // twips / 15
  };
  const Ctl ctls[] = {
      {f.Command1, "Command1", QStringLiteral("Start"), QRect(48, 8, 41, 17)},
      {f.Command2, "Command2", QStringLiteral("Pose"), QRect(96, 8, 41, 17)},
      {f.Label3, "Label3", QStringLiteral("あなた"), QRect(8, 8, 41, 17)},
      {f.Label4, "Label4", QStringLiteral("Computer"), QRect(8, 360, 81, 17)},
      {f.Label10, "Label10", QStringLiteral("Score"), QRect(208, 160, 41, 17)},
      {f.Label1, "Label1", QStringLiteral("0"), QRect(248, 160, 25, 25)},
      {f.Label2, "Label2", QStringLiteral("0"), QRect(248, 184, 25, 25)},
      {f.Label14, "Label14", QStringLiteral("10Point Gameover"), QRect(96, 368, 177, 17)},
  };
  for (const Ctl& c : ctls) {
    EXPECT_EQ(c.w->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.w->geometry(), c.px) << c.name;
    if (auto* b = qobject_cast<QPushButton*>(c.w)) {
      EXPECT_EQ(b->text(), c.text);
    }
    if (auto* l = qobject_cast<QLabel*>(c.w)) {
      EXPECT_EQ(l->text(), c.text);
    }
  }
  EXPECT_TRUE(f.Command1->isEnabled());
  EXPECT_FALSE(f.Command2->isEnabled());
  EXPECT_EQ(f.Label1->palette().color(QPalette::WindowText), QColor(255, 255, 0));
  EXPECT_EQ(f.Label2->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  // The sounds decode (the tests run on SDL's silent driver); the devices
  // take their commands whether or not a sound is there.
  EXPECT_TRUE(f.MMControl1.isOpen());
  EXPECT_TRUE(f.MMControl2.isOpen());
  EXPECT_FALSE(f.MMControl3.isOpen());
  f.MMControl1.Prev();
  f.MMControl1.Play();
  f.MMControl3.Prev();
  f.MMControl3.Play();
}

TEST_F(PuckWindow, TheSpritesAreDrawnWhereTheGamePutsThem) {
  forms::MainForm& f = MainForm();
  puck::Game& g = f.game();
  const QImage before = f.render();
  EXPECT_EQ(before.size(), QSize(275, 391));
  g.Shape1.left = 2700;
  g.Shape1.top = 3000;
  g.Image3Visible = true;
  g.Timer5_Timer();
  const QImage after = f.render();
  EXPECT_NE(before.pixel(189, 209), after.pixel(189, 209));  // the puck's middle
  EXPECT_EQ(before.pixel(100, 250), after.pixel(100, 250));  // elsewhere the table
}

TEST_F(PuckWindow, TheMouseOverTheTableMovesTheUsersMallet) {
  forms::MainForm& f = MainForm();
  QWidget* table = f.client()->findChild<QWidget*>(QStringLiteral("Table"));
  ASSERT_NE(table, nullptr);
  QMouseEvent move(QEvent::MouseMove, QPointF(100, 200), table->mapToGlobal(QPointF(100, 200)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(table, &move);
  EXPECT_EQ(f.game().Shape10.left, 1500 - 240);
}

TEST_F(PuckWindow, AGoalShowsTheScoreAndOkThenPlaysOn) {
  forms::MainForm& f = MainForm();
  puck::Game& g = f.game();
  g_clock += 10;
  f.step();
  if (f.Command1->isEnabled()) f.Command1->click();
  EXPECT_FALSE(f.Command1->isEnabled());
  EXPECT_TRUE(f.Command2->isEnabled());
  const int before = g.Label1;
  g.Shape1.top = 4810;
  QString scoreShown;
  seams::setMsgBoxHandler([&](const seams::MsgBoxCall& c) {
    boxes.push_back(c);
    scoreShown = f.Label1->text();
    return int(seams::vbOK);
  });
  g_clock += 8;
  f.step();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("OK?"));
  EXPECT_EQ(boxes[0].buttons, int(seams::vbOKOnly));
  EXPECT_EQ(boxes[0].title, seams::defaultTitle());
  EXPECT_EQ(scoreShown, QString::number(before + 1));
  EXPECT_EQ(g.Shape1.top, 1680);
  EXPECT_TRUE(g.timer(1).running());
}

TEST_F(PuckWindow, TenPointsShowBothEndMessagesAndEndTheProgram) {
  forms::MainForm& f = MainForm();
  puck::Game& g = f.game();
  int ends = 0;
  ui::setEndHook([&](int code) {
    ++ends;
    throw ui::EndCalled{code};
  });
  f.Command2_Click();
  g.Label1 = 10;
  g_clock += 1001;
  EXPECT_THROW(f.step(), ui::EndCalled);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("Gameover"));
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("Game Over"));
  EXPECT_EQ(ends, 1);
}

}  // namespace
