// The "-lh1-" packer (the method of the first LHA archivers): LZSS over a
// 4 KiB dictionary; literals and match lengths share one adaptive Huffman
// code that follows the symbol counts as the data goes by, and a distance is
// sent as a fixed code for its upper six bits and its lower six bits as they
// are.
#include <algorithm>
#include <array>
#include <cstdint>

#include "lzh.h"
#include "lzss.h"

namespace unlha::lzh {

namespace {

constexpr int kDictionary = 4096;
constexpr int kMaxMatch = 60;
constexpr int kMinMatch = 3;
constexpr int kSymbols = 256 + kMaxMatch - kMinMatch + 1;  // 314: bytes, then lengths 3 to 60
constexpr int kNodes = kSymbols * 2 - 1;
constexpr int kRoot = kNodes - 1;
constexpr unsigned kRebuildAt = 0x8000;

// The adaptive code: a Huffman tree whose nodes are kept in order of their
// counts (node k and k + 1 are siblings for even k), each count raised as
// its symbol is sent, nodes swapped to keep the order, and every count
// halved once the root reaches kRebuildAt. The reader runs the same tree,
// so both sides must update it in exactly this way.
class AdaptiveCode {
 public:
  AdaptiveCode() {
    for (int i = 0; i < kSymbols; ++i) {
      freq_[i] = 1;
      son_[i] = i + kNodes;
      parent_[i + kNodes] = i;
    }
    for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      son_[j] = i;
      parent_[i] = parent_[i + 1] = j;
    }
    freq_[kNodes] = 0xFFFF;  // stops the search for a node to swap with
    parent_[kRoot] = 0;
  }

  void send(lzss::BitWriter& w, int symbol) {
    // Bits from the leaf up; the root's child is sent first.
    std::uint32_t code = 0;
    int length = 0;
    for (int k = parent_[symbol + kNodes]; k != kRoot; k = parent_[k]) {
      code |= static_cast<std::uint32_t>(k & 1) << length;
      ++length;
    }
    w.put(length, code);
    update(symbol);
  }

 private:
  void update(int symbol) {
    if (freq_[kRoot] == kRebuildAt) rebuild();
    int c = parent_[symbol + kNodes];
    do {
      const unsigned k = ++freq_[c];
      int l = c + 1;
      if (k > freq_[l]) {
        // Swap with the last node of a smaller count.
        while (k > freq_[++l]) {
        }
        --l;
        freq_[c] = freq_[l];
        freq_[l] = k;
        const int i = son_[c];
        parent_[i] = l;
        if (i < kNodes) parent_[i + 1] = l;
        const int j = son_[l];
        son_[l] = i;
        parent_[j] = c;
        if (j < kNodes) parent_[j + 1] = c;
        son_[c] = j;
        c = l;
      }
    } while ((c = parent_[c]) != 0);
  }

  void rebuild() {
    // The leaves with halved counts first, in their order...
    int j = 0;
    for (int i = 0; i < kNodes; ++i) {
      if (son_[i] >= kNodes) {
        freq_[j] = (freq_[i] + 1) / 2;
        son_[j] = son_[i];
        ++j;
      }
    }
    // ...then each new inner node put in after the nodes of no larger count.
    for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
      const unsigned f = freq_[i] + freq_[i + 1];
      int k = n - 1;
      while (f < freq_[k]) --k;
      ++k;
      std::copy_backward(freq_.begin() + k, freq_.begin() + n, freq_.begin() + n + 1);
      std::copy_backward(son_.begin() + k, son_.begin() + n, son_.begin() + n + 1);
      freq_[k] = f;
      son_[k] = i;
    }
    for (int i = 0; i < kNodes; ++i) {
      const int k = son_[i];
      parent_[k] = i;
      if (k < kNodes) parent_[k + 1] = i;
    }
  }

  std::array<unsigned, kNodes + 1> freq_{};
  std::array<int, kNodes> son_{};
  std::array<int, kNodes + kSymbols> parent_{};
};

// The fixed code of a distance's upper six bits: code lengths 3 to 8, the
// shorter ones for the nearer distances, codes given in canonical order.
struct PositionCode {
  std::array<std::uint8_t, 64> length{};
  std::array<std::uint8_t, 64> code{};
  PositionCode() {
    // The first upper value of each length from 4 on.
    constexpr std::array<int, 5> kFirst = {1, 4, 12, 24, 48};
    int len = 3;
    unsigned next = 0;
    for (int v = 0; v < 64; ++v) {
      if (len - 3 < static_cast<int>(kFirst.size()) && v == kFirst[static_cast<std::size_t>(len - 3)]) {
        ++len;
        next <<= 1;
      }
      length[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(len);
      code[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(next++);
    }
  }
};

}  // namespace

std::string encodeLh1(std::string_view data) {
  static const PositionCode kPosition;
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  // The reader keeps the bytes still to come in the same 4 KiB ring.
  lzss::MatchFinder finder(data, kDictionary - kMaxMatch, kMaxMatch, 64);
  lzss::BitWriter w;
  AdaptiveCode code;
  std::size_t i = 0;
  while (i < data.size()) {
    const lzss::Match m = finder.find(i);
    if (m.length) {
      code.send(w, static_cast<int>(256 + m.length - kMinMatch));
      const auto back = static_cast<std::uint32_t>(m.distance - 1);
      const std::size_t upper = back >> 6;
      w.put(kPosition.length[upper], kPosition.code[upper]);
      w.put(6, back & 0x3F);
      for (std::size_t k = 0; k < m.length; ++k) finder.insert(i + k);
      i += m.length;
    } else {
      code.send(w, in[i]);
      finder.insert(i);
      ++i;
    }
  }
  return w.finish();
}

}  // namespace unlha::lzh
