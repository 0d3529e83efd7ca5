#include "lzh.h"

#include <algorithm>
#include <array>
#include <queue>
#include <vector>

#include "lzss.h"

namespace unlha::lzh {

namespace {

using lzss::BitWriter;

constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kNC = 255 + kMaxMatch + 2 - kThreshold;  // 510 literal/length codes
constexpr int kNT = 19;                                // codes of the code-length table
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr int kMaxBits = 16;

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
  std::uint32_t dist;  // distance - 1 for a match
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

    // A block whose matches all fall in one position code still gives that
    // code a bit (a second code stands by unused): a reader that looks for
    // at least one bit per code would otherwise lose a match that ends the
    // stream right at a byte boundary.
    const auto pIn = static_cast<std::size_t>(std::count_if(pFreq.begin(), pFreq.end(), [](auto f) { return f != 0; }));
    if (pIn == 1) ++pFreq[pFreq[0] ? 1 : 0];
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
  lzss::MatchFinder finder(data, (std::size_t{1} << p.dicbit) - 1, kMaxMatch, 96);
  BitWriter w;
  BlockWriter block(w, p);
  std::vector<Token> tokens;
  constexpr std::size_t kBlockTokens = 16384;
  tokens.reserve(kBlockTokens);
  std::size_t i = 0;
  while (i < n) {
    const lzss::Match m = finder.find(i);
    if (m.length) {
      tokens.push_back({static_cast<std::uint16_t>(256 + m.length - kThreshold), static_cast<std::uint32_t>(m.distance - 1)});
      for (std::size_t k = 0; k < m.length; ++k) finder.insert(i + k);
      i += m.length;
    } else {
      tokens.push_back({in[i], 0});
      finder.insert(i);
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

}  // namespace unlha::lzh
