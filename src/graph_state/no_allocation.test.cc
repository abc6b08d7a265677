// The entangling operations must not allocate (the test binary's allocator
// counts).
#include <gtest/gtest.h>

#include <random>

#include "../test_allocator.test.h"
#include "controlled_z.h"
#include "local_complement.h"
#include "reduction.h"
#include "state_vector.test.h"
#include "two_qubit_gates.h"

namespace kelvorin {
namespace {

using testing::CountAllocations;

#define SKIP_UNLESS_COUNTING() \
  if (!testing::allocations_observable()) GTEST_SKIP() << "allocations are not counted under AddressSanitizer"

TEST(NoAllocation, CounterSeesAllocations) {
  SKIP_UNLESS_COUNTING();
  static int* volatile sink = nullptr;  // keeps the pair from being elided
  CountAllocations counter;
  sink = new int(3);
  delete sink;
  EXPECT_EQ(counter.count(), 1);
}

TEST(NoAllocation, EntanglingOperations) {
  SKIP_UNLESS_COUNTING();
  std::mt19937_64 rng(41);
  for (int trial = 0; trial < 200; ++trial) {
    const Qubit n = 2 + static_cast<Qubit>(trial % 70);
    GraphState g = testing::random_graph_state(n, rng, 0.3);
    const Qubit a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
    CountAllocations counter;
    local_complement(g, a);
    remove_vop(g, b, a);
    apply_cz(g, a, b);
    for (std::size_t k = 0; k < kTwoQubitGateCount; ++k) apply_two_qubit_gate(g, static_cast<TwoQubitGate>(k), a, b);
    EXPECT_EQ(counter.count(), 0) << n << " qubits";
  }
}

}  // namespace
}  // namespace kelvorin
