"""kelvorin against stim.TableauSimulator, side by side on random circuits.

Stim keeps a stabilizer tableau, an entirely different representation from
kelvorin's graph state, so agreement between the two is strong evidence that
every gate, every measurement branch and the bookkeeping between them are
right.

Both simulators start with every qubit in |0> and see the same gates.  Before
each measurement Stim says whether the outcome is determined (peek_x/y/z).  If
it is, kelvorin must give that result; if not, Stim is forced onto kelvorin's
result (postselect_x/y/z) and the two go on in the same state.  The random
outcomes themselves must look like a fair coin.

peek_measure_set must only report joint outcomes that are possible: they are
replayed on a copy of the Stim state with the same rule (the observables act on
distinct qubits and commute, so the order does not matter).  An isolated qubit
must be reported along its eigen-axis.

get_entangled_group must be a union of whole factors of the state (zero
entanglement entropy with the rest, by the rank formula on Stim's stabilizer
generators) and a single factor (every proper subset that contains the qubit
is entangled with the rest); it is also compared with the connected components
of the graph Stim finds for its own tableau.

The circuits come from a seeded Python generator; kelvorin's own randomness
cannot be seeded, so a failure message carries the whole operation log.
"""

import math
import random

import numpy as np
import pytest
import stim

from kelvorin import Axis, Kelvorin, MeasurementResult

# ------------------------------------------------------------ operators ---

I2 = np.eye(2, dtype=complex)
PAULI = {
    "X": np.array([[0, 1], [1, 0]], dtype=complex),
    "Y": np.array([[0, -1j], [1j, 0]], dtype=complex),
    "Z": np.array([[1, 0], [0, -1]], dtype=complex),
}

# kelvorin's single-qubit gates, as matrices from their definitions, and the
# Stim gate each is expected to be.
SINGLE_QUBIT = {
    "x": (PAULI["X"], "X"),
    "y": (PAULI["Y"], "Y"),
    "z": (PAULI["Z"], "Z"),
    "h": (np.array([[1, 1], [1, -1]], dtype=complex) / math.sqrt(2), "H"),
    "s": (np.diag([1, 1j]), "S"),
    "sdag": (np.diag([1, -1j]), "S_DAG"),
}


def control_and_target_paulis(name):
    """The Paulis of a gate name [x|y]c[x|y|z]: no first letter means Z."""
    assert len(name) in (2, 3) and name[-2] == "c"
    return (name[0].upper() if len(name) == 3 else "Z"), name[-1].upper()


def controlled_pauli(pc, pt):
    """1/2 (I + Pc) x I + 1/2 (I - Pc) x Pt, control on qubit 0, target on
    qubit 1, little-endian (qubit 0 is the low bit of the basis index)."""
    return 0.5 * np.kron(I2, I2 + PAULI[pc]) + 0.5 * np.kron(PAULI[pt], I2 - PAULI[pc])


# kelvorin's two-qubit gates and the Stim gates they correspond to, with the
# argument order: Stim's "P-controlled Q" gate `PCQ a b` ("CQ" when P is Z)
# applies Q to b when a is in the -1 eigenstate of P (|1>, |->, |-i>), which is
# kelvorin's `pcq(control=a, target=b)`.  Verified below against the matrix
# of the definition rather than taken from the names.
TWO_QUBIT = {
    "cz": "CZ",
    "cx": "CX",
    "cy": "CY",
    "xcx": "XCX",
    "xcy": "XCY",
    "xcz": "XCZ",
    "ycx": "YCX",
    "ycy": "YCY",
    "ycz": "YCZ",
}

AXES = "XYZ"
AXIS_OF = {int(Axis.X): "X", int(Axis.Y): "Y", int(Axis.Z): "Z"}


def stim_method(sim, gate):
    """The TableauSimulator method applying the Stim gate `gate`."""
    return getattr(sim, gate.lower())


@pytest.mark.parametrize("name", sorted(SINGLE_QUBIT))
def test_single_qubit_correspondence(name):
    matrix, gate = SINGLE_QUBIT[name]
    expected = stim.Tableau.from_unitary_matrix(matrix, endian="little")
    assert stim.Tableau.from_named_gate(gate) == expected
    sim = stim.TableauSimulator()
    stim_method(sim, gate)(0)
    assert sim.current_inverse_tableau().inverse() == expected


@pytest.mark.parametrize("name", sorted(TWO_QUBIT))
def test_two_qubit_correspondence(name):
    pc, pt = control_and_target_paulis(name)
    matrix = controlled_pauli(pc, pt)
    assert np.allclose(matrix @ matrix.conj().T, np.eye(4))
    expected = stim.Tableau.from_unitary_matrix(matrix, endian="little")
    gate = TWO_QUBIT[name]
    assert stim.Tableau.from_named_gate(gate) == expected
    # The simulator method of that name applies that gate, in that order.
    sim = stim.TableauSimulator()
    stim_method(sim, gate)(0, 1)
    assert sim.current_inverse_tableau().inverse() == expected
    # The argument order matters for every gate but cz, xcx and ycy, whose
    # definitions are symmetric; the check above would catch a swap.
    swap = np.eye(4)[[0, 2, 1, 3]]
    symmetric = np.allclose(swap @ matrix @ swap, matrix)
    assert symmetric == (pc == pt)


# ------------------------------------------------------------- helpers ---


def peek(sim, axis, q):
    return {"X": sim.peek_x, "Y": sim.peek_y, "Z": sim.peek_z}[axis](q)


def postselect(sim, axis, q, bit):
    {"X": sim.postselect_x, "Y": sim.postselect_y, "Z": sim.postselect_z}[axis](q, desired_value=bool(bit))


def gf2_rank(rows):
    """Rank over GF(2) of rows given as Python ints."""
    pivots = {}
    for x in rows:
        while x:
            top = x.bit_length() - 1
            if top not in pivots:
                pivots[top] = x
                break
            x ^= pivots[top]
    return len(pivots)


class Stabilizers:
    """The generator matrix of Stim's current state, for entropies."""

    def __init__(self, sim, n):
        gens = sim.canonical_stabilizers()
        assert len(gens) == n
        xs, zs = zip(*(g.to_numpy() for g in gens))
        self.xs = np.array(xs, dtype=np.uint8)
        self.zs = np.array(zs, dtype=np.uint8)
        self.n = n

    def entropy(self, subset):
        """Entanglement entropy (in bits) of `subset` with the other qubits:
        rank of the generators restricted to the subset, minus its size."""
        subset = set(subset)
        if 2 * len(subset) > self.n:
            subset = set(range(self.n)) - subset
        if not subset:
            return 0
        cols = sorted(subset)
        restricted = np.concatenate([self.xs[:, cols], self.zs[:, cols]], axis=1)
        rows = [int.from_bytes(r.tobytes(), "big") for r in np.packbits(restricted, axis=1)]
        return gf2_rank(rows) - len(cols)


def stim_components(sim, n):
    """Connected components of the graph in Stim's graph-state form of its
    tableau: the factors of the state."""
    circuit = sim.current_inverse_tableau().inverse().to_circuit(method="graph_state")
    parent = list(range(n))

    def find(a):
        while parent[a] != a:
            parent[a] = parent[parent[a]]
            a = parent[a]
        return a

    for inst in circuit:
        if inst.name == "CZ":
            ts = [t.value for t in inst.targets_copy()]
            for a, b in zip(ts[::2], ts[1::2]):
                parent[find(a)] = find(b)
    groups = {}
    for q in range(n):
        groups.setdefault(find(q), set()).add(q)
    return {q: groups[find(q)] for q in range(n)}


def test_entropy_formula():
    sim = stim.TableauSimulator()
    sim.set_num_qubits(5)
    sim.h(0)
    sim.cx(0, 1)  # Bell pair on 0, 1
    sim.h(2)  # |+> on 2
    sim.h(3)
    sim.cx(3, 4)
    sim.s(4)  # another maximally entangled pair on 3, 4
    st = Stabilizers(sim, 5)
    assert st.entropy({0}) == 1 and st.entropy({1}) == 1
    assert st.entropy({0, 1}) == 0 and st.entropy({2}) == 0
    assert st.entropy({0, 3}) == 2 and st.entropy({0, 1, 3}) == 1
    assert st.entropy({0, 1, 2, 3, 4}) == 0
    comps = stim_components(sim, 5)
    assert comps[0] == {0, 1} and comps[2] == {2} and comps[4] == {3, 4}


# ------------------------------------------------------------ the check ---


class Mismatch(AssertionError):
    pass


class Stats:
    def __init__(self):
        self.circuits = 0
        self.gates = 0
        self.determined = 0
        self.random = 0
        self.random_ones = 0
        self.peeked = 0
        self.peek_axes = {"X": 0, "Y": 0, "Z": 0}
        self.groups = 0
        self.subsets = 0


class Pair:
    """One circuit on both simulators, with its operation log."""

    def __init__(self, n, stats, kelvorin=Kelvorin, two_qubit=TWO_QUBIT, single_qubit=SINGLE_QUBIT):
        self.n = n
        self.k = kelvorin(n)
        self.s = stim.TableauSimulator()
        self.s.set_num_qubits(n)
        self.stats = stats
        self.two_qubit = two_qubit
        self.single_qubit = single_qubit
        self.log = [f"Kelvorin({n})"]

    def fail(self, text):
        raise Mismatch(f"{text}\ncircuit:\n  " + "\n  ".join(self.log))

    def gate1(self, name, q):
        self.log.append(f"{name}({q})")
        getattr(self.k, name)(q)
        stim_method(self.s, self.single_qubit[name][1])(q)
        self.stats.gates += 1

    def gate2(self, name, c, t):
        self.log.append(f"{name}({c}, {t})")
        getattr(self.k, name)(c, t)
        stim_method(self.s, self.two_qubit[name])(c, t)
        self.stats.gates += 1

    def measure(self, axis, q):
        expected = peek(self.s, axis, q)
        result = getattr(self.k, "measure_" + axis.lower())(q)
        if type(result) is not MeasurementResult:
            self.fail(f"measure_{axis.lower()} returned {type(result)}")
        bit = int(result)
        self.log.append(f"measure_{axis.lower()}({q}) -> {bit}")
        if expected != 0:
            self.stats.determined += 1
            if bit != (expected < 0):
                self.fail(f"measure_{axis.lower()}({q}) gave {bit}, but the outcome is determined: {expected:+d}")
        else:
            self.stats.random += 1
            self.stats.random_ones += bit
            postselect(self.s, axis, q, bit)

    def peek_set(self, qubits):
        isolated = {q for q in qubits if self.k.get_entangled_group(q) == {q}}
        out = self.k.peek_measure_set(set(qubits))
        self.log.append(f"peek_measure_set({sorted(qubits)}) -> " + ", ".join(f"{q}: {out[q]}" for q in sorted(out)))
        if set(out) != set(qubits):
            self.fail(f"peek_measure_set returned keys {sorted(out)} for {sorted(qubits)}")
        copy = self.s.copy()
        for q in sorted(qubits):
            axis, bit = AXIS_OF[int(out[q].axis)], int(out[q].result)
            if q in isolated and peek(self.s, axis, q) == 0:
                self.fail(f"peek_measure_set: isolated qubit {q} reported along {axis}, not its eigen-axis")
            if q not in isolated:
                self.stats.peek_axes[axis] += 1
            expected = peek(copy, axis, q)
            if expected != 0:
                if bit != (expected < 0):
                    self.fail(f"peek_measure_set: qubit {q} along {axis} gave {bit}, impossible with the others")
            else:
                postselect(copy, axis, q, bit)
        self.stats.peeked += len(qubits)

    def group(self, q, rng, components=None):
        group = self.k.get_entangled_group(q)
        self.log.append(f"get_entangled_group({q}) -> {sorted(group)}")
        if type(group) is not set or q not in group or not group <= set(range(self.n)):
            self.fail(f"get_entangled_group({q}) = {group!r}")
        st = Stabilizers(self.s, self.n)
        if st.entropy(group) != 0:
            self.fail(f"group {sorted(group)} of {q} is entangled with the rest")
        others = sorted(group - {q})
        for _ in range(min(4, len(others))):
            subset = {q, *rng.sample(others, rng.randint(0, len(others) - 1))}
            self.stats.subsets += 1
            if st.entropy(subset) == 0:
                self.fail(f"{sorted(subset)}, a proper part of the group of {q}, is a factor of its own")
        components = components or stim_components(self.s, self.n)
        if group != components[q]:
            self.fail(f"group of {q} is {sorted(group)}, the state's factor is {sorted(components[q])}")
        self.stats.groups += 1


def run_circuit(rng, stats, **pair_options):
    n = rng.randint(2, 40)
    pair = Pair(n, stats, **pair_options)
    # Operations concentrate on a random subset of the qubits, so that some
    # circuits build large dense components and others many small ones.
    active = rng.sample(range(n), rng.randint(2, n))
    steps = rng.randint(5, 4 * len(active) + 10)
    singles = sorted(pair.single_qubit)
    doubles = sorted(pair.two_qubit)
    # A few measurements keep components large, many keep them small.
    measuring = rng.uniform(0.03, 0.3)
    for _ in range(steps):
        r = rng.random()
        if r < measuring:
            pair.measure(rng.choice(AXES), rng.choice(active))
        elif r < 0.30:
            pair.gate1(rng.choice(singles), rng.choice(active))
        elif r < 0.88:
            c, t = rng.sample(active, 2)
            pair.gate2(rng.choice(doubles), c, t)
        elif r < 0.94:
            pair.peek_set(rng.sample(active, rng.randint(1, min(10, len(active)))))
        else:
            pair.group(rng.choice(active), rng)
    # Every group once, against one factorisation of the final state.
    components = stim_components(pair.s, n)
    seen = set()
    for q in range(n):
        if q not in seen:
            pair.group(q, rng, components)
            seen |= components[q]
    # Then every qubit measured, in a random order and basis.
    order = list(range(n))
    rng.shuffle(order)
    for q in order:
        pair.measure(rng.choice(AXES), q)
    stats.circuits += 1


CHUNKS = 6
CIRCUITS_PER_CHUNK = 500


@pytest.mark.parametrize("chunk", range(CHUNKS))
def test_random_circuits(chunk):
    rng = random.Random(0x6B656C76 + chunk)
    stats = Stats()
    for _ in range(CIRCUITS_PER_CHUNK):
        run_circuit(rng, stats)
    assert stats.circuits == CIRCUITS_PER_CHUNK
    # The mix exercised every kind of check.
    assert stats.determined > 1000 and stats.random > 1000
    assert stats.peeked > 100 and stats.groups > 500 and stats.subsets > 100
    # Random outcomes are a fair coin (7 standard deviations).
    half_width = 7 * math.sqrt(stats.random) / 2
    assert abs(stats.random_ones - stats.random / 2) <= half_width, (stats.random_ones, stats.random)
    # Qubits with neighbours get random axes: all three show up.
    assert min(stats.peek_axes.values()) > 0, stats.peek_axes


# ---------------------------------------------- the check can fail at all ---


class Flipped:
    """A kelvorin whose method `name` answers with the opposite outcome."""

    def __init__(self, name):
        self.name = name

    def __call__(self, n):
        real = Kelvorin(n)
        name = self.name

        class Wrapper:
            def __getattr__(self, attr):
                method = getattr(real, attr)
                if attr != name:
                    return method
                if attr == "peek_measure_set":
                    return lambda qs: {q: FakeOutcome(o) for q, o in method(qs).items()}
                return lambda q: MeasurementResult.MinusOne if int(method(q)) == 0 else MeasurementResult.PlusOne

        return Wrapper()


class FakeOutcome:
    def __init__(self, o):
        self.axis = o.axis
        self.result = MeasurementResult.MinusOne if int(o.result) == 0 else MeasurementResult.PlusOne

    def __str__(self):
        return f"flipped {self.axis}"


class GroupWith:
    """A kelvorin whose get_entangled_group is off by `change`."""

    def __init__(self, change):
        self.change = change

    def __call__(self, n):
        real = Kelvorin(n)
        change = self.change

        class Wrapper:
            def __getattr__(self, attr):
                if attr == "get_entangled_group":
                    return lambda q: change(real.get_entangled_group(q), q, n)
                return getattr(real, attr)

        return Wrapper()


def add_neighbour(group, q, n):
    """The group plus the next qubit outside it, when there is one."""
    outside = sorted(set(range(n)) - group)
    return group | {outside[0]} if outside else group


def drop_one(group, q, n):
    rest = sorted(group - {q})
    return group - {rest[-1]} if rest else group


MUTANTS = {
    "s and sdag swapped": {"single_qubit": {**SINGLE_QUBIT, "s": SINGLE_QUBIT["sdag"], "sdag": SINGLE_QUBIT["s"]}},
    "h taken for s": {"single_qubit": {**SINGLE_QUBIT, "h": SINGLE_QUBIT["s"]}},
    "xcy taken for ycx": {"two_qubit": {**TWO_QUBIT, "ycx": "XCY"}},
    "cx with its arguments swapped": {"two_qubit": {**TWO_QUBIT, "cx": "XCZ"}},
    "ycz taken for xcz": {"two_qubit": {**TWO_QUBIT, "xcz": "YCZ"}},
    "measure_y flipped": {"kelvorin": Flipped("measure_y")},
    "measure_x flipped": {"kelvorin": Flipped("measure_x")},
    "peek outcomes flipped": {"kelvorin": Flipped("peek_measure_set")},
    "group one too large": {"kelvorin": GroupWith(add_neighbour)},
    "group one too small": {"kelvorin": GroupWith(drop_one)},
}


@pytest.mark.parametrize("mutant", sorted(MUTANTS))
def test_cross_check_catches(mutant):
    """The same check, pointed at a deliberately wrong pairing or a
    wrong simulator, reports a mismatch within a few hundred circuits."""
    rng = random.Random(mutant)
    stats = Stats()
    with pytest.raises(Mismatch):
        for _ in range(1000):
            run_circuit(rng, stats, **MUTANTS[mutant])
