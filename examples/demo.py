"""A tour of kelvorin: the API, a GHZ state, a 2D cluster state, and errors."""

import inspect
import time

import kelvorin
from kelvorin import Kelvorin


class Stage:
    """Times a block and prints how long it took."""

    def __init__(self, text):
        self.text = text

    def __enter__(self):
        self.t0 = time.perf_counter()
        return self

    def __exit__(self, *exc):
        print(f"  [{1e3 * (time.perf_counter() - self.t0):8.2f} ms] {self.text}")


def signs(results):
    return "".join("+" if int(r) == 0 else "-" for r in results)


def api():
    print(f"kelvorin: {kelvorin.__doc__}")
    print(f"classes: {kelvorin.__all__}")
    print(f"Kelvorin{inspect.signature(Kelvorin)}")
    for name in [n for n in Kelvorin.__dict__ if not n.startswith("__")]:
        method = getattr(Kelvorin, name)
        print(f"  .{name}{inspect.signature(method)}  {method.__doc__.splitlines()[0]}")


def ghz(n=12):
    print(f"\nGHZ state on {n} qubits")
    with Stage("h(0), then cx(q, q + 1) along the chain"):
        sim = Kelvorin(n)
        sim.h(0)
        for q in range(n - 1):
            sim.cx(q, q + 1)
    print(f"  entangled group of qubit 0: {sorted(sim.get_entangled_group(0))}")
    with Stage("peek_measure_set of all qubits, 3 samples"):
        samples = [sim.peek_measure_set(set(range(n))) for _ in range(3)]
    for peek in samples:
        print("    " + " ".join(str(peek[q]) for q in range(n)))
    with Stage("measure every qubit in Z"):
        z = [sim.measure_z(q) for q in range(n)]
    print(f"  Z outcomes: {signs(z)}  (all equal)")


def cluster(side=60):
    n = side * side
    print(f"\n2D cluster state, {side} x {side} = {n} qubits")
    with Stage("h on every qubit, cz on every grid edge"):
        sim = Kelvorin(n)
        for q in range(n):
            sim.h(q)
        for r in range(side):
            for c in range(side):
                q = r * side + c
                if c + 1 < side:
                    sim.cz(q, q + 1)
                if r + 1 < side:
                    sim.cz(q, q + side)
    print(f"  entangled group of qubit 0 has {len(sim.get_entangled_group(0))} qubits")
    with Stage("peek_measure_set of a 2 x 2 corner"):
        peek = sim.peek_measure_set({0, 1, side, side + 1})
    print("    " + ", ".join(f"{q}: {peek[q]}" for q in sorted(peek)))
    with Stage("measure the middle row in Z (cuts the cluster in two)"):
        row = side // 2
        cut = [sim.measure_z(row * side + c) for c in range(side)]
    print(f"  outcomes: {signs(cut)}")
    print(f"  group of qubit 0 now has {len(sim.get_entangled_group(0))} qubits; "
          f"qubit {row * side} is alone: {sim.get_entangled_group(row * side)}")
    with Stage("measure every other qubit in X"):
        rest = [sim.measure_x(q) for q in range(n) if q // side != row]
    print(f"  {rest.count(kelvorin.MeasurementResult.PlusOne)} of {len(rest)} gave +1")


def errors():
    print("\nErrors")
    sim = Kelvorin(3)
    attempts = [
        ("sim.x()", lambda: sim.x()),
        ("sim.cx(0, 1, 2)", lambda: sim.cx(0, 1, 2)),
        ("sim.h(1.5)", lambda: sim.h(1.5)),
        ("sim.h(-1)", lambda: sim.h(-1)),
        ("sim.h(3)", lambda: sim.h(3)),
        ("sim.cz(1, 1)", lambda: sim.cz(1, 1)),
        ("sim.peek_measure_set([0])", lambda: sim.peek_measure_set([0])),
        ("Kelvorin(10**6)", lambda: Kelvorin(10**6)),
    ]
    for text, call in attempts:
        try:
            call()
        except BaseException as e:  # PanicException derives from BaseException
            first, *more = str(e).splitlines() or [""]
            print(f"  {text:27} {type(e).__module__}.{type(e).__name__}: {first}{' ...' if more else ''}")


if __name__ == "__main__":
    api()
    ghz()
    cluster()
    errors()
