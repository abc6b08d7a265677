// The engine test binary's allocator: every operator new and every calloc
// (the store's rows) passes through one counter, which a test can read and can
// make fail at a chosen allocation.
//
// Under AddressSanitizer the sanitizer owns both, so nothing is replaced and
// `allocations_observable()` is false; tests that need the counter skip.
#pragma once

namespace kelvorin::testing {

bool allocations_observable() noexcept;

// Counts the allocations made while it lives.
class CountAllocations {
 public:
  CountAllocations() noexcept;
  ~CountAllocations();
  CountAllocations(const CountAllocations&) = delete;
  CountAllocations& operator=(const CountAllocations&) = delete;
  long count() const noexcept;
};

// While it lives, the k-th allocation from its start (k >= 1) fails: operator
// new throws std::bad_alloc, calloc returns null.  Every later one succeeds.
class FailAllocation {
 public:
  explicit FailAllocation(long k) noexcept;
  ~FailAllocation();
  FailAllocation(const FailAllocation&) = delete;
  FailAllocation& operator=(const FailAllocation&) = delete;
  // Allocations attempted so far, the failed one included.
  long count() const noexcept;
  bool failed() const noexcept { return count() >= k_; }

 private:
  long k_;
};

}  // namespace kelvorin::testing
