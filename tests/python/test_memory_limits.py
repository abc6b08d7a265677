"""States too large for the machine: the constructor asks for all of the
memory at once, fails with MemoryError without touching any of it, and the
simulators around it keep working.

Resident memory is read from /proc/self/statm.  Under the sanitizer run
(KELVORIN_UNDER_ASAN=1) freed memory stays in the sanitizer's quarantine, so
the resident-memory bounds are not checked there; the exceptions are.
"""

import os
import re
import textwrap

import pytest
from helpers import UNDER_ASAN, needs_address_space_limit, run_python

from kelvorin import Kelvorin

MiB = 2**20


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def total_memory():
    return os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")


def qubits_needing(nbytes):
    """The smallest qubit count whose adjacency rows alone take nbytes."""
    n = int((nbytes * 8) ** 0.5)
    while n * ((n + 31) // 32) * 4 < nbytes:
        n += 1
    return n


@pytest.mark.parametrize("factor", [2, 8])
def test_more_than_the_machine_has_is_a_memory_error_without_touching_memory(factor):
    before_sim = Kelvorin(10)
    before_sim.h(0)
    before_sim.cx(0, 1)
    n = qubits_needing(factor * total_memory())
    start = rss()
    for _ in range(20):
        with pytest.raises(MemoryError) as caught:
            Kelvorin(n)
    # The message names the qubit count and the bytes asked for: the adjacency
    # rows at least, and little more.
    match = re.fullmatch(r"cannot allocate a state of (\d+) qubits \((\d+) bytes\)", str(caught.value))
    assert match, str(caught.value)
    rows_bytes = n * ((n + 31) // 32) * 4
    assert int(match[1]) == n and rows_bytes <= int(match[2]) <= 1.05 * rows_bytes
    if not UNDER_ASAN:
        assert rss() - start < 16 * MiB
    # Everything around it works.
    assert before_sim.get_entangled_group(0) == {0, 1}
    assert before_sim.measure_z(0) == before_sim.measure_z(1)
    small = Kelvorin(n // 1000)
    small.h(n // 1000 - 1)
    assert small.get_entangled_group(0) == {0}


def test_a_large_state_that_fits_costs_only_what_it_touches():
    # A sixteenth of the machine's memory in adjacency rows is mapped but not
    # touched by construction, a few gates, a group or a peek.
    n = qubits_needing(total_memory() // 16)
    start = rss()
    sim = Kelvorin(n)
    sim.h(0)
    sim.cx(0, n - 1)
    sim.cx(0, n // 2)
    assert sim.get_entangled_group(n - 1) == {0, n // 2, n - 1}
    outcomes = sim.peek_measure_set({0, n // 2, n - 1})
    assert len({int(o.result) for o in outcomes.values()}) >= 1
    if not UNDER_ASAN:
        assert rss() - start < 64 * MiB
    del sim
    Kelvorin(3).h(2)


@needs_address_space_limit
def test_constructor_under_an_address_space_limit():
    # With the address space capped, even a state of a few GB fails cleanly
    # and the process carries on.
    out = run_python(
        """
        import resource, kelvorin
        keep = kelvorin.Kelvorin(8)
        keep.h(0); keep.cx(0, 7)
        with open("/proc/self/statm") as f:
            vm = int(f.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (vm + 64 * 2**20, resource.RLIM_INFINITY))
        for n in (50000, 200000):
            try:
                kelvorin.Kelvorin(n)
                print("built", n)
            except MemoryError:
                print("MemoryError", n)
        print(sorted(keep.get_entangled_group(7)), len(kelvorin.Kelvorin(100).peek_measure_set({1, 2})))
        """
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.splitlines() == ["MemoryError 50000", "MemoryError 200000", "[0, 7] 2"]


def run_capped(body):
    """Runs `body` in a fresh interpreter with `cap(margin)` setting the
    address-space limit `margin` bytes above the current size and `uncap()`
    lifting it, and `starve()` and `feed()` around a call whose C++
    allocations must fail; returns its standard output."""
    prelude = textwrap.dedent(
        """
        import ctypes, itertools, resource, sys
        import kelvorin
        libc = ctypes.CDLL("libc.so.6")
        libc.mallopt(-3, 128 * 1024)  # M_MMAP_THRESHOLD: vectors get mappings of their own
        libc.malloc.restype, libc.malloc.argtypes = ctypes.c_void_p, [ctypes.c_size_t]
        libc.free.argtypes = [ctypes.c_void_p]
        def cap(margin):
            with open("/proc/self/statm") as f:
                vm = int(f.read().split()[0]) * resource.getpagesize()
            resource.setrlimit(resource.RLIMIT_AS, (vm + margin, resource.RLIM_INFINITY))
        def uncap():
            resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        taken = (ctypes.c_void_p * 2**20)()
        def starve():
            # Caps the address space where it is and takes every block that
            # malloc can still hand out, large to small: then even a short
            # allocation of the C++ code fails, while the interpreter's own
            # pools keep room for small objects.
            cap(0)
            n = 0
            for size in range(4096, 0, -8):
                while n < len(taken) and (p := libc.malloc(size)):
                    taken[n], n = p, n + 1
            assert n < len(taken)
            return n
        def feed(n):
            uncap()
            for i in range(n):
                libc.free(taken[i])
        # The C++ runtime makes the thread's exception data at its first throw.
        try:
            kelvorin.Kelvorin(10**7)
        except MemoryError:
            pass
        """
    )
    out = run_python(prelude + textwrap.dedent(body), timeout=600)
    assert out.returncode == 0, out.stderr
    return out.stdout.split()


@needs_address_space_limit
def test_a_peek_that_runs_out_of_memory_leaves_the_state_as_it_was():
    # A complete bipartite graph of 300 + 300 qubits whose rows span many
    # blocks; with the limit swept across the peek's own allocations, many
    # margins stop it part-way through taking its rows.  Undoing the circuit
    # after each MemoryError must give every qubit back alone and in |0>.
    raised, wrong = run_capped(
        """
        A = [32 * k + 1 for k in range(300)]
        B = [32 * k for k in range(300)]
        def circuit(sim):
            for a in A:
                for b in B:
                    sim.cz(a, b)
        def build():
            sim = kelvorin.Kelvorin(9600)
            for q in A + B:
                sim.h(q)
            circuit(sim)
            return sim
        sim, raised, wrong = build(), 0, 0
        for step in range(97):
            # A peek on a store of another size empties the thread's pool of
            # working rows, so that every step allocates its rows afresh.
            kelvorin.Kelvorin(1).peek_measure_set({0})
            cap(step * 16 * 1024)
            try:
                sim.peek_measure_set({A[0]})
                continue
            except MemoryError:
                raised += 1
            finally:
                uncap()
            circuit(sim)
            for q in A + B:
                sim.h(q)
            wrong += not all(sim.get_entangled_group(q) == {q} and sim.measure_z(q) == 0 for q in A + B)
            sim = build()
        print(raised, wrong)
        """
    )
    assert int(raised) > 10 and int(wrong) == 0


@needs_address_space_limit
def test_reading_a_set_that_runs_out_of_memory_keeps_no_reference():
    # A frozenset subclass whose iterator never ends: reading it fills memory
    # until the copy of the indices cannot grow, and the iterator is released.
    before, after, usable = run_capped(
        """
        class Endless(frozenset):
            def __iter__(self):
                return self.it
        qubits = Endless({1})
        qubits.it = itertools.repeat(1)
        sim = kelvorin.Kelvorin(4)
        before = sys.getrefcount(qubits.it)
        for _ in range(3):
            cap(64 * 2**20)
            try:
                sim.peek_measure_set(qubits)
            except MemoryError:
                pass
            finally:
                uncap()
        print(before, sys.getrefcount(qubits.it), len(sim.peek_measure_set({0, 1})))
        """
    )
    assert before == after and usable == "2"


@needs_address_space_limit
def test_an_unexpected_keyword_while_memory_is_exhausted_keeps_no_reference():
    # The message names the method ("Kelvorin.get_entangled_group()"): for a
    # long name and the constructor too, building it with malloc exhausted
    # must not keep the keyword's name.
    before, after, *raised = run_capped(
        """
        sim = kelvorin.Kelvorin(4)
        key = "".join(["bo", "gus"])
        keywords = {key: 0}
        calls = [getattr(sim, name) for name in ("get_entangled_group", "peek_measure_set", "measure_x", "x", "cx")]
        calls.append(kelvorin.Kelvorin)
        before = sys.getrefcount(key)
        raised = []
        for call in [*calls, lambda **_: kelvorin.Kelvorin(100)]:
            n = starve()
            try:
                call(**keywords)
                raised.append("nothing")
            except (TypeError, MemoryError) as e:
                raised.append(type(e).__name__)
            finally:
                feed(n)
        print(before, sys.getrefcount(key), *raised)
        """
    )
    assert before == after, raised
    # The last call shows that the C++ code's allocations did fail.
    assert raised[-1] == "MemoryError" and set(raised[:-1]) <= {"TypeError", "MemoryError"}, raised


@needs_address_space_limit
def test_a_resumed_panic_whose_text_cannot_be_copied_keeps_no_reference():
    # An argument's __index__ raises PanicException with a text of 64 MiB, and
    # the copy of the text fails under the limit: the call raises MemoryError
    # and lets go of the exception, its traceback and the argument.
    counts = run_capped(
        """
        try:
            kelvorin.Kelvorin(0).x(0)
        except BaseException as e:
            PanicException = type(e)
        text = "p" * (64 * 2**20)
        class Panics:
            def __index__(self):
                raise PanicException(text)
        arg, sim = Panics(), kelvorin.Kelvorin(2)
        before = sys.getrefcount(arg), sys.getrefcount(text)
        for call in (lambda: sim.x(arg), lambda: sim.cx(0, arg), lambda: sim.peek_measure_set({arg}),
                     lambda: kelvorin.Kelvorin(arg)):
            cap(16 * 2**20)
            try:
                call()
            except MemoryError:
                pass
            finally:
                uncap()
        print(*before, sys.getrefcount(arg), sys.getrefcount(text))
        """
    )
    assert counts[:2] == counts[2:]
