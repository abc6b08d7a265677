#include "row_operations.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "working_copy.h"

namespace kelvorin {

template <class Store>
void complement_neighbourhood(Store& state, RowView members) {
  if (members.count() <= tuning::kComplementPairsMost) {
    // Few members: toggle pair by pair, from a list read once.  The list
    // stops at its end, so that a degree gone wrong is an internal error
    // rather than a write past it.
    Qubit list[tuning::kComplementPairsMost];
    std::size_t size = 0;
    bool overflow = false;
    members.for_each_from(0, [&](Qubit i) {
      if (size == tuning::kComplementPairsMost) {
        overflow = true;
        return false;
      }
      list[size++] = i;
      return true;
    });
    if (overflow) [[unlikely]]
      panic("internal error: a set has more members than its degree counts");
    for (std::size_t x = 0; x < size; ++x) {
      BitSpan row_x = state.adjacent(list[x]);
      for (std::size_t y = x + 1; y < size; ++y) {
        row_x.flip(list[y]);
        state.adjacent(list[y]).flip(list[x]);
      }
    }
    return;
  }
  // Every pair {i, j} is flipped once in row i and once in row j, as
  // pair-by-pair toggling would.
  flip_rows_against(state, members, members, OwnBit::kLeftOut);
}

template <class Store>
void flip_rows_against(Store& state, RowView members, RowView set, OwnBit own) {
  // The set's blocks go a chunk at a time, each chunk to every member's row:
  // as a dense stretch when the set fills its span of blocks, else as a list
  // of the non-empty blocks.  A member's own bit is in a chunk exactly when
  // the chunk's blocks reach the member's block (it is in the set).
  const bool leave_out = own == OwnBit::kLeftOut;
  std::size_t non_empty = 0, lowest = 0, highest = 0;
  set.for_each_block_from(0, [&](std::size_t b, Block) {
    if (non_empty++ == 0) lowest = b;
    highest = b;
    return true;
  });
  if (non_empty == 0) return;
  const std::size_t span = highest - lowest + 1;
  if (span <= tuning::kDenseSpanFactor * non_empty) {
    Block stretch[tuning::kStretchChunkBlocks];
    for (std::size_t lo = lowest; lo <= highest; lo += tuning::kStretchChunkBlocks) {
      const std::size_t len = std::min(tuning::kStretchChunkBlocks, highest + 1 - lo);
      std::copy_n(set.blocks() + lo, len, stretch);
      members.for_each([&](Qubit i) {
        const std::size_t b = static_cast<std::size_t>(i / kBlockBits);
        flip_member_row(state.adjacent(i), i, leave_out && b >= lo && b < lo + len,
                        [&](BitSpan& row) { row.flip_block_range(lo, BlockRange{stretch, len}); });
      });
    }
    return;
  }
  BlockWord chunk[tuning::kListChunkBlocks];
  std::uint64_t from = 0;
  for (;;) {
    std::size_t size = 0;
    set.for_each_block_from(from, [&](std::size_t b, Block word) {
      chunk[size++] = {static_cast<std::uint32_t>(b), word};
      return size < tuning::kListChunkBlocks;
    });
    if (size == 0) break;
    const std::uint64_t reach = (static_cast<std::uint64_t>(chunk[size - 1].block) + 1) * kBlockBits;
    members.for_each([&](Qubit i) {
      flip_member_row(state.adjacent(i), i, leave_out && i >= from && i < reach,
                      [&](BitSpan& row) { row.flip_blocks(chunk, size); });
    });
    if (size < tuning::kListChunkBlocks) break;
    from = reach;
  }
}

template void complement_neighbourhood<GraphState>(GraphState&, RowView);
template void complement_neighbourhood<WorkingCopy>(WorkingCopy&, RowView);
template void flip_rows_against<GraphState>(GraphState&, RowView, RowView, OwnBit);
template void flip_rows_against<WorkingCopy>(WorkingCopy&, RowView, RowView, OwnBit);

void replace_in_rows(GraphState& state, BlockRange members, Qubit from, Qubit to) noexcept {
  const std::size_t b_from = static_cast<std::size_t>(from / kBlockBits);
  if (b_from == to / kBlockBits) {
    // The common case, both ends in one block: every row holds a member in
    // that block before and after, so each trade is a single XOR with no
    // degree or summary to consult.
    const Block bits = (Block{1} << (from % kBlockBits)) | (Block{1} << (to % kBlockBits));
    for_each_bit(members, [&](Qubit w) { state.adjacent(w).replace_in_block(b_from, bits); });
  } else {
    for_each_bit(members, [&](Qubit w) { state.adjacent(w).replace(from, to); });
  }
}

}  // namespace kelvorin
