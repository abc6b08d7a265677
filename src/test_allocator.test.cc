#include "test_allocator.test.h"

#include <cstddef>
#include <cstdlib>
#include <new>

// A sanitizer brings an allocator of its own, which this one must not stand in
// front of.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELVORIN_REPLACE_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KELVORIN_REPLACE_ALLOCATOR 0
#endif
#endif
#ifndef KELVORIN_REPLACE_ALLOCATOR
#define KELVORIN_REPLACE_ALLOCATOR 1
#endif

namespace {
// One test thread uses these at a time; no allocation happens between a
// change of `g_active` and the code it brackets.
bool g_active = false;
long g_count = 0;
long g_fail_at = 0;  // 0: none fails

// Counts one allocation; true when it is the one to fail.
[[maybe_unused]] bool take_turn() noexcept {
  if (!g_active) return false;
  return ++g_count == g_fail_at;
}
}  // namespace

#if KELVORIN_REPLACE_ALLOCATOR
extern "C" void* __libc_calloc(std::size_t, std::size_t);

extern "C" void* calloc(std::size_t count, std::size_t size) {
  if (take_turn()) return nullptr;
  return __libc_calloc(count, size);
}

namespace {
void* allocate(std::size_t size) {
  if (take_turn()) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
#endif

namespace kelvorin::testing {

bool allocations_observable() noexcept {
  return KELVORIN_REPLACE_ALLOCATOR != 0;
}

CountAllocations::CountAllocations() noexcept {
  g_count = 0;
  g_fail_at = 0;
  g_active = true;
}
CountAllocations::~CountAllocations() {
  g_active = false;
}
long CountAllocations::count() const noexcept {
  return g_count;
}

FailAllocation::FailAllocation(long k) noexcept : k_(k) {
  g_count = 0;
  g_fail_at = k;
  g_active = true;
}
FailAllocation::~FailAllocation() {
  g_active = false;
  g_fail_at = 0;
}
long FailAllocation::count() const noexcept {
  return g_count;
}

}  // namespace kelvorin::testing
