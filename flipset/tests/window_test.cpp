#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <vector>

#include "flipset/frmFlipset.h"
#include "flipset/thinkmove.h"
#include "flipset_assets.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/sound.h"

using namespace flipset;

namespace {

QRgb canvasAt(forms::frmFlipset& f, int xTwips, int yTwips) {
  return f.Canvas->image().pixel(ui::px(xTwips), ui::px(yTwips)) & 0xFFFFFF;
}

class FlipsetWindow : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString oldCwd = QDir::currentPath();
  QStringList media;
  QStringList boxes;
  std::vector<int> sleeps;
  std::function<void()> onSleep;

  void SetUp() override {
    ASSERT_TRUE(flipset_assets::writeAll(dir.path()));
    paths::setProgramFolder(dir.path());
    Mci::setLog([this](const QString& c) { media << c; });
    setSleep([this](int ms) {
      sleeps.push_back(ms);
      if (onSleep) onSleep();
    });
    seams::setMsgBoxHandler([this](const seams::MsgBoxCall& c) {
      boxes << c.prompt;
      EXPECT_EQ(c.title, QStringLiteral("Flipset"));
      return int(seams::vbOK);
    });
    ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
  }

  void TearDown() override {
    if (auto* f = frmFlipsetIfLoaded()) {
      if (f->isLoaded()) {
        try {
          f->Unload();
        } catch (const ui::EndCalled&) {
        }
      }
      delete frmFlipsetIfLoaded();
    }
    Mci::setLog({});
    setSleep({});
    seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
    ui::setEndHook({});
    paths::setProgramFolder(QString());
    QDir::setCurrent(oldCwd);
  }

  // Media commands other than the music loop's status and restarts.
  QStringList withoutLoop() const {
    QStringList out;
    for (const QString& c : media)
      if (c != QLatin1String("status bgm mode wait")) out << c;
    return out;
  }

  // Plays the timer until the game is over (or a limit is reached).
  int runTimer(forms::frmFlipset& f, int limit = 200) {
    int ticks = 0;
    while (f.timPut->isActive() && ticks < limit) {
      f.timPut_Timer();
      ++ticks;
    }
    return ticks;
  }
};

}  // namespace

TEST_F(FlipsetWindow, LoadDrawsTheStartPositionAndStartsMusicAndTimer) {
  auto& f = frmFlipset();
  EXPECT_EQ(f.Caption(), QStringLiteral("ストレス溜まらない、「弱い」リバース"));
  EXPECT_EQ(f.ScaleWidth(), 4605);
  EXPECT_EQ(f.ScaleHeight(), 4590);
  EXPECT_TRUE(f.timPut->isActive());
  EXPECT_EQ(f.timPut->interval(), 100);
  EXPECT_EQ(f.cmbPlayer[0]->currentText(), QStringLiteral("プレイヤー"));
  EXPECT_EQ(f.cmbPlayer[1]->currentText(), QStringLiteral("コンピュータ"));
  EXPECT_EQ(f.lblPlayer[0]->text(), QStringLiteral("先手(&F)："));
  EXPECT_TRUE(f.game.IsHuman[kBlack]);
  EXPECT_FALSE(f.game.IsHuman[kWhite]);
  EXPECT_EQ(f.game.Turn, kBlack);
  EXPECT_EQ(f.game.MoveNo, 1);
  EXPECT_EQ(f.game.CanPutCount, 4);
  EXPECT_EQ(f.game.board.sq, Board::start().sq);
  EXPECT_EQ(media, (QStringList{"open BGM.MID alias bgm wait", "open gameend.wav alias beep wait",
                                "seek bgm to start wait", "play bgm"}));
  // Stones, well, frame, grid and the four dots.
  EXPECT_EQ(canvasAt(f, 2000, 2000), 0xFFFFFFu);
  EXPECT_EQ(canvasAt(f, 2000, 2500), 0x000000u);
  EXPECT_EQ(canvasAt(f, 500, 500), 0x004000u);
  EXPECT_EQ(canvasAt(f, 150, 2000), 0xFF0000u);
  EXPECT_EQ(canvasAt(f, 750, 500), 0x000000u);
  EXPECT_EQ(canvasAt(f, 1250, 1250), 0xFFFFFFu);
  // The controls lie beyond the visible area.
  for (QWidget* w : {static_cast<QWidget*>(f.picDest), static_cast<QWidget*>(f.picSource),
                     static_cast<QWidget*>(f.cmbPlayer[0]), static_cast<QWidget*>(f.lblPlayer[1])})
    EXPECT_GE(w->x(), ui::px(4605)) << w->objectName().toStdString();
  EXPECT_FALSE(f.picDest->isVisible());
  EXPECT_EQ(f.StoneField.Width(), 28);
  EXPECT_EQ(f.StoneSprite.PtNoMax(), 11);
  EXPECT_EQ(f.StoneSprite.Pattern(11).Left(), 36 * 11 + 4);
}

TEST_F(FlipsetWindow, PersonMovesByClickAndTheComputerAnswersOnTheNextTick) {
  auto& f = frmFlipset();
  std::vector<QRgb> flipCentres;
  QPoint stagePos;
  onSleep = [&] {
    flipCentres.push_back(f.picDest->image().pixel(14, 14) & 0xFFFFFF);
    stagePos = f.picDest->pos();
    EXPECT_TRUE(f.picDest->isVisible());
  };
  f.Form_MouseDown(1, 4 * 500, 3 * 500 + 100);
  EXPECT_EQ(f.game.board(4, 3), kBlack);
  EXPECT_EQ(f.game.board(4, 4), kBlack);
  EXPECT_EQ(f.game.Turn, kWhite);
  EXPECT_EQ(f.game.MoveNo, 2);
  // One flipped stone: twelve frames from the white face to the black one.
  ASSERT_EQ(sleeps, std::vector<int>(12, 50));
  EXPECT_EQ(flipCentres.front(), 0xFFFFFFu);
  EXPECT_EQ(flipCentres.back(), 0x000000u);
  EXPECT_EQ(stagePos, QPoint(ui::px(4 * 500 - 210), ui::px(4 * 500 - 210)));
  EXPECT_FALSE(f.picDest->isVisible());
  EXPECT_EQ(canvasAt(f, 2000, 2000), 0x000000u);
  EXPECT_EQ(canvasAt(f, 2000, 1500), 0x000000u);

  // A click while the computer is to move is ignored.
  const Board before = f.game.board;
  f.Form_MouseDown(1, 3 * 500, 5 * 500);
  EXPECT_EQ(f.game.board.sq, before.sq);

  sleeps.clear();
  flipCentres.clear();
  f.timPut_Timer();
  EXPECT_EQ(f.game.Turn, kBlack);
  EXPECT_EQ(f.game.MoveNo, 3);
  EXPECT_EQ(f.game.board.count(kWhite), 3);
  ASSERT_FALSE(flipCentres.empty());
  EXPECT_EQ(flipCentres.front(), 0x000000u);  // black to white
  EXPECT_EQ(flipCentres.back(), 0xFFFFFFu);
  // No box was needed.
  EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(FlipsetWindow, ClicksOffTheBoardOrOnOccupiedSquaresAreIgnored) {
  auto& f = frmFlipset();
  const Board before = f.game.board;
  for (auto [x, y] : {std::pair{249, 2000}, {2000, 249}, {4250, 2000}, {2000, 2000}, {-40, -40}})
    f.Form_MouseDown(1, x, y);
  EXPECT_EQ(f.game.board.sq, before.sq);
  EXPECT_TRUE(boxes.isEmpty());
  f.Form_MouseDown(2, 500, 500);  // empty, but closes no line
  EXPECT_EQ(boxes, QStringList{QStringLiteral("挟める駒がありません。")});
  EXPECT_EQ(f.game.Turn, kBlack);
}

TEST_F(FlipsetWindow, EnterDuringTheComputersTurnStartsANewGame) {
  auto& f = frmFlipset();
  f.Form_MouseDown(1, 2000, 1500);
  ASSERT_EQ(f.game.Turn, kWhite);
  media.clear();
  f.Form_KeyDown(13);
  EXPECT_EQ(f.game.Turn, kBlack);
  EXPECT_EQ(f.game.MoveNo, 1);
  EXPECT_EQ(f.game.board.sq, Board::start().sq);
  EXPECT_EQ(canvasAt(f, 2000, 1500), 0x004000u);
  EXPECT_EQ(media, (QStringList{"seek bgm to start wait", "play bgm"}));
  EXPECT_TRUE(f.timPut->isActive());
}

TEST_F(FlipsetWindow, ComputerAgainstComputerPlaysAWholeGame) {
  seams::setRandom([] { return 0.5f; });
  auto& f = frmFlipset();
  f.cmbPlayer[0]->setCurrentIndex(1);
  f.NewGame();
  media.clear();
  const int ticks = runTimer(f);
  seams::setRandom({});
  EXPECT_FALSE(f.timPut->isActive());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0], Game::verdict(f.game.board));
  EXPECT_LE(f.game.MoveNo, 61);
  EXPECT_EQ(ticks, f.game.MoveNo - 1);  // one move per tick, passes cost none
  // Each tick asks the music's state first; the game's end stops the music
  // and plays the end sound.
  EXPECT_EQ(media.count(QStringLiteral("status bgm mode wait")), ticks);
  EXPECT_EQ(media.first(), QStringLiteral("status bgm mode wait"));
  QStringList rest = withoutLoop();
  rest.removeAll(QStringLiteral("seek bgm to start wait"));
  rest.removeAll(QStringLiteral("play bgm"));
  EXPECT_EQ(rest, (QStringList{"stop bgm wait", "seek beep to start wait", "play beep"}));
  EXPECT_EQ(media.last(), QStringLiteral("play beep"));
  // Once over, the timer makes no further move and a click finds no flip.
  const Board end = f.game.board;
  f.timPut_Timer();
  EXPECT_EQ(f.game.board.sq, end.sq);
}

TEST_F(FlipsetWindow, StoppedMusicIsRestartedOnTheNextTick) {
  chooseSoundFont();
  if (!sound::available()) GTEST_SKIP() << "no sound device";
  auto& f = frmFlipset();
  QString mode;
  f.mci.mciSendString(QStringLiteral("status bgm mode wait"), &mode);
  if (mode != QLatin1String("playing")) GTEST_SKIP() << "no MIDI synthesiser";
  f.mci.mciSendString(QStringLiteral("stop bgm wait"));  // as at the tune's end
  media.clear();
  f.LoopBgm();
  EXPECT_EQ(media, (QStringList{"status bgm mode wait", "seek bgm to start wait", "play bgm"}));
  f.mci.mciSendString(QStringLiteral("status bgm mode wait"), &mode);
  EXPECT_EQ(mode, QStringLiteral("playing"));
  media.clear();
  f.LoopBgm();
  EXPECT_EQ(media, QStringList{"status bgm mode wait"});
}

TEST_F(FlipsetWindow, ClosingStopsTheTimerFirstAndIgnoresQueuedMoves) {
  auto& f = frmFlipset();
  const Board before = f.game.board;
  // A click still queued when the window closes.
  const QPointF at(ui::px(2000), ui::px(1500));
  QCoreApplication::postEvent(
      f.Canvas, new QMouseEvent(QEvent::MouseButtonPress, at, f.Canvas->mapToGlobal(at), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier));
  media.clear();
  bool ended = false;
  try {
    f.Form_KeyDown(27);
  } catch (const ui::EndCalled& e) {
    ended = true;
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_TRUE(ended);
  EXPECT_FALSE(f.timPut->isActive());
  EXPECT_EQ(f.game.board.sq, before.sq);
  EXPECT_EQ(media, (QStringList{"close bgm wait", "close beep wait"}));
  EXPECT_EQ(f.StoneSprite.PtNoMax(), -1);
  EXPECT_EQ(f.StoneField.Hdc(), 0);
  f.timPut_Timer();
  f.Form_MouseDown(1, 2000, 1500);
  EXPECT_EQ(f.game.board.sq, before.sq);
  delete frmFlipsetIfLoaded();
}

TEST_F(FlipsetWindow, WithoutThePictureFlipsUseFourFrames) {
  auto& f = frmFlipset();
  ASSERT_TRUE(QFile::remove(QDir(dir.path()).filePath(QStringLiteral("picture.bmp"))));
  std::vector<QRgb> centres;
  onSleep = [&] { centres.push_back(canvasAt(f, 2000, 2000)); };
  f.Form_MouseDown(1, 2000, 1500);
  EXPECT_EQ(sleeps, std::vector<int>(4, 40));
  EXPECT_EQ(centres, (std::vector<QRgb>{0x008000, 0xFFFFFF, 0x000000, 0x000000}));
  EXPECT_FALSE(f.picDest->isVisible());
}

TEST_F(FlipsetWindow, MissingPictureAtStartIsReportedAndEndsTheProgram) {
  ASSERT_TRUE(QFile::remove(QDir(dir.path()).filePath(QStringLiteral("picture.bmp"))));
  bool ended = false;
  try {
    frmFlipset();
  } catch (const ui::EndCalled& e) {
    ended = true;
    EXPECT_NE(e.code, 0);
  }
  EXPECT_TRUE(ended);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains(QStringLiteral("picture.bmp")));
  EXPECT_TRUE(media.isEmpty());
  delete frmFlipsetIfLoaded();
}

TEST_F(FlipsetWindow, RealClicksAndKeysReachTheGame) {
  auto& f = frmFlipset();
  // A press on the pixel row of square (4, 3): x 2000 twips, y 1500 twips.
  const QPointF at(ui::px(2000), ui::px(1500));
  QMouseEvent press(QEvent::MouseButtonPress, at, f.Canvas->mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(f.Canvas, &press);
  EXPECT_EQ(f.game.board(4, 3), kBlack);
  EXPECT_EQ(f.game.Turn, kWhite);
  // Enter on the focused board starts a new game.
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(f.Canvas, &enter);
  EXPECT_EQ(f.game.board.sq, Board::start().sq);
  EXPECT_EQ(f.game.Turn, kBlack);
  // Other keys do nothing.
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
  QCoreApplication::sendEvent(f.Canvas, &space);
  EXPECT_TRUE(f.isLoaded());
}

TEST_F(FlipsetWindow, TimerMakesNoMoveWhenTheComputerHasNone) {
  auto& f = frmFlipset();
  f.game.board = Board();
  f.game.board(1, 1) = kBlack;
  f.game.Turn = kWhite;
  f.timPut_Timer();
  EXPECT_EQ(f.game.board.count(kBlack), 1);
  EXPECT_EQ(f.game.board.count(kWhite), 0);
  EXPECT_TRUE(boxes.isEmpty());
}
