// Adjacency bit sets: bit vectors of 32-bit blocks with a bit length.
//
// Index i lives in block i / 32 at bit i % 32 (least significant first).  The
// storage holds exactly ceil(bit_len / 32) blocks and every bit of the last
// block at or beyond the bit length is zero.
//
// `BitSpan` is a non-owning view of such a set; the state store keeps all of
// its rows in one allocation and hands out spans.  `BitSet` owns its blocks and
// grows on insert.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../panic.h"

namespace kelvorin {

using Block = std::uint32_t;
inline constexpr std::size_t kBlockBits = 32;

constexpr std::size_t blocks_for_bits(std::uint64_t bits) {
  return static_cast<std::size_t>(bits / kBlockBits + (bits % kBlockBits != 0));
}

// Calls f(index) for every set bit of blocks[0 .. count), ascending.  The
// blocks are read one at a time into a working copy, so f may change bits of
// blocks that have not been reached yet only if the caller wants that seen.
template <class F>
inline void for_each_bit(const Block* blocks, std::size_t count, F&& f) {
  for (std::size_t b = 0; b < count; ++b) {
    Block word = blocks[b];
    while (word != 0) {
      const unsigned bit = static_cast<unsigned>(std::countr_zero(word));
      word &= word - 1;
      f(static_cast<std::uint64_t>(b * kBlockBits + bit));
    }
  }
}

class BitSpan {
 public:
  BitSpan(Block* blocks, std::uint64_t bit_len) noexcept
      : blocks_(blocks), block_count_(blocks_for_bits(bit_len)), bit_len_(bit_len) {}

  std::uint64_t bit_len() const noexcept { return bit_len_; }
  std::size_t block_count() const noexcept { return block_count_; }
  Block* blocks() noexcept { return blocks_; }
  const Block* blocks() const noexcept { return blocks_; }

  bool contains(std::uint64_t i) const noexcept {
    return i < bit_len_ && ((blocks_[i / kBlockBits] >> (i % kBlockBits)) & 1u) != 0;
  }

  // A span cannot grow: every index the engine inserts into a row of the store
  // lies below the row's bit length.
  bool insert(std::uint64_t i) {
    if (i >= bit_len_) [[unlikely]] {
      panic_index_out_of_bounds(block_count_, i / kBlockBits);
    }
    Block& block = blocks_[i / kBlockBits];
    const Block mask = Block{1} << (i % kBlockBits);
    const bool absent = (block & mask) == 0;
    block |= mask;
    return absent;
  }

  void remove(std::uint64_t i) noexcept {
    if (i < bit_len_) blocks_[i / kBlockBits] &= ~(Block{1} << (i % kBlockBits));
  }

  std::uint64_t count() const noexcept {
    std::uint64_t total = 0;
    for (std::size_t b = 0; b < block_count_; ++b) total += static_cast<unsigned>(std::popcount(blocks_[b]));
    return total;
  }

  bool empty() const noexcept {
    for (std::size_t b = 0; b < block_count_; ++b)
      if (blocks_[b] != 0) return false;
    return true;
  }

  // Lowest member, or bit_len() when the set is empty.
  std::uint64_t first() const noexcept {
    for (std::size_t b = 0; b < block_count_; ++b)
      if (blocks_[b] != 0) return b * kBlockBits + static_cast<unsigned>(std::countr_zero(blocks_[b]));
    return bit_len_;
  }

  template <class F>
  void for_each(F&& f) const {
    for_each_bit(blocks_, block_count_, static_cast<F&&>(f));
  }

  // Copies the members of a span of the same bit length.
  void assign(const BitSpan& other) noexcept {
    for (std::size_t b = 0; b < block_count_; ++b) blocks_[b] = other.blocks_[b];
  }

 private:
  Block* blocks_;
  std::size_t block_count_;
  std::uint64_t bit_len_;
};

class BitSet {
 public:
  BitSet() = default;
  explicit BitSet(std::uint64_t bit_len) : blocks_(blocks_for_bits(bit_len), 0), bit_len_(bit_len) {}

  std::uint64_t bit_len() const noexcept { return bit_len_; }
  std::size_t block_count() const noexcept { return blocks_.size(); }
  const Block* blocks() const noexcept { return blocks_.data(); }

  bool contains(std::uint64_t i) const noexcept {
    return i < bit_len_ && ((blocks_[i / kBlockBits] >> (i % kBlockBits)) & 1u) != 0;
  }

  // Grows the set to bit length i + 1 first when i is beyond it.
  bool insert(std::uint64_t i) {
    if (i >= bit_len_) grow(i + 1);
    Block& block = blocks_[i / kBlockBits];
    const Block mask = Block{1} << (i % kBlockBits);
    const bool absent = (block & mask) == 0;
    block |= mask;
    return absent;
  }

  void remove(std::uint64_t i) noexcept {
    if (i < bit_len_) blocks_[i / kBlockBits] &= ~(Block{1} << (i % kBlockBits));
  }

  std::uint64_t count() const noexcept { return view().count(); }
  bool empty() const noexcept { return view().empty(); }
  std::uint64_t first() const noexcept { return view().first(); }

  template <class F>
  void for_each(F&& f) const {
    for_each_bit(blocks_.data(), blocks_.size(), static_cast<F&&>(f));
  }

  // Makes this set a copy of `other`, reusing the storage when it is large
  // enough.
  void assign(const BitSpan& other) {
    blocks_.assign(other.blocks(), other.blocks() + other.block_count());
    bit_len_ = other.bit_len();
  }

  bool operator==(const BitSet& other) const = default;

 private:
  BitSpan view() const noexcept { return BitSpan(const_cast<Block*>(blocks_.data()), bit_len_); }

  void grow(std::uint64_t new_len) {
    if (new_len > (std::uint64_t{1} << 63)) panic("capacity overflow");
    blocks_.resize(blocks_for_bits(new_len), 0);
    bit_len_ = new_len;
    const std::uint64_t tail = new_len % kBlockBits;
    if (tail != 0) blocks_.back() &= (Block{1} << tail) - 1;
  }

  std::vector<Block> blocks_;
  std::uint64_t bit_len_ = 0;
};

}  // namespace kelvorin
