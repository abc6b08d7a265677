#include "local_complement.h"

#include "row_operations.h"

namespace kelvorin {

void local_complement(GraphState& state, Qubit v) {
  check_index(state.qubit_count(), v);
  // v is never one of a toggled pair, so its own set stays as it was when the
  // loop started and can be read throughout.
  const RowView neighbours = state.adjacent(v);
  complement_neighbourhood(state, neighbours);
  state.right_multiply_each(neighbours, vop::LcNeighbour);
  state.right_multiply(v, vop::LcCentre);
}

}  // namespace kelvorin
