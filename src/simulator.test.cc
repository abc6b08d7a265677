// Several threads calling the const members of one simulator at once, as the
// README promises they may: every answer is the one a lone thread gets, and
// the store is untouched.  Built with -fsanitize=thread (tools/test-ft) this
// is also the engine's data-race check.
#include "simulator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace kelvorin {
namespace {

// A random sparse Clifford circuit with measurements, so that rows of every
// kind (stale degrees left by bulk XORs included) are there to read.
Simulator random_state(Qubit n, std::uint32_t seed) {
  Simulator sim(n);
  std::mt19937 rng(seed);
  RandomSource source(fixed_key({static_cast<std::uint8_t>(seed)}));
  for (Qubit step = 0; step < 3 * n; ++step) {
    const Qubit a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
    switch (rng() % 8) {
      case 0:
        sim.h(a);
        break;
      case 1:
        sim.s(a);
        break;
      case 2:
        sim.measure(a, static_cast<Axis>(rng() % 3), source);
        break;
      default:
        sim.apply(static_cast<TwoQubitGate>(rng() % kTwoQubitGateCount), a, b);
    }
  }
  return sim;
}

// What one reader sees: the group of each of its qubits and one peek of them
// all, drawn from a source keyed by the reader's number.
struct Reading {
  std::vector<std::vector<Qubit>> groups;
  std::vector<std::uint8_t> peek;
  bool operator==(const Reading&) const = default;
};

Reading read(const Simulator& sim, unsigned reader) {
  Reading out;
  std::vector<Qubit> qubits;
  for (Qubit q = reader; q < sim.qubit_count() && qubits.size() < 12; q += 7) {
    out.groups.push_back(sim.entangled_group(q));
    qubits.push_back(q);
  }
  RandomSource source(fixed_key({static_cast<std::uint8_t>(reader), 1}));
  for (int round = 0; round < 3; ++round)
    for (const PeekOutcome& o : sim.peek_measure_set(qubits, source)) {
      out.peek.push_back(o.bit);
      out.peek.push_back(static_cast<std::uint8_t>(o.axis));
    }
  return out;
}

TEST(ConcurrentConst, ReadersOfOneSimulatorSeeWhatAloneTheyWould) {
  constexpr unsigned kThreads = 4, kRepeats = 8;
  // Short rows, and summarised ones (beyond 2048 qubits).
  for (const Qubit n : {Qubit{60}, Qubit{2100}}) {
    const Simulator sim = random_state(n, static_cast<std::uint32_t>(n));
    const GraphState before = sim.state();
    std::vector<Reading> alone;
    for (unsigned t = 0; t < kThreads; ++t) alone.push_back(read(sim, t));

    std::vector<std::vector<Reading>> together(kThreads);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        for (unsigned r = 0; r < kRepeats; ++r) together[t].push_back(read(sim, t));
      });
    for (std::thread& thread : threads) thread.join();

    for (unsigned t = 0; t < kThreads; ++t)
      for (unsigned r = 0; r < kRepeats; ++r) EXPECT_TRUE(together[t][r] == alone[t]) << n << " " << t << " " << r;
    EXPECT_TRUE(sim.state() == before) << n;
  }
}

// One seeded run gives the same store and the same draws on every target: the
// digest below was taken on x86-64, and CTest checks it on aarch64 and in the
// portable build (tools/test-aarch64, tools/test-portable) too.  Any
// difference in a row's bits, a VOP or a draw changes it.
TEST(Portability, ASeededRunLeavesTheSameStoreOnEveryTarget) {
  std::uint64_t digest = 0xcbf29ce484222325u;  // FNV-1a, a byte at a time
  const auto mix = [&](std::uint64_t value) {
    for (int byte = 0; byte < 8; ++byte, value >>= 8) digest = (digest ^ (value & 0xffu)) * 0x100000001b3u;
  };
  for (const Qubit n : {Qubit{60}, Qubit{2100}}) {
    const Simulator sim = random_state(n, static_cast<std::uint32_t>(n));
    for (Qubit q = 0; q < n; ++q) {
      mix(sim.state().vop(q));
      sim.state().adjacent(q).for_each([&](std::uint64_t w) { mix(w); });
      mix(~std::uint64_t{0});
    }
    for (const std::uint8_t value : read(sim, 0).peek) mix(value);
  }
  EXPECT_EQ(digest, 0x4b03bf17bb064b89u) << std::hex << digest;
}

}  // namespace
}  // namespace kelvorin
