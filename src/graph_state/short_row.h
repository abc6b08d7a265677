// A short row: at most kUnsummarisedBlocks blocks (a few cache lines), so it
// keeps no summaries.  A scan makes the row's one summary word on the spot
// from every block, and a row XOR is the bit operation alone.
//
// Its one index word is the degree, a cache of the member count that a bulk
// update (a row XOR of more than one word, a copy) marks stale rather than
// recounts: any value at or above kStaleFloor.  kStaleDegree lies 2^62 above
// the floor and 2^62 below the top, so the updates that keep a degree (each
// single-bit update, each one-word XOR) add their change without looking:
// a known degree stays exact and a stale one stays stale, since no row sees
// 2^62 changes.  Reading code counts a stale row without storing the count;
// only a writer keeps it (BitSpan::count).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../cpu.h"
#include "row_layout.h"

#if KELVORIN_USE_SSE2
#include <emmintrin.h>
#endif

namespace kelvorin {

inline constexpr std::uint64_t kStaleFloor = std::uint64_t{1} << 62;
inline constexpr std::uint64_t kStaleDegree = std::uint64_t{2} << 62;

// Bit k set for each non-empty block of blocks[0 .. 8), without a branch: with
// SSE2 (every x86-64) two compares and two mask moves, elsewhere (and in a
// portable build, see cpu.h) eight compares the compiler may vectorise.
[[gnu::always_inline]] inline unsigned nonempty_blocks8(const Block* blocks) noexcept {
#if KELVORIN_USE_SSE2
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 4));
  const int empty = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low, zero))) |
                    _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(high, zero))) << 4;
  return ~static_cast<unsigned>(empty) & 0xffu;
#else
  unsigned bits = 0;
  for (unsigned k = 0; k < 8; ++k) bits |= static_cast<unsigned>(blocks[k] != 0) << k;
  return bits;
#endif
}

// The short kind's half of RowView and BitSpan (bit_set.h), which check
// indices and pass block b and the bit mask within it.
class ShortRow {
 public:
  explicit ShortRow(const RowParts& row) noexcept : row_(row) {}
  // Made on the spot for one call, never copied: a reader's half is const.
  ShortRow(const ShortRow&) = delete;
  ShortRow& operator=(const ShortRow&) = delete;

  // Read a block at a time up to the first member.
  std::uint64_t first() const noexcept {
    for (std::size_t b = 0; b < row_.block_count; ++b)
      if (row_.blocks[b] != 0) return b * kBlockBits + static_cast<unsigned>(std::countr_zero(row_.blocks[b]));
    return row_.bit_len;
  }

  // See RowView::for_each_block_from; start lies below the bit length.  A
  // summary word made on the spot: bit k for each non-empty block k, with no
  // branch on the blocks, eight at a time (nonempty_blocks8); then visited
  // as a kept summary word is.  Each block is read again when its turn
  // comes, so f may clear members of blocks ahead.
  template <class F>
  void for_each_block_from(std::uint64_t start, F&& f) const {
    const Block* const blocks = row_.blocks;
    const std::size_t count = row_.block_count, b0 = static_cast<std::size_t>(start / kBlockBits);
    SummaryWord nonempty = 0;
    std::size_t c = b0 & ~std::size_t{7};
    for (; c + 8 <= count; c += 8) nonempty |= static_cast<SummaryWord>(nonempty_blocks8(blocks + c)) << c;
    for (; c < count; ++c) nonempty |= static_cast<SummaryWord>(blocks[c] != 0) << c;
    nonempty &= ~SummaryWord{0} << b0;
    while (nonempty != 0) {
      const std::size_t b = static_cast<unsigned>(std::countr_zero(nonempty));
      nonempty &= nonempty - 1;
      Block word = blocks[b];
      if (b == b0) word &= ~Block{0} << (start % kBlockBits);
      if (word != 0 && !f(b, word)) return;
    }
  }

  bool insert(std::size_t b, Block mask) noexcept {
    const bool absent = (row_.blocks[b] & mask) == 0;
    row_.blocks[b] |= mask;
    *row_.index += absent;
    return absent;
  }

  void remove(std::size_t b, Block mask) noexcept {
    *row_.index -= (row_.blocks[b] & mask) != 0;
    row_.blocks[b] &= ~mask;
  }

  void flip(std::size_t b, Block mask) noexcept {
    row_.blocks[b] ^= mask;
    add_to_degree((row_.blocks[b] & mask) != 0 ? 1 : -1);
  }

  void replace(std::size_t b_from, Block m_from, std::size_t b_to, Block m_to) noexcept {
    row_.blocks[b_from] ^= m_from;
    row_.blocks[b_to] ^= m_to;
  }

  void flip_block(std::size_t b, Block bits) noexcept {
    const Block before = row_.blocks[b];
    row_.blocks[b] = before ^ bits;
    add_to_degree(std::popcount(row_.blocks[b]) - std::popcount(before));
  }

  // Up to two blocks keep the degree, as flip_block_range.
  void flip_blocks(const BlockWord* list, std::size_t count) noexcept {
    if (count <= 2) {
      for (std::size_t k = 0; k < count; ++k) flip_block(list[k].block, list[k].word);
      return;
    }
    for (std::size_t k = 0; k < count; ++k) row_.blocks[list[k].block] ^= list[k].word;
    *row_.index = kStaleDegree;
  }

  // A stretch of one word keeps the degree with two popcounts; beyond, the
  // degree goes stale and the XOR is all there is.
  void flip_block_range(std::size_t lo, BlockRange src) noexcept {
    Block* const blocks = row_.blocks;
    if (src.size <= 2) {
      std::uint64_t before = blocks[lo], x = src.data[0];
      if (src.size == 2) {
        before |= static_cast<std::uint64_t>(blocks[lo + 1]) << kBlockBits;
        x |= static_cast<std::uint64_t>(src.data[1]) << kBlockBits;
      }
      const std::uint64_t after = before ^ x;
      blocks[lo] = static_cast<Block>(after);
      if (src.size == 2) blocks[lo + 1] = static_cast<Block>(after >> kBlockBits);
      add_to_degree(std::popcount(x) - 2 * std::popcount(before & x));
      return;
    }
    xor_blocks(blocks + lo, src.data, src.size);
    *row_.index = kStaleDegree;
  }

  // Makes this row a copy of `other`, a short row of the same bit length.
  void assign(const Block* other) noexcept {
    std::copy_n(other, row_.block_count, row_.blocks);
    *row_.index = kStaleDegree;
  }

  void clear() noexcept {
    std::fill_n(row_.blocks, row_.block_count, Block{0});
    *row_.index = 0;
  }

 private:
  // Exact if it was, stale if it was.
  void add_to_degree(int delta) noexcept {
    *row_.index += static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
  }

  // The view's parts, not a copy: this lives for one call of the view's.
  const RowParts& row_;
};

}  // namespace kelvorin
