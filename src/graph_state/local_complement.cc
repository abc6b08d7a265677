#include "local_complement.h"

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
  // toggling would.
  members.for_each([&](Qubit i) {
    BitSpan row = state.adjacent(i);
    members.for_each_block_from(0, [&](std::size_t b, Block word) {
      row.flip_block(b, word);
      return true;
    });
    row.flip(i);
  });
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
  for (std::size_t k = 0; k < sequence.length; ++k)
    local_complement(state, sequence.steps[k] == reduction_step::kAboutVertex ? v : partner);
  return sequence.length;
}

}  // namespace kelvorin
