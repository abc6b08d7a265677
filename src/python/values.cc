#include "values.h"

#include <cstddef>

#include "panic_exception.h"
#include "runtime.h"
#include "types.h"

namespace kelvorin::python {
namespace {

struct ValueObject {
  PyObject_HEAD std::uint8_t value;
};

struct OutcomeObject {
  PyObject_HEAD std::uint8_t result;
  std::uint8_t axis;
};

void value_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* new_value(PyTypeObject* type, std::uint8_t value) {
  if (type == nullptr) return nullptr;
  PyObject* obj = type->tp_alloc(type, 0);
  if (obj == nullptr) return nullptr;
  reinterpret_cast<ValueObject*>(obj)->value = value;
  return obj;
}

std::uint8_t value_of(PyObject* self) {
  return reinterpret_cast<ValueObject*>(self)->value;
}

// == and != against the same class or an integer; everything else is
// NotImplemented.
PyObject* value_richcompare(PyObject* self, PyObject* other, int op) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    long long rhs;
    if (Py_IS_TYPE(other, Py_TYPE(self))) {
      rhs = value_of(other);
    } else {
      rhs = PyLong_AsLongLong(other);
      if (rhs == -1 && PyErr_Occurred()) {
        resume_python_panic();
        // A value that is no integer only compares unequal; an interrupt, an
        // exit or an out-of-memory while reading it is not discarded.
        if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) return nullptr;
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
      }
    }
    const bool equal = rhs == static_cast<long long>(value_of(self));
    return PyBool_FromLong((op == Py_EQ) == equal);
  });
}

PyObject* value_int(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] { return PyLong_FromLong(value_of(self)); });
}

PyObject* measurement_result_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    return PyUnicode_FromString(value_of(self) == 0 ? "MeasurementResult.PlusOne" : "MeasurementResult.MinusOne");
  });
}

constexpr const char* kAxisReprs[3] = {"Axis.X", "Axis.Y", "Axis.Z"};
constexpr char kAxisLetters[3] = {'X', 'Y', 'Z'};

PyObject* axis_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] { return PyUnicode_FromString(kAxisReprs[value_of(self) % 3]); });
}

PyObject* outcome_get_result(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr,
                            [&] { return new_measurement_result(reinterpret_cast<OutcomeObject*>(self)->result); });
}

PyObject* outcome_get_axis(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return new_axis(reinterpret_cast<OutcomeObject*>(self)->axis); });
}

PyObject* outcome_str(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const auto* o = reinterpret_cast<OutcomeObject*>(self);
    return PyUnicode_FromFormat("(%c, %s)", kAxisLetters[o->axis % 3], o->result == 0 ? "+1" : "-1");
  });
}

constexpr unsigned kValueFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

PyType_Slot g_measurement_result_slots[] = {
    {Py_tp_base, nullptr},  // object, filled in at creation
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_doc, const_cast<char*>("Result of a single-qubit measurement.\n\n"
                                  "Exposed to Python as `kelvorin.MeasurementResult`.")},
    {Py_tp_repr, reinterpret_cast<void*>(measurement_result_repr)},
    {Py_nb_int, reinterpret_cast<void*>(value_int)},
    {Py_tp_richcompare, reinterpret_cast<void*>(value_richcompare)},
    {0, nullptr},
};

PyType_Spec g_measurement_result_spec = {
    "kelvorin.MeasurementResult", sizeof(ValueObject), 0, kValueFlags, g_measurement_result_slots,
};

PyType_Slot g_axis_slots[] = {
    {Py_tp_base, nullptr},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(axis_repr)},
    {Py_nb_int, reinterpret_cast<void*>(value_int)},
    {Py_tp_richcompare, reinterpret_cast<void*>(value_richcompare)},
    {0, nullptr},
};

PyType_Spec g_axis_spec = {"kelvorin.Axis", sizeof(ValueObject), 0, kValueFlags, g_axis_slots};

PyGetSetDef g_outcome_getset[] = {
    {"result", outcome_get_result, nullptr, "", nullptr},
    {"axis", outcome_get_axis, nullptr, "", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_outcome_slots[] = {
    {Py_tp_base, nullptr},
    {Py_tp_dealloc, reinterpret_cast<void*>(value_dealloc)},
    {Py_tp_doc, const_cast<char*>("Measurement outcome and the axis that was measured.\n\n"
                                  "Returned in the values of `peek_measure_set`.")},
    {Py_tp_getset, g_outcome_getset},
    {Py_tp_str, reinterpret_cast<void*>(outcome_str)},
    {0, nullptr},
};

PyType_Spec g_outcome_spec = {"kelvorin.Outcome", sizeof(OutcomeObject), 0, kValueFlags, g_outcome_slots};

struct Member {
  const char* name;
  std::uint8_t value;
};

constexpr Member kMeasurementResultMembers[] = {{"PlusOne", 0}, {"MinusOne", 1}};
constexpr Member kAxisMembers[] = {{"X", 0}, {"Y", 1}, {"Z", 2}};

template <std::size_t N>
PyTypeObject* create_enum(PyType_Spec& spec, const Member (&members)[N]) {
  PyTypeObject* type = create_type(spec);
  if (type == nullptr) return nullptr;
  for (const Member& m : members) {
    PyObject* obj = new_value(type, m.value);
    if (obj == nullptr || PyObject_SetAttrString(reinterpret_cast<PyObject*>(type), m.name, obj) < 0) {
      Py_XDECREF(obj);
      Py_DECREF(type);
      return nullptr;
    }
    Py_DECREF(obj);
  }
  return type;
}

}  // namespace

PyTypeObject* measurement_result_type() {
  return g_runtime.measurement_result.get_or_make(
      [] { return create_enum(g_measurement_result_spec, kMeasurementResultMembers); });
}

PyTypeObject* axis_type() {
  return g_runtime.axis.get_or_make([] { return create_enum(g_axis_spec, kAxisMembers); });
}

PyTypeObject* outcome_type() {
  return g_runtime.outcome.get_or_make([] { return create_type(g_outcome_spec); });
}

PyObject* new_measurement_result(std::uint8_t bit) {
  return new_value(require_type(measurement_result_type, "MeasurementResult"), bit);
}

void set_measurement_bit(PyObject* result, std::uint8_t bit) noexcept {
  reinterpret_cast<ValueObject*>(result)->value = bit;
}

PyObject* new_axis(std::uint8_t axis) {
  return new_value(require_type(axis_type, "Axis"), axis);
}

PyObject* new_outcome(std::uint8_t bit, std::uint8_t axis) {
  PyTypeObject* type = require_type(outcome_type, "Outcome");
  PyObject* obj = type->tp_alloc(type, 0);
  if (obj == nullptr) return nullptr;
  auto* o = reinterpret_cast<OutcomeObject*>(obj);
  o->result = bit;
  o->axis = axis;
  return obj;
}

}  // namespace kelvorin::python
