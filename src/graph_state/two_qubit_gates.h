// The nine two-qubit Clifford gates.  Gate [x|y]c[x|y|z] applies the target
// Pauli P_t (last letter) on the -1 eigenspace of the control Pauli P_c (first
// letter, Z when absent):
//
//   1/2 (I + P_c) x I  +  1/2 (I - P_c) x P_t.
//
// Each is one controlled-Z wrapped in single-qubit basis changes (H for X,
// S^dagger then H for Y), applied by left multiplication before the CZ and
// undone after it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graph_state.h"

namespace kelvorin {

// The gates, in the order of the Python method table: X(name, Enumerator)
// for each.  Everything that lists the gates (the enumeration, the
// simulator's methods, the Python methods) expands this one list.
#define KELVORIN_TWO_QUBIT_GATES(X) \
  X(cz, CZ)                         \
  X(cx, CX)                         \
  X(xcx, XCX)                       \
  X(ycx, YCX)                       \
  X(xcz, XCZ)                       \
  X(ycz, YCZ)                       \
  X(cy, CY)                         \
  X(xcy, XCY)                       \
  X(ycy, YCY)

#define KELVORIN_ENUMERATOR(name, Enumerator) Enumerator,
enum class TwoQubitGate : std::uint8_t { KELVORIN_TWO_QUBIT_GATES(KELVORIN_ENUMERATOR) };
#undef KELVORIN_ENUMERATOR
#define KELVORIN_COUNT(name, Enumerator) +1
inline constexpr std::size_t kTwoQubitGateCount = 0 KELVORIN_TWO_QUBIT_GATES(KELVORIN_COUNT);
#undef KELVORIN_COUNT

// Applies `gate` to (control, target).  The indices are checked in the order
// the steps first touch them: a qubit given a basis change before the CZ at
// that change, the other one inside the CZ, after its test that the two
// differ.  So `cx` names an out-of-range target first, `xcx` the control, and
// `cz(q, q)` reports the assertion even for q out of range.  All checks run
// before the first change, so a failed gate leaves the store as it was.
void apply_two_qubit_gate(GraphState& state, TwoQubitGate gate, Qubit control, Qubit target);

}  // namespace kelvorin
