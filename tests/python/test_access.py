"""The access flag: re-entrant calls from Python code run during a call."""

import pytest
from helpers import Index

from kelvorin import Kelvorin


def test_exclusive_call_refuses_reentry_and_is_free_afterwards():
    s = Kelvorin(2)
    with pytest.raises(RuntimeError) as e:
        s.x(Index(callback=lambda: s.z(0)))
    assert str(e.value) == "Already borrowed"
    assert type(e.value) is RuntimeError
    s.z(0)  # free again
    s.x(0)


def test_constructor_holds_no_access_of_another_object():
    s = Kelvorin(2)
    s.h(Index(1, callback=lambda: Kelvorin(Index(1, callback=lambda: s))))


def test_other_objects_are_independent():
    a, b = Kelvorin(2), Kelvorin(2)
    cb = Index(callback=lambda: b.h(0))
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

    s.x(Index(callback=inner))
    assert outer_errors == ["Already borrowed"]
    s.h(0)


def test_shared_access_admits_shared_but_not_exclusive_reentry():
    s = Kelvorin(3)
    shared = Index(2, callback=lambda: s.get_entangled_group(1))
    assert s.get_entangled_group(shared) == {2}
    assert shared.result == {1}
    with pytest.raises(RuntimeError) as e:
        s.get_entangled_group(Index(callback=lambda: s.x(0)))
    assert str(e.value) == "Already borrowed"
    with pytest.raises(RuntimeError) as e:
        s.x(Index(callback=lambda: s.get_entangled_group(0)))
    assert str(e.value) == "Already mutably borrowed"
    s.x(0)  # both calls released their access
