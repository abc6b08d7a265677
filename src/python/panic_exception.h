// The `PanicException` type and the guard that every Python entry point runs
// its body under.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "../panic.h"

namespace kelvorin::python {

// The exception type, created on first need and kept for the runtime
// (runtime.h); nullptr with the interpreter's error (MemoryError) set when it
// cannot be created, and then created at a later need.
PyObject* panic_exception_type();

// The type if it has been created, else nullptr.
PyObject* panic_exception_type_if_created() noexcept;

// Sets a new PanicException whose single argument is `message`, or the
// error that stopped making it (the type or the instance: MemoryError).
void set_panic_exception(const char* message) noexcept;

[[noreturn]] void abort_at_boundary() noexcept;

// If the error currently set is a PanicException raised by Python code that
// the surface called, prints a notice and the traceback to standard error,
// clears it and throws a Panic with the same text, so that the entry point
// raises a fresh PanicException.  Otherwise leaves the error in place.
void resume_python_panic();

// Runs `body` and maps engine failures to Python exceptions: a Panic becomes
// PanicException, an allocation failure MemoryError.  `Fail` is the value
// the entry point returns with an exception set (nullptr, -1).
template <class R, class F>
R guarded(R fail, F&& body) noexcept {
  try {
    return body();
  } catch (const Panic& p) {
    set_panic_exception(p.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (...) {
    abort_at_boundary();
  }
  return fail;
}

}  // namespace kelvorin::python
