"""MeasurementResult, Axis and Outcome."""

import operator

import pytest

from kelvorin import Axis, Kelvorin, MeasurementResult, Outcome

M, A = MeasurementResult, Axis


def test_members_reprs_and_ints():
    assert [repr(M.PlusOne), repr(M.MinusOne)] == ["MeasurementResult.PlusOne", "MeasurementResult.MinusOne"]
    assert str(M.MinusOne) == "MeasurementResult.MinusOne"
    assert [repr(A.X), repr(A.Y), str(A.Z)] == ["Axis.X", "Axis.Y", "Axis.Z"]
    assert [int(M.PlusOne), int(M.MinusOne)] == [0, 1]
    assert [int(A.X), int(A.Y), int(A.Z)] == [0, 1, 2]
    assert M.PlusOne is M.PlusOne
    assert type(M.PlusOne) is M and type(A.Y) is A


@pytest.mark.parametrize(
    "left, right, equal",
    [
        (M.PlusOne, M.PlusOne, True),
        (M.PlusOne, M.MinusOne, False),
        (M.PlusOne, 0, True),
        (M.MinusOne, 1, True),
        (M.MinusOne, True, True),
        (M.PlusOne, False, True),
        (A.Z, 2, True),
        (A.X, -1, False),
        (A.X, 2**70, False),
        (A.X, -(2**70), False),
        (M.PlusOne, 0.0, False),
        (M.PlusOne, "0", False),
        (M.PlusOne, None, False),
        (A.X, M.PlusOne, False),
        (M.MinusOne, A.Y, False),
    ],
)
def test_equality(left, right, equal):
    assert (left == right) is equal
    assert (left != right) is (not equal)
    assert (right == left) is equal


def test_equality_accepts_index_objects():
    class Two:
        def __index__(self):
            return 2

    assert A.Z == Two()
    assert A.Y != Two()


@pytest.mark.parametrize("error", [ValueError, TypeError, ArithmeticError, KeyboardInterrupt, SystemExit, MemoryError])
def test_a_failing_index_compares_unequal_unless_it_is_an_interrupt_exit_or_out_of_memory(error):
    class Raises:
        def __index__(self):
            raise error("from __index__")

    for value in (M.PlusOne, A.X):
        if issubclass(error, Exception) and error is not MemoryError:
            assert (value == Raises()) is False
            assert (value != Raises()) is True
        else:
            with pytest.raises(error, match="from __index__"):
                value == Raises()


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
def test_no_ordering(op):
    with pytest.raises(TypeError):
        op(M.PlusOne, M.MinusOne)
    with pytest.raises(TypeError):
        op(A.X, 1)


def test_not_an_enum_and_not_an_index():
    for cls in (M, A):
        assert not hasattr(cls, "__members__")
        with pytest.raises(TypeError):
            iter(cls)
    with pytest.raises(TypeError):
        operator.index(A.Y)
    with pytest.raises(TypeError):
        [0, 1][M.MinusOne]
    assert bool(M.PlusOne) is True
    assert bool(A.X) is True


def test_unhashable():
    assert M.__hash__ is None and A.__hash__ is None
    with pytest.raises(TypeError):
        hash(A.X)
    with pytest.raises(TypeError):
        {M.PlusOne}
    with pytest.raises(TypeError):
        {A.Z: 1}


def test_no_instantiation():
    for cls, name in ((M, "MeasurementResult"), (A, "Axis"), (Outcome, "Outcome")):
        with pytest.raises(TypeError, match=f"cannot create 'kelvorin.{name}' instances"):
            cls()
        with pytest.raises(TypeError):
            cls(0)
        assert cls.__module__ == "kelvorin"


def test_instances_are_immutable():
    with pytest.raises(AttributeError):
        M.PlusOne.value = 1
    with pytest.raises(AttributeError):
        A.X.foo = 1


def test_class_attributes_can_be_rebound_on_the_class():
    # The classes are ordinary (not immutable) types.
    saved = M.PlusOne
    try:
        M.PlusOne = saved
        assert M.PlusOne is saved
    finally:
        M.PlusOne = saved


needs_peek = pytest.mark.skipif(not hasattr(Kelvorin, "peek_measure_set"), reason="peek_measure_set is not built")


@needs_peek
def test_outcome_fields_and_str():
    s = Kelvorin(4)
    s.h(1)  # |+>: X eigenstate, +1
    s.x(2)  # |1>: Z eigenstate, -1
    s.h(3)
    s.z(3)
    s.s(3)  # S|->: Y eigenstate, -1
    peek = s.peek_measure_set({0, 1, 2, 3})
    assert sorted(peek) == [0, 1, 2, 3]
    assert {q: str(o) for q, o in peek.items()} == {0: "(Z, +1)", 1: "(X, +1)", 2: "(Z, -1)", 3: "(Y, -1)"}
    o = peek[3]
    assert type(o) is Outcome
    assert o.result == M.MinusOne and o.axis == A.Y
    assert o.result is not o.result and o.axis is not o.axis
    assert type(o.result) is M and type(o.axis) is A
    with pytest.raises(AttributeError):
        o.result = M.PlusOne
    with pytest.raises(AttributeError):
        o.axis = A.X
    with pytest.raises(AttributeError):
        o.other = 1
    assert repr(o).startswith("<kelvorin.Outcome object at ")
    again = s.peek_measure_set({3})[3]
    assert str(again) == str(o) and again != o
    assert {o: 1}[o] == 1


@needs_peek
def test_measurement_results_are_fresh_objects():
    s = Kelvorin(1)
    r = s.measure_z(0)
    assert r == M.PlusOne and r is not M.PlusOne
    assert s.measure_z(0) is not r
