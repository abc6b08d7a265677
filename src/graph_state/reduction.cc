#include "reduction.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "../clifford/reduction_sequence.h"
#include "reduction_effect.h"
#include "row_operations.h"

namespace kelvorin {
namespace {

// Flips bit `a` and bit `b` (distinct) of a row, in one block update when
// they share a block.
void flip_two(BitSpan row, Qubit a, Qubit b) noexcept {
  if (a / kBlockBits == b / kBlockBits) {
    row.flip_block(a / kBlockBits, (Block{1} << (a % kBlockBits)) | (Block{1} << (b % kBlockBits)));
  } else {
    row.flip(a);
    row.flip(b);
  }
}

// A vertex's new edges to v and p and its VOP, from its kind.
void finish_member(GraphState& state, Qubit w, Kind k, Qubit v, Qubit p, const ReductionEffect& effect) {
  const Kind change = k ^ effect.final_kind[k];  // the bits of the edges to v and p that flip
  BitSpan row = state.adjacent(w);
  if (change == kind::kOfBoth) {
    flip_two(row, v, p);
  } else if (change == kind::kOfV) {
    row.flip(v);
  } else if (change == kind::kOfP) {
    row.flip(p);
  }
  if (effect.factor[k] != vop::I) state.right_multiply(w, effect.factor[k]);
}

// The effect of a reduction about v and p on their neighbours, where they
// are few: pair by pair from a list of (vertex, kind).
void apply_effect_by_pairs(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[kPairwiseMost];
  Kind kinds[kPairwiseMost];
  std::size_t size = 0;
  const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
  row_v.for_each([&](Qubit w) {
    if (w == p) return;
    list[size] = w;
    kinds[size++] = row_p.contains(w) ? kind::kOfBoth : kind::kOfV;
  });
  row_p.for_each([&](Qubit w) {
    if (w == v || row_v.contains(w)) return;
    list[size] = w;
    kinds[size++] = kind::kOfP;
  });
  for (std::size_t x = 0; x < size; ++x) {
    const std::uint8_t flips = effect.flips[kinds[x]];
    if (flips == 0) continue;
    for (std::size_t y = x + 1; y < size; ++y)
      if (((flips >> kinds[y]) & 1) != 0) toggle_edge_unchecked(state, list[x], list[y]);
  }
  for (std::size_t x = 0; x < size; ++x) {
    const Kind change = kinds[x] ^ effect.final_kind[kinds[x]];
    if ((change & kind::kOfV) != 0) state.adjacent(v).flip(list[x]);
    if ((change & kind::kOfP) != 0) state.adjacent(p).flip(list[x]);
    finish_member(state, list[x], kinds[x], v, p, effect);
  }
}

// The same where they are many: the three kinds are snapshot into the
// scratch rows and every flip goes a row against a whole kind at a time.
void apply_effect_by_rows(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  // One scratch row per kind of neighbour, indexed by kind - kOfV.
  GraphState::ScratchRow scratch[3] = {state.lease_scratch(), state.lease_scratch(), state.lease_scratch()};
  const auto members = [&](Kind k) -> BitSpan& { return *scratch[k - kind::kOfV]; };
  row_v.for_each_block_from(0, [&](std::size_t b, Block word) {
    const Block in_p = row_p.blocks()[b];
    if ((word & ~in_p) != 0) members(kind::kOfV).flip_block(b, word & ~in_p);
    if ((word & in_p) != 0) members(kind::kOfBoth).flip_block(b, word & in_p);
    return true;
  });
  row_p.for_each_block_from(0, [&](std::size_t b, Block word) {
    const Block only_p = word & ~row_v.blocks()[b];
    if (only_p != 0) members(kind::kOfP).flip_block(b, only_p);
    return true;
  });
  members(kind::kOfV).remove(p);
  members(kind::kOfP).remove(v);

  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    if (members(s).empty()) continue;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0) flip_rows_against(state, members(s), members(t));
    if (((effect.flips[s] >> s) & 1) != 0) members(s).for_each([&](Qubit w) { state.adjacent(w).flip(w); });
  }
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    const Kind change = s ^ effect.final_kind[s];
    if ((change & kind::kOfV) != 0) row_v.flip_members(members(s));
    if ((change & kind::kOfP) != 0) row_p.flip_members(members(s));
    members(s).for_each([&](Qubit w) { finish_member(state, w, s, v, p, effect); });
  }
}

}  // namespace

unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid) {
  check_index(state.qubit_count(), v);
  if (avoid >= state.qubit_count() || avoid == v) [[unlikely]] {
    panic("internal error: vertex " + std::to_string(v) + " cannot be reduced avoiding " + std::to_string(avoid));
  }
  const Vop current = state.vop(v);
  // The identity's sequence is four complementations about v, which leave
  // the store exactly as it was.
  if (current == vop::I) return 0;
  const RowView neighbours = state.adjacent(v);
  const Qubit lowest = neighbours.first_other_than(avoid);
  const Qubit partner = lowest < neighbours.bit_len() ? lowest : avoid;
  const ReductionSequence& sequence = reduction_sequence(current);
  const ReductionEffect& effect = reduction_effect_of(current, neighbours.contains(partner));
  if (neighbours.count() + state.adjacent(partner).count() <= kPairwiseMost) {
    apply_effect_by_pairs(state, v, partner, effect);
  } else {
    apply_effect_by_rows(state, v, partner, effect);
  }
  state.right_multiply(v, effect.v_factor);
  state.right_multiply(partner, effect.p_factor);
  return sequence.length;
}

}  // namespace kelvorin
