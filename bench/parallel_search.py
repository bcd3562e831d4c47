"""One search on both cores: breadth-first lengths from one node,
connected_components and pagerank at 1 and 2 threads, and breadth-first
lengths on graph M against NetworkX and the peers, single-threaded.

Scaling part: the graph of bench/scaling.py (undirected, m random edges over
m / 10 nodes, float weights, built natively by from_pandas_edgelist). Each
thread count runs in a process of its own (RAYON_NUM_THREADS), timing each
call through NetworkX's dispatch, the median of --repeats runs.

M part: nx.from_edgelist of rng.integers(0, 250000, (1000000, 2)) (numpy
default_rng(1), as Python ints) with fennel's conversion cached, lengths from
node 0: fennel single-threaded against NetworkX,
``nk.distance.BFS(G, 0).run().getDistances()`` (one thread) and igraph's
``g.distances(source=0)``, all in one process, each the median of --repeats
runs; ratios are against fennel in that run.

    python bench/parallel_search.py              # 10,000,000 edges, and M
    python bench/parallel_search.py --edges 1000000
    python bench/parallel_search.py --quick      # 100,000 edges, M shrunk tenfold
"""

import json
import os
import subprocess
import sys

sys.dont_write_bytecode = True

import cli


def scaling_child(m, repeats):
    import networkx as nx
    import numpy as np
    import pandas as pd

    nx.config.warnings_to_ignore.add("cache")
    rng = np.random.default_rng(1)
    ends = rng.integers(0, m // 10, size=(m, 2), dtype=np.int64)
    df = pd.DataFrame({"source": ends[:, 0], "target": ends[:, 1], "weight": rng.random(m)})
    G = nx.from_pandas_edgelist(df, edge_attr="weight", backend="fennel")
    del df, ends
    steps = {
        "BFS lengths from 0": lambda: nx.single_source_shortest_path_length(G, 0, backend="fennel"),
        "connected_components": lambda: list(nx.connected_components(G, backend="fennel")),
        "pagerank (weighted)": lambda: nx.pagerank(G, backend="fennel"),
    }
    out = {}
    for name, fn in steps.items():
        fn()
        out[name] = cli.median_time(fn, repeats)
    print(json.dumps(out))


def m_child(n, repeats):
    import networkx as nx
    import numpy as np

    nx.config.warnings_to_ignore.add("cache")
    edges = np.random.default_rng(1).integers(0, n, (4 * n, 2))
    G = nx.from_edgelist(edges.tolist())
    rows = {}
    with nx.config.backends.fennel(n_jobs=1):
        nx.single_source_shortest_path_length(G, 0, backend="fennel")  # conversion cached
        rows["fennel (1 thread)"] = cli.median_time(lambda: nx.single_source_shortest_path_length(G, 0, backend="fennel"),
                                                repeats)
    rows["NetworkX"] = cli.median_time(lambda: nx.single_source_shortest_path_length(G, 0), max(1, repeats // 3))
    nk = cli.peer("networkit")
    if nk is not None:
        nk.setNumberOfThreads(1)
        H = nk.nxadapter.nx2nk(G)  # node ids are 0..n-1 in G's order, so node 0 is id 0 only if first
        source = list(G).index(0)
        rows["NetworKit"] = cli.median_time(lambda: nk.distance.BFS(H, source).run().getDistances(), repeats)
    ig = cli.peer("igraph")
    if ig is not None:
        g = ig.Graph(n=n, edges=edges.tolist())
        rows["igraph"] = cli.median_time(lambda: g.distances(source=0), repeats)
    print(json.dumps(rows))


def run(args, threads):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1", OMP_NUM_THREADS=str(threads))
    env.pop("FENNEL_NUM_THREADS", None)
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", *map(str, args)], env=env,
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(done.stderr)
    return json.loads(done.stdout.strip().splitlines()[-1])


def main(args):
    if args.child:
        kind, size, repeats = args.child[0], int(args.child[1]), int(args.child[2])
        (scaling_child if kind == "scaling" else m_child)(size, repeats)
        return
    m = 100_000 if args.quick else args.edges
    repeats = 3 if args.quick else args.repeats
    print(f"{os.cpu_count()} cores; medians of {repeats} runs")
    at = {t: run(("scaling", m, repeats), t) for t in (1, 2)}
    print(f"\n{m:,} edges over {m // 10:,} nodes")
    print(f"{'step':<24}{'1 thread':>12}{'2 threads':>12}{'speedup':>10}")
    for step in at[1]:
        print(f"{step:<24}{at[1][step] * 1e3:>10.1f}ms{at[2][step] * 1e3:>10.1f}ms{at[1][step] / at[2][step]:>9.2f}x")
    n = 25_000 if args.quick else 250_000
    rows = run(("m", n, repeats), 1)
    base = rows["fennel (1 thread)"]
    print(f"\nBFS lengths from node 0, {n:,} nodes and {4 * n:,} random edges, one thread")
    print(f"{'library':<24}{'time':>12}{'vs fennel':>12}")
    for name, t in rows.items():
        print(f"{name:<24}{t * 1e3:>10.1f}ms{t / base:>11.2f}x")


if __name__ == "__main__":
    parser = cli.parser(__doc__, "100,000 edges and a tenfold smaller M", optional=("networkit", "igraph"))
    parser.add_argument("--edges", type=int, default=10_000_000, help="edges of the scaling graph")
    parser.add_argument("--repeats", type=int, default=7, help="runs per timing (the median is shown)")
    main(parser.parse_args())
