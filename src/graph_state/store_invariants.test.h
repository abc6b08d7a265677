// The whole store's invariants, as they must hold between operations:
//
// - every VOP is one of the 24 operators;
// - every row has the store's bit length, and no bit at or past it is set;
// - no vertex is its own neighbour, and every edge is in both rows;
// - each row's kept degree is the popcount of its blocks, or for a short row
//   stale (at or above kStaleFloor, to be counted); a summarised row's is
//   never stale;
// - a summarised row (longer than kUnsummarisedBlocks, see row_layout.h) has its
//   summary and top words exact: a bit set where, and only where, the block
//   or summary word below is non-empty, none past the row's end;
// - the row queries (first, for_each) agree with the raw blocks;
// - every scratch row is given back and empty: each block, summary and top
//   word zero, the degree zero.
//
// `store_violation` describes the first violation found, or returns "" for a
// well-formed store.  It uses no test framework, so that the differential
// test, the fault-injection test and the fuzzer all call this one check.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bit_set.h"
#include "graph_state.h"

namespace kelvorin::testing {
namespace store_invariants_detail {

inline std::string hex(std::uint64_t x) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(x));
  return text;
}

// The lowest set bit at or above `from` in the raw blocks, or `bit_len`.
inline std::uint64_t next_raw(const RowView& row, std::uint64_t from) {
  for (std::size_t b = static_cast<std::size_t>(from / kBlockBits); b < row.block_count(); ++b) {
    Block word = row.blocks()[b];
    if (b == from / kBlockBits) word &= ~Block{0} << (from % kBlockBits);
    if (word != 0) return b * kBlockBits + static_cast<unsigned>(std::countr_zero(word));
  }
  return row.bit_len();
}

// What holds for every row, adjacency or scratch, of a store of n qubits;
// `label()` names the row, only when there is something to report, and
// `member(j)` checks each member j in turn, returning "" or a violation.
// Rows are read in two passes (the members and the summaries, then the
// iteration against the blocks), and an empty row in one.
template <class Label, class Member>
std::string row_violation(const RowView& row, Qubit n, Label&& label, Member&& member) {
  if (row.bit_len() != n)
    return label() + ": bit length " + std::to_string(row.bit_len()) + ", not " + std::to_string(n);
  const std::size_t blocks = blocks_for_bits(n);
  if (row.block_count() != blocks)
    return label() + ": " + std::to_string(row.block_count()) + " blocks, not " + std::to_string(blocks);
  const Block* data = row.blocks();
  if (n % kBlockBits != 0) {
    const Block tail = data[blocks - 1] >> (n % kBlockBits);
    if (tail != 0)
      return label() + ": bit " +
             std::to_string((blocks - 1) * kBlockBits + n % kBlockBits +
                            static_cast<unsigned>(std::countr_zero(tail))) +
             " set at or past the length " + std::to_string(n);
  }
  // The members, and what each summary word must be.
  const bool summarised = row.summarised();
  std::uint64_t members = 0;
  std::string wrong;
  for (std::size_t w = 0; w * kSummaryBits < blocks; ++w) {
    SummaryWord expected = 0;
    const std::size_t end = std::min(blocks, (w + 1) * kSummaryBits);
    for (std::size_t b = w * kSummaryBits; b < end; ++b) {
      members += static_cast<unsigned>(std::popcount(data[b]));
      expected |= static_cast<SummaryWord>(data[b] != 0) << (b % kSummaryBits);
    }
    if (summarised && wrong.empty() && row.summary()[w] != expected)
      wrong = label() + ": summary word " + std::to_string(w) + " is " + hex(row.summary()[w]) + ", its blocks give " +
              hex(expected);
  }
  // The kept degree as it is, not counted: a count would hide a wrong one.
  const std::uint64_t degree = row.kept_degree();
  if (degree >= kStaleFloor) {
    if (summarised) return label() + ": stale degree " + hex(degree) + " in a summarised row";
  } else if (degree != members) {
    return label() + ": degree " + std::to_string(degree) + " but " + std::to_string(members) +
           " members in its blocks";
  }
  if (!wrong.empty()) return wrong;
  if (summarised) {
    const std::size_t words = row_summary_words(n), tops = row_top_words(n);
    for (std::size_t t = 0; t < tops; ++t) {
      SummaryWord expected = 0;
      for (std::size_t k = 0; k < kSummaryBits && t * kSummaryBits + k < words; ++k)
        expected |= static_cast<SummaryWord>(row.summary()[t * kSummaryBits + k] != 0) << k;
      if (row.top()[t] != expected)
        return label() + ": top word " + std::to_string(t) + " is " + hex(row.top()[t]) + ", its summary words give " +
               hex(expected);
    }
  }
  const std::uint64_t lowest = members == 0 ? n : next_raw(row, 0);
  if (row.first() != lowest)
    return label() + ": first() is " + std::to_string(row.first()) + ", the lowest set bit " + std::to_string(lowest);
  // With exact summaries an empty row's iteration visits nothing.
  if (members == 0) return "";
  std::uint64_t expected = lowest, seen = 0;
  row.for_each_from(0, [&](std::uint64_t i) {
    if (i != expected) {
      wrong = label() + ": for_each visits " + std::to_string(i) + " where the blocks hold " +
              std::to_string(expected) + " next";
      return false;
    }
    wrong = member(i);
    expected = next_raw(row, i + 1);
    ++seen;
    return wrong.empty();
  });
  if (!wrong.empty()) return wrong;
  if (seen != members)
    return label() + ": for_each visits " + std::to_string(seen) + " members of " + std::to_string(members);
  return "";
}

}  // namespace store_invariants_detail

inline std::string store_violation(const GraphState& g) {
  using namespace store_invariants_detail;
  const Qubit n = g.qubit_count();
  if (g.vops().size() != n) return "VOP vector of length " + std::to_string(g.vops().size());
  for (Qubit i = 0; i < n; ++i) {
    if (g.vop(i) >= kVopCount) return "VOP of " + std::to_string(i) + " is " + std::to_string(g.vop(i));
    const auto name = [&] { return "row " + std::to_string(i) + " of " + std::to_string(n); };
    const auto edge = [&](Qubit j) -> std::string {
      if (j == i) return "self-loop at " + std::to_string(i);
      if (!g.adjacent(j).contains(i))
        return "edge " + std::to_string(i) + "-" + std::to_string(j) + " in row " + std::to_string(i) + " only";
      return "";
    };
    if (std::string what = row_violation(g.adjacent(i), n, name, edge); !what.empty()) return what;
  }
  if (n == 0) return "";
  for (std::size_t slot = 0; slot < GraphState::kScratchRows; ++slot) {
    const auto name = [&] { return "scratch row " + std::to_string(slot); };
    const auto member = [&](Qubit j) { return name() + ": holds " + std::to_string(j); };
    if (std::string what = row_violation(g.scratch_row(slot), n, name, member); !what.empty()) return what;
  }
  if (!g.scratch_rows_idle()) return "a scratch row is still lent out";
  return "";
}

}  // namespace kelvorin::testing
