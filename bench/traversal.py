"""Traversals and paths: fennel against NetworkX, in one run.

On the 1,000,000-edge graph of bench/conversion.py, with the conversion
cached: each function from one source, its result consumed (generators
listed). Every fennel answer is checked to equal NetworkX's before its time is
shown. Beside them, igraph's and NetworKit's single-source searches on the
same graph (where installed), as a yardstick: igraph builds a path list per
node as NetworkX does; NetworKit's run builds nothing Python sees.

Then all_pairs_dijkstra_path over all sources of a 2,000-node graph, with 1
and 2 worker threads (each in a process of its own, the pool's size being
fixed when it starts).

    python bench/traversal.py [--quick]
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
    ("single_source_shortest_path", lambda G: nx.single_source_shortest_path(G, 0)),
    ("single_target_shortest_path", lambda G: nx.single_target_shortest_path(G, 0)),
    ("single_source_dijkstra_path", lambda G: nx.single_source_dijkstra_path(G, 0)),
    ("dijkstra_path", lambda G: nx.dijkstra_path(G, 0, 1)),
    ("bfs_edges (listed)", lambda G: list(nx.bfs_edges(G, 0))),
    ("bfs_tree", lambda G: nx.bfs_tree(G, 0)),
    ("descendants", lambda G: nx.descendants(G, 0)),
    ("dfs_edges (listed)", lambda G: list(nx.dfs_edges(G, 0))),
    ("dfs_preorder_nodes (listed)", lambda G: list(nx.dfs_preorder_nodes(G, 0))),
    ("dfs_postorder_nodes (listed)", lambda G: list(nx.dfs_postorder_nodes(G, 0))),
]


def best(fn, repeats):
    times = []
    result = None
    for _ in range(repeats):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return min(times), result


def same(a, b):
    if isinstance(a, nx.Graph):
        return list(a.edges) == list(b.edges) and list(a) == list(b)
    if isinstance(a, dict):
        return list(a.items()) == list(b.items())
    return list(a) == list(b)


def yardsticks(G, igraph, nk):
    """Single-source search times of igraph and NetworKit on G, where installed."""
    rows = []
    edges = list(G.edges(data="weight"))
    if igraph is not None:
        g = igraph.Graph(n=len(G), edges=[(u, v) for u, v, _ in edges], directed=True)
        g.es["weight"] = [w for _, _, w in edges]
        rows.append(("igraph get_shortest_paths (BFS)", best(lambda: g.get_shortest_paths(0), 5)[0]))
        rows.append(("igraph get_shortest_paths (Dijkstra)",
                     best(lambda: g.get_shortest_paths(0, weights="weight"), 5)[0]))
    if nk is not None:
        nk.setNumberOfThreads(1)
        h = nk.Graph(len(G), weighted=True, directed=True)
        for u, v, w in edges:
            h.addEdge(u, v, w)
        rows.append(("NetworKit BFS run", best(lambda: nk.distance.BFS(h, 0, storePaths=True).run(), 5)[0]))
        rows.append(("NetworKit Dijkstra run", best(lambda: nk.distance.Dijkstra(h, 0, storePaths=True).run(), 5)[0]))
    return rows


def all_pairs(threads, n):
    """all_pairs_dijkstra_path on n nodes in a process with `threads` workers: (NetworkX, fennel) seconds."""
    here = os.path.dirname(os.path.abspath(__file__))
    code = f"import sys; sys.path.insert(0, {here!r}); import traversal; traversal.all_pairs_child({n})"
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    out = subprocess.run([sys.executable, "-B", "-c", code], env=env, capture_output=True, text=True, check=True)
    t_nx, t_fennel = map(float, out.stdout.split())
    return t_nx, t_fennel


def all_pairs_child(n):
    import random

    nx.config.warnings_to_ignore.add("cache")
    rng = random.Random(7)
    G = nx.gnm_random_graph(n, 5 * n, seed=7)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.randint(1, 100)
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")  # convert once

    def call(**kw):
        return list(nx.all_pairs_dijkstra_path(G, **kw))

    t_nx, expected = best(call, 1)
    t_fennel, got = best(lambda: call(backend="fennel"), 3)
    if got != expected:
        raise SystemExit("fennel's all_pairs_dijkstra_path differs from NetworkX's")
    print(t_nx, t_fennel)


def main(quick):
    nx.config.warnings_to_ignore.add("cache")
    peers = cli.peer("igraph"), cli.peer("networkit")
    m, n_all_pairs = (100_000, 300) if quick else (1_000_000, 2_000)
    G = random_graph(directed=True, n=m // 5, m=m)
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")  # convert once, with the weights
    print(f"{f'case ({m:,} edges, cached)':<34}{'NetworkX':>10}{'fennel':>10}{'ratio':>8}")
    with nx.config(backend_priority=["fennel"]):
        for name, call in CASES:
            with nx.config(backend_priority=[]):
                t_nx, expected = best(lambda: call(G), 2)
            t_fennel, got = best(lambda: call(G), 5)
            if not same(got, expected):
                raise SystemExit(f"fennel's {name} differs from NetworkX's")
            print(f"{name:<34}{t_nx:>9.3f}s{t_fennel:>9.3f}s{t_nx / t_fennel:>7.1f}x")
    for name, t in yardsticks(G, *peers):
        print(f"{name:<44}{t:>9.3f}s")
    print()
    print(f"{f'all_pairs_dijkstra_path ({n_all_pairs:,} nodes)':<40}{'NetworkX':>10}{'fennel':>10}{'ratio':>8}")
    for threads in (1, 2):
        t_nx, t_fennel = all_pairs(threads, n_all_pairs)
        print(f"{f'{threads} thread(s)':<40}{t_nx:>9.3f}s{t_fennel:>9.3f}s{t_nx / t_fennel:>7.1f}x")


if __name__ == "__main__":
    parser = cli.parser(__doc__, "100,000 edges, all pairs on 300 nodes", ["igraph", "networkit"])
    main(parser.parse_args().quick)
