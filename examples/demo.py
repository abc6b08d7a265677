"""A tour of kelvorin: gates, errors and signatures."""

import inspect
import time

import kelvorin
from kelvorin import Kelvorin


def main():
    print(f"kelvorin: {kelvorin.__doc__}")
    print(f"classes: {kelvorin.__all__}")
    print(f"Kelvorin{inspect.signature(Kelvorin)}")
    for name in [n for n in Kelvorin.__dict__ if not n.startswith("__")]:
        method = getattr(Kelvorin, name)
        print(f"  .{name}{inspect.signature(method)}  -- {method.__doc__.splitlines()[0]}")

    n = 100_000
    t0 = time.perf_counter()
    sim = Kelvorin(n)
    t1 = time.perf_counter()
    for q in range(n):
        sim.h(q)
        sim.s(q)
    t2 = time.perf_counter()
    print(f"\n{n} qubits built in {1e3 * (t1 - t0):.1f} ms; {2 * n} single-qubit gates "
          f"in {1e3 * (t2 - t1):.1f} ms ({1e9 * (t2 - t1) / (2 * n):.0f} ns per gate)")

    print("\nErrors:")
    attempts = [
        ("sim.x()", lambda: sim.x()),
        ("sim.x(0, 1)", lambda: sim.x(0, 1)),
        ("sim.x(1.5)", lambda: sim.x(1.5)),
        ("sim.x(-1)", lambda: sim.x(-1)),
        (f"sim.x({n})", lambda: sim.x(n)),
        ("Kelvorin(10**6)", lambda: Kelvorin(10**6)),
    ]
    for text, call in attempts:
        try:
            call()
        except BaseException as e:  # PanicException derives from BaseException
            print(f"  {text:18} -> {type(e).__module__}.{type(e).__name__}: {e}")


if __name__ == "__main__":
    main()
