"""Scaling: fennel on native graphs of 1,000,000 and 10,000,000 edges, at 1
and 2 worker threads.

Each graph is undirected, with m random edges (numpy, seed 1) over m / 10
nodes and a float weight in [0, 1) per edge, built natively by
``nx.from_pandas_edgelist(..., backend="fennel")`` (NetworkX's own graph of
10,000,000 edges takes about 2.5 GB; this one never exists). On it:

* betweenness_centrality, k=256 sampled sources (seed 1), unweighted;
* closeness of a sample of 256 nodes (seed 1): ``CoreGraph.closeness`` on
  the 256 sources at once, the per-source parallel kernel behind
  ``closeness_centrality`` (NetworkX's ``u=`` takes one node a call);
* pagerank (weighted);
* connected_components (listed);
* single_source_dijkstra_path_length from node 0 (weighted).

Every configuration runs in a process of its own (the pool's size is fixed
when it starts; ``RAYON_NUM_THREADS`` sets it), which reports each step's
time, the memory the built graph holds (resident memory past a baseline
taken once the input DataFrame exists, after the build's temporaries are
freed: the compact graph's arrays and the node objects with their index)
per edge, the compact graph's own arrays per edge (rows, weight column,
edge record; counted by the graph) once built and again after the runs,
and the process's peak resident memory past that baseline.
Times are single runs.

    python bench/scaling.py              # 1,000,000 and 10,000,000 edges
    python bench/scaling.py --small      # 100,000 and 1,000,000 edges
    python bench/scaling.py --quick      # 10,000 and 100,000 edges

It needs numpy and pandas (both in the test and bench extras).
"""

import gc
import json
import os
import platform
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import cli
from construction import peak_kib, release_free_memory, rss_kib

EDGE_COUNTS = {"full": [1_000_000, 10_000_000], "small": [100_000, 1_000_000], "quick": [10_000, 100_000]}
K = 256


def trim():
    gc.collect()
    release_free_memory()


def child(m):
    import networkx as nx
    import numpy as np
    import pandas as pd

    from fennel.backend.native import compact_form

    nx.config.warnings_to_ignore.add("cache")
    rng = np.random.default_rng(1)
    n = m // 10
    ends = rng.integers(0, n, size=(m, 2), dtype=np.int64)
    df = pd.DataFrame({"source": ends[:, 0], "target": ends[:, 1], "weight": rng.random(m)})
    del ends
    nx.from_pandas_edgelist(df.head(100), edge_attr="weight", backend="fennel")  # imports and first-use costs
    trim()
    base_rss, base_peak = rss_kib(), peak_kib()
    out = {}

    def step(name, fn):
        t = time.perf_counter()
        result = fn()
        out[name] = time.perf_counter() - t
        return result

    G = step("build", lambda: nx.from_pandas_edgelist(df, edge_attr="weight", backend="fennel"))
    fg = compact_form(G)
    if fg is None:
        raise SystemExit("from_pandas_edgelist did not build a native graph")
    trim()
    out["held_bytes_per_edge"] = (rss_kib() - base_rss) * 1024 / m
    out["array_bytes_per_edge"] = fg.core.held_bytes() / m
    out["edges"] = G.number_of_edges()
    step("betweenness k=256", lambda: nx.betweenness_centrality(G, k=K, seed=1, backend="fennel"))
    sample = [fg.index[v] for v in random.Random(1).sample(fg.nodes, K)]
    step("closeness, 256 sources", lambda: fg.core.closeness(None, True, sample))
    step("pagerank", lambda: nx.pagerank(G, backend="fennel"))
    step("connected_components", lambda: list(nx.connected_components(G, backend="fennel")))
    step("dijkstra lengths", lambda: nx.single_source_dijkstra_path_length(G, 0, backend="fennel"))
    out["peak_kib"] = peak_kib() - base_peak
    out["array_bytes_after"] = fg.core.held_bytes() / m
    print(json.dumps(out))


def run(m, threads):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", str(m)], env=env,
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(done.stderr)
    return json.loads(done.stdout.strip().splitlines()[-1])


def main(args):
    if args.child is not None:
        child(int(args.child[0]))
        return
    sizes = EDGE_COUNTS["quick" if args.quick else "small" if args.small else "full"]
    print(f"CPython {platform.python_version()}, {os.cpu_count()} cores; single runs")
    results = {(m, t): run(m, t) for m in sizes for t in (1, 2)}
    memory = ("held_bytes_per_edge", "array_bytes_per_edge", "array_bytes_after", "edges", "peak_kib")
    steps = [k for k in results[sizes[0], 1] if k not in memory]
    head = "".join(f"{f'{m:,} edges, {t}t':>22}" for m in sizes for t in (1, 2))
    print(f"{'step':<26}{head}{'2t speedup':>22}{'growth (1t)':>14}")
    for s in steps:
        cells = "".join(f"{results[m, t][s]:>21.3f}s" for m in sizes for t in (1, 2))
        big = sizes[-1]
        speedup = results[big, 1][s] / results[big, 2][s]
        growth = results[big, 1][s] / results[sizes[0], 1][s]
        print(f"{s:<26}{cells}{speedup:>21.2f}x{growth:>13.1f}x")
    for label, key, fmt in (("graph held, bytes/edge", "held_bytes_per_edge", "{:>22.1f}"),
                            ("its arrays, bytes/edge", "array_bytes_per_edge", "{:>22.1f}"),
                            ("arrays after runs, B/edge", "array_bytes_after", "{:>22.1f}"),
                            ("peak memory, MiB", "peak_kib", "{:>22.0f}")):
        scale = 1 / 1024 if key == "peak_kib" else 1
        print(f"{label:<26}" + "".join(fmt.format(results[m, t][key] * scale) for m in sizes for t in (1, 2)))
    print(f"edges after merging repeats: " + ", ".join(f"{results[m, 1]['edges']:,}" for m in sizes))


if __name__ == "__main__":
    parser = cli.parser(__doc__, "10,000 and 100,000 edges")
    parser.add_argument("--small", action="store_true", help="100,000 and 1,000,000 edges")
    main(parser.parse_args())
