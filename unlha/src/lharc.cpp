// The "-lh3-" decoder (static Huffman of the old LHarc line): Debian's
// liblhasa (0.3.1) and libarchive read no "-lh3-" data, so this one is our
// own. LZSS over an 8 KiB dictionary with 286 codes for the bytes and the
// match lengths from 3 up (the last code carries eight more bits of
// length), and a distance sent as a position code for its upper bits and
// six plain bits. The data comes in blocks, each with its symbol count, the
// code lengths of the 286 codes and, when flagged, those of the 128
// position codes (otherwise a fixed set).
#include <array>
#include <cstdint>
#include <vector>

#include "lzh.h"

namespace unlha::lzh {

namespace {

constexpr unsigned kDictionary = 8192;
constexpr int kCodes = 286;  // 256 bytes, then match lengths from 3 up
constexpr int kPositions = 128;
constexpr int kMinMatch = 3;

// Bits from the most significant end of each byte; zeros past the end.
class BitReader {
 public:
  explicit BitReader(const std::function<std::size_t(void*, std::size_t)>& input) : input_(input) {}
  unsigned bit() {
    if (count_ == 0) {
      if (at_ == have_) {
        have_ = input_(buffer_.data(), buffer_.size());
        at_ = 0;
      }
      byte_ = at_ < have_ ? buffer_[at_++] : 0;
      count_ = 8;
    }
    --count_;
    return (byte_ >> count_) & 1;
  }
  unsigned bits(int n) {
    unsigned v = 0;
    while (n-- > 0) v = (v << 1) | bit();
    return v;
  }

 private:
  const std::function<std::size_t(void*, std::size_t)>& input_;
  std::array<unsigned char, 4096> buffer_{};
  std::size_t at_ = 0, have_ = 0;
  unsigned byte_ = 0;
  int count_ = 0;
};

// A canonical code from its lengths (codes of one length in symbol order,
// shorter codes first), read bit by bit; a lone symbol of length 0 takes
// no bits at all.
class Code {
 public:
  bool build(const std::vector<std::uint8_t>& lengths) {
    count_.fill(0);
    symbols_.clear();
    single_ = -1;
    for (int len = 1; len <= 16; ++len)
      for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] == len) {
          symbols_.push_back(static_cast<int>(s));
          ++count_[static_cast<std::size_t>(len)];
        }
    // A complete code only.
    std::uint32_t room = 1u << 16;
    std::uint32_t used = 0;
    for (int len = 1; len <= 16; ++len) used += count_[static_cast<std::size_t>(len)] * (room >> len);
    return used == room;
  }
  void single(int symbol) {
    count_.fill(0);
    symbols_.clear();
    single_ = symbol;
  }
  int read(BitReader& r) const {
    if (single_ >= 0) return single_;
    std::uint32_t code = 0, first = 0;
    std::size_t index = 0;
    for (int len = 1; len <= 16; ++len) {
      code = (code << 1) | r.bit();
      const std::uint32_t n = count_[static_cast<std::size_t>(len)];
      if (code - first < n) return symbols_[index + (code - first)];
      index += n;
      first = (first + n) << 1;
    }
    return -1;
  }

 private:
  std::array<std::uint32_t, 17> count_{};
  std::vector<int> symbols_;
  int single_ = -1;
};

}  // namespace

struct Lh3Decoder::State {
  explicit State(std::function<std::size_t(void*, std::size_t)> in) : input(std::move(in)), bits(input) {}
  std::function<std::size_t(void*, std::size_t)> input;
  BitReader bits;
  Code codes, positions;
  unsigned blockLeft = 0;
  std::vector<unsigned char> ring = std::vector<unsigned char>(kDictionary, ' ');
  unsigned at = 0;         // where the next byte goes in the ring
  unsigned copyFrom = 0;   // a match being copied out: its source and length left
  unsigned copyLeft = 0;
  bool broken = false;

  bool readBlock() {
    blockLeft = bits.bits(16);
    std::vector<std::uint8_t> len(kCodes, 0);
    for (int i = 0; i < kCodes; ++i) {
      len[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits.bit() ? bits.bits(4) + 1 : 0);
      if (i == 2 && len[0] == 1 && len[1] == 1 && len[2] == 1) {
        codes.single(static_cast<int>(bits.bits(9)));
        len.clear();
        break;
      }
    }
    if (!len.empty() && !codes.build(len)) return false;
    std::vector<std::uint8_t> plen(kPositions, 0);
    if (bits.bit()) {
      for (int i = 0; i < kPositions; ++i) {
        plen[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits.bits(4));
        if (i == 2 && plen[0] == 1 && plen[1] == 1 && plen[2] == 1) {
          positions.single(static_cast<int>(bits.bits(7)));
          return blockLeft > 0;
        }
      }
    } else {
      // The fixed position code: lengths 2 to 9, longer for farther codes.
      static const int kFirst[] = {1, 1, 3, 6, 13, 31, 78};
      int l = 2;
      std::size_t k = 0;
      for (int i = 0; i < kPositions; ++i) {
        while (k < std::size(kFirst) && kFirst[k] == i) {
          ++l;
          ++k;
        }
        plen[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(l);
      }
    }
    return positions.build(plen) && blockLeft > 0;
  }
};

Lh3Decoder::Lh3Decoder(std::function<std::size_t(void*, std::size_t)> input)
    : state_(std::make_unique<State>(std::move(input))) {}
Lh3Decoder::~Lh3Decoder() = default;

std::size_t Lh3Decoder::read(unsigned char* out, std::size_t size) {
  State& s = *state_;
  std::size_t n = 0;
  while (n < size && !s.broken) {
    if (s.copyLeft) {
      const unsigned char b = s.ring[s.copyFrom];
      s.copyFrom = (s.copyFrom + 1) % kDictionary;
      --s.copyLeft;
      s.ring[s.at] = b;
      s.at = (s.at + 1) % kDictionary;
      out[n++] = b;
      continue;
    }
    if (s.blockLeft == 0 && !s.readBlock()) {
      s.broken = true;
      break;
    }
    --s.blockLeft;
    int c = s.codes.read(s.bits);
    if (c < 0 || c >= kCodes) {
      s.broken = true;
      break;
    }
    if (c < 256) {
      s.ring[s.at] = static_cast<unsigned char>(c);
      s.at = (s.at + 1) % kDictionary;
      out[n++] = static_cast<unsigned char>(c);
      continue;
    }
    if (c == kCodes - 1) c += static_cast<int>(s.bits.bits(8));
    const int p = s.positions.read(s.bits);
    if (p < 0) {
      s.broken = true;
      break;
    }
    const unsigned distance = (static_cast<unsigned>(p) << 6) + s.bits.bits(6) + 1;
    s.copyLeft = static_cast<unsigned>(c - 256 + kMinMatch);
    s.copyFrom = (s.at + kDictionary - distance % kDictionary) % kDictionary;
  }
  return n;
}

}  // namespace unlha::lzh
