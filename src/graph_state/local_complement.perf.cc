// Local complementation about a vertex of degree d: d(d-1)/2 edge toggles.
#include <benchmark/benchmark.h>

#include "local_complement.h"
#include "perf_graphs.perf.h"

namespace kelvorin::perf {
namespace {

// Complementing twice about the same vertex restores the graph (VOPs move on
// through a cycle), so the loop runs on a steady state without restoring.
void BM_LocalComplement(benchmark::State& state) {
  const Qubit n = static_cast<Qubit>(state.range(0));
  const Qubit d = static_cast<Qubit>(state.range(1));
  const Qubit v = n / 2;
  GraphState g = hub_graph(n, d, {v});
  for (auto _ : state) {
    local_complement(g, v);
    benchmark::ClobberMemory();
  }
  const auto degree = static_cast<double>(g.adjacent(v).count());
  state.counters["degree"] = degree;
  state.counters["pairs"] = degree * (degree - 1) / 2;
}
BENCHMARK(BM_LocalComplement)->Apply(qubits_and_degrees);

}  // namespace
}  // namespace kelvorin::perf
