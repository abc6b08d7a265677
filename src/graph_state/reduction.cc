#include "reduction.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "../clifford/reduction_sequence.h"
#include "../cpu.h"
#include "reduction_effect.h"
#include "row_operations.h"

namespace kelvorin {
namespace {

Kind edge_change(const ReductionEffect& effect, Kind s) {
  return static_cast<Kind>(s ^ effect.final_kind[s]);
}

// Where a kind flips with no member, its rows change only at v and p.  For
// every entry of the effect table that change is either none or, for the
// neighbours of v only or of p only, the one edge to v or p moving to the
// other (a star's centre passing to a leaf): every other change of kind
// comes with the kind flipping with itself, so a kind with members has a
// partner then.  So a kind with no partner needs no partner set at all, and
// replace_in_rows moves the edge ends.
constexpr bool lone_kinds_only_move_edge_ends() {
  for (const ReductionEffect& effect : tables::kReductionEffects)
    for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
      const Kind change = static_cast<Kind>(s ^ effect.final_kind[s]);
      const bool flips_itself = ((effect.flips[s] >> s) & 1) != 0;
      if (change != kind::kNeither && (change != kind::kOfBoth || s == kind::kOfBoth) && !flips_itself) return false;
    }
  return true;
}
static_assert(lone_kinds_only_move_edge_ends());

[[noreturn, gnu::cold, gnu::noinline]] void panic_more_neighbours_than_counted(Qubit v, Qubit p) {
  panic("internal error: vertices " + std::to_string(v) + " and " + std::to_string(p) +
        " have more neighbours than their degrees count");
}

// The effect of a reduction about v and p on their neighbours, where they
// are few: pair by pair from a list of (vertex, kind).  The list holds what
// the degrees promise; a scan that finds more (a degree gone wrong) stops at
// the list's end and panics before anything changes.
void apply_effect_by_pairs(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[tuning::kReductionPairsMost];
  Kind kinds[tuning::kReductionPairsMost];
  std::size_t size = 0;
  bool full = false;
  const auto add = [&](Qubit w, Kind s) {
    if (size == tuning::kReductionPairsMost) [[unlikely]] {
      full = true;
      return false;
    }
    list[size] = w;
    kinds[size++] = s;
    return true;
  };
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  row_v.for_each_from(0, [&](Qubit w) { return w == p || add(w, row_p.contains(w) ? kind::kOfBoth : kind::kOfV); });
  row_p.for_each_from(0, [&](Qubit w) { return w == v || row_v.contains(w) || add(w, kind::kOfP); });
  if (full) [[unlikely]]
    panic_more_neighbours_than_counted(v, p);
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

// The kind sets of a reduction: the neighbours of v and p split by kind
// (kOfV, kOfP, kOfBoth; v and p themselves in none), snapshot before
// anything changes, and a partner set for the kind being applied.  Two
// containers offer the same operations: bit sets on the stack for short
// rows, read and written a block at a time with no bookkeeping, and the
// store's scratch rows beyond, which visit only non-empty blocks.
//
//   empty(s)                  whether kind s has no member
//   members(s)                kind s as raw blocks
//   gather(kinds, change)     partners = union of the listed kinds (a bit
//                             per kind), with v and p flipped where
//                             `change` says
//   flip_member_rows(s, own, k)  XORs every member's row of kind s with
//                             the partners (own bit left out where kind s
//                             flips with itself) and right-multiplies its
//                             VOP by k, then empties the partners
//   right_multiply(s, k)      VOP(w) <- VOP(w) . k for every member
//   flip_into(row, s)         XORs `row` with kind s

// The inner loop of the stack kind sets: XORs the row of every member with
// `stretch` (blocks lo ..), each member's own bit left out where asked, and
// right-multiplies its VOP by k.  A short row's XOR is the bare word loop
// (bit_set.h), which the AVX2 version does 256 bits at a time; one binary
// picks its version at load time, so it runs on every x86-64.  The own bit
// is left out by flipping it in the row right after the XOR brought it in:
// toggling it in the stretch instead would make the next wide load wait for
// a narrow store.
KELVORIN_AVX2_CLONES
void flip_rows_with_stretch(GraphState& state, BlockRange members, std::size_t lo, BlockRange stretch, OwnBit own,
                            Vop k) noexcept {
  const bool leave_out = own == OwnBit::kLeftOut;
  for_each_bit(members, [&](Qubit w) {
    BitSpan row = state.adjacent(w);
    row.flip_block_range(lo, stretch);
    if (leave_out) row.flip(w);
    if (k != vop::I) state.right_multiply(w, k);
  });
}

class StackKindSets {
 public:
  StackKindSets(GraphState& state, Qubit v, Qubit p) noexcept
      : state_(state), v_(v), p_(p), blocks_(state.blocks_per_row()) {
    const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
    // Neither v nor p is in its own row, so only kOfV can hold p and only
    // kOfP v.  (Locals throughout the loop: the stores into the sets could
    // otherwise alias the rows as far as the compiler knows.)
    const Block* const in_v_row = row_v.blocks();
    const Block* const in_p_row = row_p.blocks();
    const std::size_t blocks = blocks_, b_v = v / kBlockBits, b_p = p / kBlockBits;
    const Block bit_v = bit(v), bit_p = bit(p);
    Block of_v = 0, of_p = 0, of_both = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      const Block in_v = in_v_row[b], in_p = in_p_row[b];
      const Block kv = in_v & ~in_p & ~(b == b_p ? bit_p : 0);
      const Block kp = in_p & ~in_v & ~(b == b_v ? bit_v : 0);
      const Block kb = in_v & in_p;
      kinds_[kind::kOfV][b] = kv;
      kinds_[kind::kOfP][b] = kp;
      kinds_[kind::kOfBoth][b] = kb;
      of_v |= kv;
      of_p |= kp;
      of_both |= kb;
    }
    present_[kind::kOfV] = of_v;
    present_[kind::kOfP] = of_p;
    present_[kind::kOfBoth] = of_both;
  }

  bool empty(Kind s) const noexcept { return present_[s] == 0; }
  BlockRange members(Kind s) const noexcept { return {kinds_[s], blocks_}; }

  void gather(std::uint8_t partner_kinds, Kind change) noexcept {
    for (std::size_t b = 0; b < blocks_; ++b) {
      Block word = 0;
      for (Kind t = kind::kOfV; t < kind::kCount; ++t)
        if (((partner_kinds >> t) & 1) != 0) word |= kinds_[t][b];
      partners_[b] = word;
    }
    if ((change & kind::kOfV) != 0) partners_[v_ / kBlockBits] ^= bit(v_);
    if ((change & kind::kOfP) != 0) partners_[p_ / kBlockBits] ^= bit(p_);
  }

  // The partners are XORed as the stretch of blocks they reach.
  void flip_member_rows(Kind s, OwnBit own, Vop k) noexcept {
    std::size_t lo = 0, hi = blocks_;
    while (partners_[lo] == 0) ++lo;  // not all zero: a member or v or p
    while (partners_[hi - 1] == 0) --hi;
    flip_rows_with_stretch(state_, members(s), lo, BlockRange{partners_ + lo, hi - lo}, own, k);
  }

  void right_multiply(Kind s, Vop k) noexcept {
    if (k != vop::I) for_each_bit(members(s), [&](Qubit w) { state_.right_multiply(w, k); });
  }
  void flip_into(BitSpan& row, Kind s) const noexcept { row.flip_block_range(0, members(s)); }

 private:
  static Block bit(Qubit q) noexcept { return Block{1} << (q % kBlockBits); }

  GraphState& state_;
  Qubit v_, p_;
  std::size_t blocks_;
  // Indexed by kind (kNeither unused), written up to blocks_ only.
  Block kinds_[kind::kCount][tuning::kReductionStackBlocks];
  Block present_[kind::kCount] = {};
  Block partners_[tuning::kReductionStackBlocks];
};

class ScratchKindSets {
 public:
  // The four rows come leased: one per kind of neighbour (indexed by
  // kind - kOfV) and the partner set.
  ScratchKindSets(GraphState& state, Qubit v, Qubit p, GraphState::ScratchRow& of_v, GraphState::ScratchRow& of_p,
                  GraphState::ScratchRow& of_both, GraphState::ScratchRow& partners) noexcept
      : state_(state), v_(v), p_(p), kinds_{&*of_v, &*of_p, &*of_both}, partners_(*partners) {
    const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
    row_v.for_each_block_from(0, [&](std::size_t b, Block word) {
      const Block in_p = row_p.blocks()[b];
      if ((word & ~in_p) != 0) kind_set(kind::kOfV).flip_block(b, word & ~in_p);
      if ((word & in_p) != 0) kind_set(kind::kOfBoth).flip_block(b, word & in_p);
      return true;
    });
    row_p.for_each_block_from(0, [&](std::size_t b, Block word) {
      const Block only_p = word & ~row_v.blocks()[b];
      if (only_p != 0) kind_set(kind::kOfP).flip_block(b, only_p);
      return true;
    });
    kind_set(kind::kOfV).remove(p);
    kind_set(kind::kOfP).remove(v);
  }

  bool empty(Kind s) const noexcept { return kind_set(s).empty(); }
  BlockRange members(Kind s) const noexcept { return kind_set(s).block_range(); }

  void gather(std::uint8_t partner_kinds, Kind change) noexcept {
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((partner_kinds >> t) & 1) != 0) partners_.flip_members(kind_set(t));
    if ((change & kind::kOfV) != 0) partners_.flip(v_);
    if ((change & kind::kOfP) != 0) partners_.flip(p_);
  }

  void flip_member_rows(Kind s, OwnBit own, Vop k) noexcept {
    flip_rows_against(state_, kind_set(s), partners_, own);
    partners_.clear();
    right_multiply(s, k);
  }

  void right_multiply(Kind s, Vop k) noexcept {
    if (k != vop::I) state_.right_multiply_each(kind_set(s), k);
  }
  void flip_into(BitSpan& row, Kind s) const noexcept { row.flip_members(kind_set(s)); }

 private:
  BitSpan& kind_set(Kind s) const noexcept { return *kinds_[s - kind::kOfV]; }

  GraphState& state_;
  Qubit v_, p_;
  BitSpan* kinds_[3];
  BitSpan& partners_;
};

// The effect where v and p have many neighbours, over either container:
// each kind's rows go once against its partners, the members of the kinds
// it flips with (disjoint, so their union) and v or p where its kind
// changes.
template <class KindSets>
void apply_effect_by_kinds(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect, KindSets& sets) {
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
    if (sets.empty(s)) continue;
    const Kind change = edge_change(effect, s);
    std::uint8_t partner_kinds = 0;
    for (Kind t = kind::kOfV; t < kind::kCount; ++t)
      if (((effect.flips[s] >> t) & 1) != 0 && !sets.empty(t)) partner_kinds |= static_cast<std::uint8_t>(1u << t);
    if (partner_kinds != 0) {
      sets.gather(partner_kinds, change);
      sets.flip_member_rows(s, ((partner_kinds >> s) & 1) != 0 ? OwnBit::kLeftOut : OwnBit::kIncluded,
                            effect.factor[s]);
    } else {
      // The star-centre move (see lone_kinds_only_move_edge_ends).
      if (change != kind::kNeither)
        replace_in_rows(state, sets.members(s), s == kind::kOfV ? v : p, s == kind::kOfV ? p : v);
      sets.right_multiply(s, effect.factor[s]);
    }
    if ((change & kind::kOfV) != 0) sets.flip_into(row_v, s);
    if ((change & kind::kOfP) != 0) sets.flip_into(row_p, s);
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
  if (neighbours.count() + state.adjacent(partner).count() <= tuning::kReductionPairsMost) {
    apply_effect_by_pairs(state, v, partner, effect);
  } else if (state.blocks_per_row() <= tuning::kReductionStackBlocks) {
    StackKindSets sets(state, v, partner);
    apply_effect_by_kinds(state, v, partner, effect, sets);
  } else {
    GraphState::ScratchRow of_v = state.lease_scratch(), of_p = state.lease_scratch(), of_both = state.lease_scratch(),
                           partners = state.lease_scratch();
    ScratchKindSets sets(state, v, partner, of_v, of_p, of_both, partners);
    apply_effect_by_kinds(state, v, partner, effect, sets);
  }
  state.right_multiply(v, effect.v_factor);
  state.right_multiply(partner, effect.p_factor);
  return sequence.length;
}

}  // namespace kelvorin
