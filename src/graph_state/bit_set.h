// A row of the state store as its users see it: `RowView` reads, `BitSpan`
// also writes.  The store keeps all of its rows in one allocation and hands
// out these views, which hold no data of their own.  Each method checks its
// arguments and then dispatches once on the row's kind, by length: to
// ShortRow (short_row.h) or SummarisedRow (summarised_row.h), each of which
// reads straight through on its own.  The layout both kinds share is in
// row_layout.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "../panic.h"
#include "row_layout.h"
#include "short_row.h"
#include "summarised_row.h"

namespace kelvorin {

// A read-only view of a row of the state store: what read-only operations and
// snapshots get.  It cannot write, and neither can anything made from it, so
// readers on several threads may share a row.
class RowView {
  // Calls op with this row's half of its kind, read-only: the one place a
  // reader picks the kind.  (Defined first: the methods below deduce their
  // types from it.)
  template <class Op>
  [[gnu::always_inline]] decltype(auto) read(Op&& op) const {
    if (summarised_row(row_.bit_len)) {
      const SummarisedRow row(row_);
      return op(row);
    }
    const ShortRow row(row_);
    return op(row);
  }

 public:
  RowView(Block* blocks, RowIndex index, std::uint64_t bit_len) noexcept
      : RowView(blocks, index, bit_len, blocks_for_bits(bit_len)) {}
  // The same with the block count, blocks_for_bits(bit_len), known already.
  RowView(Block* blocks, RowIndex index, std::uint64_t bit_len, std::size_t block_count) noexcept
      : row_{blocks, index.words, block_count, bit_len} {}

  std::uint64_t bit_len() const noexcept { return row_.bit_len; }
  std::size_t block_count() const noexcept { return row_.block_count; }
  const Block* blocks() const noexcept { return row_.blocks; }
  BlockRange block_range() const noexcept { return {row_.blocks, row_.block_count}; }
  // A summarised row's two summary levels (summarised_row.h), for
  // whole-store comparisons; a short row has none.
  const SummaryWord* summary() const noexcept { return summary_words(row_); }
  const SummaryWord* top() const noexcept { return top_words(row_); }
  // The degree word as kept: the member count, or for a short row a value at
  // or above kStaleFloor when it is stale (short_row.h).
  std::uint64_t kept_degree() const noexcept { return *row_.index; }

  // Whether the row keeps summaries (it is longer than kUnsummarisedBlocks).
  bool summarised() const noexcept { return summarised_row(row_.bit_len); }

  bool contains(std::uint64_t i) const noexcept {
    return i < row_.bit_len && ((row_.blocks[i / kBlockBits] >> (i % kBlockBits)) & 1u) != 0;
  }

  // The number of members (the degree of the vertex).  Only a short row's
  // kept degree is ever stale (a summarised row keeps its own exact, which
  // the store check asserts), so the test of the kept degree is the one
  // dispatch: a load and a test where this is inlined.  A stale degree is
  // counted and not kept: a view only reads.
  std::uint64_t count() const noexcept {
    const std::uint64_t degree = kept_degree();
    return degree < kStaleFloor ? degree : count_members(row_.blocks, row_.block_count);
  }
  bool empty() const noexcept { return count() == 0; }
  // Whether the row has a member other than i (i below the bit length).
  bool has_member_other_than(std::uint64_t i) const noexcept { return other_than(count(), i); }

  // Lowest member, or bit_len() when the set is empty.
  std::uint64_t first() const noexcept {
    return read([](const auto& row) { return row.first(); });
  }

  // Lowest member other than `avoid`, or bit_len() when there is none.
  std::uint64_t first_other_than(std::uint64_t avoid) const noexcept {
    std::uint64_t found = row_.bit_len;
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
    if (start >= row_.bit_len) return;
    read([&](const auto& row) { row.for_each_block_from(start, f); });
  }

 protected:
  bool other_than(std::uint64_t degree, std::uint64_t i) const noexcept {
    return degree >= 2 || (degree == 1 && !contains(i));
  }

  // Writable only through BitSpan, which the store hands out for rows of a
  // store it may change.
  RowParts row_;

  friend class BitSpan;  // to copy another row
};

// A writable row of the state store.  Besides its blocks it keeps the row's
// degree and summaries up to date, so that counting is constant time and
// scans cost time in the members rather than the length.
class BitSpan : public RowView {
  // Calls op with this row's half of its kind: the one place a writer picks
  // the kind.  (Defined first, as RowView::read.)
  template <class Op>
  [[gnu::always_inline]] decltype(auto) write(Op&& op) {
    if (summarised_row(row_.bit_len)) return op(SummarisedRow(row_));
    return op(ShortRow(row_));
  }

 public:
  using RowView::RowView;

  // As RowView's, but a stale degree that is counted is kept (a writer's
  // cache, see short_row.h), so that the next count of the row is a load.
  // A const span reads as a view does.
  using RowView::count;
  using RowView::empty;
  using RowView::has_member_other_than;
  std::uint64_t count() noexcept {
    const std::uint64_t degree = kept_degree();
    return degree < kStaleFloor ? degree : (*row_.index = count_members(row_.blocks, row_.block_count));
  }
  bool empty() noexcept { return count() == 0; }
  bool has_member_other_than(std::uint64_t i) noexcept { return other_than(count(), i); }

  // A span cannot grow: every index the engine inserts into a row of the store
  // lies below the row's bit length.
  bool insert(std::uint64_t i) {
    if (i >= row_.bit_len) [[unlikely]] {
      panic_index_out_of_bounds(row_.block_count, i / kBlockBits);
    }
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    return write([&](auto&& row) { return row.insert(b, mask); });
  }

  void remove(std::uint64_t i) noexcept {
    if (i >= row_.bit_len) return;
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    write([&](auto&& row) { row.remove(b, mask); });
  }

  // Inserts i when absent, removes it when present; i must be below the bit
  // length.  Always inlined: it is the inner step of pair-by-pair toggling,
  // where a call costs as much as the flip.
  [[gnu::always_inline]] void flip(std::uint64_t i) noexcept {
    const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
    const Block mask = Block{1} << (i % kBlockBits);
    write([&](auto&& row) { row.flip(b, mask); });
  }

  // Trades a member for a non-member: `from`, which the row must hold, leaves
  // and `to`, which it must not hold, joins.  The degree stays as it is.
  // (Where both lie in one block, replace_in_block is the cheaper way.)
  [[gnu::always_inline]] void replace(std::uint64_t from, std::uint64_t to) noexcept {
    const std::size_t b_from = static_cast<std::size_t>(from / kBlockBits);
    const std::size_t b_to = static_cast<std::size_t>(to / kBlockBits);
    const Block m_from = Block{1} << (from % kBlockBits);
    const Block m_to = Block{1} << (to % kBlockBits);
    write([&](auto&& row) { row.replace(b_from, m_from, b_to, m_to); });
  }

  // The same where `from` and `to` share block b and `bits` has exactly
  // their two bits: that block holds a member before and after, so the
  // degree and the summaries stay as they are and the trade is one XOR.
  [[gnu::always_inline]] void replace_in_block(std::size_t b, Block bits) noexcept { row_.blocks[b] ^= bits; }

  // XORs block b with `bits` (the symmetric difference with those members).
  void flip_block(std::size_t b, Block bits) noexcept {
    write([&](auto&& row) { row.flip_block(b, bits); });
  }

  // XORs each listed block (ascending) with its word: flip_block over a list,
  // with the degree kept in a register.
  void flip_blocks(const BlockWord* list, std::size_t count) noexcept {
    write([&](auto&& row) { row.flip_blocks(list, count); });
  }

  // XORs blocks lo .. lo + src.size - 1 with src: the dense form of
  // flip_blocks, for sets whose members fill a stretch of blocks.
  void flip_block_range(std::size_t lo, BlockRange src) noexcept {
    write([&](auto&& row) { row.flip_block_range(lo, src); });
  }

  // XORs this row with the members of `set`, a different row of the same
  // bit length, a non-empty block at a time.
  void flip_members(const RowView& set) noexcept {
    set.for_each_block_from(0, [&](std::size_t b, Block word) {
      flip_block(b, word);
      return true;
    });
  }

  // Makes this row a copy of `other`, a row of the same bit length.
  void assign(const RowView& other) noexcept {
    if (summarised()) {
      SummarisedRow(row_).assign(SummarisedRow(other.row_));
    } else {
      ShortRow(row_).assign(other.blocks());
    }
  }

  // Removes every member, touching only the non-empty blocks of a summarised
  // row.
  void clear() noexcept {
    write([](auto&& row) { row.clear(); });
  }
};

}  // namespace kelvorin
