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
  // Whether the current runtime will forget these objects when it is
  // finalised; every object above is made only while this is true.
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
