"""Shots of a noisy repetition-code memory spread over every core.

Each shot stores one logical qubit in the distance-7 bit-flip repetition code,
entangled with a reference qubit: (|0>|0000000> + |1>|1111111>)/sqrt(2).
Seven rounds follow; in each, every data qubit flips (X) with probability P,
then six ancillas measure the parities Z(d_i) Z(d_i+1) and are reset.  At the
end the data qubits are read out and decoded by majority vote, which fails
when more than three data qubits carry a net flip.

The shots come in batches, one batch per task.  A task makes one simulator and
runs all its shots on it (the resets leave every qubit in |0> again), so a
simulator never leaves the worker that made it.  The noise is drawn from a
random.Random seeded by the batch number, the quantum outcomes from kelvorin's
own per-thread source.  The batches run twice through concurrent.futures:
with one worker, then with one worker per core, on threads when the
interpreter runs without the GIL (python3.14t) and on processes otherwise.

The checks: in every shot the detectors fire exactly where the injected flips
put them, and the data bits with the flips undone all equal the reference
qubit's bit; the reference bit is a fair coin (5 sigma); the logical failure
rate matches the binomial formula (5 sigma); and both runs, which drew the
same noise, count the same failures and detection events.
"""

import math
import os
import random
import sys
import time
from concurrent.futures import Executor, ProcessPoolExecutor, ThreadPoolExecutor

from kelvorin import Kelvorin, MeasurementResult

MINUS = MeasurementResult.MinusOne
D = 7                          # data qubits 0 .. D-1
ANCILLAS = range(D, 2 * D - 1)  # ancilla D + i measures Z(d_i) Z(d_i+1)
REFERENCE = 2 * D - 1
ROUNDS = 7
P = 0.04                       # flip probability per data qubit and round
BATCHES = 8                    # a multiple of 1, 2 and 4 workers
SHOTS_PER_BATCH = 1500


def shot(sim, flips):
    """One shot on a simulator whose qubits are all |0>; leaves them so again.
    flips[r] lists the data qubits flipped before round r.  Returns the
    detectors (one list per round), the data bits and the reference bit."""
    sim.h(REFERENCE)
    for q in range(D):
        sim.cx(REFERENCE, q)
    previous = [False] * (D - 1)
    detectors = []
    for round_flips in flips:
        for q in round_flips:
            sim.x(q)
        parity = []
        for i, ancilla in enumerate(ANCILLAS):
            sim.cx(i, ancilla)
            sim.cx(i + 1, ancilla)
            m = sim.measure_z(ancilla) == MINUS
            if m:
                sim.x(ancilla)         # reset to |0>
            parity.append(m)
        detectors.append([p != before for p, before in zip(parity, previous)])
        previous = parity
    bits = []
    for q in [*range(D), REFERENCE]:
        m = sim.measure_z(q) == MINUS
        if m:
            sim.x(q)                   # reset for the next shot
        bits.append(m)
    return detectors, bits[:D], bits[D]


def run_batch(seed, shots):
    """A task: `shots` shots on one simulator.  Returns the batch's tallies."""
    rng = random.Random(seed)
    sim = Kelvorin(2 * D)
    tally = dict.fromkeys(["shots", "violations", "failures", "detection_events", "reference_ones"], 0)
    for _ in range(shots):
        flips = [[q for q in range(D) if rng.random() < P] for _ in range(ROUNDS)]
        detectors, data, reference = shot(sim, flips)
        net = [sum(q in f for f in flips) % 2 == 1 for q in range(D)]
        expected = [[(i in f) != (i + 1 in f) for i in range(D - 1)] for f in flips]
        if detectors != expected or any(bit != flip ^ reference for bit, flip in zip(data, net)):
            tally["violations"] += 1
        tally["shots"] += 1
        tally["failures"] += (sum(data) > D // 2) != reference
        tally["detection_events"] += sum(map(sum, detectors))
        tally["reference_ones"] += reference
    tally["violations"] += any(sim.get_entangled_group(q) != {q} for q in range(2 * D))
    return tally


def executor(workers) -> Executor:
    """Threads where Python code runs in parallel, processes where the GIL
    would serialise them."""
    return ThreadPoolExecutor(workers) if not sys._is_gil_enabled() else ProcessPoolExecutor(workers)


def run_all(workers):
    """Every batch over `workers` workers: (summed tallies, seconds)."""
    with executor(workers) as pool:
        list(pool.map(time.sleep, [0.1] * workers))  # start every worker before timing
        t0 = time.perf_counter()
        tallies = list(pool.map(run_batch, range(BATCHES), [SHOTS_PER_BATCH] * BATCHES))
        seconds = time.perf_counter() - t0
    return {key: sum(t[key] for t in tallies) for key in tallies[0]}, seconds


def failure_probability():
    """A data qubit ends flipped with probability q; majority vote fails when
    more than D // 2 of them are."""
    q = (1 - (1 - 2 * P) ** ROUNDS) / 2
    return sum(math.comb(D, k) * q**k * (1 - q) ** (D - k) for k in range(D // 2 + 1, D + 1))


def check(tally):
    """Prints a batch total and returns whether it passes the statistical checks."""
    shots = tally["shots"]
    expected = failure_probability() * shots
    sigma = math.sqrt(expected * (1 - expected / shots))
    print(f"  {shots} shots: {tally['violations']} violations, {tally['detection_events']} detection events, "
          f"{tally['failures']} logical failures (expected {expected:.0f} ± {sigma:.0f}), "
          f"reference bit 1 in {tally['reference_ones']}")
    return (tally["violations"] == 0 and abs(tally["failures"] - expected) <= 5 * sigma
            and abs(tally["reference_ones"] - shots / 2) <= 5 * math.sqrt(shots / 4))


def main():
    workers = min(4, os.process_cpu_count() or 1)
    kind = "threads (the GIL is disabled)" if not sys._is_gil_enabled() else "processes (the GIL is enabled)"
    print(f"{BATCHES} batches of {SHOTS_PER_BATCH} shots: distance-{D} repetition code, {ROUNDS} rounds, "
          f"p = {P}, on {kind}")
    one, t_one = run_all(1)
    print(f"1 worker:  {t_one:.2f} s, {one['shots'] / t_one:,.0f} shots/s")
    many, t_many = run_all(workers)
    print(f"{workers} workers: {t_many:.2f} s, {many['shots'] / t_many:,.0f} shots/s, "
          f"speedup {t_one / t_many:.2f}x over one worker")
    ok = check(one) & check(many)
    # The noise is seeded per batch, so both runs saw the same flips.
    ok &= (one["failures"], one["detection_events"]) == (many["failures"], many["detection_events"])
    if not ok:
        print("parallel shots: FAILED")
        sys.exit(1)
    print("parallel shots: ok")


if __name__ == "__main__":
    main()
