#include "local_complement.h"

#include <bit>
#include <cstddef>

#include "../clifford/reduction_sequence.h"

namespace kelvorin {
namespace {

void toggle_unchecked(GraphState& state, Qubit i, Qubit j) noexcept {
  BitSpan row_i = state.adjacent(i);
  BitSpan row_j = state.adjacent(j);
  const bool present = row_i.contains(j);
  const Block bit_j = Block{1} << (j % kBlockBits);
  const Block bit_i = Block{1} << (i % kBlockBits);
  Block& block_ij = row_i.blocks()[j / kBlockBits];
  Block& block_ji = row_j.blocks()[i / kBlockBits];
  if (present) {
    block_ij &= ~bit_j;
    block_ji &= ~bit_i;
  } else {
    block_ij |= bit_j;
    block_ji |= bit_i;
  }
}

// Calls f(j) for every member j > i of `set`, ascending.
template <class F>
void for_each_above(const BitSpan& set, Qubit i, F&& f) {
  const Qubit start = i + 1;
  const std::size_t count = set.block_count();
  std::size_t b = static_cast<std::size_t>(start / kBlockBits);
  if (b >= count) return;
  const Block* blocks = set.blocks();
  Block word = blocks[b] & (~Block{0} << (start % kBlockBits));
  for (;;) {
    while (word != 0) {
      const unsigned bit = static_cast<unsigned>(std::countr_zero(word));
      word &= word - 1;
      f(static_cast<Qubit>(b * kBlockBits + bit));
    }
    if (++b == count) return;
    word = blocks[b];
  }
}

// The lowest member of `set` other than `avoid`, or `avoid` when there is none.
Qubit swapping_partner(const BitSpan& set, Qubit avoid) noexcept {
  const Block* blocks = set.blocks();
  for (std::size_t b = 0; b < set.block_count(); ++b) {
    Block word = blocks[b];
    if (avoid / kBlockBits == b) word &= ~(Block{1} << (avoid % kBlockBits));
    if (word != 0) return static_cast<Qubit>(b * kBlockBits + static_cast<unsigned>(std::countr_zero(word)));
  }
  return avoid;
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
  // loop started and can be walked in place.
  const BitSpan neighbours = state.adjacent(v);
  neighbours.for_each([&](Qubit i) {
    for_each_above(neighbours, i, [&](Qubit j) { toggle_unchecked(state, i, j); });
    state.right_multiply(i, vop::LcNeighbour);
  });
  state.right_multiply(v, vop::LcCentre);
}

unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid) {
  check_index(state.qubit_count(), v);
  const Vop current = state.vop(v);
  // The identity's sequence is four complementations about v: every pair of
  // its neighbours is toggled four times and every factor has order dividing
  // four, so the store would come out exactly as it went in.
  if (current == vop::I) return 0;
  const Qubit partner = swapping_partner(state.adjacent(v), avoid);
  // Copied before the first step, which changes VOP(v).
  const ReductionSequence sequence = reduction_sequence(current);
  for (std::size_t k = 0; k < sequence.length; ++k)
    local_complement(state, sequence.steps[k] == reduction_step::kAboutVertex ? v : partner);
  return sequence.length;
}

}  // namespace kelvorin
