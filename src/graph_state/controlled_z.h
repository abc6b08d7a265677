// The controlled-Z between two qubits of a graph state: the engine's only
// operation that sets or clears a given edge.
#pragma once

#include "graph_state.h"

namespace kelvorin {

// Applies CZ to qubits a and b.  Fails, before changing anything, when a == b
// (an assertion message naming both) or when a, then b, is out of range.
// The gate is symmetric, but the argument order decides which vertex is
// reduced first and which VOP indexes the lookup first.
//
// Returns the number of local complementations the reductions performed.
unsigned apply_cz(GraphState& state, Qubit a, Qubit b);

// The checks `apply_cz(a, b)` starts with, in the same order, on their own.
void check_cz_arguments(const GraphState& state, Qubit a, Qubit b);

}  // namespace kelvorin
