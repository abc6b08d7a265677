#include "reduction.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../clifford/reduction_sequence.h"
#include "../test_support.test.h"
#include "local_complement.h"
#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::connect;
using testing::edge;
using testing::panic_text;
using testing::StateVector;

// The same store as remove_vop(v, ...) with partner p, by the listed steps.
GraphState reduce_by_hand(GraphState g, Qubit v, Qubit p, const std::vector<int>& steps) {
  for (int step : steps) local_complement(g, step == 0 ? v : p);
  return g;
}

TEST(RemoveVop, PartnerIsTheLowestNeighbourOtherThanAvoid) {
  // v = 0 with neighbours {2, 5, 7}; 2, 5 and 7 have different other
  // neighbours, so complementing about each gives a different store.
  GraphState g(10);
  connect(g, 0, 2);
  connect(g, 0, 5);
  connect(g, 0, 7);
  connect(g, 5, 8);
  connect(g, 5, 9);
  connect(g, 2, 9);
  connect(g, 7, 1);
  for (Qubit q = 0; q < 10; ++q) g.set_vop(q, static_cast<Vop>((q * 5 + 3) % 24));
  g.set_vop(0, 5);  // reduced by one complementation about the partner
  const GraphState via2 = reduce_by_hand(g, 0, 2, {1});
  const GraphState via5 = reduce_by_hand(g, 0, 5, {1});
  ASSERT_FALSE(via2 == via5);

  GraphState avoiding2 = g;
  EXPECT_EQ(remove_vop(avoiding2, 0, 2), 1u);
  EXPECT_TRUE(avoiding2 == via5) << testing::describe(avoiding2);
  EXPECT_EQ(avoiding2.vop(0), vop::I);

  GraphState avoiding4 = g;
  EXPECT_EQ(remove_vop(avoiding4, 0, 4), 1u);
  EXPECT_TRUE(avoiding4 == via2) << testing::describe(avoiding4);

  // A row mixing both kinds of step: VOP 10 is reduced by 0 1 1 1 0.
  g.set_vop(0, vop::H);
  GraphState mixed = g;
  EXPECT_EQ(remove_vop(mixed, 0, 2), 5u);
  EXPECT_TRUE(mixed == reduce_by_hand(g, 0, 5, {0, 1, 1, 1, 0}));
  EXPECT_EQ(mixed.vop(0), vop::I);
}

TEST(RemoveVop, AvoidIsThePartnerWhenItIsTheOnlyNeighbour) {
  GraphState g(3);
  connect(g, 0, 1);
  connect(g, 1, 2);
  g.set_vop(0, 5);
  GraphState expected = reduce_by_hand(g, 0, 1, {1});
  EXPECT_EQ(remove_vop(g, 0, 1), 1u);
  EXPECT_TRUE(g == expected);
  EXPECT_EQ(g.vop(0), vop::I);
}

TEST(RemoveVop, WithoutNeighboursThePartnerStepsMissTheVertex) {
  GraphState g(3);
  connect(g, 1, 2);
  g.set_vop(0, 5);
  GraphState expected = g;
  local_complement(expected, 1);
  EXPECT_EQ(remove_vop(g, 0, 1), 1u);
  EXPECT_TRUE(g == expected);
  EXPECT_EQ(g.vop(0), 5);
}

TEST(RemoveVop, IdentityIsLeftExactlyAsItWas) {
  std::mt19937_64 rng(14);
  for (int trial = 0; trial < 50; ++trial) {
    GraphState g = testing::random_graph_state(12, rng, 0.5);
    g.set_vop(3, vop::I);
    const GraphState before = g;
    // What the four listed complementations would do: nothing at all.
    EXPECT_TRUE(reduce_by_hand(g, 3, 0, {0, 0, 0, 0}) == before);
    EXPECT_EQ(remove_vop(g, 3, 0), 0u);
    EXPECT_TRUE(g == before);
  }
}

TEST(RemoveVop, ReducesEveryOperatorAndKeepsTheState) {
  std::mt19937_64 rng(15);
  for (int trial = 0; trial < 3000; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 8);
    GraphState g = testing::random_graph_state(n, rng, 0.5);
    const Qubit v = rng() % n;
    const Qubit avoid = (v + 1 + rng() % (n - 1)) % n;
    g.set_vop(v, static_cast<Vop>(trial % 24));
    const bool has_neighbour = !g.adjacent(v).empty();
    // The lowest neighbour other than avoid, or avoid: it stays adjacent
    // (or not) throughout, since no complementation touches the edge v-p.
    Qubit partner = avoid;
    for (Qubit q = 0; q < n; ++q)
      if (q != avoid && edge(g, v, q)) {
        partner = q;
        break;
      }
    const bool partner_adjacent = edge(g, v, partner);
    const StateVector state = StateVector::from_graph_state(g);
    const GraphState before = g;
    const unsigned steps = remove_vop(g, v, avoid);
    ASSERT_TRUE(testing::well_formed(g));
    EXPECT_EQ(steps, before.vop(v) == vop::I ? 0u : unsigned{reduction_sequence(before.vop(v)).length});
    if (has_neighbour) {
      EXPECT_EQ(g.vop(v), vop::I) << testing::describe(before);
    }
    EXPECT_EQ(edge(g, v, partner), partner_adjacent);
    ASSERT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), state)) << testing::describe(before);
  }
}

TEST(RemoveVop, ChecksTheVertexFirst) {
  GraphState g(3);
  EXPECT_EQ(panic_text([&] { remove_vop(g, 3, 0); }), "index out of bounds: the len is 3 but the index is 3");
}

}  // namespace
}  // namespace kelvorin
