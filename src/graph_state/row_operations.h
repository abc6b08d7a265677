// Row operations on the store that the graph rewrites are built from:
// complementing the edges among a set of vertices, XORing many rows with one
// set, and moving one edge end in many rows.  None of them
// touches a vertex operator.
#pragma once

#include <cstddef>

#include "graph_state.h"

namespace kelvorin {

// Flips every edge between two members of `members`, which must not be a row
// that any of those edges touches (a neighbourhood of another vertex, or a
// snapshot).  Word-parallel when the set is large.  `Store` here and below is
// GraphState or a peek's WorkingCopy (working_copy.h), for which these are
// made (row_operations.cc).
template <class Store>
void complement_neighbourhood(Store& state, RowView members);

// Whether a row XOR leaves each member's own bit out: with kLeftOut, every
// member must be in the set, and its row gets the set less itself (the bit
// the XOR brings in is flipped out again before the next row's turn).
enum class OwnBit : bool { kIncluded, kLeftOut };

// The step every row XOR with a set takes for one member w: xor_with(row)
// XORs w's row with the set, or the chunk of it at hand; where the own bit
// is to be left out and that chunk holds w, it is flipped back out of the
// row right after the XOR brought it in.  (Toggling it in the chunk instead
// would write the chunk between reads, and a wide load that follows a
// narrow store to the same bytes waits for it.)
template <class Xor>
[[gnu::always_inline]] inline void flip_member_row(BitSpan row, Qubit w, bool own_in_chunk, Xor&& xor_with) {
  xor_with(row);
  if (own_in_chunk) row.flip(w);
}

// XORs the row of every member of `members` with `set`, word-parallel.
// Neither may be a row that this changes (snapshots, or the rows of vertices
// outside `members`).
template <class Store>
void flip_rows_against(Store& state, RowView members, RowView set, OwnBit own = OwnBit::kIncluded);

// In the row of every member of `members`, each of which must hold `from`
// and not `to`, `to` takes the place of `from`: an edge moves from one end
// to another, as when a star's centre passes to a leaf.  The degrees stay.
void replace_in_rows(GraphState& state, BlockRange members, Qubit from, Qubit to) noexcept;

}  // namespace kelvorin
