// Small helpers shared by the engine tests.
#pragma once

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

// Adds the edge {a, b} to both rows directly, with no gate involved.
inline void connect(GraphState& g, Qubit a, Qubit b) {
  g.adjacent(a).insert(b);
  g.adjacent(b).insert(a);
}

}  // namespace kelvorin::testing
