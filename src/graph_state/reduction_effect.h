// What a whole reduction sequence does to the store, in closed form.
//
// Every step of a reduction is a local complementation about the vertex v or
// about its partner p.  Neither kind touches an edge at v or p other than
// those between them and a neighbour of the pivot, and neither touches the
// edge v-p, so a third vertex w is described throughout by its kind: bit 0
// set when w is adjacent to v, bit 1 when it is adjacent to p.  A
// complementation about v flips the edges among the vertices with bit 0 set,
// right-multiplies their VOPs by S, and, when v and p are adjacent, flips
// their bit 1 (the edges w-p); one about p does the same with the bits
// exchanged.  The kinds therefore evolve independently of the graph, and the
// effect of the sequence on the store is fixed by the VOP being reduced and
// whether v and p are adjacent:
//   - the edges between two vertices of kinds s and t (s = t: two of one
//     kind) flip once or not at all;
//   - a vertex of kind s ends as kind final_kind[s], with its VOP
//     right-multiplied by factor[s];
//   - VOP(v) and VOP(p) are right-multiplied by v_factor and p_factor.
// Vertices of kind 0 are untouched.  Applying the effect costs time in the
// pairs that actually flip, where step-by-step complementation pays for every
// pair of every step (a leaf of a star reduced against its centre flips no
// pair at all, however many leaves there are).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "../clifford/reduction_sequence.h"
#include "../clifford/tables.h"

namespace kelvorin {

struct ReductionEffect {
  std::uint8_t final_kind[4];
  Vop factor[4];
  std::uint8_t flips[4];  // bit t of flips[s]: the pairs of kinds s and t flip
  Vop v_factor;
  Vop p_factor;
};

constexpr ReductionEffect reduction_effect(const ReductionSequence& sequence, bool adjacent) {
  ReductionEffect effect{};
  for (std::uint8_t s = 0; s < 4; ++s) {
    effect.final_kind[s] = s;
    effect.factor[s] = vop::I;
    effect.flips[s] = 0;
  }
  effect.v_factor = vop::I;
  effect.p_factor = vop::I;
  for (std::size_t k = 0; k < sequence.length; ++k) {
    const bool about_v = sequence.steps[k] == reduction_step::kAboutVertex;
    const std::uint8_t pivot_bit = about_v ? 1 : 2;
    for (std::uint8_t s = 1; s < 4; ++s)
      for (std::uint8_t t = 1; t < 4; ++t)
        if ((effect.final_kind[s] & pivot_bit) != 0 && (effect.final_kind[t] & pivot_bit) != 0)
          effect.flips[s] ^= static_cast<std::uint8_t>(1u << t);
    for (std::uint8_t s = 1; s < 4; ++s)
      if ((effect.final_kind[s] & pivot_bit) != 0) {
        effect.factor[s] = clifford_product(effect.factor[s], vop::LcNeighbour);
        if (adjacent) effect.final_kind[s] ^= static_cast<std::uint8_t>(3 ^ pivot_bit);
      }
    Vop& centre = about_v ? effect.v_factor : effect.p_factor;
    Vop& other = about_v ? effect.p_factor : effect.v_factor;
    centre = clifford_product(centre, vop::LcCentre);
    if (adjacent) other = clifford_product(other, vop::LcNeighbour);
  }
  return effect;
}

namespace tables {

// Indexed by 2 * VOP + (whether v and p are adjacent).
inline constexpr std::array<ReductionEffect, 2 * kVopCount> kReductionEffects = [] {
  std::array<ReductionEffect, 2 * kVopCount> table{};
  for (std::size_t v = 0; v < kVopCount; ++v)
    for (std::size_t adjacent = 0; adjacent < 2; ++adjacent)
      table[2 * v + adjacent] = reduction_effect(reduction_sequence(static_cast<Vop>(v)), adjacent != 0);
  return table;
}();

namespace check {

constexpr bool effects_are_consistent() {
  for (std::size_t v = 0; v < kVopCount; ++v)
    for (std::size_t adjacent = 0; adjacent < 2; ++adjacent) {
      const ReductionEffect& e = kReductionEffects[2 * v + adjacent];
      for (std::uint8_t s = 1; s < 4; ++s) {
        // Flipping is symmetric between kinds, never involves kind 0, and
        // nothing but edges at v and p changes a kind.
        if ((e.flips[s] & 1) != 0 || (e.flips[0] != 0)) return false;
        for (std::uint8_t t = 1; t < 4; ++t)
          if (((e.flips[s] >> t) & 1) != ((e.flips[t] >> s) & 1)) return false;
        // A neighbour of v or p stays a neighbour of one of them.
        if (e.final_kind[s] == 0) return false;
      }
      if (e.final_kind[0] != 0 || e.factor[0] != vop::I) return false;
      // Without the edge v-p no step changes a kind.
      if (adjacent == 0)
        for (std::uint8_t s = 0; s < 4; ++s)
          if (e.final_kind[s] != s) return false;
      // With it, the sequence takes VOP(v) to the identity.
      if (adjacent == 1 && clifford_product(static_cast<Vop>(v), e.v_factor) != vop::I) return false;
    }
  return true;
}
static_assert(effects_are_consistent());

// The identity's four complementations about v change nothing at all, which
// is what lets `remove_vop` skip them.
constexpr bool identity_effect_is_empty() {
  for (std::size_t adjacent = 0; adjacent < 2; ++adjacent) {
    const ReductionEffect& e = kReductionEffects[2 * vop::I + adjacent];
    for (std::uint8_t s = 0; s < 4; ++s)
      if (e.final_kind[s] != s || e.factor[s] != vop::I || e.flips[s] != 0) return false;
    if (e.v_factor != vop::I || e.p_factor != vop::I) return false;
  }
  return true;
}
static_assert(identity_effect_is_empty());

// A lone complementation about v complements its neighbourhood: kinds 1 and 3
// flip among themselves and with each other, kind 2 not at all.
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).flips[1] == 0b1010);
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).flips[2] == 0);
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).final_kind[1] == 3);

}  // namespace check
}  // namespace tables

inline const ReductionEffect& reduction_effect_of(Vop v, bool adjacent) {
  return tables::kReductionEffects[2 * static_cast<std::size_t>(v) + (adjacent ? 1 : 0)];
}

}  // namespace kelvorin
