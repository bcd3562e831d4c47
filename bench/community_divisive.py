"""Girvan–Newman and edge betweenness partitions: fennel against NetworkX.

Both remove the edge of highest edge betweenness one at a time and
recompute; fennel runs NetworkX's loop with its edge betweenness in C++.

* `girvan_newman`: the first ten splits (each split takes one or more
  removals) on a preferential-attachment graph of 1,000 nodes (200 with
  --quick) and on a random graph of 1,000 nodes and 5,000 edges;
* `edge_betweenness_partition` into 10 sets on the same graphs.

NetworkX takes seconds per removal at these sizes (one Python betweenness
each), so the graphs stay at a thousand nodes; on the 20,000-node
preferential-attachment graph fennel alone is timed (NetworkX would take
hours). fennel runs at 1 and 2 worker threads; its answers are checked to
equal NetworkX's before a time is shown.

    python bench/community_divisive.py [--quick]
"""

import itertools
import sys
import time
import warnings

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

warnings.filterwarnings("ignore", message="Note: conversions to backend graphs")


def graphs(quick):
    n = 200 if quick else 1000
    yield f"preferential attachment n={n}", nx.barabasi_albert_graph(n, 2, seed=1), True
    yield f"random n={n} m={5 * n}", nx.gnm_random_graph(n, 5 * n, seed=2), True
    if not quick:
        yield "preferential attachment n=20,000", nx.barabasi_albert_graph(20_000, 2, seed=3), False


def splits(G, backend):
    levels = itertools.islice(nx.community.girvan_newman(G, backend=backend), 10)
    return [[list(c) for c in partition] for partition in levels]


def partition(G, backend):
    return [list(c) for c in nx.community.edge_betweenness_partition(G, 10, backend=backend)]


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def main():
    args = cli.parser(__doc__, "graphs of 200 nodes, no 20,000-node graph").parse_args()
    # The backend hands its n_jobs setting to the pool at its first call, so
    # the worker count is set there rather than on the pool directly.
    config = nx.config.backends.fennel

    rows = []
    for label, G, with_networkx in graphs(args.quick):
        for name, fn in (("girvan_newman, 10 splits", splits), ("edge_betweenness_partition, 10 sets", partition)):
            expected = None
            t_nx = None
            if with_networkx:
                t_nx, expected = timed(lambda: fn(G, "networkx"))
            times = []
            for threads in (1, 2):
                config.n_jobs = threads
                G.__networkx_cache__.clear()
                t, got = timed(lambda: fn(G, "fennel"))
                if expected is not None and got != expected:
                    raise SystemExit(f"fennel's {name} differs from NetworkX's on {label}")
                times.append(t)
            rows.append((label, name, t_nx, *times))
    config.n_jobs = None
    print(f"{'graph':36} {'call':38} {'networkx':>10} {'fennel 1t':>10} {'fennel 2t':>10} {'ratio 1t':>9} {'ratio 2t':>9}")
    for label, name, t_nx, t1, t2 in rows:
        nx_text = "-" if t_nx is None else f"{t_nx:10.2f}"
        r1 = "-" if t_nx is None else f"{t_nx / t1:8.1f}x"
        r2 = "-" if t_nx is None else f"{t_nx / t2:8.1f}x"
        print(f"{label:36} {name:38} {nx_text:>10} {t1:10.3f} {t2:10.3f} {r1:>9} {r2:>9}")


if __name__ == "__main__":
    main()
