"""The benchmark workloads and the two simulators they run on.

A workload is a list of abstract operations, ("h", q), ("cz", a, b),
("mx", q), ..., generated from a seeded random generator so that kelvorin and
Stim see exactly the same circuit.  Before timing, each simulator binds the
list into (bound method, argument tuple) pairs; the timed loop is then the
same `for f, args in ops: f(*args)` for both, so the Python-side cost of the
driver is identical and the difference is the simulators'.
"""

import random

# ------------------------------------------------------------ simulators ---


class KelvorinSim:
    name = "kelvorin"

    def __init__(self, n):
        from kelvorin import Kelvorin

        self.sim = Kelvorin(n)
        s = self.sim
        self.fns = {name: getattr(s, name) for name in SINGLE + DOUBLE}
        self.fns.update(mx=s.measure_x, my=s.measure_y, mz=s.measure_z)
        self.q1 = {}

    def bind(self, ops):
        fns, q1 = self.fns, self.q1
        out = []
        for op in ops:
            if len(op) == 2:
                q = op[1]
                args = q1.get(q)
                if args is None:
                    args = q1[q] = (q,)
                out.append((fns[op[0]], args))
            else:
                out.append((fns[op[0]], op[1:]))
        return out

    def peek(self, qubits, axes):
        return self.sim.peek_measure_set(qubits)


class StimSim:
    """stim.TableauSimulator with kelvorin's gate names.  The two-qubit gates
    are Stim's gates of the same operator (the pairing the cross-check test
    verifies); X and Y measurements are one `do` call of a prepared MX / MY
    instruction, Z measurements `measure`."""

    name = "stim"

    def __init__(self, n):
        import stim

        self.stim = stim
        self.sim = stim.TableauSimulator()
        self.sim.set_num_qubits(n)
        s = self.sim
        self.fns = {name: getattr(s, "s_dag" if name == "sdag" else name) for name in SINGLE + DOUBLE}
        self.fns.update(mx=s.do, my=s.do, mz=s.measure)
        self.q1 = {}
        self.instructions = {}

    def instruction(self, kind, q):
        key = (kind, q)
        args = self.instructions.get(key)
        if args is None:
            args = self.instructions[key] = (self.stim.CircuitInstruction({"mx": "MX", "my": "MY"}[kind], [q]),)
        return args

    def bind(self, ops):
        fns, q1 = self.fns, self.q1
        out = []
        for op in ops:
            kind = op[0]
            if len(op) == 2:
                q = op[1]
                if kind == "mx" or kind == "my":
                    args = self.instruction(kind, q)
                else:
                    args = q1.get(q)
                    if args is None:
                        args = q1[q] = (q,)
                out.append((fns[kind], args))
            else:
                out.append((fns[kind], op[1:]))
        return out

    def peek(self, qubits, axes):
        """What peek_measure_set does, on a copy: each qubit along the axis
        drawn for it."""
        copy = self.sim.copy()
        out = {}
        for q, axis in zip(qubits, axes):
            if axis == "Z":
                out[q] = copy.measure(q)
            else:
                copy.do(self.instruction("m" + axis.lower(), q)[0])
                out[q] = copy.current_measurement_record()[-1]
        return out


SIMULATORS = {"kelvorin": KelvorinSim, "stim": StimSim}

# ------------------------------------------------------------- circuits ---

SINGLE = ["x", "y", "z", "h", "s", "sdag"]
DOUBLE = ["cz", "cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"]


def grid_shape(n):
    """Rows and columns with rows * cols == n, as close to square as n allows."""
    rows = int(n**0.5)
    while n % rows:
        rows -= 1
    return rows, n // rows


def cluster_build(n):
    rows, cols = grid_shape(n)
    ops = [("h", q) for q in range(n)]
    for r in range(rows):
        for c in range(cols):
            q = r * cols + c
            if c + 1 < cols:
                ops.append(("cz", q, q + 1))
            if r + 1 < rows:
                ops.append(("cz", q, q + cols))
    return ops


def cluster(n, seed):
    """2D cluster state, then every qubit measured along X or Y at random:
    the pattern of measurement-based computation."""
    rng = random.Random(seed)
    measure = [(rng.choice(("mx", "my")), q) for q in range(n)]
    return [("build", cluster_build(n)), ("measure", measure)]


def ghz(n, seed):
    """GHZ state by a chain of cx, then every qubit measured in Z."""
    build = [("h", 0)] + [("cx", q, q + 1) for q in range(n - 1)]
    return [("build", build), ("measure", [("mz", q) for q in range(n)])]


def ghz_fanout(n, seed):
    """The same GHZ state by cx from qubit 0 to every other qubit."""
    build = [("h", 0)] + [("cx", 0, q) for q in range(1, n)]
    return [("build", build), ("measure", [("mz", q) for q in range(n)])]


def random_circuit(n, seed, depth=20, measure_rate=0.25):
    """Brickwork on a ring (every qubit meets at most two partners): per layer
    a random single-qubit gate on every qubit, a random two-qubit gate on every
    other ring edge, and each qubit measured along a random axis with
    probability `measure_rate`."""
    rng = random.Random(seed)
    ops = []
    for layer in range(depth):
        ops.extend((rng.choice(SINGLE), q) for q in range(n))
        for q in range(layer % 2, n - 1 if n % 2 else n, 2):
            a, b = q, (q + 1) % n
            if rng.random() < 0.5:
                a, b = b, a
            ops.append((rng.choice(DOUBLE), a, b))
        ops.extend((rng.choice(("mx", "my", "mz")), q) for q in range(n) if rng.random() < measure_rate)
    return [("circuit", ops)]


def random_sparse(n, seed):
    return random_circuit(n, seed, measure_rate=0.25)


def random_dense(n, seed):
    return random_circuit(n, seed, measure_rate=0.05)


WORKLOADS = {
    "cluster": cluster,
    "ghz": ghz,
    "ghz_fanout": ghz_fanout,
    "random_sparse": random_sparse,
    "random_dense": random_dense,
}


def peek_requests(n, seed, calls, size=10):
    """For the peek workload: `calls` sets of `size` qubits of a 2D cluster
    state of n qubits, with one random axis per qubit for Stim's replay."""
    rng = random.Random(seed)
    out = []
    for _ in range(calls):
        qubits = rng.sample(range(n), size)
        out.append((set(qubits), qubits, [rng.choice("XYZ") for _ in qubits]))
    return out
