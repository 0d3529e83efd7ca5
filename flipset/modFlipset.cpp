#include "flipset/modFlipset.h"

#include "platform/seams.h"

namespace flipset {

int Board::count(int colour) const {
  int n = 0;
  for (int x = 1; x <= 8; ++x)
    for (int y = 1; y <= 8; ++y)
      if ((*this)(x, y) == colour) ++n;
  return n;
}

Board Board::start() {
  Board b;
  b(4, 4) = kWhite;
  b(5, 5) = kWhite;
  b(4, 5) = kBlack;
  b(5, 4) = kBlack;
  return b;
}

std::int16_t WhereToPut(const Board& St, int c, SquareList& px, SquareList& py) {
  std::int16_t count = 0;
  SquareList fx, fy;
  const int opp = 3 - c;
  for (int a = 0; a < 64; ++a) {
    const int x = a % 8 + 1, y = a / 8 + 1;
    if (St(x, y) != kEmpty) continue;
    bool legal = false;
    for (int d = 1; d <= 8 && !legal; ++d) {
      const int nx = x + kDx[d], ny = y + kDy[d];
      if (!onBoard(nx, ny) || St(nx, ny) != opp) continue;
      for (int i = 2; i <= 8; ++i) {
        const int wx = x + i * kDx[d], wy = y + i * kDy[d];
        if (!onBoard(wx, wy) || St(wx, wy) == kEmpty) break;
        if (St(wx, wy) == c) {
          legal = true;
          break;
        }
      }
    }
    if (legal) {
      ++count;
      fx.push_back(static_cast<std::int16_t>(x));
      fy.push_back(static_cast<std::int16_t>(y));
    }
  }
  if (count > 0) {
    px.assign(1, 0);
    py.assign(1, 0);
    px.insert(px.end(), fx.begin(), fx.end());
    py.insert(py.end(), fy.begin(), fy.end());
  }
  return count;
}

std::int16_t PutRes(Board& St, int sx, int sy, std::int16_t& c) {
  St(sx, sy) = c;
  const int opp = 3 - c;
  for (int d = 1; d <= 8; ++d) {
    const int nx = sx + kDx[d], ny = sy + kDy[d];
    if (!onBoard(nx, ny) || St(nx, ny) != opp) continue;
    for (int i = 2; i <= 8; ++i) {
      const int wx = sx + i * kDx[d], wy = sy + i * kDy[d];
      if (!onBoard(wx, wy) || St(wx, wy) == kEmpty) break;
      if (St(wx, wy) == c) {
        for (int k = i - 1; k >= 1; --k) St(sx + k * kDx[d], sy + k * kDy[d]) = c;
        break;
      }
    }
  }
  c = static_cast<std::int16_t>(3 - c);
  return static_cast<std::int16_t>(St.count(c));
}

int HoldComputer() { return 0; }

bool squareAt(int X, int Y, int& cx, int& cy) {
  auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  cx = floorDiv(X + 250, 500);
  cy = floorDiv(Y + 250, 500);
  return onBoard(cx, cy);
}

void Game::refresh() const {
  if (hooks.refresh) hooks.refresh();
}

bool Game::PutStone(int sx, int sy) {
  if (!onBoard(sx, sy) || board(sx, sy) != kEmpty) return false;
  bool made = false;
  const int opp = 3 - Turn;
  for (int d = 1; d <= 8; ++d) {
    const int nx = sx + kDx[d], ny = sy + kDy[d];
    if (!onBoard(nx, ny) || board(nx, ny) != opp) continue;
    for (int i = 2; i <= 8; ++i) {
      const int wx = sx + i * kDx[d], wy = sy + i * kDy[d];
      if (!onBoard(wx, wy) || board(wx, wy) == kEmpty) break;
      if (board(wx, wy) == Turn) {
        if (!made) {
          if (hooks.drawStone) hooks.drawStone(sx, sy, Turn);
          refresh();
        }
        for (int k = 1; k <= i - 1; ++k) {
          board(sx + k * kDx[d], sy + k * kDy[d]) = Turn;
          if (hooks.flipStone) hooks.flipStone(sx + k * kDx[d], sy + k * kDy[d]);
        }
        made = true;
        break;
      }
    }
  }
  if (!made) {
    seams::MsgBox(QStringLiteral("挟める駒がありません。"), seams::vbOKOnly, kProgramTitle);
    return false;
  }
  board(sx, sy) = Turn;
  ++MoveNo;
  Turn = static_cast<std::int16_t>(3 - Turn);
  if (MoveNo == 61) {
    GameOver();
    return false;
  }
  CheckTurn();
  return true;
}

bool Game::CheckTurn() {
  CanPutCount = WhereToPut(board, Turn, CanPutX, CanPutY);
  if (CanPutCount > 0) {
    refresh();
    return true;
  }
  Turn = static_cast<std::int16_t>(3 - Turn);
  CanPutCount = WhereToPut(board, Turn, CanPutX, CanPutY);
  if (CanPutCount > 0) {
    refresh();
    return true;
  }
  GameOver();
  return false;
}

QString Game::verdict(const Board& b) {
  const int white = b.count(kWhite), black = b.count(kBlack);
  if (white == black) return QStringLiteral("引き分けです。");
  if (white > black) return QStringLiteral("コンピューターの勝ちです。");
  return QStringLiteral("あなたの勝ちです。");
}

void Game::GameOver() {
  if (hooks.stopTimer) hooks.stopTimer();
  seams::MsgBox(verdict(board), seams::vbOKOnly, kProgramTitle);
  if (hooks.media) {
    hooks.media(QStringLiteral("stop bgm wait"));
    hooks.media(QStringLiteral("seek beep to start wait"));
    hooks.media(QStringLiteral("play beep"));
  }
}

}  // namespace flipset
