// The model the fuzzer checks the engine against: the literal reference
// engine (reference_engine.test.h) and the whole-store invariant check
// (store_invariants.test.h).  It is compiled apart from the harness, without
// the fuzzer's instrumentation: guidance comes from the engine's code, and
// the model's work and the checks after every operation would otherwise cost
// most of the time.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "graph_state/graph_state.h"
#include "graph_state/peek.h"
#include "graph_state/two_qubit_gates.h"

namespace kelvorin::reference {
struct Store;
}

namespace kelvorin::fuzzing {

class ReferenceModel {
 public:
  explicit ReferenceModel(Qubit n);
  ~ReferenceModel();
  ReferenceModel(const ReferenceModel&) = delete;
  ReferenceModel& operator=(const ReferenceModel&) = delete;

  // The operations, on valid arguments only.
  void gate(Qubit q, Vop g);
  void two_qubit_gate(TwoQubitGate gate, Qubit c, Qubit t);
  void local_complement(Qubit v);
  void remove_vop(Qubit v, Qubit avoid);
  std::set<Qubit> entangled_group(Qubit start) const;
  // A measurement and a peek from `words`, the words the engine drew, which
  // they must take exactly; otherwise `error` says how they differ.
  std::uint8_t measure(Qubit q, Axis ax, const std::vector<std::uint32_t>& words, std::string& error);
  std::vector<PeekOutcome> peek(const std::vector<Qubit>& qubits, const std::vector<std::uint32_t>& words,
                                std::string& error) const;

  // "" when `g` holds exactly the model's VOPs and edges and is well formed;
  // otherwise the first difference or violation.
  std::string check(const GraphState& g) const;

 private:
  std::unique_ptr<reference::Store> store_;
};

}  // namespace kelvorin::fuzzing
