#pragma once
// The reversi game itself: the board, the legal-move search, placing a stone
// with its flips, the change of turn with silent passes, the end of the game
// and its verdict. No window: what the rules show goes through GameHooks.
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace flipset {

constexpr int kEmpty = 0;
constexpr int kWhite = 1;
constexpr int kBlack = 2;

// The program's title, used for its message boxes.
inline const QString kProgramTitle = QStringLiteral("Flipset");

// An 8 x 8 board indexed (x, y), x = column 1..8 from the left, y = row 1..8
// from the top: 0 empty, 1 white, 2 black. Index 0 is unused.
struct Board {
  std::array<std::array<std::int16_t, 9>, 9> sq{};
  std::int16_t& operator()(int x, int y) { return sq[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)]; }
  std::int16_t operator()(int x, int y) const {
    return sq[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
  }
  void clear() { sq = {}; }
  int count(int colour) const;
  // The start position: (4,4) and (5,5) white, (4,5) and (5,4) black.
  static Board start();
};

// The eight directions in the order they are always examined (index 1..8).
constexpr int kDx[9] = {0, -1, 0, 1, -1, 1, -1, 0, 1};
constexpr int kDy[9] = {0, -1, -1, -1, 0, 0, 1, 1, 1};

inline bool onBoard(int x, int y) { return x >= 1 && x <= 8 && y >= 1 && y <= 8; }
// Cell code 0..63 of a square and back.
inline int cellCode(int x, int y) { return (y - 1) * 8 + (x - 1); }
inline int cellX(int code) { return code % 8 + 1; }
inline int cellY(int code) { return code / 8 + 1; }

// Lists (1-based, element 0 unused) of squares.
using SquareList = std::vector<std::int16_t>;

// The legal squares of colour c on St in scan order (rows from the top, left
// to right). px and py get them at 1..count; with no legal square they are
// left as they were.
std::int16_t WhereToPut(const Board& St, int c, SquareList& px, SquareList& py);

// Plays c at (sx, sy) on St with every flip (no legality test), turns c into
// the opponent and returns the number of the opponent's stones.
std::int16_t PutRes(Board& St, int sx, int sy, std::int16_t& c);

// Asked before every computer move; 0: do not hold.
int HoldComputer();

// The square (1..8, 1..8) under a click at (X, Y) twips; false when the
// click lies outside the board.
bool squareAt(int X, int Y, int& cx, int& cy);

// What the rules show: drawing a stone, refreshing the window, animating a
// flipped stone, stopping the move timer and sending media commands.
struct GameHooks {
  std::function<void(int x, int y, int colour)> drawStone;
  std::function<void()> refresh;
  std::function<void(int x, int y)> flipStone;
  std::function<void()> stopTimer;
  std::function<void(const QString& command)> media;
};

// One game: the module's board, turn and move number with the window's
// legal-move lists and the players.
class Game {
 public:
  Board board;
  std::int16_t Turn = kBlack;
  std::int16_t MoveNo = 1;
  SquareList CanPutX, CanPutY;
  std::int16_t CanPutCount = 0;
  // IsHuman[1] white, IsHuman[2] black.
  std::array<bool, 3> IsHuman{false, false, true};
  GameHooks hooks;

  // Places a stone of Turn at (sx, sy) with drawing, flips, turn change and
  // game end. True when the move was made (False after the 60th placement,
  // which ends the game).
  bool PutStone(int sx, int sy);
  // Finds the moves of the side to move, passing silently when it has none;
  // ends the game when neither side can move.
  bool CheckTurn();
  // Stops the game and announces the result.
  void GameOver();

  // The verdict text for the stones on the board.
  static QString verdict(const Board& b);

 private:
  void refresh() const;
};

}  // namespace flipset
