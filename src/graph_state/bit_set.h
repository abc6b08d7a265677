// Adjacency bit sets: bit vectors of 32-bit blocks with a bit length.
//
// Index i lives in block i / 32 at bit i % 32 (least significant first).  The
// storage holds exactly ceil(bit_len / 32) blocks and every bit of the last
// block at or beyond the bit length is zero.
//
// `BitSpan` is a writable row of the state store, which keeps all of its rows
// in one allocation and hands out spans; it also maintains the row's degree
// and summaries.  `RowView` is the same row read-only, what a const store
// hands out.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "../cpu.h"
#include "../panic.h"

#if KELVORIN_USE_SSE2
#include <emmintrin.h>
#endif
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

// Calls f(index) for every set bit of the blocks, ascending, index 0 being
// bit 0 of blocks.data[0].  The blocks are read one at a time into a working
// copy, so f may change bits of blocks that have not been reached yet only
// if the caller wants that seen.
template <class F>
inline void for_each_bit(BlockRange blocks, F&& f) {
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

// Two levels of summary per row, so that scans skip empty stretches: bit k of
// summary word w is set exactly when block 64 w + k holds a member, and bit k
// of top word t exactly when summary word 64 t + k is non-zero.  A scan costs
// one step per 64 * 64 blocks (131072 qubits) plus one per non-empty summary
// word, non-empty block and member.
//
// Short rows, of at most kUnsummarisedBlocks blocks (see tuning.h), keep no
// summaries (their index is the degree alone, see RowIndex) and a degree that a bulk update of more than one word
// leaves stale rather than updates (kStaleDegree below).  A scan makes the
// row's summary word on the spot from every block, and a row XOR is the bit
// operation alone: a few vector words.
// Whether a row is short follows from its length, so every row of a store
// is treated alike and the test of it predicts perfectly.
using SummaryWord = std::uint64_t;
inline constexpr std::size_t kSummaryBits = 64;
// A short row's degree word after a bulk update (a row XOR, a copy): the
// degree is unknown until counted (a BitSpan's count() keeps it).  Every
// degree word at or above kStaleFloor is stale, and kStaleDegree lies 2^62
// above it and 2^62 below the top, so the updates that keep a degree (each
// single-bit update, each one-word XOR) add their change without looking:
// a known degree stays exact and a stale one stays stale, since no row
// sees 2^62 changes.  A summarised row's degree is never stale.
inline constexpr std::uint64_t kStaleFloor = std::uint64_t{1} << 62;
inline constexpr std::uint64_t kStaleDegree = std::uint64_t{2} << 62;
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

// A non-empty block of a set and its index; lists of them stay uninitialised
// until written, so a buffer of them on the stack costs nothing to make.
struct BlockWord {
  std::uint32_t block;
  Block word;
};

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

// A read-only view of a row of the state store: what read-only operations and
// snapshots get.  It cannot write, and neither can anything made from it.
class RowView {
 public:
  RowView(Block* blocks, RowIndex index, std::uint64_t bit_len) noexcept
      : RowView(blocks, index, bit_len, blocks_for_bits(bit_len)) {}
  // The same with the block count, blocks_for_bits(bit_len), known already.
  RowView(Block* blocks, RowIndex index, std::uint64_t bit_len, std::size_t block_count) noexcept
      : blocks_(blocks), index_(index), block_count_(block_count), bit_len_(bit_len) {}

  std::uint64_t bit_len() const noexcept { return bit_len_; }
  std::size_t block_count() const noexcept { return block_count_; }
  const Block* blocks() const noexcept { return blocks_; }
  BlockRange block_range() const noexcept { return {blocks_, block_count_}; }
  // The row's two summary levels (see above), for whole-store comparisons.
  const SummaryWord* summary() const noexcept { return summary_words(); }
  const SummaryWord* top() const noexcept { return top_words(); }

  // Whether the row keeps summaries (it is longer than kUnsummarisedBlocks).
  bool summarised() const noexcept { return summarised_row(bit_len_); }

  bool contains(std::uint64_t i) const noexcept {
    return i < bit_len_ && ((blocks_[i / kBlockBits] >> (i % kBlockBits)) & 1u) != 0;
  }

  // The number of members (the degree of the vertex).  A short row's degree
  // may be stale after a bulk update (see kStaleFloor); then it is counted
  // over the line(s) here.  A view only reads: readers on several threads may
  // share a row.  BitSpan's count() keeps what it counts.
  std::uint64_t count() const noexcept {
    const std::uint64_t degree = *degree_word();
    return degree < kStaleFloor ? degree : count_members(blocks_, block_count_);
  }
  bool empty() const noexcept { return count() == 0; }
  // Whether the row has a member other than i (i below the bit length).
  bool has_member_other_than(std::uint64_t i) const noexcept { return other_than(count(), i); }

  // Lowest member, or bit_len() when the set is empty.  A short row is read
  // a block at a time up to its first member.
  std::uint64_t first() const noexcept {
    if (!summarised()) {
      for (std::size_t b = 0; b < block_count_; ++b)
        if (blocks_[b] != 0) return b * kBlockBits + static_cast<unsigned>(std::countr_zero(blocks_[b]));
      return bit_len_;
    }
    std::uint64_t found = bit_len_;
    for_each_from(0, [&](std::uint64_t i) {
      found = i;
      return false;
    });
    return found;
  }

  // Lowest member other than `avoid`, or bit_len() when there is none.
  std::uint64_t first_other_than(std::uint64_t avoid) const noexcept {
    std::uint64_t found = bit_len_;
    for_each_from(0, [&](std::uint64_t i) {
      if (i == avoid) return true;
      found = i;
      return false;
    });
    return found;
  }

  // Calls f(i) for every member, ascending.  Each block is read into a working
  // copy when the scan reaches it, so f may clear members already visited.
  template <class F>
  void for_each(F&& f) const {
    for_each_from(0, [&](std::uint64_t i) {
      f(i);
      return true;
    });
  }

  // Calls f(i) for every member i >= start, ascending, while f returns true.
  template <class F>
  void for_each_from(std::uint64_t start, F&& f) const {
    for_each_block_from(start, [&](std::size_t b, Block word) {
      while (word != 0) {
        const unsigned bit = static_cast<unsigned>(std::countr_zero(word));
        word &= word - 1;
        if (!f(static_cast<std::uint64_t>(b * kBlockBits + bit))) return false;
      }
      return true;
    });
  }

  // Calls f(b, word) for every non-empty block b, ascending, while f returns
  // true; for the block holding `start`, word has the bits below it cleared
  // (and the call is skipped when nothing is left).
  template <class F>
  void for_each_block_from(std::uint64_t start, F&& f) const {
    if (start >= bit_len_) return;
    const std::size_t b0 = static_cast<std::size_t>(start / kBlockBits);
    if (!summarised()) {
      // A summary word made on the spot: bit k for each non-empty block k,
      // with no branch on the blocks, eight at a time (nonempty_blocks8);
      // then visited as a kept summary word is.  Each block is read
      // again when its turn comes, so f may clear members of blocks ahead.
      SummaryWord nonempty = 0;
      std::size_t c = b0 & ~std::size_t{7};
      for (; c + 8 <= block_count_; c += 8) nonempty |= static_cast<SummaryWord>(nonempty_blocks8(blocks_ + c)) << c;
      for (; c < block_count_; ++c) nonempty |= static_cast<SummaryWord>(blocks_[c] != 0) << c;
      nonempty &= ~SummaryWord{0} << b0;
      while (nonempty != 0) {
        const std::size_t b = static_cast<unsigned>(std::countr_zero(nonempty));
        nonempty &= nonempty - 1;
        Block word = blocks_[b];
        if (b == b0) word &= ~Block{0} << (start % kBlockBits);
        if (word != 0 && !f(b, word)) return;
      }
      return;
    }
    const std::size_t w0 = b0 / kSummaryBits;
    const std::size_t t0 = w0 / kSummaryBits;
    const std::size_t tops = top_words_for_blocks(block_count_);
    for (std::size_t t = t0; t < tops; ++t) {
      SummaryWord top = top_words()[t];
      if (t == t0) top &= ~SummaryWord{0} << (w0 % kSummaryBits);
      while (top != 0) {
        const std::size_t w = t * kSummaryBits + static_cast<unsigned>(std::countr_zero(top));
        top &= top - 1;
        SummaryWord summary = summary_words()[w];
        if (w == w0) summary &= ~SummaryWord{0} << (b0 % kSummaryBits);
        while (summary != 0) {
          const std::size_t b = w * kSummaryBits + static_cast<unsigned>(std::countr_zero(summary));
          summary &= summary - 1;
          Block word = blocks_[b];
          if (b == b0) word &= ~Block{0} << (start % kBlockBits);
          if (word != 0 && !f(b, word)) return;
        }
      }
    }
  }

 protected:
  // Blocks b and b + 1 as one word, block b in the low half.
  std::uint64_t word_at(std::size_t b) const noexcept {
    std::uint64_t word;
    std::memcpy(&word, blocks_ + b, sizeof word);
    return word;
  }

  bool other_than(std::uint64_t degree, std::uint64_t i) const noexcept {
    return degree >= 2 || (degree == 1 && !contains(i));
  }

  // The members of a row whose degree is stale, counted over the line.  Out
  // of line and with the row's parts as arguments, so that count() stays a
  // load and a test where it is inlined and the row need not be put in
  // memory for the call.
  [[gnu::noinline]] static std::uint64_t count_members(const Block* blocks, std::size_t count) noexcept {
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

  // The parts of the row's index (see RowIndex).
  std::uint64_t* degree_word() const noexcept { return index_.words; }
  SummaryWord* summary_words() const noexcept { return index_.words + 1; }
  SummaryWord* top_words() const noexcept { return index_.words + 1 + summary_words_for_blocks(block_count_); }

  // Writable only through BitSpan, which the store hands out for rows of a
  // store it may change.
  Block* blocks_;
  RowIndex index_;
  std::size_t block_count_;
  std::uint64_t bit_len_;
};

// A writable row of the state store.  Besides its blocks it keeps the row's
// degree and summaries up to date, so that counting is constant time and
// scans cost time in the members rather than the length.
class BitSpan : public RowView {
 public:
  using RowView::RowView;

  // As RowView's, but a stale degree that is counted is kept, so that the
  // next count of the row is a load.
  std::uint64_t count() const noexcept {
    const std::uint64_t degree = *degree_word();
    if (degree < kStaleFloor) return degree;
    return *degree_word() = count_members(blocks_, block_count_);
  }
  bool empty() const noexcept { return count() == 0; }
  bool has_member_other_than(std::uint64_t i) const noexcept { return other_than(count(), i); }

  // A span cannot grow: every index the engine inserts into a row of the store
  // lies below the row's bit length.
  bool insert(std::uint64_t i) {
    if (i >= bit_len_) [[unlikely]] {
      panic_index_out_of_bounds(block_count_, i / kBlockBits);
    }
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    if (!summarised()) {
      const bool absent = (blocks_[b] & mask) == 0;
      blocks_[b] |= mask;
      *degree_word() += absent;
      return absent;
    }
    if (*degree_word() == 0) {
      first_member(b, mask);
      return true;
    }
    if ((blocks_[b] & mask) != 0) return false;
    const bool was_empty = blocks_[b] == 0;
    blocks_[b] |= mask;
    if (was_empty) mark(b);
    ++*degree_word();
    return true;
  }

  void remove(std::uint64_t i) noexcept {
    if (i >= bit_len_) return;
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    if (!summarised()) {
      *degree_word() -= (blocks_[b] & mask) != 0;
      blocks_[b] &= ~mask;
      return;
    }
    if (*degree_word() == 0) return;
    if ((blocks_[b] & mask) == 0) return;
    blocks_[b] &= ~mask;
    if (blocks_[b] == 0) unmark(b);
    --*degree_word();
  }

  // Inserts i when absent, removes it when present; i must be below the bit
  // length.  Always inlined: it is the inner step of pair-by-pair toggling,
  // where a call costs as much as the flip.
  [[gnu::always_inline]] void flip(std::uint64_t i) noexcept {
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    if (!summarised()) {
      blocks_[b] ^= mask;
      add_to_degree((blocks_[b] & mask) != 0 ? 1 : -1);
      return;
    }
    if (*degree_word() == 0) {
      first_member(b, mask);
      return;
    }
    const Block before = blocks_[b];
    blocks_[b] = before ^ mask;
    if ((before & mask) == 0) {
      if (before == 0) mark(b);
      ++*degree_word();
    } else {
      if (blocks_[b] == 0) unmark(b);
      --*degree_word();
    }
  }

  // Trades a member for a non-member: `from`, which the row must hold, leaves
  // and `to`, which it must not hold, joins.  The degree stays as it is.
  // (Where both lie in one block, replace_in_block is the cheaper way.)
  [[gnu::always_inline]] void replace(std::uint64_t from, std::uint64_t to) noexcept {
    const std::size_t b_from = static_cast<std::size_t>(from / kBlockBits);
    const std::size_t b_to = static_cast<std::size_t>(to / kBlockBits);
    const Block m_from = Block{1} << (from % kBlockBits);
    const Block m_to = Block{1} << (to % kBlockBits);
    if (!summarised()) {
      blocks_[b_from] ^= m_from;
      blocks_[b_to] ^= m_to;
      return;
    }
    blocks_[b_from] &= ~m_from;
    if (blocks_[b_from] == 0) unmark(b_from);
    if (blocks_[b_to] == 0) mark(b_to);
    blocks_[b_to] |= m_to;
  }

  // The same where `from` and `to` share block b and `bits` has exactly
  // their two bits: that block holds a member before and after, so the
  // degree and the summaries stay as they are and the trade is one XOR.
  [[gnu::always_inline]] void replace_in_block(std::size_t b, Block bits) noexcept { blocks_[b] ^= bits; }

  // XORs block b with `bits` (the symmetric difference with those members).
  void flip_block(std::size_t b, Block bits) noexcept {
    if (!summarised()) {
      const Block before = blocks_[b];
      blocks_[b] = before ^ bits;
      add_to_degree(std::popcount(blocks_[b]) - std::popcount(before));
      return;
    }
    if (*degree_word() == 0) {
      if (bits != 0) first_member(b, bits);
      return;
    }
    const Block before = blocks_[b];
    const Block after = before ^ bits;
    blocks_[b] = after;
    *degree_word() =
        *degree_word() + static_cast<unsigned>(std::popcount(after)) - static_cast<unsigned>(std::popcount(before));
    if (before == 0 && after != 0) mark(b);
    if (before != 0 && after == 0) unmark(b);
  }

  // XORs each listed block with its word: flip_block over a list, with the
  // degree kept in a register.
  void flip_blocks(const BlockWord* list, std::size_t count) noexcept {
    if (!summarised()) {
      // As flip_block_range: up to two blocks keep the degree.
      if (count <= 2) {
        for (std::size_t k = 0; k < count; ++k) flip_block(list[k].block, list[k].word);
        return;
      }
      for (std::size_t k = 0; k < count; ++k) blocks_[list[k].block] ^= list[k].word;
      *degree_word() = kStaleDegree;
      return;
    }
    // Summary bits follow the blocks without branches; the top words are
    // brought up to date once per summary word touched (the list ascends).
    std::int64_t delta = 0;
    std::size_t last_word = ~std::size_t{0};
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t b = list[k].block;
      const Block before = blocks_[b];
      const Block after = before ^ list[k].word;
      blocks_[b] = after;
      delta += static_cast<int>(std::popcount(after)) - static_cast<int>(std::popcount(before));
      const std::size_t w = b / kSummaryBits;
      summary_words()[w] ^= static_cast<SummaryWord>((before != 0) != (after != 0)) << (b % kSummaryBits);
      if (w != last_word) {
        if (last_word != ~std::size_t{0}) refresh_top(last_word);
        last_word = w;
      }
    }
    if (last_word != ~std::size_t{0}) refresh_top(last_word);
    *degree_word() = static_cast<std::uint64_t>(static_cast<std::int64_t>(*degree_word()) + delta);
  }

  // XORs blocks lo .. lo + src.size - 1 with src: the dense form of
  // flip_blocks, for sets whose members fill a stretch of blocks.
  void flip_block_range(std::size_t lo, BlockRange src_range) noexcept {
    const Block* const src = src_range.data;
    const std::size_t end = lo + src_range.size;
    if (!summarised()) {
      // A short row keeps no summaries.  A stretch of one word keeps the
      // degree with two popcounts; beyond, the degree goes stale and the
      // XOR is all there is.
      if (src_range.size <= 2) {
        std::uint64_t before = blocks_[lo], x = src[0];
        if (src_range.size == 2) {
          before |= static_cast<std::uint64_t>(blocks_[lo + 1]) << kBlockBits;
          x |= static_cast<std::uint64_t>(src[1]) << kBlockBits;
        }
        const std::uint64_t after = before ^ x;
        blocks_[lo] = static_cast<Block>(after);
        if (src_range.size == 2) blocks_[lo + 1] = static_cast<Block>(after >> kBlockBits);
        add_to_degree(std::popcount(x) - 2 * std::popcount(before & x));
        return;
      }
      xor_blocks(blocks_ + lo, src, src_range.size);
      *degree_word() = kStaleDegree;
      return;
    }
    std::int64_t delta = 0;
    // One pass: each summary word's bits over the stretch are rebuilt from
    // the blocks as they are written.
    for (std::size_t w = lo / kSummaryBits; w * kSummaryBits < end; ++w) {
      const std::size_t first = std::max(lo, w * kSummaryBits);
      const std::size_t last = std::min(end, (w + 1) * kSummaryBits);
      const SummaryWord bits = xor_stretch(first, last, lo, src, delta);
      const std::size_t width = last - first;
      const SummaryWord cover = (width == kSummaryBits ? ~SummaryWord{0} : ((SummaryWord{1} << width) - 1))
                                << (first % kSummaryBits);
      summary_words()[w] = (summary_words()[w] & ~cover) | bits;
      refresh_top(w);
    }
    *degree_word() = static_cast<std::uint64_t>(static_cast<std::int64_t>(*degree_word()) + delta);
  }

  // XORs this row with the members of `set`, a different row of the same
  // bit length, a non-empty block at a time.
  void flip_members(const RowView& set) noexcept {
    set.for_each_block_from(0, [&](std::size_t b, Block word) {
      flip_block(b, word);
      return true;
    });
  }

  // Makes this row a copy of `other`, a row of the same bit length, touching
  // only the blocks that are non-empty in either.
  void assign(const RowView& other) noexcept {
    if (!summarised()) {
      std::copy_n(other.blocks(), block_count_, blocks_);
      *degree_word() = kStaleDegree;
      return;
    }
    clear();
    other.for_each_block_from(0, [&](std::size_t b, Block word) {
      blocks_[b] = word;
      mark(b);
      return true;
    });
    *degree_word() = other.count();
  }

  // Makes this row exactly the listed blocks (ascending, each non-empty) and
  // `degree` members, their popcounts summed: what a saved row puts back.
  void assign(const BlockWord* list, std::size_t count, std::uint64_t degree) noexcept {
    clear();
    if (!summarised()) {
      for (std::size_t k = 0; k < count; ++k) blocks_[list[k].block] = list[k].word;
      *degree_word() = degree;
      return;
    }
    for (std::size_t k = 0; k < count; ++k) {
      blocks_[list[k].block] = list[k].word;
      mark(list[k].block);
    }
    *degree_word() = degree;
  }

  // Removes every member, touching only the non-empty blocks.
  void clear() noexcept {
    if (!summarised()) {
      std::fill_n(blocks_, block_count_, Block{0});
      *degree_word() = 0;
      return;
    }
    if (*degree_word() == 0) return;
    *degree_word() = 0;
    const std::size_t tops = top_words_for_blocks(block_count_);
    for (std::size_t t = 0; t < tops; ++t) {
      SummaryWord top = top_words()[t];
      top_words()[t] = 0;
      while (top != 0) {
        const std::size_t w = t * kSummaryBits + static_cast<unsigned>(std::countr_zero(top));
        top &= top - 1;
        SummaryWord summary = summary_words()[w];
        summary_words()[w] = 0;
        while (summary != 0) {
          blocks_[w * kSummaryBits + static_cast<unsigned>(std::countr_zero(summary))] = 0;
          summary &= summary - 1;
        }
      }
    }
  }

 private:
  // XORs blocks first .. last - 1 with src[first - lo ..], two at a time as
  // one 64-bit word (block b in the low half), then the odd one out, and adds
  // the change in members to `delta`.  Returns bit b % 64 set for each block
  // b left non-empty; the stretch lies within one summary word's 64 blocks.
  [[gnu::always_inline]] SummaryWord xor_stretch(std::size_t first, std::size_t last, std::size_t lo, const Block* src,
                                                 std::int64_t& delta) noexcept {
    SummaryWord bits = 0;
    std::size_t b = first;
    for (; b + 2 <= last; b += 2) {
      std::uint64_t before, x;
      std::memcpy(&before, blocks_ + b, sizeof before);
      std::memcpy(&x, src + (b - lo), sizeof x);
      const std::uint64_t after = before ^ x;
      std::memcpy(blocks_ + b, &after, sizeof after);
      delta += std::popcount(x) - 2 * std::popcount(before & x);
      bits |= (static_cast<SummaryWord>(static_cast<Block>(after) != 0) |
               static_cast<SummaryWord>((after >> kBlockBits) != 0) << 1)
              << (b % kSummaryBits);
    }
    if (b < last) {
      const Block before = blocks_[b];
      const Block x = src[b - lo];
      const Block after = before ^ x;
      blocks_[b] = after;
      delta += std::popcount(x) - 2 * std::popcount(before & x);
      bits |= static_cast<SummaryWord>(after != 0) << (b % kSummaryBits);
    }
    return bits;
  }

  // A short row's degree after a change of `delta` members: exact if it was,
  // stale if it was (see kStaleFloor).
  void add_to_degree(int delta) noexcept {
    *degree_word() += static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
  }

  void refresh_top(std::size_t w) noexcept {
    const SummaryWord bit = SummaryWord{1} << (w % kSummaryBits);
    if (summary_words()[w] != 0) {
      top_words()[w / kSummaryBits] |= bit;
    } else {
      top_words()[w / kSummaryBits] &= ~bit;
    }
  }

  // Makes `bits` (not zero) of block b the only members of an empty row.
  // Every block and summary word of an empty row is zero, so nothing is read
  // first: the first access to a page of the row is a write, and the page is
  // mapped once rather than first as the shared zero page and then again.
  void first_member(std::size_t b, Block bits) noexcept {
    blocks_[b] = bits;
    *degree_word() = static_cast<unsigned>(std::popcount(bits));
    const std::size_t w = b / kSummaryBits;
    summary_words()[w] = SummaryWord{1} << (b % kSummaryBits);
    top_words()[w / kSummaryBits] = SummaryWord{1} << (w % kSummaryBits);
  }

  void mark(std::size_t b) noexcept {
    const std::size_t w = b / kSummaryBits;
    summary_words()[w] |= SummaryWord{1} << (b % kSummaryBits);
    top_words()[w / kSummaryBits] |= SummaryWord{1} << (w % kSummaryBits);
  }

  void unmark(std::size_t b) noexcept {
    const std::size_t w = b / kSummaryBits;
    summary_words()[w] &= ~(SummaryWord{1} << (b % kSummaryBits));
    if (summary_words()[w] == 0) top_words()[w / kSummaryBits] &= ~(SummaryWord{1} << (w % kSummaryBits));
  }
};

}  // namespace kelvorin
