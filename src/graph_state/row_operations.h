// Row operations on the store that the graph rewrites are built from: the
// edge toggle, complementing the edges among a set of vertices, and XORing
// many rows with one set.  None of them touches a vertex operator.
#pragma once

#include <cstddef>

#include "graph_state.h"

namespace kelvorin {

// Up to this many vertices, flipping the edges among them pair by pair beats
// row operations.
inline constexpr std::size_t kPairwiseMost = 64;

// Flips the edge between the distinct vertices i and j in both adjacency
// sets; whether the edge was there is read from i's set.  Checks i, then j.
void toggle_edge(GraphState& state, Qubit i, Qubit j);

// The same without the checks, for callers that have made them.
[[gnu::always_inline]] inline void toggle_edge_unchecked(GraphState& state, Qubit i, Qubit j) noexcept {
  state.adjacent(i).flip(j);
  state.adjacent(j).flip(i);
}

// Flips every edge between two members of `members`, which must not be a row
// that any of those edges touches (a neighbourhood of another vertex, or a
// snapshot).  Word-parallel when the set is large.
void complement_neighbourhood(GraphState& state, RowView members);

// XORs the row of every member of `members` with `set`, word-parallel.
// Neither may be a row that this changes (snapshots, or the rows of vertices
// outside `members`).
void flip_rows_against(GraphState& state, RowView members, RowView set);

}  // namespace kelvorin
