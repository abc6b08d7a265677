#include "kelvorin_type.h"

#include <cstdint>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "../graph_state/entangled_group.h"
#include "../graph_state/graph_state.h"
#include "../graph_state/measure.h"
#include "../graph_state/peek.h"
#include "../graph_state/two_qubit_gates.h"
#include "../random/random_source.h"
#include "access.h"
#include "binding.h"
#include "panic_exception.h"
#include "types.h"
#include "values.h"

namespace kelvorin::python {
namespace {

struct KelvorinObject {
  PyObject_HEAD
  AccessFlag access;
  GraphState state;
};

PyTypeObject* g_kelvorin = nullptr;

// ------------------------------------------------------------ lifecycle ---

// The state of `n` fresh qubits, or nothing with a MemoryError set that says
// how much could not be had.
std::optional<GraphState> new_state(std::uint64_t n) {
  try {
    return GraphState(n);
  } catch (const std::bad_alloc&) {
    if (const auto bytes = GraphState::bytes_needed(n)) {
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
    std::optional<GraphState> state = new_state(n);
    if (!state) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;  // `state` is released on return
    auto* obj = reinterpret_cast<KelvorinObject*>(self);
    new (&obj->access) AccessFlag(0);
    new (&obj->state) GraphState(std::move(*state));
    return self;
  });
}

void kelvorin_dealloc(PyObject* self) {
  auto* obj = reinterpret_cast<KelvorinObject*>(self);
  obj->state.~GraphState();
  obj->access.~AccessFlag();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// ------------------------------------------------------ call convention ---

// Binds the N arguments, checks the receiver and takes access of kind A, then
// runs `body(state, bound)` and releases the access on every way out.
template <Access A, std::size_t N, class Body>
PyObject* with_access(const Signature& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames, Body&& body) {
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
    return body(obj->state, bound);
  });
}

// The same for methods whose arguments are all qubit indices: converts them
// in parameter order and runs `op(state, indices)`.
template <Access A, std::size_t N, class Op>
PyObject* call_method(const Signature& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames, Op&& op) {
  return with_access<A, N>(sig, self, args, nargs, kwnames, [&](GraphState& state, PyObject** bound) -> PyObject* {
    std::uint64_t index[N];
    for (std::size_t i = 0; i < N; ++i) {
      if (!to_index(bound[i], sig.names[i], &index[i])) return nullptr;
    }
    return op(state, index);
  });
}

constexpr const char* kQubitParams[] = {"qubit"};

#define KELVORIN_SINGLE_QUBIT_GATE(name)                                                                 \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kQubitParams, 1};                      \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    return call_method<Access::Exclusive, 1>(k_##name##_signature, self, args, nargs, kwnames,           \
                                             [](GraphState& state, const std::uint64_t* q) {             \
                                               state.name(q[0]);                                         \
                                               Py_RETURN_NONE;                                           \
                                             });                                                         \
  }

KELVORIN_SINGLE_QUBIT_GATE(x)
KELVORIN_SINGLE_QUBIT_GATE(y)
KELVORIN_SINGLE_QUBIT_GATE(z)
KELVORIN_SINGLE_QUBIT_GATE(h)
KELVORIN_SINGLE_QUBIT_GATE(s)
KELVORIN_SINGLE_QUBIT_GATE(sdag)

#undef KELVORIN_SINGLE_QUBIT_GATE

constexpr const char* kControlTargetParams[] = {"control", "target"};

#define KELVORIN_TWO_QUBIT_GATE(name, gate)                                                               \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kControlTargetParams, 2};              \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    return call_method<Access::Exclusive, 2>(k_##name##_signature, self, args, nargs, kwnames,           \
                                             [](GraphState& state, const std::uint64_t* q) {             \
                                               apply_two_qubit_gate(state, TwoQubitGate::gate, q[0], q[1]); \
                                               Py_RETURN_NONE;                                           \
                                             });                                                         \
  }

KELVORIN_TWO_QUBIT_GATE(cz, CZ)
KELVORIN_TWO_QUBIT_GATE(cx, CX)
KELVORIN_TWO_QUBIT_GATE(xcx, XCX)
KELVORIN_TWO_QUBIT_GATE(ycx, YCX)
KELVORIN_TWO_QUBIT_GATE(xcz, XCZ)
KELVORIN_TWO_QUBIT_GATE(ycz, YCZ)
KELVORIN_TWO_QUBIT_GATE(cy, CY)
KELVORIN_TWO_QUBIT_GATE(xcy, XCY)
KELVORIN_TWO_QUBIT_GATE(ycy, YCY)

#undef KELVORIN_TWO_QUBIT_GATE

constexpr Signature k_get_entangled_group_signature = {"Kelvorin", "get_entangled_group", kQubitParams, 1};

PyObject* method_get_entangled_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_method<Access::Shared, 1>(
      k_get_entangled_group_signature, self, args, nargs, kwnames,
      [](GraphState& state, const std::uint64_t* q) -> PyObject* {
        const std::vector<Qubit> group = entangled_group(state, q[0]);
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

#define KELVORIN_MEASUREMENT(name, axis_number)                                                           \
  constexpr Signature k_##name##_signature = {"Kelvorin", #name, kQubitParams, 1};                      \
  PyObject* method_##name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
    return call_method<Access::Exclusive, 1>(k_##name##_signature, self, args, nargs, kwnames,           \
                                             [](GraphState& state, const std::uint64_t* q) {             \
                                               return new_measurement_result(                            \
                                                   measure(state, q[0], axis_number, thread_random_source())); \
                                             });                                                         \
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
  PyObject* it = PyObject_GetIter(qubits);
  if (it == nullptr) {
    prefix_argument_error("qubits");
    return false;
  }
  while (PyObject* item = PyIter_Next(it)) {
    std::uint64_t q = 0;
    bool ok = false;
    try {
      ok = to_index(item, "qubits", &q);
    } catch (...) {  // a PanicException from the element's __index__, resumed
      Py_DECREF(item);
      Py_DECREF(it);
      throw;
    }
    Py_DECREF(item);
    if (!ok) {
      Py_DECREF(it);
      return false;
    }
    out.push_back(q);
  }
  Py_DECREF(it);
  if (PyErr_Occurred()) {  // the set changed size during iteration
    prefix_argument_error("qubits");
    return false;
  }
  return true;
}

PyObject* method_peek_measure_set(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return with_access<Access::Shared, 1>(
      k_peek_measure_set_signature, self, args, nargs, kwnames, [](GraphState& state, PyObject** bound) -> PyObject* {
        std::vector<Qubit> qubits;
        if (!read_qubit_set(bound[0], qubits)) return nullptr;
        const std::vector<PeekOutcome> outcomes = peek_measure_set(state, std::move(qubits), thread_random_source());
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
    {"cz", fastcall<method_cz>(), kMethodFlags,
     "cz($self, control, target)\n--\n\nApply a controlled-Z (CZ) gate with `control` and `target` qubits."},
    {"cx", fastcall<method_cx>(), kMethodFlags,
     "cx($self, control, target)\n--\n\nApply a controlled-X (CX) / CNOT gate with `control` and `target`."},
    {"xcx", fastcall<method_xcx>(), kMethodFlags,
     "xcx($self, control, target)\n--\n\nApply an X-controlled X gate (CX in the X basis)."},
    {"ycx", fastcall<method_ycx>(), kMethodFlags,
     "ycx($self, control, target)\n--\n\nApply a Y-controlled X gate (control qubit in the Y basis)."},
    {"xcz", fastcall<method_xcz>(), kMethodFlags,
     "xcz($self, control, target)\n--\n\nApply an X-controlled Z gate (target in X basis)."},
    {"ycz", fastcall<method_ycz>(), kMethodFlags,
     "ycz($self, control, target)\n--\n\nApply a Y-controlled Z gate (target in Y basis)."},
    {"cy", fastcall<method_cy>(), kMethodFlags,
     "cy($self, control, target)\n--\n\nApply a controlled-Y (CY) gate with `control` and `target`."},
    {"xcy", fastcall<method_xcy>(), kMethodFlags,
     "xcy($self, control, target)\n--\n\nApply an X-controlled Y gate (control in X basis)."},
    {"ycy", fastcall<method_ycy>(), kMethodFlags,
     "ycy($self, control, target)\n--\n\nApply a Y-controlled Y gate (both in Y basis)."},
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
  if (g_kelvorin == nullptr) g_kelvorin = create_type(g_spec);
  return g_kelvorin;
}

}  // namespace kelvorin::python
