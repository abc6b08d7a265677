// One 2x2 matrix representative per VOP, for tests and tools that expand a
// state into amplitudes.  The engine itself never multiplies matrices.
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstddef>

#include "tables.h"

namespace kelvorin {

using Complex = std::complex<double>;
using Matrix2 = std::array<Complex, 4>;  // row-major: {m00, m01, m10, m11}

namespace detail {
struct GaussianEntry {
  int re, im;
};
struct VopMatrixSource {
  bool over_sqrt2;
  GaussianEntry entries[4];
};
// Entries in {0, +-1, +-i}, scaled by 1/sqrt2 where marked.
// clang-format off: aligned by hand, one operator a column
inline constexpr VopMatrixSource kVopMatrixSource[kVopCount] = {
    {false, {{1, 0}, {0, 0}, {0, 0}, {1, 0}}},  // 0
    {false, {{0, 0}, {1, 0}, {1, 0}, {0, 0}}},  // 1
    {false, {{0, 0}, {1, 0}, {-1, 0}, {0, 0}}},  // 2
    {false, {{1, 0}, {0, 0}, {0, 0}, {-1, 0}}},  // 3
    {false, {{0, 0}, {1, 0}, {0, -1}, {0, 0}}},  // 4
    {false, {{1, 0}, {0, 0}, {0, 0}, {0, -1}}},  // 5
    {false, {{1, 0}, {0, 0}, {0, 0}, {0, 1}}},  // 6
    {false, {{0, 0}, {1, 0}, {0, 1}, {0, 0}}},  // 7
    {true, {{1, 0}, {-1, 0}, {-1, 0}, {-1, 0}}},  // 8
    {true, {{1, 0}, {-1, 0}, {1, 0}, {1, 0}}},  // 9
    {true, {{1, 0}, {1, 0}, {1, 0}, {-1, 0}}},  // 10
    {true, {{1, 0}, {1, 0}, {-1, 0}, {1, 0}}},  // 11
    {true, {{1, 0}, {0, 1}, {0, -1}, {-1, 0}}},  // 12
    {true, {{1, 0}, {0, -1}, {0, 1}, {-1, 0}}},  // 13
    {true, {{1, 0}, {0, 1}, {0, 1}, {1, 0}}},  // 14
    {true, {{1, 0}, {0, -1}, {0, -1}, {1, 0}}},  // 15
    {true, {{1, 0}, {0, -1}, {1, 0}, {0, 1}}},  // 16
    {true, {{1, 0}, {0, 1}, {-1, 0}, {0, 1}}},  // 17
    {true, {{1, 0}, {0, -1}, {-1, 0}, {0, -1}}},  // 18
    {true, {{1, 0}, {0, 1}, {1, 0}, {0, -1}}},  // 19
    {true, {{1, 0}, {1, 0}, {0, 1}, {0, -1}}},  // 20
    {true, {{1, 0}, {1, 0}, {0, -1}, {0, 1}}},  // 21
    {true, {{1, 0}, {-1, 0}, {0, -1}, {0, -1}}},  // 22
    {true, {{1, 0}, {-1, 0}, {0, 1}, {0, 1}}},  // 23
};
// clang-format on
}  // namespace detail

inline Matrix2 vop_matrix(Vop v) {
  const auto& src = detail::kVopMatrixSource[v];
  const double scale = src.over_sqrt2 ? 1.0 / std::sqrt(2.0) : 1.0;
  Matrix2 m;
  for (std::size_t i = 0; i < 4; ++i) m[i] = Complex(src.entries[i].re * scale, src.entries[i].im * scale);
  return m;
}

inline Matrix2 matmul(const Matrix2& a, const Matrix2& b) {
  return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
}

inline Matrix2 dagger(const Matrix2& a) {
  return {std::conj(a[0]), std::conj(a[2]), std::conj(a[1]), std::conj(a[3])};
}

// Whether a = c.b for some complex c of modulus one.
inline bool equal_up_to_phase(const Matrix2& a, const Matrix2& b, double tol = 1e-9) {
  Complex phase = 0;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(b[i]) > tol) {
      phase = a[i] / b[i];
      break;
    }
  if (std::abs(std::abs(phase) - 1.0) > tol) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (std::abs(a[i] - phase * b[i]) > tol) return false;
  return true;
}

}  // namespace kelvorin
