#include "bit_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

#include "bit_set.test.h"

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
  std::uint64_t index[1] = {};
  std::vector<Block> storage(2, 0);
  BitSpan span(storage.data(), RowIndex{index}, 40);
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

// Every update of a row against std::set, with the kept degree and both
// summary levels checked against the blocks after each one.  The degree is
// observed as kept, not counted: a short row's goes stale on a bulk update
// and then through several more updates before a count now and then keeps
// it again, and a stale degree must never turn into a known wrong one.
// Rows are emptied often, since updates of an empty row take their own path.
TEST(BitSpan, UpdatesKeepDegreeAndSummariesExact) {
  std::mt19937_64 rng(31);
  for (const std::uint64_t len :
       {std::uint64_t{40}, kUnsummarisedBlocks * kBlockBits, std::uint64_t{2100}, std::uint64_t{300000}}) {
    const std::size_t blocks = blocks_for_bits(len);
    std::vector<Block> storage(blocks, 0), other_storage(blocks, 0);
    std::vector<std::uint64_t> index(row_index_words(len)), other_index(index.size());
    BitSpan row(storage.data(), RowIndex{index.data()}, len);
    BitSpan other(other_storage.data(), RowIndex{other_index.data()}, len);
    const std::size_t summary_words = row_summary_words(len);
    const SummaryWord* const summary = row.summary();
    const SummaryWord* const top = summary_words == 0 ? nullptr : row.top();
    std::set<std::uint64_t> model;
    // Members cluster now and then, so that blocks fill up and empty again.
    const auto pick = [&] { return rng() % 3 == 0 ? rng() % std::min<std::uint64_t>(len, 70) : rng() % len; };
    for (int step = 0; step < 4000; ++step) {
      const std::uint64_t i = pick();
      switch (rng() % 9) {
        case 0:
          EXPECT_EQ(row.insert(i), model.insert(i).second);
          break;
        case 1:
          row.remove(i);
          model.erase(i);
          break;
        case 2:
          row.flip(i);
          if (!model.erase(i)) model.insert(i);
          break;
        case 3: {
          const std::size_t b = i / kBlockBits;
          Block bits = static_cast<Block>(rng());
          if (b == blocks - 1 && len % kBlockBits != 0) bits &= (Block{1} << (len % kBlockBits)) - 1;
          row.flip_block(b, bits);
          for (unsigned k = 0; k < kBlockBits; ++k)
            if ((bits >> k) & 1) {
              const std::uint64_t j = b * kBlockBits + k;
              if (!model.erase(j)) model.insert(j);
            }
          break;
        }
        case 4: {
          // The whole of another row, by block list or by stretch.
          other.clear();
          std::set<std::uint64_t> picked;
          for (int k = 0; k < 5; ++k) picked.insert(pick());
          for (std::uint64_t j : picked) other.insert(j);
          std::vector<BlockWord> list;
          other.for_each_block_from(0, [&](std::size_t b, Block word) {
            list.push_back({static_cast<std::uint32_t>(b), word});
            return true;
          });
          if (list.empty()) {
            ADD_FAILURE() << "a row of five members has no block";
          } else if (rng() % 2 == 0) {
            row.flip_blocks(list.data(), list.size());
          } else {
            const std::size_t lo = list.front().block, hi = list.back().block;
            row.flip_block_range(lo, BlockRange{other.blocks() + lo, hi - lo + 1});
          }
          for (std::uint64_t j : picked)
            if (!model.erase(j)) model.insert(j);
          break;
        }
        case 5:
          if (rng() % 4 == 0) {
            row.clear();
            model.clear();
          }
          break;
        case 6:
          if (rng() % 4 == 0) {
            row.assign(other);
            model.clear();
            other.for_each([&](std::uint64_t j) { model.insert(j); });
          }
          break;
        case 7: {
          // A member traded for a non-member, in its own block or elsewhere.
          if (model.empty()) break;
          const std::uint64_t from = *model.lower_bound(i % (*model.rbegin() + 1));
          const std::uint64_t to = rng() % 2 == 0 ? from / kBlockBits * kBlockBits + rng() % kBlockBits : i;
          if (to >= len || model.count(to) != 0) break;
          if (from / kBlockBits == to / kBlockBits) {
            row.replace_in_block(from / kBlockBits,
                                 (Block{1} << (from % kBlockBits)) | (Block{1} << (to % kBlockBits)));
          } else {
            row.replace(from, to);
          }
          model.erase(from);
          model.insert(to);
          break;
        }
        default:
          EXPECT_EQ(row.contains(i), model.count(i) == 1);
      }
      const std::uint64_t kept = row.kept_degree();
      if (kept < kStaleFloor) {
        ASSERT_EQ(kept, model.size()) << "known degree, step " << step << ", length " << len;
      } else {
        ASSERT_FALSE(row.summarised()) << "stale degree " << kept << " in a summarised row, step " << step;
      }
      // A view counts without keeping; a span keeps its count, now and then.
      ASSERT_EQ(std::as_const(row).count(), model.size()) << "step " << step << ", length " << len;
      ASSERT_EQ(row.kept_degree(), kept);
      if (rng() % 8 == 0) {
        ASSERT_EQ(row.count(), model.size());
      }
      std::vector<std::uint64_t> seen;
      row.for_each([&](std::uint64_t j) { seen.push_back(j); });
      ASSERT_EQ(seen, std::vector<std::uint64_t>(model.begin(), model.end())) << "step " << step;
      // Short rows keep no summaries that anything reads.
      for (std::size_t w = 0; w < summary_words; ++w) {
        SummaryWord expected = 0;
        for (std::size_t b = w * kSummaryBits; b < std::min(blocks, (w + 1) * kSummaryBits); ++b)
          expected |= static_cast<SummaryWord>(storage[b] != 0) << (b % kSummaryBits);
        ASSERT_EQ(summary[w], expected) << "summary word " << w << ", step " << step;
        ASSERT_EQ((top[w / kSummaryBits] >> (w % kSummaryBits)) & 1, SummaryWord{expected != 0})
            << "top, step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace kelvorin
