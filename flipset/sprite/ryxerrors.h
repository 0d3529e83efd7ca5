#pragma once
// Run-time errors of the sprite engine and its 16-bit arithmetic.
//
// The engine's pattern arithmetic is 16-bit signed: a position plus a size
// that leaves -32768..32767 fails with an overflow error, and a frame or
// queue number outside the stored ones fails with an index error. Both are
// reported to the caller as exceptions.
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace ryx {

// "Overflow" (run-time error 6).
struct OverflowError : std::overflow_error {
  OverflowError() : std::overflow_error("Overflow") {}
};

// "Subscript out of range" (run-time error 9).
struct IndexError : std::out_of_range {
  IndexError() : std::out_of_range("Subscript out of range") {}
};

// A whole number as a 16-bit integer; outside the range an overflow error.
inline std::int16_t i16(long long v) {
  if (v < -32768 || v > 32767) throw OverflowError();
  return static_cast<std::int16_t>(v);
}

// A whole number as a 32-bit integer; outside the range an overflow error.
inline std::int32_t i32(long long v) {
  if (v < INT32_MIN || v > INT32_MAX) throw OverflowError();
  return static_cast<std::int32_t>(v);
}

// A float converted to the nearest 16-bit integer, halves going to the even
// neighbour; outside the range (or not a number) an overflow error.
inline std::int16_t cint(double v) {
  if (!std::isfinite(v)) throw OverflowError();
  const double r = std::nearbyint(v);
  if (r < -32768.0 || r > 32767.0) throw OverflowError();
  return static_cast<std::int16_t>(r);
}

}  // namespace ryx
