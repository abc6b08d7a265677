// Quantum teleportation with the C++ engine: qubit 0 holds one of the six
// single-qubit stabilizer states, a Bell pair on qubits 1 and 2 carries it to
// qubit 2, and the two measured bits pick the Pauli corrections.  Measuring
// qubit 2 along the state's own axis must then give the prepared sign every
// time; the program fails otherwise.
#include <kelvorin/simulator.h>
#include <cstdio>

using kelvorin::MeasurementResult;
using kelvorin::Simulator;

int main() {
  struct Prepared {
    const char* name;
    kelvorin::Axis axis;
    void (*prepare)(Simulator&);  // from |0> on qubit 0
    MeasurementResult sign;
  };
  const Prepared states[] = {
      {"|0>", kelvorin::axis::Z, [](Simulator&) {}, MeasurementResult::PlusOne},
      {"|1>", kelvorin::axis::Z, [](Simulator& s) { s.x(0); }, MeasurementResult::MinusOne},
      {"|+>", kelvorin::axis::X, [](Simulator& s) { s.h(0); }, MeasurementResult::PlusOne},
      {"|->", kelvorin::axis::X, [](Simulator& s) { s.x(0), s.h(0); }, MeasurementResult::MinusOne},
      {"|+i>", kelvorin::axis::Y, [](Simulator& s) { s.h(0), s.s(0); }, MeasurementResult::PlusOne},
      {"|-i>", kelvorin::axis::Y, [](Simulator& s) { s.h(0), s.sdag(0); }, MeasurementResult::MinusOne},
  };
  int failures = 0;
  for (const Prepared& state : states) {
    int right = 0;
    constexpr int kRuns = 200;
    for (int run = 0; run < kRuns; ++run) {
      Simulator sim(3);
      state.prepare(sim);
      sim.h(1);
      sim.cx(1, 2);  // the Bell pair
      sim.cx(0, 1);
      sim.h(0);
      const MeasurementResult m0 = sim.measure(0, kelvorin::axis::Z);
      const MeasurementResult m1 = sim.measure(1, kelvorin::axis::Z);
      if (m1 == MeasurementResult::MinusOne) sim.x(2);
      if (m0 == MeasurementResult::MinusOne) sim.z(2);
      right += sim.measure(2, state.axis) == state.sign;
    }
    std::printf("%-5s teleported %d of %d times\n", state.name, right, kRuns);
    failures += right != kRuns;
  }
  return failures == 0 ? 0 : 1;
}
