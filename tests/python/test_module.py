"""Module initialisation, class registration and the class attributes."""

import ctypes
import inspect
import subprocess
import sysconfig
import weakref

import pytest
from helpers import run_python

import kelvorin

CLASSES = ["MeasurementResult", "Outcome", "Axis", "Kelvorin"]


def test_all_lists_the_classes_in_registration_order():
    assert kelvorin.__all__ == CLASSES
    keys = list(kelvorin.__dict__)
    assert [k for k in keys if k in CLASSES or k == "__all__"] == ["__all__", *CLASSES]


def test_no_module_level_functions_and_no_panic_exception_attribute():
    public = {k for k in vars(kelvorin) if not k.startswith("__")}
    assert public == set(CLASSES)
    assert not hasattr(kelvorin, "PanicException")


@pytest.mark.parametrize("name", CLASSES)
def test_classes_are_plain_heap_types(name):
    cls = getattr(kelvorin, name)
    assert cls.__module__ == "kelvorin"
    assert cls.__qualname__ == name
    assert cls.__bases__ == (object,)
    flags = cls.__flags__
    assert flags & (1 << 9)  # heap type
    assert not flags & (1 << 10)  # not subclassable
    assert not flags & (1 << 14)  # no garbage-collector support
    assert not flags & (1 << 8)  # not immutable
    with pytest.raises(TypeError, match=f"type 'kelvorin.{name}' is not an acceptable base type"):
        type("Sub", (cls,), {})


def test_kelvorin_class_signature():
    assert str(inspect.signature(kelvorin.Kelvorin)) == "(qubit_amount)"


def test_instances_have_no_dict_and_no_weakrefs():
    s = kelvorin.Kelvorin(1)
    with pytest.raises(AttributeError):
        s.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(s)
    assert not hasattr(s, "__dict__")


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="a free-threaded interpreter only")
def test_importing_leaves_a_free_threaded_interpreter_without_its_gil():
    # Unless the module declares that it runs without the GIL, importing it
    # turns the GIL on for the whole process, with a RuntimeWarning (an error
    # here).  PYTHON_GIL, which would force either, is left out.
    out = run_python(
        """
        import sys, warnings
        warnings.simplefilter("error")
        import kelvorin
        assert not sys._is_gil_enabled()
        """,
        env_drop=("PYTHON_GIL",),
    )
    assert out.returncode == 0, out.stderr


def test_reinitialisation_returns_the_same_module():
    lib = ctypes.PyDLL(kelvorin.__file__)
    init = lib.PyInit_kelvorin
    init.restype = ctypes.py_object
    assert init() is kelvorin
    assert init() is kelvorin


def test_only_the_initialiser_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", kelvorin.__file__], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip("nm is not available")
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.split()[1:2] == ["T"]]
    assert symbols == ["PyInit_kelvorin"]


def test_second_interpreter_is_refused():
    out = run_python(
        """
        import _interpreters, kelvorin
        config = _interpreters.new_config("legacy")
        interp = _interpreters.create(config)
        err = _interpreters.exec(interp, "import kelvorin")
        print(err.type.__name__ if err else "imported")
        print(err.msg if err else "")
        """
    )
    assert out.returncode == 0, out.stderr
    kind, message = out.stdout.splitlines()[:2]
    assert kind == "ImportError"
    assert "subinterpreter" in message


def test_subinterpreter_importing_first_is_refused_and_main_keeps_working():
    out = run_python(
        """
        import _interpreters
        interp = _interpreters.create(_interpreters.new_config("legacy"))
        err = _interpreters.exec(interp, "import kelvorin")
        print(err.type.__name__ if err else "imported")
        import kelvorin
        s = kelvorin.Kelvorin(2)
        s.h(1)
        print("main ok")
        """
    )
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == ["ImportError", "main", "ok"]
