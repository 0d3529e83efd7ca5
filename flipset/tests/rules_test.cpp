#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flipset/modFlipset.h"
#include "platform/seams.h"

using namespace flipset;

namespace {

// A board from eight rows of text: '.' empty, 'W' white, 'B' black.
Board boardOf(const std::vector<std::string>& rows) {
  Board b;
  for (int y = 1; y <= 8; ++y)
    for (int x = 1; x <= 8; ++x) {
      const char ch = rows[static_cast<std::size_t>(y - 1)][static_cast<std::size_t>(x - 1)];
      b(x, y) = ch == 'W' ? kWhite : ch == 'B' ? kBlack : kEmpty;
    }
  return b;
}

std::vector<std::pair<int, int>> moves(const Board& b, int c) {
  SquareList px, py;
  const int n = WhereToPut(b, c, px, py);
  std::vector<std::pair<int, int>> out;
  for (int k = 1; k <= n; ++k) out.emplace_back(px[k], py[k]);
  return out;
}

// Records what the rules show, and the message boxes.
struct Recorder {
  std::vector<std::string> events;
  std::vector<QString> boxes;
  void attach(Game& g) {
    g.hooks.drawStone = [this](int x, int y, int c) {
      events.push_back("draw " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(c));
    };
    g.hooks.refresh = [this] { events.push_back("refresh"); };
    g.hooks.flipStone = [this](int x, int y) {
      events.push_back("flip " + std::to_string(x) + "," + std::to_string(y));
    };
    g.hooks.stopTimer = [this] { events.push_back("stop timer"); };
    g.hooks.media = [this](const QString& c) { events.push_back("media " + c.toStdString()); };
    seams::setMsgBoxHandler([this](const seams::MsgBoxCall& c) {
      boxes.push_back(c.prompt);
      EXPECT_EQ(c.title, QStringLiteral("Flipset"));
      EXPECT_EQ(c.buttons, seams::vbOKOnly);
      events.push_back("box");
      return int(seams::vbOK);
    });
  }
  ~Recorder() {
    seams::setMsgBoxHandler([](const seams::MsgBoxCall&) { return int(seams::vbOK); });
  }
};

}  // namespace

TEST(Rules, StartPositionHasFourMovesForBlackInScanOrder) {
  const auto m = moves(Board::start(), kBlack);
  const std::vector<std::pair<int, int>> want{{4, 3}, {3, 4}, {6, 5}, {5, 6}};
  EXPECT_EQ(m, want);
}

TEST(Rules, LegalSquaresTable) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    int colour;
    std::vector<std::pair<int, int>> want;
  } cases[] = {
      {"line to the edge flips nothing",
       {"WWWWWWW.", "........", "........", "........", "........", "........", "........", "........"},
       kBlack,
       {}},
      {"gap before own stone flips nothing",
       {".WW.B...", "........", "........", "........", "........", "........", "........", "........"},
       kBlack,
       {}},
      {"long line closes",
       {".WWWWWWB", "........", "........", "........", "........", "........", "........", "........"},
       kBlack,
       {{1, 1}}},
      {"diagonal and column, each square listed once",
       {"........", ".W......", "..B.....", "........", "........", "........", "........", "........"},
       kBlack,
       {{1, 1}}},
      {"occupied squares are never legal",
       {"BWB.....", "........", "........", "........", "........", "........", "........", "........"},
       kBlack,
       {}},
      {"white from the start position",
       {"........", "........", "........", "...WB...", "...BW...", "........", "........", "........"},
       kWhite,
       {{5, 3}, {6, 4}, {3, 5}, {4, 6}}},
  };
  for (const auto& c : cases) EXPECT_EQ(moves(boardOf(c.rows), c.colour), c.want) << c.name;
}

TEST(Rules, WhereToPutLeavesListsAsTheyWereWithoutMoves) {
  SquareList px{0, 7, 7}, py{0, 3, 3};
  Board empty;
  EXPECT_EQ(WhereToPut(empty, kBlack, px, py), 0);
  EXPECT_EQ(px, (SquareList{0, 7, 7}));
  EXPECT_EQ(py, (SquareList{0, 3, 3}));
}

TEST(Rules, PutResWorksOnTheCopyAndTurnsTheColour) {
  Game g;
  g.board = Board::start();
  Board copy = g.board;
  std::int16_t c = kBlack;
  const int whites = PutRes(copy, 4, 3, c);
  EXPECT_EQ(c, kWhite);
  EXPECT_EQ(whites, 1);
  EXPECT_EQ(copy(4, 4), kBlack);
  EXPECT_EQ(copy(4, 3), kBlack);
  EXPECT_EQ(g.board(4, 4), kWhite);
  EXPECT_EQ(g.board(4, 3), kEmpty);
}

TEST(Rules, MoveInSeveralDirectionsDrawsOnceThenFlipsDirectionByDirection) {
  // Black at (4, 4) closes up-left (3,3), right (5,4),(6,4) and down (4,5).
  Game g;
  g.board = boardOf({"........", "..B.....", "..W.....", "..WBWWB.", "...W....", "...B....", "........", "........"});
  g.board(3, 3) = kWhite;
  g.board(2, 2) = kBlack;
  g.board(4, 4) = kEmpty;
  g.Turn = kBlack;
  g.MoveNo = 10;
  Recorder r;
  r.attach(g);
  ASSERT_TRUE(g.PutStone(4, 4));
  ASSERT_GE(r.events.size(), 6u);
  const std::vector<std::string> head(r.events.begin(), r.events.begin() + 6);
  const std::vector<std::string> want{"draw 4,4 2", "refresh", "flip 3,3", "flip 5,4", "flip 6,4", "flip 4,5"};
  EXPECT_EQ(head, want);
  EXPECT_EQ(g.board(4, 4), kBlack);
  EXPECT_EQ(g.board(3, 3), kBlack);
  EXPECT_EQ(g.board(6, 4), kBlack);
  EXPECT_EQ(g.board(4, 5), kBlack);
  EXPECT_EQ(g.board(3, 4), kWhite);  // the line left runs to an empty square
  EXPECT_EQ(g.MoveNo, 11);
  EXPECT_EQ(g.Turn, kWhite);
}

TEST(Rules, OccupiedSquareIsIgnoredSilently) {
  Game g;
  g.board = Board::start();
  Recorder r;
  r.attach(g);
  EXPECT_FALSE(g.PutStone(4, 4));
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(g.Turn, kBlack);
}

TEST(Rules, SquareThatClosesNoLineIsRefused) {
  Game g;
  g.board = Board::start();
  const Board before = g.board;
  Recorder r;
  r.attach(g);
  EXPECT_FALSE(g.PutStone(1, 1));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0], QStringLiteral("挟める駒がありません。"));
  EXPECT_EQ(g.board.sq, before.sq);
  EXPECT_EQ(g.Turn, kBlack);
  EXPECT_EQ(g.MoveNo, 1);
}

TEST(Rules, SideWithoutMovePassesSilently) {
  // After black's move white has no square; black moves again.
  Game g;
  g.board = boardOf({"......WB", "........", "........", "........", "........", "........", "........", "BWW....."});
  g.Turn = kBlack;
  g.MoveNo = 20;
  Recorder r;
  r.attach(g);
  ASSERT_TRUE(g.PutStone(4, 8));
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(g.Turn, kBlack);
  EXPECT_GT(g.CanPutCount, 0);
}

TEST(Rules, NeitherSideCanMoveEndsTheGame) {
  Game g;
  g.board = boardOf({".WB.....", "........", "........", "........", "........", "........", "........", "........"});
  g.Turn = kBlack;
  g.MoveNo = 30;
  Recorder r;
  r.attach(g);
  ASSERT_TRUE(g.PutStone(1, 1));  // black takes the last white stone
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0], QStringLiteral("あなたの勝ちです。"));
  const std::vector<std::string> tail(r.events.end() - 5, r.events.end());
  const std::vector<std::string> want{"stop timer", "box", "media stop bgm wait", "media seek beep to start wait",
                                      "media play beep"};
  EXPECT_EQ(tail, want);
}

TEST(Rules, SixtiethPlacementEndsTheGameWithoutTurnCheck) {
  // Every square but (1, 1) filled; black closes the row.
  Game g;
  for (int x = 1; x <= 8; ++x)
    for (int y = 1; y <= 8; ++y) g.board(x, y) = (x + y) % 2 ? kWhite : kBlack;
  g.board(1, 1) = kEmpty;
  g.board(2, 1) = kWhite;
  g.board(3, 1) = kBlack;
  g.Turn = kBlack;
  g.MoveNo = 60;
  g.CanPutCount = 77;  // untouched: no turn check after the last stone
  Recorder r;
  r.attach(g);
  EXPECT_FALSE(g.PutStone(1, 1));
  EXPECT_EQ(g.MoveNo, 61);
  EXPECT_EQ(g.CanPutCount, 77);
  EXPECT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.events.back(), "media play beep");
}

TEST(Rules, VerdictGoesByColour) {
  struct {
    int white, black;
    const char16_t* want;
  } cases[] = {{32, 32, u"引き分けです。"},
               {33, 31, u"コンピューターの勝ちです。"},
               {10, 54, u"あなたの勝ちです。"},
               {0, 0, u"引き分けです。"}};
  for (const auto& c : cases) {
    Board b;
    int n = 0;
    for (int x = 1; x <= 8; ++x)
      for (int y = 1; y <= 8; ++y, ++n) b(x, y) = n < c.white ? kWhite : n < c.white + c.black ? kBlack : kEmpty;
    EXPECT_EQ(Game::verdict(b), QString::fromUtf16(c.want)) << c.white << ":" << c.black;
  }
}

TEST(Rules, ClickToSquare) {
  struct {
    int X, Y;
    bool on;
    int cx, cy;
  } cases[] = {
      {750, 500, true, 2, 1},  {749, 500, true, 1, 1},   {250, 250, true, 1, 1},  {249, 500, false, 0, 1},
      {500, 249, false, 1, 0}, {4249, 4249, true, 8, 8}, {4250, 500, false, 9, 1}, {-300, 500, false, -1, 1},
  };
  for (const auto& c : cases) {
    int cx = 0, cy = 0;
    EXPECT_EQ(squareAt(c.X, c.Y, cx, cy), c.on) << c.X << "," << c.Y;
    EXPECT_EQ(cx, c.cx) << c.X;
    EXPECT_EQ(cy, c.cy) << c.Y;
  }
}

TEST(Rules, CellCodesRoundTrip) {
  for (int code = 0; code < 64; ++code) EXPECT_EQ(cellCode(cellX(code), cellY(code)), code);
  EXPECT_EQ(cellCode(1, 1), 0);
  EXPECT_EQ(cellCode(8, 1), 7);
  EXPECT_EQ(cellCode(1, 8), 56);
}
