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
  GraphState(GraphState&& other) noexcept = default;
  GraphState& operator=(const GraphState& other);
  GraphState& operator=(GraphState&& other) noexcept = default;
  ~GraphState() = default;

  Qubit qubit_count() const noexcept { return vops_.size(); }
  std::size_t blocks_per_row() const noexcept { return row_blocks_; }

  Vop vop(Qubit q) const noexcept { return vops_[q]; }
  void set_vop(Qubit q, Vop v) noexcept { vops_[q] = v; }
  const std::vector<Vop>& vops() const noexcept { return vops_; }

  BitSpan adjacent(Qubit q) noexcept { return BitSpan(row(q), qubit_count()); }
  const BitSpan adjacent(Qubit q) const noexcept {
    return BitSpan(const_cast<Block*>(row(q)), qubit_count());
  }

  // Working rows for operations that must snapshot neighbourhoods; they are
  // part of the store's one allocation, so no operation allocates.
  static constexpr std::size_t kScratchRows = 2;
  BitSpan scratch(std::size_t i) noexcept { return BitSpan(row(qubit_count() + i), qubit_count()); }

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
    void operator()(Block* p) const noexcept;
  };

  Block* row(Qubit q) noexcept { return rows_.get() + q * row_blocks_; }
  const Block* row(Qubit q) const noexcept { return rows_.get() + q * row_blocks_; }

  std::vector<Vop> vops_;
  std::size_t row_blocks_ = 0;
  std::unique_ptr<Block[], FreeDeleter> rows_;
};

}  // namespace kelvorin
