#include "lzh.h"

#include <algorithm>
#include <array>
#include <queue>
#include <vector>

namespace unlha::lzh {

namespace {

constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kNC = 255 + kMaxMatch + 2 - kThreshold;  // 510 literal/length codes
constexpr int kNT = 19;                                // codes of the code-length table
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr int kMaxBits = 16;
constexpr int kNPMax = 17;

// ---------------------------------------------------------------- reading

class BitReader {
 public:
  explicit BitReader(std::string_view in) : p_(reinterpret_cast<const unsigned char*>(in.data())), n_(in.size()) {}
  std::uint32_t peek(int k) {
    fill();
    return static_cast<std::uint32_t>(acc_ >> (64 - k));
  }
  void skip(int k) {
    acc_ <<= k;
    bits_ -= k;
  }
  std::uint32_t get(int k) {
    if (k == 0) return 0;
    const std::uint32_t v = peek(k);
    skip(k);
    return v;
  }
  // True once the reader has gone well beyond the end of its input.
  bool exhausted() const { return pos_ > n_ + 8; }

 private:
  void fill() {
    while (bits_ <= 56) {
      const std::uint64_t b = pos_ < n_ ? p_[pos_] : 0;
      ++pos_;
      acc_ |= b << (56 - bits_);
      bits_ += 8;
    }
  }
  const unsigned char* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

// A canonical Huffman code read from its code lengths; shorter codes come
// first, and codes of one length go in symbol order.
class Decoder {
 public:
  // All symbols but one unused: that symbol takes no bits.
  void setSingle(int symbol) {
    single_ = symbol;
    valid_ = true;
  }
  bool build(const std::uint8_t* lengths, int n) {
    single_ = -1;
    valid_ = false;
    count_.fill(0);
    for (int i = 0; i < n; ++i) {
      if (lengths[i] > kMaxBits) return false;
      ++count_[lengths[i]];
    }
    count_[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left <<= 1;
      left -= count_[len];
      if (left < 0) return false;  // more codes than the lengths allow
    }
    std::array<int, kMaxBits + 2> offs{};
    for (int len = 1; len <= kMaxBits; ++len) offs[len + 1] = offs[len] + count_[len];
    symbols_.assign(static_cast<std::size_t>(offs[kMaxBits + 1]), 0);
    for (int i = 0; i < n; ++i)
      if (lengths[i]) symbols_[static_cast<std::size_t>(offs[lengths[i]]++)] = static_cast<std::uint16_t>(i);
    valid_ = !symbols_.empty();
    return true;
  }
  // The next symbol, or -1 when the bits match no code.
  int decode(BitReader& in) const {
    if (!valid_) return -1;
    if (single_ >= 0) return single_;
    const std::uint32_t v = in.peek(kMaxBits);
    int first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      const int code = static_cast<int>(v >> (kMaxBits - len));
      const int count = count_[len];
      if (code - first < count) {
        in.skip(len);
        return symbols_[static_cast<std::size_t>(index + code - first)];
      }
      index += count;
      first = (first + count) << 1;
    }
    return -1;
  }

 private:
  std::array<int, kMaxBits + 1> count_{};
  std::vector<std::uint16_t> symbols_;
  int single_ = -1;
  bool valid_ = false;
};

bool readPtLen(BitReader& in, int nn, int nbit, int special, Decoder& d) {
  std::array<std::uint8_t, kNT> len{};
  const int n = static_cast<int>(in.get(nbit));
  if (n == 0) {
    const int c = static_cast<int>(in.get(nbit));
    if (c >= nn) return false;
    d.setSingle(c);
    return true;
  }
  if (n > nn) return false;
  int i = 0;
  while (i < n) {
    const std::uint32_t v = in.peek(16);
    int c = static_cast<int>(v >> 13);
    if (c == 7) {
      std::uint32_t mask = 1u << 12;
      while (v & mask) {
        mask >>= 1;
        if (++c > kMaxBits) return false;
      }
    }
    in.skip(c < 7 ? 3 : c - 3);
    len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(c);
    if (i == special) {
      int z = static_cast<int>(in.get(2));
      while (z-- > 0 && i < nn) len[static_cast<std::size_t>(i++)] = 0;
    }
  }
  return d.build(len.data(), nn);
}

bool readCLen(BitReader& in, const Decoder& pt, Decoder& d) {
  std::array<std::uint8_t, kNC> len{};
  const int n = static_cast<int>(in.get(kCBit));
  if (n == 0) {
    const int c = static_cast<int>(in.get(kCBit));
    if (c >= kNC) return false;
    d.setSingle(c);
    return true;
  }
  if (n > kNC) return false;
  int i = 0;
  while (i < n) {
    const int c = pt.decode(in);
    if (c < 0) return false;
    if (c <= 2) {
      const int run = c == 0 ? 1 : c == 1 ? static_cast<int>(in.get(4)) + 3 : static_cast<int>(in.get(kCBit)) + 20;
      if (i + run > kNC) return false;
      for (int k = 0; k < run; ++k) len[static_cast<std::size_t>(i++)] = 0;
    } else {
      len[static_cast<std::size_t>(i++)] = static_cast<std::uint8_t>(c - 2);
    }
  }
  return d.build(len.data(), kNC);
}

// ---------------------------------------------------------------- writing

class BitWriter {
 public:
  void put(int n, std::uint32_t v) {
    for (int i = n - 1; i >= 0; --i) {
      cur_ = static_cast<std::uint8_t>((cur_ << 1) | ((v >> i) & 1));
      if (++fill_ == 8) {
        out_.push_back(static_cast<char>(cur_));
        cur_ = 0;
        fill_ = 0;
      }
    }
  }
  std::string finish() {
    if (fill_) put(8 - fill_, 0);
    return std::move(out_);
  }

 private:
  std::string out_;
  std::uint8_t cur_ = 0;
  int fill_ = 0;
};

// Code lengths of at most kMaxBits for the given frequencies; returns the
// number of symbols in use. With fewer than two in use no lengths are set.
int makeLengths(const std::vector<std::uint32_t>& freqIn, std::vector<std::uint8_t>& len) {
  const int n = static_cast<int>(freqIn.size());
  len.assign(static_cast<std::size_t>(n), 0);
  std::vector<std::uint64_t> freq(freqIn.begin(), freqIn.end());
  int used = 0;
  for (auto f : freq) used += f != 0;
  if (used < 2) return used;
  for (;;) {
    // Nodes 0..n-1 are the leaves, the rest inner nodes.
    std::vector<int> parent(static_cast<std::size_t>(2 * n), -1);
    using Item = std::pair<std::uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    for (int i = 0; i < n; ++i)
      if (freq[static_cast<std::size_t>(i)]) heap.push({freq[static_cast<std::size_t>(i)], i});
    int next = n;
    while (heap.size() > 1) {
      const Item a = heap.top();
      heap.pop();
      const Item b = heap.top();
      heap.pop();
      parent[static_cast<std::size_t>(a.second)] = next;
      parent[static_cast<std::size_t>(b.second)] = next;
      heap.push({a.first + b.first, next++});
    }
    int maxLen = 0;
    for (int i = 0; i < n; ++i) {
      if (!freq[static_cast<std::size_t>(i)]) continue;
      int d = 0;
      for (int k = i; parent[static_cast<std::size_t>(k)] >= 0; k = parent[static_cast<std::size_t>(k)]) ++d;
      len[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::min(d, 255));
      maxLen = std::max(maxLen, d);
    }
    if (maxLen <= kMaxBits) return used;
    for (auto& f : freq)
      if (f) f = (f + 1) / 2;
  }
}

// Canonical codes for the lengths (the order the decoder expects).
std::vector<std::uint16_t> makeCodes(const std::vector<std::uint8_t>& len) {
  std::array<int, kMaxBits + 2> count{};
  for (auto l : len) ++count[l];
  count[0] = 0;
  std::array<std::uint32_t, kMaxBits + 2> next{};
  std::uint32_t code = 0;
  for (int l = 1; l <= kMaxBits; ++l) {
    code = (code + static_cast<std::uint32_t>(count[static_cast<std::size_t>(l - 1)])) << 1;
    next[static_cast<std::size_t>(l)] = code;
  }
  std::vector<std::uint16_t> codes(len.size(), 0);
  for (std::size_t i = 0; i < len.size(); ++i)
    if (len[i]) codes[i] = static_cast<std::uint16_t>(next[len[i]]++);
  return codes;
}

int positionCode(std::uint32_t distMinusOne) {
  int c = 0;
  while (distMinusOne) {
    ++c;
    distMinusOne >>= 1;
  }
  return c;
}

struct Token {
  std::uint16_t c;     // literal byte or 256 + length - 3
  std::uint16_t dist;  // distance - 1 for a match
};

class BlockWriter {
 public:
  BlockWriter(BitWriter& w, const Params& p) : w_(w), p_(p) {}

  void write(const std::vector<Token>& tokens) {
    std::vector<std::uint32_t> cFreq(kNC, 0), pFreq(static_cast<std::size_t>(p_.np), 0);
    for (const Token& t : tokens) {
      ++cFreq[t.c];
      if (t.c >= 256) ++pFreq[static_cast<std::size_t>(positionCode(t.dist))];
    }
    w_.put(16, static_cast<std::uint32_t>(tokens.size()));

    std::vector<std::uint8_t> cLen;
    const int cUsed = makeLengths(cFreq, cLen);
    if (cUsed >= 2) {
      cCode_ = makeCodes(cLen);
      cLen_ = cLen;
      std::vector<std::uint32_t> tFreq(kNT, 0);
      countT(tFreq);
      std::vector<std::uint8_t> tLen;
      if (makeLengths(tFreq, tLen) >= 2) {
        tLen_ = tLen;
        tCode_ = makeCodes(tLen);
        writePtLen(tLen_, kTBit, 3);
      } else {
        const int only = static_cast<int>(std::find_if(tFreq.begin(), tFreq.end(), [](auto f) { return f != 0; }) - tFreq.begin());
        tLen_.assign(kNT, 0);
        tCode_.assign(kNT, 0);
        w_.put(kTBit, 0);
        w_.put(kTBit, static_cast<std::uint32_t>(only));
      }
      writeCLen();
    } else {
      const int only = static_cast<int>(std::find_if(cFreq.begin(), cFreq.end(), [](auto f) { return f != 0; }) - cFreq.begin());
      cLen_.assign(kNC, 0);
      cCode_.assign(kNC, 0);
      w_.put(kTBit, 0);
      w_.put(kTBit, 0);
      w_.put(kCBit, 0);
      w_.put(kCBit, static_cast<std::uint32_t>(only));
    }

    std::vector<std::uint8_t> pLen;
    const int pUsed = makeLengths(pFreq, pLen);
    std::vector<std::uint16_t> pCode;
    if (pUsed >= 2) {
      pCode = makeCodes(pLen);
      writePtLen(pLen, p_.pbit, -1);
    } else {
      int only = static_cast<int>(std::find_if(pFreq.begin(), pFreq.end(), [](auto f) { return f != 0; }) - pFreq.begin());
      if (only >= p_.np) only = 0;
      pLen.assign(static_cast<std::size_t>(p_.np), 0);
      pCode.assign(static_cast<std::size_t>(p_.np), 0);
      w_.put(p_.pbit, 0);
      w_.put(p_.pbit, static_cast<std::uint32_t>(only));
    }

    for (const Token& t : tokens) {
      w_.put(cLen_[t.c], cCode_[t.c]);
      if (t.c >= 256) {
        const int pc = positionCode(t.dist);
        w_.put(pLen[static_cast<std::size_t>(pc)], pCode[static_cast<std::size_t>(pc)]);
        if (pc > 1) w_.put(pc - 1, t.dist & ((1u << (pc - 1)) - 1));
      }
    }
  }

 private:
  // The run coding of the literal/length code lengths, counted or written.
  template <class Emit>
  void runs(Emit emit) {
    int n = kNC;
    while (n > 0 && cLen_[static_cast<std::size_t>(n - 1)] == 0) --n;
    int i = 0;
    while (i < n) {
      const int k = cLen_[static_cast<std::size_t>(i++)];
      if (k == 0) {
        int count = 1;
        while (i < n && cLen_[static_cast<std::size_t>(i)] == 0) {
          ++i;
          ++count;
        }
        if (count <= 2) {
          for (int j = 0; j < count; ++j) emit(0, 0, 0);
        } else if (count <= 18) {
          emit(1, 4, count - 3);
        } else if (count == 19) {
          emit(0, 0, 0);
          emit(1, 4, 15);
        } else {
          emit(2, kCBit, count - 20);
        }
      } else {
        emit(k + 2, 0, 0);
      }
    }
  }
  void countT(std::vector<std::uint32_t>& tFreq) {
    runs([&](int sym, int, int) { ++tFreq[static_cast<std::size_t>(sym)]; });
  }
  void writeCLen() {
    int n = kNC;
    while (n > 0 && cLen_[static_cast<std::size_t>(n - 1)] == 0) --n;
    w_.put(kCBit, static_cast<std::uint32_t>(n));
    runs([&](int sym, int extraBits, int extra) {
      w_.put(tLen_[static_cast<std::size_t>(sym)], tCode_[static_cast<std::size_t>(sym)]);
      if (extraBits) w_.put(extraBits, static_cast<std::uint32_t>(extra));
    });
  }
  void writePtLen(const std::vector<std::uint8_t>& len, int nbit, int special) {
    int n = static_cast<int>(len.size());
    while (n > 0 && len[static_cast<std::size_t>(n - 1)] == 0) --n;
    w_.put(nbit, static_cast<std::uint32_t>(n));
    int i = 0;
    while (i < n) {
      const int k = len[static_cast<std::size_t>(i++)];
      if (k <= 6)
        w_.put(3, static_cast<std::uint32_t>(k));
      else
        w_.put(k - 3, (1u << (k - 3)) - 2);
      if (i == special) {
        while (i < 6 && len[static_cast<std::size_t>(i)] == 0) ++i;
        w_.put(2, static_cast<std::uint32_t>((i - 3) & 3));
      }
    }
  }

  BitWriter& w_;
  const Params& p_;
  std::vector<std::uint8_t> cLen_, tLen_;
  std::vector<std::uint16_t> cCode_, tCode_;
};

}  // namespace

Params paramsFor(int dicbit) {
  Params p;
  p.dicbit = dicbit;
  p.np = dicbit + 1;
  p.pbit = dicbit <= 13 ? 4 : 5;
  return p;
}

std::string encode(std::string_view data, const Params& p) {
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  const std::size_t maxDist = (std::size_t{1} << p.dicbit) - 1;
  constexpr int kHashBits = 15;
  constexpr std::size_t kChain = 96;
  std::vector<std::int64_t> head(std::size_t{1} << kHashBits, -1);
  const std::size_t ring = std::size_t{1} << p.dicbit;
  std::vector<std::int64_t> prev(ring, -1);
  auto hash = [&](std::size_t i) {
    return ((std::uint32_t{in[i]} << 10) ^ (std::uint32_t{in[i + 1]} << 5) ^ in[i + 2]) & ((1u << kHashBits) - 1);
  };
  auto insert = [&](std::size_t i) {
    if (i + 2 >= n) return;
    const auto h = hash(i);
    prev[i & (ring - 1)] = head[h];
    head[h] = static_cast<std::int64_t>(i);
  };

  BitWriter w;
  BlockWriter block(w, p);
  std::vector<Token> tokens;
  constexpr std::size_t kBlockTokens = 16384;
  tokens.reserve(kBlockTokens);
  std::size_t i = 0;
  while (i < n) {
    std::size_t bestLen = 0, bestDist = 0;
    if (i + 2 < n) {
      const std::size_t limit = std::min<std::size_t>(kMaxMatch, n - i);
      std::size_t chain = kChain;
      for (std::int64_t c = head[hash(i)]; c >= 0 && chain-- > 0; c = prev[static_cast<std::size_t>(c) & (ring - 1)]) {
        const std::size_t cand = static_cast<std::size_t>(c);
        if (i - cand > maxDist) break;
        if (in[cand + bestLen] != in[i + bestLen]) continue;
        std::size_t l = 0;
        while (l < limit && in[cand + l] == in[i + l]) ++l;
        if (l > bestLen) {
          bestLen = l;
          bestDist = i - cand;
          if (l == limit) break;
        }
      }
    }
    if (bestLen >= static_cast<std::size_t>(kThreshold)) {
      tokens.push_back({static_cast<std::uint16_t>(256 + bestLen - kThreshold), static_cast<std::uint16_t>(bestDist - 1)});
      for (std::size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      tokens.push_back({in[i], 0});
      insert(i);
      ++i;
    }
    if (tokens.size() == kBlockTokens) {
      block.write(tokens);
      tokens.clear();
    }
  }
  if (!tokens.empty()) block.write(tokens);
  return w.finish();
}

bool decode(std::string_view inData, std::uint64_t outSize, const Params& p, const Sink& sink) {
  if (p.np > kNPMax || p.dicbit < 12 || p.dicbit > 16) return false;
  BitReader in(inData);
  const std::size_t dicSize = std::size_t{1} << p.dicbit;
  const std::size_t mask = dicSize - 1;
  std::vector<char> window(dicSize, ' ');
  std::string chunk;
  constexpr std::size_t kChunk = 1 << 16;
  chunk.reserve(kChunk);
  std::uint64_t done = 0;
  std::size_t pos = 0;
  Decoder pt, c, pd;
  std::uint32_t blockLeft = 0;
  auto put = [&](char b) -> bool {
    window[pos] = b;
    pos = (pos + 1) & mask;
    chunk.push_back(b);
    ++done;
    if (chunk.size() == kChunk) {
      if (!sink(chunk.data(), chunk.size())) return false;
      chunk.clear();
    }
    return true;
  };
  while (done < outSize) {
    if (blockLeft == 0) {
      blockLeft = in.get(16);
      if (blockLeft == 0) return false;
      if (!readPtLen(in, kNT, kTBit, 3, pt)) return false;
      if (!readCLen(in, pt, c)) return false;
      if (!readPtLen(in, p.np, p.pbit, -1, pd)) return false;
    }
    --blockLeft;
    const int sym = c.decode(in);
    if (sym < 0) return false;
    if (sym < 256) {
      if (!put(static_cast<char>(sym))) return false;
    } else {
      const std::uint64_t len = static_cast<std::uint64_t>(sym - 256 + kThreshold);
      int j = pd.decode(in);
      if (j < 0) return false;
      std::uint32_t dist = static_cast<std::uint32_t>(j);
      if (j > 1) dist = (1u << (j - 1)) + in.get(j - 1);
      std::size_t from = (pos - dist - 1) & mask;
      const std::uint64_t take = std::min(len, outSize - done);
      for (std::uint64_t k = 0; k < take; ++k) {
        if (!put(window[from])) return false;
        from = (from + 1) & mask;
      }
    }
    if (in.exhausted()) return false;
  }
  if (!chunk.empty() && !sink(chunk.data(), chunk.size())) return false;
  return true;
}

}  // namespace unlha::lzh
