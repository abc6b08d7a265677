#include "entangled_group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace kelvorin {
namespace {

std::string panic_text(auto&& f) {
  try {
    f();
  } catch (const Panic& p) {
    return p.what();
  }
  return "<no panic>";
}

void add_edge(GraphState& g, Qubit a, Qubit b) {
  g.adjacent(a).insert(b);
  g.adjacent(b).insert(a);
}

std::vector<Qubit> sorted_group(const GraphState& g, Qubit q) {
  std::vector<Qubit> group = entangled_group(g, q);
  std::sort(group.begin(), group.end());
  return group;
}

TEST(EntangledGroup, FreshQubitsStandAlone) {
  GraphState g(5);
  for (Qubit q = 0; q < 5; ++q) EXPECT_EQ(entangled_group(g, q), std::vector<Qubit>{q});
}

TEST(EntangledGroup, FollowsEdgesAndNothingElse) {
  GraphState g(4);
  add_edge(g, 0, 1);
  add_edge(g, 1, 2);
  g.h(3);  // vertex operators play no part
  for (Qubit q = 0; q < 3; ++q) EXPECT_EQ(sorted_group(g, q), (std::vector<Qubit>{0, 1, 2})) << q;
  EXPECT_EQ(entangled_group(g, 3), std::vector<Qubit>{3});
}

TEST(EntangledGroup, CyclesAndDenseGraphsGiveEachMemberOnce) {
  GraphState cycle(3);
  add_edge(cycle, 0, 1);
  add_edge(cycle, 1, 2);
  add_edge(cycle, 2, 0);
  EXPECT_EQ(sorted_group(cycle, 2), (std::vector<Qubit>{0, 1, 2}));

  GraphState complete(40);
  for (Qubit a = 0; a < 40; ++a)
    for (Qubit b = a + 1; b < 40; ++b) add_edge(complete, a, b);
  const std::vector<Qubit> group = sorted_group(complete, 17);
  ASSERT_EQ(group.size(), 40u);
  for (Qubit q = 0; q < 40; ++q) EXPECT_EQ(group[q], q);
}

TEST(EntangledGroup, VisitsBreadthFirstWithNeighboursAscending) {
  // 50 - {3, 90}; 3 - {64}; 90 - {1}; 64 - {33}; qubit 7 apart.
  GraphState g(100);
  add_edge(g, 50, 90);
  add_edge(g, 50, 3);
  add_edge(g, 90, 1);
  add_edge(g, 3, 64);
  add_edge(g, 64, 33);
  EXPECT_EQ(entangled_group(g, 50), (std::vector<Qubit>{50, 3, 90, 64, 1, 33}));
  EXPECT_EQ(entangled_group(g, 7), std::vector<Qubit>{7});
}

TEST(EntangledGroup, StartOutOfRangeIsFatal) {
  GraphState g(4);
  add_edge(g, 0, 3);
  EXPECT_EQ(panic_text([&] { entangled_group(g, 4); }), "index out of bounds: the len is 4 but the index is 4");
  EXPECT_EQ(panic_text([&] { entangled_group(g, UINT64_MAX); }),
            "index out of bounds: the len is 4 but the index is 18446744073709551615");
  GraphState empty(0);
  EXPECT_EQ(panic_text([&] { entangled_group(empty, 0); }), "index out of bounds: the len is 0 but the index is 0");
}

}  // namespace
}  // namespace kelvorin
