#include <gtest/gtest.h>

#include <QThread>
#include <set>

#include "flipset/thinkmove.h"
#include "platform/seams.h"

using namespace flipset;

namespace {

struct FixedRandom {
  explicit FixedRandom(float v) {
    seams::setRandom([v] { return v; });
  }
  ~FixedRandom() { seams::setRandom({}); }
};

Board with(std::initializer_list<std::tuple<int, int, int>> stones) {
  Board b;
  for (auto [x, y, c] : stones) b(x, y) = static_cast<std::int16_t>(c);
  return b;
}

}  // namespace

TEST(ThinkMove, SquareClasses) {
  struct {
    int x, y;
    SquareClass want;
  } cases[] = {{1, 1, SquareClass::Corner},   {8, 1, SquareClass::Corner},    {1, 8, SquareClass::Corner},
               {8, 8, SquareClass::Corner},   {1, 4, SquareClass::Edge},      {5, 8, SquareClass::Edge},
               {3, 3, SquareClass::InnerFour}, {6, 3, SquareClass::InnerFour}, {3, 6, SquareClass::InnerFour},
               {6, 6, SquareClass::InnerFour}, {2, 2, SquareClass::Other},     {4, 5, SquareClass::Other},
               {3, 4, SquareClass::Other}};
  for (const auto& c : cases) EXPECT_EQ(squareClass(c.x, c.y), c.want) << c.x << "," << c.y;
}

TEST(ThinkMove, TakesTheFirstCornerInScanOrder) {
  // Black can take (8, 1) and (1, 8); the top row comes first.
  FixedRandom r(0.99f);
  const Board b = with({{7, 2, kWhite}, {6, 3, kBlack}, {2, 7, kWhite}, {3, 6, kBlack}, {4, 4, kWhite},
                        {4, 5, kBlack}});
  EXPECT_EQ(ThinkMove(b, kBlack), cellCode(8, 1));
  const Board bottom = with({{2, 7, kWhite}, {3, 6, kBlack}, {7, 7, kWhite}, {6, 6, kBlack}});
  EXPECT_EQ(ThinkMove(bottom, kBlack), cellCode(1, 8));
}

TEST(ThinkMove, ReplyPenaltyByTheWorstReply) {
  struct {
    const char* name;
    Board board;
    int x, y;
    int want;
  } cases[] = {
      {"opponent gets a corner", with({{3, 3, kWhite}, {5, 5, kBlack}}), 2, 2, -300},
      {"opponent gets an edge", with({{3, 4, kWhite}, {2, 4, kBlack}}), 6, 6, -110},
      {"opponent gets an inner square", Board::start(), 4, 3, -60},
      {"opponent has no reply", with({{4, 4, kWhite}, {4, 5, kBlack}}), 4, 3, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplyPenalty(c.board, kBlack, c.x, c.y), c.want) << c.name;
}

TEST(ThinkMove, ReplyPenaltyLeavesTheBoardAlone) {
  const Board b = Board::start();
  const Board before = b;
  ReplyPenalty(b, kBlack, 4, 3);
  EXPECT_EQ(b.sq, before.sq);
}

TEST(ThinkMove, MoveLeavingNoReplyWinsOverTheSameClass) {
  // (4, 3) takes white's (4, 4) and leaves white no reply; (7, 6) leaves
  // white the answer (4, 6). Both are plain squares.
  FixedRandom r(0.99f);
  const Board b = with({{4, 4, kWhite}, {4, 5, kBlack}, {7, 7, kWhite}, {7, 8, kBlack}});
  EXPECT_EQ(ThinkMove(b, kBlack), cellCode(4, 3));
}

TEST(ThinkMove, TiesAreBrokenByTheRandomSource) {
  // At the start all four moves score 100 - 60.
  struct {
    float rnd;
    int want;
  } cases[] = {{0.0f, cellCode(4, 3)}, {0.25f, cellCode(3, 4)}, {0.5f, cellCode(6, 5)}, {0.99f, cellCode(5, 6)}};
  for (const auto& c : cases) {
    FixedRandom r(c.rnd);
    EXPECT_EQ(ThinkMove(Board::start(), kBlack), c.want) << c.rnd;
  }
}

TEST(ThinkMove, RepeatedCallsReachEveryTiedMove) {
  // The generator is reseeded from the clock on every call, as the game's
  // calls come at least a timer tick apart.
  std::set<int> seen;
  for (int i = 0; i < 400 && seen.size() < 4; ++i) {
    seen.insert(ThinkMove(Board::start(), kBlack));
    QThread::msleep(2);
  }
  EXPECT_EQ(seen, (std::set<int>{cellCode(4, 3), cellCode(3, 4), cellCode(6, 5), cellCode(5, 6)}));
}

TEST(ThinkMove, SingleMoveIsAlwaysReturned) {
  FixedRandom r(0.999f);
  const Board b = with({{3, 1, kWhite}, {4, 1, kBlack}});
  SquareList px, py;
  ASSERT_EQ(WhereToPut(b, kBlack, px, py), 1);
  EXPECT_EQ(ThinkMove(b, kBlack), cellCode(px[1], py[1]));
}

TEST(ThinkMove, NoLegalMoveAnswersNoMove) {
  EXPECT_EQ(ThinkMove(Board(), kBlack), kNoMove);
  EXPECT_EQ(ThinkMove(with({{1, 1, kBlack}}), kWhite), kNoMove);
}
