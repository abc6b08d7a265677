"""One round of BBPSSW entanglement purification, with its statistics.

Two noisy Bell pairs (a1, b1) and (a2, b2) are Werner states of fidelity F:
|Phi+> with probability F, and each of the three other Bell states with
probability (1 - F) / 3 (made here by a random Pauli on Bob's qubit).  Alice
and Bob each apply a CNOT from their qubit of the first pair to their qubit of
the second, measure the second pair in Z and keep the first pair when the two
outcomes agree.  For Werner inputs the round succeeds with probability

    p = (F + q)^2 + (2q)^2,   q = (1 - F) / 3,

and the kept pair has fidelity F' = (F^2 + q^2) / p > F when F > 1/2.

The checks: the measured success rate and output fidelity agree with these
formulas within 5 standard deviations, and the output fidelity beats F.  The
fidelity of each kept pair is read by a Bell-basis measurement, which names
the Bell state the pair is in.
"""

import random

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
F = 0.75
SHOTS = 20000
NOISE = [None, "x", "y", "z"]                 # Phi+, Psi+, Psi-, Phi-
WEIGHTS = [F] + [(1 - F) / 3] * 3


def werner_pair(sim, a, b):
    sim.h(a)
    sim.cx(a, b)
    pauli = random.choices(NOISE, WEIGHTS)[0]
    if pauli:
        getattr(sim, pauli)(b)


def purify_once():
    """Returns None when the round fails, else whether the kept pair is |Phi+>."""
    a1, b1, a2, b2 = range(4)
    sim = Kelvorin(4)
    werner_pair(sim, a1, b1)
    werner_pair(sim, a2, b2)
    sim.cx(a1, a2)                            # bilateral CNOT
    sim.cx(b1, b2)
    if sim.measure_z(a2) != sim.measure_z(b2):
        return None                           # discard
    sim.cx(a1, b1)                            # Bell-basis measurement of the kept pair
    sim.h(a1)
    return sim.measure_z(a1) != MINUS and sim.measure_z(b1) != MINUS


results = [purify_once() for _ in range(SHOTS)]
kept = [r for r in results if r is not None]
rate = len(kept) / SHOTS
fidelity = sum(kept) / len(kept)

q = (1 - F) / 3
p_expected = (F + q) ** 2 + (2 * q) ** 2
f_expected = (F**2 + q**2) / p_expected
p_sigma = (p_expected * (1 - p_expected) / SHOTS) ** 0.5
f_sigma = (f_expected * (1 - f_expected) / len(kept)) ** 0.5
print(f"input fidelity {F}: success {rate:.4f} (theory {p_expected:.4f} +- {p_sigma:.4f}), "
      f"output fidelity {fidelity:.4f} (theory {f_expected:.4f} +- {f_sigma:.4f})")
assert abs(rate - p_expected) <= 5 * p_sigma
assert abs(fidelity - f_expected) <= 5 * f_sigma
assert fidelity - 5 * f_sigma > F, "purification did not improve the fidelity"
print("purification: ok")
