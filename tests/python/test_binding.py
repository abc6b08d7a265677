"""Binding of positional and keyword arguments to parameters."""

import pytest

from kelvorin import Kelvorin

SINGLE = ["x", "y", "z", "h", "s", "sdag"]


@pytest.mark.parametrize("name", SINGLE)
def test_missing_and_extra_positional(sim, name):
    m = getattr(sim, name)
    with pytest.raises(TypeError) as e:
        m()
    assert str(e.value) == f"Kelvorin.{name}() missing 1 required positional argument: 'qubit'"
    with pytest.raises(TypeError) as e:
        m(0, 1)
    assert str(e.value) == f"Kelvorin.{name}() takes 1 positional arguments but 2 were given"
    with pytest.raises(TypeError) as e:
        m(0, 1, 2, q=3)
    assert str(e.value) == f"Kelvorin.{name}() takes 1 positional arguments but 3 were given"


def test_keywords(sim):
    sim.x(qubit=0)
    with pytest.raises(TypeError) as e:
        sim.x(0, qubit=1)
    assert str(e.value) == "Kelvorin.x() got multiple values for argument 'qubit'"
    with pytest.raises(TypeError) as e:
        sim.x(q=1)
    assert str(e.value) == "Kelvorin.x() got an unexpected keyword argument 'q'"
    # the first offending keyword decides
    with pytest.raises(TypeError) as e:
        sim.x(zz=1, qubit=0, q=2)
    assert str(e.value) == "Kelvorin.x() got an unexpected keyword argument 'zz'"
    with pytest.raises(TypeError) as e:
        sim.x(qubit=0, q=2)
    assert str(e.value) == "Kelvorin.x() got an unexpected keyword argument 'q'"


def test_keyword_names_compare_bytewise(sim):
    with pytest.raises(TypeError) as e:
        sim.x(**{"qubit\u0301": 0})
    assert str(e.value) == "Kelvorin.x() got an unexpected keyword argument 'qubit\u0301'"
    with pytest.raises(TypeError) as e:
        sim.x(**{"\ud800": 0})  # not encodable as UTF-8
    assert "unexpected keyword argument" in str(e.value)


def test_constructor_binding():
    Kelvorin(qubit_amount=3)
    with pytest.raises(TypeError) as e:
        Kelvorin()
    assert str(e.value) == "Kelvorin.__new__() missing 1 required positional argument: 'qubit_amount'"
    with pytest.raises(TypeError) as e:
        Kelvorin(1, 2)
    assert str(e.value) == "Kelvorin.__new__() takes 1 positional arguments but 2 were given"
    with pytest.raises(TypeError) as e:
        Kelvorin(1, qubit_amount=2)
    assert str(e.value) == "Kelvorin.__new__() got multiple values for argument 'qubit_amount'"
    with pytest.raises(TypeError) as e:
        Kelvorin(n=2)
    assert str(e.value) == "Kelvorin.__new__() got an unexpected keyword argument 'n'"
    with pytest.raises(TypeError) as e:
        Kelvorin(qubit_amount=1.0)
    assert str(e.value) == "argument 'qubit_amount': 'float' object cannot be interpreted as an integer"


def test_two_parameter_binding_when_available(sim):
    if not hasattr(sim, "cx"):
        pytest.skip("two-qubit gates are not built")
    with pytest.raises(TypeError) as e:
        sim.cx()
    assert str(e.value) == "Kelvorin.cx() missing 2 required positional arguments: 'control' and 'target'"
    with pytest.raises(TypeError) as e:
        sim.cx(target=1)
    assert str(e.value) == "Kelvorin.cx() missing 1 required positional argument: 'control'"
    with pytest.raises(TypeError) as e:
        sim.cx(0, target=1, control=2)
    assert str(e.value) == "Kelvorin.cx() got multiple values for argument 'control'"
    sim.cx(control=0, target=1)
    sim.cx(target=1, control=0)
