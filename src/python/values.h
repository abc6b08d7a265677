// The value classes MeasurementResult, Axis and Outcome.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace kelvorin::python {

// The type objects, created on first need and kept for the runtime
// (runtime.h); nullptr with an exception set when creation fails.
PyTypeObject* measurement_result_type();
PyTypeObject* axis_type();
PyTypeObject* outcome_type();

// A new MeasurementResult for an outcome bit (0 = PlusOne, 1 = MinusOne).
PyObject* new_measurement_result(std::uint8_t bit);
// Sets the bit of a MeasurementResult made by new_measurement_result that no
// one else has seen yet.
void set_measurement_bit(PyObject* result, std::uint8_t bit) noexcept;
// A new Axis for an axis number (X = 0, Y = 1, Z = 2).
PyObject* new_axis(std::uint8_t axis);
// A new Outcome for an outcome bit and the axis it was measured along.
PyObject* new_outcome(std::uint8_t bit, std::uint8_t axis);

}  // namespace kelvorin::python
