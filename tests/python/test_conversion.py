"""Conversion of index arguments and the prefixing of argument errors."""

import pytest
from helpers import Index

from kelvorin import Kelvorin


class BadStr:
    def __str__(self):
        raise ValueError("no text")


class MyTypeError(TypeError):
    pass


def test_integers_bools_and_index_objects_are_accepted(PanicException):
    s = Kelvorin(3)
    s.x(True)
    s.x(Index(2))
    s.x(2**0)
    with pytest.raises(PanicException) as e:
        s.x(Index(3))
    assert str(e.value) == "index out of bounds: the len is 3 but the index is 3"

    class IntSub(int):
        def __index__(self):  # an int subclass converts as an int
            raise AssertionError("not called")

    s.x(IntSub(1))


def test_type_errors_are_prefixed():
    s = Kelvorin(2)
    for bad, text in [
        (1.5, "'float' object cannot be interpreted as an integer"),
        ("0", "'str' object cannot be interpreted as an integer"),
        (None, "'NoneType' object cannot be interpreted as an integer"),
        ([0], "'list' object cannot be interpreted as an integer"),
    ]:
        with pytest.raises(TypeError) as e:
            s.h(bad)
        assert type(e.value) is TypeError
        assert str(e.value) == f"argument 'qubit': {text}"


def test_other_errors_pass_unchanged():
    s = Kelvorin(2)
    with pytest.raises(OverflowError) as e:
        s.x(-1)
    assert str(e.value) == "can't convert negative int to unsigned"
    with pytest.raises(OverflowError) as e:
        s.x(2**64)
    assert str(e.value) == "int too big to convert"
    with pytest.raises(OverflowError) as e:
        s.x(Index(-5))
    assert str(e.value) == "can't convert negative int to unsigned"
    with pytest.raises(ValueError, match="^boom$"):
        s.x(Index(raises=ValueError("boom")))
    with pytest.raises(MyTypeError, match="^sub$") as e:
        s.x(Index(raises=MyTypeError("sub")))
    assert type(e.value) is MyTypeError


def test_prefixed_error_keeps_the_cause():
    cause = KeyError("root")
    exc = TypeError("inner")
    exc.__cause__ = cause
    s = Kelvorin(1)
    with pytest.raises(TypeError) as e:
        s.x(Index(raises=exc))
    assert str(e.value) == "argument 'qubit': inner"
    assert e.value is not exc
    assert e.value.__cause__ is cause


def test_unprintable_type_error(capsys):
    import sys

    seen = []
    old = sys.unraisablehook
    sys.unraisablehook = lambda u: seen.append(u)
    try:
        s = Kelvorin(1)
        with pytest.raises(TypeError) as e:
            s.x(Index(raises=TypeError(BadStr())))
    finally:
        sys.unraisablehook = old
    assert str(e.value) == "argument 'qubit': <unprintable TypeError object>"
    assert len(seen) == 1
    assert type(seen[0].exc_value) is ValueError


def test_full_range_of_unsigned_indices(PanicException):
    s = Kelvorin(3)
    with pytest.raises(PanicException) as e:
        s.x(2**64 - 1)
    assert str(e.value) == "index out of bounds: the len is 3 but the index is 18446744073709551615"
    s.x(2)


def test_qubit_amount_conversion(PanicException):
    assert Kelvorin(Index(2)) is not None
    assert Kelvorin(False) is not None
    with pytest.raises(OverflowError):
        Kelvorin(-1)
    with pytest.raises(OverflowError):
        Kelvorin(2**64)
    for n in (2**63, 2**64 - 1):
        with pytest.raises(PanicException) as e:
            Kelvorin(n)
        assert str(e.value) == "capacity overflow"
