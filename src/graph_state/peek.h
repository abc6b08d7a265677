// Sampling the measurement of a set of qubits without disturbing the state.
//
// Every requested qubit is measured in turn: a qubit that still has
// neighbours is measured along an axis drawn uniformly from X, Y, Z; an
// isolated one along the axis in which it is an eigenstate, so that its
// outcome is determined.  The measurements run on a working copy that takes
// every row and operator a measurement can change before it runs
// (working_copy.h): the result is that of measuring a copy, at the cost of
// the rows touched, and the state is only read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "../random/random_source.h"
#include "graph_state.h"
#include "measure.h"
#include "working_copy.h"

namespace kelvorin {

struct PeekOutcome {
  Qubit qubit;
  std::uint8_t bit;  // 0 = +1, 1 = -1
  Axis axis;
};

// Measures each distinct index of `qubits` in ascending order and returns
// (qubit, outcome, axis) per index; `state` is left exactly as it was.  An
// index at or beyond the qubit count stops the call with the out-of-range
// Panic at its turn; nothing is returned then.  Allocation failures throw
// std::bad_alloc.
template <WordSource S>
std::vector<PeekOutcome> peek_measure_set(const GraphState& state, std::vector<Qubit> qubits, S& source) {
  std::sort(qubits.begin(), qubits.end());
  qubits.erase(std::unique(qubits.begin(), qubits.end()), qubits.end());
  std::vector<PeekOutcome> results;
  results.reserve(qubits.size());
  WorkingCopy copy(state);
  const WorkingCopy& now = copy;  // reads, which may go to the state
  const Qubit n = state.qubit_count();
  for (const Qubit q : qubits) {
    check_index(n, q);
    Axis axis;
    if (!now.adjacent(q).empty()) {
      const std::int32_t drawn = uniform_int(source, 0, 3);
      if (drawn < 0 || drawn > 2) panic("internal error: entered unreachable code: rng generates in the range 0..3");
      axis = static_cast<Axis>(drawn);
    } else {
      // An isolated qubit along its eigen-axis: determined, nothing changes.
      axis = isolated_axis(clifford_adjoint(now.vop(q)));
    }
    const MeasurementPlan plan = plan_measurement(now, q, axis);
    for_each_qubit_changed(now, plan, [&](Qubit c) { copy.take(c); });
    const std::uint8_t bit = measure(copy, plan, source);
    results.push_back({q, bit, axis});
  }
  return results;
}

}  // namespace kelvorin
