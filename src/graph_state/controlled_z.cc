#include "controlled_z.h"

#include <string>

#include "../clifford/cz_table.h"
#include "reduction.h"

namespace kelvorin {
namespace {

[[noreturn]] void panic_same_qubit(Qubit a, Qubit b) {
  panic("assertion `left != right` failed: Same control and target not allowed\n  left: " + std::to_string(a) +
        "\n right: " + std::to_string(b));
}

}  // namespace

void check_cz_arguments(const GraphState& state, Qubit a, Qubit b) {
  if (a == b) [[unlikely]]
    panic_same_qubit(a, b);
  check_index(state.qubit_count(), a);
  check_index(state.qubit_count(), b);
}

unsigned apply_cz(GraphState& state, Qubit a, Qubit b) {
  check_cz_arguments(state, a, b);

  // The lookup is valid once each qubit either has no neighbour besides the
  // other or carries an operator commuting with Z.  Reducing one qubit can
  // give the other new neighbours (or take some away), so every condition is
  // read afresh just before its step; when neither of the first two steps
  // ran, nothing has changed since the first, so the third is false without
  // a look.  The rows are views into the store, which a reduction changes
  // but never moves, so they are made once.  A neighbour besides the other
  // qubit is told from the degree; the blocks are read only at degree 1 (a
  // row never written is not read either, so its memory stays unmapped
  // until the first edge arrives).
  BitSpan row_a = state.adjacent(a);
  BitSpan row_b = state.adjacent(b);
  unsigned complementations = 0;
  const bool reduce_a = row_a.has_member_other_than(b);
  if (reduce_a) complementations += remove_vop(state, a, b);
  const bool reduce_b = row_b.has_member_other_than(a);
  if (reduce_b) complementations += remove_vop(state, b, a);
  if ((reduce_a || reduce_b) && row_a.has_member_other_than(b) && !z_commuting(state.vop(a)))
    complementations += remove_vop(state, a, b);

  const bool edge = !row_a.empty() && row_a.contains(b);
  const CzEntry entry = cz_table(edge, state.vop(a), state.vop(b));
  if (entry.edge != 0) {
    row_a.insert(b);
    row_b.insert(a);
  } else {
    row_a.remove(b);
    row_b.remove(a);
  }
  state.set_vop(a, entry.a);
  state.set_vop(b, entry.b);
  return complementations;
}

}  // namespace kelvorin
