// The state store: one vertex operator per qubit and one adjacency bit set per
// qubit, representing
//
//   |psi> = (VOP(0) x ... x VOP(n-1)) . prod_{edges} CZ . |+>^n.
//
// All n adjacency rows live in one zero-initialised allocation of
// n * ceil(n / 32) blocks, so a state too large for the machine fails at
// construction (std::bad_alloc) instead of part-way through, and untouched
// rows cost no physical memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "../clifford/tables.h"
#include "bit_set.h"

namespace kelvorin {

using Qubit = std::uint64_t;

namespace measure_detail {
template <class Store>
void x_branch(Store& g, Qubit a, Qubit pivot, bool m);
}  // namespace measure_detail

// A working row lent out from a small pool of them (the store's scratch rows,
// or a peek's own): taken empty and given back empty however the borrower
// ends.  `leased` has bit `slot` set while the row is out.
class ScratchRow {
 public:
  ScratchRow(const ScratchRow&) = delete;
  ScratchRow& operator=(const ScratchRow&) = delete;
  ~ScratchRow() {
    row_.clear();
    leased_ &= static_cast<std::uint8_t>(~(1u << slot_));
  }
  BitSpan& operator*() noexcept { return row_; }
  BitSpan* operator->() noexcept { return &row_; }

  // The lowest free row of a pool of `rows` (at most 8), row_at(slot) giving
  // each.  Panics when none is free or the row is not empty: both would be
  // a fault of the engine, never of the caller.
  template <class RowAt>
  static ScratchRow lease(std::uint8_t& leased, std::size_t rows, RowAt&& row_at) {
    for (std::size_t slot = 0; slot < rows; ++slot) {
      if (((static_cast<unsigned>(leased) >> slot) & 1u) != 0) continue;
      const BitSpan row = row_at(slot);
      if (!row.empty()) panic_returned_with_members(slot);
      leased |= static_cast<std::uint8_t>(1u << slot);
      return ScratchRow(leased, slot, row);
    }
    panic("internal error: every scratch row is lent out");
  }

 private:
  ScratchRow(std::uint8_t& leased, std::size_t slot, BitSpan row) noexcept : leased_(leased), slot_(slot), row_(row) {}
  [[noreturn]] static void panic_returned_with_members(std::size_t slot);
  std::uint8_t& leased_;
  std::size_t slot_;
  BitSpan row_;
};

class GraphState {
 public:
  // n fresh qubits in |0>: every VOP is H, no edges.  Throws Panic("capacity
  // overflow") for n >= 2^63 and std::bad_alloc when the memory cannot be had.
  explicit GraphState(Qubit qubit_amount);
  GraphState(const GraphState& other);  // deep copy; may throw std::bad_alloc

  // The bytes the store of `qubit_amount` qubits asks for at construction
  // (adjacency rows with their summaries and degrees, scratch rows included,
  // and the VOPs); empty when the count does not fit in std::size_t.
  static std::optional<std::size_t> bytes_needed(Qubit qubit_amount) noexcept;
  GraphState(GraphState&& other) noexcept = default;  // only between operations
  GraphState& operator=(const GraphState& other);
  GraphState& operator=(GraphState&& other) noexcept = default;
  ~GraphState() = default;

  Qubit qubit_count() const noexcept { return vops_.size(); }
  std::size_t blocks_per_row() const noexcept { return row_blocks_; }

  Vop vop(Qubit q) const noexcept { return vops_[q]; }
  void set_vop(Qubit q, Vop v) noexcept { vops_[q] = v; }
  const std::vector<Vop>& vops() const noexcept { return vops_; }

  // The row of q: writable through a store that may change, a read-only view
  // through a const one.  q must be below the qubit count.
  BitSpan adjacent(Qubit q) noexcept { return BitSpan(row_blocks(q), row_index(q), qubit_count(), row_blocks_); }
  RowView adjacent(Qubit q) const noexcept { return RowView(row_blocks(q), row_index(q), qubit_count(), row_blocks_); }

  // Working rows for operations that change the store and must snapshot
  // neighbourhoods or mark vertices; they are allocated with the store, so no
  // operation allocates.  They are not part of the state (no view, copy or
  // comparison sees them).  Only the engine's operations that need them may
  // lease (see the friends below); everyone else sees RowViews only.
  // Read-only operations never lease: they take working memory of their own
  // or their thread's, so that threads may share a const store.
  static constexpr std::size_t kScratchRows = 4;
  using ScratchRow = kelvorin::ScratchRow;
  // Whether every scratch row is free and empty, as between operations.
  bool scratch_rows_idle() const noexcept;
  // Scratch row `slot` (below kScratchRows) read-only, for checks of its
  // contents between operations.  Only a store with qubits has scratch rows.
  RowView scratch_row(std::size_t slot) const noexcept { return adjacent(qubit_count() + slot); }

  // VOP(q) <- g . VOP(q) (the gate acts after what is there).  Checks q.
  void apply_gate(Qubit q, Vop g) {
    check_index(qubit_count(), q);
    vops_[q] = clifford_product(g, vops_[q]);
  }
  // VOP(q) <- VOP(q) . k (k acts before what is there).  Does not check q.
  void right_multiply(Qubit q, Vop k) noexcept { vops_[q] = clifford_product(vops_[q], k); }
  // The same for every member of `members`, a row of this store's length.
  void right_multiply_each(RowView members, Vop k) noexcept {
    // The VOPs are bytes, which may alias anything: read the vector's data
    // pointer once, not after every store.
    Vop* const vops = vops_.data();
    members.for_each([&](Qubit q) { vops[q] = clifford_product(vops[q], k); });
  }

  void x(Qubit q) { apply_gate(q, vop::X); }
  void y(Qubit q) { apply_gate(q, vop::Y); }
  void z(Qubit q) { apply_gate(q, vop::Z); }
  void h(Qubit q) { apply_gate(q, vop::H); }
  void s(Qubit q) { apply_gate(q, vop::S); }
  void sdag(Qubit q) { apply_gate(q, vop::Sdag); }

  bool operator==(const GraphState& other) const;

 private:
  // The operations that lease scratch rows.
  template <class Store>
  friend void measure_detail::x_branch(Store& g, Qubit a, Qubit pivot, bool m);
  friend unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid);

  // The lowest free scratch row (ScratchRow::lease).
  ScratchRow lease_scratch();

  struct FreeDeleter {
    void operator()(void* p) const noexcept;
  };

  // Row q's storage; rows n .. n + kScratchRows - 1 are the scratch rows.
  Block* row_blocks(Qubit q) const noexcept { return rows_.get() + q * row_blocks_; }
  RowIndex row_index(Qubit q) const noexcept { return RowIndex{index_.get() + q * index_words_}; }

  std::vector<Vop> vops_;
  std::size_t row_blocks_ = 0;  // blocks per row
  // Index words per row (degree, summary and top words; see RowIndex).
  std::size_t index_words_ = 0;
  // n + kScratchRows rows each: the adjacency blocks, and the index words.
  std::unique_ptr<Block[], FreeDeleter> rows_;
  std::unique_ptr<std::uint64_t[], FreeDeleter> index_;
  // Bit i set while scratch row i is lent out.
  std::uint8_t leased_ = 0;
};

}  // namespace kelvorin
