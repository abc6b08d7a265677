// Heap-type creation shared by the four classes.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kelvorin::python {

// Creates a heap type from `spec` with `object` as its base (the spec's
// Py_tp_base slot, which must be the first slot, is filled in here).
PyTypeObject* create_type(PyType_Spec& spec);

// Returns the type that `get` yields.  When it cannot be created during a
// call, reports the interpreter's error as unraisable and stops the call with
// the fatal internal error "failed to create type object for `{Class}`".
PyTypeObject* require_type(PyTypeObject* (*get)(), const char* class_name);

}  // namespace kelvorin::python
