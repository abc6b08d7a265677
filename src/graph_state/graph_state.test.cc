#include "graph_state.h"

#include <gtest/gtest.h>

#include <new>
#include "../test_support.test.h"

namespace kelvorin {
namespace {

using testing::panic_text;

TEST(GraphState, FreshQubitsAreIsolatedWithHadamard) {
  for (Qubit n : {0u, 1u, 5u, 32u, 33u, 100u}) {
    GraphState g(n);
    EXPECT_EQ(g.qubit_count(), n);
    EXPECT_EQ(g.blocks_per_row(), (n + 31) / 32);
    for (Qubit q = 0; q < n; ++q) {
      EXPECT_EQ(g.vop(q), vop::H);
      EXPECT_TRUE(g.adjacent(q).empty());
      EXPECT_EQ(g.adjacent(q).bit_len(), n);
    }
  }
}

TEST(GraphState, SingleQubitGatesLeftMultiply) {
  GraphState g(3);
  g.h(1);
  EXPECT_EQ(g.vop(1), 0);
  g.h(1);
  EXPECT_EQ(g.vop(1), 10);
  g.x(0);
  EXPECT_EQ(g.vop(0), 9);  // H.Z: applied to |+> gives |1>
  GraphState s(1);
  s.h(0);
  s.s(0);
  s.s(0);
  EXPECT_EQ(s.vop(0), vop::Z);
  for (Vop v = 0; v < kVopCount; ++v) {
    GraphState t(1);
    t.set_vop(0, v);
    t.s(0);
    t.sdag(0);
    EXPECT_EQ(t.vop(0), v);
    t.y(0);
    EXPECT_EQ(t.vop(0), clifford_product(vop::Y, v));
    t.y(0);
    EXPECT_EQ(t.vop(0), v);
  }
  EXPECT_EQ(g.vop(2), 10);
  for (Qubit q = 0; q < 3; ++q) EXPECT_TRUE(g.adjacent(q).empty());
}

TEST(GraphState, OutOfRangeGateChangesNothing) {
  GraphState g(3);
  g.h(0);
  const GraphState before = g;
  EXPECT_EQ(panic_text([&] { g.x(3); }), "index out of bounds: the len is 3 but the index is 3");
  EXPECT_EQ(panic_text([&] { g.sdag(~Qubit{0}); }),
            "index out of bounds: the len is 3 but the index is 18446744073709551615");
  EXPECT_TRUE(g == before);
  GraphState empty(0);
  EXPECT_EQ(panic_text([&] { empty.h(0); }), "index out of bounds: the len is 0 but the index is 0");
}

TEST(GraphState, ConstructionLimits) {
  EXPECT_EQ(panic_text([] { GraphState g(Qubit{1} << 63); }), "capacity overflow");
  EXPECT_EQ(panic_text([] { GraphState g(~Qubit{0}); }), "capacity overflow");
  EXPECT_THROW(GraphState(Qubit{1} << 40), std::bad_alloc);  // size overflows
  EXPECT_THROW(GraphState(Qubit{1000000}), std::bad_alloc);  // 125 GB
}

TEST(GraphState, BytesNeededIsTheSquareOverEight) {
  EXPECT_EQ(GraphState::bytes_needed(0), std::size_t{0});
  EXPECT_FALSE(GraphState::bytes_needed(Qubit{1} << 40).has_value());  // overflows std::size_t
  // The adjacency bits dominate at large sizes: n^2 / 8 bytes plus under 5 %
  // for the summaries, degrees, VOPs and scratch rows.
  for (Qubit n : {Qubit{100000}, Qubit{449000}}) {
    const auto bytes = GraphState::bytes_needed(n);
    ASSERT_TRUE(bytes.has_value());
    const double square = static_cast<double>(n) * static_cast<double>(n) / 8.0;
    EXPECT_GE(static_cast<double>(*bytes), square) << n;
    EXPECT_LE(static_cast<double>(*bytes), 1.05 * square) << n;
  }
}

TEST(GraphState, CopyIsDeep) {
  GraphState g(40);
  g.adjacent(3).insert(35);
  g.adjacent(35).insert(3);
  GraphState c = g;
  EXPECT_TRUE(c == g);
  c.adjacent(3).remove(35);
  c.h(0);
  EXPECT_TRUE(g.adjacent(3).contains(35));
  EXPECT_EQ(g.vop(0), vop::H);
  EXPECT_FALSE(c == g);
}

}  // namespace
}  // namespace kelvorin
