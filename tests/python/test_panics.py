"""Fatal internal errors become PanicException."""

import pytest
from helpers import needs_address_space_limit, run_python

from kelvorin import Kelvorin


def test_panic_exception_shape(PanicException):
    assert PanicException.__module__ == "orvane_runtime"
    assert PanicException.__name__ == "PanicException"
    assert PanicException.__qualname__ == "PanicException"
    assert PanicException.__bases__ == (BaseException,)
    assert not issubclass(PanicException, Exception)
    assert "BaseException" in PanicException.__doc__


@pytest.mark.parametrize("name", ["x", "y", "z", "h", "s", "sdag"])
def test_out_of_range_gate(PanicException, name):
    s = Kelvorin(3)
    with pytest.raises(PanicException) as e:
        getattr(s, name)(7)
    assert e.value.args == ("index out of bounds: the len is 3 but the index is 7",)
    getattr(s, name)(2)  # still usable


def test_panic_is_not_an_exception():
    s = Kelvorin(0)
    caught = None
    try:
        try:
            s.h(0)
        except Exception:
            caught = "Exception"
    except BaseException as e:
        caught = str(e)
    assert caught == "index out of bounds: the len is 0 but the index is 0"


def test_panic_inside_index_is_resumed(PanicException):
    victim = Kelvorin(1)
    s = Kelvorin(2)

    class Bad:
        def __index__(self):
            victim.x(5)
            return 0

    out = run_python(
        """
        import kelvorin
        victim = kelvorin.Kelvorin(1)
        s = kelvorin.Kelvorin(2)
        class Bad:
            def __index__(self):
                victim.x(5)
                return 0
        try:
            s.h(Bad())
        except BaseException as e:
            print(type(e).__name__, "|", e, "|", e.__context__ is None)
        s.h(0)
        """
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "PanicException | index out of bounds: the len is 1 but the index is 5 | True"
    assert "Traceback" in out.stderr
    assert "__index__" in out.stderr

    with pytest.raises(PanicException) as e:
        s.h(Bad())
    assert str(e.value) == "index out of bounds: the len is 1 but the index is 5"
    s.h(1)


def test_memory_error_for_impossible_states():
    # 10**6 qubits need 125 GB, 2**40 qubits overflow the size computation.
    for n in (10**6, 2**40, 2**62):
        with pytest.raises(MemoryError):
            Kelvorin(n)
    Kelvorin(1000).h(999)


@needs_address_space_limit
def test_peek_without_memory_raises_memory_error():
    # With the address space capped just above what is in use, the working
    # memory of a large request cannot be had.
    out = run_python(
        """
        import resource, kelvorin
        n = 200000
        s = kelvorin.Kelvorin(n)
        s.h(0); s.h(1); s.cz(0, 1)
        request = set(range(n))
        with open("/proc/self/statm") as f:
            vm = int(f.read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (vm + 2**20, resource.RLIM_INFINITY))
        try:
            s.peek_measure_set(request)
            print("no error")
        except MemoryError:
            print("MemoryError")
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        print(s.get_entangled_group(0) == {0, 1}, s.measure_z(2))
        print(len(s.peek_measure_set(request)))
        """
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["MemoryError", "True", "MeasurementResult.PlusOne", "200000"]
