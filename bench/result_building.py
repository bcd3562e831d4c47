"""Single-source results against their floor: the search plus building a dict
of the same size.

On a 100,000-node, 500,000-edge random digraph (float weights), cached
conversion: the C++ search alone (returning its order and values as lists),
``dict(zip(...))`` of the same keys and values (the cheapest way Python
builds such a dict), and fennel's whole call through NetworkX's dispatch.
A call within 1.5x of search + dict is at the floor.

    python bench/result_building.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def best_ms(fn, repeats=9):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times) * 1e3


def main(quick):
    rng = random.Random(1)
    n, m = (10_000, 50_000) if quick else (100_000, 500_000)
    print(f"{n:,} nodes, {m:,} edges")
    G = nx.DiGraph()
    G.add_nodes_from(range(n))
    G.add_weighted_edges_from((rng.randrange(n), rng.randrange(n), 1 + 99 * rng.random()) for _ in range(m))
    nx.config.warnings_to_ignore.add("cache")
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")  # converts once
    fg = next(iter(G.__networkx_cache__["backends"]["fennel"].values()))
    order, levels = fg.core.bfs(0, float("inf")).lengths()
    keys = [fg.nodes[v] for v in order]
    dorder, dist, _ = fg.core.dijkstra(0, "weight").lengths()
    dkeys = [fg.nodes[v] for v in dorder]
    rows = [
        ("BFS search (core.bfs)", best_ms(lambda: fg.core.bfs(0, float("inf")))),
        ("dict(zip(keys, levels)), same size", best_ms(lambda: dict(zip(keys, levels)))),
        ("single_source_shortest_path_length, cached",
         best_ms(lambda: nx.single_source_shortest_path_length(G, 0, backend="fennel"))),
        ("Dijkstra search (core.dijkstra)", best_ms(lambda: fg.core.dijkstra(0, "weight"))),
        ("dict(zip(keys, dist)), same size", best_ms(lambda: dict(zip(dkeys, dist)))),
        ("single_source_dijkstra_path_length, cached",
         best_ms(lambda: nx.single_source_dijkstra_path_length(G, 0, backend="fennel"))),
    ]
    for label, ms in rows:
        print(f"{label:<46}{ms:8.2f} ms")
    print(f"BFS: call / (search + dict) = {rows[2][1] / (rows[0][1] + rows[1][1]):.2f}")
    print(f"Dijkstra: call / (search + dict) = {rows[5][1] / (rows[3][1] + rows[4][1]):.2f}")


if __name__ == "__main__":
    main(cli.parser(__doc__, "10,000 nodes and 50,000 edges").parse_args().quick)
