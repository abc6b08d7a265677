// apply_cz between two vertices of degree d in an n-qubit graph state: the
// lookup alone (both VOPs commute with Z) and with a reduction first.
#include <benchmark/benchmark.h>

#include "controlled_z.h"
#include "perf_graphs.perf.h"

namespace kelvorin::perf {
namespace {

// Both VOPs are the identity: no complementation, one table entry toggles
// the edge, so the state alternates between two graphs.  What is left is the
// degree tests' scans of the two rows.
void BM_ApplyCzLookupOnly(benchmark::State& state) {
  const Qubit n = static_cast<Qubit>(state.range(0));
  const Qubit d = static_cast<Qubit>(state.range(1));
  const Qubit a = n / 3, b = 2 * n / 3;
  GraphState g = hub_graph(n, d, {a, b});
  unsigned complementations = 0;
  for (auto _ : state) {
    complementations += apply_cz(g, a, b);
    benchmark::ClobberMemory();
  }
  if (complementations != 0) state.SkipWithError("a reduction happened");
  state.counters["degree"] = static_cast<double>(g.adjacent(a).count());
}
BENCHMARK(BM_ApplyCzLookupOnly)->Apply(qubits_and_degrees);

// VOP(a) = H: a must be reduced to the identity by local complementations
// about a and its swapping partner, O(d^2) edge toggles, before the lookup.
void BM_ApplyCzWithReduction(benchmark::State& state) {
  const Qubit n = static_cast<Qubit>(state.range(0));
  const Qubit d = static_cast<Qubit>(state.range(1));
  const Qubit a = n / 3, b = 2 * n / 3;
  GraphState g = hub_graph(n, d, {a, b});
  g.h(a);
  const Qubit partner = lowest_neighbour(g, a, b);
  const RowSnapshot snapshot = RowSnapshot::closed_neighbourhoods(g, {a, b, partner});
  unsigned complementations = 0;
  time_destructive(state, g, snapshot, [&](GraphState& s) { complementations = apply_cz(s, a, b); });
  state.counters["complementations"] = complementations;
  state.counters["degree"] = static_cast<double>(g.adjacent(a).count());
}
BENCHMARK(BM_ApplyCzWithReduction)->Apply(qubits_and_degrees)->UseManualTime();

}  // namespace
}  // namespace kelvorin::perf
