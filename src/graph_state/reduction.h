// Operator reduction: the local complementations that bring a vertex
// operator to the identity (or, without a neighbour, as near as its
// partner allows), applied as a whole.
#pragma once

#include "graph_state.h"

namespace kelvorin {

// Reduces VOP(v) to the identity with the complementations of its reduction
// sequence, about v and about the swapping partner: the lowest neighbour of v
// other than `avoid`, or `avoid` itself when v has no such neighbour (then
// VOP(v) need not end at 0).  A VOP that is already the identity is left
// alone: its sequence is four complementations about v, which change nothing.
// The store ends exactly as after the listed complementations one by one,
// but the sequence is applied as a whole (see reduction_effect.h), in time
// for the edges it changes.  Returns the length of the sequence.
//
// Checks v.  `avoid` must be a qubit other than v (the controlled-Z passes
// its other qubit); anything else is a fault of the caller and panics before
// the store changes.
unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid);

}  // namespace kelvorin
