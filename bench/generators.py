"""Generators: the first item and the whole sequence, fennel against NetworkX.

On a random graph (undirected; directed for the weakly connected
components), with the conversion cached: for each generator the time to take
its first item and the time to list all of it, best of a few runs. Every
fennel sequence is checked to equal NetworkX's before its time is shown.

    python bench/generators.py [--quick]
"""

import sys
import time
import warnings

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
import fennel


def best(fn, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def graphs(n):
    G = nx.gnm_random_graph(n, 5 * n, seed=1)
    # Many components: the graph above cut into pieces of about 20 nodes.
    pieces = nx.Graph()
    pieces.add_nodes_from(G)
    pieces.add_edges_from((u, v) for u, v in G.edges() if u // 20 == v // 20)
    D = nx.gnm_random_graph(n, 2 * n, seed=2, directed=True)
    return G, pieces, D


CASES = [
    ("bfs_edges", "G", lambda G: nx.bfs_edges(G, 0)),
    ("bfs_successors", "G", lambda G: nx.bfs_successors(G, 0)),
    ("bfs_layers", "G", lambda G: nx.bfs_layers(G, 0)),
    ("dfs_edges", "G", lambda G: nx.dfs_edges(G, 0)),
    ("dfs_preorder_nodes", "G", lambda G: nx.dfs_preorder_nodes(G)),
    ("dfs_postorder_nodes", "G", lambda G: nx.dfs_postorder_nodes(G, 0)),
    ("connected_components", "pieces", lambda G: nx.connected_components(G)),
    ("weakly_connected_components", "D", lambda G: nx.weakly_connected_components(G)),
]


def main():
    args = cli.parser(__doc__, "20,000 nodes and 3 runs instead of 200,000 and 5").parse_args()
    quick = args.quick
    n = 20_000 if quick else 200_000
    repeats = 3 if quick else 5
    warnings.filterwarnings("ignore", message="Note: conversions to backend graphs")
    G, pieces, D = graphs(n)
    named = {"G": G, "pieces": pieces, "D": D}
    print(f"fennel from {fennel.__file__}; n = {n:,}")
    print(f"{'generator':30s} {'first nx':>10s} {'first fennel':>13s} {'all nx':>9s} {'all fennel':>11s}")
    for name, graph, make in CASES:
        H = named[graph]
        with nx.config(backend_priority=[]):
            reference = list(make(H))
        with nx.config(backend_priority=["fennel"]):
            assert list(make(H)) == reference, name
            first_fennel = best(lambda: next(iter(make(H))), repeats)
            all_fennel = best(lambda: list(make(H)), repeats)
        with nx.config(backend_priority=[]):
            first_nx = best(lambda: next(iter(make(H))), repeats)
            all_nx = best(lambda: list(make(H)), repeats)
        print(f"{name:30s} {first_nx * 1e3:9.3f}ms {first_fennel * 1e3:12.3f}ms {all_nx * 1e3:8.1f}ms "
              f"{all_fennel * 1e3:10.1f}ms")


if __name__ == "__main__":
    main()
