"""Quantum teleportation with feed-forward corrections.

Alice holds qubit 0 in some state |psi> and shares a Bell pair (qubits 1 and 2)
with Bob.  She measures her two qubits in the Bell basis and sends the two
outcomes to Bob, who corrects qubit 2 with X and Z.  Bob then holds |psi>.

The check: for each of the six single-qubit stabilizer states, Bob undoes the
preparation on qubit 2 and measures Z; the result must be +1 in every run.
"""

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
INVERSE = {"x": "x", "h": "h", "s": "sdag", "sdag": "s"}
# The six states as gate sequences applied to |0>.
STATES = {"|0>": [], "|1>": ["x"], "|+>": ["h"], "|->": ["x", "h"], "|+i>": ["h", "s"], "|-i>": ["h", "sdag"]}


def teleport(prepare, correct=True):
    sim = Kelvorin(3)
    for gate in prepare:                      # |psi> on qubit 0
        getattr(sim, gate)(0)
    sim.h(1)
    sim.cx(1, 2)                              # Bell pair (|00> + |11>)/sqrt(2) on 1, 2
    sim.cx(0, 1)                              # Bell-basis measurement of 0 and 1
    sim.h(0)
    m_z = sim.measure_z(0)
    m_x = sim.measure_z(1)
    if correct:
        # Compare results with ==.  A MeasurementResult is an object with no
        # __bool__, so `if m_x:` would be true for both outcomes.
        if m_x == MINUS:
            sim.x(2)
        if m_z == MINUS:
            sim.z(2)
    else:
        if m_x:                               # the pitfall: always true
            sim.x(2)
        if m_z:
            sim.z(2)
    for gate in reversed(prepare):            # undo the preparation on Bob's qubit
        getattr(sim, INVERSE[gate])(2)
    return sim.measure_z(2)                   # +1 iff Bob holds |psi>


RUNS = 200
for name, prepare in STATES.items():
    results = [teleport(prepare) for _ in range(RUNS)]
    wrong = sum(r == MINUS for r in results)
    print(f"teleported {name:5}: {RUNS - wrong}/{RUNS} runs correct")
    assert wrong == 0, f"teleportation of {name} failed in {wrong} runs"

# With `if m:` both corrections are always applied; for |+i> that is wrong
# whenever an outcome was +1 (three runs in four on average).
wrong = sum(teleport(STATES["|+i>"], correct=False) == MINUS for _ in range(RUNS))
print(f"with `if m:` instead of `if m == MeasurementResult.MinusOne:` {wrong}/{RUNS} runs of |+i> were wrong")
assert wrong > 0
print("teleportation: ok")
