"""Several Python threads: each with its own simulator, and several sharing one.

With the interpreter lock (the GIL build), threads sharing a simulator meet
its access flag only when Python code runs inside a call (an argument's
__index__) and lets another thread in.  Without it (a free-threaded build),
calls on one simulator run at once: reads share it, and a call that
conflicts with another thread's fails with the flag's RuntimeError and
changes nothing.  Outcomes come from a random source of each thread's own.
"""

import random
import sys
import threading
import time

import pytest
from helpers import SINGLE_QUBIT_GATES, TWO_QUBIT_GATES, run_python

from kelvorin import Axis, Kelvorin, MeasurementResult

THREADS = 4
GATES_1 = SINGLE_QUBIT_GATES
GATES_2 = TWO_QUBIT_GATES
MEASURE = ["measure_x", "measure_y", "measure_z"]
# Every gate is its own inverse but these two.
INVERSE = {"s": "sdag", "sdag": "s"}
FREE_THREADED = not sys._is_gil_enabled()
BORROW_ERRORS = {"Already borrowed", "Already mutably borrowed"}


def attempt(call, refusal=BORROW_ERRORS):
    """Runs call(); True if it went through, False if another thread's access
    refused it with one of the `refusal` messages."""
    try:
        call()
        return True
    except RuntimeError as e:
        assert str(e) in refusal
        return False


def random_circuit(rng, qubits, length):
    circuit = []
    for _ in range(length):
        if rng.random() < 0.4:
            circuit.append((rng.choice(GATES_1), rng.choice(qubits)))
        else:
            circuit.append((rng.choice(GATES_2), *rng.sample(qubits, 2)))
    return circuit


def inverse(circuit):
    return [(INVERSE.get(name, name), *qubits) for name, *qubits in reversed(circuit)]


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
    start = threading.Barrier(count)  # so that the threads overlap

    def body(i):
        try:
            start.wait()
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


def test_threads_on_their_own_simulators_match_a_serial_run():
    # Deterministic: the entangled groups a gate circuit leaves, and |0...0>
    # again once it is undone.  Random: GHZ shots, whose qubits agree and
    # whose outcomes, over every thread's shots, are a fair coin.
    n, shots = 30, 300

    def work(i):
        rng = random.Random(i)
        sim = Kelvorin(n)
        circuit = random_circuit(rng, range(n), 400)
        for name, *qubits in circuit:
            getattr(sim, name)(*qubits)
        groups = [sorted(sim.get_entangled_group(q)) for q in range(n)]
        for name, *qubits in inverse(circuit):
            getattr(sim, name)(*qubits)
        undone = [int(sim.measure_z(q)) for q in range(n)]
        ones = 0
        for _ in range(shots):
            ghz = Kelvorin(8)
            ghz.h(0)
            for q in range(1, 8):
                ghz.cx(q - 1, q)
            bits = {int(ghz.measure_z(q)) for q in range(8)}
            assert len(bits) == 1
            ones += bits.pop()
        return groups, undone, ones

    serial = [work(i) for i in range(THREADS)]
    together = run_threads(work)
    assert [groups for groups, _, _ in together] == [groups for groups, _, _ in serial]
    assert all(undone == [0] * n for _, undone, _ in together + serial)
    total = THREADS * shots
    # Six standard deviations of a fair coin.
    assert abs(sum(ones for _, _, ones in together) - total / 2) < 3 * total**0.5


def test_readers_sharing_one_simulator_get_right_answers_and_change_nothing():
    # A 40-qubit cluster wire and an isolated qubit in |1>, read by threads
    # at once: half ask for groups, half peek at a set that takes rows of
    # the wire and of the lone qubit.
    n, wire, lone = 48, list(range(40)), 45

    def prepare(sim):
        for q in wire:
            sim.h(q)
        for q in wire[:-1]:
            sim.cz(q, q + 1)
        sim.x(lone)

    sim = Kelvorin(n)
    prepare(sim)

    def work(i):
        for _ in range(20000):
            if i % 2:
                assert sim.get_entangled_group(3) == set(wire)
                assert sim.get_entangled_group(lone) == {lone}
            else:
                out = sim.peek_measure_set({5, 17, 30, lone})
                assert set(out) == {5, 17, 30, lone}
                assert out[lone].axis == Axis.Z and out[lone].result == MeasurementResult.MinusOne

    run_threads(work)
    # Undoing the circuit must give every qubit back alone and in |0>.
    for q in reversed(wire[:-1]):
        sim.cz(q, q + 1)
    for q in wire:
        sim.h(q)
    sim.x(lone)
    assert all(sim.get_entangled_group(q) == {q} and sim.measure_z(q) == 0 for q in range(n))


def test_writers_and_readers_on_one_simulator_meet_only_the_borrow_errors():
    # Two writers, each on six qubits of its own, apply a circuit and undo
    # it, over and over until the readers are done, retrying every gate that
    # another thread's access refuses; two readers ask for groups and peeks
    # meanwhile.  A gate is refused only as "Already borrowed", a read only
    # as "Already mutably borrowed"; every group read stays inside one
    # writer's qubits; and the state ends exact.
    block = 6
    sim = Kelvorin(2 * block)
    readers_left = [2]
    lock = threading.Lock()

    def writer(i):
        own = list(range(i * block, (i + 1) * block))
        circuit = random_circuit(random.Random(300 + i), own, 100)
        refused = 0
        while True:
            for name, *qubits in circuit + inverse(circuit):
                while not attempt(lambda: getattr(sim, name)(*qubits), {"Already borrowed"}):
                    refused += 1
            if not readers_left[0]:
                return refused

    def reader(i):
        rng = random.Random(400 + i)
        refused = 0
        for _ in range(3000):
            q = rng.randrange(2 * block)
            mine = set(range(q - q % block, q - q % block + block))

            def group():
                assert q in sim.get_entangled_group(q) <= mine

            def peek():
                assert set(sim.peek_measure_set({q})) == {q}

            refused += not attempt(rng.choice([group, peek]), {"Already mutably borrowed"})
        with lock:
            readers_left[0] -= 1
        return refused

    refused = run_threads(lambda i: writer(i) if i < 2 else reader(i))
    if not FREE_THREADED:
        assert sum(refused) == 0
    assert all(sim.get_entangled_group(q) == {q} and sim.measure_z(q) == 0 for q in range(2 * block))


def test_threads_sharing_one_simulator_meet_nothing_but_the_borrow_errors():
    n = 12
    sim = Kelvorin(n)

    def work(i):
        # Measurements of a shared state can be undone by other threads, so
        # only what holds regardless of interleaving is checked inside.  With
        # the interpreter lock no call is ever refused.
        rng = random.Random(100 + i)
        refused = 0
        for _ in range(3000):
            r = rng.random()
            a = rng.randrange(n)
            if r < 0.4:
                call = lambda: getattr(sim, rng.choice(GATES_1))(a)  # noqa: E731
            elif r < 0.8:
                b = rng.choice([q for q in range(n) if q != a])
                call = lambda: getattr(sim, rng.choice(GATES_2))(a, b)  # noqa: E731
            elif r < 0.9:
                call = lambda: getattr(sim, rng.choice(MEASURE))(a)  # noqa: E731
            elif r < 0.95:

                def call():
                    assert a in sim.get_entangled_group(a)
            else:

                def call():
                    assert set(sim.peek_measure_set({a, (a + 1) % n})) == {a, (a + 1) % n}

            refused += not attempt(call)
        return refused

    refused = run_threads(work)
    if not FREE_THREADED:
        assert sum(refused) == 0
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


def test_threads_failing_at_once_in_a_fresh_process_share_one_panic_type():
    # The PanicException type is made at the process's first failure; eight
    # threads failing together must all raise the one type made.
    out = run_python(
        """
        import threading, kelvorin
        start, raised = threading.Barrier(8), []
        def fail():
            sim = kelvorin.Kelvorin(0)
            start.wait()
            try:
                sim.x(0)
            except BaseException as e:
                raised.append(type(e))
        threads = [threading.Thread(target=fail) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert len(raised) == 8 and len(set(raised)) == 1, raised
        """
    )
    assert out.returncode == 0, out.stderr
