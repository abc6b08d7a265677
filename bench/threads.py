"""Threads: the throughput of K threads each driving its own simulator against
one thread, on free-threaded CPython (python3.14t) and, for reference, on the
GIL build; and the per-call overhead of both builds, side by side.

    python3.14 bench/threads.py [--ft-python PATH] [--ft-module DIR] [--gil-python PATH]
                                [--gil-module DIR] [--rounds R] [--quick] [--json FILE]

(tools/bench --only threads runs it as a section of the report.)  PATH
defaults to what tools/python-ft prints, DIR to a module built for it under
BUILD/threads-ft/ (tools/build with that interpreter); the GIL build is this
interpreter with BUILD/python unless --gil-python and --gil-module say
otherwise.
The workloads, each a unit of work on a fresh simulator:

  - qec: one shot of Stim's rotated surface code memory experiment, d = 9,
    through Python calls (bench/qec.py's loop; the circuit is generated here,
    under the GIL build, since Stim has no free-threaded wheel);
  - random_sparse: the random ring circuit of bench/workloads.py on 10^4
    qubits, 25 % measured per layer, its calls dispatched through a table of
    the fresh simulator's bound methods.

Each run of a workload is its own process under one interpreter, started
without PYTHON_GIL, so the GIL is what importing kelvorin leaves it at (the
report says which).  In it, for each round and each K in 1, 2, 4, K threads
wait at a barrier, then each runs the same number of units; the wall time
from the barrier to the last thread's end gives the throughput (units per
second of all threads together), the best of the rounds for each K, and the
CPU time of all threads per unit.  Every thread has its own copy of the
circuit, so the threads share no circuit data.

The overhead: ns per call of bound methods in a timeit loop on a 2-qubit
simulator, against the builtin abs with one int argument (which takes no
lock on either build, unlike a dict's methods on the free-threaded one), best
of 7 interleaved rounds per process, the processes alternating between the
two builds.
"""

import argparse
import json
import os
import platform
import subprocess
import sys
import sysconfig
import threading
import time
import timeit
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(HERE))

import qec  # noqa: E402
import workloads  # noqa: E402

THREADS = [1, 2, 4]
QEC_TASK, QEC_DISTANCE = "surface_code:rotated_memory_z", 9
SPARSE_N = 10**4
BLOCK_SECONDS = 0.4  # the length of a K = 1 block
OVERHEAD_CALLS = {
    "abs(0) (baseline)": ("f(0)", "abs"),
    "h(0)": ("f(0)", "sim.h"),
    "cx(0, 1)": ("f(0, 1)", "sim.cx"),
    "measure_z(0), determined": ("f(0)", "sim.measure_z"),
}


def log(text):
    print(f"[threads] {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- worker ---
# Runs under the interpreter being measured: no Stim, only kelvorin and the
# standard library.


def unit_maker(workload, text):
    """A function making one thread's unit of work from the workload's
    description, with objects of its own."""
    from kelvorin import Kelvorin

    if workload == "qec":
        spec = json.loads(text)

        def make():
            ops = [tuple(op) for op in json.loads(json.dumps(spec["ops"]))]
            return qec.kelvorin_shot(spec["qubits"])(ops)

        return make
    n = int(text)
    methods = {name: name for name in workloads.SINGLE + workloads.DOUBLE}
    methods.update(mx="measure_x", my="measure_y", mz="measure_z")
    names = list(methods.values())
    index = {op: names.index(method) for op, method in methods.items()}

    def make():
        ((_, ops),) = workloads.random_sparse(n, seed=1)
        plan = [(index[op[0]], op[1:]) for op in ops]

        def unit():
            sim = Kelvorin(n)
            fns = [getattr(sim, name) for name in names]
            for i, args in plan:
                fns[i](*args)

        return unit

    return make


def block(units, k, per_thread):
    """K threads, each running its unit `per_thread` times after a common
    start: (seconds from the start to the last thread's end, the CPU seconds
    of all threads)."""
    barrier = threading.Barrier(k + 1)
    errors = []

    cpu = []

    def body(unit):
        barrier.wait()
        c0 = time.thread_time()
        try:
            for _ in range(per_thread):
                unit()
        except BaseException as e:  # reported, not lost in the thread
            errors.append(e)
        cpu.append(time.thread_time() - c0)

    threads = [threading.Thread(target=body, args=(units[i],)) for i in range(k)]
    for t in threads:
        t.start()
    barrier.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    seconds = time.perf_counter() - t0
    if errors:
        raise errors[0]
    return seconds, sum(cpu)


def worker_throughput(workload, text, rounds, block_seconds):
    import kelvorin  # noqa: F401 - imported first, so the GIL state below is what it leaves

    make = unit_maker(workload, text)
    units = [make() for _ in range(max(THREADS))]
    units[0]()  # warm up
    t0 = time.perf_counter()
    units[0]()
    per_thread = max(1, round(block_seconds / (time.perf_counter() - t0)))
    best = dict.fromkeys(THREADS, (float("inf"), 0.0))
    for r in range(rounds):
        order = THREADS[r % len(THREADS):] + THREADS[:r % len(THREADS)]
        for k in order:
            best[k] = min(best[k], block(units, k, per_thread))
    return {
        "units_per_thread": per_thread,
        "seconds": {str(k): best[k][0] for k in THREADS},
        "throughput": {str(k): k * per_thread / best[k][0] for k in THREADS},
        "cpu_seconds_per_unit": {str(k): best[k][1] / (k * per_thread) for k in THREADS},
    }


def worker_overhead():
    from kelvorin import Kelvorin

    sim = Kelvorin(2)
    number = 200_000
    cases = {name: (stmt, eval(f, {"sim": sim})) for name, (stmt, f) in OVERHEAD_CALLS.items()}
    best = dict.fromkeys(cases, float("inf"))
    for _ in range(7):
        for name, (stmt, f) in cases.items():
            best[name] = min(best[name], timeit.Timer(stmt, globals={"f": f}).timeit(number) / number)
    return {name: t * 1e9 for name, t in best.items()}


def worker_main(argv):
    kind = argv[0]
    if kind == "overhead":
        result = {"per_call_ns": worker_overhead()}
    else:
        workload, path, rounds, block_seconds = argv[1], argv[2], int(argv[3]), float(argv[4])
        result = worker_throughput(workload, Path(path).read_text(), rounds, block_seconds)
    result["interpreter"] = {
        "version": platform.python_version(),
        "free_threaded_build": bool(sysconfig.get_config_var("Py_GIL_DISABLED")),
        "gil_enabled_after_import": sys._is_gil_enabled(),
        "executable": sys.executable,
    }
    print(json.dumps(result), flush=True)


# ---------------------------------------------------------------- driver ---


def build_dir():
    return Path(os.environ.get("KELVORIN_BUILD_DIR", REPO / "build"))


def git(*args):
    try:
        return subprocess.run(["git", "-C", str(REPO), *args], capture_output=True, text=True,
                              check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return os.environ.get("KELVORIN_BENCH_COMMIT", "working tree")


def prepare_ft(ft_python=None, ft_module=None):
    """The free-threaded interpreter (tools/python-ft unless given) and a
    directory with the module built for it (BUILD/threads-ft/python unless
    given; not BUILD-ft, which is tools/test-ft's)."""
    if ft_python is None:
        out = subprocess.run([str(REPO / "tools" / "python-ft")], stdout=subprocess.PIPE, text=True, check=True)
        ft_python = out.stdout.strip().splitlines()[-1]
    if ft_module is None:
        build = build_dir() / "threads-ft"
        log(f"building the module for {ft_python} into {build}")
        args = f"-DPython_EXECUTABLE={ft_python} -DKELVORIN_BUILD_TESTS=OFF -DKELVORIN_BUILD_BENCH=OFF"
        env = dict(os.environ, KELVORIN_BUILD_DIR=str(build), KELVORIN_CMAKE_ARGS=args, KELVORIN_BUILD_TYPE="Release")
        subprocess.run([str(REPO / "tools" / "build"), "kelvorin"], env=env, check=True, stdout=sys.stderr)
        ft_module = build / "python"
    return str(ft_python), Path(ft_module)


def worker(python, module, args):
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    env["PYTHONPATH"] = str(module)
    out = subprocess.run([python, str(HERE / "threads.py"), "--worker", *map(str, args)], env=env,
                         capture_output=True, text=True, timeout=1800)
    if out.returncode != 0:
        raise RuntimeError(f"{python} {' '.join(map(str, args))}: " + (out.stderr.strip().splitlines() or ["?"])[-1])
    return json.loads(out.stdout.splitlines()[-1])


def workload_inputs(directory):
    """{workload: file describing it}: the qec circuit as operations (made
    with Stim here), the sparse circuit's size."""
    directory.mkdir(parents=True, exist_ok=True)
    c = qec.circuit(QEC_TASK, QEC_DISTANCE)
    qec_file = directory / "qec.json"
    qec_file.write_text(json.dumps({"qubits": c.num_qubits, "ops": qec.operations(c)}))
    sparse_file = directory / "random_sparse.txt"
    sparse_file.write_text(str(SPARSE_N))
    return {"qec": qec_file, "random_sparse": sparse_file}


def run(ft_python, ft_module, gil_module, rounds=5, quick=False, gil_python=None):
    """The `threads` section of the suite's results.  The GIL build is this
    interpreter unless `gil_python` names another (with `gil_module` built
    for it): one built from the same source and flags as `ft_python` leaves
    only the GIL between the two."""
    builds = {"free_threaded": (ft_python, ft_module), "gil": (gil_python or sys.executable, gil_module)}
    results = {"commit": git("describe", "--always", "--dirty"), "date": time.strftime("%Y-%m-%d %H:%M %Z"),
               "cpus": os.cpu_count(), "load_before": os.getloadavg()[0], "threads": THREADS,
               "workloads": {"qec": {"task": QEC_TASK, "distance": QEC_DISTANCE},
                             "random_sparse": {"qubits": SPARSE_N}},
               "throughput": {}, "overhead": {}, "interpreters": {}}
    inputs = workload_inputs(build_dir() / "threads")
    block_seconds = 0.1 if quick else BLOCK_SECONDS
    for workload, path in inputs.items():
        for name, (python, module) in builds.items():
            r = worker(python, module, ["throughput", workload, path, 1 if quick else rounds, block_seconds])
            results["interpreters"][name] = r.pop("interpreter")
            results["throughput"].setdefault(workload, {})[name] = r
            speedups = ", ".join(f"{k}: {r['throughput'][k] / r['throughput']['1']:.2f}x" for k in r["throughput"])
            log(f"{workload} on {name}: {r['throughput']['1']:.1f} units/s on one thread; speedup {speedups}")
    per_call = {name: {} for name in builds}
    results["overhead_processes"] = 1 if quick else 3
    for _ in range(results["overhead_processes"]):
        for name, (python, module) in builds.items():
            for call, ns in worker(python, module, ["overhead"])["per_call_ns"].items():
                per_call[name][call] = min(per_call[name].get(call, float("inf")), ns)
    results["overhead"] = per_call
    for call in OVERHEAD_CALLS:
        log(f"{call}: GIL build {per_call['gil'][call]:.1f} ns, free-threaded {per_call['free_threaded'][call]:.1f} "
            f"ns ({per_call['free_threaded'][call] / per_call['gil'][call]:.2f}x)")
    results["load_after"] = os.getloadavg()[0]
    return results


def main():
    if sys.argv[1:2] == ["--worker"]:
        worker_main(sys.argv[2:])
        return
    import report

    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ft-python", help="the free-threaded interpreter (default: what tools/python-ft prints)")
    parser.add_argument("--ft-module", type=Path,
                        help="the module built for it (default: built under BUILD/threads-ft)")
    parser.add_argument("--gil-python", help="the GIL build to compare with (default: this interpreter)")
    parser.add_argument("--gil-module", type=Path, default=build_dir() / "python",
                        help="the module built for it (default: BUILD/python)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="one short round (a smoke run)")
    parser.add_argument("--json", type=Path, help="also write the results here")
    args = parser.parse_args()
    ft_python, ft_module = prepare_ft(args.ft_python, args.ft_module)
    results = run(ft_python, ft_module, args.gil_module, args.rounds, args.quick, args.gil_python)
    if args.json:
        args.json.write_text(json.dumps(results, indent=1) + "\n")
    print("\n".join(report.threads_tables(results)))


if __name__ == "__main__":
    main()
