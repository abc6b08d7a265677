"""Entanglement swapping along a quantum-repeater chain.

A chain of LINKS elementary links: node k and node k + 1 share the Bell pair
(qubits 2k, 2k + 1).  Every intermediate node performs a Bell-basis
measurement on its two qubits, all at once; the outcomes travel to the end
node, which applies the accumulated Pauli correction.  The two end qubits are
then left in the Bell state |Phi+> = (|00> + |11>)/sqrt(2), although they
never interacted.

The checks: after the swaps the end qubits form an entangled group of their
own, and measuring both in the same basis gives the correlations of |Phi+>:
XX = +1, YY = -1, ZZ = +1 in every run, each single outcome a fair coin.
"""

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
LINKS = 8
RUNS = 300


def swapped_pair():
    n = 2 * LINKS
    sim = Kelvorin(n)
    for k in range(LINKS):                    # elementary links
        sim.h(2 * k)
        sim.cx(2 * k, 2 * k + 1)
    flip_x = flip_z = False                   # the Pauli frame of the last qubit
    for k in range(1, LINKS):                 # Bell measurement at node k: qubits 2k - 1, 2k
        a, b = 2 * k - 1, 2 * k
        sim.cx(a, b)
        sim.h(a)
        flip_z ^= sim.measure_z(a) == MINUS
        flip_x ^= sim.measure_z(b) == MINUS
    end = n - 1
    if flip_x:
        sim.x(end)
    if flip_z:
        sim.z(end)
    return sim, 0, end


correlations = {"x": set(), "y": set(), "z": set()}
first_outcomes = {"x": 0, "y": 0, "z": 0}
runs_per_basis = {"x": 0, "y": 0, "z": 0}
for run in range(RUNS):
    sim, a, b = swapped_pair()
    assert sim.get_entangled_group(a) == {a, b}, sim.get_entangled_group(a)
    basis = "xyz"[run % 3]
    measure = {"x": sim.measure_x, "y": sim.measure_y, "z": sim.measure_z}[basis]
    ma, mb = measure(a), measure(b)
    correlations[basis].add(+1 if ma == mb else -1)
    first_outcomes[basis] += ma == MINUS
    runs_per_basis[basis] += 1

print(f"{LINKS} links, {RUNS} runs: end-to-end correlations {correlations}")
assert correlations == {"x": {+1}, "y": {-1}, "z": {+1}}
for basis, count in first_outcomes.items():
    runs = runs_per_basis[basis]
    # A fair coin: within 5 standard deviations of runs / 2.
    assert abs(count - runs / 2) <= 5 * (runs / 4) ** 0.5, (basis, count, runs)
print("entanglement swapping: ok")
