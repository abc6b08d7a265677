"""Measurement-based computation: a one-dimensional cluster-state wire.

The input qubit 0 holds |psi>; qubits 1 .. LENGTH start in |+> and CZ gates
join all of them into a line.  Measuring qubit j in X teleports the state to
qubit j + 1 with a Hadamard applied and a byproduct X^s, s the outcome bit.
After LENGTH measurements the last qubit holds H^LENGTH |psi> up to a Pauli
byproduct, which is tracked through the wire (X and Z swap under H) and
corrected at the end.

The checks: for every single-qubit stabilizer state as input, the output
qubit, once corrected and once H^LENGTH and the preparation are undone, is
|0> in every run; and the corrections were needed (without them some runs
fail).
"""

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
LENGTH = 6
RUNS = 100
INVERSE = {"x": "x", "h": "h", "s": "sdag", "sdag": "s"}
STATES = {"|0>": [], "|1>": ["x"], "|+>": ["h"], "|->": ["x", "h"], "|+i>": ["h", "s"], "|-i>": ["h", "sdag"]}


def run_wire(prepare, correct=True):
    sim = Kelvorin(LENGTH + 1)
    for gate in prepare:
        getattr(sim, gate)(0)
    for q in range(1, LENGTH + 1):
        sim.h(q)
    for q in range(LENGTH):
        sim.cz(q, q + 1)
    # The byproduct on the current qubit is X^bx Z^bz.  Measuring in X with
    # outcome s maps it to X^(s xor bz) Z^bx on the next qubit.
    bx = bz = False
    for q in range(LENGTH):
        s = sim.measure_x(q) == MINUS
        bx, bz = s ^ bz, bx
    out = LENGTH
    assert sim.get_entangled_group(out) == {out}   # everything else is measured
    if correct:
        if bz:
            sim.z(out)
        if bx:
            sim.x(out)
    if LENGTH % 2:                                 # undo H^LENGTH
        sim.h(out)
    for gate in reversed(prepare):
        getattr(sim, INVERSE[gate])(out)
    return sim.measure_z(out) == MINUS             # True: wrong output


for name, prepare in STATES.items():
    wrong = sum(run_wire(prepare) for _ in range(RUNS))
    print(f"wire of {LENGTH} measurements, input {name:5}: {RUNS - wrong}/{RUNS} outputs correct")
    assert wrong == 0
uncorrected = sum(run_wire(STATES["|+i>"], correct=False) for _ in range(RUNS))
print(f"without the byproduct corrections {uncorrected}/{RUNS} outputs were wrong")
assert uncorrected > 0
print("cluster-state wire: ok")
