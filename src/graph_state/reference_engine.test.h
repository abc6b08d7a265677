// A plain, literal implementation of every engine operation, for differential
// tests: each adjacency set is an owning BitSet scanned block by block, every
// neighbour loop runs over a copy of the set, the X-basis measurement collects
// its pairs in an ordered set, and operator reduction always runs its whole
// sequence, even the four no-op complementations of the identity.  Optimised
// engine code must leave the store bit-for-bit as this one does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../clifford/cz_table.h"
#include "../clifford/reduction_sequence.h"
#include "../clifford/tables.h"
#include "../panic.h"
#include "../random/random_source.h"
#include "bit_set.h"
#include "bit_set.test.h"
#include "graph_state.h"
#include "two_qubit_gates.h"

namespace kelvorin::reference {

struct Store {
  std::vector<Vop> vops;
  std::vector<BitSet> adjacent;

  explicit Store(Qubit n) : vops(n, vop::H), adjacent(n, BitSet(n)) {}
  Qubit size() const { return vops.size(); }

  void gate(Qubit q, Vop g) {
    check_index(size(), q);
    vops[q] = clifford_product(g, vops[q]);
  }

  void toggle_edge(Qubit i, Qubit j) {
    const bool was = adjacent[i].contains(j);
    adjacent[i].remove(j);
    adjacent[j].remove(i);
    if (!was) {
      adjacent[i].insert(j);
      adjacent[j].insert(i);
    }
  }

  void local_complement(Qubit v) {
    const BitSet neighbours = adjacent[v];
    std::vector<Qubit> list;
    neighbours.for_each([&](Qubit i) { list.push_back(i); });
    for (std::size_t x = 0; x < list.size(); ++x) {
      for (std::size_t y = x + 1; y < list.size(); ++y) toggle_edge(list[x], list[y]);
      vops[list[x]] = clifford_product(vops[list[x]], vop::LcNeighbour);
    }
    vops[v] = clifford_product(vops[v], vop::LcCentre);
  }

  void remove_vop(Qubit v, Qubit avoid) {
    Qubit partner = avoid;
    bool found = false;
    adjacent[v].for_each([&](Qubit i) {
      if (!found && i != avoid) {
        partner = i;
        found = true;
      }
    });
    const ReductionSequence seq = reduction_sequence(vops[v]);
    for (std::size_t k = 0; k < seq.length; ++k) local_complement(seq.steps[k] == 0 ? v : partner);
  }

  bool has_other_neighbour(Qubit v, Qubit other) const {
    return adjacent[v].count() >= 1 + (adjacent[v].contains(other) ? 1u : 0u);
  }

  void apply_cz(Qubit a, Qubit b) {
    if (a == b)
      panic("assertion `left != right` failed: Same control and target not allowed\n  left: " + std::to_string(a) +
            "\n right: " + std::to_string(b));
    check_index(size(), a);
    check_index(size(), b);
    if (has_other_neighbour(a, b)) remove_vop(a, b);
    if (has_other_neighbour(b, a)) remove_vop(b, a);
    if (has_other_neighbour(a, b) && !z_commuting(vops[a])) remove_vop(a, b);
    const CzEntry e = cz_table(adjacent[a].contains(b), vops[a], vops[b]);
    if (e.edge) {
      adjacent[a].insert(b);
      adjacent[b].insert(a);
    } else {
      adjacent[a].remove(b);
      adjacent[b].remove(a);
    }
    vops[a] = e.a;
    vops[b] = e.b;
  }

  // The gate's steps as (gate, is_target) before and after, and whether the
  // controlled-Z takes the target first.
  void two_qubit_gate(TwoQubitGate g, Qubit c, Qubit t) {
    struct Step {
      Vop gate;
      bool target;
    };
    std::vector<Step> before, after;
    bool target_first = false;
    const Vop H = vop::H, Sd = vop::Sdag, S = vop::S;
    switch (g) {
      case TwoQubitGate::CZ:
        break;
      case TwoQubitGate::CX:
        before = {{H, true}};
        after = {{H, true}};
        break;
      case TwoQubitGate::CY:
        before = {{Sd, true}, {H, true}};
        after = {{H, true}, {S, true}};
        break;
      case TwoQubitGate::XCX:
        before = {{H, false}, {H, true}};
        after = {{H, true}, {H, false}};
        break;
      case TwoQubitGate::XCY:
        before = {{Sd, true}, {H, true}, {H, false}};
        after = {{H, false}, {H, true}, {S, true}};
        target_first = true;
        break;
      case TwoQubitGate::XCZ:
        before = {{H, false}};
        after = {{H, false}};
        target_first = true;
        break;
      case TwoQubitGate::YCX:
        before = {{Sd, false}, {H, false}, {H, true}};
        after = {{H, true}, {H, false}, {S, false}};
        break;
      case TwoQubitGate::YCY:
        before = {{Sd, true}, {Sd, false}, {H, false}, {H, true}};
        after = {{H, true}, {H, false}, {S, false}, {S, true}};
        break;
      case TwoQubitGate::YCZ:
        before = {{Sd, false}, {H, false}};
        after = {{H, false}, {S, false}};
        target_first = true;
        break;
    }
    const Qubit a = target_first ? t : c, b = target_first ? c : t;
    // All checks first, in the order the steps would make them.
    for (const Step& s : before) check_index(size(), s.target ? t : c);
    if (a == b) apply_cz(a, b);  // reports the assertion
    check_index(size(), a);
    check_index(size(), b);
    for (const Step& s : before) gate(s.target ? t : c, s.gate);
    apply_cz(a, b);
    for (const Step& s : after) gate(s.target ? t : c, s.gate);
  }

  template <WordSource S>
  std::uint8_t measure(Qubit a, Axis r, S& source) {
    check_index(size(), a);
    const Vop w = clifford_adjoint(vops[a]);
    const Axis e = pauli_conjugation(w, r).axis;
    const std::uint8_t sigma = pauli_conjugation_sign(w, r) ? 1 : 0;
    auto rmul = [&](Qubit v, Vop k) { vops[v] = clifford_product(vops[v], k); };
    if (e == axis::Z) {
      const std::uint8_t m = random_bit(source);
      const BitSet snapshot = adjacent[a];
      snapshot.for_each([&](Qubit b) {
        adjacent[a].remove(b);
        adjacent[b].remove(a);
        if (m) rmul(b, vop::Z);
      });
      if (m) rmul(a, vop::X);
      rmul(a, vop::H);
      return m ^ sigma;
    }
    if (e == axis::Y) {
      const std::uint8_t m = random_bit(source);
      const Vop k = m ? vop::Sdag : vop::S;
      std::vector<Qubit> L;
      adjacent[a].for_each([&](Qubit b) { L.push_back(b); });
      for (Qubit b : L) rmul(b, k);
      for (std::size_t x = 0; x < L.size(); ++x) {
        for (std::size_t y = x + 1; y < L.size(); ++y) toggle_edge(L[x], L[y]);
        toggle_edge(L[x], a);
      }
      rmul(a, static_cast<Vop>(6 - m));
      return m ^ sigma;
    }
    if (adjacent[a].empty()) return sigma;
    const std::uint8_t m = random_bit(source);
    std::vector<Qubit> Na;
    adjacent[a].for_each([&](Qubit c) { Na.push_back(c); });
    if (Na.empty()) panic("Self.adjacent[node] is non-empty");
    const Qubit b0 = Na.front();
    const BitSet A = adjacent[a], B = adjacent[b0];
    if (m == 0) {
      rmul(b0, vop::HX);
      A.for_each([&](Qubit c) {
        if (c != b0 && !B.contains(c)) rmul(c, vop::Z);
      });
    } else {
      rmul(b0, vop::HY);
      rmul(a, vop::Z);
      B.for_each([&](Qubit c) {
        if (c != a && !A.contains(c)) rmul(c, vop::Z);
      });
    }
    std::set<std::pair<Qubit, Qubit>> pairs;
    A.for_each([&](Qubit c) {
      B.for_each([&](Qubit d) {
        if (c != d) pairs.emplace(std::min(c, d), std::max(c, d));
      });
    });
    for (const auto& [c, d] : pairs) toggle_edge(c, d);
    std::vector<Qubit> C;
    A.for_each([&](Qubit c) {
      if (B.contains(c)) C.push_back(c);
    });
    for (std::size_t x = 0; x < C.size(); ++x)
      for (std::size_t y = x + 1; y < C.size(); ++y) toggle_edge(C[x], C[y]);
    A.for_each([&](Qubit c) {
      if (c != b0) toggle_edge(b0, c);
    });
    return m ^ sigma;
  }

  std::set<Qubit> entangled_group(Qubit s) const {
    std::deque<Qubit> queue{s};
    std::set<Qubit> visited{s};
    while (!queue.empty()) {
      const Qubit o = queue.front();
      queue.pop_front();
      check_index(size(), o);
      adjacent[o].for_each([&](Qubit v) {
        if (visited.insert(v).second) queue.push_back(v);
      });
    }
    return visited;
  }

  // Measures the distinct requested qubits in ascending order on a copy.
  template <WordSource S>
  std::vector<std::pair<Qubit, std::pair<std::uint8_t, Axis>>> peek(const std::vector<Qubit>& qubits, S& source) const {
    const std::set<Qubit> order(qubits.begin(), qubits.end());
    Store copy = *this;
    std::vector<std::pair<Qubit, std::pair<std::uint8_t, Axis>>> out;
    for (Qubit q : order) {
      check_index(size(), q);
      Axis ax;
      if (!copy.adjacent[q].empty()) {
        ax = static_cast<Axis>(uniform_int(source, 0, 3));
      } else {
        ax = isolated_axis(clifford_adjoint(copy.vops[q]));
      }
      out.push_back({q, {copy.measure(q, ax, source), ax}});
    }
    return out;
  }
};

// Whether `g` holds exactly the VOPs and adjacency bits of `ref`.
inline ::testing::AssertionResult same_store(const Store& ref, const GraphState& g) {
  if (ref.size() != g.qubit_count()) return ::testing::AssertionFailure() << "qubit counts differ";
  for (Qubit q = 0; q < ref.size(); ++q) {
    if (ref.vops[q] != g.vop(q))
      return ::testing::AssertionFailure() << "VOP of " << q << ": " << int(ref.vops[q]) << " vs " << int(g.vop(q));
    const RowView row = g.adjacent(q);
    if (row.block_count() != ref.adjacent[q].block_count() || row.bit_len() != ref.adjacent[q].bit_len())
      return ::testing::AssertionFailure() << "row shape of " << q;
    for (std::size_t b = 0; b < row.block_count(); ++b)
      if (row.blocks()[b] != ref.adjacent[q].blocks()[b])
        return ::testing::AssertionFailure()
               << "row " << q << " block " << b << ": " << ref.adjacent[q].blocks()[b] << " vs " << row.blocks()[b];
  }
  return ::testing::AssertionSuccess();
}

}  // namespace kelvorin::reference
