"""get_entangled_group: the connected component of a qubit in the graph."""

import inspect

import pytest

from kelvorin import Kelvorin


def path(n=4):
    """Edges {0,1} and {1,2}: h on 0, 1, 2 of a fresh state, then cz(0,1), cz(1,2)."""
    s = Kelvorin(n)
    for q in (0, 1, 2):
        s.h(q)
    s.cz(0, 1)
    s.cz(1, 2)
    return s


def test_fresh_qubits_stand_alone():
    s = Kelvorin(5)
    for q in range(5):
        group = s.get_entangled_group(q)
        assert type(group) is set
        assert group == {q}
        assert all(type(v) is int for v in group)
    assert s.get_entangled_group(qubit=2) == {2}


def test_signature():
    assert str(inspect.signature(Kelvorin(1).get_entangled_group)) == "(qubit)"


def test_out_of_range_is_a_panic_and_changes_nothing(PanicException):
    s = Kelvorin(3)
    s.h(0)
    for bad in (3, 2**64 - 1):
        with pytest.raises(BaseException) as e:
            s.get_entangled_group(bad)
        assert type(e.value) is PanicException
        assert str(e.value) == f"index out of bounds: the len is 3 but the index is {bad}"
    with pytest.raises(OverflowError):
        s.get_entangled_group(-1)
    with pytest.raises(TypeError, match="^argument 'qubit': "):
        s.get_entangled_group(1.5)
    assert s.get_entangled_group(0) == {0}
    s.h(0)  # exclusive access is free again


def test_path_and_lone_qubit():
    s = path()
    for q in (0, 1, 2):
        assert s.get_entangled_group(q) == {0, 1, 2}
    assert s.get_entangled_group(3) == {3}
    for q in range(4):  # single-qubit gates change no group
        s.s(q)
        s.h(q)
    assert s.get_entangled_group(2) == {0, 1, 2}


def test_group_follows_the_graph_not_the_gate_history():
    s = Kelvorin(2)
    s.cz(0, 1)  # both qubits hold H: no edge
    assert s.get_entangled_group(0) == {0}


def test_cycle_and_far_apart_indices():
    s = Kelvorin(100)
    ring = [0, 1, 2, 40, 99, 64]
    for q in ring:
        s.h(q)
    for a, b in zip(ring, ring[1:] + ring[:1]):
        s.cz(a, b)
    for q in ring:
        assert s.get_entangled_group(q) == set(ring)
    assert s.get_entangled_group(50) == {50}


@pytest.mark.skipif(not hasattr(Kelvorin, "measure_z"), reason="measurement not built")
def test_measuring_the_middle_in_z_splits_the_path():
    s = path()
    s.measure_z(1)
    assert s.get_entangled_group(1) == {1}
    assert s.get_entangled_group(0) == {0}
    assert s.get_entangled_group(2) == {2}
