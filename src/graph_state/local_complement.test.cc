#include "local_complement.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../clifford/reduction_sequence.h"
#include "../test_support.test.h"
#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::connect;
using testing::edge;
using testing::panic_text;
using testing::StateVector;

TEST(LocalComplement, IsolatedVertexOnlyGetsTheCentreFactor) {
  GraphState g(4);
  connect(g, 1, 2);
  g.set_vop(0, 7);
  GraphState expected = g;
  expected.set_vop(0, clifford_product(7, 14));
  local_complement(g, 0);
  EXPECT_TRUE(g == expected) << testing::describe(g);
}

TEST(LocalComplement, SingleNeighbourChangesNoEdge) {
  GraphState g(3);
  connect(g, 0, 2);
  g.set_vop(0, 4);
  g.set_vop(2, 19);
  GraphState expected = g;
  expected.set_vop(0, clifford_product(4, 14));
  expected.set_vop(2, clifford_product(19, 6));
  local_complement(g, 0);
  EXPECT_TRUE(g == expected) << testing::describe(g);
}

TEST(LocalComplement, StarBecomesTriangleAndBack) {
  GraphState g(4);
  connect(g, 0, 1);
  connect(g, 0, 2);
  connect(g, 0, 3);
  local_complement(g, 0);
  EXPECT_TRUE(edge(g, 1, 2) && edge(g, 1, 3) && edge(g, 2, 3));
  EXPECT_TRUE(edge(g, 0, 1) && edge(g, 0, 2) && edge(g, 0, 3));
  for (Qubit q = 1; q <= 3; ++q) EXPECT_EQ(g.vop(q), clifford_product(vop::H, 6));
  EXPECT_EQ(g.vop(0), clifford_product(vop::H, 14));
  local_complement(g, 0);
  EXPECT_FALSE(edge(g, 1, 2) || edge(g, 1, 3) || edge(g, 2, 3));
  EXPECT_EQ(g.adjacent(0).count(), 3u);
}

// Edge flips by a direct model: the complement of v's neighbourhood.
TEST(LocalComplement, ComplementsTheNeighbourhoodAndKeepsTheState) {
  std::mt19937_64 rng(12);
  for (int trial = 0; trial < 2000; ++trial) {
    const Qubit n = 1 + static_cast<Qubit>(trial % 9);
    GraphState g = testing::random_graph_state(n, rng, trial % 3 == 0 ? 0.8 : 0.4);
    const Qubit v = rng() % n;
    const GraphState before = g;
    const StateVector state = StateVector::from_graph_state(g);
    local_complement(g, v);
    ASSERT_TRUE(testing::well_formed(g));
    for (Qubit i = 0; i < n; ++i) {
      const bool neighbour = i != v && edge(before, v, i);
      EXPECT_EQ(g.vop(i), i == v      ? clifford_product(before.vop(i), 14)
                          : neighbour ? clifford_product(before.vop(i), 6)
                                      : before.vop(i));
      for (Qubit j = 0; j < n; ++j) {
        if (i == j) continue;
        const bool flips = neighbour && j != v && edge(before, v, j);
        EXPECT_EQ(edge(g, i, j), edge(before, i, j) != flips) << i << "-" << j;
      }
    }
    ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), state))
        << "v=" << v << " before " << testing::describe(before) << " after " << testing::describe(g);
  }
}

TEST(LocalComplement, FourTimesIsTheIdentityAcrossBlocks) {
  std::mt19937_64 rng(13);
  GraphState g = testing::random_graph_state(70, rng, 0.5);
  const GraphState before = g;
  for (Qubit v : {Qubit{0}, Qubit{33}, Qubit{69}}) {
    for (int k = 0; k < 4; ++k) local_complement(g, v);
    EXPECT_TRUE(g == before);
  }
}

TEST(LocalComplement, ChecksThePivot) {
  GraphState g(3);
  EXPECT_EQ(panic_text([&] { local_complement(g, 3); }), "index out of bounds: the len is 3 but the index is 3");
}

}  // namespace
}  // namespace kelvorin
