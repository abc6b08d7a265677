// Measurement against the dense model: after every measurement of a random
// circuit, the store must expand to the normalised projection of the state
// before it onto the reported eigenspace; a determined outcome must have
// probability 1 and a random one exactly 1/2.
#include <gtest/gtest.h>

#include <random>

#include "../test_support.test.h"
#include "measure.h"
#include "state_vector.test.h"
#include "two_qubit_gates.h"

namespace kelvorin::testing {
namespace {

// Counts the words it passes on, so a test can tell a drawn outcome from a
// determined one.
struct CountingWords {
  std::mt19937_64& rng;
  int forced_bit;  // -1: random top bit
  std::size_t taken = 0;
  std::uint32_t next_word() {
    ++taken;
    const auto w = static_cast<std::uint32_t>(rng());
    if (forced_bit < 0) return w;
    return forced_bit ? (w | 0x80000000u) : (w & 0x7fffffffu);
  }
};

void random_gate(GraphState& g, StateVector& sv, std::mt19937_64& rng) {
  const Qubit n = g.qubit_count();
  const int kind = static_cast<int>(rng() % 15);
  const Qubit a = rng() % n;
  if (kind < 6) {
    switch (kind) {
      case 0:
        g.x(a);
        sv.x(a);
        break;
      case 1:
        g.y(a);
        sv.y(a);
        break;
      case 2:
        g.z(a);
        sv.z(a);
        break;
      case 3:
        g.h(a);
        sv.h(a);
        break;
      case 4:
        g.s(a);
        sv.s(a);
        break;
      default:
        g.sdag(a);
        sv.sdag(a);
        break;
    }
    return;
  }
  Qubit b = rng() % (n - 1);
  if (b >= a) ++b;
  const auto gate = static_cast<TwoQubitGate>(kind - 6);
  apply_two_qubit_gate(g, gate, a, b);
  sv.two_qubit_gate(gate, a, b);
}

void check_measurement(GraphState& g, StateVector& sv, Qubit q, Axis ax, CountingWords& words, int& random,
                       int& determined) {
  const std::size_t before_words = words.taken;
  const std::uint8_t bit = measure(g, q, ax, words);
  const bool drew = words.taken != before_words;
  ASSERT_LE(words.taken - before_words, 1u);
  ASSERT_TRUE(well_formed(g)) << describe(g);
  ASSERT_TRUE(g.adjacent(q).empty()) << "measured qubit keeps edges: " << describe(g);
  const auto projection = sv.project(q, ax, bit);
  if (drew) {
    ++random;
    ASSERT_NEAR(projection.probability, 0.5, 1e-9) << "axis " << int(ax) << " qubit " << q;
  } else {
    ++determined;
    ASSERT_NEAR(projection.probability, 1.0, 1e-9) << "axis " << int(ax) << " qubit " << q;
  }
  sv = projection.state;
  ASSERT_TRUE(equal_up_to_phase(StateVector::from_graph_state(g), sv))
      << "after measuring " << q << " along " << int(ax) << " -> " << int(bit) << ": " << describe(g);
  // Measuring again along the same axis repeats without drawing.
  const std::size_t again_words = words.taken;
  ASSERT_EQ(measure(g, q, ax, words), bit);
  ASSERT_EQ(words.taken, again_words);
}

TEST(MeasureOracle, RandomCircuitsWithMeasurementsInEveryBasis) {
  std::mt19937_64 rng(20261208);
  int random = 0, determined = 0, circuits = 0;
  for (int round = 0; round < 3000; ++round) {
    const Qubit n = 2 + rng() % 7;  // 2 .. 8 qubits
    GraphState g(n);
    StateVector sv(static_cast<std::size_t>(n));
    // Forcing the raw bit half the time covers both branches of every rule.
    CountingWords words{rng, static_cast<int>(rng() % 3) - 1};
    const int steps = 5 + static_cast<int>(rng() % 30);
    for (int step = 0; step < steps; ++step) {
      if (rng() % 4 == 0) {
        check_measurement(g, sv, rng() % n, static_cast<Axis>(rng() % 3), words, random, determined);
        if (::testing::Test::HasFatalFailure()) return;
      } else {
        random_gate(g, sv, rng);
      }
    }
    ++circuits;
  }
  EXPECT_EQ(circuits, 3000);
  // Both kinds of outcome occurred many times.
  EXPECT_GT(random, 2000);
  EXPECT_GT(determined, 2000);
}

TEST(MeasureOracle, EveryVopAndAxisOnRandomGraphs) {
  // Random graphs and VOPs reach X-branch pivots with large overlapping
  // neighbourhoods, which circuits of a few gates rarely build.
  std::mt19937_64 rng(99);
  int random = 0, determined = 0;
  for (int round = 0; round < 1500; ++round) {
    const Qubit n = 2 + rng() % 8;
    GraphState g = random_graph_state(n, rng, 0.6);
    StateVector sv = StateVector::from_graph_state(g);
    CountingWords words{rng, static_cast<int>(rng() % 2)};
    for (int k = 0; k < 3; ++k) {
      check_measurement(g, sv, rng() % n, static_cast<Axis>(rng() % 3), words, random, determined);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  EXPECT_GT(random, 1000);
}

}  // namespace
}  // namespace kelvorin::testing
