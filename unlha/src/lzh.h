#pragma once
// The LZSS + static Huffman coding of the "-lh4-" to "-lh7-" methods: a
// sliding dictionary of 2^dicbit bytes, matches of 3 to 256 bytes, data cut
// into blocks that each carry their own code tables.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace unlha::lzh {

struct Params {
  int dicbit;  // 12 (-lh4-), 13 (-lh5-), 15 (-lh6-), 16 (-lh7-)
  int np;      // number of position codes: dicbit + 1
  int pbit;    // bits of the position-code count: 4 up to -lh5-, 5 above
};
Params paramsFor(int dicbit);

// Compresses data. The result may be longer than the input (the caller then
// stores the data as it is).
std::string encode(std::string_view data, const Params& p);

// Receives decoded bytes in pieces; false stops the decoding.
using Sink = std::function<bool(const char* data, std::size_t size)>;

// Decodes exactly outSize bytes from in and hands them to sink. False when
// the stream is malformed (bad tables, a code that fits no table, input that
// runs out) or the sink refused.
bool decode(std::string_view in, std::uint64_t outSize, const Params& p, const Sink& sink);

}  // namespace unlha::lzh
