"""The nine two-qubit gates from Python."""

import inspect

import pytest
from helpers import TWO_QUBIT_GATES, Index

from kelvorin import Kelvorin

GATES = TWO_QUBIT_GATES

# The gates that check the target first: their first basis change touches it.
# The others check the control first (cz inside the controlled-Z).
TARGET_FIRST = {"cx", "cy", "xcy", "ycy"}

needs_groups = pytest.mark.skipif(not hasattr(Kelvorin, "get_entangled_group"), reason="groups not built")
needs_measure = pytest.mark.skipif(not hasattr(Kelvorin, "measure_z"), reason="measurement not built")


def index_message(index, n=3):
    return f"index out of bounds: the len is {n} but the index is {index}"


def same_message(q):
    return (
        "assertion `left != right` failed: Same control and target not allowed\n"
        f"  left: {q}\n right: {q}"
    )


@pytest.mark.parametrize("name", GATES)
def test_signature(name):
    m = getattr(Kelvorin, name)
    params = list(inspect.signature(m).parameters.values())
    assert [p.name for p in params] == ["self", "control", "target"]
    for p in params[1:]:
        assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
        assert p.default is inspect.Parameter.empty
    assert str(inspect.signature(getattr(Kelvorin(2), name))) == "(control, target)"


def test_method_table_order():
    names = [n for n in Kelvorin.__dict__ if not n.startswith("__")]
    assert names[:15] == ["x", "y", "z", "h", "s", "sdag", *GATES]


@pytest.mark.parametrize("name", GATES)
def test_argument_binding(name):
    s = Kelvorin(3)
    m = getattr(s, name)
    with pytest.raises(TypeError) as e:
        m()
    assert str(e.value) == f"Kelvorin.{name}() missing 2 required positional arguments: 'control' and 'target'"
    with pytest.raises(TypeError) as e:
        m(0)
    assert str(e.value) == f"Kelvorin.{name}() missing 1 required positional argument: 'target'"
    with pytest.raises(TypeError) as e:
        m(target=1)
    assert str(e.value) == f"Kelvorin.{name}() missing 1 required positional argument: 'control'"
    with pytest.raises(TypeError) as e:
        m(0, 1, 2)
    assert str(e.value) == f"Kelvorin.{name}() takes 2 positional arguments but 3 were given"
    with pytest.raises(TypeError) as e:
        m(0, 1, qubit=2)
    assert str(e.value) == f"Kelvorin.{name}() got an unexpected keyword argument 'qubit'"
    with pytest.raises(TypeError) as e:
        m(0, control=1)
    assert str(e.value) == f"Kelvorin.{name}() got multiple values for argument 'control'"
    assert m(0, 1) is None
    assert m(control=0, target=1) is None
    assert m(target=1, control=0) is None
    assert m(0, target=1) is None


@pytest.mark.parametrize("name", GATES)
def test_control_is_converted_before_target(name):
    m = getattr(Kelvorin(3), name)
    with pytest.raises(TypeError) as e:
        m(1.5, "x")
    assert str(e.value) == "argument 'control': 'float' object cannot be interpreted as an integer"
    with pytest.raises(TypeError) as e:
        m(0, 1.5)
    assert str(e.value) == "argument 'target': 'float' object cannot be interpreted as an integer"
    with pytest.raises(OverflowError) as e:
        m(-1, 1.5)
    assert str(e.value) == "can't convert negative int to unsigned"
    with pytest.raises(OverflowError) as e:
        m(0, 2**64)
    assert str(e.value) == "int too big to convert"
    assert m(True, 2) is None


@pytest.mark.parametrize("name", GATES)
def test_index_check_order(PanicException, name):
    s = Kelvorin(3)
    m = getattr(s, name)
    cases = {(5, 0): 5, (0, 5): 5, (2**64 - 1, 1): 2**64 - 1}
    cases[(5, 7)] = 7 if name in TARGET_FIRST else 5
    for (control, target), named in cases.items():
        with pytest.raises(BaseException) as e:
            m(control, target)
        assert type(e.value) is PanicException
        assert str(e.value) == index_message(named), (name, control, target)
    # Equal indices: the gates with a basis change before the CZ find an
    # out-of-range index first; cz reaches its assertion.
    with pytest.raises(PanicException) as e:
        m(5, 5)
    assert str(e.value) == (same_message(5) if name == "cz" else index_message(5))
    for q in range(3):
        with pytest.raises(PanicException) as e:
            m(q, q)
        assert str(e.value) == same_message(q)
    assert m(2, 0) is None  # the simulator stays usable


def test_named_examples(PanicException):
    s = Kelvorin(3)
    for call, named in [
        (lambda: s.cx(5, 0), 5),
        (lambda: s.cx(0, 5), 5),
        (lambda: s.xcx(0, 5), 5),
        (lambda: s.xcx(5, 7), 5),
        (lambda: s.cx(5, 7), 7),
        (lambda: s.cz(5, 7), 5),
        (lambda: s.cx(5, 5), 5),
    ]:
        with pytest.raises(PanicException) as e:
            call()
        assert str(e.value) == index_message(named)
    with pytest.raises(PanicException) as e:
        s.cz(5, 5)
    assert str(e.value) == same_message(5)


def test_exclusive_access_is_held_during_conversion():
    s = Kelvorin(3)
    with pytest.raises(RuntimeError) as e:
        s.cx(0, Index(1, callback=lambda: s.x(0)))
    assert str(e.value) == "Already borrowed"
    with pytest.raises(RuntimeError) as e:
        s.ycy(Index(0, callback=lambda: s.cz(1, 2)), 1)
    assert str(e.value) == "Already borrowed"
    assert s.cx(0, 1) is None  # the flag was released


@needs_groups
def test_entanglement_follows_the_gates():
    s = Kelvorin(4)
    s.h(0)
    s.cx(0, 1)
    assert s.get_entangled_group(1) == {0, 1}
    s.cx(1, 2)
    assert s.get_entangled_group(0) == {0, 1, 2}
    assert s.get_entangled_group(3) == {3}
    s.cx(1, 2)
    s.cx(0, 1)  # every gate is its own inverse
    assert all(s.get_entangled_group(q) == {q} for q in range(4))
    # |0> is an eigenstate of Z: Z-controlled gates on a fresh control do
    # nothing, X- and Y-controlled ones entangle.
    for name in GATES:
        t = Kelvorin(2)
        getattr(t, name)(0, 1)
        entangled = t.get_entangled_group(0) == {0, 1}
        assert entangled == (name in {"xcx", "ycx", "xcy", "ycy"}), name


@needs_measure
def test_bell_pair_outcomes_agree():
    for _ in range(20):
        s = Kelvorin(2)
        s.h(0)
        s.cx(0, 1)
        assert s.measure_z(0) == s.measure_z(1)
