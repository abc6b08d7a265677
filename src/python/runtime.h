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

struct RuntimeObjects {
  // The interpreter that imported the module; -1 before the first import.
  std::atomic<std::int64_t> interpreter_id{-1};
  PyObject* module = nullptr;
  PyTypeObject* kelvorin = nullptr;
  PyTypeObject* measurement_result = nullptr;
  PyTypeObject* axis = nullptr;
  PyTypeObject* outcome = nullptr;
  PyObject* panic_exception = nullptr;  // made on first need
};

extern RuntimeObjects g_runtime;

// Arranges for g_runtime to be forgotten when the current runtime is
// finalised.  Call once per runtime, when it first imports the module.
void forget_runtime_objects_at_finalization() noexcept;

}  // namespace kelvorin::python
