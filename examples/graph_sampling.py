"""Sampling a graph state with peek_measure_set.

A ring graph state on N qubits: H on every qubit, then CZ between neighbours.
Its stabilizers are K_v = X_v Z_(v-1) Z_(v+1), each with eigenvalue +1.
peek_measure_set measures a set of qubits on a copy of the state, each along a
random axis (or, for a qubit that has become isolated, along the axis it is an
eigenstate of), and returns one joint sample without touching the state.

The checks: in every sample, wherever v was measured in X and both of its
neighbours in Z, the three outcomes multiply to +1; whenever every axis came
out Z the bits are uniformly random (5 sigma); the state is unchanged by all
of the sampling, which the final real measurements confirm.
"""

from kelvorin import Axis, Kelvorin, MeasurementResult

N = 12
SAMPLES = 3000
MINUS = MeasurementResult.MinusOne

sim = Kelvorin(N)
for q in range(N):
    sim.h(q)
for q in range(N):
    sim.cz(q, (q + 1) % N)

checked = 0
z_ones = z_bits = 0
axis_counts = {"X": 0, "Y": 0, "Z": 0}
qubits = set(range(N))  # a set[int]; a frozenset works too
for _ in range(SAMPLES):
    sample = sim.peek_measure_set(qubits)
    assert set(sample) == qubits
    sign = {q: -1 if o.result == MINUS else +1 for q, o in sample.items()}
    for o in sample.values():
        axis_counts[str(o.axis)[-1]] += 1  # "Axis.X" -> "X"
    for v in range(N):
        left, right = (v - 1) % N, (v + 1) % N
        if sample[v].axis == Axis.X and sample[left].axis == Axis.Z and sample[right].axis == Axis.Z:
            assert sign[v] * sign[left] * sign[right] == +1, (v, {q: str(o) for q, o in sample.items()})
            checked += 1
    for o in sample.values():
        if o.axis == Axis.Z:
            z_bits += 1
            z_ones += o.result == MINUS

print(f"{SAMPLES} samples of a {N}-qubit ring: {checked} stabilizer checks passed; axes used {axis_counts}")
assert checked > 0
assert abs(z_ones - z_bits / 2) <= 5 * (z_bits / 4) ** 0.5, (z_ones, z_bits)

# The real state was never touched: it is still one ring, and measuring
# K_0 = X_0 Z_(N-1) Z_1 for real gives +1.
assert sim.get_entangled_group(0) == qubits
product = 1
for m in (sim.measure_z(N - 1), sim.measure_z(1), sim.measure_x(0)):
    product *= -1 if m == MINUS else +1
assert product == +1
print("graph-state sampling: ok")
