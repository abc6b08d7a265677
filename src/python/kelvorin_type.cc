#include "kelvorin_type.h"

#include <cstdint>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "../simulator.h"
#include "access.h"
#include "binding.h"
#include "panic_exception.h"
#include "ref.h"
#include "runtime.h"
#include "types.h"
#include "values.h"

namespace kelvorin::python {
namespace {

struct KelvorinObject {
  PyObject_HEAD AccessFlag access;
  Simulator sim;
};

// ------------------------------------------------------------ lifecycle ---

// A simulator of `n` fresh qubits, or nothing with a MemoryError set that
// says how much could not be had.
std::optional<Simulator> new_simulator(std::uint64_t n) {
  try {
    return Simulator(n);
  } catch (const std::bad_alloc&) {
    if (const auto bytes = Simulator::bytes_needed(n)) {
      PyErr_Format(PyExc_MemoryError, "cannot allocate a state of %llu qubits (%zu bytes)",
                   static_cast<unsigned long long>(n), *bytes);
    } else {
      PyErr_Format(PyExc_MemoryError, "cannot allocate a state of %llu qubits (more than %zu bytes)",
                   static_cast<unsigned long long>(n), static_cast<std::size_t>(-1));
    }
    return std::nullopt;
  }
}

constexpr const char* kNewParams[] = {"qubit_amount"};
constexpr Signature kNewSignature = {"Kelvorin", "__new__", kNewParams, 1};

PyObject* kelvorin_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_tuple(kNewSignature, args, kwargs, bound)) return nullptr;
    std::uint64_t n = 0;
    if (!to_index(bound[0], "qubit_amount", &n)) return nullptr;
    std::optional<Simulator> sim = new_simulator(n);
    if (!sim) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;  // `sim` is released on return
    auto* obj = reinterpret_cast<KelvorinObject*>(self);
    new (&obj->access) AccessFlag(0);
    new (&obj->sim) Simulator(std::move(*sim));
    return self;
  });
}

void kelvorin_dealloc(PyObject* self) {
  auto* obj = reinterpret_cast<KelvorinObject*>(self);
  obj->sim.~Simulator();
  obj->access.~AccessFlag();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// ------------------------------------------------------ call convention ---

// Binds the N arguments, checks the receiver and takes access of kind A, then
// runs `body(sim, bound)` and releases the access on every way out.
template <Access A, std::size_t N, class Body>
PyObject* with_access(const Signature& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      Body&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* bound[N];
    if (!bind_vector(sig, args, nargs, kwnames, bound)) return nullptr;
    PyTypeObject* type = kelvorin_type();
    if (type == nullptr) return nullptr;
    if (!PyObject_TypeCheck(self, type)) {
      set_type_mismatch(self, "Kelvorin");
      return nullptr;
    }
    auto* obj = reinterpret_cast<KelvorinObject*>(self);
    AccessGuard<A> guard(obj->access);
    if (!guard.ok()) return nullptr;
    return body(obj->sim, bound);
  });
}

// The same for methods whose arguments are all qubit indices: converts them
// in parameter order and runs `op(sim, indices)`.
template <Access A, std::size_t N, class Op>
PyObject* call_method(const Signature& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      Op&& op) {
  return with_access<A, N>(sig, self, args, nargs, kwnames, [&](Simulator& sim, PyObject** bound) -> PyObject* {
    std::uint64_t index[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!to_index(bound[i], sig.names[i], &index[i])) return nullptr;
    }
    return op(sim, index);
  });
}

constexpr const char* kQubitParams[] = {"qubit"};

#define KELVORIN_SINGLE_QUBIT_GATE(name)                                                                \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kQubitParams, 1};                      \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    return call_method<Access::Exclusive, 1>(k_##name##_signature, self, args, nargs, kwnames,          \
                                             [](Simulator& sim, const std::uint64_t* q) {               \
                                               sim.name(q[0]);                                          \
                                               Py_RETURN_NONE;                                          \
                                             });                                                        \
  }

KELVORIN_SINGLE_QUBIT_GATE(x)
KELVORIN_SINGLE_QUBIT_GATE(y)
KELVORIN_SINGLE_QUBIT_GATE(z)
KELVORIN_SINGLE_QUBIT_GATE(h)
KELVORIN_SINGLE_QUBIT_GATE(s)
KELVORIN_SINGLE_QUBIT_GATE(sdag)

#undef KELVORIN_SINGLE_QUBIT_GATE

constexpr const char* kControlTargetParams[] = {"control", "target"};

#define KELVORIN_TWO_QUBIT_METHOD(name, Enumerator)                                                     \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kControlTargetParams, 2};              \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    return call_method<Access::Exclusive, 2>(k_##name##_signature, self, args, nargs, kwnames,          \
                                             [](Simulator& sim, const std::uint64_t* q) {               \
                                               sim.apply(TwoQubitGate::Enumerator, q[0], q[1]);         \
                                               Py_RETURN_NONE;                                          \
                                             });                                                        \
  }

KELVORIN_TWO_QUBIT_GATES(KELVORIN_TWO_QUBIT_METHOD)

#undef KELVORIN_TWO_QUBIT_METHOD

constexpr Signature k_get_entangled_group_signature = {"Kelvorin", "get_entangled_group", kQubitParams, 1};

PyObject* method_get_entangled_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<Access::Shared, 1>(k_get_entangled_group_signature, self, args, nargs, kwnames,
                                        [](Simulator& sim, const std::uint64_t* q) -> PyObject* {
                                          const std::vector<Qubit> group = sim.entangled_group(q[0]);
                                          PyObject* set = PySet_New(nullptr);
                                          if (set == nullptr) return nullptr;
                                          for (const Qubit v : group) {
                                            PyObject* item = PyLong_FromUnsignedLongLong(v);
                                            if (item == nullptr || PySet_Add(set, item) < 0) {
                                              Py_XDECREF(item);
                                              Py_DECREF(set);
                                              return nullptr;
                                            }
                                            Py_DECREF(item);
                                          }
                                          return set;
                                        });
}

// The result object is made first: once the state has collapsed, nothing may
// fail, or the caller would see an error from a call that changed the state.
PyObject* measure_into_new_result(Simulator& sim, Qubit qubit, Axis axis) {
  Ref result(new_measurement_result(0));
  if (!result) return nullptr;
  set_measurement_bit(result.get(), static_cast<std::uint8_t>(sim.measure(qubit, axis)));
  return result.release();
}

#define KELVORIN_MEASUREMENT(name, axis_number)                                                                  \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kQubitParams, 1};                               \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {          \
    return call_method<Access::Exclusive, 1>(                                                                    \
        k_##name##_signature, self, args, nargs, kwnames,                                                        \
        [](Simulator& sim, const std::uint64_t* q) { return measure_into_new_result(sim, q[0], axis_number); }); \
  }

KELVORIN_MEASUREMENT(measure_x, axis::X)
KELVORIN_MEASUREMENT(measure_y, axis::Y)
KELVORIN_MEASUREMENT(measure_z, axis::Z)

#undef KELVORIN_MEASUREMENT

constexpr const char* kQubitsParams[] = {"qubits"};
constexpr Signature k_peek_measure_set_signature = {"Kelvorin", "peek_measure_set", kQubitsParams, 1};

// Reads a set or frozenset of qubit indices; false with the (prefixed) error
// set when `qubits` is not a set or an element does not convert.
bool read_qubit_set(PyObject* qubits, std::vector<Qubit>& out) {
  if (!PyAnySet_Check(qubits)) {
    set_type_mismatch(qubits, "set");
    prefix_argument_error("qubits");
    return false;
  }
  out.reserve(static_cast<std::size_t>(PySet_GET_SIZE(qubits)));
  const Ref it(PyObject_GetIter(qubits));
  if (!it) {
    prefix_argument_error("qubits");
    return false;
  }
  // A subclass's iterator may yield more than the set's size, so the vector
  // can still grow (and fail to); `it` and `item` are released either way.
  while (const Ref item{PyIter_Next(it.get())}) {
    std::uint64_t q = 0;
    if (!to_index(item.get(), "qubits", &q)) return false;
    out.push_back(q);
  }
  if (PyErr_Occurred()) {  // the set changed size during iteration
    prefix_argument_error("qubits");
    return false;
  }
  return true;
}

PyObject* method_peek_measure_set(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_access<Access::Shared, 1>(
      k_peek_measure_set_signature, self, args, nargs, kwnames, [](Simulator& sim, PyObject** bound) -> PyObject* {
        std::vector<Qubit> qubits;
        if (!read_qubit_set(bound[0], qubits)) return nullptr;
        const std::vector<PeekOutcome> outcomes = sim.peek_measure_set(std::move(qubits));
        PyObject* dict = PyDict_New();
        if (dict == nullptr) return nullptr;
        for (const PeekOutcome& o : outcomes) {
          PyObject* key = PyLong_FromUnsignedLongLong(o.qubit);
          PyObject* value = key == nullptr ? nullptr : new_outcome(o.bit, o.axis);
          const bool ok = value != nullptr && PyDict_SetItem(dict, key, value) == 0;
          Py_XDECREF(key);
          Py_XDECREF(value);
          if (!ok) {
            Py_DECREF(dict);
            return nullptr;
          }
        }
        return dict;
      });
}

template <auto F>
constexpr PyCFunction fastcall() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(F));
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

// The docstring of each two-qubit gate's method.
constexpr const char* two_qubit_doc(TwoQubitGate gate) {
  switch (gate) {
    case TwoQubitGate::CZ:
      return "cz($self, control, target)\n--\n\nApply a controlled-Z (CZ) gate with `control` and `target` qubits.";
    case TwoQubitGate::CX:
      return "cx($self, control, target)\n--\n\nApply a controlled-X (CX) / CNOT gate with `control` and `target`.";
    case TwoQubitGate::XCX:
      return "xcx($self, control, target)\n--\n\nApply an X-controlled X gate (CX in the X basis).";
    case TwoQubitGate::YCX:
      return "ycx($self, control, target)\n--\n\nApply a Y-controlled X gate (control qubit in the Y basis).";
    case TwoQubitGate::XCZ:
      return "xcz($self, control, target)\n--\n\nApply an X-controlled Z gate (target in X basis).";
    case TwoQubitGate::YCZ:
      return "ycz($self, control, target)\n--\n\nApply a Y-controlled Z gate (target in Y basis).";
    case TwoQubitGate::CY:
      return "cy($self, control, target)\n--\n\nApply a controlled-Y (CY) gate with `control` and `target`.";
    case TwoQubitGate::XCY:
      return "xcy($self, control, target)\n--\n\nApply an X-controlled Y gate (control in X basis).";
    case TwoQubitGate::YCY:
      return "ycy($self, control, target)\n--\n\nApply a Y-controlled Y gate (both in Y basis).";
  }
  return nullptr;
}

constexpr bool every_two_qubit_gate_has_a_doc() {
  for (std::size_t k = 0; k < kTwoQubitGateCount; ++k)
    if (two_qubit_doc(static_cast<TwoQubitGate>(k)) == nullptr) return false;
  return true;
}
static_assert(every_two_qubit_gate_has_a_doc());

PyMethodDef g_methods[] = {
    {"x", fastcall<method_x>(), kMethodFlags,
     "x($self, qubit)\n--\n\nApply an X (Pauli-X) gate to the given qubit.\n\n`node` is the index of the qubit."},
    {"y", fastcall<method_y>(), kMethodFlags,
     "y($self, qubit)\n--\n\nApply a Y (Pauli-Y) gate to the given qubit.\n\n`node` is the index of the qubit."},
    {"z", fastcall<method_z>(), kMethodFlags,
     "z($self, qubit)\n--\n\nApply a Z (Pauli-Z) gate to the given qubit.\n\n`node` is the index of the qubit."},
    {"h", fastcall<method_h>(), kMethodFlags,
     "h($self, qubit)\n--\n\nApply an H (Hadamard) gate to the given qubit.\n\n`node` is the index of the qubit."},
    {"s", fastcall<method_s>(), kMethodFlags,
     "s($self, qubit)\n--\n\nApply an S (phase) gate to the given qubit.\n\n`node` is the index of the qubit."},
    {"sdag", fastcall<method_sdag>(), kMethodFlags,
     "sdag($self, qubit)\n--\n\nApply an S\u2020 (inverse phase) gate to the given qubit.\n\n`node` is the index of "
     "the qubit."},
#define KELVORIN_TWO_QUBIT_ENTRY(name, Enumerator) \
  {#name, fastcall<method_##name>(), kMethodFlags, two_qubit_doc(TwoQubitGate::Enumerator)},
    KELVORIN_TWO_QUBIT_GATES(KELVORIN_TWO_QUBIT_ENTRY)
#undef KELVORIN_TWO_QUBIT_ENTRY
        {"measure_x", fastcall<method_measure_x>(), kMethodFlags,
         "measure_x($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the X basis.\n\nReturns "
         "`MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."},
    {"measure_y", fastcall<method_measure_y>(), kMethodFlags,
     "measure_y($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the Y basis.\n\nReturns "
     "`MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."},
    {"measure_z", fastcall<method_measure_z>(), kMethodFlags,
     "measure_z($self, qubit)\n--\n\nPerform a projective measurement of `qubit` in the Z basis.\n\nReturns "
     "`MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."},
    {"get_entangled_group", fastcall<method_get_entangled_group>(), kMethodFlags,
     "get_entangled_group($self, qubit)\n--\n\nReturn the set of qubits that are entangled with `qubit`.\n\nThis "
     "follows adjacency in the underlying graph."},
    {"peek_measure_set", fastcall<method_peek_measure_set>(), kMethodFlags,
     "peek_measure_set($self, qubits)\n--\n\nSimulate measurements on a set of `qubits` without modifying the real "
     "state.\n\nReturns a map from qubit index to `Outcome` (result and axis used)."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot g_slots[] = {
    {Py_tp_base, nullptr},
    {Py_tp_dealloc, reinterpret_cast<void*>(kelvorin_dealloc)},
    {Py_tp_doc, const_cast<char*>("Kelvorin(qubit_amount)\n--\n\n"
                                  "Simulator for graph states over a fixed number of qubits.\n\n"
                                  "Use this class from Python to apply gates and perform measurements.")},
    {Py_tp_new, reinterpret_cast<void*>(kelvorin_new)},
    {Py_tp_methods, g_methods},
    {0, nullptr},
};

PyType_Spec g_spec = {"kelvorin.Kelvorin", sizeof(KelvorinObject), 0, Py_TPFLAGS_DEFAULT, g_slots};

}  // namespace

PyTypeObject* kelvorin_type() {
  return g_runtime.kelvorin.get_or_make([] { return create_type(g_spec); });
}

}  // namespace kelvorin::python
