// A summarised row: longer than kUnsummarisedBlocks blocks.  Two levels of
// summary let scans skip empty stretches: bit k of summary word w is set
// exactly when block 64 w + k holds a member, and bit k of top word t exactly
// when summary word 64 t + k is non-zero.  A scan costs one step per 64 * 64
// blocks (131072 qubits) plus one per non-empty summary word, non-empty
// block and member.  Every update keeps the degree exact: it is never stale.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "row_layout.h"

namespace kelvorin {

// The summarised kind's half of RowView and BitSpan (bit_set.h), which check
// indices and pass block b and the bit mask within it.
class SummarisedRow {
 public:
  explicit SummarisedRow(const RowParts& row) noexcept : row_(row) {}
  // Made on the spot for one call, never copied: a reader's half is const.
  SummarisedRow(const SummarisedRow&) = delete;
  SummarisedRow& operator=(const SummarisedRow&) = delete;

  std::uint64_t count() const noexcept { return *degree(); }

  // See RowView::for_each_block_from; start lies below the bit length.
  template <class F>
  void for_each_block_from(std::uint64_t start, F&& f) const {
    const std::size_t b0 = static_cast<std::size_t>(start / kBlockBits);
    const std::size_t w0 = b0 / kSummaryBits;
    const std::size_t t0 = w0 / kSummaryBits;
    const std::size_t tops = top_words_for_blocks(row_.block_count);
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
          Block word = row_.blocks[b];
          if (b == b0) word &= ~Block{0} << (start % kBlockBits);
          if (word != 0 && !f(b, word)) return;
        }
      }
    }
  }

  std::uint64_t first() const noexcept {
    std::uint64_t found = row_.bit_len;
    for_each_block_from(0, [&](std::size_t b, Block word) {
      found = b * kBlockBits + static_cast<unsigned>(std::countr_zero(word));
      return false;
    });
    return found;
  }

  bool insert(std::size_t b, Block mask) noexcept {
    if (*degree() == 0) {
      first_member(b, mask);
      return true;
    }
    if ((row_.blocks[b] & mask) != 0) return false;
    const bool was_empty = row_.blocks[b] == 0;
    row_.blocks[b] |= mask;
    if (was_empty) mark(b);
    ++*degree();
    return true;
  }

  void remove(std::size_t b, Block mask) noexcept {
    if (*degree() == 0) return;
    if ((row_.blocks[b] & mask) == 0) return;
    row_.blocks[b] &= ~mask;
    if (row_.blocks[b] == 0) unmark(b);
    --*degree();
  }

  void flip(std::size_t b, Block mask) noexcept {
    if (*degree() == 0) {
      first_member(b, mask);
      return;
    }
    const Block before = row_.blocks[b];
    row_.blocks[b] = before ^ mask;
    if ((before & mask) == 0) {
      if (before == 0) mark(b);
      ++*degree();
    } else {
      if (row_.blocks[b] == 0) unmark(b);
      --*degree();
    }
  }

  void replace(std::size_t b_from, Block m_from, std::size_t b_to, Block m_to) noexcept {
    row_.blocks[b_from] &= ~m_from;
    if (row_.blocks[b_from] == 0) unmark(b_from);
    if (row_.blocks[b_to] == 0) mark(b_to);
    row_.blocks[b_to] |= m_to;
  }

  void flip_block(std::size_t b, Block bits) noexcept {
    if (*degree() == 0) {
      if (bits != 0) first_member(b, bits);
      return;
    }
    const Block before = row_.blocks[b];
    const Block after = before ^ bits;
    row_.blocks[b] = after;
    *degree() = *degree() + static_cast<unsigned>(std::popcount(after)) - static_cast<unsigned>(std::popcount(before));
    if (before == 0 && after != 0) mark(b);
    if (before != 0 && after == 0) unmark(b);
  }

  // Summary bits follow the blocks without branches; the top words are
  // brought up to date once per summary word touched (the list ascends).
  void flip_blocks(const BlockWord* list, std::size_t count) noexcept {
    std::int64_t delta = 0;
    std::size_t last_word = ~std::size_t{0};
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t b = list[k].block;
      const Block before = row_.blocks[b];
      const Block after = before ^ list[k].word;
      row_.blocks[b] = after;
      delta += static_cast<int>(std::popcount(after)) - static_cast<int>(std::popcount(before));
      const std::size_t w = b / kSummaryBits;
      summary_words()[w] ^= static_cast<SummaryWord>((before != 0) != (after != 0)) << (b % kSummaryBits);
      if (w != last_word) {
        if (last_word != ~std::size_t{0}) refresh_top(last_word);
        last_word = w;
      }
    }
    if (last_word != ~std::size_t{0}) refresh_top(last_word);
    add_to_degree(delta);
  }

  // One pass: each summary word's bits over the stretch are rebuilt from
  // the blocks as they are written.
  void flip_block_range(std::size_t lo, BlockRange src) noexcept {
    const std::size_t end = lo + src.size;
    std::int64_t delta = 0;
    for (std::size_t w = lo / kSummaryBits; w * kSummaryBits < end; ++w) {
      const std::size_t first = std::max(lo, w * kSummaryBits);
      const std::size_t last = std::min(end, (w + 1) * kSummaryBits);
      const SummaryWord bits = xor_stretch(first, last, lo, src.data, delta);
      const std::size_t width = last - first;
      const SummaryWord cover = (width == kSummaryBits ? ~SummaryWord{0} : ((SummaryWord{1} << width) - 1))
                                << (first % kSummaryBits);
      summary_words()[w] = (summary_words()[w] & ~cover) | bits;
      refresh_top(w);
    }
    add_to_degree(delta);
  }

  // Makes this row a copy of `other`, a summarised row of the same bit
  // length, touching only the blocks that are non-empty in either.
  void assign(const SummarisedRow& other) noexcept {
    clear();
    other.for_each_block_from(0, [&](std::size_t b, Block word) {
      row_.blocks[b] = word;
      mark(b);
      return true;
    });
    *degree() = other.count();
  }

  // Touches only the non-empty blocks.
  void clear() noexcept {
    if (*degree() == 0) return;
    *degree() = 0;
    const std::size_t tops = top_words_for_blocks(row_.block_count);
    for (std::size_t t = 0; t < tops; ++t) {
      SummaryWord top = top_words()[t];
      top_words()[t] = 0;
      while (top != 0) {
        const std::size_t w = t * kSummaryBits + static_cast<unsigned>(std::countr_zero(top));
        top &= top - 1;
        SummaryWord summary = summary_words()[w];
        summary_words()[w] = 0;
        while (summary != 0) {
          row_.blocks[w * kSummaryBits + static_cast<unsigned>(std::countr_zero(summary))] = 0;
          summary &= summary - 1;
        }
      }
    }
  }

 private:
  // The parts of the row's index (see RowIndex).
  std::uint64_t* degree() const noexcept { return row_.index; }
  SummaryWord* summary_words() const noexcept { return kelvorin::summary_words(row_); }
  SummaryWord* top_words() const noexcept { return kelvorin::top_words(row_); }

  void add_to_degree(std::int64_t delta) noexcept {
    *degree() = static_cast<std::uint64_t>(static_cast<std::int64_t>(*degree()) + delta);
  }

  // XORs blocks first .. last - 1 with src[first - lo ..], two at a time as
  // one 64-bit word (block b in the low half), then the odd one out, and adds
  // the change in members to `delta`.  Returns bit b % 64 set for each block
  // b left non-empty; the stretch lies within one summary word's 64 blocks.
  [[gnu::always_inline]] SummaryWord xor_stretch(std::size_t first, std::size_t last, std::size_t lo, const Block* src,
                                                 std::int64_t& delta) noexcept {
    Block* const blocks = row_.blocks;
    SummaryWord bits = 0;
    std::size_t b = first;
    for (; b + 2 <= last; b += 2) {
      std::uint64_t before, x;
      std::memcpy(&before, blocks + b, sizeof before);
      std::memcpy(&x, src + (b - lo), sizeof x);
      const std::uint64_t after = before ^ x;
      std::memcpy(blocks + b, &after, sizeof after);
      delta += std::popcount(x) - 2 * std::popcount(before & x);
      bits |= (static_cast<SummaryWord>(static_cast<Block>(after) != 0) |
               static_cast<SummaryWord>((after >> kBlockBits) != 0) << 1)
              << (b % kSummaryBits);
    }
    if (b < last) {
      const Block before = blocks[b];
      const Block x = src[b - lo];
      const Block after = before ^ x;
      blocks[b] = after;
      delta += std::popcount(x) - 2 * std::popcount(before & x);
      bits |= static_cast<SummaryWord>(after != 0) << (b % kSummaryBits);
    }
    return bits;
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
    row_.blocks[b] = bits;
    *degree() = static_cast<unsigned>(std::popcount(bits));
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

  // The view's parts, not a copy: this lives for one call of the view's.
  const RowParts& row_;
};

}  // namespace kelvorin
