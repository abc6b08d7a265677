// The engine's API: one simulator of a fixed number of qubits, with every
// operation the engine offers.  This is all that the Python module calls,
// and all that a C++ program needs:
//
//   #include <kelvorin/simulator.h>
//
//   kelvorin::Simulator sim(3);
//   sim.h(0);
//   sim.cx(0, 1);                       // a Bell pair on qubits 0 and 1
//   auto m = sim.measure(0, kelvorin::axis::Z);
//   assert(sim.measure(1, kelvorin::axis::Z) == m);
//
// Failures: an index at or beyond the qubit count, equal control and target,
// and the engine's internal checks throw kelvorin::Panic with the message
// the Python module raises as PanicException; a state too large for the
// machine throws std::bad_alloc at construction, and the few operations that
// allocate (entangled_group, peek_measure_set) may throw it too.  Every
// operation either completes or throws with the state exactly as it was.
//
// Random outcomes come from the calling thread's source, keyed by the
// operating system; the overloads taking a `WordSource` draw from the given
// one instead (for reproducible runs and tests).
//
// Threads: the const members (qubit_count, entangled_group, peek_measure_set,
// state, bytes_needed) only read the simulator, with working memory of the
// call's or the calling thread's own, so any number of threads may call them
// on one simulator at once.  Every other member changes it and needs the
// simulator to itself: no other call, const or not, may run on it meanwhile.
// Each thread draws from a random source of its own.
//
// CPU: on x86-64 the engine is compiled for POPCNT (see cpu.h); a program that
// may meet an older CPU calls kelvorin::missing_instruction_set() first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "clifford/tables.h"
#include "cpu.h"
#include "graph_state/entangled_group.h"
#include "graph_state/graph_state.h"
#include "graph_state/measure.h"
#include "graph_state/peek.h"
#include "graph_state/two_qubit_gates.h"
#include "random/random_source.h"

namespace kelvorin {

enum class MeasurementResult : std::uint8_t { PlusOne = 0, MinusOne = 1 };

class Simulator {
 public:
  // `qubit_amount` qubits, each in |0>.  Memory: qubit_amount^2 / 8 bytes
  // of address space, of which only the rows holding edges become resident.
  explicit Simulator(Qubit qubit_amount) : state_(qubit_amount) {}

  // The bytes a simulator of `qubit_amount` qubits asks for at construction;
  // empty when that does not fit in std::size_t.
  static std::optional<std::size_t> bytes_needed(Qubit qubit_amount) noexcept {
    return GraphState::bytes_needed(qubit_amount);
  }

  Qubit qubit_count() const noexcept { return state_.qubit_count(); }

  // Single-qubit gates: Paulis, Hadamard, S = diag(1, i), S^dagger.
  void x(Qubit q) { state_.x(q); }
  void y(Qubit q) { state_.y(q); }
  void z(Qubit q) { state_.z(q); }
  void h(Qubit q) { state_.h(q); }
  void s(Qubit q) { state_.s(q); }
  void sdag(Qubit q) { state_.sdag(q); }

  // Two-qubit gates: [P]c[Q] applies the Pauli Q to `target` when `control`
  // is in the -1 eigenstate of the Pauli P (no first letter: P = Z).
  void apply(TwoQubitGate gate, Qubit control, Qubit target) { apply_two_qubit_gate(state_, gate, control, target); }
#define KELVORIN_GATE_METHOD(name, Enumerator) \
  void name(Qubit control, Qubit target) { apply(TwoQubitGate::Enumerator, control, target); }
  KELVORIN_TWO_QUBIT_GATES(KELVORIN_GATE_METHOD)
#undef KELVORIN_GATE_METHOD

  // Projective measurement of qubit q along `axis` (axis::X, Y or Z); the
  // state collapses and q leaves its entangled group.
  template <WordSource S>
  MeasurementResult measure(Qubit q, Axis axis, S& source) {
    return static_cast<MeasurementResult>(kelvorin::measure(state_, q, axis, source));
  }
  MeasurementResult measure(Qubit q, Axis axis) { return measure(q, axis, thread_random_source()); }

  // The qubits entangled with q (its connected component), q first.
  std::vector<Qubit> entangled_group(Qubit q) const { return kelvorin::entangled_group(state_, q); }

  // Samples measuring the distinct qubits of `qubits` one after another, in
  // ascending order (a qubit with neighbours along a random axis, an isolated
  // one along its eigen-axis), and leaves the state exactly as it was.
  template <WordSource S>
  std::vector<PeekOutcome> peek_measure_set(std::vector<Qubit> qubits, S& source) const {
    return kelvorin::peek_measure_set(state_, std::move(qubits), source);
  }
  std::vector<PeekOutcome> peek_measure_set(std::vector<Qubit> qubits) const {
    return peek_measure_set(std::move(qubits), thread_random_source());
  }

  // The store, read-only: vop(q), adjacent(q) (a RowView), qubit_count().
  const GraphState& state() const noexcept { return state_; }

 private:
  GraphState state_;
};

}  // namespace kelvorin
