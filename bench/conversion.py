"""build_graph speed against a bare Python walk of the same adjacency.

Prints, for an undirected and a directed random graph of 1,000,000 edges,
the conversion time without attributes and with one weight attribute, next
to a bare Python loop that reads each neighbour and its weight, all measured
in the same run (best of several repeats).

    python bench/conversion.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
import fennel._core as core

EDGES = 1_000_000
REPEATS = 5


def random_graph(directed, n=200_000, m=EDGES, seed=1):
    rng = random.Random(seed)
    G = nx.DiGraph() if directed else nx.Graph()
    G.add_nodes_from(range(n))
    edges = 0
    while edges < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v and not G.has_edge(u, v):
            G.add_edge(u, v, weight=rng.randint(1, 100))
            edges += 1
    return G


def best(fn, repeats=REPEATS):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return min(times)


def bare_loop(adj):
    for u in adj:
        for v, d in adj[u].items():
            d.get("weight", 1)


def main(quick):
    m, repeats = (EDGES // 10, 2) if quick else (EDGES, REPEATS)
    print(f"Python {sys.version.split()[0]}, {m:,} edges, best of {repeats}")
    print(f"{'graph':<11}{'bare loop':>11}{'no attr':>10}{'ratio':>8}{'weight':>10}{'ratio':>8}")
    for directed in (False, True):
        G = random_graph(directed, n=m // 5, m=m)
        nodes = list(G)
        index = {v: i for i, v in enumerate(nodes)}
        loop = best(lambda: bare_loop(G._adj), repeats)
        plain = best(lambda: core.build_graph(nodes, index, G._adj, directed, []), repeats)
        weighted = best(lambda: core.build_graph(nodes, index, G._adj, directed, [("weight", 1)]), repeats)
        name = "directed" if directed else "undirected"
        print(f"{name:<11}{loop:>10.3f}s{plain:>9.3f}s{loop / plain:>7.1f}x"
              f"{weighted:>9.3f}s{loop / weighted:>7.1f}x")
    print("targets: no attr >= 8x, weight >= 5x")


if __name__ == "__main__":
    main(cli.parser(__doc__, "100,000 edges, best of 2").parse_args().quick)
