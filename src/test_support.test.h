// Small helpers shared by the engine tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "graph_state/graph_state.h"
#include "panic.h"

namespace kelvorin::testing {

// The message of the Panic that f() throws, or "<no panic>".
inline std::string panic_text(auto&& f) {
  try {
    f();
  } catch (const Panic& p) {
    return p.what();
  }
  return "<no panic>";
}

// Whether the edge {i, j} is in the store, read from i's row.
inline bool edge(const GraphState& g, Qubit i, Qubit j) {
  return g.adjacent(i).contains(j);
}

// Flips the edge {i, j} (distinct, in range) in both rows directly: a CZ
// between the bare qubits.
inline void toggle_edge(GraphState& g, Qubit i, Qubit j) {
  g.adjacent(i).flip(j);
  g.adjacent(j).flip(i);
}

// Adds the edge {a, b} to both rows directly, with no gate involved.
inline void connect(GraphState& g, Qubit a, Qubit b) {
  g.adjacent(a).insert(b);
  g.adjacent(b).insert(a);
}

// The store's structural invariants: symmetric, loop-free, VOPs in range.
inline ::testing::AssertionResult well_formed(const GraphState& g) {
  for (Qubit i = 0; i < g.qubit_count(); ++i) {
    if (g.vop(i) >= kVopCount) return ::testing::AssertionFailure() << "VOP of " << i << " out of range";
    if (g.adjacent(i).contains(i)) return ::testing::AssertionFailure() << "self-loop at " << i;
    bool symmetric = true;
    Qubit bad = 0;
    g.adjacent(i).for_each([&](Qubit j) {
      if (j >= g.qubit_count() || !g.adjacent(j).contains(i)) {
        symmetric = false;
        bad = j;
      }
    });
    if (!symmetric) return ::testing::AssertionFailure() << "edge " << i << "-" << bad << " is one-sided";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace kelvorin::testing
