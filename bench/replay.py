"""The error-correction circuits in C++: bench/replay.cc (kelvorin::Simulator,
a fresh simulator per shot) against Stim's `TableauSimulator().do_circuit`
(one Python call per shot, a fresh simulator per shot), and optionally the
same replay built against a baseline commit's engine, alternating block by
block in one run.

    python3.14 bench/replay.py [--baseline REF] [--tasks T...] [--distances D...]
                               [--shots N] [--rounds R] [--instructions] [--json FILE]

(tools/bench-replay runs it inside the provisioned root.)  Builds
bench/replay.cc through bench/replay-build against the working tree and,
with --baseline, against a detached worktree of REF under build/compare/
(the one tools/bench-compare uses).  Each case: the circuit is written once
as an operation list (bench/qec.py --write-ops), an analysis run of the
working tree's replay counts the reductions and their memory floor, then R
rounds each time one block of every simulator (each replay block its own
process, `--rounds 1`), the order rotating from round to round; the best
block of each is kept, in the timing thread's CPU time (which leaves out
the time other processes on a shared machine hold the core; the wall time
is kept too).  Prints markdown tables (bench/report.py): per shot
times, kelvorin / Stim and new / baseline.  With --instructions, each
build's instructions per shot under callgrind too, which the machine's load
does not change.
"""

import argparse
import json
import os
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(HERE))

import qec  # noqa: E402
import report  # noqa: E402

TASKS = [
    "repetition_code:memory",
    "surface_code:rotated_memory_x",
    "surface_code:rotated_memory_z",
    "surface_code:unrotated_memory_x",
    "color_code:memory_xyz",
]
DISTANCES = [3, 5, 9, 15, 21]
BLOCK_SECONDS = 0.2


def log(text):
    print(f"[replay] {text}", file=sys.stderr, flush=True)


def build_dir():
    return Path(os.environ.get("KELVORIN_BUILD_DIR", REPO / "build"))


def git(*args, cwd=REPO):
    return subprocess.run(["git", "-C", str(cwd), *args], capture_output=True, text=True, check=True).stdout.strip()


def baseline_tree(ref):
    """A detached worktree of REF under BUILD/compare/ (made once, then reused)."""
    commit = git("rev-parse", "--verify", f"{ref}^{{commit}}")
    tree = build_dir() / "compare" / commit[:12]
    if not tree.is_dir():
        tree.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["git", "-C", str(REPO), "worktree", "add", "--detach", str(tree), commit], check=True,
                       stdout=sys.stderr)
    return tree, commit


def build_replay(tree, name):
    """bench/replay.cc linked against TREE's engine, built by bench/replay-build
    into BUILD/replay/NAME; returns the binary."""
    out = build_dir() / "replay" / name
    log(f"building the replay against {tree} into {out}")
    subprocess.run(["cmake", "-S", str(HERE / "replay-build"), "-B", str(out), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", f"-DKELVORIN_TREE={tree}"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(out), "-j", str(os.cpu_count() or 1)], check=True, stdout=sys.stderr)
    return out / "kelvorin_replay"


def ops_file(task, distance):
    """The case's operation list, written once under BUILD/replay/ops/."""
    path = build_dir() / "replay" / "ops" / f"{task.replace(':', '-')}-d{distance}.ops"
    if not path.exists():
        path.parent.mkdir(parents=True, exist_ok=True)
        c = qec.circuit(task, distance)
        qec.write_ops(qec.operations(c), c.num_qubits, path)
    return path


def replay(binary, path, *args):
    out = subprocess.run([str(binary), str(path), "--json", *map(str, args)], capture_output=True, text=True,
                         check=True, timeout=900)
    return json.loads(out.stdout.splitlines()[-1])


def stim_block(c, shots):
    """Seconds per shot of `shots` fresh TableauSimulators each running c:
    (wall time, this thread's CPU time)."""
    import stim

    c0, t0 = time.thread_time(), time.perf_counter()
    for _ in range(shots):
        stim.TableauSimulator().do_circuit(c)
    return (time.perf_counter() - t0) / shots, (time.thread_time() - c0) / shots


def replay_block(binary, path, shots):
    r = replay(binary, path, "--rounds", 1, "--shots", shots, "--no-analysis")
    return r["seconds_per_shot"], r["cpu_seconds_per_shot"]


def instructions(binary, path, shots=2):
    """Instructions per shot under callgrind (load-independent): the count of
    1 + `shots` shots less that of 1, so reading the file drops out.  The
    shots are the seeded sequence's, the same for every build."""

    def count(n):
        out = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", str(binary),
                              str(path), "--shots", str(n), "--rounds", "1", "--warmup", "0", "--no-analysis"],
                             capture_output=True, text=True, check=True, timeout=3600)
        for line in out.stderr.splitlines():
            if "Collected :" in line:
                return int(line.split(":")[-1])
        raise RuntimeError(f"no instruction count from callgrind: {out.stderr[-500:]}")

    return (count(1 + shots) - count(1)) / shots


def run_case(task, distance, binaries, rounds, shots=0, count_instructions=False):
    """One case: the analysis's figures, with "seconds" (the best CPU time per
    shot of each simulator) and "wall_seconds" (the best wall time).
    `binaries` maps "kelvorin" (and "baseline") to a replay binary."""
    c = qec.circuit(task, distance)
    path = ops_file(task, distance)
    analysis = replay(binaries["kelvorin"], path, "--rounds", 1)
    k_shots = shots or max(1, round(BLOCK_SECONDS / analysis["seconds_per_shot"]))
    s_shots = shots or max(1, round(BLOCK_SECONDS / max(1e-7, stim_block(c, 1)[0])))
    blocks = {name: (lambda b=b: replay_block(b, path, k_shots)) for name, b in binaries.items()}
    blocks["stim"] = lambda: stim_block(c, s_shots)
    names = list(blocks)
    wall = dict.fromkeys(names, float("inf"))
    cpu = dict.fromkeys(names, float("inf"))
    for r in range(rounds):
        for name in names[r % len(names):] + names[:r % len(names)]:
            w, t = blocks[name]()
            wall[name], cpu[name] = min(wall[name], w), min(cpu[name], t)
    skip = ("shots", "rounds", "parity", "seed", "seconds_per_shot", "seconds_per_shot_median", "cpu_seconds_per_shot")
    result = {key: value for key, value in analysis.items() if key not in skip}
    result["shots"] = {"kelvorin": k_shots, "stim": s_shots}
    result["seconds"] = cpu
    result["wall_seconds"] = wall
    result["load"] = os.getloadavg()[0]
    if count_instructions:
        result["instructions"] = {name: instructions(b, path) for name, b in binaries.items()}
    return result


def run(tasks, distances, binaries, rounds, shots=0, commits=None, count_instructions=False):
    """Every case, with the machine's load; the `replay` section of the suite's results."""
    results = {"commits": commits or {}, "rounds": rounds, "load_before": os.getloadavg()[0], "cases": {}}
    for task in tasks:
        for d in distances:
            r = run_case(task, d, binaries, rounds, shots, count_instructions)
            results["cases"].setdefault(task, {})[str(d)] = r
            s = r["seconds"]
            extra = f", baseline {s['baseline'] * 1e3:.3f} ms" if "baseline" in s else ""
            log(f"{task} d={d}: kelvorin {s['kelvorin'] * 1e3:.3f} ms{extra}, stim do_circuit "
                f"{s['stim'] * 1e3:.3f} ms per shot (load {r['load']:.2f})")
            if "instructions" in r:
                log(f"{task} d={d}: instructions per shot {r['instructions']}")
    results["load_after"] = os.getloadavg()[0]
    results["cpus"] = os.cpu_count()
    return results


def prepare(baseline=None):
    """Builds the replays: ({"kelvorin": binary[, "baseline": binary]}, {name: commit})."""
    try:
        work = git("describe", "--always", "--dirty")
    except (OSError, subprocess.CalledProcessError):
        work = os.environ.get("KELVORIN_BENCH_COMMIT", "working tree")
    binaries = {"kelvorin": build_replay(REPO, "work")}
    commits = {"kelvorin": work}
    if baseline:
        tree, commit = baseline_tree(baseline)
        binaries["baseline"] = build_replay(tree, commit[:12])
        commits["baseline"] = commit[:12]
    return binaries, commits


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--baseline", metavar="REF", help="also time the replay against REF's engine")
    parser.add_argument("--tasks", nargs="+", default=TASKS, choices=qec.TASKS)
    parser.add_argument("--distances", nargs="+", type=int, default=DISTANCES)
    parser.add_argument("--shots", type=int, default=0, help=f"shots per block (default: about {BLOCK_SECONDS} s)")
    parser.add_argument("--rounds", type=int, default=5, help="alternating blocks per simulator")
    parser.add_argument("--instructions", action="store_true",
                        help="also count instructions per shot of each build under callgrind (slow)")
    parser.add_argument("--json", type=Path, help="also write the results here")
    args = parser.parse_args()
    binaries, commits = prepare(args.baseline)
    results = run(args.tasks, args.distances, binaries, args.rounds, args.shots, commits, args.instructions)
    if args.json:
        args.json.write_text(json.dumps(results, indent=1) + "\n")
    print("\n".join(report.replay_tables(results)))


if __name__ == "__main__":
    main()
