#include "local_complement.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "../clifford/reduction_sequence.h"

namespace kelvorin {
namespace {

void toggle_unchecked(GraphState& state, Qubit i, Qubit j) noexcept {
  state.adjacent(i).flip(j);
  state.adjacent(j).flip(i);
}

}  // namespace

void toggle_edge(GraphState& state, Qubit i, Qubit j) {
  check_index(state.qubit_count(), i);
  check_index(state.qubit_count(), j);
  toggle_unchecked(state, i, j);
}

void local_complement(GraphState& state, Qubit v) {
  check_index(state.qubit_count(), v);
  // v is never one of a toggled pair, so its own set stays as it was when the
  // loop started and can be read throughout.
  const BitSpan neighbours = state.adjacent(v);
  complement_neighbourhood(state, neighbours);
  neighbours.for_each([&](Qubit i) { state.right_multiply(i, vop::LcNeighbour); });
  state.right_multiply(v, vop::LcCentre);
}

void complement_neighbourhood(GraphState& state, const BitSpan& members) {
  constexpr std::size_t kSmall = 64;
  if (members.count() <= kSmall) {
    // Few members: toggle pair by pair, from a list read once.
    Qubit list[kSmall];
    std::size_t size = 0;
    members.for_each([&](Qubit i) { list[size++] = i; });
    for (std::size_t x = 0; x < size; ++x)
      for (std::size_t y = x + 1; y < size; ++y) toggle_unchecked(state, list[x], list[y]);
    return;
  }
  // Many members: each member's row takes the symmetric difference with the
  // whole set, a block at a time, and drops the bit for itself again.  Every
  // pair {i, j} is flipped once in row i and once in row j, as pair-by-pair
  // toggling would.  The set's blocks go a chunk at a time, each chunk to
  // every member's row: as a dense stretch when the members fill their span
  // of blocks, else as a list of the non-empty blocks.
  std::size_t non_empty = 0, lowest = 0, highest = 0;
  members.for_each_block_from(0, [&](std::size_t b, Block) {
    if (non_empty++ == 0) lowest = b;
    highest = b;
    return true;
  });
  const std::size_t span = highest - lowest + 1;
  if (span <= 4 * non_empty) {
    constexpr std::size_t kStretch = 1024;
    for (std::size_t lo = lowest; lo <= highest; lo += kStretch) {
      const std::size_t len = std::min(kStretch, highest + 1 - lo);
      const Block* src = members.blocks() + lo;
      members.for_each([&](Qubit i) { state.adjacent(i).flip_block_range(lo, src, len); });
    }
  } else {
    constexpr std::size_t kChunk = 512;
    std::pair<std::uint32_t, Block> chunk[kChunk];
    std::uint64_t from = 0;
    for (;;) {
      std::size_t size = 0;
      members.for_each_block_from(from, [&](std::size_t b, Block word) {
        chunk[size++] = {static_cast<std::uint32_t>(b), word};
        return size < kChunk;
      });
      if (size == 0) break;
      members.for_each([&](Qubit i) { state.adjacent(i).flip_blocks(chunk, size); });
      if (size < kChunk) break;
      from = (static_cast<std::uint64_t>(chunk[size - 1].first) + 1) * kBlockBits;
    }
  }
  members.for_each([&](Qubit i) { state.adjacent(i).flip(i); });
}

unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid) {
  check_index(state.qubit_count(), v);
  const Vop current = state.vop(v);
  // The identity's sequence is four complementations about v: every pair of
  // its neighbours is toggled four times and every factor has order dividing
  // four, so the store would come out exactly as it went in.
  if (current == vop::I) return 0;
  const BitSpan neighbours = state.adjacent(v);
  const Qubit lowest = neighbours.first_other_than(avoid);
  const Qubit partner = lowest < neighbours.bit_len() ? lowest : avoid;
  // Copied before the first step, which changes VOP(v).
  const ReductionSequence sequence = reduction_sequence(current);
  // Complementations about one vertex leave its neighbourhood as it is, so a
  // run of r of them flips the edges among its neighbours r times (that is,
  // once when r is odd) and multiplies the same factors in r times: the store
  // comes out as after r separate complementations.
  for (std::size_t k = 0; k < sequence.length;) {
    std::size_t run = 1;
    while (k + run < sequence.length && sequence.steps[k + run] == sequence.steps[k]) ++run;
    const Qubit pivot = sequence.steps[k] == reduction_step::kAboutVertex ? v : partner;
    if (run == 1) {
      local_complement(state, pivot);
    } else {
      check_index(state.qubit_count(), pivot);
      const BitSpan around = state.adjacent(pivot);
      if (run % 2 == 1) complement_neighbourhood(state, around);
      Vop neighbour_factor = vop::I, pivot_factor = vop::I;
      for (std::size_t r = 0; r < run; ++r) {
        neighbour_factor = clifford_product(neighbour_factor, vop::LcNeighbour);
        pivot_factor = clifford_product(pivot_factor, vop::LcCentre);
      }
      around.for_each([&](Qubit i) { state.right_multiply(i, neighbour_factor); });
      state.right_multiply(pivot, pivot_factor);
    }
    k += run;
  }
  return sequence.length;
}

}  // namespace kelvorin
