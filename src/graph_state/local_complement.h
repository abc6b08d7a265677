// Graph primitives that rewrite the representation of a graph state without
// changing the state itself (local complementation, operator reduction), and
// the edge toggle that both they and the measurement rules are built from.
#pragma once

#include "graph_state.h"

namespace kelvorin {

// Flips the edge between the distinct vertices i and j in both adjacency
// sets; whether the edge was there is read from i's set.  Checks i, then j.
void toggle_edge(GraphState& state, Qubit i, Qubit j);

// Local complementation about v: every edge between two neighbours of v is
// flipped (each unordered pair once, the lower index first, in ascending
// order), each neighbour's VOP is right-multiplied by S (6), and VOP(v) by
// (I + iX)/sqrt2 (14).  The represented state is unchanged.  Checks v.
void local_complement(GraphState& state, Qubit v);

// Flips every edge between two members of `members`, which must not be a row
// that any of those edges touches (a neighbourhood of another vertex, or a
// snapshot).  Word-parallel when the set is large.
void complement_neighbourhood(GraphState& state, RowView members);

// XORs the row of every member of `members` with `set`, word-parallel.
// Neither may be a row that this changes (snapshots, or the rows of vertices
// outside `members`).
void flip_rows_against(GraphState& state, RowView members, RowView set);

// Reduces VOP(v) to the identity with the complementations of its reduction
// sequence, about v and about the swapping partner: the lowest neighbour of v
// other than `avoid`, or `avoid` itself when v has no such neighbour (then
// VOP(v) need not end at 0).  A VOP that is already the identity is left
// alone: its sequence is four complementations about v, which change nothing.
// The store ends exactly as after the listed complementations one by one,
// but the sequence is applied as a whole (see reduction_effect.h), in time
// for the edges it changes.  Returns the length of the sequence.  Checks v.
unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid);

}  // namespace kelvorin
