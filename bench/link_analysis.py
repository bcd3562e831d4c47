"""PageRank, eigenvector and Katz centrality: fennel against NetworkX, in one run.

On a 100,000-node, 500,000-edge digraph (int weights 1..100): NetworkX, then
fennel on its first call (conversion included, on a fresh copy of the graph)
and cached, with 2 worker threads and with 1 (a process of its own, the
pool's size being fixed when it starts). Every fennel answer is checked to
equal NetworkX's before its time is shown. Beside them, igraph's PageRank
(PRPACK, its default, and ARPACK) and NetworKit's on the same graph, one
thread, where installed: neither is NetworkX's answer.

    python bench/link_analysis.py            # 100,000 nodes
    python bench/link_analysis.py --large    # and PageRank on 1,000,000 nodes, 10,000,000 edges
    python bench/link_analysis.py --quick    # 10,000 nodes, 50,000 edges
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
from conversion import random_graph

CASES = [
    ("pagerank", lambda G, **kw: nx.pagerank(G, **kw)),
    ("pagerank (unweighted)", lambda G, **kw: nx.pagerank(G, weight=None, **kw)),
    ("eigenvector_centrality", lambda G, **kw: nx.eigenvector_centrality(G, max_iter=1000, **kw)),
    ("katz_centrality", lambda G, **kw: nx.katz_centrality(G, **kw)),
]


def best(fn, repeats):
    times = []
    result = None
    for _ in range(repeats):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return min(times), result


def outcome(call):
    try:
        return call()
    except nx.PowerIterationFailedConvergence as exc:
        return ("no convergence", str(exc))


def build(n, m):
    nx.config.warnings_to_ignore.add("cache")
    return random_graph(directed=True, n=n, m=m, seed=3)


def yardsticks(G, igraph, nk):
    rows = []
    edges = list(G.edges(data="weight"))
    if igraph is not None:
        g = igraph.Graph(n=len(G), edges=[(u, v) for u, v, _ in edges], directed=True)
        g.es["weight"] = [w for _, _, w in edges]
        for impl in ("prpack", "arpack"):
            t = best(lambda: g.pagerank(weights="weight", damping=0.85, implementation=impl), 3)[0]
            rows.append((f"igraph pagerank ({impl})", t))
    if nk is not None:
        nk.setNumberOfThreads(1)
        h = nk.Graph(len(G), weighted=True, directed=True)
        for u, v, w in edges:
            h.addEdge(u, v, w)
        rows.append(("NetworKit PageRank run", best(lambda: nk.centrality.PageRank(h, 0.85, 1e-6).run(), 3)[0]))
    return rows


def cached_child(n, m, count):
    """fennel's cached times in this process (its pool size set by the parent), one per case."""
    G = build(n, m)
    times = []
    for _, call in CASES[:count]:
        outcome(lambda: call(G, backend="fennel"))  # convert once
        times.append(best(lambda: outcome(lambda: call(G, backend="fennel")), 3)[0])
    print(" ".join(map(str, times)))


def one_thread(n, m, count):
    here = os.path.dirname(os.path.abspath(__file__))
    code = f"import sys; sys.path.insert(0, {here!r}); import link_analysis; link_analysis.cached_child({n}, {m}, {count})"
    env = dict(os.environ, RAYON_NUM_THREADS="1")
    out = subprocess.run([sys.executable, "-B", "-c", code], env=env, capture_output=True, text=True, check=True)
    return list(map(float, out.stdout.split()))


def table(n, m, peers, count=len(CASES)):
    G = build(n, m)
    print(f"{n:,} nodes, {m:,} edges (directed)")
    print(f"{'case':<26}{'NetworkX':>10}{'first':>10}{'cached':>10}{'1 thread':>10}{'vs first':>10}{'vs cached':>11}")
    single = one_thread(n, m, count)
    for (name, call), t1 in zip(CASES[:count], single):
        t_nx, expected = best(lambda: outcome(lambda: call(G, backend="networkx")), 1)
        fresh = G.copy()
        t_first, got = best(lambda: outcome(lambda: call(fresh, backend="fennel")), 1)
        if got != expected:
            raise SystemExit(f"fennel's {name} differs from NetworkX's (first call)")
        t_cached, got = best(lambda: outcome(lambda: call(G, backend="fennel")), 3)
        if got != expected or list(got) != list(expected):
            raise SystemExit(f"fennel's {name} differs from NetworkX's")
        print(f"{name:<26}{t_nx:>9.3f}s{t_first:>9.3f}s{t_cached:>9.4f}s{t1:>9.4f}s"
              f"{t_nx / t_first:>9.1f}x{t_nx / t_cached:>10.1f}x")
    for name, t in yardsticks(G, *peers):
        print(f"{name:<36}{t:>9.4f}s")
    print()


def main(args):
    peers = cli.peer("igraph"), cli.peer("networkit")
    if args.quick:
        table(10_000, 50_000, peers)
        return
    table(100_000, 500_000, peers)
    if args.large:
        table(1_000_000, 10_000_000, peers, count=2)


if __name__ == "__main__":
    parser = cli.parser(__doc__, "10,000 nodes and 50,000 edges only", ["igraph", "networkit"])
    parser.add_argument("--large", action="store_true", help="also PageRank on 1,000,000 nodes, 10,000,000 edges")
    main(parser.parse_args())
