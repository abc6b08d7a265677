// The entangling operations must not allocate: this binary's global operator
// new counts calls while a test has counting switched on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>

#include "controlled_z.h"
#include "local_complement.h"
#include "state_vector.test.h"
#include "two_qubit_gates.h"

// AddressSanitizer brings its own operator new, which shared libraries bind
// to; replacing it here as well would mix the two.
#if defined(__SANITIZE_ADDRESS__)
#define KELVORIN_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVORIN_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KELVORIN_COUNT_ALLOCATIONS
#define KELVORIN_COUNT_ALLOCATIONS 1
#endif

namespace {
bool g_counting = false;
long g_allocations = 0;
}  // namespace

#if KELVORIN_COUNT_ALLOCATIONS
namespace {

void* counted_allocation(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace kelvorin {
namespace {

class CountAllocations {
 public:
  CountAllocations() {
    g_allocations = 0;
    g_counting = true;
  }
  ~CountAllocations() { g_counting = false; }
  long count() const { return g_allocations; }
};

#define SKIP_UNLESS_COUNTING()                                                         \
  if (!KELVORIN_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under AddressSanitizer"

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
    const Qubit n = 2 + trial % 70;
    GraphState g = testing::random_graph_state(n, rng, 0.3);
    const Qubit a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
    CountAllocations counter;
    toggle_edge(g, a, b);
    local_complement(g, a);
    remove_vop(g, b, a);
    apply_cz(g, a, b);
    for (std::size_t k = 0; k < kTwoQubitGateCount; ++k)
      apply_two_qubit_gate(g, static_cast<TwoQubitGate>(k), a, b);
    EXPECT_EQ(counter.count(), 0) << n << " qubits";
  }
}

}  // namespace
}  // namespace kelvorin
