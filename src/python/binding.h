// Argument binding and index conversion, shared by every method and the
// constructor of `Kelvorin`.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>

namespace kelvorin::python {

// A callable's parameters: all positional-or-keyword and required.
struct Signature {
  const char* class_name;     // "Kelvorin"
  const char* function_name;  // "x", "cx", "__new__"
  const char* const* names;
  std::size_t count;
};

// Binds a vectorcall argument vector (positional values followed by the
// values of `kwnames`) to `sig`, storing borrowed references in out[0 ..
// sig.count).  Returns false with TypeError set on a binding error.
bool bind_vector(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

// The same for an argument tuple and an optional keyword dictionary, walked
// in dictionary order.
bool bind_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

// Converts `obj` to a qubit index.  On failure returns false with the error
// set, a TypeError prefixed with "argument '{name}': ".  A PanicException
// raised by the object's __index__ is resumed as a Panic (throws).
bool to_index(PyObject* obj, const char* name, std::uint64_t* out);

// Replaces a pending exception that is exactly TypeError by
// "argument '{name}': {text}", keeping its __cause__; passes any other
// exception unchanged.  Resumes a pending PanicException as a Panic.
void prefix_argument_error(const char* name);

// "'{actual}' object cannot be cast as '{expected}'" as TypeError.
void set_type_mismatch(PyObject* obj, const char* expected);

}  // namespace kelvorin::python
