#include "row_operations.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../clifford/reduction_sequence.h"
#include "../test_support.test.h"
#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::edge;
using testing::panic_text;
using testing::StateVector;
using testing::toggle_edge;

// The tests' edge toggle, which builds many of their states, against the
// dense model: it must be a CZ between the bare qubits.
TEST(ToggleEdge, IsACzBetweenTheBareQubits) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 6);
    GraphState g = testing::random_graph_state(n, rng, 0.4);
    const Qubit i = rng() % n, j = (i + 1 + rng() % (n - 1)) % n;
    StateVector expected = StateVector::from_graph_state(g);
    for (Qubit q = 0; q < n; ++q) expected.apply(q, dagger(vop_matrix(g.vop(q))));
    expected.cz(i, j);
    for (Qubit q = 0; q < n; ++q) expected.apply(q, vop_matrix(g.vop(q)));
    toggle_edge(g, i, j);
    ASSERT_TRUE(testing::well_formed(g));
    EXPECT_TRUE(testing::equal_up_to_phase(StateVector::from_graph_state(g), expected)) << testing::describe(g);
  }
}

TEST(ComplementNeighbourhood, ASetWithMoreMembersThanItsDegreeCountsIsAnInternalError) {
  // One member counted, 70 there: the pair-by-pair list must stop at its end.
  GraphState holder(200), g(200);
  holder.adjacent(0).insert(1);
  Block* const blocks = const_cast<Block*>(holder.adjacent(0).blocks());
  blocks[0] = ~Block{0};
  blocks[1] = ~Block{0};
  blocks[2] = 0x3f;
  EXPECT_EQ(panic_text([&] { complement_neighbourhood(g, std::as_const(holder).adjacent(0)); }).substr(0, 16),
            "internal error: ");
}

}  // namespace
}  // namespace kelvorin
