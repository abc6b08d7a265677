// Projective single-qubit measurement along X, Y or Z.
//
// `measure` returns the outcome bit (0 = eigenvalue +1, 1 = eigenvalue -1) and
// rewrites the store into the normalised post-measurement graph state; the
// measured qubit is left without edges.  An undetermined outcome takes one
// word from `source` (its top bit); a determined one draws nothing.
//
// A measurement is planned before it runs: the plan fixes the branch (the
// axis the measurement takes on the bare graph state) and, for X, the pivot.
// The plan is also the one place that says which rows and operators the
// measurement may change (`for_each_qubit_changed`), so whoever must save
// them first (the peek journal) reads it from the same decision the
// measurement itself follows.
#pragma once

#include <cstdint>

#include "../clifford/tables.h"
#include "../random/random_source.h"
#include "graph_state.h"

namespace kelvorin {

struct MeasurementPlan {
  Qubit qubit;
  Axis branch;  // the axis measured on the bare graph state
  bool minus;   // the conjugated Pauli's sign, folded into the outcome
  Qubit pivot;  // X branch: the lowest neighbour, or kNoPivot when isolated

  // The outcome is fixed: an X measurement of an isolated qubit.
  bool determined() const noexcept { return branch == axis::X && pivot == kNoPivot; }
  static constexpr Qubit kNoPivot = ~Qubit{0};
};

// The plan for measuring qubit `a` along `axis`; checks a.  `Store` is the
// state store or a working copy of it (working_copy.h), here and below.
template <class Store>
MeasurementPlan plan_measurement(const Store& g, Qubit a, Axis axis) {
  check_index(g.qubit_count(), a);
  const ConjugatedPauli effective = pauli_conjugation(clifford_adjoint(g.vop(a)), axis);
  MeasurementPlan plan{a, effective.axis, effective.minus, MeasurementPlan::kNoPivot};
  if (plan.branch == axis::X) {
    const RowView row = g.adjacent(a);
    if (!row.empty()) plan.pivot = row.first();
  }
  return plan;
}

// Calls visit(q) once for each qubit whose row or vertex operator carrying
// out `plan` may change: for Z and Y the qubit and its neighbours; for X the
// qubit, its neighbours and the pivot's neighbours; nothing when the outcome
// is determined.  Reads the store as it is before the measurement.
template <class Store, class F>
void for_each_qubit_changed(const Store& g, const MeasurementPlan& plan, F&& visit) {
  if (plan.determined()) return;
  const RowView row = g.adjacent(plan.qubit);
  visit(plan.qubit);
  row.for_each([&](Qubit b) { visit(b); });
  if (plan.branch == axis::X) {
    g.adjacent(plan.pivot).for_each([&](Qubit c) {
      if (c != plan.qubit && !row.contains(c)) visit(c);
    });
  }
}

// The three branches, made for GraphState and WorkingCopy (measure.cc).
namespace measure_detail {
template <class Store>
void z_branch(Store& g, Qubit a, bool m);
template <class Store>
void y_branch(Store& g, Qubit a, bool m);
template <class Store>
void x_branch(Store& g, Qubit a, Qubit pivot, bool m);
}  // namespace measure_detail

// Carries out `plan`, made on this store as it is now.
template <class Store, WordSource S>
std::uint8_t measure(Store& g, const MeasurementPlan& plan, S& source) {
  const std::uint8_t sign = plan.minus ? 1 : 0;
  if (plan.determined()) return sign;  // an eigenstate already
  const bool m = random_bit(source) != 0;
  switch (plan.branch) {
    case axis::Z:
      measure_detail::z_branch(g, plan.qubit, m);
      break;
    case axis::Y:
      measure_detail::y_branch(g, plan.qubit, m);
      break;
    default:
      measure_detail::x_branch(g, plan.qubit, plan.pivot, m);
      break;
  }
  return static_cast<std::uint8_t>(m ^ sign);
}

template <WordSource S>
std::uint8_t measure(GraphState& g, Qubit a, Axis axis, S& source) {
  return measure(g, plan_measurement(g, a, axis), source);
}

}  // namespace kelvorin
