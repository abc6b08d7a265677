#include "measure.h"

#include <gtest/gtest.h>

#include <vector>

#include "../random/scripted_words.test.h"
#include "../test_support.test.h"
#include "peek.h"

namespace kelvorin {
namespace {

using kelvorin::testing::connect;

std::vector<std::pair<Qubit, Qubit>> edges(const GraphState& g) {
  std::vector<std::pair<Qubit, Qubit>> out;
  for (Qubit a = 0; a < g.qubit_count(); ++a)
    g.adjacent(a).for_each([&](Qubit b) {
      if (a < b) out.emplace_back(a, b);
    });
  return out;
}

std::vector<int> vops(const GraphState& g) {
  return {g.vops().begin(), g.vops().end()};
}

// Path 0 - 1 - 2 with every VOP the identity.
GraphState path() {
  GraphState g(3);
  for (Qubit q = 0; q < 3; ++q) g.h(q);
  connect(g, 0, 1);
  connect(g, 1, 2);
  return g;
}

using Edges = std::vector<std::pair<Qubit, Qubit>>;

TEST(Measure, FreshQubitIsAZEigenstate) {
  GraphState g(2);
  auto none = ScriptedWords({});
  EXPECT_EQ(measure(g, 0, axis::Z, none), 0);
  EXPECT_EQ(none.taken(), 0u);
  EXPECT_EQ(g.vop(0), vop::H);
}

TEST(Measure, XOnFreshQubitThenRepeats) {
  for (int raw : {0, 1}) {
    GraphState g(1);
    auto bits = ScriptedWords::from_bits({raw});
    EXPECT_EQ(measure(g, 0, axis::X, bits), raw);
    EXPECT_EQ(g.vop(0), raw == 0 ? 0 : 3);
    auto none = ScriptedWords({});
    EXPECT_EQ(measure(g, 0, axis::X, none), raw);
    EXPECT_EQ(none.taken(), 0u);
  }
}

TEST(Measure, ZAfterHadamard) {
  for (int raw : {0, 1}) {
    GraphState g(1);
    g.h(0);
    auto bits = ScriptedWords::from_bits({raw});
    EXPECT_EQ(measure(g, 0, axis::Z, bits), raw);
    EXPECT_EQ(g.vop(0), raw == 0 ? 10 : 9);
  }
}

TEST(Measure, YOnFreshQubitHasSignFlag) {
  for (int raw : {0, 1}) {
    GraphState g(1);
    auto bits = ScriptedWords::from_bits({raw});
    EXPECT_EQ(measure(g, 0, axis::Y, bits), 1 - raw);
    EXPECT_EQ(g.vop(0), raw == 0 ? 19 : 16);
  }
}

TEST(Measure, PathInX) {
  GraphState g = path();
  auto plus = ScriptedWords::from_bits({0});
  EXPECT_EQ(measure(g, 0, axis::X, plus), 0);
  EXPECT_EQ(edges(g), Edges{});
  EXPECT_EQ(vops(g), (std::vector<int>{0, 11, 0}));
  g = path();
  auto minus = ScriptedWords::from_bits({1});
  EXPECT_EQ(measure(g, 0, axis::X, minus), 1);
  EXPECT_EQ(edges(g), Edges{});
  EXPECT_EQ(vops(g), (std::vector<int>{3, 9, 3}));
}

TEST(Measure, PathInY) {
  for (int raw : {0, 1}) {
    GraphState g = path();
    auto bits = ScriptedWords::from_bits({raw});
    EXPECT_EQ(measure(g, 1, axis::Y, bits), raw);
    EXPECT_EQ(edges(g), (Edges{{0, 2}}));
    const int k = raw == 0 ? 6 : 5;
    EXPECT_EQ(vops(g), (std::vector<int>{k, k, k}));
  }
}

TEST(Measure, PathInZ) {
  for (int raw : {0, 1}) {
    GraphState g = path();
    auto bits = ScriptedWords::from_bits({raw});
    EXPECT_EQ(measure(g, 1, axis::Z, bits), raw);
    EXPECT_EQ(edges(g), Edges{});
    EXPECT_EQ(vops(g), raw == 0 ? (std::vector<int>{0, 10, 0}) : (std::vector<int>{3, 9, 3}));
  }
}

TEST(Measure, XPivotsOnTheLowestNeighbour) {
  // Star 4 - {7, 3, 5}: the pivot is 3, so only 3 receives (I + iY)/sqrt2.
  GraphState g(8);
  for (Qubit q = 0; q < 8; ++q) g.h(q);
  for (Qubit q : {Qubit{7}, Qubit{3}, Qubit{5}}) connect(g, 4, q);
  auto bits = ScriptedWords::from_bits({0});
  measure(g, 4, axis::X, bits);
  EXPECT_EQ(g.vop(3), vop::HX);
  EXPECT_TRUE(g.adjacent(4).empty());
}

TEST(Measure, OutOfRangeDrawsNothingAndChangesNothing) {
  GraphState g = path();
  const GraphState before = g;
  auto none = ScriptedWords({});
  try {
    measure(g, 3, axis::X, none);
    FAIL();
  } catch (const Panic& p) {
    EXPECT_STREQ(p.what(), "index out of bounds: the len is 3 but the index is 3");
  }
  EXPECT_TRUE(g == before);
  EXPECT_EQ(none.taken(), 0u);
}

TEST(Peek, FreshAndIsolatedQubitsUseTheirEigenAxis) {
  GraphState g(5);
  g.h(1);  // |+>: X
  g.x(2);  // |1>: Z, -1
  g.z(3);  // H.Z... VOP 11 = H.X: |0> up to phase: Z, +1
  const GraphState before = g;
  auto none = ScriptedWords({});
  const auto out = peek_measure_set(g, {4, 3, 2, 1, 0, 2}, none);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(none.taken(), 0u);
  const int expected_axis[] = {2, 0, 2, 2, 2};
  const int expected_bit[] = {0, 0, 1, 0, 0};
  for (const auto& o : out) {
    EXPECT_EQ(o.axis, expected_axis[o.qubit]) << o.qubit;
    EXPECT_EQ(o.bit, expected_bit[o.qubit]) << o.qubit;
  }
  EXPECT_TRUE(g == before);
}

TEST(Peek, EdgeMakesTheFirstAxisRandomAndTheSecondDetermined) {
  GraphState g(2);
  g.h(0);
  g.h(1);
  connect(g, 0, 1);
  const GraphState before = g;
  // axis word 0 -> X (0 * 3 >> 32 = 0), then the outcome bit 1.
  auto words = ScriptedWords({0x00000000u, 0x80000000u});
  const auto out = peek_measure_set(g, {0, 1}, words);
  EXPECT_EQ(words.taken(), 2u);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].qubit, 0u);
  EXPECT_EQ(out[0].axis, axis::X);
  EXPECT_EQ(out[0].bit, 1);
  EXPECT_TRUE(g == before);
}

TEST(Peek, OutOfRangeFailsAsAWhole) {
  GraphState g(3);
  auto none = ScriptedWords({});
  EXPECT_THROW(peek_measure_set(g, {0, 1, 3}, none), Panic);
  const auto empty = peek_measure_set(g, {}, none);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace kelvorin
