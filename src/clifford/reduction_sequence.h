// How `remove_vop` turns a vertex operator into the identity: per VOP, a
// sequence of local complementations, each either about the vertex itself
// (step 0, which right-multiplies its VOP by 14 = (I + iX)/sqrt2) or about a
// neighbour of it, the swapping partner (step 1, which right-multiplies the
// vertex's VOP by 6 = S).  Steps run first to last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tables.h"

namespace kelvorin {

namespace reduction_step {
inline constexpr std::uint8_t kAboutVertex = 0;
inline constexpr std::uint8_t kAboutPartner = 1;
}  // namespace reduction_step

struct ReductionSequence {
  std::uint8_t length;  // 1 .. 5
  std::uint8_t steps[5];
};

namespace tables {

inline constexpr ReductionSequence kReductionSequence[kVopCount] = {
    {4, {0, 0, 0, 0}},     //  0
    {2, {0, 0}},           //  1
    {4, {0, 0, 1, 1}},     //  2
    {2, {1, 1}},           //  3
    {3, {0, 0, 1}},        //  4
    {1, {1}},              //  5
    {3, {1, 1, 1}},        //  6
    {3, {1, 0, 0}},        //  7
    {3, {0, 1, 0}},        //  8
    {5, {0, 0, 0, 1, 0}},  //  9
    {5, {0, 1, 1, 1, 0}},  // 10
    {5, {0, 1, 0, 0, 0}},  // 11
    {3, {1, 1, 0}},        // 12
    {3, {0, 1, 1}},        // 13
    {3, {0, 0, 0}},        // 14
    {1, {0}},              // 15
    {4, {0, 1, 1, 1}},     // 16
    {4, {0, 1, 0, 0}},     // 17
    {2, {0, 1}},           // 18
    {4, {0, 0, 0, 1}},     // 19
    {4, {1, 0, 0, 0}},     // 20
    {4, {1, 1, 1, 0}},     // 21
    {2, {1, 0}},           // 22
    {4, {0, 0, 1, 0}},     // 23
};

}  // namespace tables

constexpr const ReductionSequence& reduction_sequence(Vop v) {
  return tables::kReductionSequence[v];
}

namespace tables::check {

constexpr bool every_reduction_ends_at_identity() {
  for (std::size_t v = 0; v < kVopCount; ++v) {
    const ReductionSequence& row = kReductionSequence[v];
    if (row.length < 1 || row.length > 5) return false;
    Vop current = static_cast<Vop>(v);
    for (std::size_t i = 0; i < row.length; ++i) {
      const std::uint8_t step = row.steps[i];
      if (step == reduction_step::kAboutVertex) {
        current = clifford_product(current, vop::LcCentre);
      } else if (step == reduction_step::kAboutPartner) {
        current = clifford_product(current, vop::LcNeighbour);
      } else {
        return false;
      }
    }
    if (current != vop::I) return false;
  }
  return true;
}

constexpr Vop fourth_power(Vop v) {
  const Vop square = clifford_product(v, v);
  return clifford_product(square, square);
}

static_assert(every_reduction_ends_at_identity(), "each reduction sequence must multiply its VOP out to 0");
// The row for the identity is four complementations about the vertex; since
// both factors have order dividing four, they change nothing, which is what
// lets `remove_vop` skip them.
static_assert(fourth_power(vop::LcCentre) == vop::I && fourth_power(vop::LcNeighbour) == vop::I);
static_assert(kReductionSequence[vop::I].length == 4);

}  // namespace tables::check
}  // namespace kelvorin
