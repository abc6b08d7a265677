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
  GraphState(GraphState&& other) noexcept = default;
  GraphState& operator=(const GraphState& other);
  GraphState& operator=(GraphState&& other) noexcept = default;
  ~GraphState() = default;

  Qubit qubit_count() const noexcept { return vops_.size(); }
  std::size_t blocks_per_row() const noexcept { return row_blocks_; }

  Vop vop(Qubit q) const noexcept { return vops_[q]; }
  void set_vop(Qubit q, Vop v) noexcept { vops_[q] = v; }
  const std::vector<Vop>& vops() const noexcept { return vops_; }

  BitSpan adjacent(Qubit q) noexcept { return span(q); }
  const BitSpan adjacent(Qubit q) const noexcept { return const_cast<GraphState*>(this)->span(q); }

  // Working rows for operations that must snapshot neighbourhoods or mark
  // vertices; they are allocated with the store, so no operation allocates.
  // They are not part of the state: every user leaves its scratch row empty
  // again, so read-only operations may use them too.
  static constexpr std::size_t kScratchRows = 3;
  BitSpan scratch(std::size_t i) const noexcept { return const_cast<GraphState*>(this)->span(qubit_count() + i); }

  // VOP(q) <- g . VOP(q) (the gate acts after what is there).  Checks q.
  void apply_gate(Qubit q, Vop g) {
    check_index(qubit_count(), q);
    vops_[q] = clifford_product(g, vops_[q]);
  }
  // VOP(q) <- VOP(q) . k (k acts before what is there).  Does not check q.
  void right_multiply(Qubit q, Vop k) noexcept { vops_[q] = clifford_product(vops_[q], k); }

  void x(Qubit q) { apply_gate(q, vop::X); }
  void y(Qubit q) { apply_gate(q, vop::Y); }
  void z(Qubit q) { apply_gate(q, vop::Z); }
  void h(Qubit q) { apply_gate(q, vop::H); }
  void s(Qubit q) { apply_gate(q, vop::S); }
  void sdag(Qubit q) { apply_gate(q, vop::Sdag); }

  bool operator==(const GraphState& other) const;

 private:
  struct FreeDeleter {
    void operator()(void* p) const noexcept;
  };

  BitSpan span(Qubit q) noexcept {
    return BitSpan(rows_.get() + q * row_blocks_,
                   RowIndex{summary_.get() + q * summary_words_, top_.get() + q * top_words_, degrees_.data() + q},
                   qubit_count());
  }

  std::vector<Vop> vops_;
  std::size_t row_blocks_ = 0;     // blocks per row
  std::size_t summary_words_ = 0;  // summary words per row
  std::size_t top_words_ = 0;      // top summary words per row
  // n + kScratchRows rows each: the adjacency blocks, their summaries and the
  // degrees.
  std::unique_ptr<Block[], FreeDeleter> rows_;
  std::unique_ptr<SummaryWord[], FreeDeleter> summary_;
  std::unique_ptr<SummaryWord[], FreeDeleter> top_;
  std::vector<std::uint64_t> degrees_;
};

}  // namespace kelvorin
