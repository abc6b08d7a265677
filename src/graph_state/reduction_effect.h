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

// A vertex's kind during a reduction about v and p: a bit for adjacency to v
// and one for adjacency to p.
using Kind = std::uint8_t;
namespace kind {
inline constexpr Kind kNeither = 0;
inline constexpr Kind kOfV = 1;     // adjacent to v only; also the bit "adjacent to v"
inline constexpr Kind kOfP = 2;     // adjacent to p only; also the bit "adjacent to p"
inline constexpr Kind kOfBoth = 3;  // kOfV | kOfP
inline constexpr Kind kCount = 4;
}  // namespace kind

struct ReductionEffect {
  Kind final_kind[kind::kCount];
  Vop factor[kind::kCount];
  std::uint8_t flips[kind::kCount];  // bit t of flips[s]: the pairs of kinds s and t flip
  Vop v_factor;
  Vop p_factor;
};

constexpr ReductionEffect reduction_effect(const ReductionSequence& sequence, bool adjacent) {
  ReductionEffect effect{};
  for (Kind s = kind::kNeither; s < kind::kCount; ++s) {
    effect.final_kind[s] = s;
    effect.factor[s] = vop::I;
    effect.flips[s] = 0;
  }
  effect.v_factor = vop::I;
  effect.p_factor = vop::I;
  for (std::size_t k = 0; k < sequence.length; ++k) {
    const bool about_v = sequence.steps[k] == reduction_step::kAboutVertex;
    const Kind pivot_bit = about_v ? kind::kOfV : kind::kOfP;
    for (Kind s = kind::kOfV; s < kind::kCount; ++s)
      for (Kind t = kind::kOfV; t < kind::kCount; ++t)
        if ((effect.final_kind[s] & pivot_bit) != 0 && (effect.final_kind[t] & pivot_bit) != 0)
          effect.flips[s] ^= static_cast<std::uint8_t>(1u << t);
    for (Kind s = kind::kOfV; s < kind::kCount; ++s)
      if ((effect.final_kind[s] & pivot_bit) != 0) {
        effect.factor[s] = clifford_product(effect.factor[s], vop::LcNeighbour);
        if (adjacent) effect.final_kind[s] ^= static_cast<Kind>(kind::kOfBoth ^ pivot_bit);
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
      for (Kind s = kind::kOfV; s < kind::kCount; ++s) {
        // Flipping is symmetric between kinds, never involves kind 0, and
        // nothing but edges at v and p changes a kind.
        if (((e.flips[s] >> kind::kNeither) & 1) != 0 || (e.flips[kind::kNeither] != 0)) return false;
        for (Kind t = kind::kOfV; t < kind::kCount; ++t)
          if (((e.flips[s] >> t) & 1) != ((e.flips[t] >> s) & 1)) return false;
        // A neighbour of v or p stays a neighbour of one of them.
        if (e.final_kind[s] == kind::kNeither) return false;
      }
      if (e.final_kind[kind::kNeither] != kind::kNeither || e.factor[kind::kNeither] != vop::I) return false;
      // Without the edge v-p no step changes a kind.
      if (adjacent == 0)
        for (Kind s = kind::kNeither; s < kind::kCount; ++s)
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
    for (Kind s = kind::kNeither; s < kind::kCount; ++s)
      if (e.final_kind[s] != s || e.factor[s] != vop::I || e.flips[s] != 0) return false;
    if (e.v_factor != vop::I || e.p_factor != vop::I) return false;
  }
  return true;
}
static_assert(identity_effect_is_empty());

// A lone complementation about v complements its neighbourhood: the
// neighbours of v only and of both flip among themselves and with each other,
// those of p only not at all.
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).flips[kind::kOfV] ==
              ((1u << kind::kOfV) | (1u << kind::kOfBoth)));
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).flips[kind::kOfP] == 0);
static_assert(reduction_effect({1, {reduction_step::kAboutVertex}}, true).final_kind[kind::kOfV] == kind::kOfBoth);

}  // namespace check
}  // namespace tables

inline const ReductionEffect& reduction_effect_of(Vop v, bool adjacent) {
  return tables::kReductionEffects[2 * static_cast<std::size_t>(v) + (adjacent ? 1 : 0)];
}

}  // namespace kelvorin
