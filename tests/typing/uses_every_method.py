"""Every class, method and attribute of kelvorin, used as the stubs intend.
Type-checks clean under `mypy --strict` and basedpyright's strict mode; the
assert_type calls make both checkers confirm the result types."""

from typing import SupportsIndex, assert_type

from kelvorin import Axis, Kelvorin, MeasurementResult, Outcome


class Index:
    """Any object with __index__ is a qubit index."""

    def __index__(self) -> int:
        return 2


def run() -> None:
    sim = Kelvorin(4)
    sim = Kelvorin(qubit_amount=4)
    assert_type(sim, Kelvorin)
    for gate in (sim.x, sim.y, sim.z, sim.h, sim.s, sim.sdag):
        assert_type(gate(0), None)
    sim.h(qubit=True)
    sim.h(Index())
    for two in (sim.cz, sim.cx, sim.cy, sim.xcx, sim.xcy, sim.xcz, sim.ycx, sim.ycy, sim.ycz):
        assert_type(two(0, 1), None)
    sim.cx(control=2, target=3)
    sim.cx(target=3, control=2)
    group = sim.get_entangled_group(qubit=0)
    assert_type(group, set[int])

    qubits: set[int] = {0, 1}
    frozen: frozenset[bool] = frozenset({False, True})
    indices: set[SupportsIndex] = {Index(), 0}
    mixed: set[int] | frozenset[int] = frozenset({1})
    peek = sim.peek_measure_set(qubits)
    assert_type(peek, dict[int, Outcome])
    for sample in (peek, sim.peek_measure_set(frozen), sim.peek_measure_set(qubits=indices),
                   sim.peek_measure_set(mixed), sim.peek_measure_set({2, 3}), sim.peek_measure_set(set[int]())):
        for qubit, outcome in sample.items():
            assert_type(qubit, int)
            assert_type(outcome.result, MeasurementResult)
            assert_type(outcome.axis, Axis)
            print(qubit, str(outcome))

    for measure in (sim.measure_x, sim.measure_y, sim.measure_z):
        result = measure(0)
        assert_type(result, MeasurementResult)
        if result == MeasurementResult.MinusOne:   # compare with ==, never truthiness
            sim.x(0)
        assert_type(int(result), int)
        assert_type(result != MeasurementResult.PlusOne, bool)
        assert_type(result == 1, bool)
    axes = [Axis.X, Axis.Y, Axis.Z]
    assert_type(axes[0] == Axis.Z, bool)
    assert_type(int(axes[1]), int)
    assert_type(MeasurementResult.PlusOne, MeasurementResult)


if __name__ == "__main__":
    run()
