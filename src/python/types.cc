#include "types.h"

#include <string>

#include "../panic.h"

namespace kelvorin::python {

PyTypeObject* create_type(PyType_Spec& spec) {
  spec.slots[0].slot = Py_tp_base;
  spec.slots[0].pfunc = &PyBaseObject_Type;
  return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

PyTypeObject* require_type(PyTypeObject* (*get)(), const char* class_name) {
  PyTypeObject* type = get();
  if (type == nullptr) {
    PyErr_WriteUnraisable(nullptr);
    panic(std::string("failed to create type object for `") + class_name + "`");
  }
  return type;
}

}  // namespace kelvorin::python
