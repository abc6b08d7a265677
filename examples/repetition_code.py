"""Syndrome extraction for the distance-5 bit-flip repetition code.

Data qubits d0 .. d4 hold a logical state; ancilla a_i measures the parity
Z(d_i) Z(d_i+1) through two CNOTs and is reset to |0> after each round.  A
detector compares a parity with its value in the previous round (in the first
round, with the +1 it has on a code state), so it fires only where something
changed.  X errors are injected on random data qubits before random rounds.

The checks, over many shots: without errors every detector is 0; with errors
the detectors that fire are exactly those next to the flipped qubits in the
round of the flip; and the final data readout, with the injected flips undone,
gives five equal bits: the logical |+> (all-0 and all-1 each about half the
time) survived.
"""

import random

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
D = 5                          # data qubits 0 .. D-1, ancillas D .. 2D-2
ROUNDS = 4
SHOTS = 200


def run(errors):
    """errors: {round: [data qubit, ...]}.  Returns (detectors, final data bits)."""
    sim = Kelvorin(2 * D - 1)
    sim.h(0)                                  # logical |+>: (|00000> + |11111>)/sqrt(2)
    for q in range(D - 1):
        sim.cx(q, q + 1)
    previous = [False] * (D - 1)
    detectors = []
    for r in range(ROUNDS):
        for q in errors.get(r, []):
            sim.x(q)
        parity = []
        for i in range(D - 1):
            ancilla = D + i
            sim.cx(i, ancilla)
            sim.cx(i + 1, ancilla)
            m = sim.measure_z(ancilla) == MINUS
            if m:
                sim.x(ancilla)                # reset to |0>
            parity.append(m)
        detectors.append([p ^ before for p, before in zip(parity, previous)])
        previous = parity
    return detectors, [sim.measure_z(q) == MINUS for q in range(D)]


def expected_detectors(errors):
    """Detector i of round r fires when an odd number of flips hit d_i, d_i+1 then."""
    return [[(errors.get(r, []).count(i) + errors.get(r, []).count(i + 1)) % 2 == 1 for i in range(D - 1)]
            for r in range(ROUNDS)]


logical = {0: 0, 1: 0}
fired = 0
for shot in range(SHOTS):
    errors = {} if shot % 4 == 0 else {r: random.sample(range(D), random.randint(0, 2)) for r in range(ROUNDS)}
    detectors, data = run(errors)
    assert detectors == expected_detectors(errors), (errors, detectors)
    if not errors:
        assert not any(any(row) for row in detectors)
    fired += sum(map(sum, detectors))
    # Undo the injected flips; the code word must be all-equal.
    for q in [q for flips in errors.values() for q in flips]:
        data[q] ^= True
    assert len(set(data)) == 1, data
    logical[int(data[0])] += 1

print(f"{SHOTS} shots of {ROUNDS} rounds: {fired} detection events, all where the injected errors put them")
print(f"logical readout: {logical}")
assert abs(logical[0] - SHOTS / 2) <= 5 * (SHOTS / 4) ** 0.5
print("repetition code: ok")
