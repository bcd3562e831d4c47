"""Per-source families on a Dask cluster (``nx.config.backends.fennel.executor``).

Runs, on this machine:

* betweenness_centrality over all sources of a 20,000-node, 100,000-edge
  random graph (NetworkX's graph, converted once);
* closeness_centrality of all nodes of the same graph;
* betweenness_centrality with k=1000 sampled sources (seed 1) of a native
  graph of 1,000,000 nodes and 10,000,000 random edges
  (``nx.from_pandas_edgelist(..., backend="fennel")``).

each with fennel's own worker threads (``n_jobs`` 2, and 1 for closeness) and on a
``LocalCluster`` of 1 and 2 worker processes of one thread each (fennel's
pool on one thread per worker, ``FENNEL_NUM_THREADS=1``). Every answer is
checked equal to the local one. The table gives each time (the first
cluster call includes scattering the graph, shown apart), the blocks of
sources, the bytes of one task's arguments, the bytes the workers sent each
other in the call (measured by Dask's workers), those per node per block,
and the compact graph's bytes as shipped to each worker. Times are single
runs.

    python bench/cluster.py            # the sizes above (about 50 minutes on 2 cores)
    python bench/cluster.py --small    # 2,000-node graph; k=200 on 100,000 nodes / 1,000,000 edges
    python bench/cluster.py --quick    # seconds

It needs distributed (``pip install ".[distributed]"``), numpy and pandas.
"""

import os
import pickle
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import cli

SIZES = {
    "full": dict(n=20_000, m=100_000, big_n=1_000_000, big_m=10_000_000, k=1000),
    "small": dict(n=2_000, m=10_000, big_n=100_000, big_m=1_000_000, k=200),
    "quick": dict(n=500, m=2_500, big_n=5_000, big_m=25_000, k=50),
}


def fmt_time(s):
    return f"{s * 1000:.0f} ms" if s < 1 else f"{s:.2f} s"


def fmt_bytes(b):
    for unit in ("B", "KB", "MB", "GB"):
        if b < 1024 or unit == "GB":
            return f"{b:.0f} {unit}" if unit == "B" else f"{b:.1f} {unit}"
        b /= 1024


def main():
    p = cli.parser(__doc__, "a few hundred nodes, in seconds", optional=("distributed",))
    p.add_argument("--small", action="store_true", help="the 2,000-node and 1,000,000-edge sizes")
    args = p.parse_args()
    size = SIZES["quick" if args.quick else "small" if args.small else "full"]

    distributed = cli.peer("distributed", "nothing to measure")
    if distributed is None:
        return
    import networkx as nx
    import numpy as np
    import pandas as pd

    from fennel.backend import executor
    from fennel.backend.native import compact_form

    nx.config.warnings_to_ignore.add("cache")
    config = nx.config.backends.fennel
    G = nx.gnm_random_graph(size["n"], size["m"], seed=1)
    rng = np.random.default_rng(1)
    ends = rng.integers(0, size["big_n"], size=(size["big_m"], 2), dtype=np.int64)
    big = nx.from_pandas_edgelist(pd.DataFrame({"source": ends[:, 0], "target": ends[:, 1]}), backend="fennel")
    del ends
    k = size["k"]
    cases = [
        (f"betweenness, all sources [{size['n']:,}/{size['m']:,}]", G,
         lambda H: nx.betweenness_centrality(H, backend="fennel")),
        (f"closeness, all nodes [{size['n']:,}/{size['m']:,}]", G,
         lambda H: nx.closeness_centrality(H, backend="fennel")),
        (f"betweenness, k={k} [{big.number_of_nodes():,}/{big.number_of_edges():,} native]", big,
         lambda H: nx.betweenness_centrality(H, k=k, seed=1, backend="fennel")),
    ]

    # The blocks of each call (the executor's own choice, recorded as made).
    blocks_made = []
    real_blocks = executor._blocks

    def counting_blocks(*a, **kw):
        found = real_blocks(*a, **kw)
        blocks_made.append(found)
        return found

    executor._blocks = counting_blocks
    rows = []
    local = {}
    for name, H, call in cases:
        nx.betweenness_centrality(H, k=1, seed=1, backend="fennel")  # converted once, cached for every run below
    for threads in (2, 1):
        config.n_jobs = threads
        for name, H, call in cases:
            if threads == 1 and "closeness" not in name:
                continue  # as long as one worker: left out to keep the run within the hour
            t = time.perf_counter()
            got = call(H)
            rows.append((name, f"threads x{threads}", time.perf_counter() - t))
            assert local.setdefault(name, got) == got, name
            print(rows[-1], flush=True)
    config.n_jobs = None

    for workers in (1, 2):
        cluster = distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                           dashboard_address=":0", env={"FENNEL_NUM_THREADS": "1"})
        client = distributed.Client(cluster)
        config.executor, config.executor_min_work = client, 0
        try:
            for name, H, call in cases:
                fg = compact_form(H) or next(iter(H.__networkx_cache__["backends"]["fennel"].values()))
                graph_bytes = len(pickle.dumps(fg.core, protocol=5))
                t = time.perf_counter()
                executor._graph(executor._Cluster(client, workers, name), fg)
                ship = time.perf_counter() - t
                sent_before = sum(client.run(lambda dask_worker: dask_worker.transfer_outgoing_bytes_total).values())
                blocks_made.clear()
                t = time.perf_counter()
                got = call(H)
                took = time.perf_counter() - t
                assert got == local[name], name
                sent = sum(client.run(lambda dask_worker: dask_worker.transfer_outgoing_bytes_total).values()) \
                    - sent_before
                blocks = blocks_made[0] if blocks_made else []
                task_args = max((len(pickle.dumps(b, protocol=5)) for b in blocks), default=0)
                per_node_block = sent / (len(fg) * max(len(blocks), 1))
                rows.append((name, f"cluster {workers} worker{'s' if workers > 1 else ''}", took, ship, len(blocks),
                             task_args, sent, per_node_block, graph_bytes))
                print(rows[-1][:3], flush=True)
        finally:
            config.executor = None
            client.close()
            cluster.close()

    print()
    print("| case | runs on | time | graph shipped in | blocks | bytes per task | worker-to-worker bytes "
          "| per node per block | graph bytes per worker |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, where, took, ship, blocks, task_args, sent, per_node, graph in (r + (None,) * (9 - len(r))
                                                                            for r in rows):
        if ship is None:
            print(f"| {name} | {where} | {fmt_time(took)} | | | | | | |")
        else:
            print(f"| {name} | {where} | {fmt_time(took)} | {fmt_time(ship)} | {blocks} | {fmt_bytes(task_args)} "
                  f"| {fmt_bytes(sent)} | {per_node:.1f} B | {fmt_bytes(graph)} |")
    times = {(r[0], r[1]): r[2] for r in rows}
    print()
    for name, _, _ in cases:
        one, two = times[(name, "cluster 1 worker")], times[(name, "cluster 2 workers")]
        at_one = f"{one / times[(name, 'threads x1')]:.2f}" if (name, "threads x1") in times else "-"
        print(f"{name}: 2 workers against 1 worker {one / two:.2f}x; time on the cluster / time on threads: "
              f"{at_one} at 1 core, {two / times[(name, 'threads x2')]:.2f} at 2 cores")


if __name__ == "__main__":
    main()
