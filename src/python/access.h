// Per-object access flag: 0 = free, all ones = held exclusively, any other
// value n = held shared by n callers.  It guards a simulator against re-entrant
// use from Python code that runs during a call (an argument's __index__).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>

namespace kelvorin::python {

using AccessFlag = std::atomic<std::uintptr_t>;
inline constexpr std::uintptr_t kExclusive = ~std::uintptr_t{0};

enum class Access { Exclusive, Shared };

// Holds access for the lifetime of the guard.  `ok()` is false, with
// RuntimeError set, when the access could not be taken.
template <Access A>
class AccessGuard {
 public:
  explicit AccessGuard(AccessFlag& flag) noexcept : flag_(flag) {
    if constexpr (A == Access::Exclusive) {
      std::uintptr_t expected = 0;
      held_ = flag_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire);
      if (!held_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    } else {
      std::uintptr_t current = flag_.load(std::memory_order_relaxed);
      for (;;) {
        if (current == kExclusive || current == kExclusive - 1) {
          PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
          held_ = false;
          return;
        }
        if (flag_.compare_exchange_weak(current, current + 1, std::memory_order_acquire)) break;
      }
      held_ = true;
    }
  }

  ~AccessGuard() {
    if (!held_) return;
    if constexpr (A == Access::Exclusive) {
      flag_.store(0, std::memory_order_release);
    } else {
      flag_.fetch_sub(1, std::memory_order_release);
    }
  }

  AccessGuard(const AccessGuard&) = delete;
  AccessGuard& operator=(const AccessGuard&) = delete;

  bool ok() const noexcept { return held_; }

 private:
  AccessFlag& flag_;
  bool held_ = false;
};

}  // namespace kelvorin::python
