"""Leak checks: every method and the constructor, on success and on every
failure path, called 10**5 times in a row.

Afterwards the interpreter's allocated blocks and the process's resident
memory must be where they were, within a small bound, and the reference count
of every argument (and of the simulator) must be unchanged.

Under the sanitizer run (KELVORIN_UNDER_ASAN=1) the interpreter allocates
through malloc, so its block count is always 0, and the sanitizer keeps freed
memory in quarantine, so resident memory grows by design: there the calls are
fewer, Python allocations are counted with tracemalloc instead, and resident
memory is not bounded.
"""

import contextlib
import gc
import os
import sys
import tracemalloc

import pytest
from helpers import TWO_QUBIT_GATES, panic_type

from kelvorin import Kelvorin

UNDER_ASAN = os.environ.get("KELVORIN_UNDER_ASAN") == "1"
CALLS = 2_000 if UNDER_ASAN else 100_000
WARM_UP = 50 if UNDER_ASAN else 500
BLOCK_BOUND = 300  # interpreter blocks; one leaked object per call would be CALLS
TRACED_BOUND = 32 * 1024  # bytes under tracemalloc; one leaked object per call is >= 32 * CALLS
RSS_BOUND = 4 * 2**20  # one leaked 40-byte block per call would be 4 MB
# A PanicException raised by Python code that a method calls is reported with
# its traceback on standard error, which costs some fifty times a plain call:
# those paths run a tenth as often, still far above the bounds for a leak.
SLOW_PATHS = {"str_panics", "resumed_panic"}


PanicException = panic_type()

SINGLE = ["x", "y", "z", "h", "s", "sdag", "measure_x", "measure_y", "measure_z", "get_entangled_group"]
TWO = TWO_QUBIT_GATES
N = 4
VICTIM = Kelvorin(1)


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class RaisesValue:
    def __index__(self):
        raise ValueError("hostile")


class RaisesType:
    def __index__(self):
        raise TypeError("hostile")


class Unprintable:
    def __str__(self):
        raise ValueError("no text")


class PanicsOnStr:
    def __str__(self):
        VICTIM.x(99)
        return "never"


class RaisesUnprintableType:
    """A TypeError whose text cannot be made, so its prefixing takes the fallback."""

    def __init__(self, arg):
        self.arg = arg

    def __index__(self):
        raise TypeError(self.arg)


class CallsBack:
    def __init__(self, sim):
        self.sim = sim

    def __index__(self):
        self.sim.z(0)
        return 0


class Panics:
    def __index__(self):
        VICTIM.x(99)
        return 0


@contextlib.contextmanager
def quiet():
    """Standard error and unraisable reports go nowhere while the loop runs."""
    saved_fd = os.dup(2)
    saved_stderr, saved_hook = sys.stderr, sys.unraisablehook
    with open(os.devnull, "w") as devnull:
        os.dup2(devnull.fileno(), 2)
        sys.stderr, sys.unraisablehook = devnull, lambda unraisable: None
        try:
            yield
        finally:
            sys.stderr, sys.unraisablehook = saved_stderr, saved_hook
            os.dup2(saved_fd, 2)
            os.close(saved_fd)


def hammer(fn, args, kwargs, exc, times):
    if exc is None:
        for _ in range(times):
            fn(*args, **kwargs)
        return
    for _ in range(times):
        try:
            fn(*args, **kwargs)
        except exc:
            pass
        else:
            raise AssertionError(f"{fn} did not raise {exc.__name__}")


def check_flat(fn, args, kwargs=None, exc=None, extra=(), path=""):
    kwargs = kwargs or {}
    calls = CALLS // 10 if path in SLOW_PATHS else CALLS
    watched = [fn, *args, *kwargs.values(), *extra]
    with quiet():
        hammer(fn, args, kwargs, exc, WARM_UP)
        gc.collect()
        refs = [sys.getrefcount(obj) for obj in watched]
        if UNDER_ASAN:
            tracemalloc.start()
            traced = tracemalloc.get_traced_memory()[0]
        blocks, resident = sys.getallocatedblocks(), rss()
        hammer(fn, args, kwargs, exc, calls)
        gc.collect()
        grown_blocks, grown_rss = sys.getallocatedblocks() - blocks, rss() - resident
        if UNDER_ASAN:
            grown_traced = tracemalloc.get_traced_memory()[0] - traced
            tracemalloc.stop()
        after = [sys.getrefcount(obj) for obj in watched]
    assert after == refs, f"reference counts changed: {refs} -> {after}"
    assert grown_blocks < BLOCK_BOUND, f"{grown_blocks} interpreter blocks more after {calls} calls"
    if UNDER_ASAN:
        assert grown_traced < TRACED_BOUND, f"{grown_traced} traced bytes more after {calls} calls"
    else:
        assert grown_rss < RSS_BOUND, f"resident memory grew by {grown_rss} bytes over {calls} calls"


def entangled():
    sim = Kelvorin(N)
    sim.h(0)
    sim.cx(0, 1)
    sim.cx(1, 2)
    return sim


# (path, args for a one-index parameter, expected exception); None = built per test.
INDEX_PATHS = [
    ("ok", lambda sim: 1, None),
    ("bool", lambda sim: True, None),
    ("index", lambda sim: Index(2), None),
    ("float", lambda sim: 1.5, TypeError),
    ("negative", lambda sim: -1, OverflowError),
    ("too_big", lambda sim: 2**64, OverflowError),
    ("index_too_big", lambda sim: Index(2**70), OverflowError),
    ("index_raises", lambda sim: RaisesValue(), ValueError),
    ("index_type_error", lambda sim: RaisesType(), TypeError),
    ("unprintable_type_error", lambda sim: RaisesUnprintableType(Unprintable()), TypeError),
    ("str_panics", lambda sim: RaisesUnprintableType(PanicsOnStr()), PanicException),
    ("out_of_range", lambda sim: N, PanicException),
    ("calls_back", lambda sim: CallsBack(sim), RuntimeError),
    ("resumed_panic", lambda sim: Panics(), PanicException),
]


@pytest.mark.parametrize("path,make,exc", INDEX_PATHS, ids=[p[0] for p in INDEX_PATHS])
@pytest.mark.parametrize("name", SINGLE)
def test_one_qubit_methods(name, path, make, exc):
    sim = entangled()
    arg = make(sim)
    check_flat(getattr(sim, name), (arg,), exc=exc, extra=(sim,), path=path)


@pytest.mark.parametrize("path,make,exc", INDEX_PATHS, ids=[p[0] for p in INDEX_PATHS])
@pytest.mark.parametrize("name", TWO)
@pytest.mark.parametrize("position", ["control", "target"])
def test_two_qubit_methods(name, position, path, make, exc):
    sim = entangled()
    arg = make(sim)
    other = 3 if path in ("ok", "bool", "index") else 0  # 3: distinct from 1 (True) and 2
    args = (arg, other) if position == "control" else (other, arg)
    check_flat(getattr(sim, name), args, exc=exc, extra=(sim,), path=path)


@pytest.mark.parametrize("name", TWO)
def test_two_qubit_same_qubit(name):
    sim = entangled()
    check_flat(getattr(sim, name), (1, 1), exc=PanicException, extra=(sim,))


BINDING = [
    ("missing", (), {}),
    ("too_many", (0, 1, 2), {}),
    ("unexpected", (), {"bogus": 0}),
]


@pytest.mark.parametrize("form,args,kwargs", BINDING, ids=[b[0] for b in BINDING])
@pytest.mark.parametrize("name", [*SINGLE, *TWO, "peek_measure_set"])
def test_binding_errors(name, form, args, kwargs):
    sim = entangled()
    check_flat(getattr(sim, name), args, kwargs, exc=TypeError, extra=(sim,))


@pytest.mark.parametrize("name", [*SINGLE, *TWO])
def test_keywords(name):
    sim = entangled()
    kwargs = {"qubit": 1} if name in SINGLE else {"target": 1, "control": 0}
    check_flat(getattr(sim, name), (), kwargs, extra=(sim,))
    check_flat(getattr(sim, name), (0,), {"control" if name in TWO else "qubit": 1}, exc=TypeError, extra=(sim,))


@pytest.mark.parametrize("path,make,exc", INDEX_PATHS, ids=[p[0] for p in INDEX_PATHS])
def test_peek_measure_set_elements(path, make, exc):
    sim = entangled()
    element = make(sim)
    qubits = frozenset({0, element}) if path != "bool" else frozenset({element, 2})
    check_flat(sim.peek_measure_set, (qubits,), exc=exc, extra=(sim, element), path=path)


@pytest.mark.parametrize("qubits", [[0], (0, 1), {0: 1}, 0, None], ids=["list", "tuple", "dict", "int", "none"])
def test_peek_measure_set_not_a_set(qubits):
    sim = entangled()
    check_flat(sim.peek_measure_set, (qubits,), exc=TypeError, extra=(sim,))


def test_peek_measure_set_large_request():
    sim = entangled()
    check_flat(sim.peek_measure_set, (set(range(N)),), extra=(sim,))
    check_flat(sim.peek_measure_set, (set(range(N + 1)),), exc=PanicException, extra=(sim,))


CONSTRUCTOR = [
    ("ok", (3,), {}, None),
    ("keyword", (), {"qubit_amount": 3}, None),
    ("index", (Index(3),), {}, None),
    ("missing", (), {}, TypeError),
    ("too_many", (1, 2), {}, TypeError),
    ("unexpected", (), {"n": 1}, TypeError),
    ("duplicate", (1,), {"qubit_amount": 1}, TypeError),
    ("float", (1.5,), {}, TypeError),
    ("negative", (-1,), {}, OverflowError),
    ("too_big", (2**64,), {}, OverflowError),
    ("index_raises", (RaisesValue(),), {}, ValueError),
    ("capacity", (2**63,), {}, PanicException),
    ("no_memory", (10**6,), {}, MemoryError),
    ("size_overflow", (2**40,), {}, MemoryError),
    ("resumed_panic", (Panics(),), {}, PanicException),
]


@pytest.mark.parametrize("path,args,kwargs,exc", CONSTRUCTOR, ids=[c[0] for c in CONSTRUCTOR])
def test_constructor(path, args, kwargs, exc):
    check_flat(Kelvorin, args, kwargs, exc=exc, path=path)
