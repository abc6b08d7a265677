// Coverage-guided fuzzing of the engine (libFuzzer).
//
// An input is decoded into a store size and a sequence of operations: the six
// single-qubit gates, the nine two-qubit gates, measurements along X, Y and Z,
// entangled groups, peeks at sets of qubits, local complementation and
// operator reduction.  Indices are mostly valid and sometimes out of range (at
// and past the count, across block boundaries, up to 2^64 - 1); random words
// for the measurements come from the input too, so every input replays
// exactly.  fuzz/README.md gives the byte format.
//
// The first byte picks a size class:
// - up to 64 qubits (rows of at most two blocks), with a dense state vector
//   following along up to eight qubits: every gate must act as its matrix,
//   every measurement as the projection onto the reported eigenspace with
//   probability 1/2 or 1, and every peek must report a joint outcome of
//   non-zero probability;
// - 500 to 3,100 qubits: rows that are short (up to 2048 qubits), with
//   reductions on the stack, or keep summaries, with reductions on scratch
//   rows; with two-byte indices and two bulk operations that grow hubs (a
//   fan of gates from one qubit) and GHZ chains (each gate moves a star's
//   centre).  An
//   input there ends early once it has run kLargeOperationsMost operations or
//   a vertex has more than kHubMost neighbours, which bounds its cost.
//
// In every class the literal reference engine (reference_engine.test.h, run
// by fuzz/models.fuzz.cc) follows along, and after every operation both stores must be bit-identical
// and the engine's store well formed (store_invariants.test.h), with the
// same outcomes from the same random words.  A failing operation must throw
// Panic with the exact message its check order selects and leave the store
// exactly as it was.  The seeds of fuzz/corpus are written by this program
// (--write-seeds, at the end of this file).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
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
#include "graph_state/tuning.h"
#include "graph_state/two_qubit_gates.h"
#include "models.fuzz.h"
#include "panic.h"

namespace kelvorin::fuzzing {
namespace {

using testing::StateVector;

constexpr std::size_t kOracleQubits = 8;
constexpr Qubit kMaxQubits = 64;
// The large class: kLargeFewest + (two bytes) % kLargeSizes qubits.
constexpr Qubit kLargeFewest = 500;
constexpr Qubit kLargeSizes = 2601;
// Bounds on an input of the large class, where the reference engine's
// complementations cost the square of a degree and every check reads the
// whole store: it stops after this many operations (each gate of a bulk
// operation counted), or once a vertex has more neighbours than this.
constexpr std::size_t kLargeOperationsMost = 320;
constexpr std::uint64_t kHubMost = 300;
// Bulk operations apply at most this many gates.
constexpr unsigned kBulkMost = 64;

[[noreturn]] void fail(const std::string& what, const GraphState& g) {
  const std::string store =
      g.qubit_count() <= kMaxQubits ? testing::describe(g) : std::to_string(g.qubit_count()) + " qubits";
  std::fprintf(stderr, "fuzz check failed: %s\nstore: %s\n", what.c_str(), store.c_str());
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
// a fixed sequence.
class InputWords {
 public:
  explicit InputWords(Input& in) : in_(in) {}
  std::uint32_t next_word() {
    if (in_.done()) {
      tail_ = tail_ * 6364136223846793005u + 1442695040888963407u;
      return static_cast<std::uint32_t>(tail_ >> 32);
    }
    std::uint32_t w = 0;
    for (int k = 0; k < 4; ++k) w = (w << 8) | in_.byte();
    return w;
  }

 private:
  Input& in_;
  std::uint64_t tail_ = 0x853c49e6748cea9bu;
};

// The engine's words as it draws them, for the reference engine to replay.
struct RecordedWords {
  InputWords& source;
  std::vector<std::uint32_t> words;
  std::uint32_t next_word() { return words.emplace_back(source.next_word()); }
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
  // `large`: the large class (two-byte indices, bulk operations, bounds).
  Run(Input& in, Qubit n, bool large)
      : in_(in),
        input_words_(in),
        words_{input_words_, {}},
        g_(n),
        ref_(n),
        oracle_(n <= kOracleQubits),
        large_(large) {
    if (oracle_) sv_.emplace_back(static_cast<std::size_t>(n));
    check();
  }

  // Whether the input goes on: bytes are left and, in the large class, the
  // bounds are not reached.
  bool going() const { return !in_.done() && !ended_; }

  void step() {
    const std::uint8_t op = in_.byte();
    const unsigned kind = op % (large_ ? 24u : 22u);
    if (kind < 6) {
      single_qubit(kind, index());
    } else if (kind < 15) {
      const Qubit c = index();
      const Qubit t = index();
      two_qubit(static_cast<TwoQubitGate>(kind - 6), c, t);
    } else if (kind < 18) {
      measurement(static_cast<Axis>(kind - 15), index());
    } else if (kind == 18) {
      group(index());
    } else if (kind == 19) {
      std::vector<Qubit> request(in_.byte() % 9u);
      for (Qubit& q : request) q = index();
      peek(request);
    } else if (kind == 20) {
      complement(index());
    } else if (kind == 21) {
      const Qubit v = index();
      reduce(v, index());
    } else {
      bulk(kind == 22);
      return;  // checked after each of its gates
    }
    check();
  }

 private:
  StateVector& sv() { return sv_.front(); }

  // An index from one byte, or in the large class from two unless the first
  // picks one out of range.
  Qubit index() {
    const std::uint8_t b = in_.byte();
    const Qubit n = g_.qubit_count();
    if (!large_ || b >= 0xe0) return decode_index(b, n);
    return ((Qubit{b} << 8) | in_.byte()) % n;
  }

  // The engine's store is well formed and the reference engine's.
  void check_stores() {
    if (const std::string wrong = ref_.check(g_); !wrong.empty()) fail(wrong, g_);
  }

  // After every operation: the stores as above, the dense state the same
  // state; the large class ends at its bounds.
  void check() {
    check_stores();
    if (oracle_) require(testing::equal_up_to_phase(StateVector::from_graph_state(g_), sv()), "state vector", g_);
    if (!large_) return;
    std::uint64_t degree = 0;
    for (Qubit q = 0; q < g_.qubit_count(); ++q) degree = std::max(degree, g_.adjacent(q).count());
    ended_ = ended_ || ++operations_ >= kLargeOperationsMost || degree > kHubMost;
  }

  void single_qubit(unsigned kind, Qubit q) {
    const Qubit n = g_.qubit_count();
    static constexpr void (GraphState::* kGates[6])(Qubit) = {&GraphState::x, &GraphState::y, &GraphState::z,
                                                              &GraphState::h, &GraphState::s, &GraphState::sdag};
    static constexpr Vop kVops[6] = {vop::X, vop::Y, vop::Z, vop::H, vop::S, vop::Sdag};
    static constexpr void (StateVector::* kMatrices[6])(std::size_t) = {
        &StateVector::x, &StateVector::y, &StateVector::z, &StateVector::h, &StateVector::s, &StateVector::sdag};
    if (q >= n) return expect_failure(g_, index_message(n, q), [&] { (g_.*kGates[kind])(q); });
    (g_.*kGates[kind])(q);
    ref_.gate(q, kVops[kind]);
    if (oracle_) (sv().*kMatrices[kind])(static_cast<std::size_t>(q));
  }

  void two_qubit(TwoQubitGate gate, Qubit c, Qubit t) {
    const std::string expected = two_qubit_failure(gate, g_.qubit_count(), c, t);
    if (!expected.empty()) return expect_failure(g_, expected, [&] { apply_two_qubit_gate(g_, gate, c, t); });
    apply_two_qubit_gate(g_, gate, c, t);
    ref_.two_qubit_gate(gate, c, t);
    if (oracle_) sv().two_qubit_gate(gate, static_cast<std::size_t>(c), static_cast<std::size_t>(t));
  }

  // A fan (one qubit against a stretch of others with a stride) or a chain
  // (each qubit of the stretch against the next) of one two-qubit gate.
  void bulk(bool fan) {
    const std::uint8_t spec = in_.byte();
    const auto gate = static_cast<TwoQubitGate>(spec % kTwoQubitGateCount);
    const bool reversed = (spec / kTwoQubitGateCount) % 2 != 0;  // the hub or the later qubit is the control
    const Qubit hub = fan ? index() : 0;
    const Qubit start = index();
    const Qubit stride = 1 + in_.byte() % 8u;
    const unsigned count = 1 + in_.byte() % kBulkMost;
    const Qubit n = g_.qubit_count();
    const auto apply = [&](Qubit a, Qubit b) {
      if (reversed) std::swap(a, b);
      two_qubit(gate, a, b);
      check();
    };
    if (hub >= n || start >= n) return apply(fan ? hub : start, fan ? start : start + stride);  // fails
    for (unsigned k = 0; k < count && !ended_; ++k) {
      const Qubit q = (start + k * stride) % n;
      if (fan && q != hub) apply(hub, q);
      if (!fan) apply(q, (q + stride) % n);
    }
  }

  // The engine's measurement and the reference's, from the same words.
  std::uint8_t measure_both(Qubit q, Axis ax) {
    words_.words.clear();
    const std::uint8_t bit = measure(g_, q, ax, words_);
    std::string error;
    require(ref_.measure(q, ax, words_.words, error) == bit, "the reference engine measures otherwise", g_);
    require(error.empty(), error, g_);
    return bit;
  }

  void measurement(Axis ax, Qubit q) {
    const Qubit n = g_.qubit_count();
    if (q >= n) {
      return expect_failure(g_, index_message(n, q), [&] { measure(g_, q, ax, words_); });
    }
    const std::uint8_t bit = measure_both(q, ax);
    const std::size_t drawn = words_.words.size();
    require(bit <= 1 && drawn <= 1, "outcome bit or words drawn", g_);
    require(g_.adjacent(q).empty(), "measured qubit keeps edges", g_);
    check_stores();
    if (oracle_) {
      const auto projection = sv().project(static_cast<std::size_t>(q), ax, bit);
      const double expected = drawn == 1 ? 0.5 : 1.0;
      require(std::abs(projection.probability - expected) < 1e-9,
              "outcome probability " + std::to_string(projection.probability), g_);
      sv() = projection.state;
    }
    // Measuring again along the same axis repeats, drawing nothing.
    require(measure_both(q, ax) == bit && words_.words.empty(), "repeated measurement", g_);
  }

  void group(Qubit start) {
    const Qubit n = g_.qubit_count();
    if (start >= n) return expect_failure(g_, index_message(n, start), [&] { entangled_group(g_, start); });
    const std::vector<Qubit> members = entangled_group(g_, start);
    require(!members.empty() && members.front() == start, "group starts with its qubit", g_);
    require(std::set<Qubit>(members.begin(), members.end()) == ref_.entangled_group(start),
            "the reference engine's group differs", g_);
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
    words_.words.clear();
    const std::vector<PeekOutcome> outcomes = peek_measure_set(g_, request, words_);
    require(g_ == before, "peek changed the store", g_);
    std::string error;
    const std::vector<PeekOutcome> expected = ref_.peek(request, words_.words, error);
    require(error.empty(), error, g_);
    require(outcomes.size() == expected.size(), "the reference engine peeks at other qubits", g_);
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
      const PeekOutcome& o = outcomes[k];
      require(o.qubit == expected[k].qubit && o.bit == expected[k].bit && o.axis == expected[k].axis,
              "the reference engine peeks otherwise at " + std::to_string(o.qubit), g_);
      // A qubit isolated in the state is reported along its eigen-axis.
      if (g_.adjacent(o.qubit).empty())
        require(o.axis == isolated_axis(clifford_adjoint(g_.vop(o.qubit))), "axis of an isolated qubit", g_);
    }
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
    ref_.local_complement(v);
  }

  void reduce(Qubit v, Qubit avoid) {
    const Qubit n = g_.qubit_count();
    if (v >= n) return expect_failure(g_, index_message(n, v), [&] { remove_vop(g_, v, avoid); });
    if (avoid >= n || avoid == v) return;  // never called so
    bool has_partner = false;
    g_.adjacent(v).for_each([&](Qubit j) { has_partner = has_partner || j != avoid; });
    remove_vop(g_, v, avoid);
    ref_.remove_vop(v, avoid);
    if (has_partner) require(g_.vop(v) == vop::I, "reduction did not reach the identity", g_);
  }

  Input& in_;
  InputWords input_words_;
  RecordedWords words_;
  GraphState g_;
  ReferenceModel ref_;
  bool oracle_;
  bool large_;
  std::vector<StateVector> sv_;  // one element when the oracle runs
  std::size_t operations_ = 0;
  bool ended_ = false;
};

// ---------------------------------------------------------------- seeds ---
// The seed inputs of fuzz/corpus (seed-*): GHZ chains, stars and rounds of
// the rotated surface code in each size class, written in the byte format
// above.  Each circuit runs on a store of its own as it is written, so that a
// measurement is followed by exactly the random words it draws and the input
// replays as written.
class SeedWriter {
 public:
  explicit SeedWriter(Qubit n) : g_(n), large_(n > kMaxQubits) {
    if (large_ && (n < kLargeFewest || n >= kLargeFewest + kLargeSizes)) fail("seed size outside the classes", g_);
    if (large_) {
      const Qubit offset = n - kLargeFewest;
      bytes_ = {static_cast<std::uint8_t>(kMaxQubits + 1), static_cast<std::uint8_t>(offset >> 8),
                static_cast<std::uint8_t>(offset & 0xff)};
    } else {
      bytes_ = {static_cast<std::uint8_t>(n)};
    }
  }
  Qubit n() const { return g_.qubit_count(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  void single(unsigned kind, Qubit q) {
    static constexpr Vop kVops[6] = {vop::X, vop::Y, vop::Z, vop::H, vop::S, vop::Sdag};
    bytes_.push_back(static_cast<std::uint8_t>(kind));
    index(q);
    g_.apply_gate(q, kVops[kind]);
    counted();
  }
  void h(Qubit q) { single(3, q); }
  void s(Qubit q) { single(4, q); }
  void gate(TwoQubitGate gate, Qubit c, Qubit t) {
    bytes_.push_back(static_cast<std::uint8_t>(6 + static_cast<unsigned>(gate)));
    index(c);
    index(t);
    apply(gate, c, t);
  }
  void cx(Qubit c, Qubit t) { gate(TwoQubitGate::CX, c, t); }
  void measure(Axis ax, Qubit q) {
    bytes_.push_back(static_cast<std::uint8_t>(15 + ax));
    index(q);
    Words words{*this};
    kelvorin::measure(g_, q, ax, words);
    counted();
  }
  void complement(Qubit v) {
    bytes_.push_back(20);
    index(v);
    local_complement(g_, v);
    counted();
  }
  void reduce(Qubit v, Qubit avoid) {
    bytes_.push_back(21);
    index(v);
    index(avoid);
    remove_vop(g_, v, avoid);
    counted();
  }
  // The bulk operations of the large class (see Run::bulk).
  void fan(TwoQubitGate gate, Qubit hub, Qubit start, Qubit stride, unsigned count) {
    bulk_header(22, gate, stride, count, hub, start);
    for (unsigned k = 0; k < count; ++k)
      if ((start + k * stride) % n() != hub) apply(gate, hub, (start + k * stride) % n());
  }
  void chain(TwoQubitGate gate, Qubit start, Qubit stride, unsigned count) {
    bulk_header(23, gate, stride, count, start, start);
    for (unsigned k = 0; k < count; ++k) apply(gate, (start + k * stride) % n(), (start + (k + 1) * stride) % n());
  }

 private:
  // Words for the measurements, written into the input as they are drawn.
  struct Words {
    SeedWriter& writer;
    std::uint32_t next_word() {
      writer.word_ = writer.word_ * 1664525u + 1013904223u;
      for (int k = 3; k >= 0; --k) writer.bytes_.push_back(static_cast<std::uint8_t>(writer.word_ >> (8 * k)));
      return writer.word_;
    }
  };

  void index(Qubit q) {
    if (q >= n()) fail("seed index out of range", g_);
    if (large_) bytes_.push_back(static_cast<std::uint8_t>(q >> 8));
    bytes_.push_back(static_cast<std::uint8_t>(q & 0xff));
  }
  void bulk_header(std::uint8_t kind, TwoQubitGate gate, Qubit stride, unsigned count, Qubit hub, Qubit start) {
    if (!large_ || stride < 1 || stride > 8 || count < 1 || count > kBulkMost) fail("seed bulk operation", g_);
    bytes_.push_back(kind);
    bytes_.push_back(static_cast<std::uint8_t>(gate));
    if (kind == 22) index(hub);
    index(start);
    bytes_.push_back(static_cast<std::uint8_t>(stride - 1));
    bytes_.push_back(static_cast<std::uint8_t>(count - 1));
  }
  void apply(TwoQubitGate gate, Qubit c, Qubit t) {
    apply_two_qubit_gate(g_, gate, c, t);
    counted();
  }
  // A seed must run to its end: within the large class's bounds.
  void counted() {
    if (!large_) return;
    std::uint64_t degree = 0;
    for (Qubit q = 0; q < n(); ++q) degree = std::max(degree, g_.adjacent(q).count());
    if (++operations_ + 1 >= kLargeOperationsMost || degree > kHubMost) fail("seed past the bounds", g_);
  }

  GraphState g_;
  bool large_;
  std::vector<std::uint8_t> bytes_;
  std::uint32_t word_ = 12345;
  std::size_t operations_ = 0;
};

// `rounds` rounds of syndrome extraction of the rotated surface code of
// distance d, its qubit k at qubit k * spread of the store: X-type ancillas
// prepared and read out through H, four layers of CX, each ancilla measured
// along Z.
void surface_code_rounds(SeedWriter& w, int d, int rounds, Qubit spread) {
  const auto data = [&](int i, int j) { return static_cast<Qubit>(i * d + j) * spread; };
  struct Ancilla {
    Qubit q;
    bool x_type;
    std::vector<Qubit> data;
  };
  std::vector<Ancilla> ancillas;
  Qubit next = static_cast<Qubit>(d * d);
  for (int i = -1; i < d; ++i)
    for (int j = -1; j < d; ++j) {
      const bool x_type = (i + j) % 2 == 0;
      const bool inside = i >= 0 && j >= 0 && i < d - 1 && j < d - 1;
      const bool x_edge = x_type && (i == -1 || i == d - 1) && j >= 0 && j < d - 1;
      const bool z_edge = !x_type && (j == -1 || j == d - 1) && i >= 0 && i < d - 1;
      if (!inside && !x_edge && !z_edge) continue;
      Ancilla a{next++ * spread, x_type, {}};
      // The corners in the order that keeps the two kinds from colliding.
      const int corners[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
      const int z_order[4] = {0, 2, 1, 3};
      for (int k = 0; k < 4; ++k) {
        const int* c = corners[x_type ? k : z_order[k]];
        const int r = i + c[0], s = j + c[1];
        a.data.push_back(r >= 0 && s >= 0 && r < d && s < d ? data(r, s) : ~Qubit{0});
      }
      ancillas.push_back(a);
    }
  for (int round = 0; round < rounds; ++round) {
    for (const Ancilla& a : ancillas)
      if (a.x_type) w.h(a.q);
    for (int layer = 0; layer < 4; ++layer)
      for (const Ancilla& a : ancillas) {
        const Qubit q = a.data[static_cast<std::size_t>(layer)];
        if (q == ~Qubit{0}) continue;
        if (a.x_type) {
          w.cx(a.q, q);
        } else {
          w.cx(q, a.q);
        }
      }
    for (const Ancilla& a : ancillas)
      if (a.x_type) w.h(a.q);
    for (const Ancilla& a : ancillas) w.measure(axis::Z, a.q);
  }
}

// A GHZ chain of `length` qubits from qubit 0, `stride` apart, grown by one
// CX at a time (the star's centre moves to each new qubit), then measured.
void ghz_chain(SeedWriter& w, Qubit length, Qubit stride) {
  w.h(0);
  for (Qubit k = 0; k + 1 < length; ++k) w.cx(k * stride, (k + 1) * stride);
  w.measure(axis::X, stride);
  w.measure(axis::Z, 0);
}

// The store sizes either side of every switch on the length of a row
// (tuning.h): the longest rows below it, and rows of one block more, one
// qubit into that block, where a switch computed from a qubit count rounded
// down goes wrong.
std::vector<Qubit> row_length_switches() {
  std::vector<Qubit> sizes;
  for (const std::size_t blocks : {tuning::kUnsummarisedBlocks, tuning::kReductionStackBlocks})
    for (const Qubit n : {Qubit{blocks * kBlockBits}, Qubit{blocks * kBlockBits + 1}})
      if (std::find(sizes.begin(), sizes.end(), n) == sizes.end()) sizes.push_back(n);
  return sizes;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> seeds() {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
  const auto add = [&](const std::string& name, Qubit n, auto&& circuit) {
    SeedWriter w(n);
    circuit(w);
    out.emplace_back("seed-" + name, w.bytes());
  };
  // Up to 64 qubits, the dense model following up to 8.
  add("ghz-chain-8", 8, [](SeedWriter& w) { ghz_chain(w, 8, 1); });
  add("ghz-chain-64", 64, [](SeedWriter& w) { ghz_chain(w, 64, 1); });
  add("star-64", 64, [](SeedWriter& w) {
    w.h(5);
    for (Qubit q = 0; q < 64; ++q)
      if (q != 5) w.cx(5, q);
    w.s(5);
    w.cx(9, 5);  // reduces the centre's operator against 63 leaves
    w.measure(axis::Y, 5);
    w.measure(axis::X, 9);
  });
  add("surface-code-d3", 17, [](SeedWriter& w) { surface_code_rounds(w, 3, 3, 1); });
  add("surface-code-d5", 49, [](SeedWriter& w) { surface_code_rounds(w, 5, 2, 1); });
  // 500 to 3,100 qubits: short rows with reductions on the stack (500,
  // 1024), summarised rows with reductions on scratch rows (3100), and either
  // side of every switch on row length.
  std::vector<Qubit> sizes{500, 1024, 3100};
  for (const Qubit n : row_length_switches()) sizes.push_back(n);
  for (const Qubit n : sizes) {
    const std::string size = std::to_string(n);
    add("ghz-chain-" + size, n, [n](SeedWriter& w) {
      w.h(0);
      const Qubit stride = std::min<Qubit>(n / 256, 8);  // the most a bulk operation takes
      w.chain(TwoQubitGate::CX, 0, stride, 64);
      w.chain(TwoQubitGate::CX, 64 * stride, stride, 64);
      w.measure(axis::X, 5 * stride);
    });
    add("stars-" + size, n, [n](SeedWriter& w) {
      // Two hubs with leaves apart and in common, then gates between them
      // and on a leaf: reductions that see all three kinds of neighbour.
      const Qubit a = n / 2, b = n / 3;
      w.h(a);
      w.h(b);
      w.fan(TwoQubitGate::CX, a, 0, 3, 64);
      w.fan(TwoQubitGate::CX, a, 200, 5, 64);
      w.fan(TwoQubitGate::CX, b, 1, 4, 64);
      w.fan(TwoQubitGate::CX, b, 300, 1, 40);
      w.s(a);
      w.gate(TwoQubitGate::CZ, a, b);
      w.h(b);
      w.cx(b, 7);
      w.fan(TwoQubitGate::CY, 7, 400, 1, 30);
      w.measure(axis::Y, a);
      w.measure(axis::X, 7);
      // Leaves at the far end of the rows too, where 3,100 qubits take a
      // second summary word; complementing twice fills and empties it.
      w.fan(TwoQubitGate::CX, b, n - 50, 1, 40);
      w.complement(b);
      w.complement(b);
    });
  }
  // A hub reduced from one operator after another (words in H and S), its
  // partner a leaf with leaves of its own: every kind of neighbour, kinds
  // that flip with themselves among them, on the stack and on scratch rows,
  // and either side of every switch on row length.
  sizes = {700, 1100, 2600};
  for (const Qubit n : row_length_switches()) sizes.push_back(n);
  for (const Qubit n : sizes) {
    add("reductions-" + std::to_string(n), n, [n](SeedWriter& w) {
      const Qubit hub = n / 2, far = n - 1;
      w.h(hub);
      w.fan(TwoQubitGate::CX, hub, 0, 5, 40);
      w.h(0);
      w.fan(TwoQubitGate::CZ, 0, 1, 7, 30);
      static constexpr const char* kWords[] = {"h",   "s",   "hs",   "sh",   "ss",   "hss",  "shs",  "ssh",
                                               "sss", "hsh", "hssh", "shss", "sshs", "hshs", "hsss", "shsh"};
      for (const char* word : kWords) {
        for (const char* c = word; *c != 0; ++c) *c == 'h' ? w.h(hub) : w.s(hub);
        w.reduce(hub, far);
      }
    });
  }
  add("surface-code-d5-spread-1100", 1100, [](SeedWriter& w) { surface_code_rounds(w, 5, 2, 22); });
  add("surface-code-d7-600", 600, [](SeedWriter& w) { surface_code_rounds(w, 7, 1, 1); });
  return out;
}

}  // namespace
}  // namespace kelvorin::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvorin::fuzzing;
  using kelvorin::Qubit;
  Input in(data, size);
  const std::uint8_t first = in.byte();
  // The top bit picks a size the dense model can follow, 0 .. 64 a size up
  // to 64, 65 .. 127 the large class.
  Qubit n = 0;
  const bool large = first <= 0x7f && first > kMaxQubits;
  if (large) {
    const unsigned high = in.byte();
    n = kLargeFewest + ((high << 8) | in.byte()) % kLargeSizes;
  } else {
    n = (first & 0x80) != 0 ? first % (kOracleQubits + 1) : first;
  }
  Run run(in, n, large);
  while (run.going()) run.step();
  return 0;
}

// `--write-seeds=DIR` (a flag of this program, not libFuzzer's) writes the
// seed inputs into DIR, runs each once and exits.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  const std::string flag = "--write-seeds=";
  for (int k = 1; k < *argc; ++k) {
    const std::string arg = (*argv)[k];
    if (arg.rfind(flag, 0) != 0) continue;
    const std::string dir = arg.substr(flag.size());
    for (const auto& [name, bytes] : kelvorin::fuzzing::seeds()) {
      const std::string path = dir + "/" + name;
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
      }
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      std::fprintf(stderr, "%s: %zu bytes\n", path.c_str(), bytes.size());
    }
    std::exit(0);
  }
  return 0;
}
