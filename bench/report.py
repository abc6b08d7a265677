"""docs/benchmarks.md and docs/benchmarks.png from the suite's results.

    python3.14 bench/report.py [docs/benchmarks.json]

rewrites both from a saved results file.
"""

import json
import sys
from pathlib import Path

TITLES = {
    "cluster": "2D cluster state, then every qubit measured in X or Y",
    "ghz": "GHZ state by a chain cx(q, q+1), then every qubit measured in Z",
    "ghz_fanout": "GHZ state by cx(0, q) from one qubit, then every qubit measured in Z",
    "random_sparse": "Random brickwork Clifford circuit on a ring, depth 20, 25 % measured per layer",
    "random_dense": "Random brickwork Clifford circuit on a ring, depth 20, 5 % measured per layer",
    "peek": "peek_measure_set of 10 random qubits of a 2D cluster state (per call; Stim: copy, then 10 measurements)",
}


SHORT = {
    "cluster": "2D cluster, measure X/Y",
    "ghz": "GHZ by cx chain, measure Z",
    "ghz_fanout": "GHZ by cx(0, q) fan-out, measure Z",
    "random_sparse": "random ring circuit, 25 % measured",
    "random_dense": "random ring circuit, 5 % measured",
    "peek": "peek_measure_set of 10 qubits, 2D cluster",
}


def seconds(t):
    if t >= 1:
        return f"{t:.2f} s"
    if t >= 1e-3:
        return f"{t * 1e3:.2f} ms"
    if t >= 1e-6:
        return f"{t * 1e6:.1f} µs"
    return f"{t * 1e9:.1f} ns"


def size(n):
    n = int(n)
    exponent = len(str(n)) - 1
    return f"10^{exponent}" if n == 10**exponent else str(n)


def value(result):
    """Seconds for a finished case, else None."""
    if not result or "timeout" in result or "skipped" in result or "error" in result:
        return None
    return result.get("per_call", result.get("total"))


def shown(result, limit, per_call=False):
    if result is None:
        return "—"
    if result.get("timeout"):
        return f"no result in {limit:.0f} s (stopped)" if per_call else f"> {limit:.0f} s (stopped)"
    if result.get("skipped"):
        return f"not run (> {limit:.0f} s at {size(result['after'])})"
    if "error" in result:
        return f"failed: {result['error']}"
    return seconds(value(result))


def number(x):
    if x >= 100:
        return f"{x:.0f}"
    if x >= 0.01:
        return f"{x:.3g}"
    return f"{x:.2g}"


def ratio(k, s, limit, per_call=False):
    """kelvorin time / stim time, with bounds where one side was stopped (not
    for per-call figures, which a stopped run does not bound)."""
    kv, sv = value(k), value(s)
    if kv is not None and sv is not None:
        return number(kv / sv)
    if per_call:
        return "—"
    if kv is not None and s and s.get("timeout"):
        return f"< {number(kv / limit)}"
    if sv is not None and k and k.get("timeout"):
        return f"> {number(limit / sv)}"
    return "—"


def memory(result):
    if not result or "peak_rss_bytes" not in result:
        return "—"
    return f"{result['peak_rss_bytes'] / 2**20:.0f} MiB"


def machine_lines(m):
    mem = f", {m['memory_bytes'] / 2**30:.0f} GiB memory" if m.get("memory_bytes") else ""
    lines = [
        f"Machine: **{m['cpu']}, {m['cores']} cores**{mem}; {m['os']}; Python {m['python']}; "
        f"stim {m['stim']}; kelvorin {m['commit']}; {m['date']}.",
    ]
    if m.get("load_before") is not None:
        end = f", {m['load_after']:.2f} at the end" if m.get("load_after") is not None else ""
        lines += ["", f"Load average (1 min) when the run started: {m['load_before']:.2f}{end}; other work on the",
                  "machine shares its cores, so small differences between runs are noise."]
    return lines


def markdown(results):
    limit = results["limit_seconds"]
    m = results["machine"]
    py = results["python"]
    out = ["# Benchmarks", "",
           "kelvorin against `stim.TableauSimulator`, measured in the same run on the same machine by",
           "`tools/bench` (which writes this file, `benchmarks.png` and `benchmarks.json`).", ""]
    out += machine_lines(m)
    out += ["",
            "Both simulators run the same pre-generated circuit through the same Python loop",
            "(`for f, args in ops: f(*args)` over bound methods), one process per case. Times include",
            "constructing the simulator. The ratio is kelvorin's time over Stim's: below 1 kelvorin is",
            f"faster. A case still running {limit:.0f} s after its start is stopped, and that simulator",
            "is not run on larger sizes of the workload; a ratio with `<` or `>` is a bound from such a",
            "stopped case. Memory is the peak resident size of the case's process.", ""]

    overhead = py.get("overhead", {}).get("per_call_ns")
    if overhead:
        base = overhead["{}.get(0) (baseline)"]
        out += ["## Call overhead", "",
                "ns per call of a bound method in a `timeit` loop on a 2-qubit simulator (best of 7",
                "interleaved rounds), against a bound `{}.get` with one int argument.", "",
                "| Call | ns per call | × baseline |", "|---|---:|---:|"]
        for name, ns in overhead.items():
            out.append(f"| `{name}` | {ns:.1f} | {ns / base:.2f} |")
        pairs = [("h", "kelvorin h(0)", "stim h(0)"), ("cx", "kelvorin cx(0, 1)", "stim cx(0, 1)"),
                 ("determined Z measurement", "kelvorin measure_z(0), determined", "stim measure(0), determined")]
        out += ["", "| Call | kelvorin / stim |", "|---|---:|"]
        for label, k, s in pairs:
            out.append(f"| {label} | {overhead[k] / overhead[s]:.3f} |")
        out.append("")

    out += ["## Workloads", "",
            "| Workload | n | kelvorin | stim | kelvorin / stim | kelvorin memory | stim memory |",
            "|---|---:|---:|---:|---:|---:|---:|"]
    for workload, title in TITLES.items():
        rows = py.get(workload)
        if not rows:
            continue
        for n, pair in sorted(rows.items(), key=lambda kv: int(kv[0])):
            k, s = pair.get("kelvorin"), pair.get("stim")
            pc = workload == "peek"
            out.append(f"| {title} | {size(n)} | {shown(k, limit, pc)} | {shown(s, limit, pc)} "
                       f"| {ratio(k, s, limit, pc)} | {memory(k)} | {memory(s)} |")
    out.append("")

    out += qec_table(results.get("qec"))
    out += replay_tables(results.get("replay"))
    out += threads_tables(results.get("threads"))

    engine = results.get("engine")
    if engine:
        out += engine_tables(engine)
    return "\n".join(out) + "\n"


def qec_table(qec):
    if not qec:
        return []
    out = ["## Error-correction circuits", "",
           "Stim's generated memory experiments (`stim.Circuit.generated(task, distance=d, rounds=d)`, no",
           "noise), one shot at a time through each simulator's Python calls: one call per gate or",
           "measurement target, a reset as a measurement and a conditional flip, Stim's C_XYZ as one call",
           "and kelvorin's as two (`sdag`, `h`). Best of 5 blocks, alternating between the simulators.",
           "`do_circuit` is Stim's own C++ loop over the same circuit, for reference. Per call: the shot",
           "divided by the Python calls it makes.", "",
           "| Task | d | qubits | kelvorin per shot | Stim loop per shot | Stim loop / kelvorin "
           "| kelvorin per call | Stim per call | Stim `do_circuit` per shot |",
           "|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for task, rows in qec.items():
        for d, r in sorted(rows.items(), key=lambda kv: int(kv[0])):
            if "error" in r:
                out.append(f"| `{task}` | {d} | | {r['error']} | | | | | |")
                continue
            k, s = r["kelvorin"], r["stim"]
            out.append(f"| `{task}` | {d} | {r['qubits']} | {seconds(k)} | {seconds(s)} | {s / k:.2f} "
                       f"| {seconds(k / r['kelvorin_calls'])} | {seconds(s / r['stim_calls'])} "
                       f"| {seconds(r['stim_do_circuit'])} |")
    out.append("")
    return out


def replay_tables(replay):
    """The C++ replay of the error-correction circuits (bench/replay.py)."""
    if not replay or not replay.get("cases"):
        return []
    cases = replay["cases"]
    commits = replay.get("commits", {})
    baseline = commits.get("baseline")
    distances = sorted({int(d) for rows in cases.values() for d in rows})
    load = (f"Load average (1 min) {replay['load_before']:.2f} at the start, {replay['load_after']:.2f} at the end, "
            f"on {replay.get('cpus', '?')} CPUs.")
    out = ["## Error-correction circuits in C++", "",
           "The same generated memory experiments (no noise), decomposed into the engine's calls as above,",
           "replayed shot by shot through `kelvorin::Simulator` in C++ (`bench/replay.cc`, a fresh simulator",
           "per shot), against Stim's own C++ loop, `stim.TableauSimulator().do_circuit(circuit)`, one Python",
           "call per shot. Best of " + str(replay.get("rounds", "?")) + " blocks per simulator, alternating in one run,"
           " in CPU time of the timing thread (wall time in benchmarks.json)"
           + (f"; the baseline is the same replay built against the engine of {baseline}." if baseline else "."),
           f"kelvorin {commits.get('kelvorin', '?')}. " + load, "",
           "kelvorin time ÷ Stim `do_circuit` time per shot (below 1: kelvorin faster):", "",
           "| task | " + " | ".join(f"d={d}" for d in distances) + " |",
           "|---|" + "---:|" * len(distances)]

    def matrix(f):
        rows = []
        for task, by_d in cases.items():
            cells = [f(by_d[str(d)]) if str(d) in by_d else "—" for d in distances]
            rows.append(f"| {task} | " + " | ".join(cells) + " |")
        return rows

    out += matrix(lambda r: number(r["seconds"]["kelvorin"] / r["seconds"]["stim"]))
    if baseline:
        out += ["", f"kelvorin time ÷ the same replay against {baseline}'s engine (below 1: faster than the baseline):",
                "", "| task | " + " | ".join(f"d={d}" for d in distances) + " |",
                "|---|" + "---:|" * len(distances)]
        out += matrix(lambda r: number(r["seconds"]["kelvorin"] / r["seconds"]["baseline"]))
    if any("instructions" in r for by_d in cases.values() for r in by_d.values()):
        def instructions(r):
            i = r.get("instructions")
            if not i:
                return "—"
            shown = f"{i['kelvorin'] / 1e6:.3g} M"
            return shown + (f" ({i['kelvorin'] / i['baseline']:.3f})" if "baseline" in i else "")

        out += ["", "Instructions per shot under callgrind (the same shots in every build)"
                + (", and in brackets ÷ the baseline's:" if baseline else ":"), "",
                "| task | " + " | ".join(f"d={d}" for d in distances) + " |",
                "|---|" + "---:|" * len(distances)]
        out += matrix(instructions)
    out += ["",
            "Every block replays the same sequence of shots (the outcomes drawn from a source with a fixed",
            "key), so the engines do the same work. Per shot, from an untimed pass of the replay over the",
            "first shots of that sequence: the `cx` gates, those whose controlled-Z reduces a",
            "vertex operator first (exact), and an estimate of the memory the reductions touch: for each, the",
            "member rows of the reduced vertex v and of its swapping partner, deg(v) + deg(partner) rows of the",
            "store's row size, read off the store just before the gate. The floor is the cache lines those rows",
            "span at their addresses (`lines per row`: a row that starts past a line boundary spans one more)",
            "times the measured cost of XORing one row line into a random row of a buffer of the store's size",
            "and layout (`line`), against the measured time per shot.", "",
            "| Task | d | qubits | kelvorin per shot | " + ("baseline per shot | " if baseline else "")
            + "Stim `do_circuit` per shot | cx | reducing cx | rows per reduction | bytes per reduction "
            "| lines per row | line | floor per shot | floor ÷ time |",
            "|---|---:|---:|---:|" + ("---:|" if baseline else "") + "---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for task, by_d in cases.items():
        for d, r in sorted(by_d.items(), key=lambda kv: int(kv[0])):
            s = r["seconds"]
            per = r["member_rows"] / r["reductions"] if r["reductions"] else 0
            base = f"{seconds(s['baseline'])} | " if baseline else ""
            out.append(f"| `{task}` | {d} | {r['qubits']} | {seconds(s['kelvorin'])} | {base}{seconds(s['stim'])} "
                       f"| {r['two_qubit_gates']:.0f} | {r['reducing_gates']:.0f} | {per:.1f} "
                       f"| {per * r['row_bytes']:.0f} B "
                       f"| {r['reduction_lines'] / r['member_rows'] if r['member_rows'] else 0:.2f} "
                       f"| {r['line_rewrite_ns']:.2f} ns | {seconds(r['floor_seconds_per_shot'])} "
                       f"| {r['floor_seconds_per_shot'] / s['kelvorin']:.3f} |")
    out.append("")
    return out


def threads_tables(threads):
    """K threads on K simulators against one thread, and the per-call overhead
    of the free-threaded build beside the GIL build (bench/threads.py)."""
    if not threads:
        return []
    if "error" in threads:
        return ["## Threads", "", f"Not measured: {threads['error']}", ""]

    def described(name, i):
        kind = "free-threaded build" if i["free_threaded_build"] else "GIL build"
        gil = "enabled" if i["gil_enabled_after_import"] else "disabled"
        return f"- {name}: Python {i['version']}, `{i['executable']}`, {kind}, the GIL {gil} after importing kelvorin"

    w = threads["workloads"]
    sparse_n = size(w["random_sparse"]["qubits"])
    titles = {"qec": f"`{w['qec']['task']}`, d = {w['qec']['distance']}, one shot through Python calls",
              "random_sparse": f"random ring circuit, 25 % measured per layer, n = {sparse_n}"}
    interpreters = threads["interpreters"]
    out = ["## Threads", "",
           "K threads, each driving its own simulator, against one thread (`bench/threads.py`). Every thread",
           "runs the same number of units of work (a unit: a fresh simulator and one run of the workload)",
           "after a common start, with its own copy of the circuit. Throughput: the units of all threads per",
           "second of wall time, the best of the rounds for each K; speedup: that over one thread's. CPU per",
           "unit: the CPU time of all threads per unit, over one thread's (above 1: the threads slow each",
           "other down, whatever the machine's load). The interpreters run without `PYTHON_GIL` set:", "",
           described("3.14t", interpreters["free_threaded"]),
           described("3.14", interpreters["gil"]), "",
           f"kelvorin {threads['commit']}; {threads['date']}; {threads['cpus']} CPUs; load average (1 min) "
           f"{threads['load_before']:.2f} at the start, {threads['load_after']:.2f} at the end.", "",
           "| Workload | threads | 3.14t units/s | 3.14t speedup | 3.14t CPU per unit | 3.14 units/s | 3.14 speedup |",
           "|---|---:|---:|---:|---:|---:|---:|"]
    for workload, by_build in threads["throughput"].items():
        f, g = by_build["free_threaded"], by_build["gil"]
        ft, gt, fc = f["throughput"], g["throughput"], f["cpu_seconds_per_unit"]
        for k in map(str, threads["threads"]):
            out.append(f"| {titles.get(workload, workload)} | {k} | {ft[k]:,.1f} | {ft[k] / ft['1']:.2f} "
                       f"| {fc[k] / fc['1']:.2f} | {gt[k]:,.1f} | {gt[k] / gt['1']:.2f} |")
    single = [f"{b['gil']['throughput']['1'] / b['free_threaded']['throughput']['1']:.2f} ({workload})"
              for workload, b in threads["throughput"].items()]
    out += ["", "One thread's time per unit on 3.14t over that on 3.14: " + ", ".join(single) + ".", ""]
    oh = threads["overhead"]
    baseline = next(iter(oh["gil"]))  # bench/threads.py times it first
    f_base, g_base = oh["free_threaded"][baseline], oh["gil"][baseline]
    out += ["Per-call overhead: ns per call of a bound method in a `timeit` loop on a 2-qubit simulator (best",
            f"of 7 interleaved rounds in each of {threads.get('overhead_processes', 3)} processes per build, the "
            "processes alternating",
            "between the builds). The baseline, the builtin `abs` with one int argument, shows the interpreters'",
            "own difference (tools/python-ft builds 3.14t without PGO or LTO); the last column divides it out.", "",
            "| Call | 3.14 ns | 3.14t ns | 3.14t / 3.14 | the same, each over its baseline |",
            "|---|---:|---:|---:|---:|"]
    for call, ns in oh["gil"].items():
        fns = oh["free_threaded"][call]
        out.append(f"| `{call}` | {ns:.1f} | {fns:.1f} | {fns / ns:.2f} | {(fns / f_base) / (ns / g_base):.2f} |")
    out.append("")
    return out


def engine_tables(engine):
    ctx = engine.get("context", {})
    out = ["## Engine (C++, Google Benchmark)", "",
           f"`kelvorin_engine_bench` on {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz. Time per",
           "operation; the destructive ones (measurements, controlled-Z with a reduction) are timed alone",
           "with the touched rows restored between iterations. Every listed vertex has the given degree",
           "(its lowest neighbour too, for the X branch) in a graph whose other vertices have degree",
           "about 6.", ""]
    table = {}
    degrees = set()
    for b in engine.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
            continue
        parts = b["name"].split("/")
        family = parts[0]
        fields = dict(p.split(":") for p in parts[1:] if ":" in p)
        n, d = int(fields["n"]), int(fields["degree"])
        unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
        table.setdefault(family, {}).setdefault(n, {})[d] = b["real_time"] * unit
        degrees.add(d)
    degrees = sorted(degrees)
    descriptions = {
        "BM_ApplyCzLookupOnly": "apply_cz, both VOPs commute with Z (no reduction)",
        "BM_ApplyCzWithReduction": "apply_cz, VOP(a) = H: reduction by local complementations first",
        "BM_MeasureZBranch": "measure, Z branch (cut the edges)",
        "BM_MeasureYBranch": "measure, Y branch (complement the neighbourhood)",
        "BM_MeasureXBranch": "measure, X branch (pivot about the lowest neighbour)",
        "BM_LocalComplement": "local_complement",
    }
    out += ["| Operation | n | " + " | ".join(f"degree {d}" for d in degrees) + " |",
            "|---|---:|" + "---:|" * len(degrees)]
    for family, by_n in table.items():
        for n, by_d in sorted(by_n.items()):
            cells = [seconds(by_d[d]) if d in by_d else "—" for d in degrees]
            out.append(f"| {descriptions.get(family, family)} | {n} | " + " | ".join(cells) + " |")
    out.append("")
    return out


def plot(results, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    limit = results["limit_seconds"]
    py = results["python"]
    panels = [w for w in TITLES if w in py]
    qec = {t: rows for t, rows in results.get("qec", {}).items() if any("error" not in r for r in rows.values())}
    fig, axes = plt.subplots(3 if qec else 2, 4, figsize=(20, 13.5 if qec else 9))
    axes = axes.ravel()
    colours = {"kelvorin": "tab:blue", "stim": "tab:orange"}

    overhead = py.get("overhead", {}).get("per_call_ns")
    ax = axes[0]
    if overhead:
        names = list(overhead)
        ax.barh(range(len(names)), [overhead[n] for n in names],
                color=["grey" if "baseline" in n else colours["kelvorin" if n.startswith("kelvorin") else "stim"]
                       for n in names])
        ax.set_yticks(range(len(names)), [n.replace(", determined", "\n(determined)") for n in names], fontsize=8)
        ax.invert_yaxis()
        ax.set_xlabel("ns per call")
        ax.set_title("Call overhead", fontsize=10)

    for ax, workload in zip(axes[1:], panels):
        rows = py[workload]
        for sim in ("kelvorin", "stim"):
            xs, ys, stopped = [], [], []
            for n, pair in sorted(rows.items(), key=lambda kv: int(kv[0])):
                r = pair.get(sim)
                v = value(r)
                if v is not None:
                    xs.append(int(n))
                    ys.append(v)
                elif r and r.get("timeout"):
                    stopped.append(int(n))
            ax.plot(xs, ys, "o-", color=colours[sim], label=sim)
            if stopped and workload != "peek":
                ax.plot(stopped, [limit] * len(stopped), "x", color=colours[sim], markersize=12, mew=2,
                        label=f"{sim} stopped at {limit:.0f} s")
            elif stopped:  # a stopped run bounds no per-call time: mark it at the top edge
                ax.plot(stopped, [0.95] * len(stopped), "x", color=colours[sim], markersize=12, mew=2,
                        transform=ax.get_xaxis_transform(), label=f"{sim}: no result in {limit:.0f} s")
        if workload != "peek":
            ax.axhline(limit, color="grey", lw=0.8, ls=":")
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("qubits")
        ax.set_ylabel("seconds per call" if workload == "peek" else "seconds")
        ax.set_title(SHORT[workload], fontsize=10)
        ax.legend(fontsize=8)
        ax.grid(True, which="major", alpha=0.3)
    used = 1 + len(panels)
    if qec:
        shot_ax, ratio_ax = axes[used], axes[used + 1]
        used += 2
        for i, (task, rows) in enumerate(qec.items()):
            ok = sorted((int(d), r) for d, r in rows.items() if "error" not in r)
            ds = [d for d, _ in ok]
            colour = f"C{i}"
            shot_ax.plot(ds, [r["kelvorin"] for _, r in ok], "o-", color=colour, label=f"{task}")
            shot_ax.plot(ds, [r["stim"] for _, r in ok], "s--", color=colour, alpha=0.6)
            ratio_ax.plot(ds, [r["stim"] / r["kelvorin"] for _, r in ok], "o-", color=colour, label=task)
        shot_ax.set_yscale("log")
        shot_ax.set_xlabel("distance (rounds = distance)")
        shot_ax.set_ylabel("seconds per shot")
        shot_ax.set_title("Error-correction circuits: kelvorin (solid), Stim loop (dashed)", fontsize=10)
        shot_ax.legend(fontsize=7)
        ratio_ax.axhline(1, color="grey", lw=0.8, ls=":")
        ratio_ax.set_xlabel("distance (rounds = distance)")
        ratio_ax.set_ylabel("Stim loop / kelvorin (above 1: kelvorin faster)")
        ratio_ax.set_title("Error-correction circuits: speed against Stim's loop", fontsize=10)
        ratio_ax.legend(fontsize=7)
        for ax in (shot_ax, ratio_ax):
            ax.grid(True, which="major", alpha=0.3)
    for ax in axes[used:]:
        ax.axis("off")
    m = results["machine"]
    fig.suptitle(f"kelvorin vs stim.TableauSimulator — {m['cpu']}, {m['cores']} cores, "
                 f"Python {m['python']}, stim {m['stim']}, kelvorin {m['commit']}", fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)


def write(results, out_dir):
    out_dir = Path(out_dir)
    (out_dir / "benchmarks.md").write_text(markdown(results), encoding="utf-8")
    plot(results, out_dir / "benchmarks.png")


if __name__ == "__main__":
    default = Path(__file__).resolve().parent.parent / "docs" / "benchmarks.json"
    source = Path(sys.argv[1] if len(sys.argv) > 1 else default)
    write(json.loads(source.read_text()), source.parent)
