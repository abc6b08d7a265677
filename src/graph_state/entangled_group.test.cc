#include "entangled_group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include "../test_support.test.h"

namespace kelvorin {
namespace {

using testing::connect;
using testing::panic_text;

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
  connect(g, 0, 1);
  connect(g, 1, 2);
  g.h(3);  // vertex operators play no part
  for (Qubit q = 0; q < 3; ++q) EXPECT_EQ(sorted_group(g, q), (std::vector<Qubit>{0, 1, 2})) << q;
  EXPECT_EQ(entangled_group(g, 3), std::vector<Qubit>{3});
}

TEST(EntangledGroup, CyclesAndDenseGraphsGiveEachMemberOnce) {
  GraphState cycle(3);
  connect(cycle, 0, 1);
  connect(cycle, 1, 2);
  connect(cycle, 2, 0);
  EXPECT_EQ(sorted_group(cycle, 2), (std::vector<Qubit>{0, 1, 2}));

  GraphState complete(40);
  for (Qubit a = 0; a < 40; ++a)
    for (Qubit b = a + 1; b < 40; ++b) connect(complete, a, b);
  const std::vector<Qubit> group = sorted_group(complete, 17);
  ASSERT_EQ(group.size(), 40u);
  for (Qubit q = 0; q < 40; ++q) EXPECT_EQ(group[q], q);
}

TEST(EntangledGroup, VisitsBreadthFirstWithNeighboursAscending) {
  // 50 - {3, 90}; 3 - {64}; 90 - {1}; 64 - {33}; qubit 7 apart.
  GraphState g(100);
  connect(g, 50, 90);
  connect(g, 50, 3);
  connect(g, 90, 1);
  connect(g, 3, 64);
  connect(g, 64, 33);
  EXPECT_EQ(entangled_group(g, 50), (std::vector<Qubit>{50, 3, 90, 64, 1, 33}));
  EXPECT_EQ(entangled_group(g, 7), std::vector<Qubit>{7});
}

TEST(EntangledGroup, StartOutOfRangeIsFatal) {
  GraphState g(4);
  connect(g, 0, 3);
  EXPECT_EQ(panic_text([&] { entangled_group(g, 4); }), "index out of bounds: the len is 4 but the index is 4");
  EXPECT_EQ(panic_text([&] { entangled_group(g, UINT64_MAX); }),
            "index out of bounds: the len is 4 but the index is 18446744073709551615");
  GraphState empty(0);
  EXPECT_EQ(panic_text([&] { entangled_group(empty, 0); }), "index out of bounds: the len is 0 but the index is 0");
}

}  // namespace
}  // namespace kelvorin
