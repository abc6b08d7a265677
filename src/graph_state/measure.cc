#include "measure.h"

#include <bit>

#include "local_complement.h"

namespace kelvorin::measure_detail {
namespace {

// Every pair toggled here joins two valid, distinct qubits.
void toggle(GraphState& g, Qubit i, Qubit j) { toggle_edge(g, i, j); }

}  // namespace

// Measuring Z on the bare graph state: cut every edge of a; on outcome 1 the
// neighbours pick up a Z.
void z_branch(GraphState& g, Qubit a, bool m) {
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
void y_branch(GraphState& g, Qubit a, bool m) {
  const Vop k = m ? vop::Sdag : vop::S;
  BitSpan row_a = g.adjacent(a);
  row_a.for_each([&](Qubit b) { g.right_multiply(b, k); });
  // Toggling {b, d} leaves row a alone and toggling {b, a} clears a bit that
  // has been visited, so bits after b still hold the snapshot.
  row_a.for_each([&](Qubit b) {
    const Block* blocks = row_a.blocks();
    const std::size_t first = static_cast<std::size_t>(b / kBlockBits);
    for (std::size_t blk = first; blk < row_a.block_count(); ++blk) {
      Block word = blocks[blk];
      if (blk == first) word &= ~((Block{2} << (b % kBlockBits)) - 1);  // only d > b
      while (word != 0) {
        const Qubit d = blk * kBlockBits + static_cast<unsigned>(std::countr_zero(word));
        word &= word - 1;
        toggle(g, b, d);
      }
    }
    toggle(g, b, a);
  });
  g.right_multiply(a, static_cast<Vop>(vop::S - (m ? 1 : 0)));
}

// Measuring X: pivot about the lowest neighbour b0.
void x_branch(GraphState& g, Qubit a, bool m) {
  const Qubit n = g.qubit_count();
  const Qubit b0 = g.adjacent(a).first();
  if (b0 >= n) panic("Self.adjacent[node] is non-empty");

  BitSpan A = g.scratch(0);
  BitSpan B = g.scratch(1);
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

  // Every unordered pair {c, d} with c in A, d in B, c != d is toggled once,
  // and every pair inside A & B once more: the net effect toggles the pairs
  // that are not both in A & B.
  A.for_each([&](Qubit c) {
    const bool c_in_both = B.contains(c);
    B.for_each([&](Qubit d) {
      if (d == c) return;
      if (c_in_both && A.contains(d)) return;  // inside A & B: toggled twice
      toggle(g, c, d);  // any other pair arises from this order only
    });
  });
  A.for_each([&](Qubit c) {
    if (c != b0) toggle(g, b0, c);
  });
}

}  // namespace kelvorin::measure_detail
