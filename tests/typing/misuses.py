"""Wrong uses of kelvorin.  Each line marked `expect-error` must be reported
by both type checkers, one marked `expect-error[mypy]` by mypy only (with
--enable-error-code truthy-bool), and no other line by either."""

from kelvorin import Kelvorin, MeasurementResult


class Sub(Kelvorin): ...  # expect-error


def misuse() -> None:
    sim = Kelvorin()  # expect-error
    sim = Kelvorin(2.0)  # expect-error
    sim = Kelvorin(2)
    sim.x(1.5)  # expect-error
    sim.h(None)  # expect-error
    sim.h(qubit="0")  # expect-error
    sim.h(q=0)  # expect-error
    sim.cx(0)  # expect-error
    sim.cx(0, 1, 2)  # expect-error
    sim.measure_w(0)  # expect-error
    sim.peek_measure_set([0, 1])  # expect-error
    sim.peek_measure_set((0, 1))  # expect-error
    sim.peek_measure_set({0: 1}.keys())  # expect-error
    sim.peek_measure_set({"a"})  # expect-error
    floats: set[float] = {0.0}
    sim.peek_measure_set(floats)  # expect-error
    sim.get_entangled_group(0).append(1)  # expect-error
    bit: int = sim.measure_z(0)  # expect-error
    print(bit)
    outcome = sim.peek_measure_set({0})[0]
    outcome.result = MeasurementResult.PlusOne  # expect-error
    print(MeasurementResult.PlusOne < MeasurementResult.MinusOne)  # expect-error
    if sim.measure_z(1):  # expect-error[mypy]
        sim.x(1)
