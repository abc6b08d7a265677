// How the state store lays out a row, and the word loops shared by both kinds
// of row (short_row.h, summarised_row.h).
//
// A row is a bit vector of 32-bit blocks with a bit length.  Index i lives in
// block i / 32 at bit i % 32 (least significant first).  The storage holds
// exactly ceil(bit_len / 32) blocks and every bit of the last block at or
// beyond the bit length is zero.  Beside its blocks a row keeps index words
// (RowIndex): its degree and, for a long row, two levels of summary.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tuning.h"

namespace kelvorin {

using Block = std::uint32_t;
inline constexpr std::size_t kBlockBits = 32;
// Word-parallel loops read two adjacent blocks as one 64-bit word, the first
// block in the low half.
static_assert(std::endian::native == std::endian::little);

constexpr std::size_t blocks_for_bits(std::uint64_t bits) {
  return static_cast<std::size_t>(bits / kBlockBits + (bits % kBlockBits != 0));
}

// A run of raw blocks: bits of a set with no degree or summaries, such as a
// reduction's kind sets on the stack or the source of a row XOR.
struct BlockRange {
  const Block* data;
  std::size_t size;
};

// A non-empty block of a set and its index; lists of them stay uninitialised
// until written, so a buffer of them on the stack costs nothing to make.
struct BlockWord {
  std::uint32_t block;
  Block word;
};

// Calls f(index) for every set bit of the blocks, ascending, index 0 being
// bit 0 of blocks.data[0].  The blocks are read one at a time into a working
// copy, so f may change bits of blocks that have not been reached yet only
// if the caller wants that seen.  Always inlined, so that f's body is
// compiled for the caller's target (an AVX2 clone's XOR stays 256 bits wide).
template <class F>
[[gnu::always_inline]] inline void for_each_bit(BlockRange blocks, F&& f) {
  for (std::size_t b = 0; b < blocks.size; ++b) {
    Block word = blocks.data[b];
    while (word != 0) {
      const unsigned bit = static_cast<unsigned>(std::countr_zero(word));
      word &= word - 1;
      f(static_cast<std::uint64_t>(b * kBlockBits + bit));
    }
  }
}

// dst[0 .. n) ^= src[0 .. n), eight blocks at a time as four 64-bit words
// (one 256-bit word where the caller is built for AVX2, two 128-bit ones
// otherwise), then two at a time; the two must not overlap.
[[gnu::always_inline]] inline void xor_blocks(Block* __restrict dst, const Block* __restrict src,
                                              std::size_t n) noexcept {
  std::size_t b = 0;
  // The attribute in this place binds to the type under both GCC and clang
  // (clang ignores it after `using Wide = std::uint64_t`).
  typedef std::uint64_t Wide __attribute__((vector_size(32)));
  static_assert(sizeof(Wide) == 8 * sizeof(Block));
  for (; b + 8 <= n; b += 8) {
    Wide x, y;
    std::memcpy(&x, dst + b, sizeof x);
    std::memcpy(&y, src + b, sizeof y);
    x ^= y;
    std::memcpy(dst + b, &x, sizeof x);
  }
  for (; b + 2 <= n; b += 2) {
    std::uint64_t x, y;
    std::memcpy(&x, dst + b, sizeof x);
    std::memcpy(&y, src + b, sizeof y);
    x ^= y;
    std::memcpy(dst + b, &x, sizeof x);
  }
  if (b < n) dst[b] ^= src[b];
}

// The members of a run of blocks, counted over the line: how a stale degree
// is counted (short_row.h).  Out of line and with the row's parts as
// arguments, so that a count of a row stays a load and a test where it is
// inlined and the row need not be put in memory for the call.
[[gnu::noinline]] inline std::uint64_t count_members(const Block* blocks, std::size_t count) noexcept {
  // Two blocks a popcount, in two sums that do not wait on each other.
  std::uint64_t total = 0, other = 0;
  std::size_t b = 0;
  for (; b + 4 <= count; b += 4) {
    std::uint64_t low, high;
    std::memcpy(&low, blocks + b, sizeof low);
    std::memcpy(&high, blocks + b + 2, sizeof high);
    total += static_cast<unsigned>(std::popcount(low));
    other += static_cast<unsigned>(std::popcount(high));
  }
  for (; b < count; ++b) total += static_cast<unsigned>(std::popcount(blocks[b]));
  return total + other;
}

// Rows come in two kinds, by length alone, so every row of a store is of one
// kind and the test of it predicts perfectly:
// - short rows, of at most kUnsummarisedBlocks blocks (a few cache lines, see
//   tuning.h), keep only a degree, which a bulk update may leave stale
//   (short_row.h);
// - longer rows keep an exact degree and two levels of summary, so that
//   scans skip empty stretches (summarised_row.h).
using SummaryWord = std::uint64_t;
inline constexpr std::size_t kSummaryBits = 64;
inline constexpr std::size_t kUnsummarisedBlocks = tuning::kUnsummarisedBlocks;
// A short row's scan makes one summary word for the whole row.
static_assert(kUnsummarisedBlocks <= kSummaryBits);

constexpr std::size_t summary_words_for_blocks(std::size_t blocks) {
  return blocks / kSummaryBits + (blocks % kSummaryBits != 0);
}
constexpr std::size_t top_words_for_blocks(std::size_t blocks) {
  return summary_words_for_blocks(summary_words_for_blocks(blocks));
}
// Whether a row of `bits` bits keeps summaries, and the summary and top
// words it keeps and reads: none when it is short.
constexpr bool summarised_row(std::uint64_t bits) {
  return bits > kUnsummarisedBlocks * kBlockBits;
}
constexpr std::size_t row_summary_words(std::uint64_t bits) {
  return summarised_row(bits) ? summary_words_for_blocks(blocks_for_bits(bits)) : 0;
}
constexpr std::size_t row_top_words(std::uint64_t bits) {
  return summarised_row(bits) ? top_words_for_blocks(blocks_for_bits(bits)) : 0;
}

// Where a row's bookkeeping lives: row_index_words(bit length) words in a
// run, the degree first, then the summary words, then the top words (a short
// row has only the degree).  One pointer, so that a row costs one multiply
// to find and one register to hold, and the summary words are found from it
// only where a summarised row's code needs them.
struct RowIndex {
  std::uint64_t* words;
};
constexpr std::size_t row_index_words(std::uint64_t bits) {
  return 1 + row_summary_words(bits) + row_top_words(bits);
}

// A row of the store as its parts: what each kind's code works on.
struct RowParts {
  Block* blocks;
  std::uint64_t* index;  // RowIndex::words
  std::size_t block_count;
  std::uint64_t bit_len;
};

// Where a summarised row's two summary levels lie in its index words (the
// degree first, see RowIndex); a short row has neither.
inline SummaryWord* summary_words(const RowParts& row) noexcept {
  return row.index + 1;
}
inline SummaryWord* top_words(const RowParts& row) noexcept {
  return row.index + 1 + summary_words_for_blocks(row.block_count);
}

}  // namespace kelvorin
