// Module entry: PyInit_kelvorin, the only exported symbol.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "cpu.h"
#include "python/kelvorin_type.h"
#include "python/panic_exception.h"
#include "python/runtime.h"
#include "python/values.h"

namespace kelvorin::python {
namespace {

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "kelvorin",
    "Graph-state based quantum circuit simulator exposed as the `kelvorin` Python module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr int kApiVersion = 1013;

// Appends `name` to the module's __all__ (creating it on first use) and binds
// the class under that name.
bool register_class(PyObject* module, const char* name, PyTypeObject* type) {
  if (type == nullptr) return false;
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return false;
    }
  }
  PyObject* text = PyUnicode_FromString(name);
  const bool ok = text != nullptr && PyList_Check(all) && PyList_Append(all, text) == 0;
  if (text != nullptr && !PyList_Check(all)) PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
  Py_XDECREF(text);
  Py_DECREF(all);
  if (!ok) return false;
  return PyObject_SetAttrString(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

// The module with its classes, or nullptr with the error set; the runtime
// keeps the reference returned.
PyObject* make_module() {
  if (!forget_runtime_objects_at_finalization()) {
    PyErr_SetString(PyExc_ImportError,
                    "kelvorin cannot be imported: the process has no Py_AtExit slot left (the embedding "
                    "application has registered as many functions as the interpreter allows), and the module "
                    "needs one to forget its objects when the interpreter is finalised");
    return nullptr;
  }
  PyObject* module = PyModule_Create2(&g_module_def, kApiVersion);
  if (module == nullptr) return nullptr;
#ifdef Py_GIL_DISABLED
  // Every entry point is safe to run on several threads at once (the access
  // flag, the objects made once (runtime.h), the engine's read-only calls), so a
  // free-threaded interpreter keeps running without its global lock.
  if (PyUnstable_Module_SetGIL(module, Py_MOD_GIL_NOT_USED) < 0) {
    Py_DECREF(module);
    return nullptr;
  }
#endif
  if (!register_class(module, "MeasurementResult", measurement_result_type()) ||
      !register_class(module, "Outcome", outcome_type()) || !register_class(module, "Axis", axis_type()) ||
      !register_class(module, "Kelvorin", kelvorin_type())) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

PyObject* init_module() {
  // Before any code compiled for the instruction set can run.
  if (const char* missing = missing_instruction_set()) {
    PyErr_Format(PyExc_ImportError,
                 "kelvorin cannot be imported: this build uses %s instructions, which this CPU lacks; build it "
                 "from source with the CMake option KELVORIN_PORTABLE, for example: pip install --no-binary "
                 "kelvorin --config-settings=cmake.define.KELVORIN_PORTABLE=ON kelvorin",
                 missing);
    return nullptr;
  }
  PyInterpreterState* interp = PyInterpreterState_Get();
  const std::int64_t id = PyInterpreterState_GetID(interp);
  if (id == -1 && PyErr_Occurred()) return nullptr;
  std::int64_t expected = -1;
  if (!g_runtime.interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "kelvorin does not support subinterpreters: it can only be imported in the interpreter "
                    "that imported it first");
    return nullptr;
  }
  PyObject* module = g_runtime.module.get_or_make(make_module);
  return module != nullptr ? Py_NewRef(module) : nullptr;
}

}  // namespace
}  // namespace kelvorin::python

PyMODINIT_FUNC PyInit_kelvorin(void) {
  return kelvorin::python::guarded<PyObject*>(nullptr, [] { return kelvorin::python::init_module(); });
}
