"""End-to-end physics through the public API only.

Statistical checks use bounds of 7 standard deviations of a fair coin, so a
correct simulator fails any one of them with probability below 3e-12 (the whole
file below 1e-10), while a branch probability off by 0.1 or more is caught
almost surely at these sample sizes.
"""

import itertools
import math
import random

import pytest

from kelvorin import Axis, Kelvorin, MeasurementResult

PLUS, MINUS = MeasurementResult.PlusOne, MeasurementResult.MinusOne
SIGMAS = 7.0


def bit(result):
    return int(result)


def assert_fair(count, n):
    half_width = SIGMAS * math.sqrt(n) / 2
    assert abs(count - n / 2) <= half_width, f"{count} of {n} is not a fair coin"


def measure(sim, q, basis):
    return {"X": sim.measure_x, "Y": sim.measure_y, "Z": sim.measure_z}[basis](q)


def bell():
    s = Kelvorin(2)
    s.h(0)
    s.cx(0, 1)
    return s


# <Phi+| P x P |Phi+> = +1 for X and Z, -1 for Y.
@pytest.mark.parametrize("basis, correlation", [("X", 1), ("Y", -1), ("Z", 1)])
def test_bell_pair_same_basis(basis, correlation):
    n = 2000
    ones = 0
    for _ in range(n):
        s = bell()
        a, b = bit(measure(s, 0, basis)), bit(measure(s, 1, basis))
        assert (a == b) == (correlation == 1)
        ones += a
    assert_fair(ones, n)


@pytest.mark.parametrize("first, second", [p for p in itertools.product("XYZ", repeat=2) if p[0] != p[1]])
def test_bell_pair_different_bases_are_uncorrelated(first, second):
    n = 2000
    agree = ones = 0
    for _ in range(n):
        s = bell()
        a, b = bit(measure(s, 0, first)), bit(measure(s, 1, second))
        agree += a == b
        ones += b
    assert_fair(agree, n)
    assert_fair(ones, n)


def ghz(n):
    s = Kelvorin(n)
    s.h(0)
    for q in range(n - 1):
        s.cx(q, q + 1)
    return s


def test_ghz_z_outcomes_agree():
    n, trials = 6, 1000
    zeros = 0
    for _ in range(trials):
        s = ghz(n)
        bits = {bit(s.measure_z(q)) for q in range(n)}
        assert len(bits) == 1
        zeros += 0 in bits
    assert_fair(zeros, trials)


def test_ghz_xy_parities():
    # <GHZ| (x) P_q |GHZ> over X and Y with k Y's is (-1)^(k/2) for even k and
    # 0 for odd k.
    n = 4
    for bases in itertools.product("XY", repeat=n):
        k = bases.count("Y")
        trials = 200 if k % 2 == 0 else 1000
        odd = 0
        for _ in range(trials):
            s = ghz(n)
            parity = sum(bit(measure(s, q, b)) for q, b in enumerate(bases)) % 2
            if k % 2 == 0:
                assert parity == (k // 2) % 2, bases
            odd += parity
        if k % 2 == 1:
            assert_fair(odd, trials)


# (preparation on a fresh qubit, basis, eigenvalue) for the six stabilizer states
SIX_STATES = [
    ([], "Z", PLUS),
    (["x"], "Z", MINUS),
    (["h"], "X", PLUS),
    (["x", "h"], "X", MINUS),
    (["h", "s"], "Y", PLUS),
    (["h", "sdag"], "Y", MINUS),
]


@pytest.mark.parametrize("prep, basis, eigenvalue", SIX_STATES)
def test_teleportation(prep, basis, eigenvalue):
    corrections = {(0, 0): 0, (0, 1): 0, (1, 0): 0, (1, 1): 0}
    for _ in range(400):
        s = Kelvorin(3)
        for g in prep:
            getattr(s, g)(0)
        assert measure_copy_free(s, 0, basis) == eigenvalue
        s.h(1)
        s.cx(1, 2)
        s.cx(0, 1)
        s.h(0)
        m0, m1 = bit(s.measure_z(0)), bit(s.measure_z(1))
        corrections[m0, m1] += 1
        if m1:
            s.x(2)
        if m0:
            s.z(2)
        assert measure(s, 2, basis) == eigenvalue
    # Every correction occurs: the two outcome bits are fair and independent.
    assert all(c > 40 for c in corrections.values()), corrections


def measure_copy_free(sim, q, basis):
    """The determined outcome of q in `basis`, read without disturbing sim."""
    peek = sim.peek_measure_set({q})[q]
    assert peek.axis == {"X": Axis.X, "Y": Axis.Y, "Z": Axis.Z}[basis]
    return peek.result


def random_circuit(sim, n, steps, rng):
    singles = ["x", "y", "z", "h", "s", "sdag"]
    doubles = ["cz", "cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"]
    for _ in range(steps):
        if rng.random() < 0.4:
            getattr(sim, rng.choice(singles))(rng.randrange(n))
        else:
            a, b = rng.sample(range(n), 2)
            getattr(sim, rng.choice(doubles))(a, b)


def test_repeated_measurement_repeats():
    rng = random.Random(5)
    for _ in range(200):
        n = rng.randrange(2, 30)
        s = Kelvorin(n)
        random_circuit(s, n, 60, rng)
        for _ in range(10):
            q, basis = rng.randrange(n), rng.choice("XYZ")
            first = measure(s, q, basis)
            assert s.get_entangled_group(q) == {q}
            for _ in range(3):
                assert measure(s, q, basis) == first


def test_peek_leaves_the_state_alone():
    rng = random.Random(11)
    for _ in range(100):
        n = rng.randrange(2, 25)
        s = Kelvorin(n)
        random_circuit(s, n, 50, rng)
        groups = [s.get_entangled_group(q) for q in range(n)]
        for _ in range(5):
            request = set(rng.sample(range(n), rng.randrange(1, n + 1)))
            out = s.peek_measure_set(request)
            assert set(out) == request
        assert [s.get_entangled_group(q) for q in range(n)] == groups


def test_peek_then_measure_keeps_bell_correlations():
    for _ in range(300):
        s = bell()
        for _ in range(3):
            s.peek_measure_set({0, 1})
        assert s.measure_x(0) == s.measure_x(1)


def test_peek_on_a_bell_pair_is_consistent():
    n = 3000
    axes = {0: 0, 1: 0, 2: 0}  # Axis values are unhashable: count by int()
    for _ in range(n):
        out = bell().peek_measure_set({0, 1})
        a, b = out[0], out[1]
        # After the first qubit is measured along an axis, the other is an
        # eigenstate along the same axis: equal results for X and Z, opposite
        # for Y.
        assert int(a.axis) == int(b.axis)
        same = int(a.result) == int(b.result)
        assert same == (a.axis != Axis.Y)
        axes[int(a.axis)] += 1
    # Each axis is drawn with probability 1/3.
    for count in axes.values():
        p = 1 / 3
        assert abs(count - n * p) <= SIGMAS * math.sqrt(n * p * (1 - p)), axes


def test_measuring_plus_in_z_is_a_fair_coin():
    n = 4000
    s = Kelvorin(n)
    ones = 0
    for q in range(n):
        s.h(q)
        ones += bit(s.measure_z(q))
    assert_fair(ones, n)


def test_fresh_qubits_measure_plus_in_z():
    s = Kelvorin(50)
    assert all(s.measure_z(q) == PLUS for q in range(50))
    out = s.peek_measure_set(frozenset(range(50)))
    assert all(o.axis == Axis.Z and o.result == PLUS for o in out.values())
