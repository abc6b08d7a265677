#include "measure.h"

#include "row_operations.h"
#include "working_copy.h"

namespace kelvorin {

namespace measure_detail {

// Measuring Z on the bare graph state: cut every edge of a; on outcome 1 the
// neighbours pick up a Z.
template <class Store>
void z_branch(Store& g, Qubit a, bool m) {
  BitSpan row_a = g.adjacent(a);
  // Removing {a, b} clears only bits already visited, so the row itself is the
  // snapshot.
  row_a.for_each([&](Qubit b) {
    row_a.remove(b);
    g.adjacent(b).remove(a);
    if (m) g.right_multiply(b, vop::Z);
  });
  if (m) g.right_multiply(a, vop::X);
  g.right_multiply(a, vop::H);
}

// Measuring Y: complement the neighbourhood of a and cut a off, with S or
// S^dagger on a and on every former neighbour.
template <class Store>
void y_branch(Store& g, Qubit a, bool m) {
  const Vop k = m ? vop::Sdag : vop::S;
  BitSpan row_a = g.adjacent(a);
  g.right_multiply_each(row_a, k);
  // Toggling pairs of neighbours leaves row a alone; the edges of a go last.
  complement_neighbourhood(g, row_a);
  row_a.for_each([&](Qubit b) { g.adjacent(b).flip(a); });
  row_a.clear();
  g.right_multiply(a, static_cast<Vop>(vop::S - (m ? 1 : 0)));
}

// Measuring X: pivot about b0, the lowest neighbour.
template <class Store>
void x_branch(Store& g, Qubit a, Qubit b0, bool m) {
  if (b0 >= g.qubit_count()) panic("Self.adjacent[node] is non-empty");

  // Snapshots of the two neighbourhoods before any edge changes; the leases
  // empty them again.
  ScratchRow lease_a = g.lease_scratch(), lease_b = g.lease_scratch();
  BitSpan& A = *lease_a;
  BitSpan& B = *lease_b;
  A.assign(g.adjacent(a));
  B.assign(g.adjacent(b0));

  if (!m) {
    g.right_multiply(b0, vop::HX);
    A.for_each([&](Qubit c) {
      if (c != b0 && !B.contains(c)) g.right_multiply(c, vop::Z);
    });
  } else {
    g.right_multiply(b0, vop::HY);
    g.right_multiply(a, vop::Z);
    B.for_each([&](Qubit c) {
      if (c != a && !A.contains(c)) g.right_multiply(c, vop::Z);
    });
  }

  // Every unordered pair {c, d} with c in A, d in B and c != d is toggled
  // once, and every pair inside A & B once more, so exactly the pairs that
  // are not both in A & B change.  Seen from one vertex x, its partners are
  // B when x is only in A, A when x is only in B, and the symmetric
  // difference when x is in both: each member of A takes B into its row and
  // each member of B takes A.  A vertex in both gets its own bit from each,
  // so it is gone again once both XORs are done.
  flip_rows_against(g, A, B);
  flip_rows_against(g, B, A);
  // Then {b0, c} for every other c in A.
  A.for_each([&](Qubit c) {
    if (c != b0) {
      g.adjacent(b0).flip(c);
      g.adjacent(c).flip(b0);
    }
  });
}

#define KELVORIN_MEASURE_BRANCHES(Store)              \
  template void z_branch<Store>(Store&, Qubit, bool); \
  template void y_branch<Store>(Store&, Qubit, bool); \
  template void x_branch<Store>(Store&, Qubit, Qubit, bool);
KELVORIN_MEASURE_BRANCHES(GraphState)
KELVORIN_MEASURE_BRANCHES(WorkingCopy)
#undef KELVORIN_MEASURE_BRANCHES

}  // namespace measure_detail
}  // namespace kelvorin
