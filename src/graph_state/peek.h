// Sampling the measurement of a set of qubits on a copy of the state.
//
// Every requested qubit is measured in turn on a working copy: a qubit that
// still has neighbours is measured along an axis drawn uniformly from X, Y, Z;
// an isolated one along the axis in which it is an eigenstate, so that its
// outcome is determined.  The state itself is never changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "../random/random_source.h"
#include "graph_state.h"
#include "measure.h"

namespace kelvorin {

struct PeekOutcome {
  Qubit qubit;
  std::uint8_t bit;  // 0 = +1, 1 = -1
  Axis axis;
};

// Measures each distinct index of `qubits` on a copy of `state`, in
// ascending order, and returns (qubit, outcome, axis) per index.  An index at
// or beyond the qubit count stops the call with the out-of-range Panic at its
// turn; nothing is returned then.  Allocation failures throw std::bad_alloc.
template <WordSource S>
std::vector<PeekOutcome> peek_measure_set(const GraphState& state, std::vector<Qubit> qubits, S& source) {
  std::sort(qubits.begin(), qubits.end());
  qubits.erase(std::unique(qubits.begin(), qubits.end()), qubits.end());
  GraphState copy(state);
  std::vector<PeekOutcome> results;
  results.reserve(qubits.size());
  const Qubit n = copy.qubit_count();
  for (const Qubit q : qubits) {
    check_index(n, q);
    Axis axis;
    if (!copy.adjacent(q).empty()) {
      const std::int32_t drawn = uniform_int(source, 0, 3);
      if (drawn < 0 || drawn > 2) panic("internal error: entered unreachable code: rng generates in the range 0..3");
      axis = static_cast<Axis>(drawn);
    } else {
      axis = isolated_axis(clifford_adjoint(copy.vop(q)));
    }
    const std::uint8_t bit = measure(copy, q, axis, source);
    results.push_back({q, bit, axis});
  }
  return results;
}

}  // namespace kelvorin
