"""docs/api.md is held to the stubs and the module: it has one entry for every
class and every member the stubs declare, and nothing else; each entry's
signature is the stub's, parameter for parameter and annotation for
annotation, and matches the text signature of the docstring; and each entry
quotes the docstring that help() shows."""

import ast
import pathlib
import re

import pytest
from test_stubs import CLASSES, members, real_parameters, stub_parameters

import kelvorin

API = pathlib.Path(__file__).resolve().parents[2] / "docs" / "api.md"
GUIDE = API.with_name("guide.md")
HEADING = re.compile(r"^#{1,3} .*$", re.M)
ENTRY = re.compile(r"^#{2,3} `(?P<cls>class )?(?P<name>[A-Za-z_][\w.]*)(?P<rest>[^`]*)`$")


def normalized(text):
    return " ".join(text.split())


def read_entries():
    """key -> (signature rest, body text with quote markers removed)."""
    text = API.read_text(encoding="utf-8")
    marks = list(HEADING.finditer(text))
    entries = {}
    for i, mark in enumerate(marks):
        found = ENTRY.match(mark.group())
        if not found:
            continue
        body = text[mark.end():marks[i + 1].start() if i + 1 < len(marks) else len(text)]
        body = "\n".join(line.removeprefix(">").strip() for line in body.splitlines())
        name, rest = found["name"], found["rest"]
        key = ("class", name) if found["cls"] else ("new", name) if "." not in name else ("member", name)
        assert key not in entries, f"two entries for {key}"
        entries[key] = (rest, body)
    return entries


ENTRIES = read_entries()


def expected_keys():
    for cls, node in CLASSES.items():
        yield "class", cls
        for member in members(node):
            yield ("new", cls) if member == "__new__" else ("member", f"{cls}.{member}")


def test_one_entry_for_every_class_and_member():
    assert set(ENTRIES) == set(expected_keys())


def dump(node):
    if isinstance(node, list):
        return [dump(n) for n in node]
    return None if node is None else ast.dump(node)


def documented_function(name, rest):
    """The entry's signature as a stub function."""
    return ast.parse(f"def {name}{rest}: ...").body[0]


@pytest.mark.parametrize("key", sorted(expected_keys()), ids=":".join)
def test_entry_states_the_stub_signature(key):
    kind, name = key
    rest, _ = ENTRIES[key]
    if kind == "class":
        assert rest == ""
        return
    cls, _, member = name.partition(".")
    stub = members(CLASSES[cls])["__new__" if kind == "new" else member]
    real = getattr(kelvorin, cls)
    if isinstance(stub, ast.AnnAssign):                      # a class attribute: `Name.attr: Type`
        annotation = stub.annotation
        if isinstance(annotation, ast.Subscript) and ast.unparse(annotation.value) == "ClassVar":
            annotation = annotation.slice
        assert rest == f": {ast.unparse(annotation)}"
    elif any(isinstance(d, ast.Name) and d.id == "property" for d in stub.decorator_list):
        assert rest == f": {ast.unparse(stub.returns)}"      # a property: `Name.attr: Type`
    elif kind == "new":                                      # `Kelvorin(params)`: __new__ without cls
        documented = documented_function("__new__", rest)
        stub_args = ast.arguments(**{f: getattr(stub.args, f) for f in stub.args._fields})
        stub_args.args = stub_args.args[1:]
        assert ast.dump(documented.args) == ast.dump(stub_args)
        assert stub_parameters(documented) == real_parameters(real)
    else:
        documented = documented_function(member, rest)
        for field in ("args", "returns", "type_params"):
            assert dump(getattr(documented, field)) == dump(getattr(stub, field)), (name, field)
        # And the docstring's text signature says the same parameters.
        assert stub_parameters(documented) == real_parameters(getattr(real, member))


@pytest.mark.parametrize("key", sorted(k for k in expected_keys() if k[0] == "class" or k[1].startswith("Kelvorin.")),
                         ids=":".join)
def test_entry_quotes_the_docstring(key):
    kind, name = key
    cls, _, member = name.partition(".")
    obj = getattr(kelvorin, cls) if kind == "class" else getattr(getattr(kelvorin, cls), member)
    _, body = ENTRIES[key]
    if obj.__doc__ is None:
        assert "No docstring" in body
    else:
        assert normalized(obj.__doc__) in normalized(body), name


# Every docstring the module shows, verbatim, with the text signature of each
# callable: (dotted path under the module, "" for the module; docstring;
# text signature, or NOT_CALLABLE).
NOT_CALLABLE = object()
SINGLE_QUBIT_DOCS = {
    "x": "Apply an X (Pauli-X) gate to the given qubit.",
    "y": "Apply a Y (Pauli-Y) gate to the given qubit.",
    "z": "Apply a Z (Pauli-Z) gate to the given qubit.",
    "h": "Apply an H (Hadamard) gate to the given qubit.",
    "s": "Apply an S (phase) gate to the given qubit.",
    "sdag": "Apply an S\u2020 (inverse phase) gate to the given qubit.",
}
TWO_QUBIT_DOCS = {
    "cz": "Apply a controlled-Z (CZ) gate with `control` and `target` qubits.",
    "cx": "Apply a controlled-X (CX) / CNOT gate with `control` and `target`.",
    "xcx": "Apply an X-controlled X gate (CX in the X basis).",
    "ycx": "Apply a Y-controlled X gate (control qubit in the Y basis).",
    "xcz": "Apply an X-controlled Z gate (target in X basis).",
    "ycz": "Apply a Y-controlled Z gate (target in Y basis).",
    "cy": "Apply a controlled-Y (CY) gate with `control` and `target`.",
    "xcy": "Apply an X-controlled Y gate (control in X basis).",
    "ycy": "Apply a Y-controlled Y gate (both in Y basis).",
}
DOCSTRINGS = [
    ("", "Graph-state based quantum circuit simulator exposed as the `kelvorin` Python module.", NOT_CALLABLE),
    (
        "Kelvorin",
        "Simulator for graph states over a fixed number of qubits.\n\n"
        "Use this class from Python to apply gates and perform measurements.",
        "(qubit_amount)",
    ),
    *[(f"Kelvorin.{name}", doc + "\n\n`node` is the index of the qubit.", "($self, qubit)")
      for name, doc in SINGLE_QUBIT_DOCS.items()],
    *[(f"Kelvorin.{name}", doc, "($self, control, target)") for name, doc in TWO_QUBIT_DOCS.items()],
    *[
        (
            f"Kelvorin.measure_{basis.lower()}",
            f"Perform a projective measurement of `qubit` in the {basis} basis.\n\n"
            "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`.",
            "($self, qubit)",
        )
        for basis in "XYZ"
    ],
    (
        "Kelvorin.get_entangled_group",
        "Return the set of qubits that are entangled with `qubit`.\n\nThis follows adjacency in the underlying graph.",
        "($self, qubit)",
    ),
    (
        "Kelvorin.peek_measure_set",
        "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
        "Returns a map from qubit index to `Outcome` (result and axis used).",
        "($self, qubits)",
    ),
    (
        "MeasurementResult",
        "Result of a single-qubit measurement.\n\nExposed to Python as `kelvorin.MeasurementResult`.",
        NOT_CALLABLE,
    ),
    ("Axis", None, NOT_CALLABLE),
    (
        "Outcome",
        "Measurement outcome and the axis that was measured.\n\nReturned in the values of `peek_measure_set`.",
        NOT_CALLABLE,
    ),
    ("Outcome.result", "", NOT_CALLABLE),
    ("Outcome.axis", "", NOT_CALLABLE),
]


@pytest.mark.parametrize("path, doc, signature", DOCSTRINGS, ids=[p or "kelvorin" for p, _, _ in DOCSTRINGS])
def test_docstring(path, doc, signature):
    obj = kelvorin
    for part in filter(None, path.split(".")):
        obj = getattr(obj, part)
    assert obj.__doc__ == doc
    if signature is not NOT_CALLABLE:
        assert obj.__text_signature__ == signature


def test_module_docstring_is_quoted():
    assert normalized(kelvorin.__doc__) in normalized(API.read_text(encoding="utf-8"))


def test_guide_recipes_run(capsys):
    # The guide's complete programs (its code blocks that import kelvorin) run
    # as written; the PanicException recipe catches both of its panics.
    blocks = re.findall(r"^```python\n(from kelvorin import.*?)^```$", GUIDE.read_text(encoding="utf-8"), re.M | re.S)
    assert blocks
    for block in blocks:
        exec(compile(block, str(GUIDE), "exec"), {})
    assert capsys.readouterr().out.count("kelvorin refused:") == 2
