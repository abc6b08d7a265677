"""measure_x/y/z and peek_measure_set from Python: surface behaviour."""

import pytest
from helpers import Index

from kelvorin import Axis, Kelvorin, MeasurementResult, Outcome

PLUS, MINUS = MeasurementResult.PlusOne, MeasurementResult.MinusOne
MEASURES = ["measure_x", "measure_y", "measure_z"]


@pytest.mark.parametrize("name", MEASURES)
def test_measure_errors(PanicException, name):
    s = Kelvorin(3)
    m = getattr(s, name)
    with pytest.raises(PanicException) as e:
        m(3)
    assert str(e.value) == "index out of bounds: the len is 3 but the index is 3"
    with pytest.raises(TypeError) as e:
        m("1")
    assert str(e.value) == "argument 'qubit': 'str' object cannot be interpreted as an integer"
    with pytest.raises(TypeError) as e:
        m()
    assert str(e.value) == f"Kelvorin.{name}() missing 1 required positional argument: 'qubit'"
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        m(Index(callback=lambda: s.get_entangled_group(0)))
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        m(Index(callback=lambda: s.h(0)))
    assert type(m(qubit=2)) is MeasurementResult


def test_failed_measurement_leaves_the_state_alone(PanicException):
    s = Kelvorin(2)
    s.h(0)
    s.cx(0, 1)
    with pytest.raises(PanicException):
        s.measure_x(2)
    assert s.get_entangled_group(0) == {0, 1}
    assert s.measure_z(0) == s.measure_z(1)


@pytest.mark.parametrize(
    "bad, name",
    [([0], "list"), ((0,), "tuple"), ({0: 1}, "dict"), (0, "int"), ("0", "str"), (None, "NoneType")],
)
def test_peek_needs_a_set(bad, name):
    s = Kelvorin(2)
    with pytest.raises(TypeError) as e:
        s.peek_measure_set(bad)
    assert type(e.value) is TypeError
    assert str(e.value) == f"argument 'qubits': '{name}' object cannot be cast as 'set'"


def test_peek_element_errors(PanicException):
    s = Kelvorin(3)
    with pytest.raises(OverflowError, match="^can't convert negative int to unsigned$"):
        s.peek_measure_set({0, -1})
    with pytest.raises(TypeError) as e:
        s.peek_measure_set({0, 1.5})
    assert str(e.value) == "argument 'qubits': 'float' object cannot be interpreted as an integer"
    with pytest.raises(PanicException) as e:
        s.peek_measure_set({0, 1, 7})
    assert str(e.value) == "index out of bounds: the len is 3 but the index is 7"


def test_peek_accepts_sets_frozensets_and_subclasses():
    class MySet(set):
        pass

    s = Kelvorin(3)
    assert s.peek_measure_set(set()) == {}
    assert s.peek_measure_set(frozenset()) == {}
    for arg in ({0, 2}, frozenset({0, 2}), MySet({0, 2}), {True, 2}):
        out = s.peek_measure_set(arg)
        assert type(out) is dict
        assert sorted(out) == [0, 2] if arg != {True, 2} else sorted(out) == [1, 2]
        assert all(type(k) is int and type(v) is Outcome for k, v in out.items())


def test_peek_in_a_callback_shares_access():
    s = Kelvorin(2)
    inner = Index(callback=lambda: s.peek_measure_set({1}))
    out = s.peek_measure_set({inner})
    assert list(out) == [0]
    assert list(inner.result) == [1]
    grp = Index(callback=lambda: s.get_entangled_group(1))
    assert list(s.peek_measure_set({grp})) == [0]
    assert grp.result == {1}
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        s.peek_measure_set({Index(callback=lambda: s.x(0))})
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        s.measure_z(Index(callback=lambda: s.peek_measure_set({0})))
    s.x(0)  # free again


def test_peek_samples_every_axis_on_an_entangled_qubit():
    s = Kelvorin(2)
    s.h(0)
    s.h(1)
    s.cz(0, 1)
    seen = set()
    for _ in range(200):
        seen.add(int(s.peek_measure_set({0})[0].axis))
    assert seen == {0, 1, 2}
    # the real state is still the entangled pair
    assert s.get_entangled_group(1) == {0, 1}


def test_eigen_axes_of_isolated_qubits():
    s = Kelvorin(4)
    s.h(1)
    s.x(2)
    s.z(3)
    out = s.peek_measure_set({0, 1, 2, 3})
    assert [(int(out[q].axis), int(out[q].result)) for q in range(4)] == [(2, 0), (0, 0), (2, 1), (2, 0)]
    assert out[1].axis == Axis.X
