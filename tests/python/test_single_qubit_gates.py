"""The six single-qubit gates from Python."""

import inspect

import pytest
from helpers import SINGLE_QUBIT_GATES

from kelvorin import Kelvorin


@pytest.mark.parametrize("name", SINGLE_QUBIT_GATES)
def test_signature(name):
    m = getattr(Kelvorin, name)
    params = list(inspect.signature(m).parameters.values())
    assert [p.name for p in params] == ["self", "qubit"]
    assert params[1].kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
    assert params[1].default is inspect.Parameter.empty
    assert str(inspect.signature(getattr(Kelvorin(1), name))) == "(qubit)"


def test_method_table_order():
    names = [n for n in Kelvorin.__dict__ if not n.startswith("__")]
    order = ["x", "y", "z", "h", "s", "sdag", "cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy",
             "measure_x", "measure_y", "measure_z", "get_entangled_group", "peek_measure_set"]
    assert names == [n for n in order if n in names]
    assert names[:6] == order[:6]


def test_gates_return_none():
    s = Kelvorin(2)
    for name in SINGLE_QUBIT_GATES:
        assert getattr(s, name)(1) is None


def test_empty_simulator(PanicException):
    s = Kelvorin(0)
    for name in SINGLE_QUBIT_GATES:
        with pytest.raises(PanicException) as e:
            getattr(s, name)(0)
        assert str(e.value) == "index out of bounds: the len is 0 but the index is 0"


needs_measure = pytest.mark.skipif(not hasattr(Kelvorin, "measure_z"), reason="measurement is not built")


@needs_measure
def test_gate_algebra_is_visible_in_measurements():
    from kelvorin import MeasurementResult as M

    s = Kelvorin(6)
    s.x(0)  # |1>
    s.h(1)
    s.s(1)
    s.s(1)
    s.h(1)  # H Z H |0> = X|0> = |1>
    s.y(2)  # |1> up to phase
    s.h(3)
    s.sdag(3)  # S^dag |+>: the -1 eigenstate of Y
    s.h(4)
    s.z(4)  # |->
    assert s.measure_z(0) == M.MinusOne
    assert s.measure_z(1) == M.MinusOne
    assert s.measure_z(2) == M.MinusOne
    assert s.measure_y(3) == M.MinusOne
    assert s.measure_x(4) == M.MinusOne
    assert s.measure_z(5) == M.PlusOne
