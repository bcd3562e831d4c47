"""Shared graph zoo for differential tests against NetworkX.

Every graph is built deterministically (seeded). `ZOO` holds plain graphs of
every kind; `weighted_zoo()` adds a "weight" attribute of a chosen flavour.
"""

import random

import networkx as nx

import fennel._core as core
from fennel.backend import native


def _shuffled(G, seed):
    """The same graph with nodes and edges inserted in a shuffled order."""
    rng = random.Random(seed)
    H = G.__class__()
    nodes = list(G.nodes(data=True))
    rng.shuffle(nodes)
    H.add_nodes_from(nodes)
    edges = list(G.edges(keys=True, data=True)) if G.is_multigraph() else list(G.edges(data=True))
    rng.shuffle(edges)
    H.add_edges_from(edges)
    return H


def _relabelled(G, mapping):
    return nx.relabel_nodes(G, mapping, copy=True)


def _with_loops_and_isolates(G, seed):
    rng = random.Random(seed)
    H = G.copy()
    nodes = list(H)
    for v in rng.sample(nodes, max(1, len(nodes) // 10)):
        H.add_edge(v, v)
    H.add_nodes_from(["isolated-a", "isolated-b"] if isinstance(nodes[0], str) else [10_000, 10_001])
    return H


def _multi(G, seed, cls):
    rng = random.Random(seed)
    H = cls()
    H.add_nodes_from(G)
    for u, v in G.edges():
        for _ in range(rng.choice([1, 1, 2, 3])):
            H.add_edge(u, v)
    return H


def _build():
    und = nx.gnp_random_graph(60, 0.08, seed=1)
    dig = nx.gnp_random_graph(60, 0.06, seed=2, directed=True)
    big_ints = _relabelled(nx.gnp_random_graph(40, 0.1, seed=3), {i: 10**20 + 7 * i for i in range(40)})
    mixed = _relabelled(
        nx.gnp_random_graph(30, 0.15, seed=4),
        {i: (i if i % 3 == 0 else (f"n{i}" if i % 3 == 1 else ("t", i))) for i in range(30)},
    )
    cases = {
        "empty": nx.Graph(),
        "single": nx.empty_graph(1),
        "path": nx.path_graph(6),
        "cycle": nx.cycle_graph(7),
        "star": nx.star_graph(6),
        "complete": nx.complete_graph(6),
        "barbell": nx.barbell_graph(4, 2),
        "karate": nx.karate_club_graph(),
        "les_miserables": nx.les_miserables_graph(),
        "gnp": und,
        "gnp_loops_isolates": _with_loops_and_isolates(und, 5),
        "gnp_shuffled": _shuffled(und, 6),
        "digraph": dig,
        "digraph_loops_isolates": _with_loops_and_isolates(dig, 7),
        "digraph_shuffled": _shuffled(dig, 8),
        "directed_path": nx.path_graph(6, create_using=nx.DiGraph),
        "str_nodes": _relabelled(nx.gnp_random_graph(30, 0.15, seed=9), {i: f"v{i:02d}" for i in range(30)}),
        "tuple_nodes": nx.grid_2d_graph(4, 5),
        "mixed_nodes": mixed,
        "big_int_nodes": big_ints,
        "unordered_ints": _relabelled(nx.path_graph(8), {i: (i * 5) % 8 for i in range(8)}),
        "multigraph": _multi(und, 10, nx.MultiGraph),
        "multigraph_loops": _with_loops_and_isolates(_multi(nx.cycle_graph(9), 11, nx.MultiGraph), 12),
        "multidigraph": _multi(dig, 13, nx.MultiDiGraph),
        "disconnected": nx.disjoint_union(nx.path_graph(5), nx.cycle_graph(4)),
    }
    return cases


ZOO = _build()
ZOO_IDS = list(ZOO)

# Weight flavours: what NetworkX distinguishes (int, float, None, mixed, missing).
FLAVOURS = ["int", "float", "none", "mixed", "missing"]


def add_weights(G, flavour, seed=0, attr="weight"):
    """A copy of G whose edges carry `attr` of the given flavour."""
    rng = random.Random(seed)
    H = G.copy()
    edges = H.edges(keys=True, data=True) if H.is_multigraph() else H.edges(data=True)
    for i, e in enumerate(edges):
        d = e[-1]
        if flavour == "int":
            d[attr] = rng.randint(1, 9)
        elif flavour == "float":
            d[attr] = rng.choice([0.5, 1.25, 2.0, 3.1, 0.1, 7.7])
        elif flavour == "none":
            d[attr] = None if i % 5 == 0 else rng.randint(1, 5)
        elif flavour == "mixed":
            d[attr] = rng.randint(1, 5) if i % 2 else rng.choice([0.5, 1.5, 2.25])
        elif flavour == "tied":  # many equal-length paths
            d[attr] = rng.choice([1, 1, 2])
        elif flavour == "zero":  # zero-weight cycles too
            d[attr] = rng.choice([0, 1, 1, 2])
        elif flavour == "missing":
            if i % 3:
                d[attr] = rng.randint(1, 5)
    return H


def two_weight_view():
    """An undirected view of a digraph whose reciprocal edges weigh differently: each row holds the data
    of the edge leaving its node, so the two rows of an edge disagree."""
    D = nx.DiGraph()
    D.add_weighted_edges_from([(0, 1, 1), (1, 0, 5), (1, 2, 2), (2, 0, 3), (0, 3, 4), (3, 1, 1), (2, 3, 7), (3, 2, 1)])
    return D.to_undirected(as_view=True)


def convert(G, attrs=(), multigraph=None):
    """build_graph on G's internals, as the backend calls it."""
    nodes = list(G)
    index = {v: i for i, v in enumerate(nodes)}
    if multigraph is None:
        multigraph = G.is_multigraph()
    return core.build_graph(nodes, index, G._adj, G.is_directed(), list(attrs), multigraph)


def dijkstra_lengths(g, source, weight=None, cutoff=None):
    """One source's `(order, distances)` from dijkstra_many; None on a negative cycle."""
    found = g.dijkstra_many([source], weight, cutoff).lengths()[0]
    return found if found is None else found[:2]


def position_index(G):
    return {v: i for i, v in enumerate(G)}


def shape(x):
    """A comparable picture of a result: order, types and float bits included."""
    if isinstance(x, nx.Graph):
        rows = [x._adj] + ([x._pred] if x.is_directed() else [])
        return (type(x), shape(x.graph), shape(list(x.nodes(data=True))), shape(list(x.edges(data=True))),
                [[(shape(u), [shape(v) for v in row]) for u, row in adj.items()] for adj in rows])
    if isinstance(x, dict):
        return ("dict", [(shape(k), shape(v)) for k, v in x.items()])
    if isinstance(x, set | frozenset):
        return ("set", [shape(v) for v in x])
    if isinstance(x, list | tuple):
        return (type(x), [shape(v) for v in x])
    if type(x) is float:
        return ("float", x.hex())
    return (type(x), repr(x))


# A constructor's native graph reads as the NetworkX class it extends.
_PLAIN_CLASS = {native.Graph: nx.Graph, native.DiGraph: nx.DiGraph}


def plain_shape(G):
    """shape(G) of a graph, a native graph's class read as NetworkX's (its dicts are built)."""
    kind, *rest = shape(G)
    return (_PLAIN_CLASS.get(kind, kind), *rest)
