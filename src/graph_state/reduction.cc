#include "reduction.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../clifford/reduction_sequence.h"
#include "reduction_effect.h"
#include "row_operations.h"

namespace kelvorin {
namespace {

// Up to this many neighbours of v and p together, the effect goes pair by
// pair from a list on the stack; beyond it, a row at a time (measured on the
// error-correction and random-circuit benchmarks: rows win from about 16).
constexpr std::size_t kPairsMost = 16;

// Up to this many blocks a row (1024 qubits), the kinds go on the stack.
// That path reads every block of the rows of v and p where the row path
// visits only the non-empty ones; measured on the random circuits, it wins
// up to about 32 blocks and loses from about 64.
constexpr std::size_t kStackBlocks = 32;

// Flips bit `a` and bit `b` (distinct) of a row, in one block update when
// they share a block.
void flip_two(BitSpan& row, Qubit a, Qubit b) noexcept {
  if (a / kBlockBits == b / kBlockBits) {
    row.flip_block(a / kBlockBits, (Block{1} << (a % kBlockBits)) | (Block{1} << (b % kBlockBits)));
  } else {
    row.flip(a);
    row.flip(b);
  }
}

// What a neighbour w of kind s gets, besides its VOP factor: its row flips
// the members of every kind s flips with, and v or p where its kind changes.
bool flips_itself(const ReductionEffect& effect, Kind s) {
  return ((effect.flips[s] >> s) & 1) != 0;
}
Kind edge_change(const ReductionEffect& effect, Kind s) {
  return static_cast<Kind>(s ^ effect.final_kind[s]);
}

// Where kind s flips with no member and is kOfV or kOfP turning into the
// other, each member's one edge to v or p just moves to the other: a star's
// centre passing to a leaf.  Then move_edge_ends does it, one XOR a row.
bool only_moves_edge_ends(Kind s, Kind change, bool any_member) {
  return !any_member && change == kind::kOfBoth && s != kind::kOfBoth;
}
void move_edge_ends(GraphState& state, const Block* members, std::size_t blocks, Kind s, Qubit v, Qubit p) {
  replace_in_rows(state, members, blocks, s == kind::kOfV ? v : p, s == kind::kOfV ? p : v);
}

// The effect of a reduction about v and p on their neighbours, where they
// are few: pair by pair from a list of (vertex, kind).
void apply_effect_by_pairs(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[kPairsMost];
  Kind kinds[kPairsMost];
  std::size_t size = 0;
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
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
    BitSpan row_x = state.adjacent(list[x]);
    for (std::size_t y = x + 1; y < size; ++y) {
      if (((flips >> kinds[y]) & 1) == 0) continue;
      row_x.flip(list[y]);
      state.adjacent(list[y]).flip(list[x]);
    }
  }
  for (std::size_t x = 0; x < size; ++x) {
    const Qubit w = list[x];
    const Kind change = edge_change(effect, kinds[x]);
    if (change != 0) {
      BitSpan row = state.adjacent(w);
      if ((change & kind::kOfV) != 0) {
        row.flip(v);
        row_v.flip(w);
      }
      if ((change & kind::kOfP) != 0) {
        row.flip(p);
        row_p.flip(w);
      }
    }
    if (effect.factor[kinds[x]] != vop::I) state.right_multiply(w, effect.factor[kinds[x]]);
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

  // Each row of kind s goes once against its partners: the members of the
  // kinds it flips with (disjoint, so their union) and v or p where its kind
  // changes, gathered in a fourth row.  Where s flips with no member at all,
  // only the bits of v and p change, and they are flipped directly.
  GraphState::ScratchRow partners = state.lease_scratch();
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    if (members(s).empty()) continue;
    const Kind change = edge_change(effect, s);
    bool any_member = false;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0 && !members(t).empty()) {
        partners->flip_members(members(t));
        any_member = true;
      }
    if (any_member) {
      if ((change & kind::kOfV) != 0) partners->flip(v);
      if ((change & kind::kOfP) != 0) partners->flip(p);
      flip_rows_against(state, members(s), *partners);
      partners->clear();
    }
    const bool itself = flips_itself(effect, s);
    const Vop factor = effect.factor[s];
    Kind direct = any_member ? kind::kNeither : change;
    if (only_moves_edge_ends(s, change, any_member)) {
      move_edge_ends(state, members(s).blocks(), members(s).block_count(), s, v, p);
      direct = kind::kNeither;
    }
    if (itself || direct != kind::kNeither) {
      members(s).for_each([&](Qubit w) {
        BitSpan row = state.adjacent(w);
        if (itself) row.flip(w);
        if (direct == kind::kOfBoth) {
          flip_two(row, v, p);
        } else if (direct == kind::kOfV) {
          row.flip(v);
        } else if (direct == kind::kOfP) {
          row.flip(p);
        }
      });
    }
    if (factor != vop::I) state.right_multiply_each(members(s), factor);
    if ((change & kind::kOfV) != 0) row_v.flip_members(members(s));
    if ((change & kind::kOfP) != 0) row_p.flip_members(members(s));
  }
}

// The same where rows are at most kStackBlocks blocks: the kinds and each
// kind's partners are bit sets on the stack, read and written a block at a
// time with no bookkeeping, and each member's row is XORed with its partners
// in one pass, its own bit left out where its kind flips with itself.
void apply_effect_on_the_stack(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  const std::size_t blocks = row_v.block_count();
  // kinds[s]: the vertices of kind s (kinds[kNeither] unused), written up to
  // `blocks` only.  Neither v nor p is in its own row, so only kOfV can hold
  // p and only kOfP v.
  Block kinds[kind::kCount][kStackBlocks];
  Block present[kind::kCount] = {};
  const auto bit = [](Qubit q) { return Block{1} << (q % kBlockBits); };
  for (std::size_t b = 0; b < blocks; ++b) {
    const Block in_v = row_v.blocks()[b], in_p = row_p.blocks()[b];
    kinds[kind::kOfV][b] = in_v & ~in_p & ~(b == p / kBlockBits ? bit(p) : 0);
    kinds[kind::kOfP][b] = in_p & ~in_v & ~(b == v / kBlockBits ? bit(v) : 0);
    kinds[kind::kOfBoth][b] = in_v & in_p;
    for (Kind s = kind::kOfV; s < kind::kCount; ++s) present[s] |= kinds[s][b];
  }

  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    if (present[s] == 0) continue;
    const Block* const members = kinds[s];
    const Kind change = edge_change(effect, s);
    const Vop factor = effect.factor[s];
    bool any_member = false;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t) any_member |= ((effect.flips[s] >> t) & 1) != 0 && present[t] != 0;
    const auto multiply = [&] {
      if (factor != vop::I) for_each_bit(members, blocks, [&](Qubit w) { state.right_multiply(w, factor); });
    };
    if (!any_member && change == kind::kNeither) {
      multiply();
      continue;
    }
    if (only_moves_edge_ends(s, change, any_member)) {
      move_edge_ends(state, members, blocks, s, v, p);
      multiply();
    } else {
      Block partners[kStackBlocks];
      for (std::size_t b = 0; b < blocks; ++b) {
        Block word = 0;
        for (Kind t = kind::kOfV; t < kind::kCount; ++t)
          if (((effect.flips[s] >> t) & 1) != 0) word |= kinds[t][b];
        partners[b] = word;
      }
      if ((change & kind::kOfV) != 0) partners[v / kBlockBits] ^= bit(v);
      if ((change & kind::kOfP) != 0) partners[p / kBlockBits] ^= bit(p);
      std::size_t lo = 0, hi = blocks;
      while (partners[lo] == 0) ++lo;  // not all zero: a member or v or p
      while (partners[hi - 1] == 0) --hi;
      const bool itself = flips_itself(effect, s);
      for_each_bit(members, blocks, [&](Qubit w) {
        if (itself) partners[w / kBlockBits] ^= bit(w);
        state.adjacent(w).flip_block_range(lo, partners + lo, hi - lo);
        if (itself) partners[w / kBlockBits] ^= bit(w);
        if (factor != vop::I) state.right_multiply(w, factor);
      });
    }
    if ((change & kind::kOfV) != 0) row_v.flip_block_range(0, members, blocks);
    if ((change & kind::kOfP) != 0) row_p.flip_block_range(0, members, blocks);
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
  if (neighbours.count() + state.adjacent(partner).count() <= kPairsMost) {
    apply_effect_by_pairs(state, v, partner, effect);
  } else if (state.blocks_per_row() <= kStackBlocks) {
    apply_effect_on_the_stack(state, v, partner, effect);
  } else {
    apply_effect_by_rows(state, v, partner, effect);
  }
  state.right_multiply(v, effect.v_factor);
  state.right_multiply(partner, effect.p_factor);
  return sequence.length;
}

}  // namespace kelvorin
