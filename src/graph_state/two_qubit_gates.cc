#include "two_qubit_gates.h"

#include <iterator>

#include "controlled_z.h"

namespace kelvorin {
namespace {

enum class Role : std::uint8_t { Control, Target };

struct BasisStep {
  Vop gate;
  Role qubit;
};

struct Recipe {
  std::uint8_t before_count;
  BasisStep before[4];
  Role cz_first;  // the qubit passed to apply_cz first
  std::uint8_t after_count;
  BasisStep after[4];
};

constexpr Role C = Role::Control;
constexpr Role T = Role::Target;
constexpr Vop H = vop::H, Sd = vop::Sdag, S = vop::S;

// Indexed by TwoQubitGate, one entry for each gate of the list.
constexpr Recipe kRecipes[] = {
    /* cz  */ {0, {}, C, 0, {}},
    /* cx  */ {1, {{H, T}}, C, 1, {{H, T}}},
    /* xcx */ {2, {{H, C}, {H, T}}, C, 2, {{H, T}, {H, C}}},
    /* ycx */ {3, {{Sd, C}, {H, C}, {H, T}}, C, 3, {{H, T}, {H, C}, {S, C}}},
    /* xcz */ {1, {{H, C}}, T, 1, {{H, C}}},
    /* ycz */ {2, {{Sd, C}, {H, C}}, T, 2, {{H, C}, {S, C}}},
    /* cy  */ {2, {{Sd, T}, {H, T}}, C, 2, {{H, T}, {S, T}}},
    /* xcy */ {3, {{Sd, T}, {H, T}, {H, C}}, T, 3, {{H, C}, {H, T}, {S, T}}},
    /* ycy */ {4, {{Sd, T}, {Sd, C}, {H, C}, {H, T}}, C, 4, {{H, T}, {H, C}, {S, C}, {S, T}}},
};

static_assert(std::size(kRecipes) == kTwoQubitGateCount);

// The steps after the CZ undo the steps before it, qubit by qubit.
constexpr bool recipes_undo_their_basis_change() {
  for (const Recipe& recipe : kRecipes)
    for (Role role : {C, T}) {
      Vop total = vop::I;
      for (std::size_t k = 0; k < recipe.before_count; ++k)
        if (recipe.before[k].qubit == role) total = clifford_product(recipe.before[k].gate, total);
      for (std::size_t k = 0; k < recipe.after_count; ++k)
        if (recipe.after[k].qubit == role) total = clifford_product(recipe.after[k].gate, total);
      if (total != vop::I) return false;
    }
  return true;
}
static_assert(recipes_undo_their_basis_change());

}  // namespace

void apply_two_qubit_gate(GraphState& state, TwoQubitGate gate, Qubit control, Qubit target) {
  const Recipe& recipe = kRecipes[static_cast<std::size_t>(gate)];
  const auto qubit = [&](Role role) { return role == Role::Control ? control : target; };
  const Qubit cz_a = qubit(recipe.cz_first);
  const Qubit cz_b = recipe.cz_first == Role::Control ? target : control;

  // Every check the steps below would make, in the order they would make it,
  // but before anything changes: a failed gate leaves the store as it was.
  for (std::size_t k = 0; k < recipe.before_count; ++k) check_index(state.qubit_count(), qubit(recipe.before[k].qubit));
  check_cz_arguments(state, cz_a, cz_b);

  const auto left_multiply = [&](const BasisStep& step) {
    const Qubit q = qubit(step.qubit);
    state.set_vop(q, clifford_product(step.gate, state.vop(q)));
  };
  for (std::size_t k = 0; k < recipe.before_count; ++k) left_multiply(recipe.before[k]);
  apply_cz(state, cz_a, cz_b);
  for (std::size_t k = 0; k < recipe.after_count; ++k) left_multiply(recipe.after[k]);
}

}  // namespace kelvorin
