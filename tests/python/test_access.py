"""The access flag: re-entrant calls from Python code run during a call."""

import pytest
from helpers import Callback

from kelvorin import Kelvorin


def test_exclusive_call_refuses_reentry_and_is_free_afterwards():
    s = Kelvorin(2)
    with pytest.raises(RuntimeError) as e:
        s.x(Callback(lambda: s.z(0)))
    assert str(e.value) == "Already borrowed"
    assert type(e.value) is RuntimeError
    s.z(0)  # free again
    s.x(0)


def test_constructor_holds_no_access_of_another_object():
    s = Kelvorin(2)
    s.h(Callback(lambda: Kelvorin(Callback(lambda: s, 1)), 1))


def test_other_objects_are_independent():
    a, b = Kelvorin(2), Kelvorin(2)
    cb = Callback(lambda: b.h(0))
    a.h(cb)
    assert cb.result is None


def test_reentry_error_inside_a_nested_call_does_not_leak_the_flag():
    s = Kelvorin(2)
    outer_errors = []

    def inner():
        try:
            s.h(0)
        except RuntimeError as e:
            outer_errors.append(str(e))

    s.x(Callback(inner))
    assert outer_errors == ["Already borrowed"]
    s.h(0)


def test_shared_access_when_available():
    s = Kelvorin(2)
    if not hasattr(s, "get_entangled_group"):
        pytest.skip("get_entangled_group is not built")
    cb = Callback(lambda: s.get_entangled_group(1))
    assert s.get_entangled_group(cb) == {0}
    assert cb.result == {1}
    with pytest.raises(RuntimeError) as e:
        s.get_entangled_group(Callback(lambda: s.x(0)))
    assert str(e.value) == "Already borrowed"
    with pytest.raises(RuntimeError) as e:
        s.x(Callback(lambda: s.get_entangled_group(0)))
    assert str(e.value) == "Already mutably borrowed"
    s.x(0)
