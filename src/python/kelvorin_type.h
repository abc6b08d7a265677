// The `Kelvorin` class: the state store of one simulator, its access flag and
// its method table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kelvorin::python {

// The type object, created on first need; nullptr with an exception set when
// creation fails.
PyTypeObject* kelvorin_type();

}  // namespace kelvorin::python
