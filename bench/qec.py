"""Error-correction workloads: Stim's generated memory experiments (all noise
0), run one shot at a time through each simulator's Python calls, one call
per gate or measurement target; a reset is a measurement and a conditional
flip.  Stim's own C++ loop (`TableauSimulator.do_circuit`) is timed as a
reference.

    python3.14 bench/qec.py TASK DISTANCE [--shots S]

prints one JSON line: seconds per shot for "kelvorin", "stim" and
"stim_do_circuit", and the Python calls per shot of each loop.

    python3.14 bench/qec.py TASK DISTANCE --write-ops FILE

writes the same operations, decomposed into the engine's calls, for the C++
replay (bench/replay.cc reads the format) and prints nothing.
"""

import argparse
import json
import time

TASKS = [
    "repetition_code:memory",
    "surface_code:rotated_memory_x",
    "surface_code:rotated_memory_z",
    "surface_code:unrotated_memory_x",
    "surface_code:unrotated_memory_z",
    "color_code:memory_xyz",
]
DISTANCES = [3, 5, 7, 9, 11, 13, 15]

# Stim instruction -> abstract operation per target.
KINDS = {
    "H": "h", "C_XYZ": "cxyz", "M": "mz", "MX": "mx", "MY": "my",
    "R": "rz", "RX": "rx", "MR": "mrz", "CX": "cx",
}
IGNORED = {"QUBIT_COORDS", "DETECTOR", "OBSERVABLE_INCLUDE", "TICK", "SHIFT_COORDS"}


def circuit(task, distance):
    import stim

    return stim.Circuit.generated(task, distance=distance, rounds=distance)


def operations(c):
    """(kind, qubit...) per target of the flattened circuit."""
    ops = []
    for inst in c.flattened():
        if inst.name in IGNORED:
            continue
        kind = KINDS[inst.name]
        qubits = [t.value for t in inst.targets_copy()]
        if kind == "cx":
            ops.extend(("cx", a, b) for a, b in zip(qubits[::2], qubits[1::2]))
        else:
            ops.extend((kind, q) for q in qubits)
    return ops


# The replay's name for each operation, as the calls kelvorin_shot makes:
# C_XYZ is sdag then h, a reset a measurement and a conditional flip.
REPLAY = {
    "cx": ["cx"], "h": ["h"], "cxyz": ["sdag", "h"], "rz": ["rz"], "mrz": ["rz"],
    "rx": ["rx"], "mz": ["mz"], "mx": ["mx"], "my": ["my"],
}


def write_ops(ops, n, path):
    """The operations in the replay's text format: `kelvorin-ops 1 QUBITS
    COUNT`, then one call a line."""
    lines = []
    for op in ops:
        args = " ".join(str(q) for q in op[1:])
        lines.extend(f"{name} {args}" for name in REPLAY[op[0]])
    with open(path, "w") as f:
        f.write(f"kelvorin-ops 1 {n} {len(lines)}\n")
        f.write("\n".join(lines) + "\n")


def kelvorin_shot(n):
    """A function running one shot of bound operations on a fresh simulator,
    and the binder."""
    from kelvorin import Kelvorin

    def bind(ops):
        def shot():
            sim = Kelvorin(n)
            h, sdag, cx, x, z = sim.h, sim.sdag, sim.cx, sim.x, sim.z
            mz, mx, my = sim.measure_z, sim.measure_x, sim.measure_y
            for op in ops:
                kind = op[0]
                if kind == "cx":
                    cx(op[1], op[2])
                elif kind == "h":
                    h(op[1])
                elif kind == "cxyz":
                    sdag(op[1])
                    h(op[1])
                elif kind == "rz" or kind == "mrz":
                    if mz(op[1]) == 1:
                        x(op[1])
                elif kind == "rx":
                    if mx(op[1]) == 1:
                        z(op[1])
                elif kind == "mz":
                    mz(op[1])
                elif kind == "mx":
                    mx(op[1])
                else:
                    my(op[1])

        return shot

    return bind


def stim_shot(n):
    import stim

    mx_inst, my_inst = {}, {}

    def bind(ops):
        for op in ops:
            if op[0] == "mx":
                mx_inst.setdefault(op[1], stim.CircuitInstruction("MX", [op[1]]))
            if op[0] == "my":
                my_inst.setdefault(op[1], stim.CircuitInstruction("MY", [op[1]]))
            if op[0] == "rx":
                mx_inst.setdefault(op[1], stim.CircuitInstruction("MX", [op[1]]))

        def shot():
            sim = stim.TableauSimulator()
            sim.set_num_qubits(n)
            h, c_xyz, cx, x, z, mz, do = sim.h, sim.c_xyz, sim.cx, sim.x, sim.z, sim.measure, sim.do
            record = sim.current_measurement_record
            for op in ops:
                kind = op[0]
                if kind == "cx":
                    cx(op[1], op[2])
                elif kind == "h":
                    h(op[1])
                elif kind == "cxyz":
                    c_xyz(op[1])
                elif kind == "rz" or kind == "mrz":
                    if mz(op[1]):
                        x(op[1])
                elif kind == "rx":
                    do(mx_inst[op[1]])
                    if record()[-1]:
                        z(op[1])
                elif kind == "mz":
                    mz(op[1])
                elif kind == "mx":
                    do(mx_inst[op[1]])
                else:
                    do(my_inst[op[1]])

        return shot

    return bind


def calls(ops, simulator):
    per = {"cxyz": 2 if simulator == "kelvorin" else 1, "rx": 2, "rz": 2, "mrz": 2}
    return sum(per.get(op[0], 1) for op in ops)


def best_per_shot(shot, shots, rounds=5):
    best = float("inf")
    for _ in range(rounds):
        t0 = time.perf_counter()
        for _ in range(shots):
            shot()
        best = min(best, (time.perf_counter() - t0) / shots)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("task", choices=TASKS)
    parser.add_argument("distance", type=int)
    parser.add_argument("--shots", type=int, default=0, help="shots per timed block (default: about 0.2 s)")
    parser.add_argument("--only", choices=["kelvorin", "stim"], help="time one simulator (for profiling)")
    parser.add_argument("--write-ops", metavar="FILE", help="write the operations for the C++ replay and stop")
    args = parser.parse_args()
    import stim

    c = circuit(args.task, args.distance)
    n = c.num_qubits
    ops = operations(c)
    if args.write_ops:
        write_ops(ops, n, args.write_ops)
        return
    shots = {"kelvorin": kelvorin_shot(n)(ops), "stim": stim_shot(n)(ops)}
    if args.only:
        shots = {args.only: shots[args.only]}
    result = {"task": args.task, "distance": args.distance, "qubits": n}
    # Blocks alternate between the simulators, so a slow moment hits both.
    count = args.shots or max(1, int(0.2 / max(1e-6, best_per_shot(shots.get("kelvorin", shots.get("stim")), 1, 1))))
    if not args.only:

        def do_circuit():
            s = stim.TableauSimulator()
            s.do_circuit(c)

        shots["stim_do_circuit"] = do_circuit
    best = dict.fromkeys(shots, float("inf"))
    for _ in range(5):
        for name, shot in shots.items():
            best[name] = min(best[name], best_per_shot(shot, count, rounds=1))
    for name in shots:
        result[name] = best[name]
        if name != "stim_do_circuit":
            result[name + "_calls"] = calls(ops, name)
    print(json.dumps(result), flush=True)


if __name__ == "__main__":
    main()
