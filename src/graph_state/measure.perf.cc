// The three branches of a single-qubit measurement on a vertex a of degree d
// whose lowest neighbour (the X branch's pivot) also has degree d.
#include <benchmark/benchmark.h>

#include "measure.h"
#include "perf_graphs.perf.h"

namespace kelvorin::perf {
namespace {

void measure_branch(benchmark::State& state, Axis axis) {
  const Qubit n = static_cast<Qubit>(state.range(0));
  const Qubit d = static_cast<Qubit>(state.range(1));
  const Qubit a = n / 2, pivot = 0;
  GraphState g = hub_graph(n, d, {a, pivot});
  add_edge(g, a, pivot);  // 0 is then a's lowest neighbour
  RandomSource source = fixed_source(7);
  const RowSnapshot snapshot = RowSnapshot::closed_neighbourhoods(g, {a, pivot});
  state.counters["degree"] = static_cast<double>(g.adjacent(a).count());
  // VOP(a) is the identity, so the measured axis is the branch taken.
  time_destructive(state, g, snapshot, [&](GraphState& s) { benchmark::DoNotOptimize(measure(s, a, axis, source)); });
}

// Cut the d edges of a.
void BM_MeasureZBranch(benchmark::State& state) {
  measure_branch(state, axis::Z);
}
// Complement the neighbourhood of a: d(d-1)/2 pair toggles.
void BM_MeasureYBranch(benchmark::State& state) {
  measure_branch(state, axis::Y);
}
// Pivot about the lowest neighbour: about d * d pair toggles.
void BM_MeasureXBranch(benchmark::State& state) {
  measure_branch(state, axis::X);
}

BENCHMARK(BM_MeasureZBranch)->Apply(qubits_and_degrees)->UseManualTime();
BENCHMARK(BM_MeasureYBranch)->Apply(qubits_and_degrees)->UseManualTime();
BENCHMARK(BM_MeasureXBranch)->Apply(qubits_and_degrees)->UseManualTime();

}  // namespace
}  // namespace kelvorin::perf
