// The controlled-Z table against its definition: for every (e, a, b), all 1152
// candidate triples (e', a', b') are tested on two-qubit state vectors built
// from the matrix representatives, the Z-commuting requirement and the choice
// rule are applied, and the survivor must be the listed entry.
#include "cz_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "../graph_state/state_vector.test.h"

namespace kelvorin {
namespace {

using testing::StateVector;

// (a x b)|G_e>, a on the first qubit (index bit 0), b on the second.
StateVector two_qubit_state(int e, Vop a, Vop b) {
  StateVector sv(2);
  sv.h(0);
  sv.h(1);
  if (e != 0) sv.cz(0, 1);
  sv.apply(0, vop_matrix(a));
  sv.apply(1, vop_matrix(b));
  return sv;
}

bool entangled(const StateVector& sv) {
  // A two-qubit pure state is a product state iff its coefficient matrix is
  // singular.
  const Complex det = sv.amplitude(0) * sv.amplitude(3) - sv.amplitude(1) * sv.amplitude(2);
  return std::abs(det) > 1e-9;
}

struct Triple {
  int e;
  Vop a, b;
};

class CzTableDefinition : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    targets_ = new std::vector<StateVector>();
    for (int e = 0; e < 2; ++e)
      for (Vop a = 0; a < kVopCount; ++a)
        for (Vop b = 0; b < kVopCount; ++b) targets_->push_back(two_qubit_state(e, a, b));
  }
  static void TearDownTestSuite() {
    delete targets_;
    targets_ = nullptr;
  }
  static const StateVector& target(int e, Vop a, Vop b) {
    return (*targets_)[static_cast<std::size_t>(e) * kVopCount * kVopCount + a * kVopCount + b];
  }

  static std::vector<StateVector>* targets_;
};
std::vector<StateVector>* CzTableDefinition::targets_ = nullptr;

TEST_F(CzTableDefinition, EveryEntryIsTheChosenSolution) {
  int checked = 0;
  for (int e = 0; e < 2; ++e)
    for (Vop a = 0; a < kVopCount; ++a)
      for (Vop b = 0; b < kVopCount; ++b) {
        StateVector after = two_qubit_state(e, a, b);
        after.cz(0, 1);

        std::vector<Triple> solutions;  // of the equation alone
        for (int e2 = 0; e2 < 2; ++e2)
          for (Vop a2 = 0; a2 < kVopCount; ++a2)
            for (Vop b2 = 0; b2 < kVopCount; ++b2)
              if (testing::equal_up_to_phase(after, target(e2, a2, b2))) solutions.push_back({e2, a2, b2});
        SCOPED_TRACE(::testing::Message() << "e=" << e << " a=" << int(a) << " b=" << int(b));
        ASSERT_TRUE(solutions.size() == 16 || solutions.size() == 24) << solutions.size();

        // e' is forced, and it says whether the state after the gate is entangled.
        for (const Triple& t : solutions) ASSERT_EQ(t.e, solutions.front().e);
        ASSERT_EQ(solutions.front().e, entangled(after) ? 1 : 0);

        std::vector<Triple> admissible;
        for (const Triple& t : solutions)
          if ((!z_commuting(a) || z_commuting(t.a)) && (!z_commuting(b) || z_commuting(t.b))) admissible.push_back(t);
        ASSERT_FALSE(admissible.empty());

        std::optional<Triple> chosen;
        if (e == 1 && solutions.front().e == 1) {
          // a' = u.a and b' = w.b with u, w among 4..7; the smallest a'.
          const auto left_factor_in_4_to_7 = [](Vop result, Vop old) {
            for (Vop u = 4; u <= 7; ++u)
              if (clifford_product(u, old) == result) return true;
            return false;
          };
          int with_smallest_a = 0;
          for (const Triple& t : admissible) {
            if (!left_factor_in_4_to_7(t.a, a) || !left_factor_in_4_to_7(t.b, b)) continue;
            if (!chosen || t.a < chosen->a) {
              chosen = t;
              with_smallest_a = 1;
            } else if (t.a == chosen->a) {
              ++with_smallest_a;
            }
          }
          ASSERT_TRUE(chosen.has_value());
          ASSERT_EQ(with_smallest_a, 1) << "the choice must be unique";
        } else {
          const auto key = [](const Triple& t) { return std::tuple(t.b > 7, t.a, t.b); };
          for (const Triple& t : admissible)
            if (!chosen || key(t) < key(*chosen)) chosen = t;
        }

        const CzEntry entry = cz_table(e != 0, a, b);
        EXPECT_EQ(int(entry.edge), chosen->e);
        EXPECT_EQ(int(entry.a), int(chosen->a));
        EXPECT_EQ(int(entry.b), int(chosen->b));
        // The equation itself, stated directly.
        EXPECT_TRUE(testing::equal_up_to_phase(after, target(entry.edge, entry.a, entry.b)));
        ++checked;
      }
  EXPECT_EQ(checked, 2 * 24 * 24);
}

TEST(CzTable, AddressingAndNamedEntries) {
  // Entry (e, a, b) lies e * 1728 + a * 72 + b * 3 bytes into the table.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(tables::kCzTable);
  for (int e = 0; e < 2; ++e)
    for (Vop a = 0; a < kVopCount; ++a)
      for (Vop b = 0; b < kVopCount; ++b) {
        const std::size_t offset = static_cast<std::size_t>(e) * 1728 + a * 72u + b * 3u;
        const CzEntry entry = cz_table(e != 0, a, b);
        EXPECT_EQ(bytes[offset], entry.edge);
        EXPECT_EQ(bytes[offset + 1], entry.a);
        EXPECT_EQ(bytes[offset + 2], entry.b);
      }
  const auto is = [](CzEntry x, int e, int a, int b) { return x.edge == e && x.a == a && x.b == b; };
  EXPECT_TRUE(is(cz_table(false, 0, 0), 1, 0, 0));
  EXPECT_TRUE(is(cz_table(true, 0, 0), 0, 0, 0));
  EXPECT_TRUE(is(cz_table(false, 10, 10), 0, 10, 10));
  EXPECT_TRUE(is(cz_table(false, 0, 8), 0, 3, 8));
}

}  // namespace
}  // namespace kelvorin
