// The engine against the literal reference implementation: random sequences
// of every operation, failures included, must leave both stores bit-identical
// after every step, with the same outcomes from the same random words, and
// the engine's store well formed (store_invariants.test.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "bit_set.test.h"
#include "controlled_z.h"
#include "entangled_group.h"
#include "local_complement.h"
#include "measure.h"
#include "peek.h"
#include "reduction.h"
#include "reference_engine.test.h"
#include "row_operations.h"
#include "store_invariants.test.h"
#include "tuning.h"
#include "two_qubit_gates.h"

namespace kelvorin {
namespace {

// The same words for both engines.
struct Words {
  std::mt19937 rng;
  std::uint32_t next_word() { return static_cast<std::uint32_t>(rng()); }
};

// The engine's store holds what the reference's does and is well formed.
::testing::AssertionResult agrees(const reference::Store& ref, const GraphState& g) {
  if (::testing::AssertionResult same = reference::same_store(ref, g); !same) return same;
  if (const std::string violation = testing::store_violation(g); !violation.empty())
    return ::testing::AssertionFailure() << violation;
  return ::testing::AssertionSuccess();
}

enum class Outcome { Ok, Failed };

template <class F>
std::pair<Outcome, std::string> run(F&& f) {
  try {
    f();
    return {Outcome::Ok, ""};
  } catch (const Panic& p) {
    return {Outcome::Failed, p.what()};
  }
}

class Differential : public ::testing::Test {
 protected:
  std::mt19937_64 rng{4242};

  // Mostly valid indices, now and then one past the end or far beyond; a few
  // hub qubits take part often, so that high degrees arise.
  Qubit pick(Qubit n) {
    const auto r = rng() % 100;
    if (r < 2) return n + rng() % 3;
    if (r < 3) return ~Qubit{0} - rng() % 2;
    if (r < 35) return rng() % std::min<Qubit>(n, 4);
    return rng() % n;
  }
};

TEST_F(Differential, RandomOperationSequences) {
  int steps = 0, failures = 0, sequences = 0;
  for (int round = 0; round < 600; ++round) {
    const Qubit n = 1 + rng() % (round % 4 == 0 ? 200 : 24);
    GraphState g(n);
    reference::Store ref(n);
    const std::uint32_t seed = static_cast<std::uint32_t>(rng());
    Words words_g{std::mt19937(seed)}, words_ref{std::mt19937(seed)};
    const int length = 20 + static_cast<int>(rng() % 200);
    for (int step = 0; step < length; ++step) {
      const int kind = static_cast<int>(rng() % 100);
      std::pair<Outcome, std::string> a, b;
      std::string what;
      if (kind < 25) {
        const Qubit q = pick(n);
        const Vop gates[] = {vop::X, vop::Y, vop::Z, vop::H, vop::S, vop::Sdag};
        const Vop gt = gates[rng() % 6];
        what = "gate " + std::to_string(gt) + " on " + std::to_string(q);
        a = run([&] { g.apply_gate(q, gt); });
        b = run([&] { ref.gate(q, gt); });
      } else if (kind < 70) {
        const Qubit c = pick(n), t = rng() % 20 == 0 ? c : pick(n);
        const auto gate = static_cast<TwoQubitGate>(rng() % kTwoQubitGateCount);
        what = "two-qubit gate " + std::to_string(int(gate)) + " on " + std::to_string(c) + ", " + std::to_string(t);
        a = run([&] { apply_two_qubit_gate(g, gate, c, t); });
        b = run([&] { ref.two_qubit_gate(gate, c, t); });
      } else if (kind < 88) {
        const Qubit q = pick(n);
        const auto ax = static_cast<Axis>(rng() % 3);
        what = "measure " + std::to_string(q) + " along " + std::to_string(ax);
        std::uint8_t ma = 9, mb = 9;
        a = run([&] { ma = measure(g, q, ax, words_g); });
        b = run([&] { mb = ref.measure(q, ax, words_ref); });
        ASSERT_EQ(ma, mb) << what;
      } else if (kind < 94) {
        const Qubit q = pick(n);
        what = "group of " + std::to_string(q);
        std::vector<Qubit> ga;
        std::set<Qubit> gb;
        a = run([&] { ga = entangled_group(g, q); });
        b = run([&] { gb = ref.entangled_group(q); });
        ASSERT_EQ(std::set<Qubit>(ga.begin(), ga.end()), gb) << what;
        ASSERT_EQ(ga.size(), gb.size()) << what;
      } else {
        std::vector<Qubit> request;
        const int count = static_cast<int>(rng() % 6);
        for (int k = 0; k < count; ++k) request.push_back(pick(n));
        what = "peek of " + std::to_string(count);
        std::vector<PeekOutcome> pa;
        std::vector<std::pair<Qubit, std::pair<std::uint8_t, Axis>>> pb;
        a = run([&] { pa = peek_measure_set(g, request, words_g); });
        b = run([&] { pb = ref.peek(request, words_ref); });
        if (a.first == Outcome::Ok) {
          ASSERT_EQ(pa.size(), pb.size()) << what;
          for (std::size_t k = 0; k < pa.size(); ++k) {
            ASSERT_EQ(pa[k].qubit, pb[k].first) << what;
            ASSERT_EQ(pa[k].bit, pb[k].second.first) << what;
            ASSERT_EQ(pa[k].axis, pb[k].second.second) << what;
          }
        }
      }
      ASSERT_EQ(a, b) << what;
      ASSERT_TRUE(agrees(ref, g)) << "after " << what << " (step " << step << ", n " << n << ")";
      failures += a.first == Outcome::Failed;
      ++steps;
    }
    // The random words were consumed identically.
    ASSERT_EQ(words_g.next_word(), words_ref.next_word());
    ++sequences;
  }
  EXPECT_EQ(sequences, 600);
  EXPECT_GT(failures, 1000);
  EXPECT_GT(steps, 50000);
}

TEST_F(Differential, HighDegreeGraphs) {
  // Stars, complete graphs and GHZ chains exercise complementations about
  // vertices of high degree.
  for (Qubit n : {33u, 64u, 100u, 150u}) {
    GraphState g(n);
    reference::Store ref(n);
    Words words_g{std::mt19937(7)}, words_ref{std::mt19937(7)};
    for (Qubit q = 0; q < n; ++q) {
      g.h(q);
      ref.gate(q, vop::H);
    }
    for (Qubit q = 1; q < n; ++q) {
      apply_two_qubit_gate(g, TwoQubitGate::CZ, 0, q);
      ref.two_qubit_gate(TwoQubitGate::CZ, 0, q);
    }
    ASSERT_TRUE(agrees(ref, g));
    for (int step = 0; step < 300; ++step) {
      const Qubit c = rng() % n, t = (c + 1 + rng() % (n - 1)) % n;
      const auto gate = static_cast<TwoQubitGate>(rng() % kTwoQubitGateCount);
      apply_two_qubit_gate(g, gate, c, t);
      ref.two_qubit_gate(gate, c, t);
      ASSERT_TRUE(agrees(ref, g)) << "gate " << int(gate) << " on " << c << ", " << t;
      if (step % 10 == 0) {
        const Qubit q = rng() % n;
        const auto ax = static_cast<Axis>(rng() % 3);
        ASSERT_EQ(measure(g, q, ax, words_g), ref.measure(q, ax, words_ref));
        ASSERT_TRUE(agrees(ref, g)) << "measure " << q << " along " << int(ax);
      }
    }
  }
}

TEST_F(Differential, MeasurementsOfHubsAndTheirLeaves) {
  // A measured hub complements or pivots on a neighbourhood far above the
  // pair-by-pair threshold; measuring a leaf in X pivots about the hub.
  for (Qubit n : {70u, 130u, 200u}) {
    for (int trial = 0; trial < 12; ++trial) {
      GraphState g(n);
      reference::Store ref(n);
      Words words_g{std::mt19937(static_cast<unsigned>(trial))}, words_ref{std::mt19937(static_cast<unsigned>(trial))};
      const Qubit hub = rng() % n;
      for (Qubit q = 0; q < n; ++q) {
        g.h(q);
        ref.gate(q, vop::H);
      }
      for (Qubit q = 0; q < n; ++q)
        if (q != hub && rng() % 5 != 0) {
          apply_two_qubit_gate(g, TwoQubitGate::CZ, hub, q);
          ref.two_qubit_gate(TwoQubitGate::CZ, hub, q);
        }
      // A few random edges among the leaves and random local operators.
      for (int k = 0; k < 40; ++k) {
        const Qubit c = rng() % n, t = (c + 1 + rng() % (n - 1)) % n;
        const auto gate = static_cast<TwoQubitGate>(rng() % kTwoQubitGateCount);
        apply_two_qubit_gate(g, gate, c, t);
        ref.two_qubit_gate(gate, c, t);
      }
      ASSERT_TRUE(agrees(ref, g));
      const Qubit leaf = g.adjacent(hub).first();
      const Qubit targets[] = {trial % 2 ? hub : leaf, hub, leaf};
      for (Qubit q : targets) {
        if (q >= n) continue;
        const auto ax = static_cast<Axis>((static_cast<Qubit>(trial) + q) % 3);
        ASSERT_EQ(measure(g, q, ax, words_g), ref.measure(q, ax, words_ref));
        ASSERT_TRUE(agrees(ref, g)) << "measure " << q << " along " << int(ax) << ", n " << n;
      }
    }
  }
}

TEST_F(Differential, LargeNeighbourhoodsSpreadThinly) {
  // Over 64 neighbours, each in a block of its own and far apart: the
  // complementations go block list by block list rather than by stretches.
  const Qubit n = 9300;
  for (int trial = 0; trial < 6; ++trial) {
    GraphState g(n);
    reference::Store ref(n);
    Words words_g{std::mt19937(static_cast<unsigned>(trial))}, words_ref{std::mt19937(static_cast<unsigned>(trial))};
    std::vector<Qubit> members{0};
    for (Qubit k = 1; k <= 70; ++k) members.push_back(k * 130 + rng() % 64);
    for (Qubit q : members) {
      g.h(q);
      ref.gate(q, vop::H);
    }
    for (std::size_t k = 1; k < members.size(); ++k) {
      apply_two_qubit_gate(g, TwoQubitGate::CZ, 0, members[k]);
      ref.two_qubit_gate(TwoQubitGate::CZ, 0, members[k]);
    }
    for (int step = 0; step < 12; ++step) {
      const Qubit c = members[rng() % members.size()], t = members[rng() % members.size()];
      if (c == t) continue;
      const auto gate = static_cast<TwoQubitGate>(rng() % kTwoQubitGateCount);
      apply_two_qubit_gate(g, gate, c, t);
      ref.two_qubit_gate(gate, c, t);
      ASSERT_TRUE(agrees(ref, g)) << "gate " << int(gate) << " on " << c << ", " << t;
    }
    const Qubit q = trial % 2 ? 0 : members[1 + rng() % 70];
    const auto ax = static_cast<Axis>(trial % 3);
    ASSERT_EQ(measure(g, q, ax, words_g), ref.measure(q, ax, words_ref));
    ASSERT_TRUE(agrees(ref, g)) << "measure " << q << " along " << int(ax);
  }
}

TEST_F(Differential, ReductionsAgainstEveryMixOfNeighbourhoods) {
  // remove_vop applies a whole reduction sequence at once; against the
  // reference, which runs it step by step, on graphs where v and its partner
  // share some neighbours and not others, below, around and far above the
  // pair-by-pair threshold, with and without the edge between them (v
  // without neighbours reduces against `avoid`, which need not be adjacent),
  // in stores of short rows, whose kind sets go on the stack, and of
  // summarised rows, whose kind sets go on scratch rows.  Every switch on
  // the length of a row (tuning.h) is tried from both sides: at the longest
  // rows below it and at rows of one block more, one qubit into that block,
  // where a switch computed from a qubit count rounded down goes wrong.
  std::vector<Qubit> sizes{6, 20, 70, 140, 700};
  for (const std::size_t blocks : {tuning::kUnsummarisedBlocks, tuning::kReductionStackBlocks})
    for (const std::size_t bits : {blocks * kBlockBits, blocks * kBlockBits + 1})
      if (std::find(sizes.begin(), sizes.end(), bits) == sizes.end()) sizes.push_back(static_cast<Qubit>(bits));
  const double densities[] = {0.05, 0.2, 0.45, 0.8};
  constexpr std::size_t kTrialsPerSize = 250;
  int reductions = 0, large = 0, isolated = 0;
  for (std::size_t k = 0; k < sizes.size() * kTrialsPerSize; ++k) {
    const Qubit n = sizes[k / kTrialsPerSize];
    const int trial = static_cast<int>(k % kTrialsPerSize);
    const double density = densities[trial % 4];
    std::uniform_real_distribution<double> coin(0, 1);
    GraphState g(n);
    reference::Store ref(n);
    const auto join = [&](Qubit a, Qubit b) {
      if (a == b || g.adjacent(a).contains(b)) return;
      g.adjacent(a).insert(b);
      g.adjacent(b).insert(a);
      ref.adjacent[a].insert(b);
      ref.adjacent[b].insert(a);
    };
    const Qubit v = rng() % n;
    const Qubit avoid = (v + 1 + rng() % (n - 1)) % n;
    const bool lone = trial % 7 == 0;
    // Two hubs: v and the lowest other vertex h, each joined to a random
    // share of the rest, and mostly to each other, so that the partner (h,
    // unless it is avoided) sees all three kinds.
    const Qubit h = v == 0 ? 1 : 0;
    if (coin(rng) < 0.8) join(v, h);
    for (Qubit w = 0; w < n; ++w) {
      if (!lone && coin(rng) < density) join(v, w);
      if (h != v && coin(rng) < density) join(h, w);
      if (coin(rng) < 2.0 / static_cast<double>(n)) join(w, rng() % n);
    }
    if (lone) {
      g.adjacent(v).for_each([&](Qubit w) {
        g.adjacent(w).remove(v);
        ref.adjacent[w].remove(v);
      });
      g.adjacent(v).clear();
      ref.adjacent[v] = BitSet(n);
    }
    for (Qubit q = 0; q < n; ++q) {
      const auto x = static_cast<Vop>(rng() % kVopCount);
      g.set_vop(q, x);
      ref.vops[q] = x;
    }
    const auto reduced = static_cast<Vop>(static_cast<std::size_t>(trial / 4) % kVopCount);
    g.set_vop(v, reduced);
    ref.vops[v] = reduced;
    ASSERT_TRUE(agrees(ref, g));
    large += g.adjacent(v).contains(h) && avoid != h && g.adjacent(v).count() + g.adjacent(h).count() > 64;
    isolated += g.adjacent(v).empty();
    remove_vop(g, v, avoid);
    ref.remove_vop(v, avoid);
    ASSERT_TRUE(agrees(ref, g)) << "VOP " << int(reduced) << ", n " << n << ", v " << v << ", avoid " << avoid
                                << ", trial " << trial;
    ++reductions;
  }
  EXPECT_EQ(reductions, static_cast<int>(sizes.size() * kTrialsPerSize));
  EXPECT_GT(large, 350);
  EXPECT_GT(isolated, 150);
}

}  // namespace
}  // namespace kelvorin
