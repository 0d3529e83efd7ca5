#pragma once
// The pieces both packers share: a bit writer (most significant bit first,
// as every LHA method reads its bits) and a match finder over the whole
// input with hash chains, bounded by the dictionary the method can reach.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace unlha::lzss {

class BitWriter {
 public:
  // The low n bits of v (n up to 32), highest first.
  void put(int n, std::uint32_t v) {
    if (n == 0) return;
    acc_ = (acc_ << n) | (v & ((std::uint64_t{1} << n) - 1));
    bits_ += n;
    while (bits_ >= 8) {
      bits_ -= 8;
      out_.push_back(static_cast<char>(acc_ >> bits_));
    }
  }
  // The last byte is filled up with zero bits. No more than that: a reader
  // that finds eight bits or more behind the last block takes them for a
  // broken one.
  std::string finish() {
    if (bits_) put(8 - bits_, 0);
    return std::move(out_);
  }

 private:
  std::string out_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

struct Match {
  std::size_t length = 0;    // 0 when none of at least three bytes was found
  std::size_t distance = 0;  // 1 is the byte just before
};

class MatchFinder {
 public:
  // Matches reach at most maxDistance back and are at most maxLength long;
  // chain bounds the candidates tried per position.
  MatchFinder(std::string_view data, std::size_t maxDistance, std::size_t maxLength, std::size_t chain)
      : in_(reinterpret_cast<const unsigned char*>(data.data())),
        n_(data.size()),
        maxDistance_(maxDistance),
        maxLength_(maxLength),
        chain_(chain),
        head_(std::size_t{1} << kHashBits, -1) {
    std::size_t ring = 1;
    while (ring <= maxDistance) ring <<= 1;
    mask_ = ring - 1;
    prev_.assign(ring, -1);
  }

  // The longest match for the bytes at i (the earliest of equal ones).
  Match find(std::size_t i) const {
    Match best;
    if (i + 2 >= n_) return best;
    const std::size_t limit = std::min(maxLength_, n_ - i);
    std::size_t chain = chain_;
    for (std::int64_t c = head_[hash(i)]; c >= 0 && chain-- > 0; c = prev_[static_cast<std::size_t>(c) & mask_]) {
      const std::size_t cand = static_cast<std::size_t>(c);
      if (i - cand > maxDistance_) break;
      if (in_[cand + best.length] != in_[i + best.length]) continue;
      std::size_t l = 0;
      while (l < limit && in_[cand + l] == in_[i + l]) ++l;
      if (l > best.length) {
        best = {l, i - cand};
        if (l == limit) break;
      }
    }
    if (best.length < 3) best = {};
    return best;
  }

  // Makes the bytes at i a candidate for later positions (in order).
  void insert(std::size_t i) {
    if (i + 2 >= n_) return;
    const auto h = hash(i);
    prev_[i & mask_] = head_[h];
    head_[h] = static_cast<std::int64_t>(i);
  }

 private:
  static constexpr int kHashBits = 15;
  std::uint32_t hash(std::size_t i) const {
    return ((std::uint32_t{in_[i]} << 10) ^ (std::uint32_t{in_[i + 1]} << 5) ^ in_[i + 2]) & ((1u << kHashBits) - 1);
  }

  const unsigned char* in_;
  std::size_t n_;
  std::size_t maxDistance_, maxLength_, chain_;
  std::size_t mask_ = 0;
  std::vector<std::int64_t> head_, prev_;
};

}  // namespace unlha::lzss
