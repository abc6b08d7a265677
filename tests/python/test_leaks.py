"""Leak checks: every method and the constructor, on success and on every
failure path, called many times in a row.

Afterwards the interpreter's allocated blocks, the bytes that malloc has
handed out (the C++ code's memory) and the process's resident memory must be
where they were, within small bounds, and the reference count of every
argument (and of the simulator) must be unchanged.

Each path runs at one of two depths.  DEEP calls are enough for one leaked
40-byte block per call to show in resident memory: every path of each
calling shape runs that often on one method of the shape (DEEP_METHODS),
and so does every success path of every method.  The other methods run the
binding, conversion and access code of their shape's method around another
engine call, and take every other path BROAD times: one leaked object per
call is still BROAD interpreter blocks, a lost reference is seen exactly,
and one leaked C++ block per call is more than MALLOC_BOUND bytes from
malloc (on the slow paths below only at DEEP).

Under the sanitizer run (KELVORIN_UNDER_ASAN=1) the interpreter allocates
through malloc, so its block count is always 0, malloc is the sanitizer's,
and the sanitizer keeps freed memory in quarantine, so resident memory grows
by design: there the calls are fewer and all at one depth, Python
allocations are counted with tracemalloc instead, and neither malloc's bytes
nor resident memory is bounded.

Emulated by qemu-user (KELVORIN_EMULATED=1, tools/test-aarch64), where a
call costs some thirty times as much and the emulator's translated code grows
the resident memory, the calls are a tenth as many and resident memory is not
bounded: one leaked object per call is still BROAD interpreter blocks, a lost
reference is seen exactly, and one leaked C++ block per call shows in malloc's
bytes on the DEEP paths (every success path, and every path of one method of
each shape).
"""

import contextlib
import ctypes
import gc
import os
import sys
import tracemalloc

import pytest
from helpers import EMULATED, SINGLE_QUBIT_GATES, TWO_QUBIT_GATES, UNDER_ASAN, Index, panic_type

from kelvorin import Kelvorin

DEEP = 2_000 if UNDER_ASAN else 10_000 if EMULATED else 100_000
BROAD = DEEP if UNDER_ASAN else DEEP // 20
WARM_UP = 50 if UNDER_ASAN else 500
BLOCK_BOUND = 300  # interpreter blocks; one leaked object per call would be BROAD
TRACED_BOUND = 32 * 1024  # bytes under tracemalloc; one leaked object per call is >= 32 * DEEP
MALLOC_BOUND = 64 * 1024  # bytes from malloc; one leaked 16-byte block per call would be 16 * BROAD
RSS_BOUND = 4 * 2**20  # one leaked 40-byte block per call would be 4 MB at DEEP
# A PanicException raised by Python code that a method calls is reported with
# its traceback on standard error, which costs some fifty times a plain call:
# those paths run a tenth as often, which one leaked object per call still
# takes past the block bound.
SLOW_PATHS = {"str_panics", "resumed_panic"}


PanicException = panic_type()

SINGLE = [*SINGLE_QUBIT_GATES, "measure_x", "measure_y", "measure_z", "get_entangled_group"]
TWO = TWO_QUBIT_GATES
# One method of each calling shape; the constructor, a shape of its own, runs
# every path at DEEP too.
DEEP_METHODS = {"x", "measure_x", "get_entangled_group", "cx", "peek_measure_set"}
N = 4
VICTIM = Kelvorin(1)


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class MallInfo2(ctypes.Structure):
    FIELDS = "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost"
    _fields_ = [(name, ctypes.c_size_t) for name in FIELDS.split()]


_mallinfo2 = ctypes.CDLL("libc.so.6").mallinfo2
_mallinfo2.restype = MallInfo2


def malloc_in_use():
    """Bytes that malloc has handed out and not had back, mappings included."""
    info = _mallinfo2()
    return info.uordblks + info.hblkhd


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


@contextlib.contextmanager
def frozen():
    """Every object made before the loop is left out of the collections
    around it, which then walk only what the loop made."""
    gc.collect()
    gc.freeze()
    try:
        yield
    finally:
        gc.unfreeze()


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


def check_flat(fn, args, kwargs=None, exc=None, extra=(), path="", deep=True):
    kwargs = kwargs or {}
    calls = DEEP if deep else BROAD
    calls = calls // 10 if path.rsplit("-", 1)[-1] in SLOW_PATHS else calls
    watched = [fn, *args, *kwargs.values(), *extra]
    with quiet():
        hammer(fn, args, kwargs, exc, WARM_UP)
        gc.collect()
        refs = [sys.getrefcount(obj) for obj in watched]
        if UNDER_ASAN:
            tracemalloc.start()
            traced = tracemalloc.get_traced_memory()[0]
        blocks, in_use, resident = sys.getallocatedblocks(), malloc_in_use(), rss()
        hammer(fn, args, kwargs, exc, calls)
        gc.collect()
        grown_blocks, grown_in_use = sys.getallocatedblocks() - blocks, malloc_in_use() - in_use
        grown_rss = rss() - resident
        if UNDER_ASAN:
            grown_traced = tracemalloc.get_traced_memory()[0] - traced
            tracemalloc.stop()
        after = [sys.getrefcount(obj) for obj in watched]
    where = f"path {path!r}, {calls} calls"
    assert after == refs, f"{where}: reference counts changed: {refs} -> {after}"
    assert grown_blocks < BLOCK_BOUND, f"{where}: {grown_blocks} interpreter blocks more"
    if UNDER_ASAN:
        assert grown_traced < TRACED_BOUND, f"{where}: {grown_traced} traced bytes more"
    else:
        assert grown_in_use < MALLOC_BOUND, f"{where}: malloc has handed out {grown_in_use} bytes more"
        assert EMULATED or grown_rss < RSS_BOUND, f"{where}: resident memory grew by {grown_rss} bytes"


def entangled():
    sim = Kelvorin(N)
    sim.h(0)
    sim.cx(0, 1)
    sim.cx(1, 2)
    return sim


# (path, argument for a one-index parameter, expected exception).
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
    ("calls_back", lambda sim: Index(callback=lambda: sim.z(0)), RuntimeError),
    ("resumed_panic", lambda sim: Index(callback=lambda: VICTIM.x(99)), PanicException),
]

BINDING = [
    ("missing", (), {}),
    ("too_many", (0, 1, 2), {}),
    ("unexpected", (), {"bogus": 0}),
]


def method_paths(name, sim):
    """(path, args, kwargs, expected exception, extra watched objects) for
    every path of method `name` of `sim`."""
    if name in SINGLE:
        for path, make, exc in INDEX_PATHS:
            yield path, (make(sim),), {}, exc, ()
        yield "keywords", (), {"qubit": 1}, None, ()
        yield "duplicate", (0,), {"qubit": 1}, TypeError, ()
    elif name in TWO:
        for position in ("control", "target"):
            for path, make, exc in INDEX_PATHS:
                other = 3 if exc is None else 0  # 3: distinct from 1 (True) and 2
                arg = make(sim)
                yield f"{position}-{path}", (arg, other) if position == "control" else (other, arg), {}, exc, ()
        yield "same_qubit", (1, 1), {}, PanicException, ()
        yield "keywords", (), {"target": 1, "control": 0}, None, ()
        yield "duplicate", (0,), {"control": 1}, TypeError, ()
    else:
        assert name == "peek_measure_set"
        for path, make, exc in INDEX_PATHS:
            element = make(sim)
            qubits = frozenset({0, element}) if path != "bool" else frozenset({element, 2})
            yield f"element-{path}", (qubits,), {}, exc, (element,)
        for path, qubits in [("list", [0]), ("tuple", (0, 1)), ("dict", {0: 1}), ("int", 0), ("none", None)]:
            yield f"not_a_set-{path}", (qubits,), {}, TypeError, ()
        yield "all_qubits", (set(range(N)),), {}, None, ()
        yield "past_the_end", (set(range(N + 1)),), {}, PanicException, ()
    for form, args, kwargs in BINDING:
        yield form, args, kwargs, TypeError, ()


@pytest.mark.parametrize("name", [*SINGLE, *TWO, "peek_measure_set"])
def test_method(name):
    sim = entangled()
    method = getattr(sim, name)
    with frozen():
        for path, args, kwargs, exc, extra in method_paths(name, sim):
            deep = name in DEEP_METHODS or exc is None
            check_flat(method, args, kwargs, exc=exc, extra=(sim, *extra), path=path, deep=deep)


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
    ("resumed_panic", (Index(callback=lambda: VICTIM.x(99)),), {}, PanicException),
]


def test_constructor():
    with frozen():
        for path, args, kwargs, exc in CONSTRUCTOR:
            check_flat(Kelvorin, args, kwargs, exc=exc, path=path)
