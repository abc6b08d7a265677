// A dense state-vector model for the engine tests: plain gate matrices acting
// on 2^n amplitudes, independent of the vertex-operator tables.  A GraphState
// of up to 10 qubits expands into the vector it represents,
//
//   |psi> = (VOP(0) x ... x VOP(n-1)) . prod_{edges} CZ . |+>^n,
//
// with each VOP taken as its matrix representative.  Amplitude index bit q is
// the computational-basis value of qubit q.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../clifford/vop_matrices.test.h"
#include "graph_state.h"
#include "two_qubit_gates.h"

namespace kelvorin::testing {

using Matrix4 = std::array<Complex, 16>;  // row-major, basis index 2 * first + second

namespace gate {
inline const Complex kI{0, 1};
inline const double kR = 1.0 / std::sqrt(2.0);
inline const Matrix2 I{1, 0, 0, 1};
inline const Matrix2 X{0, 1, 1, 0};
inline const Matrix2 Y{0, -kI, kI, 0};
inline const Matrix2 Z{1, 0, 0, -1};
inline const Matrix2 H{kR, kR, kR, -kR};
inline const Matrix2 S{1, 0, 0, kI};
inline const Matrix2 Sdag{1, 0, 0, -kI};

// The Pauli of an axis (X = 0, Y = 1, Z = 2).
inline const Matrix2& pauli(Axis a) {
  return a == axis::X ? X : a == axis::Y ? Y : Z;
}

// 1/2 (I + Pc) x I + 1/2 (I - Pc) x Pt.
inline Matrix4 controlled_pauli(const Matrix2& pc, const Matrix2& pt) {
  Matrix4 m{};
  for (std::size_t r0 = 0; r0 < 2; ++r0)
    for (std::size_t c0 = 0; c0 < 2; ++c0) {
      const Complex plus = (I[2 * r0 + c0] + pc[2 * r0 + c0]) * 0.5;
      const Complex minus = (I[2 * r0 + c0] - pc[2 * r0 + c0]) * 0.5;
      for (std::size_t r1 = 0; r1 < 2; ++r1)
        for (std::size_t c1 = 0; c1 < 2; ++c1)
          m[4 * (2 * r0 + r1) + (2 * c0 + c1)] = plus * I[2 * r1 + c1] + minus * pt[2 * r1 + c1];
    }
  return m;
}
}  // namespace gate

// The Paulis named by a two-qubit gate: control (first letter, Z if none) and
// target (last letter).
struct GatePaulis {
  Axis control;
  Axis target;
};
inline GatePaulis gate_paulis(TwoQubitGate g) {
  switch (g) {
    case TwoQubitGate::CZ:
      return {axis::Z, axis::Z};
    case TwoQubitGate::CX:
      return {axis::Z, axis::X};
    case TwoQubitGate::CY:
      return {axis::Z, axis::Y};
    case TwoQubitGate::XCX:
      return {axis::X, axis::X};
    case TwoQubitGate::XCY:
      return {axis::X, axis::Y};
    case TwoQubitGate::XCZ:
      return {axis::X, axis::Z};
    case TwoQubitGate::YCX:
      return {axis::Y, axis::X};
    case TwoQubitGate::YCY:
      return {axis::Y, axis::Y};
    case TwoQubitGate::YCZ:
      return {axis::Y, axis::Z};
  }
  return {axis::Z, axis::Z};
}

inline const char* gate_name(TwoQubitGate g) {
  static const char* const names[] = {"cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"};
  return names[static_cast<std::size_t>(g)];
}

class StateVector {
 public:
  static constexpr std::size_t kMaxQubits = 10;

  // n qubits in |0...0>.
  explicit StateVector(std::size_t n) : n_(n), amps_(std::size_t{1} << n, Complex(0)) {
    if (n > kMaxQubits)
      throw std::length_error("StateVector is meant for at most " + std::to_string(kMaxQubits) + " qubits");
    amps_[0] = 1;
  }

  static StateVector from_graph_state(const GraphState& g) {
    const std::size_t n = static_cast<std::size_t>(g.qubit_count());
    StateVector sv(n);
    // Edge masks towards higher indices: the CZ phase of basis state x is the
    // parity of the edges with both ends set.
    std::vector<std::uint32_t> higher(n, 0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j)
        if (g.adjacent(i).contains(j)) higher[i] |= std::uint32_t{1} << j;
    const double amplitude = 1.0 / std::sqrt(static_cast<double>(sv.amps_.size()));
    for (std::size_t x = 0; x < sv.amps_.size(); ++x) {
      unsigned parity = 0;
      for (std::size_t i = 0; i < n; ++i)
        if ((x >> i) & 1u) parity += static_cast<unsigned>(std::popcount(higher[i] & static_cast<std::uint32_t>(x)));
      sv.amps_[x] = (parity & 1u) ? -amplitude : amplitude;
    }
    for (std::size_t q = 0; q < n; ++q) sv.apply(q, vop_matrix(g.vop(q)));
    return sv;
  }

  std::size_t qubit_count() const { return n_; }
  const std::vector<Complex>& amplitudes() const { return amps_; }
  Complex amplitude(std::size_t basis) const { return amps_[basis]; }

  void apply(std::size_t q, const Matrix2& m) {
    const std::size_t bit = std::size_t{1} << q;
    for (std::size_t x = 0; x < amps_.size(); ++x) {
      if (x & bit) continue;
      const Complex a0 = amps_[x], a1 = amps_[x | bit];
      amps_[x] = m[0] * a0 + m[1] * a1;
      amps_[x | bit] = m[2] * a0 + m[3] * a1;
    }
  }

  // m acts on (first, second), basis index 2 * bit(first) + bit(second).
  void apply(std::size_t first, std::size_t second, const Matrix4& m) {
    const std::size_t b0 = std::size_t{1} << first, b1 = std::size_t{1} << second;
    for (std::size_t x = 0; x < amps_.size(); ++x) {
      if (x & (b0 | b1)) continue;
      const std::size_t idx[4] = {x, x | b1, x | b0, x | b0 | b1};
      Complex in[4], out[4];
      for (std::size_t k = 0; k < 4; ++k) in[k] = amps_[idx[k]];
      for (std::size_t r = 0; r < 4; ++r) {
        out[r] = 0;
        for (std::size_t c = 0; c < 4; ++c) out[r] += m[4 * r + c] * in[c];
      }
      for (std::size_t k = 0; k < 4; ++k) amps_[idx[k]] = out[k];
    }
  }

  void x(std::size_t q) { apply(q, gate::X); }
  void y(std::size_t q) { apply(q, gate::Y); }
  void z(std::size_t q) { apply(q, gate::Z); }
  void h(std::size_t q) { apply(q, gate::H); }
  void s(std::size_t q) { apply(q, gate::S); }
  void sdag(std::size_t q) { apply(q, gate::Sdag); }

  void cz(std::size_t a, std::size_t b) {
    const std::size_t mask = (std::size_t{1} << a) | (std::size_t{1} << b);
    for (std::size_t x = 0; x < amps_.size(); ++x)
      if ((x & mask) == mask) amps_[x] = -amps_[x];
  }

  void controlled_pauli(std::size_t control, Axis pc, std::size_t target, Axis pt) {
    apply(control, target, gate::controlled_pauli(gate::pauli(pc), gate::pauli(pt)));
  }

  void two_qubit_gate(TwoQubitGate g, std::size_t control, std::size_t target) {
    const GatePaulis p = gate_paulis(g);
    controlled_pauli(control, p.control, target, p.target);
  }

  double norm_squared() const {
    double total = 0;
    for (const Complex& a : amps_) total += std::norm(a);
    return total;
  }

  // Projection onto the eigenspace of the Pauli of `a` on `qubit` with
  // eigenvalue +1 (outcome_bit 0) or -1 (outcome_bit 1); see Projection.
  struct Projection;
  Projection project(std::size_t qubit, Axis a, int outcome_bit) const;

  friend std::ostream& operator<<(std::ostream& os, const StateVector& sv) {
    os << "[";
    for (std::size_t x = 0; x < sv.amps_.size(); ++x) {
      if (std::abs(sv.amps_[x]) < 1e-12) continue;
      os << " |";
      for (std::size_t q = sv.n_; q-- > 0;) os << ((x >> q) & 1u);
      os << ">:" << sv.amps_[x];
    }
    return os << " ]";
  }

 private:
  std::size_t n_;
  std::vector<Complex> amps_;
};

// `probability` is the squared norm of the projected vector relative to the
// original's; `state` is the projected vector normalised, or all zero when the
// probability is 0.
struct StateVector::Projection {
  StateVector state;
  double probability;
};

inline StateVector::Projection StateVector::project(std::size_t qubit, Axis a, int outcome_bit) const {
  const double sign = outcome_bit == 0 ? 1.0 : -1.0;
  const Matrix2& p = gate::pauli(a);
  Matrix2 projector;
  for (std::size_t k = 0; k < 4; ++k) projector[k] = (gate::I[k] + sign * p[k]) * 0.5;
  Projection result{*this, 0.0};
  result.state.apply(qubit, projector);
  const double before = norm_squared();
  const double after = result.state.norm_squared();
  if (before == 0 || after < 1e-24 * before) {
    for (Complex& c : result.state.amps_) c = 0;
    return result;
  }
  result.probability = after / before;
  const double scale = 1.0 / std::sqrt(after);
  for (Complex& c : result.state.amps_) c *= scale;
  return result;
}

// Whether a = c.b for a complex c of modulus one (both vectors normalised).
inline bool equal_up_to_phase(const StateVector& a, const StateVector& b, double tol = 1e-8) {
  if (a.qubit_count() != b.qubit_count()) return false;
  const auto& va = a.amplitudes();
  const auto& vb = b.amplitudes();
  std::size_t pivot = 0;
  for (std::size_t x = 1; x < vb.size(); ++x)
    if (std::abs(vb[x]) > std::abs(vb[pivot])) pivot = x;
  if (std::abs(vb[pivot]) < tol) return false;
  const Complex phase = va[pivot] / vb[pivot];
  if (std::abs(std::abs(phase) - 1.0) > tol) return false;
  for (std::size_t x = 0; x < va.size(); ++x)
    if (std::abs(va[x] - phase * vb[x]) > tol) return false;
  return true;
}

// The store as text: VOPs and edges, for failure messages.
inline std::string describe(const GraphState& g) {
  std::ostringstream os;
  os << "vops (";
  for (Qubit q = 0; q < g.qubit_count(); ++q) os << (q ? ", " : "") << int(g.vop(q));
  os << ") edges {";
  bool first = true;
  for (Qubit i = 0; i < g.qubit_count(); ++i)
    g.adjacent(i).for_each([&](Qubit j) {
      if (j > i) {
        os << (first ? "" : ", ") << i << "-" << j;
        first = false;
      }
    });
  os << "}";
  return os.str();
}

// A store with each edge present with probability `edge_probability` and
// uniformly random VOPs: an arbitrary stabilizer state in graph form.
inline GraphState random_graph_state(Qubit n, std::mt19937_64& rng, double edge_probability) {
  GraphState g(n);
  std::bernoulli_distribution edge(edge_probability);
  std::uniform_int_distribution<int> any_vop(0, static_cast<int>(kVopCount) - 1);
  for (Qubit i = 0; i < n; ++i) {
    g.set_vop(i, static_cast<Vop>(any_vop(rng)));
    for (Qubit j = i + 1; j < n; ++j)
      if (edge(rng)) {
        g.adjacent(i).insert(j);
        g.adjacent(j).insert(i);
      }
  }
  return g;
}

}  // namespace kelvorin::testing
