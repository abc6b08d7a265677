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

// Up to this many neighbours of v and p together, the effect goes from lists
// on the stack; beyond it, from scratch rows.
constexpr std::size_t kListMost = 64;

// A set of vertices as its non-empty blocks, ascending: at most the
// neighbours of v and p, and v and p themselves.
struct BlockList {
  BlockWord entries[kListMost + 2];
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

// The union of at most five disjoint block lists, ascending.
void merge_into(BlockList& out, const BlockList* const* lists, std::size_t count) noexcept {
  std::size_t at[5] = {0, 0, 0, 0, 0};
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

// What a neighbour w of kind s gets, besides its VOP factor: its row flips
// the members of every kind s flips with, and v or p where its kind changes.
// Its own bit is among them when s flips with itself; it is flipped back.
bool flips_itself(const ReductionEffect& effect, Kind s) { return ((effect.flips[s] >> s) & 1) != 0; }
Kind edge_change(const ReductionEffect& effect, Kind s) { return static_cast<Kind>(s ^ effect.final_kind[s]); }

// The effect of a reduction about v and p on their neighbours, where they
// are few: each kind's members, and each kind's partners (the kinds it flips
// with, and v or p), as block lists on the stack; each member's row is then
// one XOR with its kind's partners.
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
  BlockList lone_v, lone_p;
  lone_v.add(v);
  lone_p.add(p);
  BlockList partners[kind::kCount];
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    const BlockList* sources[5];  // three kinds, v and p
    std::size_t count = 0;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0) sources[count++] = &of_kind[t];
    if ((edge_change(effect, s) & kind::kOfV) != 0) sources[count++] = &lone_v;
    if ((edge_change(effect, s) & kind::kOfP) != 0) sources[count++] = &lone_p;
    merge_into(partners[s], sources, count);
  }
  BitSpan row_v_w = state.adjacent(v), row_p_w = state.adjacent(p);
  for (std::size_t x = 0; x < size; ++x) {
    const Kind k = kinds[x];
    const Qubit w = list[x];
    if (partners[k].size != 0) {
      BitSpan row = state.adjacent(w);
      row.flip_blocks(partners[k].entries, partners[k].size);
      if (flips_itself(effect, k)) row.flip(w);
    }
    if (effect.factor[k] != vop::I) state.right_multiply(w, effect.factor[k]);
  }
  for (std::size_t x = 0; x < size; ++x) {
    const Kind change = edge_change(effect, kinds[x]);
    if ((change & kind::kOfV) != 0) row_v_w.flip(list[x]);
    if ((change & kind::kOfP) != 0) row_p_w.flip(list[x]);
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

  // Each row of kind s goes once against its partners: the kinds it flips
  // with (disjoint, so their union) and v or p where its kind changes, made
  // in a fourth row.
  GraphState::ScratchRow partners = state.lease_scratch();
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    if (members(s).empty()) continue;
    const Kind change = edge_change(effect, s);
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0) partners->flip_members(members(t));
    if ((change & kind::kOfV) != 0) partners->flip(v);
    if ((change & kind::kOfP) != 0) partners->flip(p);
    if (!partners->empty()) {
      flip_rows_against(state, members(s), *partners);
      partners->clear();
    }
    const bool itself = flips_itself(effect, s);
    const Vop factor = effect.factor[s];
    if (itself || factor != vop::I) {
      members(s).for_each([&](Qubit w) {
        if (itself) state.adjacent(w).flip(w);
        if (factor != vop::I) state.right_multiply(w, factor);
      });
    }
    if ((change & kind::kOfV) != 0) row_v.flip_members(members(s));
    if ((change & kind::kOfP) != 0) row_p.flip_members(members(s));
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
