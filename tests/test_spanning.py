"""Kruskal's spanning trees against NetworkX: the radix sort's order of every
kind of weight, and the tree's dicts filled by the core or, for graph
subclasses, through their own methods."""

import math
import pickle
import random

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too

SPANNING = ["minimum_spanning_edges", "maximum_spanning_edges", "minimum_spanning_tree", "maximum_spanning_tree"]

# Weights whose bits order differently from their values, or not at all:
# signed zeros (equal in Python), negatives, infinities, subnormals, ints
# beside floats of equal value, and large values sharing high bytes.
WEIGHTS = {
    "signed-zeros": [0.0, -0.0, 0, False, 1.0, -1.0],
    "negatives": [-3.5, -2.0, -1e-300, -1e300, 2.0, 0.5],
    "infinities": [math.inf, -math.inf, 1.0, -1.0, 0.0],
    "subnormals": [5e-324, -5e-324, 1e-310, 0.0, 2.2250738585072014e-308],
    "int-float-ties": [1, 1.0, True, 2, 2.0, 3],
    "close-floats": [1.0, math.nextafter(1.0, 2), math.nextafter(1.0, 0), 1.0 + 2**-40, 1.0 - 2**-40],
    "numpy": [np.float64(1.5), np.float64(-0.0), np.int64(2), np.bool_(True), 1.5, 0.0],
    "uniform": None,  # random.uniform: distinct floats in every byte
}


def weighted_graph(seed, weights, n=60, m=240, nodes=lambda x: x):
    """A random graph with self-loops and isolated nodes (several trees), weights drawn from ``weights``."""
    rng = random.Random(seed)
    G = nx.Graph(name="g")
    G.add_nodes_from(nodes(x) for x in rng.sample(range(n), n))
    for x in list(G)[:5]:
        G.nodes[x]["colour"] = x
    for _ in range(m):
        u, v = rng.randrange(n - 5), rng.randrange(n - 5)  # the last five nodes stay isolated
        w = rng.uniform(-50, 50) if weights is None else rng.choice(weights)
        G.add_edge(nodes(u), nodes(v), weight=w, tag=u)
    return G


@pytest.mark.parametrize("kind", list(WEIGHTS))
@pytest.mark.parametrize("seed", range(3))
def test_weight_order(kind, seed):
    G = weighted_graph(seed, WEIGHTS[kind])
    for name in SPANNING:
        assert same_as_networkx(name, G)
    assert same_as_networkx("maximum_spanning_edges", G, data=False)


@pytest.mark.parametrize("labels", [str, lambda x: (x % 7, str(x))], ids=["str", "tuple"])
def test_node_kinds(labels):
    G = weighted_graph(1, [1, 2, 2.5, -1], nodes=labels)
    for name in SPANNING:
        assert same_as_networkx(name, G)


class Marked(nx.Graph):
    """A subclass: its trees are built through its own methods."""


def sources(G):
    yield "plain", G
    S = Marked(G)
    S.graph.update(G.graph)
    yield "subclass", S
    # Unpickled: its rows' keys are other int objects than its nodes (ints
    # above 256 are not shared), so the rows are found by key.
    yield "unpickled", pickle.loads(pickle.dumps(G))
    # A view: its adjacency is a filter over G's, read by key.
    yield "view", nx.subgraph_view(G, filter_node=lambda x: x != list(G)[3], filter_edge=lambda u, v: (u + v) % 5 != 0)


@pytest.mark.parametrize("seed", range(3))
def test_tree_dicts(seed):
    G = weighted_graph(seed, None, nodes=lambda x: 1000 + x)
    for label, H in sources(G):
        for name in ("minimum_spanning_tree", "maximum_spanning_tree"):
            assert same_as_networkx(name, H), label
            T = getattr(nx, name)(H, backend="fennel")
            assert type(T) is type(H.__class__())
            # NetworkX copies node and edge data; each tree edge has one dict.
            assert T.graph == H.graph and T.graph is not H.graph
            assert all(T.nodes[x] == H.nodes[x] and T.nodes[x] is not H.nodes[x] for x in T)
            for u, v, d in T.edges(data=True):
                assert d == H[u][v] and d is not H[u][v] and T._adj[v][u] is d
            edges = list(nx.minimum_spanning_edges(H, backend="fennel"))
            assert all(d is H[u][v] for u, v, d in edges)


@pytest.mark.parametrize("edges", [[], [(0, 0)], [(0, 1), (1, 1), (2, 2)]])
def test_small_graphs(edges):
    G = nx.Graph(edges)
    G.add_node(5)
    for name in SPANNING:
        assert same_as_networkx(name, G)
        assert same_as_networkx(name, G, weight=None)
