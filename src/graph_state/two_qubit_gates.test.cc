#include "two_qubit_gates.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../test_support.test.h"
#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::edge;
using testing::panic_text;
using testing::StateVector;

using G = TwoQubitGate;

std::string index_message(Qubit len, Qubit index) {
  return "index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index);
}

std::string same_message(Qubit q) {
  return "assertion `left != right` failed: Same control and target not allowed\n  left: " + std::to_string(q) +
         "\n right: " + std::to_string(q);
}

// Edges as "i-j" pairs (i < j) and VOPs, for exact comparisons.
void expect_store(const GraphState& g, const std::vector<std::pair<Qubit, Qubit>>& edges,
                  const std::vector<Vop>& vops) {
  EXPECT_EQ(g.vops(), vops) << testing::describe(g);
  std::size_t count = 0;
  for (Qubit q = 0; q < g.qubit_count(); ++q) count += g.adjacent(q).count();
  EXPECT_EQ(count, 2 * edges.size()) << testing::describe(g);
  for (const auto& [i, j] : edges)
    EXPECT_TRUE(edge(g, i, j) && edge(g, j, i)) << i << "-" << j << " in " << testing::describe(g);
}

TEST(TwoQubitGates, WorkedExamples) {
  {
    GraphState g(2);
    apply_two_qubit_gate(g, G::CX, 0, 1);
    expect_store(g, {}, {10, 10});
  }
  {
    GraphState g(2);
    g.h(0);
    apply_two_qubit_gate(g, G::CX, 0, 1);
    expect_store(g, {{0, 1}}, {0, 10});
  }
  {
    GraphState g(2);
    g.h(0);
    apply_two_qubit_gate(g, G::CY, 0, 1);
    expect_store(g, {{0, 1}}, {0, 20});
  }
  {
    GraphState g(3);
    g.h(0);
    apply_two_qubit_gate(g, G::CX, 0, 1);
    apply_two_qubit_gate(g, G::CX, 0, 2);
    expect_store(g, {{0, 1}, {0, 2}}, {0, 10, 10});
  }
  {
    // The reduction of qubit 1 inside the second CZ changes VOP(0).
    GraphState g(3);
    g.h(0);
    apply_two_qubit_gate(g, G::CX, 0, 1);
    apply_two_qubit_gate(g, G::CX, 1, 2);
    expect_store(g, {{0, 1}, {1, 2}}, {10, 0, 10});
  }
  {
    GraphState g(2);
    apply_two_qubit_gate(g, G::XCX, 0, 1);
    expect_store(g, {{0, 1}}, {10, 10});
  }
  {
    GraphState g(2);
    apply_two_qubit_gate(g, G::YCY, 0, 1);
    expect_store(g, {{0, 1}}, {20, 20});
  }
  {
    GraphState g(2);
    apply_two_qubit_gate(g, G::XCZ, 0, 1);
    expect_store(g, {}, {10, 10});
    g.h(0);
    g.h(1);
    apply_two_qubit_gate(g, G::XCZ, 0, 1);
    expect_store(g, {}, {0, 0});
  }
}

// Two circuits in which reducing one qubit gives the other a new neighbour:
// the neighbour tests must be read again before each reduction.
TEST(TwoQubitGates, ReductionsSeeEachOthersNewNeighbours) {
  {
    GraphState g(3);
    apply_two_qubit_gate(g, G::XCX, 0, 1);
    apply_two_qubit_gate(g, G::CX, 0, 2);
    apply_two_qubit_gate(g, G::CX, 2, 0);
    expect_store(g, {{1, 2}}, {10, 0, 0});
  }
  {
    GraphState g(3);
    StateVector sv(3);
    apply_two_qubit_gate(g, G::XCX, 0, 1);
    apply_two_qubit_gate(g, G::CX, 0, 2);
    apply_two_qubit_gate(g, G::XCX, 0, 1);
    sv.two_qubit_gate(G::XCX, 0, 1);
    sv.two_qubit_gate(G::CX, 0, 2);
    sv.two_qubit_gate(G::XCX, 0, 1);
    EXPECT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), sv)) << testing::describe(g);
  }
}

TEST(TwoQubitGates, IndexCheckOrder) {
  struct Case {
    G gate;
    Qubit control, target;
    std::string message;
  };
  const std::vector<Case> cases = {
      {G::CX, 5, 5, index_message(3, 5)},
      {G::CZ, 5, 5, same_message(5)},
      {G::CX, 5, 0, index_message(3, 5)},
      {G::CX, 0, 5, index_message(3, 5)},
      {G::CX, 5, 7, index_message(3, 7)},
      {G::CZ, 5, 7, index_message(3, 5)},
      {G::XCX, 0, 5, index_message(3, 5)},
      {G::XCX, 5, 7, index_message(3, 5)},
      // target first
      {G::CY, 5, 7, index_message(3, 7)},
      {G::XCY, 5, 7, index_message(3, 7)},
      {G::YCY, 5, 7, index_message(3, 7)},
      // control first
      {G::XCZ, 5, 7, index_message(3, 5)},
      {G::YCX, 5, 7, index_message(3, 5)},
      {G::YCZ, 5, 7, index_message(3, 5)},
      // the qubit untouched before the CZ is checked inside it, after equality
      {G::XCZ, 1, 4, index_message(3, 4)},
      {G::YCZ, 1, 1, same_message(1)},
      {G::CX, 2, 2, same_message(2)},
      {G::CZ, 0, 3, index_message(3, 3)},
      {G::XCY, 9, 2, index_message(3, 9)},
      {G::YCY, 2, 2, same_message(2)},
  };
  std::mt19937_64 rng(31);
  for (const Case& c : cases) {
    GraphState g = testing::random_graph_state(3, rng, 0.6);
    const GraphState before = g;
    EXPECT_EQ(panic_text([&] { apply_two_qubit_gate(g, c.gate, c.control, c.target); }), c.message)
        << testing::gate_name(c.gate) << "(" << c.control << ", " << c.target << ")";
    EXPECT_TRUE(g == before) << "a failed gate must leave the store as it was";
  }
}

TEST(TwoQubitGates, EachGateTwiceRestoresTheState) {
  std::mt19937_64 rng(32);
  for (int trial = 0; trial < 300; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 7);
    GraphState g = testing::random_graph_state(n, rng, 0.5);
    const StateVector before = StateVector::from_graph_state(g);
    const G gate = static_cast<G>(static_cast<std::size_t>(trial) % kTwoQubitGateCount);
    const Qubit c = rng() % n, t = (c + 1 + rng() % (n - 1)) % n;
    apply_two_qubit_gate(g, gate, c, t);
    apply_two_qubit_gate(g, gate, c, t);
    ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), before)) << testing::gate_name(gate);
  }
}

// One gate on arbitrary stabilizer states, against the operator definition.
TEST(TwoQubitGates, MatchTheirDefinitionOnRandomStates) {
  std::mt19937_64 rng(33);
  for (int trial = 0; trial < 4500; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 8);
    GraphState g = testing::random_graph_state(n, rng, trial % 3 == 0 ? 0.8 : 0.4);
    const G gate = static_cast<G>(static_cast<std::size_t>(trial) % kTwoQubitGateCount);
    const Qubit c = rng() % n, t = (c + 1 + rng() % (n - 1)) % n;
    StateVector expected = StateVector::from_graph_state(g);
    expected.two_qubit_gate(gate, c, t);
    const GraphState before = g;
    apply_two_qubit_gate(g, gate, c, t);
    ASSERT_TRUE(testing::well_formed(g));
    ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), expected))
        << testing::gate_name(gate) << "(" << c << ", " << t << ") on " << testing::describe(before);
  }
}

// Random circuits from |0...0>: all six single-qubit and all nine two-qubit
// gates, compared with the dense model after every operation.
class RandomCircuits : public ::testing::TestWithParam<int> {};

constexpr int kCircuitsPerQubitCount = 1500;

TEST_P(RandomCircuits, AgreeWithTheDenseModelAfterEveryGate) {
  const Qubit n = static_cast<Qubit>(GetParam());
  std::mt19937_64 rng(1000 + n);
  const int length = 10 + 5 * static_cast<int>(n);
  long operations = 0;
  for (int circuit = 0; circuit < kCircuitsPerQubitCount; ++circuit) {
    GraphState g(n);
    StateVector sv(n);
    std::ostringstream log;
    for (int step = 0; step < length; ++step) {
      if (rng() % 5 < 2) {
        const Qubit q = rng() % n;
        switch (rng() % 6) {
          case 0:
            g.x(q), sv.x(q), log << "x(" << q << ") ";
            break;
          case 1:
            g.y(q), sv.y(q), log << "y(" << q << ") ";
            break;
          case 2:
            g.z(q), sv.z(q), log << "z(" << q << ") ";
            break;
          case 3:
            g.h(q), sv.h(q), log << "h(" << q << ") ";
            break;
          case 4:
            g.s(q), sv.s(q), log << "s(" << q << ") ";
            break;
          default:
            g.sdag(q), sv.sdag(q), log << "sdag(" << q << ") ";
            break;
        }
      } else {
        const G gate = static_cast<G>(rng() % kTwoQubitGateCount);
        const Qubit c = rng() % n, t = (c + 1 + rng() % (n - 1)) % n;
        apply_two_qubit_gate(g, gate, c, t);
        sv.two_qubit_gate(gate, c, t);
        log << testing::gate_name(gate) << "(" << c << ", " << t << ") ";
      }
      ++operations;
      ASSERT_TRUE(testing::well_formed(g)) << log.str();
      ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), sv))
          << "circuit " << circuit << " on " << n << " qubits: " << log.str() << "\nstore " << testing::describe(g);
    }
  }
  RecordProperty("circuits", kCircuitsPerQubitCount);
  RecordProperty("operations", static_cast<int>(operations));
}

INSTANTIATE_TEST_SUITE_P(QubitCounts, RandomCircuits, ::testing::Range(2, 9));

}  // namespace
}  // namespace kelvorin
