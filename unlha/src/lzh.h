#pragma once
// The packers of the methods this layer writes: no Debian library writes
// LHA archives (liblhasa and libarchive only read them), so they are our
// own. Reading goes through liblhasa.
//
// "-lh4-" to "-lh7-" and "-lhx-": LZSS with a sliding dictionary of 2^dicbit bytes,
// matches of 3 to 256 bytes, data cut into blocks that each carry their own
// static Huffman tables.
// "-lh1-": LZSS over 4 KiB with matches of 3 to 60 bytes; the literals and
// lengths in one adaptive Huffman code, the upper six bits of each distance
// in a fixed code and the lower six as they are.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace unlha::lzh {

struct Params {
  int dicbit;  // 12 (-lh4-), 13 (-lh5-), 15 (-lh6-), 16 (-lh7-), 19 (-lhx-)
  int np;      // number of position codes: dicbit + 1
  int pbit;    // bits of the position-code count: 4 up to -lh5-, 5 above
};
Params paramsFor(int dicbit);

// Compresses data. The result may be longer than the input (the caller then
// stores the data as it is).
std::string encode(std::string_view data, const Params& p);
std::string encodeLh1(std::string_view data);

// The decoders of the old LHarc methods "-lh2-" and "-lh3-" and of LHark's
// "-lh7-" (named "-lk7-" here; see lharc.cpp), which liblhasa has none
// for: input gives packed bytes (0 at their end); read gives up to size
// decoded bytes, 0 at the end of the data or where it is broken. The
// caller stops at the entry's own length.
class OldDecoder {
 public:
  virtual ~OldDecoder() = default;
  virtual std::size_t read(unsigned char* out, std::size_t size) = 0;
};
// nullptr where the method is none of ours. lh2CountRootUses: the way an
// "-lh2-" stream grows its position code (see lh2CountsRootUses).
std::unique_ptr<OldDecoder> oldDecoder(std::string_view method, std::function<std::size_t(void*, std::size_t)> input,
                                       bool lh2CountRootUses = true);
// The way an "-lh2-" stream of the given length and CRC grows its position
// code: writers part over the uses of its first code before it grows (see
// lharc.cpp). open gives the packed data anew from its start at each call.
// Most streams tell at their first bytes; the others are decoded once more.
bool lh2CountsRootUses(const std::function<std::function<std::size_t(void*, std::size_t)>()>& open,
                       std::uint64_t length, std::uint16_t crc);

}  // namespace unlha::lzh
