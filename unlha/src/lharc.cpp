// The decoders of the methods that Debian's liblhasa (0.3.1) and libarchive
// have none for, so they are our own: LHark's "-lh7-" (below) and the two
// old LHarc methods. These two are LZSS over an 8 KiB dictionary with 286
// codes for the bytes and the match lengths from 3 up (the last code
// carries eight more bits of length), and a distance sent as a position
// code for its upper bits and six plain bits.
//
// "-lh3-" (static Huffman): the data comes in blocks, each with its symbol
// count, the code lengths of the 286 codes and, when flagged, those of the
// 128 position codes (otherwise a fixed set).
//
// "-lh2-" (dynamic Huffman): no tables at all. Both codes are adaptive
// Huffman trees that follow the symbol counts as the data goes by, as in
// "-lh1-", and the position tree starts with the one code 0 and takes in one
// more code (the next 64 bytes of distance) each time the data has grown
// past another 64 bytes, up to the 128 codes of the whole dictionary.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive.h"
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
      past_ = past_ || at_ == have_;
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
  // Whether a bit was asked for past the end of the data.
  bool past() const { return past_; }

 private:
  const std::function<std::size_t(void*, std::size_t)>& input_;
  std::array<unsigned char, 4096> buffer_{};
  std::size_t at_ = 0, have_ = 0;
  unsigned byte_ = 0;
  int count_ = 0;
  bool past_ = false;
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

// The sliding dictionary of our own decoders (blank at first): the bytes
// given out, and the match being copied out of it.
class Window {
 public:
  explicit Window(unsigned size) : ring_(size, ' '), size_(size) {}
  // The next byte of the match under way, given out again; false when no
  // match is under way.
  bool copied(unsigned char& b) {
    if (!copyLeft_) return false;
    b = ring_[copyFrom_];
    copyFrom_ = (copyFrom_ + 1) % size_;
    --copyLeft_;
    put(b);
    return true;
  }
  void put(unsigned char b) {
    ring_[at_] = b;
    at_ = (at_ + 1) % size_;
  }
  // A match of length bytes from distance bytes back (1: the last byte).
  void match(unsigned length, unsigned distance) {
    copyLeft_ = length;
    copyFrom_ = (at_ + size_ - distance % size_) % size_;
  }

 private:
  std::vector<unsigned char> ring_;
  unsigned size_;
  unsigned at_ = 0, copyFrom_ = 0, copyLeft_ = 0;
};

class Lh3Decoder final : public OldDecoder {
 public:
  explicit Lh3Decoder(std::function<std::size_t(void*, std::size_t)> in) : input(std::move(in)), bits(input) {}
  std::size_t read(unsigned char* out, std::size_t size) override;

 private:
  std::function<std::size_t(void*, std::size_t)> input;
  BitReader bits;
  Code codes, positions;
  unsigned blockLeft = 0;
  Window window{kDictionary};
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

std::size_t Lh3Decoder::read(unsigned char* out, std::size_t size) {
  Lh3Decoder& s = *this;
  std::size_t n = 0;
  while (n < size && !s.broken) {
    if (unsigned char b; s.window.copied(b)) {
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
      s.window.put(static_cast<unsigned char>(c));
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
    s.window.match(static_cast<unsigned>(c - 256 + kMinMatch), distance);
  }
  return n;
}

// One adaptive Huffman tree of "-lh2-". Nodes are kept in order of their
// counts, the root (node 0, the sum of all) first; the two children of a
// node stand side by side, at child[n] (bit 0) and child[n] - 1 (bit 1),
// and a leaf holds the complement of its symbol. Sending a symbol raises
// its count and each of its ancestors', every node first trading places
// with the first node of the same count, so that the order holds; once the
// root reaches 0x8000 the counts are halved and the tree built anew. The
// writer runs the same tree, so both sides must grow it in exactly this way
// (jLHA's, whose archives are the ones about).
class AdaptiveTree {
 public:
  explicit AdaptiveTree(int symbols)
      : freq_(static_cast<std::size_t>(2 * symbols - 1)),
        child_(freq_.size()),
        parent_(freq_.size()),
        leaf_(static_cast<std::size_t>(symbols), -1) {}

  // All symbols at count 1, the leaves at the back in reverse order of
  // their symbols.
  void fillAll() {
    const int symbols = static_cast<int>(leaf_.size());
    const int last = 2 * symbols - 2;
    for (int s = 0; s < symbols; ++s) place(last - s, 1, ~s);
    for (int j = symbols - 2, i = last; j >= 0; --j, i -= 2) {
      freq_[at(j)] = freq_[at(i)] + freq_[at(i - 1)];
      link(j, i);
    }
    used_ = last + 1;
  }
  // The one symbol s, at the root.
  void single(int s) {
    place(0, 1, ~s);
    used_ = 1;
  }

  int decode(BitReader& r) const {
    int c = child_[0];
    while (c > 0) c = child_[at(c - static_cast<int>(r.bit()))];
    return ~c;
  }

  // Symbol s sent: its count and its ancestors' raised.
  void update(int s) {
    if (freq_[0] == kRebuildAt) halve();
    int q = leaf_[at(s)];
    while (q != 0) q = raiseNode(q);
    ++freq_[0];
  }

  // A new symbol s, as the sibling of the last leaf, and sent once. The
  // leaf that was the root alone takes the count of its uses there
  // (countRootUses) or the count it started with.
  void add(int s, bool countRootUses = true) {
    const int last = used_ - 1;
    const int r = last + 1, q = last + 2;
    place(r, last == 0 && !countRootUses ? 1u : freq_[at(last)], child_[at(last)]);
    place(q, 0, ~s);
    link(last, q);
    used_ += 2;
    // A root that was the only leaf keeps the count of that leaf alone.
    if (last == 0) --freq_[0];
    update(s);
  }

  // Every count halved (rounded up), and the tree built anew from them.
  void halve() {
    const int end = used_;
    if (end == 1) {
      freq_[0] = (freq_[0] + 1) / 2;
      return;
    }
    // The leaves, in order, to the front.
    int j = 0;
    for (int i = 0; i < end; ++i)
      if (child_[at(i)] < 0) {
        freq_[at(j)] = (freq_[at(i)] + 1) / 2;
        child_[at(j)] = child_[at(i)];
        ++j;
      }
    --j;
    // From the back: each pair of the lowest nodes under a new node, which
    // stands before the leaves of no greater count.
    int i = end - 1, l = end - 2;
    while (i >= 0) {
      while (i >= l) move(j--, i--);
      const unsigned f = freq_[at(l)] + freq_[at(l + 1)];
      while (j >= 0 && freq_[at(j)] <= f) move(j--, i--);
      freq_[at(i)] = f;
      child_[at(i)] = l + 1;
      --i;
      l -= 2;
    }
    for (int n = 0; n < end; ++n) {
      const int c = child_[at(n)];
      if (c < 0)
        leaf_[at(~c)] = n;
      else
        parent_[at(c)] = parent_[at(c - 1)] = n;
    }
  }

 private:
  static constexpr unsigned kRebuildAt = 0x8000;
  static std::size_t at(int n) { return static_cast<std::size_t>(n); }
  void place(int n, unsigned f, int c) {
    freq_[at(n)] = f;
    child_[at(n)] = c;
    if (c < 0) leaf_[at(~c)] = n;
  }
  void link(int n, int c) {
    child_[at(n)] = c;
    parent_[at(c)] = parent_[at(c - 1)] = n;
  }
  void move(int from, int to) {
    freq_[at(to)] = freq_[at(from)];
    child_[at(to)] = child_[at(from)];
  }
  void adopt(int n, int c) {
    child_[at(n)] = c;
    if (c < 0)
      leaf_[at(~c)] = n;
    else
      parent_[at(c)] = parent_[at(c - 1)] = n;
  }
  // Node p's count raised, p first moved to the front of its count's run;
  // gives the node's parent.
  int raiseNode(int p) {
    int q = p;
    while (q > 1 && freq_[at(q - 1)] == freq_[at(p)]) --q;
    if (q != p) {
      const int a = child_[at(p)], b = child_[at(q)];
      adopt(p, b);
      adopt(q, a);
    }
    ++freq_[at(q)];
    return parent_[at(q)];
  }

  std::vector<unsigned> freq_;
  std::vector<int> child_, parent_;
  std::vector<int> leaf_;  // the node of each symbol, -1 before it is in
  int used_ = 0;
};

// The writers of "-lh2-" part over one thing: the uses of position code 0
// while it stands alone at the root (matches within the first 64 bytes).
// jLHA counts them for the leaf code 0 becomes once the tree grows; other
// writers do not, and their leaf starts at 1. A stream without such matches
// reads the same either way; for one with them, lh2CountsRootUses finds the
// way that makes it whole.
class Lh2Decoder final : public OldDecoder {
 public:
  Lh2Decoder(std::function<std::size_t(void*, std::size_t)> in, bool countRootUses)
      : input_(std::move(in)), bits_(input_), codes_(kCodes), positions_(kPositions), countRootUses_(countRootUses) {
    codes_.fillAll();
    positions_.single(0);
  }
  std::size_t read(unsigned char* out, std::size_t size) override;
  // Whether the two ways part for this stream: false once the position
  // code grew with no use of code 0 alone before; true once it grew after
  // such uses; nullopt before it grew.
  std::optional<bool> parts() const {
    if (nextGrowth_ == kStep) return std::nullopt;
    return rootUses_ > 0;
  }

 private:
  static constexpr std::uint64_t kStep = 64;  // bytes of distance per position code

  int code() {
    const int c = codes_.decode(bits_);
    codes_.update(c);
    return c == kCodes - 1 ? c + static_cast<int>(bits_.bits(8)) : c;
  }
  unsigned distance() {
    // A new position code for each 64 bytes the data has grown past.
    while (nextGrowth_ < kDictionary && nextGrowth_ < produced_) {
      positions_.add(static_cast<int>(nextGrowth_ / kStep), countRootUses_);
      nextGrowth_ += kStep;
    }
    if (nextGrowth_ == kStep) ++rootUses_;
    const int p = positions_.decode(bits_);
    positions_.update(p);
    return (static_cast<unsigned>(p) << 6) + bits_.bits(6) + 1;
  }

  std::function<std::size_t(void*, std::size_t)> input_;
  BitReader bits_;
  AdaptiveTree codes_, positions_;
  std::uint64_t produced_ = 0;  // bytes of the symbols read so far, matches whole
  std::uint64_t nextGrowth_ = kStep;
  Window window_{kDictionary};
  bool broken_ = false;
  bool countRootUses_;
  std::uint64_t rootUses_ = 0;
};

std::size_t Lh2Decoder::read(unsigned char* out, std::size_t size) {
  std::size_t n = 0;
  while (n < size) {
    if (unsigned char b; window_.copied(b)) {
      out[n++] = b;
      continue;
    }
    // A stream that runs out before its length is broken: its end holds
    // no symbol.
    if (broken_) break;
    const int c = code();
    const unsigned d = c < 256 ? 0 : distance();
    if (bits_.past()) {
      broken_ = true;
      break;
    }
    if (c < 256) {
      window_.put(static_cast<unsigned char>(c));
      out[n++] = static_cast<unsigned char>(c);
      ++produced_;
      continue;
    }
    const unsigned length = static_cast<unsigned>(c - 256 + kMinMatch);
    produced_ += length;
    window_.match(length, d);
  }
  return n;
}

// LHark's "-lh7-" (an "-lh7-" entry of header level 1 with the blank OS
// id; our reader names it "-lk7-"): static Huffman blocks as in "-lh5-" to
// "-lh7-", over a 64 KiB dictionary, with codes of its own. Of the 289
// literal/length codes, 256 to 263 are the lengths 3 to 10; code c from 264
// to 287 carries (c - 260) / 4 more bits b, length ((4 + c % 4) << bits) +
// b + 3; 288 is the length 514. Of the 32 position codes (their count in
// six bits), p up to 3 is that distance less one; a larger p carries
// (p - 2) / 2 more bits b, distance ((2 + p % 2) << bits) + b + 1.
class LharkDecoder final : public OldDecoder {
 public:
  explicit LharkDecoder(std::function<std::size_t(void*, std::size_t)> in) : input_(std::move(in)), bits_(input_) {}
  std::size_t read(unsigned char* out, std::size_t size) override;

 private:
  static constexpr unsigned kWindow = 1u << 16;
  static constexpr int kNT = 19, kNC = 289, kNP = 32;

  // Code lengths as three bits, seven and more as 7 and a run of ones;
  // after the third, when special, two bits of zeros to skip.
  bool readLengths(int nbits, int count, bool special, Code& code) {
    const int n = static_cast<int>(bits_.bits(nbits));
    if (n == 0) {
      const int only = static_cast<int>(bits_.bits(nbits));
      if (only >= count) return false;
      code.single(only);
      return true;
    }
    if (n > count) return false;
    std::vector<std::uint8_t> len(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < n;) {
      unsigned l = bits_.bits(3);
      if (l == 7)
        while (bits_.bit())
          if (++l > 16) return false;
      len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(l);
      if (special && i == 3) i += static_cast<int>(bits_.bits(2));
    }
    return code.build(len);
  }
  bool readCodes() {
    const int n = static_cast<int>(bits_.bits(9));
    if (n == 0) {
      const int only = static_cast<int>(bits_.bits(9));
      if (only >= kNC) return false;
      codes_.single(only);
      return true;
    }
    if (n > kNC) return false;
    std::vector<std::uint8_t> len(kNC, 0);
    for (int i = 0; i < n;) {
      const int c = lengths_.read(bits_);
      if (c < 0) return false;
      if (c <= 2) {
        i += c == 0 ? 1 : c == 1 ? static_cast<int>(bits_.bits(4)) + 3 : static_cast<int>(bits_.bits(9)) + 20;
      } else {
        len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(c - 2);
      }
    }
    return codes_.build(len);
  }
  bool readBlock() {
    blockLeft_ = bits_.bits(16);
    if (blockLeft_ == 0) blockLeft_ = 1u << 16;
    return readLengths(5, kNT, true, lengths_) && readCodes() && readLengths(6, kNP, false, positions_) &&
           !bits_.past();
  }

  std::function<std::size_t(void*, std::size_t)> input_;
  BitReader bits_;
  Code lengths_, codes_, positions_;
  unsigned blockLeft_ = 0;
  Window window_{kWindow};
  bool broken_ = false;
};

std::size_t LharkDecoder::read(unsigned char* out, std::size_t size) {
  std::size_t n = 0;
  while (n < size) {
    if (unsigned char b; window_.copied(b)) {
      out[n++] = b;
      continue;
    }
    if (broken_) break;
    if (blockLeft_ == 0 && !readBlock()) {
      broken_ = true;
      break;
    }
    --blockLeft_;
    const int c = codes_.read(bits_);
    if (c < 0) {
      broken_ = true;
      break;
    }
    if (c < 256) {
      if (bits_.past()) {
        broken_ = true;
        break;
      }
      window_.put(static_cast<unsigned char>(c));
      out[n++] = static_cast<unsigned char>(c);
      continue;
    }
    unsigned length = 0;
    if (c < 264) {
      length = static_cast<unsigned>(c - 253);
    } else if (c < 288) {
      const int extra = (c - 260) / 4;
      length = ((4u + static_cast<unsigned>(c % 4)) << extra) + bits_.bits(extra) + 3;
    } else {
      length = 514;
    }
    const int p = positions_.read(bits_);
    if (p < 0) {
      broken_ = true;
      break;
    }
    unsigned back = static_cast<unsigned>(p);
    if (p > 3) {
      const int extra = (p - 2) / 2;
      back = ((2u + static_cast<unsigned>(p % 2)) << extra) + bits_.bits(extra);
    }
    if (bits_.past()) {
      broken_ = true;
      break;
    }
    window_.match(length, back + 1);
  }
  return n;
}

}  // namespace

bool lh2CountsRootUses(const std::function<std::function<std::size_t(void*, std::size_t)>()>& open,
                       std::uint64_t length, std::uint16_t crc) {
  // jLHA's way first; the other where the stream does not check out so.
  Lh2Decoder d(open(), true);
  std::vector<unsigned char> buf(1 << 14);
  std::uint64_t done = 0;
  std::uint16_t sum = 0;
  while (done < length) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), length - done));
    const std::size_t n = d.read(buf.data(), want);
    if (n == 0) break;
    sum = archive::crc16(buf.data(), n, sum);
    done += n;
    if (d.parts() == false) return true;  // the same either way
  }
  if (done == length && sum == crc) return true;
  // Not whole this way: the other, when it makes the stream whole.
  Lh2Decoder other(open(), false);
  done = 0;
  sum = 0;
  while (done < length) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), length - done));
    const std::size_t n = other.read(buf.data(), want);
    if (n == 0) break;
    sum = archive::crc16(buf.data(), n, sum);
    done += n;
  }
  return !(done == length && sum == crc);
}

std::unique_ptr<OldDecoder> oldDecoder(std::string_view method, std::function<std::size_t(void*, std::size_t)> input,
                                       bool lh2CountRootUses) {
  if (method == "-lh2-") return std::make_unique<Lh2Decoder>(std::move(input), lh2CountRootUses);
  if (method == "-lh3-") return std::make_unique<Lh3Decoder>(std::move(input));
  if (method == "-lk7-") return std::make_unique<LharkDecoder>(std::move(input));
  return nullptr;
}

}  // namespace unlha::lzh
