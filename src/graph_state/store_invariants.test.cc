// The store invariant check against stores broken one way at a time: each
// break must be reported, by the row and word it lies in.
#include "store_invariants.test.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "state_vector.test.h"

namespace kelvorin {
namespace {

using testing::store_violation;

// Writable access to what the store hands out read-only, to break it.
Block* blocks(const RowView& row) {
  return const_cast<Block*>(row.blocks());
}
SummaryWord* summary(const RowView& row) {
  return const_cast<SummaryWord*>(row.summary());
}
SummaryWord* top(const RowView& row) {
  return const_cast<SummaryWord*>(row.top());
}
// The degree word precedes the summary words (RowIndex).
std::uint64_t* degree(const RowView& row) {
  return const_cast<std::uint64_t*>(row.summary()) - 1;
}

TEST(StoreInvariants, EveryBreakIsReportedWhereItLies) {
  using Break = std::pair<std::function<void(GraphState&)>, std::string>;
  // Short rows (40 qubits) and summarised ones.
  for (const Qubit n : {Qubit{40}, Qubit{kUnsummarisedBlocks * kBlockBits + 188}}) {
    SCOPED_TRACE(std::to_string(n) + " qubits");
    std::mt19937_64 rng(5);
    GraphState sound = testing::random_graph_state(n, rng, 0.1);
    sound.adjacent(3).remove(9);  // the edge that one break adds on one side
    sound.adjacent(9).remove(3);
    ASSERT_EQ(store_violation(sound), "");
    ASSERT_EQ(store_violation(GraphState(n)), "");
    const std::string rows = " of " + std::to_string(n);
    const Qubit past = n + 1;
    std::vector<Break> breaks = {
        {[](GraphState& g) { g.set_vop(2, kVopCount); }, "VOP of 2 is 24"},
        {[](GraphState& g) { g.adjacent(3).insert(3); }, "self-loop at 3"},
        {[](GraphState& g) { g.adjacent(3).insert(9); }, "edge 3-9 in row 3 only"},
        // A known degree: a copied short row's is left to be counted.
        {[](GraphState& g) {
           (void)g.adjacent(4).count();
           blocks(g.adjacent(4))[0] ^= 1u << 7;
         },
         "row 4" + rows + ": degree "},
        // A stale degree one below the floor reads as known.
        {[](GraphState& g) { *degree(g.adjacent(8)) = kStaleFloor - 1; }, "row 8" + rows + ": degree "},
        {[=](GraphState& g) { blocks(g.adjacent(5))[past / kBlockBits] |= Block{1} << (past % kBlockBits); },
         "row 5" + rows + ": bit " + std::to_string(past) + " set at or past the length"},
        {[](GraphState& g) { blocks(g.scratch_row(1))[0] = 4; }, "scratch row 1: degree 0 but 1 members"},
    };
    if (summarised_row(n)) {
      breaks.push_back({[](GraphState& g) { summary(g.adjacent(6))[0] ^= SummaryWord{1} << 21; },
                        "row 6" + rows + ": summary word 0 is "});
      breaks.push_back({[](GraphState& g) { top(g.adjacent(7))[0] ^= 2; }, "row 7" + rows + ": top word 0 is 0x"});
      breaks.push_back(
          {[](GraphState& g) { summary(g.scratch_row(2))[0] = 1; }, "scratch row 2: summary word 0 is 0x1"});
      breaks.push_back({[](GraphState& g) { *degree(g.adjacent(10)) = kStaleDegree; },
                        "row 10" + rows + ": stale degree " + testing::store_invariants_detail::hex(kStaleDegree) +
                            " in a summarised row"});
    }
    for (const auto& [spoil, report] : breaks) {
      GraphState g = sound;
      spoil(g);
      const std::string found = store_violation(g);
      EXPECT_EQ(found.substr(0, report.size()), report) << found;
    }
    // A short row's stale degree is no break: it is counted when asked for.
    if (!summarised_row(n)) {
      GraphState g = sound;
      *degree(g.adjacent(8)) = kStaleDegree;
      EXPECT_EQ(store_violation(g), "");
    }
  }
}

}  // namespace
}  // namespace kelvorin
