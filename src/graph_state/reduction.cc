#include "reduction.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

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

// Up to this many neighbours of v and p together, the effect goes from lists
// on the stack; beyond it, from scratch rows.
constexpr std::size_t kListMost = 64;

// A set of vertices as its non-empty blocks, ascending.
struct BlockList {
  BlockWord entries[kListMost];
  std::size_t size = 0;

  // Adds w, which must not lie below the last block added.
  void add(Qubit w) noexcept {
    const auto b = static_cast<std::uint32_t>(w / kBlockBits);
    const Block bit = Block{1} << (w % kBlockBits);
    if (size > 0 && entries[size - 1].block == b) {
      entries[size - 1].word |= bit;
    } else {
      entries[size++] = {b, bit};
    }
  }
};

// The union of disjoint block lists, ascending.
void merge_into(BlockList& out, const BlockList* const* lists, std::size_t count) noexcept {
  std::size_t at[3] = {0, 0, 0};
  for (;;) {
    std::uint32_t lowest = ~std::uint32_t{0};
    for (std::size_t k = 0; k < count; ++k)
      if (at[k] < lists[k]->size) lowest = std::min(lowest, lists[k]->entries[at[k]].block);
    if (lowest == ~std::uint32_t{0}) return;
    Block word = 0;
    for (std::size_t k = 0; k < count; ++k)
      if (at[k] < lists[k]->size && lists[k]->entries[at[k]].block == lowest) word |= lists[k]->entries[at[k]++].word;
    out.entries[out.size++] = {lowest, word};
  }
}

// The effect of a reduction about v and p on their neighbours, where they
// are few.  The neighbours of each kind are listed by block; a vertex of kind
// s flips its edges to every vertex of the kinds it flips with, which is one
// XOR of its row with the union of those lists (and, when s flips with
// itself, its own bit back).  Each flipped pair is so flipped once from each
// side, as pair-by-pair toggling would.
void apply_effect_by_lists(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[kListMost];
  Kind kinds[kListMost];
  std::size_t size = 0;
  BlockList of_kind[kind::kCount];
  const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
  row_v.for_each([&](Qubit w) {
    if (w == p) return;
    const Kind k = row_p.contains(w) ? kind::kOfBoth : kind::kOfV;
    list[size] = w;
    kinds[size++] = k;
    of_kind[k].add(w);
  });
  row_p.for_each([&](Qubit w) {
    if (w == v || row_v.contains(w)) return;
    list[size] = w;
    kinds[size++] = kind::kOfP;
    of_kind[kind::kOfP].add(w);
  });
  BlockList partners[kind::kCount];
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    const BlockList* sources[3];
    std::size_t count = 0;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0) sources[count++] = &of_kind[t];
    merge_into(partners[s], sources, count);
  }
  for (std::size_t x = 0; x < size; ++x) {
    const Kind k = kinds[x];
    if (partners[k].size == 0) continue;
    BitSpan row = state.adjacent(list[x]);
    row.flip_blocks(partners[k].entries, partners[k].size);
    if (((effect.flips[k] >> k) & 1) != 0) row.flip(list[x]);
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

  // Each row of kind s goes once against everything it flips with: the
  // kinds are disjoint, so that is their union, made in a fourth row when
  // there is more than one.
  GraphState::ScratchRow both = state.lease_scratch();
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    const std::uint8_t flips = effect.flips[s];
    if (members(s).empty() || flips == 0) continue;
    const Kind first = static_cast<Kind>(std::countr_zero(flips));
    if ((flips & (flips - 1)) == 0) {
      flip_rows_against(state, members(s), members(first));
    } else {
      both->assign(members(first));
      for (Kind t = static_cast<Kind>(first + 1); t < kind::kCount; ++t)
        if (((flips >> t) & 1) != 0) both->flip_members(members(t));
      flip_rows_against(state, members(s), *both);
      both->clear();
    }
    if (((flips >> s) & 1) != 0) members(s).for_each([&](Qubit w) { state.adjacent(w).flip(w); });
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
  if (neighbours.count() + state.adjacent(partner).count() <= kListMost) {
    apply_effect_by_lists(state, v, partner, effect);
  } else {
    apply_effect_by_rows(state, v, partner, effect);
  }
  state.right_multiply(v, effect.v_factor);
  state.right_multiply(partner, effect.p_factor);
  return sequence.length;
}

}  // namespace kelvorin
