// Graph states for the engine benchmarks (*.perf.cc): a sparse random
// background with a few vertices of chosen degree, and a cheap way to put the
// touched part of a state back between iterations of a destructive operation.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "../random/random_source.h"
#include "graph_state.h"

namespace kelvorin::perf {

// Qubit counts and degrees the benchmarks sweep; degrees of at least half the
// qubit count are skipped.
inline constexpr std::int64_t kQubitCounts[] = {1 << 10, 1 << 13, 1 << 15};
inline constexpr std::int64_t kDegrees[] = {4, 16, 64, 256, 1024};

inline void qubits_and_degrees(benchmark::internal::Benchmark* b) {
  b->ArgNames({"n", "degree"});
  for (const std::int64_t n : kQubitCounts)
    for (const std::int64_t d : kDegrees)
      if (2 * d < n) b->Args({n, d});
}

inline void toggle_edge(GraphState& g, Qubit i, Qubit j) {
  g.adjacent(i).flip(j);
  g.adjacent(j).flip(i);
}

inline void add_edge(GraphState& g, Qubit i, Qubit j) {
  if (i != j && !g.adjacent(i).contains(j)) toggle_edge(g, i, j);
}

// n qubits, every VOP the identity (h on each fresh qubit), each qubit joined
// to `background` random others, and every vertex of `hubs` to `degree`
// random others (more than that where the background adds some).
inline GraphState hub_graph(Qubit n, Qubit degree, const std::vector<Qubit>& hubs, unsigned background = 3,
                            std::uint64_t seed = 1) {
  GraphState g(n);
  for (Qubit q = 0; q < n; ++q) g.h(q);
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<Qubit> any(0, n - 1);
  for (Qubit q = 0; q < n; ++q)
    for (unsigned k = 0; k < background; ++k) add_edge(g, q, any(rng));
  for (const Qubit h : hubs)
    while (g.adjacent(h).count() < degree) add_edge(g, h, any(rng));
  return g;
}

// The lowest neighbour of v other than `avoid`, or v when there is none.
inline Qubit lowest_neighbour(const GraphState& g, Qubit v, Qubit avoid) {
  Qubit found = v;
  g.adjacent(v).for_each([&](Qubit u) {
    if (found == v && u != avoid) found = u;
  });
  return found;
}

// Saves the neighbour lists and VOPs of a set of vertices and puts them back
// with edge toggles, through the store's public operations only.  An
// operation whose every change lies inside those rows is undone exactly;
// `covers` checks that once, against a full copy, before timing starts.
class RowSnapshot {
 public:
  RowSnapshot(const GraphState& g, std::vector<Qubit> rows) : rows_(std::move(rows)) {
    std::sort(rows_.begin(), rows_.end());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    neighbours_.resize(rows_.size());
    vops_.resize(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      g.adjacent(rows_[i]).for_each([&](Qubit u) { neighbours_[i].push_back(u); });
      vops_[i] = g.vop(rows_[i]);
    }
  }

  // The closed neighbourhoods of `centres`.
  static RowSnapshot closed_neighbourhoods(const GraphState& g, const std::vector<Qubit>& centres) {
    std::vector<Qubit> rows;
    for (const Qubit c : centres) {
      rows.push_back(c);
      g.adjacent(c).for_each([&](Qubit u) { rows.push_back(u); });
    }
    return RowSnapshot(g, std::move(rows));
  }

  void restore(GraphState& g) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      const Qubit v = rows_[i];
      const std::vector<Qubit>& saved = neighbours_[i];
      // An edge between two saved vertices is seen from both rows: only the
      // lower one fixes it.
      auto mine = [&](Qubit u) { return u > v || !std::binary_search(rows_.begin(), rows_.end(), u); };
      pending_.clear();
      g.adjacent(v).for_each([&](Qubit u) {
        if (mine(u) && !std::binary_search(saved.begin(), saved.end(), u)) pending_.push_back(u);
      });
      for (const Qubit u : saved)
        if (mine(u) && !g.adjacent(v).contains(u)) pending_.push_back(u);
      for (const Qubit u : pending_) toggle_edge(g, v, u);
      g.set_vop(v, vops_[i]);
    }
  }

  // Whether one run of `op` on `g` is undone by `restore`.
  template <class Op>
  bool covers(GraphState& g, Op&& op) const {
    const GraphState before(g);
    op(g);
    restore(g);
    return g == before;
  }

  std::size_t size() const noexcept { return rows_.size(); }

 private:
  std::vector<Qubit> rows_;
  std::vector<std::vector<Qubit>> neighbours_;  // ascending, as for_each gives them
  std::vector<Vop> vops_;
  mutable std::vector<Qubit> pending_;
};

// Times `op(g)` alone in each iteration (manual time), restoring the
// snapshot between iterations outside the timed part.
template <class Op>
void time_destructive(benchmark::State& state, GraphState& g, const RowSnapshot& snapshot, Op&& op) {
  if (!snapshot.covers(g, op)) {
    state.SkipWithError("the snapshot does not cover what the operation changes");
    return;
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    op(g);
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    snapshot.restore(g);
  }
  state.counters["restored_rows"] = static_cast<double>(snapshot.size());
}

inline RandomSource fixed_source(std::uint8_t tag) {
  chacha::KeyBytes key{};
  key.fill(tag);
  return RandomSource(fixed_key(key));
}

}  // namespace kelvorin::perf
