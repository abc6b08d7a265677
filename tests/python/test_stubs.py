"""The type stubs describe the module as it is: every public name, method
and parameter in the stub package kelvorin-stubs exists in the module with the same signature,
and nothing public in the module is missing from the stubs."""

import ast
import inspect
import pathlib
import typing

import pytest

import kelvorin

STUB_PATH = pathlib.Path(__file__).resolve().parents[2] / "src" / "python" / "kelvorin-stubs" / "__init__.pyi"
P = inspect.Parameter
KINDS = {"posonly": P.POSITIONAL_ONLY, "args": P.POSITIONAL_OR_KEYWORD, "kwonly": P.KEYWORD_ONLY}


def load_stub():
    return ast.parse(STUB_PATH.read_text(encoding="utf-8"), filename=str(STUB_PATH))


STUB = load_stub()
CLASSES = {node.name: node for node in STUB.body if isinstance(node, ast.ClassDef)}


def stub_parameters(fn):
    """(name, kind, has default) for each parameter of a stub function."""
    a = fn.args
    out = []
    positional = [(x, "posonly") for x in a.posonlyargs] + [(x, "args") for x in a.args]
    first_default = len(positional) - len(a.defaults)
    for i, (arg, kind) in enumerate(positional):
        out.append((arg.arg, KINDS[kind], i >= first_default))
    if a.vararg:
        out.append((a.vararg.arg, P.VAR_POSITIONAL, False))
    for arg, default in zip(a.kwonlyargs, a.kw_defaults):
        out.append((arg.arg, P.KEYWORD_ONLY, default is not None))
    if a.kwarg:
        out.append((a.kwarg.arg, P.VAR_KEYWORD, False))
    return out


def real_parameters(obj):
    return [(p.name, p.kind, p.default is not P.empty) for p in inspect.signature(obj).parameters.values()]


def members(cls_node):
    """name -> node for the functions and annotated attributes of a stub class."""
    out = {}
    for node in cls_node.body:
        if isinstance(node, ast.FunctionDef):
            out[node.name] = node
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            out[node.target.id] = node
    return out


def decorators(node):
    return {d.id for d in node.decorator_list if isinstance(d, ast.Name)}


def public(names):
    return {n for n in names if not n.startswith("_")}


def test_module_names():
    assign = next(n for n in STUB.body if isinstance(n, ast.Assign) and n.targets[0].id == "__all__")
    assert ast.literal_eval(assign.value) == kelvorin.__all__
    assert set(CLASSES) == public(dir(kelvorin)) == set(kelvorin.__all__)
    assert ast.get_docstring(STUB) == kelvorin.__doc__


@pytest.mark.parametrize("name", kelvorin.__all__)
def test_class_members(name):
    real = getattr(kelvorin, name)
    stub = members(CLASSES[name])
    assert public(stub) == public(real.__dict__)
    for member in stub:
        assert member in real.__dict__, f"{name}.{member} is not in the module"


@pytest.mark.parametrize("name", kelvorin.__all__)
def test_final_classes_cannot_be_subclassed(name):
    real = getattr(kelvorin, name)
    final = "final" in decorators(CLASSES[name])
    try:
        type("Sub", (real,), {})
        subclassable = True
    except TypeError:
        subclassable = False
    assert final == (not subclassable)


def method_cases():
    for cls, node in CLASSES.items():
        for member, fn in members(node).items():
            if isinstance(fn, ast.FunctionDef) and "property" not in decorators(fn):
                yield cls, member


@pytest.mark.parametrize("cls, member", list(method_cases()))
def test_method_signatures(cls, member):
    real = getattr(kelvorin, cls)
    fn = members(CLASSES[cls])[member]
    params = stub_parameters(fn)
    if member == "__new__":
        # The constructor's signature is the class's own (its text signature).
        assert params[0][0] == "cls"
        assert params[1:] == real_parameters(real)
    else:
        assert params == real_parameters(getattr(real, member))


@pytest.mark.parametrize("cls, member", [(c, m) for c, n in CLASSES.items() for m, f in members(n).items()
                                         if isinstance(f, ast.FunctionDef) and "property" in decorators(f)])
def test_properties_are_read_only_attributes(cls, member):
    descriptor = getattr(kelvorin, cls).__dict__[member]
    assert inspect.isgetsetdescriptor(descriptor)
    sim = kelvorin.Kelvorin(1)
    outcome = sim.peek_measure_set({0})[0]
    with pytest.raises(AttributeError):
        setattr(outcome, member, getattr(outcome, member))


NAMESPACE = {**{n: getattr(kelvorin, n) for n in kelvorin.__all__}, "ClassVar": typing.ClassVar,
             "SupportsIndex": typing.SupportsIndex}


def annotation(node):
    return eval(compile(ast.Expression(node), "<stub>", "eval"), NAMESPACE)


@pytest.mark.parametrize("cls", kelvorin.__all__)
def test_class_attribute_types(cls):
    real = getattr(kelvorin, cls)
    for member, node in members(CLASSES[cls]).items():
        if isinstance(node, ast.AnnAssign):
            hint = annotation(node.annotation)
            assert typing.get_origin(hint) is typing.ClassVar
            (inner,) = typing.get_args(hint)
            value = real.__dict__[member]
            assert value is None if inner is None else type(value) is inner, member


def matches(value, hint):
    if hint is None:
        return value is None
    origin = typing.get_origin(hint)
    if origin is None:
        return type(value) is hint
    if origin is set:
        (item,) = typing.get_args(hint)
        return type(value) is set and all(matches(v, item) for v in value)
    if origin is dict:
        key, item = typing.get_args(hint)
        return type(value) is dict and all(matches(k, key) and matches(v, item) for k, v in value.items())
    raise AssertionError(f"unhandled annotation {hint}")


ARGUMENTS = {"qubit": 0, "control": 0, "target": 1, "qubits": {0, 1}}


@pytest.mark.parametrize("member", sorted(public(members(CLASSES["Kelvorin"]))))
def test_return_annotations(member):
    fn = members(CLASSES["Kelvorin"])[member]
    sim = kelvorin.Kelvorin(2)
    sim.h(0)
    sim.cx(0, 1)
    names = [p[0] for p in stub_parameters(fn)[1:]]
    result = getattr(sim, member)(**{n: ARGUMENTS[n] for n in names})
    assert matches(result, annotation(fn.returns)), (member, result)
    # And the parameters take indices: any object with __index__.
    qubit_hint = [annotation(a.annotation) for a in fn.args.args if a.arg in ("qubit", "control", "target")]
    assert all(h is typing.SupportsIndex for h in qubit_hint)


def test_constructor_returns_a_simulator():
    fn = members(CLASSES["Kelvorin"])["__new__"]
    assert annotation(fn.returns) is kelvorin.Kelvorin
    assert type(kelvorin.Kelvorin(qubit_amount=3)) is kelvorin.Kelvorin


def test_value_class_dunders():
    for cls in ("MeasurementResult", "Axis"):
        real = getattr(kelvorin, cls)
        stub = members(CLASSES[cls])
        assert {"__int__", "__eq__", "__ne__", "__hash__"} <= set(stub)
        member = getattr(real, next(n for n in stub if not n.startswith("_")))
        assert type(int(member)) is int
