"""Where fennel starts to pay: the crossovers behind ``should_run``.

For one representative call per family, on graphs made of a cycle through
every node plus as many random edges (directed where the family is) whose size doubles from 4 nodes up, this
times NetworkX's own run against fennel's through NetworkX's dispatch, both
with ``backend=`` given so that each side pays the same dispatch overhead:
fennel on a graph already converted, and on a fresh graph it must convert
first (each timed call gets a new copy of the graph, made outside the
timing). Each time is the best of REPEATS calls.

Sizes stop growing once fennel has won two sizes in a row by 1.5x, both
converted and to convert. The crossover is the smallest work (``n + adjacency entries``, times the
number of sources for per-source families, as ``should_run`` counts it) from
which fennel is faster at that size and every larger one measured. The last
columns give the registry's present thresholds beside the measured ones.

    python bench/thresholds.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
from fennel.backend import registry

REPEATS = 15
SIZES = [4 * 2**i for i in range(10)]  # 4 .. 2048 nodes
QUICK_SIZES = SIZES[:6]  # 4 .. 128 nodes

# family -> (representative function, directed graph?, call)
FAMILIES = {
    "betweenness": ("betweenness_centrality", False, lambda G, b: nx.betweenness_centrality(G, backend=b)),
    "BFS lengths and searches": ("single_source_shortest_path_length", True,
                                 lambda G, b: nx.single_source_shortest_path_length(G, 0, backend=b)),
    "Dijkstra lengths and paths": ("single_source_dijkstra_path_length", True,
                                   lambda G, b: nx.single_source_dijkstra_path_length(G, 0, backend=b)),
    "traversal orders": ("dfs_preorder_nodes", True, lambda G, b: list(nx.dfs_preorder_nodes(G, 0, backend=b))),
    "all-pairs BFS": ("all_pairs_shortest_path_length", False,
                      lambda G, b: dict(nx.all_pairs_shortest_path_length(G, backend=b))),
    "closeness and distance statistics": ("closeness_centrality", False,
                                          lambda G, b: nx.closeness_centrality(G, backend=b)),
    "components": ("connected_components", False, lambda G, b: list(nx.connected_components(G, backend=b))),
    "directed components and orders": ("strongly_connected_components", True,
                                       lambda G, b: list(nx.strongly_connected_components(G, backend=b))),
    "cores": ("core_number", False, lambda G, b: nx.core_number(G, backend=b)),
    "triangles and clustering": ("clustering", False, lambda G, b: nx.clustering(G, backend=b)),
    "colouring and communities": ("greedy_color", False, lambda G, b: nx.greedy_color(G, backend=b)),
    "spanning trees": ("minimum_spanning_tree", False, lambda G, b: nx.minimum_spanning_tree(G, backend=b)),
    "PageRank": ("pagerank", True, lambda G, b: nx.pagerank(G, backend=b)),
    "eigenvector and Katz": ("katz_centrality", True, lambda G, b: nx.katz_centrality(G, backend=b)),
}


def graph(n, directed, seed=1):
    """A cycle through every node (so node 0 reaches all) plus n random edges."""
    rng = random.Random(seed)
    G = nx.DiGraph() if directed else nx.Graph()
    G.add_nodes_from(range(n))
    for v in range(n):
        G.add_edge(v, (v + 1) % n, weight=rng.randint(1, 9))
    for _ in range(n):
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v:
            G.add_edge(u, v, weight=rng.randint(1, 9))
    return G


def best(fn, make=None, repeats=REPEATS):
    """Best of `repeats` calls, or of 3 once a call takes over 20 ms."""
    times = []
    while len(times) < (repeats if not times or min(times) < 0.02 else min(3, repeats)):
        arg = make() if make else None
        t = time.perf_counter()
        fn(arg)
        times.append(time.perf_counter() - t)
    return min(times)


def work(name, G):
    entries = sum(map(len, G._adj.values()))
    sources = len(G) if registry.BY_NAME[name].per_source else 1
    return sources * (len(G) + entries)


def crossover(points):
    """Smallest work from which fennel wins at every measured size, or None."""
    found = None
    for w, t_nx, t_fennel in reversed(points):
        if t_fennel >= t_nx:
            break
        found = w
    return found


def main(quick):
    nx.config.warnings_to_ignore.add("cache")
    sizes, repeats = (QUICK_SIZES, 3) if quick else (SIZES, REPEATS)
    print(f"{'family (representative)':<58}{'converted':>12}{'to convert':>12}{'registry':>16}")
    for family, (name, directed, call) in FAMILIES.items():
        cached, fresh = [], []
        for n in sizes:
            # Two sizes in a row won by 1.5x on both sides settle the crossover.
            if len(fresh) >= 2 and all(t_nx > 1.5 * t for _, t_nx, t in cached[-2:] + fresh[-2:]):
                break
            G = graph(n, directed)
            t_nx = best(lambda _: call(G, "networkx"), repeats=repeats)
            call(G, "fennel")  # converts once
            t_cached = best(lambda _: call(G, "fennel"), repeats=repeats)
            t_fresh = best(lambda H: call(H, "fennel"), make=G.copy, repeats=repeats)
            w = work(name, G)
            cached.append((w, t_nx, t_cached))
            fresh.append((w, t_nx, t_fresh))
        label = f"{family} ({name})"
        print(f"{label:<58}{crossover(cached)!s:>12}{crossover(fresh)!s:>12}{registry.BY_NAME[name].min_work!s:>16}")


if __name__ == "__main__":
    main(cli.parser(__doc__, "sizes up to 128 nodes, best of 3 (crossovers above that read None)").parse_args().quick)
