#include "bit_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace kelvorin {
namespace {

std::vector<std::uint64_t> members(const BitSet& s) {
  std::vector<std::uint64_t> out;
  s.for_each([&](std::uint64_t i) { out.push_back(i); });
  return out;
}

// Random inserts and removes against std::set, over lengths around block
// boundaries.
TEST(BitSet, AgreesWithAnOrderedSet) {
  std::mt19937_64 rng(7);
  for (std::uint64_t len : {1u, 31u, 32u, 33u, 63u, 64u, 65u, 100u, 257u}) {
    BitSet bits(len);
    std::set<std::uint64_t> model;
    EXPECT_EQ(bits.block_count(), (len + 31) / 32);
    for (int step = 0; step < 2000; ++step) {
      const std::uint64_t i = rng() % len;
      if (rng() % 2) {
        EXPECT_EQ(bits.insert(i), model.insert(i).second);
      } else {
        bits.remove(i);
        model.erase(i);
      }
      if (step % 97 == 0) {
        EXPECT_EQ(members(bits), std::vector<std::uint64_t>(model.begin(), model.end()));
        EXPECT_EQ(bits.count(), model.size());
        EXPECT_EQ(bits.empty(), model.empty());
        EXPECT_EQ(bits.first(), model.empty() ? len : *model.begin());
      }
      EXPECT_FALSE(bits.contains(len));
      EXPECT_FALSE(bits.contains(len + 1000));
    }
  }
}

TEST(BitSet, RemoveBeyondLengthIsANoOp) {
  BitSet bits(10);
  bits.insert(3);
  bits.remove(10);
  bits.remove(~std::uint64_t{0});
  EXPECT_EQ(members(bits), (std::vector<std::uint64_t>{3}));
}

TEST(BitSet, InsertBeyondLengthGrowsAndKeepsTheTailClear) {
  BitSet bits(5);
  bits.insert(4);
  EXPECT_TRUE(bits.insert(40));
  EXPECT_EQ(bits.bit_len(), 41u);
  EXPECT_EQ(bits.block_count(), 2u);
  EXPECT_EQ(members(bits), (std::vector<std::uint64_t>{4, 40}));
  EXPECT_EQ(bits.blocks()[1] >> 9, 0u);
  EXPECT_FALSE(bits.insert(40));
}

TEST(BitSpan, CannotGrowAndReportsTheBlock) {
  SummaryWord summary[1] = {}, top[1] = {};
  std::uint64_t degree = 0;
  std::vector<Block> storage(2, 0);
  BitSpan span(storage.data(), RowIndex{summary, top, &degree}, 40);
  EXPECT_TRUE(span.insert(39));
  EXPECT_EQ(span.count(), 1u);
  try {
    span.insert(64);
    FAIL() << "insert beyond the length must fail";
  } catch (const Panic& p) {
    EXPECT_STREQ(p.what(), "index out of bounds: the len is 2 but the index is 2");
  }
  EXPECT_EQ(storage[1], Block{1} << 7);
}

}  // namespace
}  // namespace kelvorin
