// Sampling the measurement of a set of qubits without disturbing the state.
//
// Every requested qubit is measured in turn: a qubit that still has
// neighbours is measured along an axis drawn uniformly from X, Y, Z; an
// isolated one along the axis in which it is an eigenstate, so that its
// outcome is determined.  The measurements run on the state itself, under a
// journal that saves every row and operator a measurement can change before
// it runs; the journal puts them all back afterwards, however the call ends.
// The result is that of measuring a copy, at the cost of the rows touched.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "../random/random_source.h"
#include "graph_state.h"
#include "measure.h"

namespace kelvorin {

struct PeekOutcome {
  Qubit qubit;
  std::uint8_t bit;  // 0 = +1, 1 = -1
  Axis axis;
};

// Saved rows and operators, restored newest first.
class StateJournal {
 public:
  explicit StateJournal(GraphState& state) noexcept : state_(state) {}
  StateJournal(const StateJournal&) = delete;
  StateJournal& operator=(const StateJournal&) = delete;
  ~StateJournal() { restore(); }

  // Saves VOP(q) and the row of q, whole or not at all: may throw
  // std::bad_alloc, leaving the journal as it was.
  void save(Qubit q) {
    const RowView row = std::as_const(state_).adjacent(q);
    const std::size_t begin = blocks_.size();
    try {
      // The degree is added up from the blocks saved, so that a row whose
      // degree is not kept (see bit_set.h) is not counted a second time.
      std::uint64_t degree = 0;
      row.for_each_block_from(0, [&](std::size_t b, Block word) {
        blocks_.push_back({static_cast<std::uint32_t>(b), word});
        degree += static_cast<unsigned>(std::popcount(word));
        return true;
      });
      rows_.push_back({q, degree, begin, state_.vop(q)});
    } catch (...) {
      blocks_.resize(begin);
      throw;
    }
  }

  // Room for `rows` saved rows of `blocks` non-empty blocks in all, so that
  // saving that much allocates nothing more.  May throw std::bad_alloc.
  void reserve(std::size_t rows, std::size_t blocks) {
    rows_.reserve(rows);
    blocks_.reserve(blocks);
  }

  // Saves everything that carrying out `plan` may change, as the plan says.
  void save_for(const MeasurementPlan& plan) {
    for_each_qubit_changed(state_, plan, [&](Qubit q) { save(q); });
  }

  void restore() noexcept {
    for (std::size_t k = rows_.size(); k-- > 0;) {
      const Saved& saved = rows_[k];
      const std::size_t end = k + 1 < rows_.size() ? rows_[k + 1].begin : blocks_.size();
      state_.adjacent(saved.q).assign(blocks_.data() + saved.begin, end - saved.begin, saved.degree);
      state_.set_vop(saved.q, saved.vop);
      blocks_.resize(saved.begin);
    }
    rows_.clear();
    blocks_.clear();
  }

 private:
  struct Saved {
    Qubit q;
    std::uint64_t degree;
    std::size_t begin;  // first entry in blocks_
    Vop vop;
  };
  GraphState& state_;
  std::vector<Saved> rows_;
  std::vector<BlockWord> blocks_;
};

// Measures each distinct index of `qubits` in ascending order and returns
// (qubit, outcome, axis) per index; `state` is left exactly as it was.  An
// index at or beyond the qubit count stops the call with the out-of-range
// Panic at its turn; nothing is returned then.  Allocation failures throw
// std::bad_alloc.
template <WordSource S>
std::vector<PeekOutcome> peek_measure_set(GraphState& state, std::vector<Qubit> qubits, S& source) {
  std::sort(qubits.begin(), qubits.end());
  qubits.erase(std::unique(qubits.begin(), qubits.end()), qubits.end());
  std::vector<PeekOutcome> results;
  results.reserve(qubits.size());
  StateJournal journal(state);
  const Qubit n = state.qubit_count();
  // Room for the usual saves from the start (see tuning.h).
  const std::size_t rows = std::min(tuning::kPeekRowsPerQubit * qubits.size(), tuning::kPeekRowsMost);
  journal.reserve(rows, tuning::kPeekBlocksPerRow * rows);
  for (const Qubit q : qubits) {
    check_index(n, q);
    Axis axis;
    if (!state.adjacent(q).empty()) {
      const std::int32_t drawn = uniform_int(source, 0, 3);
      if (drawn < 0 || drawn > 2) panic("internal error: entered unreachable code: rng generates in the range 0..3");
      axis = static_cast<Axis>(drawn);
    } else {
      // An isolated qubit along its eigen-axis: determined, nothing changes.
      axis = isolated_axis(clifford_adjoint(state.vop(q)));
    }
    const MeasurementPlan plan = plan_measurement(state, q, axis);
    journal.save_for(plan);
    const std::uint8_t bit = measure(state, plan, source);
    results.push_back({q, bit, axis});
  }
  return results;
}

}  // namespace kelvorin
