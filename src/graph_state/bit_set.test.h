// The reference bit set of the tests: owns its blocks and grows on insert,
// with none of the store's bookkeeping, so the store's rows can be checked
// against it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bit_set.h"

namespace kelvorin {

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

  std::uint64_t count() const noexcept {
    std::uint64_t total = 0;
    for (const Block b : blocks_) total += static_cast<unsigned>(std::popcount(b));
    return total;
  }
  bool empty() const noexcept {
    for (const Block b : blocks_)
      if (b != 0) return false;
    return true;
  }
  std::uint64_t first() const noexcept {
    for (std::size_t b = 0; b < blocks_.size(); ++b)
      if (blocks_[b] != 0) return b * kBlockBits + static_cast<unsigned>(std::countr_zero(blocks_[b]));
    return bit_len_;
  }

  template <class F>
  void for_each(F&& f) const {
    for_each_bit(BlockRange{blocks_.data(), blocks_.size()}, static_cast<F&&>(f));
  }

  bool operator==(const BitSet& other) const = default;

 private:
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
