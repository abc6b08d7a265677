#include "models.fuzz.h"

#include "graph_state/reference_engine.test.h"
#include "graph_state/store_invariants.test.h"

namespace kelvorin::fuzzing {
namespace {

// Replays the engine's words and notes a draw past them.
struct Replay {
  const std::vector<std::uint32_t>& words;
  std::size_t taken = 0;
  std::uint32_t next_word() { return taken < words.size() ? words[taken++] : (++taken, 0u); }
  std::string error() const {
    if (taken == words.size()) return "";
    return "the reference engine draws " + std::to_string(taken) + " words, the engine " + std::to_string(words.size());
  }
};

}  // namespace

ReferenceModel::ReferenceModel(Qubit n) : store_(std::make_unique<reference::Store>(n)) {}
ReferenceModel::~ReferenceModel() = default;

void ReferenceModel::gate(Qubit q, Vop g) {
  store_->gate(q, g);
}
void ReferenceModel::two_qubit_gate(TwoQubitGate gate, Qubit c, Qubit t) {
  store_->two_qubit_gate(gate, c, t);
}
void ReferenceModel::local_complement(Qubit v) {
  store_->local_complement(v);
}
void ReferenceModel::remove_vop(Qubit v, Qubit avoid) {
  store_->remove_vop(v, avoid);
}
std::set<Qubit> ReferenceModel::entangled_group(Qubit start) const {
  return store_->entangled_group(start);
}

std::uint8_t ReferenceModel::measure(Qubit q, Axis ax, const std::vector<std::uint32_t>& words, std::string& error) {
  Replay replay{words};
  const std::uint8_t bit = store_->measure(q, ax, replay);
  error = replay.error();
  return bit;
}

std::vector<PeekOutcome> ReferenceModel::peek(const std::vector<Qubit>& qubits, const std::vector<std::uint32_t>& words,
                                              std::string& error) const {
  Replay replay{words};
  std::vector<PeekOutcome> out;
  for (const auto& [q, outcome] : store_->peek(qubits, replay)) out.push_back({q, outcome.first, outcome.second});
  error = replay.error();
  return out;
}

std::string ReferenceModel::check(const GraphState& g) const {
  if (const std::string violation = testing::store_violation(g); !violation.empty()) return violation;
  if (const ::testing::AssertionResult same = reference::same_store(*store_, g); !same)
    return std::string("the reference engine differs: ") + same.message();
  return "";
}

}  // namespace kelvorin::fuzzing
