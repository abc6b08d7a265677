// The connected component of a qubit in the graph: the qubits entangled with
// it, itself included.  Vertex operators play no part.
#pragma once

#include <vector>

#include "graph_state.h"

namespace kelvorin {

// Breadth-first walk from `start`.  Returns every visited qubit once, in the
// order visited (start first, then by distance, neighbours ascending).  A
// start at or beyond the qubit count stops with the out-of-range Panic before
// any neighbour is read.  Throws std::bad_alloc when the working memory cannot
// be had.
std::vector<Qubit> entangled_group(const GraphState& state, Qubit start);

}  // namespace kelvorin
