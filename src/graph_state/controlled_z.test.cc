#include "controlled_z.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "../clifford/cz_table.h"
#include "../test_support.test.h"
#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::edge;
using testing::panic_text;
using testing::StateVector;

TEST(ApplyCz, FreshQubitsStayAsTheyWere) {
  GraphState g(2);
  EXPECT_EQ(apply_cz(g, 0, 1), 0u);
  EXPECT_TRUE(g == GraphState(2));
}

TEST(ApplyCz, PlusStatesGainAndLoseTheEdge) {
  GraphState g(2);
  g.h(0);
  g.h(1);
  apply_cz(g, 0, 1);
  EXPECT_TRUE(edge(g, 0, 1) && edge(g, 1, 0));
  EXPECT_EQ(g.vop(0), 0);
  EXPECT_EQ(g.vop(1), 0);
  apply_cz(g, 1, 0);
  EXPECT_TRUE(g.adjacent(0).empty() && g.adjacent(1).empty());
  EXPECT_EQ(g.vop(0), 0);
  EXPECT_EQ(g.vop(1), 0);
}

TEST(ApplyCz, ThreeQubitExample) {
  GraphState g(3);
  for (Qubit q = 0; q < 3; ++q) g.h(q);
  apply_cz(g, 0, 1);
  apply_cz(g, 0, 2);  // qubit 0 has another neighbour, VOP 0: kept
  EXPECT_TRUE(edge(g, 0, 1) && edge(g, 0, 2) && !edge(g, 1, 2));
  EXPECT_EQ(g.vops(), (std::vector<Vop>{0, 0, 0}));
  g.h(0);
  apply_cz(g, 0, 1);
  EXPECT_TRUE(edge(g, 0, 1) && edge(g, 0, 2) && edge(g, 1, 2)) << testing::describe(g);
  EXPECT_EQ(g.vops(), (std::vector<Vop>{0, 0, 10}));
}

TEST(ApplyCz, IsolatedPairIsOneLookup) {
  for (int e = 0; e < 2; ++e)
    for (Vop a = 0; a < kVopCount; ++a)
      for (Vop b = 0; b < kVopCount; ++b) {
        GraphState g(4);  // qubits 2 and 3 connected, away from the pair
        g.adjacent(2).insert(3);
        g.adjacent(3).insert(2);
        if (e) {
          g.adjacent(0).insert(1);
          g.adjacent(1).insert(0);
        }
        g.set_vop(0, a);
        g.set_vop(1, b);
        EXPECT_EQ(apply_cz(g, 0, 1), 0u);
        const CzEntry entry = cz_table(e != 0, a, b);
        EXPECT_EQ(edge(g, 0, 1), entry.edge != 0);
        EXPECT_EQ(edge(g, 1, 0), entry.edge != 0);
        EXPECT_EQ(g.vop(0), entry.a);
        EXPECT_EQ(g.vop(1), entry.b);
        EXPECT_TRUE(edge(g, 2, 3));
      }
}

TEST(ApplyCz, FailuresComeBeforeAnyChange) {
  std::mt19937_64 rng(21);
  GraphState g = testing::random_graph_state(3, rng, 0.7);
  const GraphState before = g;
  EXPECT_EQ(panic_text([&] { apply_cz(g, 1, 1); }),
            "assertion `left != right` failed: Same control and target not allowed\n  left: 1\n right: 1");
  EXPECT_EQ(panic_text([&] { apply_cz(g, 7, 7); }),
            "assertion `left != right` failed: Same control and target not allowed\n  left: 7\n right: 7");
  EXPECT_EQ(panic_text([&] { apply_cz(g, 3, 0); }), "index out of bounds: the len is 3 but the index is 3");
  EXPECT_EQ(panic_text([&] { apply_cz(g, 0, 3); }), "index out of bounds: the len is 3 but the index is 3");
  EXPECT_EQ(panic_text([&] { apply_cz(g, 4, 3); }), "index out of bounds: the len is 3 but the index is 4");
  EXPECT_EQ(panic_text([&] { apply_cz(g, 5, 7); }), "index out of bounds: the len is 3 but the index is 5");
  EXPECT_TRUE(g == before);
}

TEST(ApplyCz, StarPreparationRunsNoComplementation) {
  for (Qubit n : {Qubit{8}, Qubit{40}, Qubit{200}}) {
    GraphState g(n);
    for (Qubit q = 0; q < n; ++q) g.h(q);
    unsigned complementations = 0;
    for (Qubit q = 1; q < n; ++q) complementations += apply_cz(g, 0, q);
    EXPECT_EQ(complementations, 0u) << n;
    EXPECT_EQ(g.adjacent(0).count(), n - 1);
    for (Qubit q = 0; q < n; ++q) {
      EXPECT_EQ(g.vop(q), vop::I);
      if (q > 0) {
        EXPECT_EQ(g.adjacent(q).count(), 1u);
      }
    }
    if (n <= StateVector::kMaxQubits) {
      StateVector expected(n);
      for (Qubit q = 0; q < n; ++q) expected.h(q);
      for (Qubit q = 1; q < n; ++q) expected.cz(0, q);
      EXPECT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), expected));
    }
  }
}

// CZ on arbitrary stabilizer states in graph form, both argument orders.
TEST(ApplyCz, MatchesTheDenseModelOnRandomStates) {
  std::mt19937_64 rng(22);
  for (int trial = 0; trial < 6000; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 8);
    const double density = trial % 4 == 0 ? 0.85 : trial % 4 == 1 ? 0.15 : 0.5;
    GraphState g = testing::random_graph_state(n, rng, density);
    const Qubit a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
    StateVector expected = StateVector::from_graph_state(g);
    expected.cz(a, b);
    const GraphState before = g;
    apply_cz(g, a, b);
    ASSERT_TRUE(testing::well_formed(g));
    ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), expected))
        << "apply_cz(" << a << ", " << b << ") on " << testing::describe(before) << " gave " << testing::describe(g);
  }
}

}  // namespace
}  // namespace kelvorin
