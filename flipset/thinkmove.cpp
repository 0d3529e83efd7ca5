#include "flipset/thinkmove.h"

#include <vector>

#include "platform/seams.h"

namespace flipset {

SquareClass squareClass(int x, int y) {
  const bool xe = x == 1 || x == 8, ye = y == 1 || y == 8;
  if (xe && ye) return SquareClass::Corner;
  if (xe || ye) return SquareClass::Edge;
  if ((x == 3 || x == 6) && (y == 3 || y == 6)) return SquareClass::InnerFour;
  return SquareClass::Other;
}

std::int16_t ReplyPenalty(const Board& board, int turn, int x, int y) {
  Board copy = board;
  std::int16_t c = static_cast<std::int16_t>(turn);
  PutRes(copy, x, y, c);
  SquareList rx, ry;
  const int m = WhereToPut(copy, c, rx, ry);
  std::int16_t penalty = 0;
  for (int j = 1; j <= m; ++j) {
    switch (squareClass(rx[j], ry[j])) {
      case SquareClass::Corner: penalty = -300; break;
      case SquareClass::Edge:
        if (penalty > -110) penalty = -110;
        break;
      default:
        if (penalty > -60) penalty = -60;
        break;
    }
  }
  return penalty;
}

std::int16_t ThinkMove(const Board& board, int turn) {
  SquareList px, py;
  const int n = WhereToPut(board, turn, px, py);
  if (n <= 0) return kNoMove;
  std::vector<int> score(static_cast<std::size_t>(n) + 1, 0);
  for (int k = 1; k <= n; ++k) {
    switch (squareClass(px[k], py[k])) {
      case SquareClass::Corner: return static_cast<std::int16_t>(cellCode(px[k], py[k]));
      case SquareClass::Edge: score[k] = 200; break;
      case SquareClass::InnerFour: score[k] = 150; break;
      case SquareClass::Other: score[k] = 100; break;
    }
  }
  for (int k = 1; k <= n; ++k) score[k] += ReplyPenalty(board, turn, px[k], py[k]);
  int best = -210;
  std::vector<int> list;
  for (int k = 1; k <= n; ++k) {
    if (score[k] > best) {
      best = score[k];
      list.assign(1, k);
    } else if (score[k] == best) {
      list.push_back(k);
    }
  }
  seams::Randomize();
  const int len = static_cast<int>(list.size());
  int r = static_cast<int>(static_cast<float>(len) * seams::Rnd()) + 1;
  if (r > len) r = len;
  if (r < 1) r = 1;
  const int k = list[static_cast<std::size_t>(r - 1)];
  return static_cast<std::int16_t>(cellCode(px[k], py[k]));
}

}  // namespace flipset
