"""fennel against NetworkX on the same graphs, in one run.

* betweenness centrality, unweighted over all sources and weighted over 200
  sampled sources, on a random graph of 2,000 nodes and 10,000 edges: fennel
  at 1 and at 2 worker threads, conversion included;
* single-source BFS and Dijkstra lengths on a 1,000,000-edge graph: the first
  call (conversion included) and cached calls.

Every fennel answer is checked to equal NetworkX's before its time is shown.
fennel runs in subprocesses so that each can set its own pool size.

    python bench/betweenness.py [--quick]
"""

import json
import os
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
from conversion import random_graph  # the 1,000,000-edge graph of bench/conversion.py

QUICK = False  # set from the command line
K_WEIGHTED = 200


def bc_graph():
    n, m = (500, 2500) if QUICK else (2000, 10000)
    G = nx.gnm_random_graph(n, m, seed=42)
    rng = random.Random(7)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.randint(1, 20)
    return G


def lengths_graph():
    return random_graph(directed=False, n=20_000, m=100_000) if QUICK else random_graph(directed=False)


def timed(fn, repeats=1):
    best = float("inf")
    result = None
    for _ in range(repeats):
        t = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t)
    return best, result


def fennel_run(threads):
    """Times the fennel calls in a subprocess with the pool at `threads`."""
    env = {**os.environ, "RAYON_NUM_THREADS": str(threads)}
    out = subprocess.run([sys.executable, __file__, "--child"] + (["--quick"] if QUICK else []),
                         env=env, capture_output=True, text=True, check=True)
    return json.loads(out.stdout.strip().splitlines()[-1])


def clear_cache(G):
    getattr(G, "__networkx_cache__", {}).clear()


def child():
    G = bc_graph()
    times = {}
    results = {}

    def unweighted():
        clear_cache(G)
        return nx.betweenness_centrality(G, backend="fennel")

    def weighted():
        clear_cache(G)
        return nx.betweenness_centrality(G, k=K_WEIGHTED, weight="weight", seed=1, backend="fennel")

    times["bc_unweighted"], results["bc_unweighted"] = timed(unweighted, 3)
    times["bc_weighted"], results["bc_weighted"] = timed(weighted, 3)
    if threads() == 1:
        H = lengths_graph()
        clear_cache(H)
        times["bfs_first"], results["bfs"] = timed(
            lambda: nx.single_source_shortest_path_length(H, 0, backend="fennel"))
        times["bfs_cached"], _ = timed(lambda: nx.single_source_shortest_path_length(H, 0, backend="fennel"), 5)
        clear_cache(H)
        times["dij_first"], results["dij"] = timed(
            lambda: nx.single_source_dijkstra_path_length(H, 0, backend="fennel"))
        times["dij_cached"], _ = timed(lambda: nx.single_source_dijkstra_path_length(H, 0, backend="fennel"), 5)
    digest = {k: repr(list(v.items())) for k, v in results.items()}
    print(json.dumps({"times": times, "digest": digest}))


def threads():
    return int(os.environ.get("RAYON_NUM_THREADS", "0"))


def main():
    G = bc_graph()
    nx_times = {}
    digest = {}
    nx_times["bc_unweighted"], r = timed(lambda: nx.betweenness_centrality(G))
    digest["bc_unweighted"] = repr(list(r.items()))
    nx_times["bc_weighted"], r = timed(
        lambda: nx.betweenness_centrality(G, k=K_WEIGHTED, weight="weight", seed=1))
    digest["bc_weighted"] = repr(list(r.items()))
    H = lengths_graph()
    nx_times["bfs"], r = timed(lambda: nx.single_source_shortest_path_length(H, 0), 3)
    digest["bfs"] = repr(list(r.items()))
    nx_times["dij"], r = timed(lambda: nx.single_source_dijkstra_path_length(H, 0), 3)
    digest["dij"] = repr(list(r.items()))

    one = fennel_run(1)
    two = fennel_run(2)
    for run in (one, two):
        for key, value in run["digest"].items():
            if key in digest and digest[key] != value:
                sys.exit(f"fennel's {key} differs from NetworkX's")

    rows = [
        ("betweenness, unweighted, all sources", nx_times["bc_unweighted"],
         one["times"]["bc_unweighted"], two["times"]["bc_unweighted"], "40x / 70x"),
        (f"betweenness, weighted, k={K_WEIGHTED}", nx_times["bc_weighted"],
         one["times"]["bc_weighted"], two["times"]["bc_weighted"], "40x"),
        ("BFS lengths, first call", nx_times["bfs"], one["times"]["bfs_first"], None, ""),
        ("BFS lengths, cached", nx_times["bfs"], one["times"]["bfs_cached"], None, "10x"),
        ("Dijkstra lengths, first call", nx_times["dij"], one["times"]["dij_first"], None, ""),
        ("Dijkstra lengths, cached", nx_times["dij"], one["times"]["dij_cached"], None, "10x"),
    ]
    if QUICK:
        print("(--quick: betweenness on 500 nodes, lengths on 100,000 edges)")
    print(f"{'case':<40}{'NetworkX':>10}{'1 thread':>10}{'ratio':>8}{'2 threads':>11}{'ratio':>8}  target")
    for name, base, t1, t2, target in rows:
        two_cols = f"{t2:>10.3f}s{base / t2:>7.1f}x" if t2 is not None else f"{'':>11}{'':>8}"
        print(f"{name:<40}{base:>9.3f}s{t1:>9.3f}s{base / t1:>7.1f}x{two_cols}  {target}")


if __name__ == "__main__":
    args = cli.parser(__doc__, "betweenness on 500 nodes and 2,500 edges, lengths on 100,000 edges").parse_args()
    QUICK = args.quick
    child() if args.child is not None else main()
