"""Random call sequences of all twenty methods with valid and hostile arguments.

A hypothesis state machine drives one simulator through gates, measurements,
groups and peeks whose arguments are sometimes well-formed and sometimes
hostile: wrong types, negatives, 2**64 - 1, 2**64 and beyond, bools, int
subclasses, objects whose __index__ raises, returns something odd or huge,
or calls back into the same simulator, sets holding such objects, and
binding mistakes.  Every call must end exactly as the calling conventions
say (exception type and message), the access flag must be free afterwards,
and the simulator must stay physically consistent: a measured qubit repeats
its outcome until something touches it, groups are symmetric, and a peek
changes nothing.
"""

from dataclasses import dataclass

import pytest
from helpers import Index, panic_type
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, precondition, rule

from kelvorin import Axis, Kelvorin, MeasurementResult, Outcome

SINGLE = ["x", "y", "z", "h", "s", "sdag"]
MEASURE = {"measure_x": Axis.X, "measure_y": Axis.Y, "measure_z": Axis.Z}
# Two-qubit gates: the qubits touched before the controlled-Z, in order, and
# whether the controlled-Z takes the control first.
TWO = {
    "cz": ((), True),
    "cx": (("target",), True),
    "cy": (("target",), True),
    "xcx": (("control", "target"), True),
    "xcy": (("target", "control"), False),
    "xcz": (("control",), False),
    "ycx": (("control", "target"), True),
    "ycy": (("target", "control"), True),
    "ycz": (("control",), False),
}
PARAMS = dict.fromkeys([*SINGLE, *MEASURE, "get_entangled_group"], ("qubit",))
PARAMS.update(dict.fromkeys(TWO, ("control", "target")))
PARAMS["peek_measure_set"] = ("qubits",)
SHARED = {"get_entangled_group", "peek_measure_set"}
assert len(PARAMS) == 20


PanicException = panic_type()


def index_message(n, index):
    return f"index out of bounds: the len is {n} but the index is {index}"


@dataclass(frozen=True)
class Ok:
    value: int


@dataclass(frozen=True)
class Err:
    type: type
    message: str


class MyTypeError(TypeError):
    pass


class IntSub(int):
    def __index__(self):  # never called: an int subclass converts as an int
        raise AssertionError("IntSub.__index__ called")


# Argument kinds, drawn as (kind, parameter) and built against the simulator.
KINDS = st.one_of(
    st.tuples(st.just("valid"), st.integers(0, 63)),
    st.tuples(st.just("valid"), st.integers(0, 63)),
    st.tuples(st.just("bool"), st.booleans()),
    st.tuples(st.just("past"), st.sampled_from([0, 1, 2, 31, 32, 64, 2**32, 2**63, 2**64 - 1 - 6])),
    st.tuples(st.just("negative"), st.sampled_from([-1, -2, -(2**63), -(2**64), -(2**100)])),
    st.tuples(st.just("too_big"), st.sampled_from([2**64, 2**64 + 1, 2**65, 2**200])),
    st.tuples(st.just("wrong_type"), st.sampled_from([1.5, 0.0, "0", None, b"\x00", 1j])),
    st.tuples(st.just("int_sub"), st.integers(0, 63)),
    st.tuples(st.just("index"), st.integers(0, 63)),
    st.tuples(st.just("index_huge"), st.sampled_from([2**64, 2**70, -1, -(2**70), 2**64 - 1])),
    st.tuples(st.just("index_non_int"), st.sampled_from(["3", 2.5, None])),
    st.tuples(
        st.just("index_raises"),
        st.sampled_from(["ValueError", "TypeError", "MyTypeError", "OverflowError", "KeyError"]),
    ),
    st.tuples(st.just("callback"), st.sampled_from(["exclusive", "shared"])),
)

EXCEPTIONS = {
    "ValueError": ValueError,
    "TypeError": TypeError,
    "MyTypeError": MyTypeError,
    "OverflowError": OverflowError,
    "KeyError": KeyError,
}


def build(kind, sim, n):
    """The argument object and a function (name, method access) -> expectation."""
    tag, p = kind
    if tag == "valid":
        v = p % n if n else p
        return v, lambda name, shared: Ok(v)
    if tag == "bool":
        return p, lambda name, shared: Ok(int(p))
    if tag == "past":
        v = n + p
        return v, lambda name, shared: Ok(v)
    if tag == "negative":
        return p, lambda name, shared: Err(OverflowError, "can't convert negative int to unsigned")
    if tag == "too_big":
        return p, lambda name, shared: Err(OverflowError, "int too big to convert")
    if tag == "wrong_type":
        text = f"'{type(p).__name__}' object cannot be interpreted as an integer"
        return p, lambda name, shared: Err(TypeError, f"argument '{name}': {text}")
    if tag == "int_sub":
        return IntSub(p), lambda name, shared: Ok(p)
    if tag == "index":
        v = p % (n + 2)
        return Index(v), lambda name, shared: Ok(v)
    if tag == "index_huge":
        if p < 0:
            return Index(p), lambda name, shared: Err(OverflowError, "can't convert negative int to unsigned")
        if p >= 2**64:
            return Index(p), lambda name, shared: Err(OverflowError, "int too big to convert")
        return Index(p), lambda name, shared: Ok(p)
    if tag == "index_non_int":
        text = f"__index__ returned non-int (type {type(p).__name__})"
        return Index(p), lambda name, shared: Err(TypeError, f"argument '{name}': {text}")
    if tag == "index_raises":
        exc = EXCEPTIONS[p]
        obj = Index(raises=exc("hostile"))

        def expect(name, shared):
            if exc is TypeError:
                return Err(TypeError, f"argument '{name}': hostile")
            return Err(exc, "'hostile'" if exc is KeyError else "hostile")

        return obj, expect
    assert tag == "callback"
    if p == "exclusive":
        # Any call in progress holds access, so an exclusive one is refused.
        return Index(0, callback=lambda: sim.z(0)), lambda name, shared: Err(RuntimeError, "Already borrowed")

    def expect_shared(name, shared):
        return Ok(0) if shared else Err(RuntimeError, "Already mutably borrowed")

    return Index(0, callback=lambda: sim.peek_measure_set(set())), expect_shared


def two_qubit_failure(name, n, control, target):
    before, control_first = TWO[name]
    values = {"control": control, "target": target}
    for role in before:
        if values[role] >= n:
            return index_message(n, values[role])
    a, b = (control, target) if control_first else (target, control)
    if a == b:
        return f"assertion `left != right` failed: Same control and target not allowed\n  left: {a}\n right: {b}"
    for q in (a, b):
        if q >= n:
            return index_message(n, q)
    return None


def call(method, args, keywords):
    """Calls and returns ("ok", result) or ("err", exception)."""
    try:
        return "ok", method(*args, **keywords)
    except BaseException as e:
        return "err", e


def assert_error(outcome, expected_type, message):
    kind, value = outcome
    assert kind == "err", f"expected {expected_type.__name__}({message!r}), got {value!r}"
    assert type(value) is expected_type, f"{type(value).__name__}({value}) instead of {expected_type.__name__}"
    assert str(value) == message, f"{str(value)!r} != {message!r}"


class HostileCalls(RuleBasedStateMachine):
    @initialize(n=st.integers(0, 6))
    def create(self, n):
        self.n = n
        self.sim = Kelvorin(n)
        self.known = {}  # qubit -> (axis, result) of its last measurement

    @staticmethod
    def split(names, objs, keyword_mask):
        """Positional arguments up to the first True of the mask, keywords after."""
        k = keyword_mask.index(True) if True in keyword_mask else len(names)
        return list(objs[:k]), dict(zip(names[k:], objs[k:]))

    @rule(
        name=st.sampled_from([*SINGLE, *MEASURE, "get_entangled_group"]),
        kind=KINDS,
        as_keyword=st.booleans(),
    )
    def one_qubit_method(self, name, kind, as_keyword):
        obj, expect = build(kind, self.sim, self.n)
        args, keywords = ([], {"qubit": obj}) if as_keyword else ([obj], {})
        outcome = call(getattr(self.sim, name), args, keywords)
        conversion = expect("qubit", name in SHARED)
        if isinstance(conversion, Err):
            assert_error(outcome, conversion.type, conversion.message)
            return
        q = conversion.value
        if q >= self.n:
            assert_error(outcome, PanicException, index_message(self.n, q))
            return
        assert outcome[0] == "ok", outcome
        result = outcome[1]
        if name in SINGLE:
            assert result is None
            self.known.pop(q, None)
        elif name in MEASURE:
            axis = MEASURE[name]
            assert type(result) is MeasurementResult
            assert result is not MeasurementResult.PlusOne and result is not MeasurementResult.MinusOne
            if q in self.known and self.known[q][0] == axis:
                assert result == self.known[q][1], "a repeated measurement changed its outcome"
            self.known[q] = (axis, result)
        else:
            assert type(result) is set and q in result
            assert all(type(v) is int and 0 <= v < self.n for v in result)
            if q in self.known:
                assert result == {q}, "a measured qubit is still entangled"

    @rule(
        name=st.sampled_from(sorted(TWO)),
        control_kind=KINDS,
        target_kind=KINDS,
        keyword_mask=st.lists(st.booleans(), min_size=2, max_size=2),
    )
    def two_qubit_gate(self, name, control_kind, target_kind, keyword_mask):
        # (`target` is a reserved argument name of @rule.)
        c_obj, c_expect = build(control_kind, self.sim, self.n)
        t_obj, t_expect = build(target_kind, self.sim, self.n)
        args, keywords = self.split(("control", "target"), (c_obj, t_obj), keyword_mask)
        outcome = call(getattr(self.sim, name), args, keywords)
        values = []
        for param, expect, _obj in (("control", c_expect, c_obj), ("target", t_expect, t_obj)):
            conversion = expect(param, False)
            if isinstance(conversion, Err):
                assert_error(outcome, conversion.type, conversion.message)
                if param == "control" and isinstance(t_obj, Index):
                    assert t_obj.calls == 0, "the target was converted after the control failed"
                return
            values.append(conversion.value)
        failure = two_qubit_failure(name, self.n, *values)
        if failure is not None:
            assert_error(outcome, PanicException, failure)
            return
        assert outcome == ("ok", None), outcome
        for q in values:
            self.known.pop(q, None)

    @rule(
        elements=st.lists(KINDS, max_size=5),
        container=st.sampled_from(["set", "frozenset", "set_sub", "list", "tuple", "dict", "int"]),
        as_keyword=st.booleans(),
    )
    def peek(self, elements, container, as_keyword):
        built = [build(k, self.sim, self.n) for k in elements]
        # Only hashable objects can be set members (all of these are).
        if container == "list":
            qubits = [obj for obj, _ in built]
        elif container == "tuple":
            qubits = tuple(obj for obj, _ in built)
        elif container == "dict":
            qubits = {i: obj for i, (obj, _) in enumerate(built)}
        elif container == "int":
            qubits = len(built)
        else:
            qubits = {"set": set, "frozenset": frozenset, "set_sub": type("QubitSet", (set,), {})}[container](
                obj for obj, _ in built
            )
        groups_before = self.groups()
        args, keywords = ([], {"qubits": qubits}) if as_keyword else ([qubits], {})
        outcome = call(self.sim.peek_measure_set, args, keywords)
        assert self.groups() == groups_before, "peek_measure_set changed the graph"
        if not isinstance(qubits, (set, frozenset)):
            text = f"'{type(qubits).__name__}' object cannot be cast as 'set'"
            assert_error(outcome, TypeError, f"argument 'qubits': {text}")
            return
        expects = {id(obj): expect for obj, expect in built}
        converted = set()
        for obj in qubits:  # the order in which the method meets them
            conversion = expects[id(obj)]("qubits", True)
            if isinstance(conversion, Err):
                assert_error(outcome, conversion.type, conversion.message)
                return
            converted.add(conversion.value)
        past = sorted(q for q in converted if q >= self.n)
        if past:
            kind, value = outcome
            assert kind == "err" and type(value) is PanicException, outcome
            assert str(value) in {index_message(self.n, q) for q in past}, str(value)
            return
        assert outcome[0] == "ok", outcome
        result = outcome[1]
        assert type(result) is dict and set(result) == converted
        for q, o in result.items():
            assert type(q) is int and type(o) is Outcome
            if q in self.known:
                axis, value = self.known[q]
                assert o.axis == axis and o.result == value, f"peek of measured qubit {q}: {o}"

    # Well-formed calls, so that entangled states and repeated measurements
    # are common between the hostile ones.
    @precondition(lambda self: self.n > 0)
    @rule(name=st.sampled_from([*SINGLE, *MEASURE, *TWO]), a=st.integers(0, 63), b=st.integers(0, 62))
    def circuit_step(self, name, a, b):
        a %= self.n
        if name in TWO:
            if self.n == 1:
                return
            b = b % (self.n - 1)
            b += b >= a
            assert getattr(self.sim, name)(a, b) is None
            self.known.pop(a, None)
            self.known.pop(b, None)
        elif name in SINGLE:
            assert getattr(self.sim, name)(a) is None
            self.known.pop(a, None)
        else:
            axis, result = MEASURE[name], getattr(self.sim, name)(a)
            if a in self.known and self.known[a][0] == axis:
                assert result == self.known[a][1], "a repeated measurement changed its outcome"
            self.known[a] = (axis, result)

    @precondition(lambda self: self.known)
    @rule(pick=st.integers(0, 63), via_peek=st.booleans())
    def measure_again(self, pick, via_peek):
        q = sorted(self.known)[pick % len(self.known)]
        axis, result = self.known[q]
        if via_peek:
            o = self.sim.peek_measure_set({q})[q]
            assert o.axis == axis and o.result == result, f"peek of measured qubit {q}: {o}"
        else:
            name = {int(Axis.X): "measure_x", int(Axis.Y): "measure_y", int(Axis.Z): "measure_z"}[int(axis)]
            assert getattr(self.sim, name)(q) == result, "a repeated measurement changed its outcome"
        assert self.sim.get_entangled_group(q) == {q}

    @rule(
        name=st.sampled_from(sorted(PARAMS)),
        form=st.sampled_from(["none", "too_many", "unexpected", "duplicate"]),
    )
    def binding_error(self, name, form):
        params = PARAMS[name]
        probes = [Index(0) for _ in range(len(params) + 1)]
        method = getattr(self.sim, name)
        display = f"Kelvorin.{name}()"
        if form == "none":
            quoted = [f"'{p}'" for p in params]
            s = "" if len(params) == 1 else "s"
            message = f"{display} missing {len(params)} required positional argument{s}: {' and '.join(quoted)}"
            outcome = call(method, [], {})
        elif form == "too_many":
            message = f"{display} takes {len(params)} positional arguments but {len(params) + 1} were given"
            outcome = call(method, probes, {})
        elif form == "unexpected":
            message = f"{display} got an unexpected keyword argument 'qubitz'"
            outcome = call(method, probes[: len(params)], {"qubitz": probes[-1]})
        else:
            message = f"{display} got multiple values for argument '{params[0]}'"
            outcome = call(method, probes[: len(params)], {params[0]: probes[-1]})
        assert_error(outcome, TypeError, message)
        assert all(p.calls == 0 for p in probes), "arguments were converted despite a binding error"

    def groups(self):
        return [frozenset(self.sim.get_entangled_group(q)) for q in range(self.n)]

    @invariant()
    def access_flag_is_free(self):
        # An exclusive call meets no RuntimeError; Z twice is the identity.
        if self.n == 0:
            assert_error(call(self.sim.z, [0], {}), PanicException, index_message(0, 0))
        else:
            self.sim.z(0)
            self.sim.z(0)

    @invariant()
    def groups_are_symmetric(self):
        groups = self.groups()
        for p in range(self.n):
            assert p in groups[p]
            for q in groups[p]:
                assert p in groups[q], f"{q} in group({p}) but not {p} in group({q})"


HostileCalls.TestCase.settings = settings(
    max_examples=300,
    stateful_step_count=40,
    deadline=None,
    derandomize=True,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much],
)
test_hostile_calls = HostileCalls.TestCase


def test_recursion_through_shared_calls_unwinds_the_flag():
    # Each level holds shared access while its argument's __index__ makes the
    # next call; RecursionError ends the chain and every level lets go.
    sim = Kelvorin(3)

    class Recurse:
        def __init__(self, method):
            self.method = method

        def __index__(self):
            self.method(self)
            return 0

    with pytest.raises(RecursionError):
        sim.get_entangled_group(Recurse(sim.get_entangled_group))

    class RecursePeek:
        def __index__(self):
            sim.peek_measure_set({RecursePeek()})
            return 0

    with pytest.raises(RecursionError):
        sim.peek_measure_set({RecursePeek()})
    sim.h(0)  # exclusive access is free again
    sim.cx(0, 1)
    assert sim.get_entangled_group(1) == {0, 1}


def test_a_set_changing_size_during_conversion():
    sim = Kelvorin(3)
    qubits = {1}
    qubits.add(Index(callback=lambda: qubits.add(object())))  # grows the set while it is read
    with pytest.raises(RuntimeError) as e:
        sim.peek_measure_set(qubits)
    assert str(e.value) == "Set changed size during iteration"
    assert sim.peek_measure_set({0, 1, 2}).keys() == {0, 1, 2}
