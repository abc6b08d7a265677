"""Several Python threads: each with its own simulator, and several sharing one.

Every call holds the interpreter lock throughout, so threads sharing a
simulator never meet its access flag unless Python code runs inside a call
(an argument's __index__) and lets another thread in; then the other thread's
call fails with the flag's RuntimeError and nothing else.  Outcomes come from
a random source of each thread's own.
"""

import random
import sys
import threading
import time

import pytest
from helpers import SINGLE_QUBIT_GATES, TWO_QUBIT_GATES

from kelvorin import Kelvorin, MeasurementResult

THREADS = 4
GATES_1 = SINGLE_QUBIT_GATES
GATES_2 = TWO_QUBIT_GATES
MEASURE = ["measure_x", "measure_y", "measure_z"]


@pytest.fixture(autouse=True)
def frequent_switches():
    # Threads change places as often as the interpreter allows.
    saved = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(saved)


def run_threads(target, count=THREADS):
    errors = []
    results = [None] * count

    def body(i):
        try:
            results[i] = target(i)
        except BaseException as e:
            errors.append(e)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []
    return results


def random_ops(sim, n, rng, steps):
    """Random gates, measurements, groups and peeks; checks repeated measurements."""
    known = {}
    for _ in range(steps):
        r = rng.random()
        a = rng.randrange(n)
        if r < 0.35:
            getattr(sim, rng.choice(GATES_1))(a)
            known.pop(a, None)
        elif r < 0.7:
            b = rng.choice([q for q in range(n) if q != a])
            getattr(sim, rng.choice(GATES_2))(a, b)
            known.pop(a, None)
            known.pop(b, None)
        elif r < 0.85:
            name = rng.choice(MEASURE)
            result = getattr(sim, name)(a)
            assert result in (MeasurementResult.PlusOne, MeasurementResult.MinusOne)
            if known.get(a, (None,))[0] == name:
                assert result == known[a][1]
            known[a] = (name, result)
        elif r < 0.95:
            group = sim.get_entangled_group(a)
            assert a in group and all(a in sim.get_entangled_group(q) for q in group)
        else:
            qubits = set(rng.sample(range(n), 3))
            assert set(sim.peek_measure_set(qubits)) == qubits
    return known


def test_threads_with_their_own_simulators():
    n = 12

    def work(i):
        sim = Kelvorin(n)
        known = random_ops(sim, n, random.Random(i), 3000)
        for q, (name, result) in known.items():
            assert getattr(sim, name)(q) == result
        return sim.get_entangled_group(0)

    groups = run_threads(work)
    assert all(0 in g for g in groups)


def test_threads_sharing_one_simulator_meet_no_errors():
    n = 12
    sim = Kelvorin(n)

    def work(i):
        # Measurements of a shared state can be undone by other threads, so
        # only what holds regardless of interleaving is checked inside.
        rng = random.Random(100 + i)
        for _ in range(3000):
            r = rng.random()
            a = rng.randrange(n)
            if r < 0.4:
                getattr(sim, rng.choice(GATES_1))(a)
            elif r < 0.8:
                b = rng.choice([q for q in range(n) if q != a])
                getattr(sim, rng.choice(GATES_2))(a, b)
            elif r < 0.9:
                getattr(sim, rng.choice(MEASURE))(a)
            elif r < 0.95:
                assert a in sim.get_entangled_group(a)
            else:
                assert set(sim.peek_measure_set({a, (a + 1) % n})) == {a, (a + 1) % n}

    run_threads(work)
    for q in range(n):
        assert all(q in sim.get_entangled_group(p) for p in sim.get_entangled_group(q))
    result = sim.measure_z(0)
    assert sim.measure_z(0) == result


class Yielding:
    """An index whose conversion lets other threads run while a call holds access."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value


def test_threads_sharing_one_simulator_through_reentrant_arguments():
    n = 6
    sim = Kelvorin(n)
    sim.h(0)
    sim.cx(0, 1)
    messages = {"Already borrowed", "Already mutably borrowed"}

    def work(i):
        rng = random.Random(200 + i)
        done = refused = 0
        for _ in range(1500):
            a = rng.randrange(n)
            b = (a + 1 + rng.randrange(n - 1)) % n
            call = rng.choice(
                [
                    lambda: sim.h(Yielding(a)),
                    lambda: sim.cx(Yielding(a), b),
                    lambda: sim.measure_x(Yielding(a)),
                    lambda: sim.get_entangled_group(Yielding(a)),
                    lambda: sim.peek_measure_set({Yielding(a)}),
                    lambda: sim.s(a),
                ]
            )
            try:
                call()
                done += 1
            except RuntimeError as e:
                assert str(e) in messages
                refused += 1
        return done, refused

    counts = run_threads(work)
    assert sum(done for done, _ in counts) > 0
    assert sum(refused for _, refused in counts) > 0, "no thread ever met another's access"
    # Free again: an exclusive call and a shared one both go through.
    sim.z(0)
    assert 0 in sim.get_entangled_group(0)


def outcome_bits(count):
    sim = Kelvorin(count)
    for q in range(count):
        sim.h(q)
    return tuple(int(sim.measure_z(q)) for q in range(count))


def test_random_source_is_per_thread_and_independently_keyed():
    # Each thread's source is keyed on its first draw from the operating
    # system, so no two threads (nor the main thread) see the same outcomes.
    bits = 256
    sequences = run_threads(lambda i: outcome_bits(bits), count=8)
    sequences.append(outcome_bits(bits))
    assert len(set(sequences)) == len(sequences), "two threads drew identical outcomes"
    for seq in sequences:
        # A fair coin: 256 draws with more than 56 from the mean has
        # probability below 1e-12.
        assert abs(sum(seq) - bits / 2) < 56, sum(seq)


def test_a_thread_ending_leaves_the_others_drawing():
    # A source is destroyed with its thread; threads started afterwards, and
    # the main thread, go on drawing fair outcomes.
    for _ in range(3):
        run_threads(lambda i: outcome_bits(64), count=2)
    seq = outcome_bits(256)
    assert abs(sum(seq) - 128) < 56
