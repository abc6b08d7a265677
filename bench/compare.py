"""Before and after: the kelvorin side of every workload with two builds of
the module, alternating case by case in one run, so that both see the same
machine.

    python3.14 bench/compare.py BASE_DIR NEW_DIR [--rounds R] [--largest N]

BASE_DIR and NEW_DIR each hold a built `kelvorin` module.  Every case runs in
its own process (bench/case.py) R times per build, in the order base, new,
base, new, ...; the best time of each build is kept.  Prints one table row a
case with the ratio new / base (below 1: the new build is faster).
"""

import argparse
import json
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import qec  # noqa: E402
from suite import SIZES  # noqa: E402


def run(case_args, module_dir):
    env = dict(os.environ, PYTHONPATH=str(module_dir))
    script = "qec.py" if case_args[0] == "qec" else "case.py"
    args = [*case_args[1:], "--only", "kelvorin"] if case_args[0] == "qec" else case_args
    out = subprocess.run(
        [sys.executable, str(HERE / script), *map(str, args)],
        env=env, capture_output=True, text=True, check=True, timeout=900,
    )
    return json.loads(out.stdout.splitlines()[-1])


def figures(case_args, result):
    """{label: seconds} for one result."""
    if case_args[0] == "overhead":
        return {k: v * 1e-9 for k, v in result["per_call_ns"].items() if k.startswith("kelvorin")}
    if case_args[0] == "peek":
        return {"peek per call": result["per_call"]}
    if case_args[0] == "qec":
        return {"per shot": result["kelvorin"]}
    return {"total": result["total"]}


def shown(seconds):
    for unit, scale in (("s", 1), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds * 1e9:.3g} ns"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("base", type=Path)
    parser.add_argument("new", type=Path)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--largest", type=int, default=10**4, help="skip sizes above this")
    parser.add_argument("--qec", nargs="*", default=qec.TASKS, help="error-correction tasks (bench/qec.py)")
    parser.add_argument("--distances", nargs="*", type=int, default=[15], help="their distances")
    parser.add_argument("--only", nargs="*", help="case kinds to run (overhead, a workload, qec)")
    args = parser.parse_args()
    cases = [["overhead"]] + [
        [name, "kelvorin", n] for name, sizes in SIZES.items() for n in sizes if n <= args.largest
    ]
    cases += [["qec", task, d] for task in args.qec for d in args.distances]
    if args.only:
        cases = [c for c in cases if c[0] in args.only]
    print("| case | base | new | new / base |")
    print("|---|---|---|---|")
    worst = 0.0
    for case in cases:
        best = {"base": {}, "new": {}}
        for _ in range(args.rounds):
            for build in ("base", "new"):
                for label, t in figures(case, run(case, getattr(args, build))).items():
                    best[build][label] = min(best[build].get(label, float("inf")), t)
        for label in best["base"]:
            b, n = best["base"][label], best["new"][label]
            worst = max(worst, n / b)
            name = " ".join(str(x) for x in case if x != "kelvorin")
            print(f"| {name} {label} | {shown(b)} | {shown(n)} | {n / b:.3f} |", flush=True)
    print(f"\nslowest ratio: {worst:.3f}")


if __name__ == "__main__":
    main()
