#include "binding.h"

#include <cstring>
#include <string>

#include "panic_exception.h"

namespace kelvorin::python {
namespace {

// The display name "{class}.{function}()" as the start of a message format,
// taking sig.class_name and sig.function_name: the interpreter builds the
// whole message, so no C++ allocation can fail while a reference is held.
#define KELVORIN_DISPLAY_NAME "%s.%s()"

void fail_too_many(const Signature& sig, Py_ssize_t given) {
  PyErr_Format(PyExc_TypeError, KELVORIN_DISPLAY_NAME " takes %zu positional arguments but %zd were given",
               sig.class_name, sig.function_name, sig.count, given);
}

void fail_unexpected(const Signature& sig, PyObject* key) {
  PyObject* text = PyObject_Str(key);
  if (text == nullptr) {
    resume_python_panic();
    return;
  }
  PyErr_Format(PyExc_TypeError, KELVORIN_DISPLAY_NAME " got an unexpected keyword argument '%U'", sig.class_name,
               sig.function_name, text);
  Py_DECREF(text);
}

// Fills the parameter that `key` names with `value`.
bool bind_keyword(const Signature& sig, PyObject* key, PyObject* value, PyObject** out) {
  const char* utf8 = nullptr;
  Py_ssize_t size = 0;
  if (PyUnicode_Check(key)) {
    utf8 = PyUnicode_AsUTF8AndSize(key, &size);
    if (utf8 == nullptr) PyErr_Clear();  // not representable as text: no parameter's name
  }
  if (utf8 != nullptr) {
    for (std::size_t i = 0; i < sig.count; ++i) {
      const std::size_t len = std::strlen(sig.names[i]);
      if (static_cast<std::size_t>(size) == len && std::memcmp(utf8, sig.names[i], len) == 0) {
        if (out[i] != nullptr) {
          PyErr_Format(PyExc_TypeError, KELVORIN_DISPLAY_NAME " got multiple values for argument '%s'", sig.class_name,
                       sig.function_name, sig.names[i]);
          return false;
        }
        out[i] = value;
        return true;
      }
    }
  }
  fail_unexpected(sig, key);
  return false;
}

bool check_missing(const Signature& sig, PyObject** out) {
  std::size_t missing = 0;
  for (std::size_t i = 0; i < sig.count; ++i) missing += out[i] == nullptr;
  if (missing == 0) return true;
  std::string list;
  std::size_t seen = 0;
  for (std::size_t i = 0; i < sig.count; ++i) {
    if (out[i] != nullptr) continue;
    if (seen > 0) {
      if (missing > 2) list += ',';
      list += seen + 1 == missing ? " and " : " ";
    }
    list += '\'';
    list += sig.names[i];
    list += '\'';
    ++seen;
  }
  PyErr_Format(PyExc_TypeError, KELVORIN_DISPLAY_NAME " missing %zu required positional argument%s: %s", sig.class_name,
               sig.function_name, missing, missing == 1 ? "" : "s", list.c_str());
  return false;
}

#undef KELVORIN_DISPLAY_NAME

}  // namespace

bool bind_vector(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
  if (kwnames == nullptr && static_cast<std::size_t>(nargs) == sig.count) [[likely]] {
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = args[i];
    return true;
  }
  for (std::size_t i = 0; i < sig.count; ++i) out[i] = nullptr;
  if (static_cast<std::size_t>(nargs) > sig.count) {
    fail_too_many(sig, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      if (!bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
    }
  }
  return check_missing(sig, out);
}

bool bind_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  for (std::size_t i = 0; i < sig.count; ++i) out[i] = nullptr;
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (static_cast<std::size_t>(nargs) > sig.count) {
    fail_too_many(sig, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = PyTuple_GET_ITEM(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!bind_keyword(sig, key, value, out)) return false;
    }
  }
  return check_missing(sig, out);
}

void set_type_mismatch(PyObject* obj, const char* expected) {
  PyObject* name = PyType_GetQualName(Py_TYPE(obj));
  if (name == nullptr) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object cannot be cast as '%s'", expected);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", name, expected);
  Py_DECREF(name);
}

void prefix_argument_error(const char* name) {
  resume_python_panic();
  if (PyErr_Occurred() != PyExc_TypeError) return;  // exactly TypeError, not a subclass
  PyObject* caught = PyErr_GetRaisedException();
  PyObject* text = PyObject_Str(caught);
  PyObject* message = nullptr;
  if (text != nullptr) {
    message = PyUnicode_FromFormat("argument '%s': %U", name, text);
    Py_DECREF(text);
  } else {
    try {
      resume_python_panic();
    } catch (...) {
      Py_DECREF(caught);  // a Panic from str() ends the call without it
      throw;
    }
    PyErr_WriteUnraisable(caught);
    PyObject* type_name = PyType_GetName(Py_TYPE(caught));
    if (type_name != nullptr) {
      message = PyUnicode_FromFormat("argument '%s': <unprintable %U object>", name, type_name);
      Py_DECREF(type_name);
    } else {
      PyErr_Clear();
      message = PyUnicode_FromFormat("argument '%s': <unprintable object>", name);
    }
  }
  if (message == nullptr) {
    Py_DECREF(caught);
    return;  // MemoryError is set
  }
  PyObject* replacement = PyObject_CallOneArg(PyExc_TypeError, message);
  Py_DECREF(message);
  if (replacement == nullptr) {
    Py_DECREF(caught);
    return;
  }
  PyObject* cause = PyException_GetCause(caught);  // new reference or NULL
  PyException_SetCause(replacement, cause);        // steals
  Py_DECREF(caught);
  PyErr_SetRaisedException(replacement);
}

bool to_index(PyObject* obj, const char* name, std::uint64_t* out) {
  unsigned long long value;
  if (PyLong_CheckExact(obj) && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(obj))) [[likely]] {
    // A small int: read it directly; negative ones take the general path for
    // the interpreter's message.
    const Py_ssize_t small = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(obj));
    if (small >= 0) {
      *out = static_cast<std::uint64_t>(small);
      return true;
    }
  }
  if (PyLong_Check(obj)) {
    value = PyLong_AsUnsignedLongLong(obj);
  } else {
    PyObject* index = PyNumber_Index(obj);
    if (index == nullptr) {
      prefix_argument_error(name);
      return false;
    }
    value = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
  }
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    prefix_argument_error(name);
    return false;
  }
  *out = value;
  return true;
}

}  // namespace kelvorin::python
