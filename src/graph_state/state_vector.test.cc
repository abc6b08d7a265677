// Checks of the dense model itself against amplitudes worked out by hand, so
// that the engine tests built on it compare against something trustworthy.
#include "state_vector.test.h"

#include <gtest/gtest.h>

namespace kelvorin::testing {
namespace {

constexpr double kTol = 1e-12;

void expect_amplitudes(const StateVector& sv, const std::vector<Complex>& expected) {
  ASSERT_EQ(sv.amplitudes().size(), expected.size());
  for (std::size_t x = 0; x < expected.size(); ++x)
    EXPECT_NEAR(std::abs(sv.amplitude(x) - expected[x]), 0.0, kTol) << "basis " << x << " of " << sv;
}

TEST(StateVector, FreshStoreIsAllZero) {
  for (Qubit n = 1; n <= 6; ++n) {
    const StateVector sv = StateVector::from_graph_state(GraphState(n));
    std::vector<Complex> expected(std::size_t{1} << n, 0);
    expected[0] = 1;
    // H|+> = |0> exactly, with no phase.
    expect_amplitudes(sv, expected);
  }
}

TEST(StateVector, EdgeGivesTheTwoQubitGraphState) {
  GraphState g(2);
  g.set_vop(0, vop::I);
  g.set_vop(1, vop::I);
  g.adjacent(0).insert(1);
  g.adjacent(1).insert(0);
  expect_amplitudes(StateVector::from_graph_state(g), {0.5, 0.5, 0.5, -0.5});
}

TEST(StateVector, VopIsAppliedToItsOwnQubit) {
  // Qubit 0 carries S = diag(1, i) on |+>, qubit 1 carries Z on |+>; basis
  // index bit 0 is qubit 0.
  GraphState g(2);
  g.set_vop(0, vop::S);
  g.set_vop(1, vop::Z);
  const Complex i(0, 1);
  expect_amplitudes(StateVector::from_graph_state(g), {0.5, 0.5 * i, -0.5, -0.5 * i});
}

TEST(StateVector, ControlledPaulisActOnTheMinusOneEigenspaceOfTheControl) {
  // cx: |q1 q0> = |01> (qubit 0 set) -> |11>.
  StateVector a(2);
  a.x(0);
  a.two_qubit_gate(TwoQubitGate::CX, 0, 1);
  expect_amplitudes(a, {0, 0, 0, 1});
  // Control clear: nothing happens.
  StateVector b(2);
  b.two_qubit_gate(TwoQubitGate::CX, 0, 1);
  expect_amplitudes(b, {1, 0, 0, 0});
  // cy on |1>|0>: Y|0> = i|1>.
  StateVector c(2);
  c.x(0);
  c.two_qubit_gate(TwoQubitGate::CY, 0, 1);
  expect_amplitudes(c, {0, 0, 0, Complex(0, 1)});
  // cz flips the sign of |11> only.
  StateVector d(2);
  d.h(0);
  d.h(1);
  d.two_qubit_gate(TwoQubitGate::CZ, 1, 0);
  expect_amplitudes(d, {0.5, 0.5, 0.5, -0.5});
  // xcz(c, t) with c in |-> applies Z to t: |-> x |+> -> |-> x |->.
  StateVector e(2);
  e.x(0);
  e.h(0);
  e.h(1);
  e.two_qubit_gate(TwoQubitGate::XCZ, 0, 1);
  StateVector minus_minus(2);
  minus_minus.x(0);
  minus_minus.x(1);
  minus_minus.h(0);
  minus_minus.h(1);
  EXPECT_TRUE(equal_up_to_phase(e, minus_minus));
}

TEST(StateVector, GateIdentities) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const StateVector start = StateVector::from_graph_state(random_graph_state(4, rng, 0.5));
    // xcz(c, t) = cx(t, c): 1/2 (I + X) x I + 1/2 (I - X) x Z is symmetric.
    StateVector a = start, b = start;
    a.two_qubit_gate(TwoQubitGate::XCZ, 2, 0);
    b.two_qubit_gate(TwoQubitGate::CX, 0, 2);
    EXPECT_TRUE(equal_up_to_phase(a, b));
    // cx = (I x H) cz (I x H).
    a = start, b = start;
    a.two_qubit_gate(TwoQubitGate::CX, 1, 3);
    b.h(3);
    b.cz(1, 3);
    b.h(3);
    EXPECT_TRUE(equal_up_to_phase(a, b));
    // Every gate is its own inverse and is unitary.
    for (std::size_t g = 0; g < kTwoQubitGateCount; ++g) {
      StateVector c = start;
      c.two_qubit_gate(static_cast<TwoQubitGate>(g), 3, 1);
      EXPECT_NEAR(c.norm_squared(), 1.0, 1e-12);
      c.two_qubit_gate(static_cast<TwoQubitGate>(g), 3, 1);
      EXPECT_TRUE(equal_up_to_phase(c, start)) << gate_name(static_cast<TwoQubitGate>(g));
    }
    // S S = Z, H S S H = X up to phase.
    a = start, b = start;
    a.s(2);
    a.s(2);
    b.z(2);
    EXPECT_TRUE(equal_up_to_phase(a, b));
    a.sdag(2);
    a.sdag(2);
    EXPECT_TRUE(equal_up_to_phase(a, start));
  }
}

TEST(StateVector, EqualUpToPhaseRejectsRelativePhases) {
  StateVector a(2);
  a.h(0);
  StateVector b = a;
  b.apply(0, {Complex(0, 1), 0, 0, Complex(0, 1)});  // global phase i
  EXPECT_TRUE(equal_up_to_phase(a, b));
  b.z(0);  // relative phase
  EXPECT_FALSE(equal_up_to_phase(a, b));
  EXPECT_FALSE(equal_up_to_phase(a, StateVector(3)));
}

TEST(StateVector, ProjectionsOnABellPair) {
  StateVector bell(2);
  bell.h(0);
  bell.two_qubit_gate(TwoQubitGate::CX, 0, 1);
  const auto one = bell.project(0, axis::Z, 1);
  EXPECT_NEAR(one.probability, 0.5, kTol);
  expect_amplitudes(one.state, {0, 0, 0, 1});
  const auto mismatch = one.state.project(1, axis::Z, 0);
  EXPECT_EQ(mismatch.probability, 0.0);
  expect_amplitudes(mismatch.state, {0, 0, 0, 0});
  // |00> + |11> is a +1 eigenstate of XX and a -1 eigenstate of YY.
  const auto x_plus = bell.project(0, axis::X, 0);
  EXPECT_NEAR(x_plus.probability, 0.5, kTol);
  EXPECT_NEAR(x_plus.state.project(1, axis::X, 0).probability, 1.0, kTol);
  const auto y_plus = bell.project(0, axis::Y, 0);
  EXPECT_NEAR(y_plus.state.project(1, axis::Y, 1).probability, 1.0, kTol);
  // |+i> = S|+> is the +1 eigenstate of Y.
  StateVector plus_i(1);
  plus_i.h(0);
  plus_i.s(0);
  EXPECT_NEAR(plus_i.project(0, axis::Y, 0).probability, 1.0, kTol);
  EXPECT_NEAR(plus_i.project(0, axis::Y, 1).probability, 0.0, kTol);
  EXPECT_NEAR(plus_i.project(0, axis::X, 1).probability, 0.5, kTol);
}

}  // namespace
}  // namespace kelvorin::testing
