#include "tables.h"

#include <gtest/gtest.h>

#include "vop_matrices.test.h"

namespace kelvorin {
namespace {

// The Hermitian Paulis X, Y, Z for p = 1, 2, 3.
Matrix2 true_pauli(int p) {
  switch (p) {
    case 1:
      return {0, 1, 1, 0};
    case 2:
      return {0, Complex(0, -1), Complex(0, 1), 0};
    default:
      return {1, 0, 0, -1};
  }
}

bool equal(const Matrix2& a, const Matrix2& b) {
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - b[i]) > 1e-9) return false;
  return true;
}

TEST(CliffordTables, RepresentativesAreUnitaryAndDistinct) {
  for (Vop v = 0; v < kVopCount; ++v) {
    const Matrix2 m = vop_matrix(v);
    EXPECT_TRUE(equal(matmul(m, dagger(m)), vop_matrix(0))) << int(v);
    for (Vop w = 0; w < v; ++w) EXPECT_FALSE(equal_up_to_phase(m, vop_matrix(w))) << int(v) << " " << int(w);
  }
}

TEST(CliffordTables, ImagesMatchTheMatrices) {
  for (Vop v = 0; v < kVopCount; ++v) {
    const Matrix2 u = vop_matrix(v);
    for (int a = 0; a < 3; ++a) {
      const Matrix2 image = matmul(matmul(u, true_pauli(a + 1)), dagger(u));
      const tables::SignedPauli q = tables::kImages[v][a];
      Matrix2 expected = true_pauli(q < 0 ? -q : q);
      if (q < 0)
        for (auto& e : expected) e = -e;
      EXPECT_TRUE(equal(image, expected)) << "VOP " << int(v) << " axis " << a;
    }
  }
}

TEST(CliffordTables, ProductIsTheMatrixProductUpToPhase) {
  for (Vop a = 0; a < kVopCount; ++a)
    for (Vop b = 0; b < kVopCount; ++b)
      EXPECT_TRUE(equal_up_to_phase(vop_matrix(clifford_product(a, b)), matmul(vop_matrix(a), vop_matrix(b))))
          << int(a) << " . " << int(b);
}

TEST(CliffordTables, NamedOperators) {
  const double r = 1.0 / std::sqrt(2.0);
  EXPECT_TRUE(equal_up_to_phase(vop_matrix(vop::H), {r, r, r, -r}));
  EXPECT_TRUE(equal_up_to_phase(vop_matrix(vop::S), {1, 0, 0, Complex(0, 1)}));
  EXPECT_TRUE(equal_up_to_phase(vop_matrix(vop::Sdag), {1, 0, 0, Complex(0, -1)}));
  // (I + iX)/sqrt2, the factor a local complementation puts on its pivot.
  EXPECT_TRUE(equal_up_to_phase(vop_matrix(vop::LcCentre), {r, Complex(0, r), Complex(0, r), r}));
  EXPECT_EQ(clifford_product(vop::H, vop::H), 0);
  EXPECT_EQ(clifford_product(vop::S, vop::S), vop::Z);
  EXPECT_EQ(clifford_product(vop::S, vop::Sdag), 0);
  EXPECT_EQ(clifford_product(14, 14), vop::X);
  EXPECT_EQ(clifford_product(clifford_product(14, 14), clifford_product(14, 14)), 0);
}

TEST(CliffordTables, PauliConjugationExamples) {
  auto pc = [](Vop w, Axis a) {
    const auto c = pauli_conjugation(w, a);
    return std::pair<int, bool>(c.axis, c.minus);
  };
  EXPECT_EQ(pc(10, axis::X), std::make_pair(int(axis::Z), false));
  EXPECT_EQ(pc(10, axis::Y), std::make_pair(int(axis::Y), true));
  EXPECT_EQ(pc(10, axis::Z), std::make_pair(int(axis::X), false));
  EXPECT_EQ(pc(2, axis::X), std::make_pair(int(axis::X), true));
  EXPECT_EQ(isolated_axis(clifford_adjoint(vop::H)), axis::Z);
}

TEST(CliffordTables, ZCommutingSetIsExactlyTheDiagonalOnes) {
  for (Vop v = 0; v < kVopCount; ++v) {
    const Matrix2 m = vop_matrix(v);
    const bool diagonal = std::abs(m[1]) < 1e-12 && std::abs(m[2]) < 1e-12;
    EXPECT_EQ(z_commuting(v), diagonal) << int(v);
  }
  EXPECT_FALSE(z_commuting(24));
  EXPECT_FALSE(z_commuting(255));
}

}  // namespace
}  // namespace kelvorin
