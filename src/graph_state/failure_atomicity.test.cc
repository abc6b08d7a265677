// Every engine operation either completes or throws and leaves the store
// exactly as it was.  Each operation runs once without faults for reference,
// then again with its k-th allocation failing, for every k up to the number of
// allocations it makes, and the store is well formed after every attempt
// (store_invariants.test.h); and every measurement changes only what its plan
// says it may.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "../test_allocator.test.h"
#include "controlled_z.h"
#include "entangled_group.h"
#include "measure.h"
#include "peek.h"
#include "reduction.h"
#include "state_vector.test.h"
#include "store_invariants.test.h"
#include "tuning.h"
#include "two_qubit_gates.h"

namespace kelvorin {
namespace {

// The whole store: VOPs, and for every row its blocks, both summary levels
// and its degree; the scratch rows free and empty.
::testing::AssertionResult same_store(const GraphState& a, const GraphState& b) {
  if (a.qubit_count() != b.qubit_count()) return ::testing::AssertionFailure() << "qubit counts differ";
  if (a.vops() != b.vops()) return ::testing::AssertionFailure() << "VOPs differ";
  const std::size_t blocks = a.blocks_per_row();
  const std::size_t words = row_summary_words(a.qubit_count()), tops = row_top_words(a.qubit_count());
  for (Qubit q = 0; q < a.qubit_count(); ++q) {
    const RowView x = a.adjacent(q), y = b.adjacent(q);
    if (x.count() != y.count() || std::memcmp(x.blocks(), y.blocks(), blocks * sizeof(Block)) != 0 ||
        std::memcmp(x.summary(), y.summary(), words * sizeof(SummaryWord)) != 0 ||
        std::memcmp(x.top(), y.top(), tops * sizeof(SummaryWord)) != 0)
      return ::testing::AssertionFailure() << "row " << q << " differs";
  }
  if (!a.scratch_rows_idle() || !b.scratch_rows_idle()) return ::testing::AssertionFailure() << "scratch row in use";
  return ::testing::AssertionSuccess();
}

struct Words {
  std::mt19937 rng;
  std::uint32_t next_word() { return static_cast<std::uint32_t>(rng()); }
};

// An operation records what it returns in `out`, whose room is reserved
// beforehand, so recording allocates nothing.
using Out = std::vector<std::uint64_t>;
struct Operation {
  std::string name;
  std::function<void(GraphState&, Words&, Out&)> run;
};

std::vector<Operation> operations(Qubit a, Qubit b, Qubit n) {
  std::vector<Operation> ops;
  const std::pair<const char*, void (GraphState::*)(Qubit)> singles[] = {
      {"x", &GraphState::x}, {"y", &GraphState::y}, {"z", &GraphState::z},
      {"h", &GraphState::h}, {"s", &GraphState::s}, {"sdag", &GraphState::sdag}};
  for (const auto& [name, gate] : singles) {
    ops.push_back({name, [=](GraphState& g, Words&, Out&) { (g.*gate)(a); }});
    ops.push_back({std::string(name) + " out of range", [=](GraphState& g, Words&, Out&) { (g.*gate)(n); }});
  }
  for (std::size_t k = 0; k < kTwoQubitGateCount; ++k) {
    const auto gate = static_cast<TwoQubitGate>(k);
    for (const auto& [c, t] : {std::pair{a, b}, std::pair{b, a}, std::pair{a, a}, std::pair{a, n}})
      ops.push_back({"gate " + std::to_string(k) + " on " + std::to_string(c) + "," + std::to_string(t),
                     [=](GraphState& g, Words&, Out&) { apply_two_qubit_gate(g, gate, c, t); }});
  }
  for (const Axis ax : {axis::X, axis::Y, axis::Z})
    for (const Qubit q : {a, b, n})
      ops.push_back({"measure " + std::to_string(ax) + " of " + std::to_string(q),
                     [=](GraphState& g, Words& w, Out& out) { out.push_back(measure(g, q, ax, w)); }});
  for (const Qubit q : {a, b, n})
    ops.push_back({"group of " + std::to_string(q), [=](GraphState& g, Words&, Out& out) {
                     for (const Qubit v : entangled_group(g, q)) out.push_back(v);
                   }});
  const auto peek = [](std::vector<Qubit> qubits) {
    return [=](GraphState& g, Words& w, Out& out) {
      for (const PeekOutcome& o : peek_measure_set(g, qubits, w)) out.insert(out.end(), {o.qubit, o.bit, o.axis});
    };
  };
  std::vector<Qubit> all(n);
  for (Qubit q = 0; q < n; ++q) all[q] = q;
  ops.push_back({"peek of one", peek({a})});
  ops.push_back({"peek of all", peek(all)});
  all.push_back(n);
  ops.push_back({"peek of all and one out of range", peek(all)});
  ops.push_back({"construction", [=](GraphState&, Words&, Out& out) { out.push_back(GraphState(n).qubit_count()); }});
  return ops;
}

enum class End { Completed, Panicked, OutOfMemory };

End attempt(const Operation& op, GraphState& g, Words& w, Out& out) {
  try {
    op.run(g, w, out);
    return End::Completed;
  } catch (const Panic&) {
    return End::Panicked;
  } catch (const std::bad_alloc&) {
    return End::OutOfMemory;
  }
}

// A graph with two hubs, of degree far above the pair-by-pair limits, over a
// sparse random background; `a` is a hub and `b` a low-degree vertex.
struct Case {
  GraphState state;
  Qubit a, b;
};

std::vector<Case> cases() {
  std::mt19937_64 rng(1203);
  std::vector<Case> out;
  for (const Qubit n : {Qubit{12}, Qubit{45}, Qubit{600}}) {
    GraphState g = testing::random_graph_state(n, rng, 6.0 / static_cast<double>(n));
    for (const Qubit hub : {Qubit{0}, n / 2})
      for (Qubit q = 1; q < n; q += 1 + rng() % 2)
        if (q != hub && !g.adjacent(hub).contains(q)) {
          g.adjacent(hub).insert(q);
          g.adjacent(q).insert(hub);
        }
    Qubit low = 1;
    for (Qubit q = 1; q < n; ++q)
      if (g.adjacent(q).count() < g.adjacent(low).count() && !g.adjacent(q).empty()) low = q;
    out.push_back({std::move(g), 0, low});
  }
  return out;
}

TEST(FailureAtomicity, EveryOperationCompletesOrLeavesTheStoreAsItWas) {
  if (!testing::allocations_observable()) GTEST_SKIP() << "allocations cannot be failed under AddressSanitizer";
  long pairs = 0;
  for (Case& c : cases()) {
    const Qubit n = c.state.qubit_count();
    for (const Operation& op : operations(c.a, c.b, n)) {
      SCOPED_TRACE(op.name + " on " + std::to_string(n) + " qubits");
      GraphState expected = c.state;
      Words reference_words{std::mt19937(7)};
      Out expected_out;
      expected_out.reserve(1 << 16);
      const End expected_end = attempt(op, expected, reference_words, expected_out);
      ASSERT_EQ(testing::store_violation(expected), "");
      for (long k = 1;; ++k) {
        GraphState g = c.state;
        Words w{std::mt19937(7)};
        Out out;
        out.reserve(1 << 16);
        End end;
        bool failed;
        {
          testing::FailAllocation fail(k);
          end = attempt(op, g, w, out);
          failed = fail.failed();
        }
        ++pairs;
        ASSERT_EQ(testing::store_violation(g), "") << "allocation " << k;
        if (end == End::OutOfMemory) {
          ASSERT_TRUE(failed) << "allocation " << k;
          ASSERT_TRUE(same_store(g, c.state)) << "allocation " << k << " failed";
          continue;
        }
        // Not a single failed allocation may be swallowed.
        ASSERT_FALSE(failed) << "allocation " << k << " failed, yet the operation went on";
        ASSERT_EQ(end, expected_end);
        ASSERT_TRUE(same_store(g, end == End::Panicked ? c.state : expected));
        if (end == End::Completed) {
          ASSERT_EQ(out, expected_out);
        }
        break;
      }
    }
  }
  std::printf("[ fault injection ] %ld (operation, failure point) pairs\n", pairs);
}

// A row holding more members than its degree counts is a fault of the engine,
// never a state an operation leaves, yet the reduction must not follow the
// degree past the list it keeps on the stack: where the degrees of v and its
// partner promise few enough neighbours for that list and the rows hold more,
// it fails as an internal error with the store exactly as it was, whichever of
// its allocations fails.  v = 0 and its partner 1: one of them with
// kReductionPairsMost - 1 neighbours, counted right, the other with `hidden`
// more written past its degree, which stays 1, into block 0, which holds a
// member already and so is in a summarised row's summaries.
TEST(FailureAtomicity, AReductionFindingMoreNeighboursThanCountedChangesNothing) {
  const Qubit most = tuning::kReductionPairsMost;
  static_assert(tuning::kReductionPairsMost < kBlockBits, "the hidden neighbours go in block 0");
  for (const Qubit n : {Qubit{40}, Qubit{kUnsummarisedBlocks * kBlockBits + 1}})
    for (const Qubit hidden : {Qubit{3}, Qubit{kBlockBits - most}})
      for (const bool v_miscounted : {false, true})
        for (std::size_t x = 1; x < kVopCount; ++x) {
          SCOPED_TRACE(std::to_string(n) + " qubits, " + std::to_string(hidden) + " hidden, VOP " + std::to_string(x) +
                       (v_miscounted ? ", v miscounted" : ", partner miscounted"));
          const auto make = [&] {
            GraphState g(n);
            const Qubit counted = v_miscounted ? 1 : 0, miscounted = 1 - counted;
            g.adjacent(0).insert(1);
            g.adjacent(1).insert(0);
            for (Qubit w = 2; w < most; ++w) {
              g.adjacent(counted).insert(w);
              g.adjacent(w).insert(counted);
            }
            for (Qubit w = most; w < most + hidden; ++w) {
              const_cast<Block*>(g.adjacent(miscounted).blocks())[0] |= Block{1} << w;
              g.adjacent(w).insert(miscounted);
            }
            g.set_vop(0, static_cast<Vop>(x));
            return g;
          };
          const GraphState before = make();
          for (long k = 1;; ++k) {
            GraphState g = make();
            std::string message;
            message.reserve(256);  // so that keeping it allocates nothing
            bool out_of_memory = false, failed;
            {
              testing::FailAllocation fail(k);
              try {
                remove_vop(g, 0, n - 1);
              } catch (const Panic& p) {
                message = p.message();
              } catch (const std::bad_alloc&) {
                out_of_memory = true;
              }
              failed = fail.failed();
            }
            ASSERT_TRUE(same_store(g, before)) << "allocation " << k;
            ASSERT_EQ(out_of_memory, failed) << "allocation " << k;
            if (out_of_memory) continue;
            ASSERT_EQ(message.substr(0, 16), "internal error: ") << message;
            break;
          }
        }
}

// What a measurement's plan names as changeable covers every row and VOP the
// measurement changes, on every branch, so a peek's working copy, which
// takes what the plan names, never changes a row it has not copied.
TEST(FailureAtomicity, MeasurementsChangeOnlyWhatTheirPlanNames) {
  std::mt19937_64 rng(77);
  for (int trial = 0; trial < 400; ++trial) {
    const Qubit n = 2 + rng() % 90;
    const GraphState before = testing::random_graph_state(n, rng, trial % 2 ? 0.5 : 0.08);
    const Qubit q = rng() % n;
    const Axis ax = static_cast<Axis>(rng() % 3);
    GraphState g = before;
    const MeasurementPlan plan = plan_measurement(g, q, ax);
    std::vector<bool> named(n, false);
    for_each_qubit_changed(g, plan, [&](Qubit v) {
      ASSERT_FALSE(named[v]) << v << " named twice";
      named[v] = true;
    });
    Words w{std::mt19937(static_cast<unsigned>(trial))};
    measure(g, plan, w);
    ASSERT_EQ(testing::store_violation(g), "") << "axis " << int(ax) << ", branch " << int(plan.branch);
    for (Qubit v = 0; v < n; ++v) {
      const bool changed = g.vop(v) != before.vop(v) || std::memcmp(g.adjacent(v).blocks(), before.adjacent(v).blocks(),
                                                                    g.blocks_per_row() * sizeof(Block)) != 0;
      EXPECT_TRUE(!changed || named[v]) << "qubit " << v << " changed unnamed, axis " << int(ax) << ", branch "
                                        << int(plan.branch);
    }
  }
}

}  // namespace
}  // namespace kelvorin
