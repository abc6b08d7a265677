// An owned reference to a Python object, released on every way out of the
// scope that holds it, a C++ exception (a resumed PanicException, an
// allocation failure) included.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kelvorin::python {

class Ref {
 public:
  explicit Ref(PyObject* owned = nullptr) noexcept : p_(owned) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference to the caller.
  PyObject* release() noexcept {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(PyObject* owned = nullptr) noexcept {
    PyObject* old = p_;
    p_ = owned;
    Py_XDECREF(old);
  }

 private:
  PyObject* p_;
};

}  // namespace kelvorin::python
