// A copy of the store that costs what is changed in it: a peek's measurements
// run on it while the store itself is only read.
//
// Every read goes to the store until the qubit is taken (`take`), which copies
// its row and vertex operator into rows that the copy owns; from then on reads
// and writes of that qubit go to the copy.  A measurement takes every qubit
// its plan may change before it runs (for_each_qubit_changed), so the store is
// never written and calls on several threads may share it.
//
// The rows come from the calling thread's pool, kept empty between calls, so
// that a copy pays for the blocks its rows hold rather than for their length,
// as a journal of saved rows would.  A copy made while the thread's pool is in
// use (a word source that peeks again) gets a pool of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "graph_state.h"

namespace kelvorin {

class WorkingCopy {
 public:
  // One row of the pool (its blocks and index, which the pool owns) and the
  // qubit and vertex operator it holds while taken.
  struct Row {
    Block* blocks;
    std::uint64_t* index;
    Vop vop;
    Qubit qubit;
  };
  struct Pool;

  // A copy of `base`, which must not change while the copy lives.  May throw
  // std::bad_alloc.
  explicit WorkingCopy(const GraphState& base);
  ~WorkingCopy();
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  Qubit qubit_count() const noexcept { return base_.qubit_count(); }

  Vop vop(Qubit q) const noexcept {
    const Row* row = taken_[q];
    return row != nullptr ? row->vop : base_.vop(q);
  }
  // The row of q as it is in the copy.  q must be below the qubit count.
  RowView adjacent(Qubit q) const noexcept {
    const Row* row = taken_[q];
    return row != nullptr ? view(*row) : base_.adjacent(q);
  }
  // The row of q, writable: q must have been taken.
  BitSpan adjacent(Qubit q) { return span(taken(q)); }

  void right_multiply(Qubit q, Vop k) {
    Row& row = taken(q);
    row.vop = clifford_product(row.vop, k);
  }
  void right_multiply_each(RowView members, Vop k) {
    members.for_each([&](Qubit q) { right_multiply(q, k); });
  }

  // Copies the row and vertex operator of q (below the qubit count) into the
  // copy, unless it is there already.  May throw std::bad_alloc, leaving the
  // copy as it was.
  void take(Qubit q);

  // A working row of the copy's own, as GraphState::lease_scratch.
  ScratchRow lease_scratch();

 private:
  Row& taken(Qubit q) {
    Row* row = taken_[q];
    if (row == nullptr) [[unlikely]]
      panic_not_taken(q);
    return *row;
  }
  [[noreturn]] static void panic_not_taken(Qubit q);
  BitSpan span(Row& row) const noexcept;
  RowView view(const Row& row) const noexcept;

  const GraphState& base_;
  std::unique_ptr<Pool> own_pool_;  // only while the thread's pool is in use
  Pool& pool_;
  Row* const* taken_;  // the pool's map from qubit to row, nullptr if not taken
};

inline BitSpan WorkingCopy::span(Row& row) const noexcept {
  return BitSpan(row.blocks, RowIndex{row.index}, base_.qubit_count(), base_.blocks_per_row());
}
inline RowView WorkingCopy::view(const Row& row) const noexcept {
  return RowView(row.blocks, RowIndex{row.index}, base_.qubit_count(), base_.blocks_per_row());
}

}  // namespace kelvorin
