// Coverage-guided fuzzing of the engine (libFuzzer).
//
// An input is decoded into a qubit count (0 .. 64) and a sequence of
// operations: the six single-qubit gates, the nine two-qubit gates,
// measurements along X, Y and Z, entangled groups, peeks at sets of qubits,
// local complementation and operator reduction.  Indices are mostly valid and
// sometimes out of range (at and past the count, across block boundaries, up
// to 2^64 - 1); random words for the measurements come from the input too, so
// every input replays exactly.
//
// After every operation the store must be well formed: adjacency symmetric and
// without self-loops, every VOP below 24, bits past the row length clear, and
// the row queries (count, empty, first, iteration) agreeing with the raw
// blocks.  A failing operation must throw Panic with the exact message its
// check order selects and leave the store exactly as it was.  Up to eight
// qubits a dense state vector follows along: every gate must act as its
// matrix, every measurement as the projection onto the reported eigenspace
// with probability 1/2 or 1, and every peek must report a joint outcome of
// non-zero probability.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph_state/bit_set.test.h"
#include "graph_state/controlled_z.h"
#include "graph_state/entangled_group.h"
#include "graph_state/graph_state.h"
#include "graph_state/local_complement.h"
#include "graph_state/measure.h"
#include "graph_state/peek.h"
#include "graph_state/reduction.h"
#include "graph_state/row_operations.h"
#include "graph_state/state_vector.test.h"
#include "graph_state/two_qubit_gates.h"
#include "panic.h"

namespace kelvorin::fuzzing {
namespace {

using testing::StateVector;

constexpr std::size_t kOracleQubits = 8;
constexpr Qubit kMaxQubits = 64;

[[noreturn]] void fail(const std::string& what, const GraphState& g) {
  std::fprintf(stderr, "fuzz check failed: %s\nstore: %s\n", what.c_str(), testing::describe(g).c_str());
  std::abort();
}

void require(bool ok, const std::string& what, const GraphState& g) {
  if (!ok) fail(what, g);
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Random words from the input, four bytes each; once the input is used up,
// a fixed sequence.  Counts what it hands out.
class InputWords {
 public:
  explicit InputWords(Input& in) : in_(in) {}
  std::uint32_t next_word() {
    ++taken_;
    if (in_.done()) {
      tail_ = tail_ * 6364136223846793005u + 1442695040888963407u;
      return static_cast<std::uint32_t>(tail_ >> 32);
    }
    std::uint32_t w = 0;
    for (int k = 0; k < 4; ++k) w = (w << 8) | in_.byte();
    return w;
  }
  std::size_t taken() const { return taken_; }

 private:
  Input& in_;
  std::uint64_t tail_ = 0x853c49e6748cea9bu;
  std::size_t taken_ = 0;
};

// Mostly a valid index; with the top bits set one at or past the count.
Qubit decode_index(std::uint8_t b, Qubit n) {
  if (b < 0xe0) return n == 0 ? b : b % n;
  static constexpr Qubit kPast[] = {0, 1, 31, 32, 33, 64};
  switch (b & 0x0f) {
    case 6:
      return Qubit{1} << 32;
    case 7:
      return Qubit{1} << 63;
    case 8:
      return ~Qubit{0};
    case 9:
      return ~Qubit{0} - 1;
    default:
      return n + kPast[(b & 0x0f) % 6];
  }
}

std::string index_message(Qubit len, Qubit index) {
  return "index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index);
}

std::string same_qubit_message(Qubit a, Qubit b) {
  return "assertion `left != right` failed: Same control and target not allowed\n  left: " + std::to_string(a) +
         "\n right: " + std::to_string(b);
}

// The store's invariants, with the row queries checked against the blocks.
void check_store(const GraphState& g) {
  const Qubit n = g.qubit_count();
  require(g.vops().size() == n, "VOP vector length", g);
  for (Qubit i = 0; i < n; ++i) {
    require(g.vop(i) < kVopCount, "VOP of " + std::to_string(i) + " is " + std::to_string(g.vop(i)), g);
    const RowView row = g.adjacent(i);
    require(row.bit_len() == n, "row length", g);
    require(row.block_count() == blocks_for_bits(n), "row block count", g);
    const Block* blocks = row.blocks();
    std::uint64_t raw = 0;
    Qubit lowest = n;
    for (std::size_t b = 0; b < row.block_count(); ++b) {
      raw += static_cast<unsigned>(std::popcount(blocks[b]));
      if (lowest == n && blocks[b] != 0) lowest = b * kBlockBits + static_cast<unsigned>(std::countr_zero(blocks[b]));
    }
    if (n % kBlockBits != 0 && row.block_count() != 0) {
      const Block tail = blocks[row.block_count() - 1] >> (n % kBlockBits);
      require(tail == 0, "bits past the length in row " + std::to_string(i), g);
    }
    require(!row.contains(i), "self-loop at " + std::to_string(i), g);
    require(row.count() == raw, "count of row " + std::to_string(i), g);
    require(row.empty() == (raw == 0), "emptiness of row " + std::to_string(i), g);
    require(row.first() == lowest, "first member of row " + std::to_string(i), g);
    std::uint64_t seen = 0;
    Qubit previous = 0;
    row.for_each([&](Qubit j) {
      require(j < n && (seen == 0 || j > previous), "iteration order of row " + std::to_string(i), g);
      require(row.contains(j), "iterated non-member", g);
      require(g.adjacent(j).contains(i), "one-sided edge " + std::to_string(i) + "-" + std::to_string(j), g);
      previous = j;
      ++seen;
    });
    require(seen == raw, "iteration count of row " + std::to_string(i), g);
  }
}

// A Panic with exactly `expected`, and the store as it was before.
template <class F>
void expect_failure(GraphState& g, const std::string& expected, F&& op) {
  const GraphState before(g);
  try {
    op();
  } catch (const Panic& p) {
    require(p.message() == expected, "message \"" + p.message() + "\", expected \"" + expected + "\"", g);
    require(g == before, "a failed operation changed the store", g);
    return;
  }
  fail("no Panic; expected \"" + expected + "\"", g);
}

// The qubits each two-qubit gate touches before its CZ, in order (true =
// control), and the argument order of the CZ.
struct GateChecks {
  int count;
  bool before[2];
  bool cz_control_first;
};
constexpr GateChecks kGateChecks[kTwoQubitGateCount] = {
    /* cz  */ {0, {}, true},
    /* cx  */ {1, {false}, true},
    /* xcx */ {2, {true, false}, true},
    /* ycx */ {2, {true, false}, true},
    /* xcz */ {1, {true}, false},
    /* ycz */ {1, {true}, false},
    /* cy  */ {1, {false}, true},
    /* xcy */ {2, {false, true}, false},
    /* ycy */ {2, {false, true}, true},
};

// The message a two-qubit gate must fail with, or "" when it must succeed.
std::string two_qubit_failure(TwoQubitGate gate, Qubit n, Qubit c, Qubit t) {
  const GateChecks& checks = kGateChecks[static_cast<std::size_t>(gate)];
  for (int k = 0; k < checks.count; ++k) {
    const Qubit q = checks.before[k] ? c : t;
    if (q >= n) return index_message(n, q);
  }
  const Qubit a = checks.cz_control_first ? c : t;
  const Qubit b = checks.cz_control_first ? t : c;
  if (a == b) return same_qubit_message(a, b);
  if (a >= n) return index_message(n, a);
  if (b >= n) return index_message(n, b);
  return "";
}

class Run {
 public:
  Run(Input& in, Qubit n) : in_(in), words_(in), g_(n), oracle_(n <= kOracleQubits) {
    if (oracle_) sv_.emplace_back(static_cast<std::size_t>(n));
  }

  void step() {
    const std::uint8_t op = in_.byte();
    const Qubit n = g_.qubit_count();
    const unsigned kind = op % 22u;
    if (kind < 6) {
      single_qubit(kind, decode_index(in_.byte(), n));
    } else if (kind < 15) {
      const Qubit c = decode_index(in_.byte(), n);
      const Qubit t = decode_index(in_.byte(), n);
      two_qubit(static_cast<TwoQubitGate>(kind - 6), c, t);
    } else if (kind < 18) {
      measurement(static_cast<Axis>(kind - 15), decode_index(in_.byte(), n));
    } else if (kind == 18) {
      group(decode_index(in_.byte(), n));
    } else if (kind == 19) {
      std::vector<Qubit> request(in_.byte() % 9u);
      for (Qubit& q : request) q = decode_index(in_.byte(), n);
      peek(request);
    } else if (kind == 20) {
      complement(decode_index(in_.byte(), n));
    } else {
      const Qubit v = decode_index(in_.byte(), n);
      reduce(v, decode_index(in_.byte(), n));
    }
    check_store(g_);
    check_oracle();
  }

 private:
  StateVector& sv() { return sv_.front(); }

  void check_oracle() {
    if (oracle_) require(testing::equal_up_to_phase(StateVector::from_graph_state(g_), sv()), "state vector", g_);
  }

  void single_qubit(unsigned kind, Qubit q) {
    const Qubit n = g_.qubit_count();
    static constexpr void (GraphState::* kGates[6])(Qubit) = {&GraphState::x, &GraphState::y, &GraphState::z,
                                                              &GraphState::h, &GraphState::s, &GraphState::sdag};
    static constexpr void (StateVector::* kMatrices[6])(std::size_t) = {
        &StateVector::x, &StateVector::y, &StateVector::z, &StateVector::h, &StateVector::s, &StateVector::sdag};
    if (q >= n) return expect_failure(g_, index_message(n, q), [&] { (g_.*kGates[kind])(q); });
    (g_.*kGates[kind])(q);
    if (oracle_) (sv().*kMatrices[kind])(static_cast<std::size_t>(q));
  }

  void two_qubit(TwoQubitGate gate, Qubit c, Qubit t) {
    const std::string expected = two_qubit_failure(gate, g_.qubit_count(), c, t);
    if (!expected.empty()) return expect_failure(g_, expected, [&] { apply_two_qubit_gate(g_, gate, c, t); });
    apply_two_qubit_gate(g_, gate, c, t);
    if (oracle_) sv().two_qubit_gate(gate, static_cast<std::size_t>(c), static_cast<std::size_t>(t));
  }

  void measurement(Axis ax, Qubit q) {
    const Qubit n = g_.qubit_count();
    if (q >= n) return expect_failure(g_, index_message(n, q), [&] { measure(g_, q, ax, words_); });
    const std::size_t before = words_.taken();
    const std::uint8_t bit = measure(g_, q, ax, words_);
    const std::size_t drawn = words_.taken() - before;
    require(bit <= 1 && drawn <= 1, "outcome bit or words drawn", g_);
    require(g_.adjacent(q).empty(), "measured qubit keeps edges", g_);
    check_store(g_);
    if (oracle_) {
      const auto projection = sv().project(static_cast<std::size_t>(q), ax, bit);
      const double expected = drawn == 1 ? 0.5 : 1.0;
      require(std::abs(projection.probability - expected) < 1e-9,
              "outcome probability " + std::to_string(projection.probability), g_);
      sv() = projection.state;
      check_oracle();
    }
    // Measuring again along the same axis repeats, drawing nothing.
    const std::size_t again = words_.taken();
    require(measure(g_, q, ax, words_) == bit && words_.taken() == again, "repeated measurement", g_);
  }

  void group(Qubit start) {
    const Qubit n = g_.qubit_count();
    if (start >= n) return expect_failure(g_, index_message(n, start), [&] { entangled_group(g_, start); });
    const std::vector<Qubit> members = entangled_group(g_, start);
    require(!members.empty() && members.front() == start, "group starts with its qubit", g_);
    BitSet in(n);
    for (std::size_t k = 0; k < members.size(); ++k) {
      const Qubit m = members[k];
      require(m < n && in.insert(m), "group member out of range or repeated", g_);
      // Breadth-first: every later member is a neighbour of an earlier one.
      if (k > 0) {
        bool reached = false;
        for (std::size_t e = 0; e < k && !reached; ++e) reached = g_.adjacent(members[e]).contains(m);
        require(reached, "group member not reached from earlier ones", g_);
      }
    }
    for (const Qubit m : members)
      g_.adjacent(m).for_each([&](Qubit v) { require(in.contains(v), "group not closed under adjacency", g_); });
  }

  void peek(const std::vector<Qubit>& request) {
    const Qubit n = g_.qubit_count();
    std::vector<Qubit> past;
    for (const Qubit q : request)
      if (q >= n) past.push_back(q);
    if (!past.empty()) {
      // Which out-of-range index is met first is the engine's choice.
      const GraphState before(g_);
      try {
        peek_measure_set(g_, request, words_);
      } catch (const Panic& p) {
        bool named = false;
        for (const Qubit q : past) named = named || p.message() == index_message(n, q);
        require(named, "peek failed with \"" + p.message() + "\"", g_);
        require(g_ == before, "a failed peek changed the store", g_);
        return;
      }
      fail("peek with an out-of-range index did not fail", g_);
    }
    const GraphState before(g_);
    const std::vector<PeekOutcome> outcomes = peek_measure_set(g_, request, words_);
    require(g_ == before, "peek changed the store", g_);
    BitSet wanted(n), got(n);
    for (const Qubit q : request) wanted.insert(q);
    for (const PeekOutcome& o : outcomes) {
      require(o.qubit < n && got.insert(o.qubit), "peek reported a qubit twice or out of range", g_);
      require(o.bit <= 1 && o.axis <= axis::Z, "peek outcome or axis out of range", g_);
      // A qubit isolated in the state is reported along its eigen-axis.
      if (g_.adjacent(o.qubit).empty())
        require(o.axis == isolated_axis(clifford_adjoint(g_.vop(o.qubit))), "axis of an isolated qubit", g_);
    }
    require(got == wanted, "peek keys differ from the request", g_);
    if (oracle_) {
      // The observables act on distinct qubits and commute, so the joint
      // outcome's probability does not depend on the order.
      StateVector projected = sv();
      for (const PeekOutcome& o : outcomes) {
        const auto p = projected.project(static_cast<std::size_t>(o.qubit), o.axis, o.bit);
        require(p.probability > 1e-9, "peek reported an impossible joint outcome", g_);
        projected = p.state;
      }
    }
  }

  void complement(Qubit v) {
    const Qubit n = g_.qubit_count();
    if (v >= n) return expect_failure(g_, index_message(n, v), [&] { local_complement(g_, v); });
    local_complement(g_, v);
  }

  void reduce(Qubit v, Qubit avoid) {
    const Qubit n = g_.qubit_count();
    if (v >= n) return expect_failure(g_, index_message(n, v), [&] { remove_vop(g_, v, avoid); });
    if (avoid >= n || avoid == v) return;  // never called so
    bool has_partner = false;
    g_.adjacent(v).for_each([&](Qubit j) { has_partner = has_partner || j != avoid; });
    remove_vop(g_, v, avoid);
    if (has_partner) require(g_.vop(v) == vop::I, "reduction did not reach the identity", g_);
  }

  Input& in_;
  InputWords words_;
  GraphState g_;
  bool oracle_;
  std::vector<StateVector> sv_;  // one element when the oracle runs
};

}  // namespace
}  // namespace kelvorin::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvorin::fuzzing;
  Input in(data, size);
  const std::uint8_t first = in.byte();
  // The top bit picks a size the dense model can follow.
  const kelvorin::Qubit n = (first & 0x80) != 0 ? first % (kOracleQubits + 1) : first % (kMaxQubits + 1);
  Run run(in, n);
  check_store(kelvorin::GraphState(n));
  while (!in.done()) run.step();
  return 0;
}
