// The objects the module keeps beyond a single call, all in one place.
//
// They are process-wide because the module is initialised in single phase:
// the interpreter asks for the module once per process, and the module
// object, its four classes and the PanicException type are made once and
// shared by every simulator and every thread.  Nothing else in the module
// outlives a call.
//
// They belong to the interpreter runtime that made them.  An application
// that embeds Python may finalise the runtime and start a new one in the same
// process; the old objects are gone with the old runtime, so they are
// forgotten then and the new runtime makes its own.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>

namespace kelvorin::python {

// An object made at most once per runtime, on first need, however many
// threads need it at once (the interpreter may run without its global lock).
// The first caller makes it under a lock while the others wait; waiting on a
// PyMutex lets go of the interpreter, so a thread that holds the lock can
// still make Python objects and run the collector.  Once made, the object is
// one acquire load away.
template <class T>
class Once {
 public:
  T* get() const noexcept { return value_.load(std::memory_order_acquire); }

  // The object, made by `make()` if it is not there yet.  nullptr with the
  // interpreter's error set when making it fails (a later need tries again),
  // or when the need arises while this thread is making it (a finaliser
  // that runs during the making and needs the same object).
  template <class Make>
  T* get_or_make(Make&& make) {
    if (T* made = get()) return made;
    const unsigned long self = PyThread_get_thread_ident();
    if (maker_.load(std::memory_order_relaxed) == self) {
      PyErr_SetString(PyExc_RuntimeError, "kelvorin: an object of the module was needed while it was being made");
      return nullptr;
    }
    PyMutex_Lock(&lock_);
    T* made = get();
    if (made == nullptr) {
      maker_.store(self, std::memory_order_relaxed);
      made = make();
      maker_.store(0, std::memory_order_relaxed);
      value_.store(made, std::memory_order_release);
    }
    PyMutex_Unlock(&lock_);
    return made;
  }

  // Drops the reference without releasing it (see forget_runtime_objects_at_finalization).
  void forget() noexcept { value_.store(nullptr, std::memory_order_relaxed); }

 private:
  std::atomic<T*> value_{nullptr};
  std::atomic<unsigned long> maker_{0};  // the thread making it, else 0
  PyMutex lock_{};
};

struct RuntimeObjects {
  // The interpreter that imported the module; -1 before the first import.
  std::atomic<std::int64_t> interpreter_id{-1};
  Once<PyObject> module;
  Once<PyTypeObject> kelvorin;
  Once<PyTypeObject> measurement_result;
  Once<PyTypeObject> axis;
  Once<PyTypeObject> outcome;
  Once<PyObject> panic_exception;  // made on first need
  // Whether the current runtime will forget these objects when it is
  // finalised; every object above is made only while this is true.  Read
  // and written while the module is being made (under module's lock).
  bool forget_registered = false;
};

extern RuntimeObjects g_runtime;

// Arranges, once per runtime, for g_runtime to be forgotten when the current
// runtime is finalised; call it before the module makes any object.  False
// when the process has no Py_AtExit slot left (the embedding application
// has taken them all): then nothing may be made, or the next runtime of the
// process would be handed objects of a finalised one.
bool forget_runtime_objects_at_finalization() noexcept;

}  // namespace kelvorin::python
