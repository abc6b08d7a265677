#include "local_complement.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "../clifford/reduction_sequence.h"
#include "reduction_effect.h"

namespace kelvorin {
namespace {

// Up to this many vertices, flipping the edges among them pair by pair beats
// row operations.
constexpr std::size_t kPairwiseMost = 64;

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
  const RowView neighbours = state.adjacent(v);
  complement_neighbourhood(state, neighbours);
  neighbours.for_each([&](Qubit i) { state.right_multiply(i, vop::LcNeighbour); });
  state.right_multiply(v, vop::LcCentre);
}

void complement_neighbourhood(GraphState& state, RowView members) {
  if (members.count() <= kPairwiseMost) {
    // Few members: toggle pair by pair, from a list read once.
    Qubit list[kPairwiseMost];
    std::size_t size = 0;
    members.for_each([&](Qubit i) { list[size++] = i; });
    for (std::size_t x = 0; x < size; ++x)
      for (std::size_t y = x + 1; y < size; ++y) toggle_unchecked(state, list[x], list[y]);
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
  std::pair<std::uint32_t, Block> chunk[kChunk];
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
    from = (static_cast<std::uint64_t>(chunk[size - 1].first) + 1) * kBlockBits;
  }
}

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
void finish_member(GraphState& state, Qubit w, std::uint8_t kind, Qubit v, Qubit p, const ReductionEffect& effect) {
  const std::uint8_t change = kind ^ effect.final_kind[kind];
  BitSpan row = state.adjacent(w);
  if (change == 3) {
    flip_two(row, v, p);
  } else if (change == 1) {
    row.flip(v);
  } else if (change == 2) {
    row.flip(p);
  }
  if (effect.factor[kind] != vop::I) state.right_multiply(w, effect.factor[kind]);
}

// The effect of a reduction about v and p on their neighbours, where they
// are few: pair by pair from a list of (vertex, kind).
void apply_effect_by_pairs(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  Qubit list[kPairwiseMost];
  std::uint8_t kinds[kPairwiseMost];
  std::size_t size = 0;
  const RowView row_v = state.adjacent(v), row_p = state.adjacent(p);
  row_v.for_each([&](Qubit w) {
    if (w == p) return;
    list[size] = w;
    kinds[size++] = static_cast<std::uint8_t>(row_p.contains(w) ? 3 : 1);
  });
  row_p.for_each([&](Qubit w) {
    if (w == v || row_v.contains(w)) return;
    list[size] = w;
    kinds[size++] = 2;
  });
  for (std::size_t x = 0; x < size; ++x) {
    const std::uint8_t flips = effect.flips[kinds[x]];
    if (flips == 0) continue;
    for (std::size_t y = x + 1; y < size; ++y)
      if (((flips >> kinds[y]) & 1) != 0) toggle_unchecked(state, list[x], list[y]);
  }
  for (std::size_t x = 0; x < size; ++x) {
    const std::uint8_t change = kinds[x] ^ effect.final_kind[kinds[x]];
    if ((change & 1) != 0) state.adjacent(v).flip(list[x]);
    if ((change & 2) != 0) state.adjacent(p).flip(list[x]);
    finish_member(state, list[x], kinds[x], v, p, effect);
  }
}

// The same where they are many: the three kinds are snapshot into the
// scratch rows and every flip goes a row against a whole kind at a time.
void apply_effect_by_rows(GraphState& state, Qubit v, Qubit p, const ReductionEffect& effect) {
  BitSpan row_v = state.adjacent(v), row_p = state.adjacent(p);
  GraphState::ScratchRow scratch[3] = {state.lease_scratch(), state.lease_scratch(), state.lease_scratch()};
  const auto kind = [&](std::uint8_t s) -> BitSpan& { return *scratch[s - 1]; };
  row_v.for_each_block_from(0, [&](std::size_t b, Block word) {
    const Block in_p = row_p.blocks()[b];
    if ((word & ~in_p) != 0) kind(1).flip_block(b, word & ~in_p);
    if ((word & in_p) != 0) kind(3).flip_block(b, word & in_p);
    return true;
  });
  row_p.for_each_block_from(0, [&](std::size_t b, Block word) {
    const Block only_p = word & ~row_v.blocks()[b];
    if (only_p != 0) kind(2).flip_block(b, only_p);
    return true;
  });
  kind(1).remove(p);
  kind(2).remove(v);

  for (std::uint8_t s = 1; s < 4; ++s) {
    if (kind(s).empty()) continue;
    for (std::uint8_t t = 1; t < 4; ++t)
      if (((effect.flips[s] >> t) & 1) != 0) flip_rows_against(state, kind(s), kind(t));
    if (((effect.flips[s] >> s) & 1) != 0) kind(s).for_each([&](Qubit w) { state.adjacent(w).flip(w); });
  }
  for (std::uint8_t s = 1; s < 4; ++s) {
    const std::uint8_t change = s ^ effect.final_kind[s];
    if ((change & 1) != 0) row_v.flip_members(kind(s));
    if ((change & 2) != 0) row_p.flip_members(kind(s));
    kind(s).for_each([&](Qubit w) { finish_member(state, w, s, v, p, effect); });
  }
}

}  // namespace

unsigned remove_vop(GraphState& state, Qubit v, Qubit avoid) {
  check_index(state.qubit_count(), v);
  const Vop current = state.vop(v);
  // The identity's sequence is four complementations about v, which leave
  // the store exactly as it was.
  if (current == vop::I) return 0;
  const RowView neighbours = state.adjacent(v);
  const Qubit lowest = neighbours.first_other_than(avoid);
  const Qubit partner = lowest < neighbours.bit_len() ? lowest : avoid;
  const ReductionSequence& sequence = reduction_sequence(current);
  if (partner >= state.qubit_count() || partner == v) {
    // Only a caller naming an invalid or the same vertex as `avoid` gets
    // here: the steps run one by one, up to the failing check.
    for (std::size_t k = 0; k < sequence.length; ++k)
      local_complement(state, sequence.steps[k] == reduction_step::kAboutVertex ? v : partner);
    return sequence.length;
  }
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
