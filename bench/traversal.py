"""Traversals and unweighted paths: fennel against NetworkX, in one run.

On the 1,000,000-edge graph of bench/conversion.py, with the conversion
cached: each function from one source, its result consumed (generators
listed). Every fennel answer is checked to equal NetworkX's before its time is
shown.

    python bench/traversal.py
"""

import time

import networkx as nx

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


def main():
    nx.config.warnings_to_ignore.add("cache")
    G = random_graph(directed=True)
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")  # convert once, with the weights
    print(f"{'case (1,000,000 edges, cached)':<34}{'NetworkX':>10}{'fennel':>10}{'ratio':>8}")
    with nx.config(backend_priority=["fennel"]):
        for name, call in CASES:
            with nx.config(backend_priority=[]):
                t_nx, expected = best(lambda: call(G), 2)
            t_fennel, got = best(lambda: call(G), 5)
            if not same(got, expected):
                raise SystemExit(f"fennel's {name} differs from NetworkX's")
            print(f"{name:<34}{t_nx:>9.3f}s{t_fennel:>9.3f}s{t_nx / t_fennel:>7.1f}x")


if __name__ == "__main__":
    main()
