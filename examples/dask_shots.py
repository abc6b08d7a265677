"""The shots of parallel_shots.py on a Dask cluster, with no new simulation code.

Needs Dask: pip install "kelvorin[distributed]" (dask and distributed).

A LocalCluster of two worker processes stands in for a real cluster: with
Client("tcp://scheduler:8786") instead, the rest of the script runs unchanged
on as many machines as the scheduler has workers, provided each has kelvorin
installed.  The batch function lives in parallel_shots.py, which the client
uploads to every worker (Client.upload_file), so the workers need no copy of
this code beforehand.  Each batch makes one simulator on the worker that runs
it and returns only its tallies, a small dict, so nothing but seeds and counts
crosses the network; kelvorin objects never do (they cannot be pickled).

The checks are parallel_shots.py's, on the sum of the batches: no violation of
the exact per-shot checks, a fair reference bit and the binomial failure rate
(5 sigma each), and both workers took part.
"""

import sys
import time
from pathlib import Path

import parallel_shots  # next to this script
from distributed import Client, LocalCluster

BATCHES = 8
SHOTS_PER_BATCH = 1500


def main():
    t0 = time.perf_counter()
    # processes=True: each worker is its own process, as on a real cluster;
    # threads_per_worker=1, since a batch keeps its thread busy.
    with (
        LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster,
        Client(cluster) as client,
    ):
        client.wait_for_workers(2)
        client.upload_file(str(Path(parallel_shots.__file__).resolve()))
        started = time.perf_counter()
        futures = client.map(parallel_shots.run_batch, range(BATCHES), [SHOTS_PER_BATCH] * BATCHES, pure=False)
        tallies = client.gather(futures)
        seconds = time.perf_counter() - started
        workers_used = {w for ws in client.who_has(futures).values() for w in ws}
    tally = {key: sum(t[key] for t in tallies) for key in tallies[0]}
    print(f"cluster of 2 worker processes started in {started - t0:.1f} s")
    print(f"{BATCHES} batches of {SHOTS_PER_BATCH} shots on {len(workers_used)} workers: {seconds:.2f} s, "
          f"{tally['shots'] / seconds:,.0f} shots/s")
    ok = parallel_shots.check(tally) and len(workers_used) == 2
    if not ok:
        print("dask shots: FAILED")
        sys.exit(1)
    print("dask shots: ok")


if __name__ == "__main__":
    main()
