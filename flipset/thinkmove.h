#pragma once
// The computer player: a one-ply choice that takes a corner at once,
// otherwise prefers edges and the four inner squares, marks each candidate
// down by the worst square the opponent could answer with, and breaks ties
// at random (seams::Rnd, reseeded from the clock).
#include <cstdint>

#include "flipset/modFlipset.h"

namespace flipset {

// No legal move for the side to move.
constexpr std::int16_t kNoMove = -1;

enum class SquareClass { Corner, Edge, InnerFour, Other };
SquareClass squareClass(int x, int y);

// The cell code (0..63) of the square chosen for colour turn, or kNoMove
// when that colour has no legal move.
std::int16_t ThinkMove(const Board& board, int turn);

// The penalty (0, -60, -110 or -300) of playing (x, y) for colour turn,
// judged by the worst square the opponent could answer with.
std::int16_t ReplyPenalty(const Board& board, int turn, int x, int y);

}  // namespace flipset
