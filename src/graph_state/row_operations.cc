#include "row_operations.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kelvorin {

void toggle_edge(GraphState& state, Qubit i, Qubit j) {
  check_index(state.qubit_count(), i);
  check_index(state.qubit_count(), j);
  toggle_edge_unchecked(state, i, j);
}

void complement_neighbourhood(GraphState& state, RowView members) {
  if (members.count() <= kPairwiseMost) {
    // Few members: toggle pair by pair, from a list read once.
    Qubit list[kPairwiseMost];
    std::size_t size = 0;
    members.for_each([&](Qubit i) { list[size++] = i; });
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
  // pair-by-pair toggling would; each member's own bit is dropped again.
  flip_rows_against(state, members, members);
  members.for_each([&](Qubit i) { state.adjacent(i).flip(i); });
}

void flip_rows_against(GraphState& state, RowView members, RowView set) {
  // The set's blocks go a chunk at a time, each chunk to every member's row:
  // as a dense stretch when the set fills its span of blocks, else as a list
  // of the non-empty blocks.
  std::size_t non_empty = 0, lowest = 0, highest = 0;
  set.for_each_block_from(0, [&](std::size_t b, Block) {
    if (non_empty++ == 0) lowest = b;
    highest = b;
    return true;
  });
  if (non_empty == 0) return;
  const std::size_t span = highest - lowest + 1;
  if (span <= 4 * non_empty) {
    constexpr std::size_t kStretch = 1024;
    for (std::size_t lo = lowest; lo <= highest; lo += kStretch) {
      const std::size_t len = std::min(kStretch, highest + 1 - lo);
      const Block* src = set.blocks() + lo;
      members.for_each([&](Qubit i) { state.adjacent(i).flip_block_range(lo, src, len); });
    }
    return;
  }
  constexpr std::size_t kChunk = 512;
  BlockWord chunk[kChunk];
  std::uint64_t from = 0;
  for (;;) {
    std::size_t size = 0;
    set.for_each_block_from(from, [&](std::size_t b, Block word) {
      chunk[size++] = {static_cast<std::uint32_t>(b), word};
      return size < kChunk;
    });
    if (size == 0) break;
    members.for_each([&](Qubit i) { state.adjacent(i).flip_blocks(chunk, size); });
    if (size < kChunk) break;
    from = (static_cast<std::uint64_t>(chunk[size - 1].block) + 1) * kBlockBits;
  }
}

void replace_in_rows(GraphState& state, const Block* members, std::size_t blocks, Qubit from, Qubit to) noexcept {
  // Two loops so that the common case, both in one block, is a single XOR
  // per row with no bookkeeping to consult.
  const auto replace = [&](Qubit w) { state.adjacent(w).replace(from, to); };
  if (from / kBlockBits == to / kBlockBits) {
    for_each_bit(members, blocks, replace);
  } else {
    for_each_bit(members, blocks, replace);
  }
}

}  // namespace kelvorin
