// Local complementation: rewrites the representation of a graph state
// without changing the state itself.
#pragma once

#include "graph_state.h"

namespace kelvorin {

// Local complementation about v: every edge between two neighbours of v is
// flipped (each unordered pair once, the lower index first, in ascending
// order), each neighbour's VOP is right-multiplied by S (6), and VOP(v) by
// (I + iX)/sqrt2 (14).  The represented state is unchanged.  Checks v.
void local_complement(GraphState& state, Qubit v);

}  // namespace kelvorin
