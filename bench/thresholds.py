"""Where fennel starts to pay: the crossovers behind ``should_run``.

For one representative call per family, on graphs made of a cycle through
every node plus as many random edges (directed where the family is) whose
size doubles from 4 nodes up, this times NetworkX's own run against fennel's
through NetworkX's dispatch, both with ``backend=`` given so that each side
pays the same dispatch overhead: fennel on a graph already converted, and on
a graph it must convert first (each timed call gets a new graph, built
outside the timing). Each time is the best of REPEATS calls.

Graphs to convert come in three kinds, each against NetworkX's run on the
same kind: "ordered" (int nodes inserted in order, edges naming the node
objects, as NetworkX's generators make them), "fresh int" (int nodes
inserted in random order, a new int object at every edge end, as edge lists
and DataFrame rows make them) and "fresh str" (the same with str labels).

Sizes stop growing once fennel has won two sizes in a row by 1.5x on every
graph kind. The crossover is the smallest work (``n + adjacency entries``,
times the number of sources for per-source families, as ``should_run``
counts it) from which fennel is faster at that size and every larger one
measured. The last column gives the registry's present thresholds (converted,
to convert) beside the measured ones.

    python bench/thresholds.py [--quick] [--families NAME ...]
"""

import random
import time

import cli
import networkx as nx

from fennel.backend import registry

REPEATS = 15
SIZES = [4 * 2**i for i in range(14)]  # 4 .. 32768 nodes
KINDS = ("ordered", "fresh int", "fresh str")

# family -> (representative function, directed graph?, call); calls from a
# source start at node 0 (labelled "v0" in str graphs).
FAMILIES = {
    "betweenness": ("betweenness_centrality", False, lambda G, b: nx.betweenness_centrality(G, backend=b)),
    "BFS lengths and searches": ("single_source_shortest_path_length", True,
                                 lambda G, b: nx.single_source_shortest_path_length(G, source(G), backend=b)),
    "Dijkstra lengths and paths": ("single_source_dijkstra_path_length", True,
                                   lambda G, b: nx.single_source_dijkstra_path_length(G, source(G), backend=b)),
    "traversal orders": ("dfs_preorder_nodes", True,
                         lambda G, b: list(nx.dfs_preorder_nodes(G, source(G), backend=b))),
    "all-pairs BFS": ("all_pairs_shortest_path_length", False,
                      lambda G, b: dict(nx.all_pairs_shortest_path_length(G, backend=b))),
    "closeness and distance statistics": ("closeness_centrality", False,
                                          lambda G, b: nx.closeness_centrality(G, backend=b)),
    "components": ("connected_components", False, lambda G, b: list(nx.connected_components(G, backend=b))),
    "directed components and orders": ("strongly_connected_components", True,
                                       lambda G, b: list(nx.strongly_connected_components(G, backend=b))),
    "transitive closures": ("transitive_closure", True, lambda G, b: nx.transitive_closure(G, backend=b)),
    "biconnected components": ("biconnected_components", False,
                               lambda G, b: list(nx.biconnected_components(G, backend=b))),
    "bridges and chains": ("bridges", False, lambda G, b: list(nx.bridges(G, backend=b))),
    "local bridges": ("local_bridges", False, lambda G, b: list(nx.local_bridges(G, backend=b))),
    "cores": ("core_number", False, lambda G, b: nx.core_number(G, backend=b)),
    "triangles and clustering": ("clustering", False, lambda G, b: nx.clustering(G, backend=b)),
    "colouring and communities": ("greedy_color", False, lambda G, b: nx.greedy_color(G, backend=b)),
    "spanning trees": ("minimum_spanning_tree", False, lambda G, b: nx.minimum_spanning_tree(G, backend=b)),
    "weighted matchings": ("max_weight_matching", False, lambda G, b: nx.max_weight_matching(G, backend=b)),
    "bipartite matchings": ("hopcroft_karp_matching", False,
                            lambda G, b: nx.bipartite.hopcroft_karp_matching(G, backend=b)),
    "PageRank": ("pagerank", True, lambda G, b: nx.pagerank(G, backend=b)),
    "link prediction over the non-edges": ("jaccard_coefficient", False,
                                           lambda G, b: list(nx.jaccard_coefficient(G, backend=b))),
    "eigenvector and Katz": ("katz_centrality", True, lambda G, b: nx.katz_centrality(G, backend=b)),
    "neighbour degrees": ("average_neighbor_degree", False, lambda G, b: nx.average_neighbor_degree(G, backend=b)),
    "mixing and assortativity": ("degree_mixing_dict", False, lambda G, b: nx.degree_mixing_dict(G, backend=b)),
    "rich club": ("rich_club_coefficient", False,
                  lambda G, b: nx.rich_club_coefficient(G, normalized=False, backend=b)),
}


def source(G):
    return "v0" if "v0" in G else 0


def graph(n, directed, kind="ordered", seed=1, bipartite=False):
    """A cycle through every node (so node 0 reaches all) plus n random edges,
    the same edges whatever the kind."""
    rng = random.Random(seed)
    G = nx.DiGraph() if directed else nx.Graph()
    labels = [f"v{i}" for i in range(n)] if kind == "fresh str" else list(range(n))
    order = list(range(n))
    if kind != "ordered":
        random.Random(seed + 1).shuffle(order)
    G.add_nodes_from(labels[i] for i in order)
    if kind == "ordered":
        end = labels.__getitem__
    elif kind == "fresh int":
        def end(i):
            return int(str(i))
    else:
        def end(i):
            return f"v{i}"
    for v in range(n):
        G.add_edge(end(v), end((v + 1) % n), weight=rng.randint(1, 9))
    for _ in range(n):
        u, v = rng.randrange(n), rng.randrange(n)
        if bipartite:
            u, v = u & ~1, v | 1
        if u != v:
            G.add_edge(end(u), end(v), weight=rng.randint(1, 9))
    return G


def bipartite_graph(n, directed, kind="ordered", seed=1):
    """graph()'s cycle (even n) with random edges from even to odd nodes: bipartite and connected."""
    return graph(n, directed, kind, seed, bipartite=True)


# Families whose representative call needs graphs of another shape.
GRAPHS = {"bipartite matchings": bipartite_graph}


def best(fn, make=None):
    """Best of REPEATS calls, or of 3 once a call takes over 20 ms."""
    times = []
    while len(times) < (REPEATS if not times or min(times) < 0.02 else 3):
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


def arguments():
    parser = cli.parser(__doc__, "best of 3 calls instead of 15")
    parser.add_argument("--families", nargs="+", choices=list(FAMILIES), metavar="NAME",
                        help="families to measure (default: all), as named in the first column")
    return parser.parse_args()


def main():
    global REPEATS
    args = arguments()
    if args.quick:
        REPEATS = 3
    nx.config.warnings_to_ignore.add("cache")
    print(f"{'family (representative)':<58}{'converted':>11}" + "".join(f"{k:>11}" for k in KINDS)
          + f"{'registry':>16}")
    print(f"{'':<58}{'':>11}" + f"{'to convert':^33}")
    for family in args.families or FAMILIES:
        name, directed, call = FAMILIES[family]
        graph_of = GRAPHS.get(family, graph)
        cached, fresh = [], {kind: [] for kind in KINDS}
        for n in SIZES:
            # Two sizes in a row won by 1.5x on every side settle the crossover.
            recent = cached[-2:] + [p for points in fresh.values() for p in points[-2:]]
            if len(cached) >= 2 and all(t_nx > 1.5 * t for _, t_nx, t in recent):
                break
            for kind in KINDS:
                G = graph_of(n, directed, kind)
                t_nx = best(lambda _: call(G, "networkx"))
                w = work(name, G)
                if kind == "ordered":
                    call(G, "fennel")  # converts once
                    cached.append((w, t_nx, best(lambda _: call(G, "fennel"))))
                t_fresh = best(lambda H: call(H, "fennel"), make=lambda: graph_of(n, directed, kind))
                fresh[kind].append((w, t_nx, t_fresh))
        label = f"{family} ({name})"
        crossovers = "".join(f"{crossover(points)!s:>11}" for points in fresh.values())
        print(f"{label:<58}{crossover(cached)!s:>11}{crossovers}{registry.BY_NAME[name].min_work!s:>16}", flush=True)


if __name__ == "__main__":
    main()
