"""The benchmark suite: kelvorin and stim.TableauSimulator in the same run,
then the engine's own benchmarks, then docs/benchmarks.{md,png,json}.

    python3.14 bench/suite.py --engine-bench BUILD/kelvorin_engine_bench [--quick]
                              [--replay-baseline REF] [--replay-instructions]
                              [--ft-python PATH] [--ft-module DIR] [--gil-python PATH] [--gil-module DIR]

Every case runs in its own process (bench/case.py).  A case that has not
finished LIMIT seconds after it is ready is stopped and recorded as over the
limit, and that simulator is not timed on the larger sizes of that workload.
The error-correction circuits also run in C++ (bench/replay.py), against
Stim's do_circuit and, with --replay-baseline, against REF's engine.  The
threads section (bench/threads.py) times K threads on K simulators against one
thread on free-threaded CPython (tools/python-ft) and the GIL build, and the
per-call overhead of both builds.
"""

import argparse
import contextlib
import json
import os
import platform
import selectors
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(HERE))

import qec  # noqa: E402
import replay  # noqa: E402
import report  # noqa: E402
import threads  # noqa: E402

LIMIT = 60.0
SETUP_LIMIT = 600.0
SIMULATORS = ["kelvorin", "stim"]
SIZES = {
    "cluster": [10**3, 10**4, 10**5],
    "ghz": [10**2, 10**3, 10**4],
    "ghz_fanout": [10**2, 10**3, 10**4],
    "random_sparse": [10**3, 10**4, 10**5],
    "random_dense": [10**3, 10**4, 10**5],
    "peek": [10**3, 10**4, 10**5],
}
QUICK_SIZES = {name: sizes[:1] for name, sizes in SIZES.items()}


def log(text):
    print(f"[bench] {text}", file=sys.stderr, flush=True)


class LineReader:
    """Lines of a child's stdout, each awaited with a timeout."""

    def __init__(self, stream):
        self.fd = stream.fileno()
        self.selector = selectors.DefaultSelector()
        self.selector.register(stream, selectors.EVENT_READ)
        self.buffer = b""

    def next(self, timeout):
        """The next line, or None after `timeout` seconds or at end of file."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not self.selector.select(remaining):
                return None
            chunk = os.read(self.fd, 1 << 16)
            if not chunk:
                return None
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.decode()


def run_case(args, env):
    """Runs bench/case.py ARGS; returns its result dict, with the child's peak
    resident memory, or {"timeout": True} / {"error": text}."""
    cmd = [sys.executable, str(HERE / "case.py"), *map(str, args)]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, start_new_session=True)
    lines = LineReader(proc.stdout)
    result = None
    ready = lines.next(SETUP_LIMIT)
    if ready == "ready":
        started = time.monotonic()
        line = lines.next(LIMIT)
        if line is None and time.monotonic() - started >= LIMIT:
            result = {"timeout": True}
        elif line:
            result = json.loads(line)
    if result is None or result.get("timeout"):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, signal.SIGKILL)
    _, status, usage = os.wait4(proc.pid, 0)
    stderr = proc.stderr.read().decode(errors="replace")
    proc.stdout.close()
    proc.stderr.close()
    if result is None:
        result = {"error": (stderr.strip().splitlines() or [f"exit status {status}"])[-1]}
    result["peak_rss_bytes"] = usage.ru_maxrss * 1024
    return result


def machine():
    model = "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        model = platform.processor() or "unknown"
    memory = None
    try:
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal:"):
                memory = int(line.split()[1]) * 1024
    except OSError:
        pass
    import stim

    def git(*a):
        try:
            out = subprocess.run(["git", "-C", str(REPO), *a], capture_output=True, text=True, check=True)
            return out.stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            return ""

    return {
        "cpu": model,
        "cores": os.cpu_count(),
        "memory_bytes": memory,
        "os": f"{platform.system()} {platform.release()}",
        "python": platform.python_version(),
        "stim": stim.__version__,
        # A run from an exported tree (no .git) names its commit itself.
        "commit": os.environ.get("KELVORIN_BENCH_COMMIT") or git("describe", "--always", "--dirty"),
        "date": time.strftime("%Y-%m-%d %H:%M %Z"),
        "load_before": os.getloadavg()[0],
    }


def run_qec(task, distance, env):
    """bench/qec.py for one task and distance: its result dict, or {"error": text}."""
    cmd = [sys.executable, str(HERE / "qec.py"), task, str(distance)]
    try:
        out = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=SETUP_LIMIT)
    except subprocess.TimeoutExpired:
        return {"error": f"no result in {SETUP_LIMIT:.0f} s"}
    if out.returncode != 0:
        return {"error": out.stderr.strip().splitlines()[-1] if out.stderr.strip() else f"exit {out.returncode}"}
    return json.loads(out.stdout.splitlines()[-1])


def run_engine_bench(binary, out_json, quick):
    cmd = [str(binary), f"--benchmark_out={out_json}", "--benchmark_out_format=json",
           f"--benchmark_min_time={'0.01s' if quick else '0.2s'}"]
    log("engine: " + " ".join(cmd))
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return json.loads(Path(out_json).read_text())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--engine-bench", type=Path, help="the kelvorin_engine_bench binary")
    parser.add_argument("--quick", action="store_true", help="smallest sizes only (a smoke run)")
    parser.add_argument("--out", type=Path, default=REPO / "docs", help="where the report goes")
    parser.add_argument("--only", nargs="*", help="workloads to run, `qec` for the error-correction circuits, "
                        "`replay` for them in C++, `threads` for the threads section (default: all)")
    parser.add_argument("--replay-baseline", metavar="REF", help="time the C++ replay against REF's engine too")
    parser.add_argument("--replay-instructions", action="store_true",
                        help="count the C++ replay's instructions per shot under callgrind too (slow)")
    parser.add_argument("--update", action="store_true",
                        help="with --only: rerun those workloads and keep every other section of the report as "
                        "the last run wrote it (each section names the commit it measured)")
    parser.add_argument("--ft-python", help="threads: the free-threaded interpreter (default: tools/python-ft's)")
    parser.add_argument("--ft-module", type=Path, help="threads: the module built for it (default: built here)")
    parser.add_argument("--gil-python", help="threads: the GIL build to compare with (default: this interpreter)")
    parser.add_argument("--gil-module", type=Path, help="threads: the module built for it (default: BUILD/python)")
    options = parser.parse_args()
    if options.update and not options.only:
        parser.error("--update needs --only")

    env = dict(os.environ)
    if options.update:
        results = json.loads((options.out / "benchmarks.json").read_text())
    else:
        results = {"machine": machine(), "limit_seconds": LIMIT, "python": {}, "engine": None}
        log(f"machine: {results['machine']}")
        log("call overhead")
        results["python"]["overhead"] = run_case(["overhead"], env)

    sizes = QUICK_SIZES if options.quick else SIZES
    for workload, ns in sizes.items():
        if options.only and workload not in options.only:
            continue
        rows = results["python"][workload] = {}
        for sim in SIMULATORS:
            stopped_at = None
            for n in ns:
                key = str(n)
                if stopped_at is not None:
                    rows.setdefault(key, {})[sim] = {"skipped": True, "after": stopped_at}
                    log(f"{workload} n={n} {sim}: skipped (over {LIMIT:.0f} s at n={stopped_at})")
                    continue
                result = run_case([workload, sim, n], env)
                rows.setdefault(key, {})[sim] = result
                if result.get("timeout"):
                    stopped_at = n
                    log(f"{workload} n={n} {sim}: stopped after {LIMIT:.0f} s")
                elif "error" in result:
                    stopped_at = n
                    log(f"{workload} n={n} {sim}: failed: {result['error']}")
                else:
                    shown = result.get("per_call", result["total"])
                    log(f"{workload} n={n} {sim}: {shown:.6g} s")

    if not options.only or "qec" in options.only:
        results["qec"] = {}
        for task in qec.TASKS:
            for d in qec.DISTANCES[:1] if options.quick else qec.DISTANCES:
                result = run_qec(task, d, env)
                results["qec"].setdefault(task, {})[str(d)] = result
                if "error" in result:
                    log(f"qec {task} d={d}: failed: {result['error']}")
                else:
                    log(f"qec {task} d={d}: kelvorin {result['kelvorin'] * 1e3:.3f} ms, "
                        f"stim {result['stim'] * 1e3:.3f} ms per shot")

    if not options.only or "replay" in options.only:
        binaries, commits = replay.prepare(options.replay_baseline)
        distances = replay.DISTANCES[:1] if options.quick else replay.DISTANCES
        results["replay"] = replay.run(replay.TASKS, distances, binaries, 3 if options.quick else 9, commits=commits,
                                       count_instructions=options.replay_instructions)

    if not options.only or "threads" in options.only:
        try:
            ft_python, ft_module = threads.prepare_ft(options.ft_python, options.ft_module)
            gil_module = options.gil_module or threads.build_dir() / "python"
            results["threads"] = threads.run(ft_python, ft_module, gil_module, quick=options.quick,
                                             gil_python=options.gil_python)
        except (OSError, subprocess.CalledProcessError, RuntimeError) as e:
            if options.update:  # keep the section the last run wrote
                raise
            results["threads"] = {"error": str(e)}
            log(f"threads: failed: {e}")

    if options.engine_bench and not options.update:
        out_json = options.out / "engine-bench.raw.json"
        options.out.mkdir(parents=True, exist_ok=True)
        results["engine"] = run_engine_bench(options.engine_bench, out_json, options.quick)
        out_json.unlink()

    if not options.update:
        results["machine"]["load_after"] = os.getloadavg()[0]
    options.out.mkdir(parents=True, exist_ok=True)
    (options.out / "benchmarks.json").write_text(json.dumps(results, indent=1) + "\n")
    report.write(results, options.out)
    log(f"wrote {options.out / 'benchmarks.md'} and {options.out / 'benchmarks.png'}")


if __name__ == "__main__":
    main()
