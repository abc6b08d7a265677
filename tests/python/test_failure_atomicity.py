"""Allocation failures during a call: every method either completes, or
raises MemoryError and leaves the simulator exactly as it was, usable, with no
reference to its arguments kept.  The interpreter's allocator is made to fail
at one allocation of the call, for each point up to a bound beyond the number
of allocations the call makes; the engine's own allocations are failed the
same way by the engine tests."""

import sys

import pytest
from helpers import SINGLE_QUBIT_GATES, TWO_QUBIT_GATES, Index, run_python

from kelvorin import Axis, Kelvorin, MeasurementResult, Outcome

_testcapi = pytest.importorskip("_testcapi")

N = 10
# Gates only, each its own inverse up to s <-> sdag: a hub (qubit 0), a path
# and a few single-qubit operators.
CIRCUIT = (
    [("h", q) for q in range(N)]
    + [("cz", 0, q) for q in range(1, N)]
    + [("cx", 3, 4), ("cy", 5, 6), ("xcz", 7, 8), ("s", 2), ("h", 9), ("ycx", 1, 9), ("sdag", 4)]
)
INVERSE = {"s": "sdag", "sdag": "s"}
GATES = set(SINGLE_QUBIT_GATES + TWO_QUBIT_GATES)


class Qubits(frozenset):
    """A set argument whose iteration runs through Python code."""

    def __iter__(self):
        return iter(list(frozenset.__iter__(self)))


def build():
    sim = Kelvorin(N)
    for name, *qubits in CIRCUIT:
        getattr(sim, name)(*qubits)
    return sim


def assert_as_built(sim):
    """Undoing the circuit must give |0...0> exactly: every qubit alone, and
    determined +1 in Z."""
    for name, *qubits in reversed(CIRCUIT):
        getattr(sim, INVERSE.get(name, name))(*qubits)
    for q in range(N):
        assert sim.get_entangled_group(q) == {q}
    outcomes = sim.peek_measure_set(set(range(N)))
    assert all(o.axis == Axis.Z and o.result == MeasurementResult.PlusOne for o in outcomes.values())


def calls():
    """(name, arguments, keyword arguments) for the constructor and every method."""
    a, b = Index(0), Index(5)
    yield "Kelvorin", (Index(N),), {}
    for name in ("x", "y", "z", "h", "s", "sdag", "measure_x", "measure_y", "measure_z", "get_entangled_group"):
        yield name, (a,), {}
        yield name, (), {"qubit": b}
    for name in TWO_QUBIT_GATES:
        yield name, (a, b), {}
        yield name, (b,), {"target": a}
    for qubits in ({0}, set(range(N)), Qubits({Index(1), Index(0), Index(2)})):
        yield "peek_measure_set", (qubits,), {}
        yield "peek_measure_set", (), {"qubits": qubits}


def fail_one_allocation(k, call):
    """Runs call() with the interpreter's k-th allocation (counting from 0)
    failing; True when it completed."""
    _testcapi.set_nomemory(k, k + 1)
    try:
        call()
    except MemoryError:
        return False
    finally:
        _testcapi.remove_mem_hooks()
    return True


@pytest.mark.parametrize("name, args, kwargs", list(calls()))
def test_a_failed_allocation_changes_nothing(name, args, kwargs):
    arguments = list(args) + list(kwargs.values())
    counts = [sys.getrefcount(x) for x in arguments]
    failures = 0
    for k in range(40):
        sim = build()
        target = Kelvorin if name == "Kelvorin" else getattr(sim, name)
        if fail_one_allocation(k, lambda: target(*args, **kwargs)):
            continue
        failures += 1
        assert [sys.getrefcount(x) for x in arguments] == counts, f"allocation {k}"
        assert_as_built(sim)
    assert [sys.getrefcount(x) for x in arguments] == counts
    # A call that makes a new object allocates, so the harness saw it fail;
    # gates called by position may allocate nothing at all.
    if name not in GATES:
        assert failures > 0
    assert isinstance(build().peek_measure_set({0})[0], Outcome)


def test_the_first_panic_of_a_process_when_an_allocation_fails():
    # The PanicException type is made at the first panic of the process, so in
    # a fresh interpreter each of its allocations is failed in turn: the call
    # raises MemoryError (no abort), and a later panic makes the type.
    out = run_python(
        """
        import _testcapi, kelvorin
        sim = kelvorin.Kelvorin(1)
        failed = 0
        for k in range(1000):
            _testcapi.set_nomemory(k, k + 1)
            try:
                sim.x(5)
            except MemoryError:
                failed += 1
                continue
            except BaseException as e:
                raised = e
                break
            finally:
                _testcapi.remove_mem_hooks()
        try:
            sim.h(7)
        except BaseException as e:
            again = e
        kind = type(raised)
        shape = kind.__module__, kind.__qualname__, kind.__bases__ == (BaseException,), type(again) is kind
        print(failed, *shape)
        print(raised)
        print(again)
        """,
        timeout=120,
    )
    assert out.returncode == 0, out.stderr
    failed, *shape = out.stdout.splitlines()[0].split()
    assert int(failed) > 0 and shape == ["orvane_runtime", "PanicException", "True", "True"], out.stdout
    assert out.stdout.splitlines()[1:] == [
        "index out of bounds: the len is 1 but the index is 5",
        "index out of bounds: the len is 1 but the index is 7",
    ]
