// Projective single-qubit measurement along X, Y or Z.
//
// `measure` returns the outcome bit (0 = eigenvalue +1, 1 = eigenvalue -1) and
// rewrites the store into the normalised post-measurement graph state; the
// measured qubit is left without edges.  An undetermined outcome takes one
// word from `source` (its top bit); a determined one draws nothing.
#pragma once

#include <cstdint>

#include "../clifford/tables.h"
#include "../random/random_source.h"
#include "graph_state.h"

namespace kelvorin {

namespace measure_detail {
void z_branch(GraphState& g, Qubit a, bool m);
void y_branch(GraphState& g, Qubit a, bool m);
void x_branch(GraphState& g, Qubit a, bool m);
}  // namespace measure_detail

template <WordSource S>
std::uint8_t measure(GraphState& g, Qubit a, Axis axis, S& source) {
  check_index(g.qubit_count(), a);
  const Vop w = clifford_adjoint(g.vop(a));
  const ConjugatedPauli effective = pauli_conjugation(w, axis);
  const std::uint8_t sign = effective.minus ? 1 : 0;
  switch (effective.axis) {
    case axis::Z: {
      const bool m = random_bit(source) != 0;
      measure_detail::z_branch(g, a, m);
      return static_cast<std::uint8_t>(m ^ sign);
    }
    case axis::Y: {
      const bool m = random_bit(source) != 0;
      measure_detail::y_branch(g, a, m);
      return static_cast<std::uint8_t>(m ^ sign);
    }
    default: {
      if (g.adjacent(a).empty()) return sign;  // an eigenstate already
      const bool m = random_bit(source) != 0;
      measure_detail::x_branch(g, a, m);
      return static_cast<std::uint8_t>(m ^ sign);
    }
  }
}

}  // namespace kelvorin
