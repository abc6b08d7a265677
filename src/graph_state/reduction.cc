#include "reduction.h"

#include <algorithm>
#include <bit>
#include <concepts>
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

// The neighbours of v and p in one block, v and p themselves left out: a
// neighbour's kind is its bit in in_v (kOfV) and its bit in in_p (kOfP).
struct KindWords {
  Block in_v, in_p;

  // The members of kind s (not kNeither).
  Block of(Kind s) const noexcept {
    return ((s & kind::kOfV) != 0 ? in_v : ~in_v) & ((s & kind::kOfP) != 0 ? in_p : ~in_p);
  }
  Kind kind_of(unsigned bit) const noexcept {
    return static_cast<Kind>(((in_v >> bit) & 1u) | ((in_p >> bit) & 1u) << 1);
  }
};

// The one place neighbours of v and p are classified: block b's words of the
// two rows split by kind.  v and p themselves are in no kind: neither is in
// its own row, so only kOfV could hold p and only kOfP v.
class Classifier {
 public:
  Classifier(Qubit v, Qubit p) noexcept
      : b_v_(v / kBlockBits),
        b_p_(p / kBlockBits),
        bit_v_(Block{1} << (v % kBlockBits)),
        bit_p_(Block{1} << (p % kBlockBits)) {}

  [[gnu::always_inline]] KindWords operator()(std::size_t b, Block in_v, Block in_p) const noexcept {
    return {in_v & ~(b == b_p_ ? bit_p_ : 0), in_p & ~(b == b_v_ ? bit_v_ : 0)};
  }

  // Calls f(b, kinds) for every block where v or p has a neighbour, while f
  // returns true.
  template <class F>
  void for_each_block(RowView row_v, RowView row_p, F&& f) const {
    bool more = true;
    row_v.for_each_block_from(
        0, [&](std::size_t b, Block word) { return more = f(b, (*this)(b, word, row_p.blocks()[b])); });
    if (!more) return;
    row_p.for_each_block_from(
        0, [&](std::size_t b, Block word) { return row_v.blocks()[b] != 0 || f(b, (*this)(b, 0, word)); });
  }

 private:
  std::size_t b_v_, b_p_;
  Block bit_v_, bit_p_;
};

// The effect of a reduction about v and p on their neighbours, where they
// are few: pair by pair from a list of (vertex, kind).  The list holds what
// the degrees promise; a scan that finds more (a degree gone wrong) stops at
// the list's end and panics before anything changes.  Each pair's edge
// flips once whatever the list's order (flips is symmetric between kinds).
void apply_effect_by_pairs(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[tuning::kReductionPairsMost];
  Kind kinds[tuning::kReductionPairsMost];
  std::size_t size = 0;
  bool full = false;
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  Classifier(v, p).for_each_block(row_v, row_p, [&](std::size_t b, const KindWords& found) {
    Block all = found.in_v | found.in_p;
    if (size + static_cast<unsigned>(std::popcount(all)) > tuning::kReductionPairsMost) [[unlikely]] {
      full = true;
      return false;
    }
    for (; all != 0; all &= all - 1) {
      const unsigned bit = static_cast<unsigned>(std::countr_zero(all));
      list[size] = b * kBlockBits + bit;
      kinds[size++] = found.kind_of(bit);
    }
    return true;
  });
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
// (classify), snapshot before anything changes, and a partner set for the
// kind being applied.  Two containers meet this concept: bit sets on the
// stack for short rows, read and written a block at a time with no
// bookkeeping, and the store's scratch rows beyond, which visit only
// non-empty blocks.
template <class Sets>
concept KindSets = requires(Sets& sets, const Sets& read, Kind s, std::uint8_t kinds, OwnBit own, Vop k, BitSpan& row) {
  // Whether kind s has no member.
  { read.empty(s) } -> std::same_as<bool>;
  // Kind s as raw blocks.
  { read.members(s) } -> std::same_as<BlockRange>;
  // Partners = the union of the listed kinds (a bit per kind), with v and p
  // flipped where the kind change s says.
  sets.gather(kinds, s);
  // XORs every member's row of kind s with the partners (its own bit left
  // out with kLeftOut) and right-multiplies its VOP by k, then empties the
  // partners.
  sets.flip_member_rows(s, own, k);
  // VOP(w) <- VOP(w) . k for every member of kind s.
  sets.right_multiply(s, k);
  // XORs row with kind s.
  read.flip_into(row, s);
};

// The inner loop of the stack kind sets: XORs the row of every member with
// `stretch` (blocks lo ..), each member's own bit left out where asked, and
// right-multiplies its VOP by k.  A short row's XOR is the bare word loop
// (row_layout.h), which the AVX2 version does 256 bits at a time; one binary
// picks its version at load time, so it runs on every x86-64.
KELVORIN_AVX2_CLONES
void flip_rows_with_stretch(GraphState& state, BlockRange members, std::size_t lo, BlockRange stretch, OwnBit own,
                            Vop k) noexcept {
  const bool leave_out = own == OwnBit::kLeftOut;
  for_each_bit(members, [&](Qubit w) {
    flip_member_row(state.adjacent(w), w, leave_out, [&](BitSpan& row) { row.flip_block_range(lo, stretch); });
    if (k != vop::I) state.right_multiply(w, k);
  });
}

class StackKindSets {
 public:
  // Every block is classified, empty or not: a short row has no summaries
  // to skip by, and a loop with no branch on the data is the fastest way
  // through a few cache lines.
  StackKindSets(GraphState& state, Qubit v, Qubit p) noexcept
      : state_(state), v_(v), p_(p), blocks_(state.blocks_per_row()) {
    const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
    // Locals throughout the loop: the stores into the sets could otherwise
    // alias the rows as far as the compiler knows.
    const Block* const in_v_row = row_v.blocks();
    const Block* const in_p_row = row_p.blocks();
    const std::size_t blocks = blocks_;
    const Classifier classify(v, p);
    Block present[kind::kCount] = {};
    for (std::size_t b = 0; b < blocks; ++b) {
      const KindWords found = classify(b, in_v_row[b], in_p_row[b]);
      const Block of_v = found.of(kind::kOfV), of_p = found.of(kind::kOfP), of_both = found.of(kind::kOfBoth);
      kinds_[kind::kOfV][b] = of_v;
      kinds_[kind::kOfP][b] = of_p;
      kinds_[kind::kOfBoth][b] = of_both;
      present[kind::kOfV] |= of_v;
      present[kind::kOfP] |= of_p;
      present[kind::kOfBoth] |= of_both;
    }
    std::copy_n(present, kind::kCount, present_);
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
    Classifier(v, p).for_each_block(state.adjacent(v), state.adjacent(p), [&](std::size_t b, const KindWords& found) {
      const Block only_v = found.of(kind::kOfV), only_p = found.of(kind::kOfP), both = found.of(kind::kOfBoth);
      if (only_v != 0) kind_set(kind::kOfV).flip_block(b, only_v);
      if (only_p != 0) kind_set(kind::kOfP).flip_block(b, only_p);
      if (both != 0) kind_set(kind::kOfBoth).flip_block(b, both);
      return true;
    });
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

static_assert(KindSets<StackKindSets> && KindSets<ScratchKindSets>);

// The effect where v and p have many neighbours, over either container:
// each kind's rows go once against its partners, the members of the kinds
// it flips with (disjoint, so their union) and v or p where its kind
// changes.
template <KindSets Sets>
void apply_effect_by_kinds(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect, Sets& sets) {
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
