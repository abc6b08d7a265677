// The 24 single-qubit Clifford operators (modulo global phase) and the
// constant tables over them.
//
// Numbering: VOP 4k + p is the permutation operator 4k followed after the
// Pauli p (VOP 4k + p = VOP 4k . P_p); 0 = I, 1 = X, 2 = Y, 3 = Z, 5 = S^dagger,
// 6 = S, 10 = H.  `clifford_product[a][b]` is a.b with b acting first.
//
// Every table is checked at compile time against the Pauli images of the
// operators (the columns X->, Y->, Z-> of the numbering), which define each
// operator completely; the matrix representatives are checked against the same
// images by the unit tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvorin {

using Vop = std::uint8_t;
using Axis = std::uint8_t;  // X = 0, Y = 1, Z = 2

inline constexpr std::size_t kVopCount = 24;

namespace vop {
inline constexpr Vop I = 0;
inline constexpr Vop X = 1;
inline constexpr Vop Y = 2;
inline constexpr Vop Z = 3;
inline constexpr Vop Sdag = 5;
inline constexpr Vop S = 6;
inline constexpr Vop HY = 9;  // H.Z = (I - iY)/sqrt2
inline constexpr Vop H = 10;
inline constexpr Vop HX = 11;          // H.X = (I + iY)/sqrt2
inline constexpr Vop LcCentre = 14;    // (I + iX)/sqrt2: local complementation, pivot
inline constexpr Vop LcNeighbour = 6;  // S: local complementation, neighbours
}  // namespace vop

namespace axis {
inline constexpr Axis X = 0;
inline constexpr Axis Y = 1;
inline constexpr Axis Z = 2;
}  // namespace axis

namespace tables {

// A signed Pauli: +-(axis + 1).
using SignedPauli = std::int8_t;
inline constexpr SignedPauli PX = 1, PY = 2, PZ = 3, MX = -1, MY = -2, MZ = -3;

// U.P.U^dagger for P = X, Y, Z: the defining images of every operator.
// clang-format off: aligned by hand, one operator a column
inline constexpr SignedPauli kImages[kVopCount][3] = {
    {PX, PY, PZ},  //  0: I
    {PX, MY, MZ},  //  1: X
    {MX, PY, MZ},  //  2: Y
    {MX, MY, PZ},  //  3: Z
    {MY, MX, MZ},  //  4: S†·X
    {MY, PX, PZ},  //  5: S† = diag(1, −i)
    {PY, MX, PZ},  //  6: S = diag(1, i)
    {PY, PX, MZ},  //  7: S·X
    {MZ, MY, MX},  //  8: H·Y
    {MZ, PY, PX},  //  9: H·Z = (I − iY)/√2
    {PZ, MY, PX},  // 10: H = (X + Z)/√2
    {PZ, PY, MX},  // 11: H·X = (I + iY)/√2
    {MX, MZ, MY},  // 12: S†·H·S
    {MX, PZ, PY},  // 13: S·H·S†
    {PX, MZ, PY},  // 14: H·S†·H = (I + iX)/√2
    {PX, PZ, MY},  // 15: H·S·H = (I − iX)/√2
    {PY, PZ, PX},  // 16: H·S†
    {PY, MZ, MX},  // 17: H·S†·X
    {MY, PZ, MX},  // 18: H·S·X
    {MY, MZ, PX},  // 19: H·S
    {PZ, PX, PY},  // 20: S·H
    {PZ, MX, MY},  // 21: S†·H
    {MZ, PX, MY},  // 22: S·H·Y
    {MZ, MX, PY},  // 23: S†·H·Y
};
// clang-format on

// clang-format off: aligned by hand, one operator a column
inline constexpr Vop kProduct[kVopCount][kVopCount] = {
    { 0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23},  // 0
    { 1,  0,  3,  2,  6,  7,  4,  5, 11, 10,  9,  8, 13, 12, 15, 14, 19, 18, 17, 16, 22, 23, 20, 21},  // 1
    { 2,  3,  0,  1,  5,  4,  7,  6, 10, 11,  8,  9, 15, 14, 13, 12, 17, 16, 19, 18, 23, 22, 21, 20},  // 2
    { 3,  2,  1,  0,  7,  6,  5,  4,  9,  8, 11, 10, 14, 15, 12, 13, 18, 19, 16, 17, 21, 20, 23, 22},  // 3
    { 4,  5,  6,  7,  0,  1,  2,  3, 20, 21, 22, 23, 16, 17, 18, 19, 12, 13, 14, 15,  8,  9, 10, 11},  // 4
    { 5,  4,  7,  6,  2,  3,  0,  1, 23, 22, 21, 20, 17, 16, 19, 18, 15, 14, 13, 12, 10, 11,  8,  9},  // 5
    { 6,  7,  4,  5,  1,  0,  3,  2, 22, 23, 20, 21, 19, 18, 17, 16, 13, 12, 15, 14, 11, 10,  9,  8},  // 6
    { 7,  6,  5,  4,  3,  2,  1,  0, 21, 20, 23, 22, 18, 19, 16, 17, 14, 15, 12, 13,  9,  8, 11, 10},  // 7
    { 8,  9, 10, 11, 16, 17, 18, 19,  0,  1,  2,  3, 20, 21, 22, 23,  4,  5,  6,  7, 12, 13, 14, 15},  // 8
    { 9,  8, 11, 10, 18, 19, 16, 17,  3,  2,  1,  0, 21, 20, 23, 22,  7,  6,  5,  4, 14, 15, 12, 13},  // 9
    {10, 11,  8,  9, 17, 16, 19, 18,  2,  3,  0,  1, 23, 22, 21, 20,  5,  4,  7,  6, 15, 14, 13, 12},  // 10
    {11, 10,  9,  8, 19, 18, 17, 16,  1,  0,  3,  2, 22, 23, 20, 21,  6,  7,  4,  5, 13, 12, 15, 14},  // 11
    {12, 13, 14, 15, 20, 21, 22, 23, 16, 17, 18, 19,  0,  1,  2,  3,  8,  9, 10, 11,  4,  5,  6,  7},  // 12
    {13, 12, 15, 14, 22, 23, 20, 21, 19, 18, 17, 16,  1,  0,  3,  2, 11, 10,  9,  8,  6,  7,  4,  5},  // 13
    {14, 15, 12, 13, 21, 20, 23, 22, 18, 19, 16, 17,  3,  2,  1,  0,  9,  8, 11, 10,  7,  6,  5,  4},  // 14
    {15, 14, 13, 12, 23, 22, 21, 20, 17, 16, 19, 18,  2,  3,  0,  1, 10, 11,  8,  9,  5,  4,  7,  6},  // 15
    {16, 17, 18, 19,  8,  9, 10, 11, 12, 13, 14, 15,  4,  5,  6,  7, 20, 21, 22, 23,  0,  1,  2,  3},  // 16
    {17, 16, 19, 18, 10, 11,  8,  9, 15, 14, 13, 12,  5,  4,  7,  6, 23, 22, 21, 20,  2,  3,  0,  1},  // 17
    {18, 19, 16, 17,  9,  8, 11, 10, 14, 15, 12, 13,  7,  6,  5,  4, 21, 20, 23, 22,  3,  2,  1,  0},  // 18
    {19, 18, 17, 16, 11, 10,  9,  8, 13, 12, 15, 14,  6,  7,  4,  5, 22, 23, 20, 21,  1,  0,  3,  2},  // 19
    {20, 21, 22, 23, 12, 13, 14, 15,  4,  5,  6,  7,  8,  9, 10, 11,  0,  1,  2,  3, 16, 17, 18, 19},  // 20
    {21, 20, 23, 22, 14, 15, 12, 13,  7,  6,  5,  4,  9,  8, 11, 10,  3,  2,  1,  0, 18, 19, 16, 17},  // 21
    {22, 23, 20, 21, 13, 12, 15, 14,  6,  7,  4,  5, 11, 10,  9,  8,  1,  0,  3,  2, 19, 18, 17, 16},  // 22
    {23, 22, 21, 20, 15, 14, 13, 12,  5,  4,  7,  6, 10, 11,  8,  9,  2,  3,  0,  1, 17, 16, 19, 18},  // 23
};
// clang-format on

inline constexpr Vop kAdjoint[kVopCount] = {0,  1,  2,  3,  4,  6,  5,  7,  8,  11, 10, 9,
                                            12, 13, 15, 14, 20, 22, 23, 21, 16, 19, 17, 18};

// Axis of w.P_(a+1).w^dagger, row = axis a, column = w.
// clang-format off: aligned by hand, one operator a column
inline constexpr Axis kPauliConjugationAxis[3][kVopCount] = {
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2},
    {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0},
    {2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1},
};
// clang-format on

// Indexed by w = adjoint(v): the axis of v.X.v^dagger, along which an isolated
// qubit carrying v is an eigenstate.
// clang-format off: aligned by hand, one operator a column
inline constexpr Axis kIsolatedAxis[kVopCount] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                                  0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1};
// clang-format on

inline constexpr std::uint32_t kZCommutingMask = 0x69;  // {0, 3, 5, 6}

}  // namespace tables

// ---------------------------------------------------------------- lookups --

constexpr Vop clifford_product(Vop a, Vop b) {
  return tables::kProduct[a][b];
}
constexpr Vop clifford_adjoint(Vop v) {
  return tables::kAdjoint[v];
}

struct ConjugatedPauli {
  Axis axis;
  bool minus;
};

// Sign of w.P_(a+1).w^dagger: the permutation part 4(w div 4) contributes a
// minus for 4 <= w <= 15, the Pauli part P_(w mod 4) one more when it
// anticommutes with P_(a+1).
constexpr bool pauli_conjugation_sign(Vop w, Axis a) {
  const bool permutation = w >= 4 && w <= 15;
  const unsigned p = w % 4u;
  return permutation != (p != 0 && p != a + 1u);
}

constexpr ConjugatedPauli pauli_conjugation(Vop w, Axis a) {
  return {tables::kPauliConjugationAxis[a][w], pauli_conjugation_sign(w, a)};
}

constexpr Axis isolated_axis(Vop w) {
  return tables::kIsolatedAxis[w];
}

constexpr bool z_commuting(Vop v) {
  return v <= 6 && ((tables::kZCommutingMask >> v) & 1u) != 0;
}

// ------------------------------------------------- compile-time checks --

namespace tables::check {

constexpr SignedPauli image(Vop v, SignedPauli p) {
  const SignedPauli q = kImages[v][(p < 0 ? -p : p) - 1];
  return p < 0 ? static_cast<SignedPauli>(-q) : q;
}

// The images of every operator form a valid Clifford map: a signed permutation
// of the axes that keeps XY = iZ (orientation), which fixes all 24.
constexpr bool images_are_cliffords() {
  for (std::size_t v = 0; v < kVopCount; ++v) {
    int axes_seen = 0;
    int sign = 1;
    int perm[3] = {};
    for (int a = 0; a < 3; ++a) {
      const int q = kImages[v][a];
      const int ax = (q < 0 ? -q : q) - 1;
      axes_seen |= 1 << ax;
      perm[a] = ax;
      if (q < 0) sign = -sign;
    }
    if (axes_seen != 7) return false;
    // Parity of the axis permutation times the product of signs must be +1.
    int inversions = 0;
    for (int i = 0; i < 3; ++i)
      for (int j = i + 1; j < 3; ++j)
        if (perm[i] > perm[j]) ++inversions;
    const int parity = inversions % 2 == 0 ? 1 : -1;
    if (parity * sign != 1) return false;
    for (std::size_t w = 0; w < v; ++w) {
      bool same = true;
      for (int a = 0; a < 3; ++a) same = same && kImages[v][a] == kImages[w][a];
      if (same) return false;  // two numbers for one operator
    }
  }
  return true;
}

// VOP 4k + p = VOP 4k . P_p: conjugating by P_p first flips the sign of every
// Pauli that anticommutes with it.
constexpr bool numbering_rule_holds() {
  for (std::size_t v = 0; v < kVopCount; ++v) {
    const std::size_t base = v - v % 4, p = v % 4;
    for (int a = 0; a < 3; ++a) {
      const bool flips = p != 0 && p != static_cast<std::size_t>(a + 1);
      const SignedPauli expected = flips ? static_cast<SignedPauli>(-kImages[base][a]) : kImages[base][a];
      if (kImages[v][a] != expected) return false;
    }
  }
  return true;
}

// (a.b) P (a.b)^dagger = a (b P b^dagger) a^dagger for every Pauli.
constexpr bool product_composes() {
  for (std::size_t a = 0; a < kVopCount; ++a)
    for (std::size_t b = 0; b < kVopCount; ++b)
      for (int p = 1; p <= 3; ++p) {
        const auto ab = kProduct[a][b];
        if (ab >= kVopCount) return false;
        if (kImages[ab][p - 1] != image(static_cast<Vop>(a), image(static_cast<Vop>(b), static_cast<SignedPauli>(p))))
          return false;
      }
  return true;
}

constexpr bool rows_and_columns_are_permutations() {
  for (std::size_t i = 0; i < kVopCount; ++i) {
    std::uint32_t row = 0, column = 0;
    for (std::size_t j = 0; j < kVopCount; ++j) {
      row |= 1u << kProduct[i][j];
      column |= 1u << kProduct[j][i];
    }
    if (row != 0xFFFFFFu || column != 0xFFFFFFu) return false;
  }
  return true;
}

constexpr bool adjoint_inverts() {
  for (std::size_t v = 0; v < kVopCount; ++v)
    if (kProduct[v][kAdjoint[v]] != 0 || kProduct[kAdjoint[v]][v] != 0) return false;
  return true;
}

constexpr bool pauli_conjugation_matches_images() {
  for (std::size_t w = 0; w < kVopCount; ++w)
    for (Axis a = 0; a < 3; ++a) {
      const SignedPauli q = kImages[w][a];
      const auto c = pauli_conjugation(static_cast<Vop>(w), a);
      if (c.axis != (q < 0 ? -q : q) - 1 || c.minus != (q < 0)) return false;
    }
  return true;
}

constexpr bool isolated_axis_matches_images() {
  for (std::size_t v = 0; v < kVopCount; ++v) {
    const SignedPauli q = kImages[v][0];
    if (kIsolatedAxis[kAdjoint[v]] != (q < 0 ? -q : q) - 1) return false;
  }
  return true;
}

constexpr bool z_commuting_matches_images() {
  for (std::size_t v = 0; v < kVopCount; ++v)
    if (z_commuting(static_cast<Vop>(v)) != (kImages[v][2] == PZ)) return false;
  return true;
}

static_assert(images_are_cliffords(), "every VOP must be a distinct single-qubit Clifford");
static_assert(numbering_rule_holds(), "VOP 4k + p must equal VOP 4k . P_p");
static_assert(product_composes(), "clifford_product must compose the Pauli images");
static_assert(rows_and_columns_are_permutations(), "clifford_product rows and columns must be permutations");
static_assert(adjoint_inverts(), "clifford_adjoint must invert");
static_assert(pauli_conjugation_matches_images(), "pauli_conjugation must match the numbering");
static_assert(isolated_axis_matches_images(), "isolated_axis must be the axis of v.X.v^dagger");
static_assert(z_commuting_matches_images(), "z_commuting must be exactly the VOPs with Z -> +Z");
static_assert(clifford_product(vop::H, vop::S) == 19 && clifford_product(vop::S, vop::H) == 20);
static_assert(clifford_product(vop::LcCentre, vop::LcCentre) == vop::X);

}  // namespace tables::check
}  // namespace kelvorin
