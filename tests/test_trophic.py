"""Trophic levels, differences and incoherence against NetworkX, bit for bit."""

import random

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

CALLS = [
    ("trophic_levels", {}),
    ("trophic_differences", {}),
    ("trophic_incoherence_parameter", {}),
    ("trophic_incoherence_parameter", {"cannibalism": True}),
]


def food_web(G, seed):
    """G's edges pointed down its node order (so every node is fed from a basal one), with some
    edges pointed back up and the self-loops kept, in G's node and edge order."""
    rng = random.Random(seed)
    H = nx.MultiDiGraph() if G.is_multigraph() else nx.DiGraph()
    H.add_nodes_from(G)
    position = {v: i for i, v in enumerate(G)}
    for u, v in G.edges():
        if position[u] > position[v] or (position[u] < position[v] and rng.random() < 0.1):
            u, v = v, u
        H.add_edge(u, v)
    return H


@pytest.mark.parametrize("flavour", [None, "int", "float", "mixed", "missing", "none"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid, flavour):
    G = ZOO[gid] if ZOO[gid].is_directed() else food_web(ZOO[gid], len(gid))
    if flavour is not None:
        G = add_weights(G, flavour, seed=len(gid))
    served = not G.is_multigraph() and (flavour != "none" or G.number_of_edges() == 0)
    for name, kwargs in CALLS:
        assert same_as_networkx(name, G, **kwargs) is served
        assert same_as_networkx(name, G, weight=None, **kwargs) is not G.is_multigraph()


def _raw(edges, nodes=()):
    G = nx.DiGraph()
    G.add_nodes_from(nodes)
    G.add_edges_from(edges)
    return G


@pytest.mark.parametrize(
    "G",
    [
        _raw([(0, 1), (1, 2), (2, 1)]),  # a cycle fed from a basal node
        _raw([(0, 1), (1, 0)]),  # no basal node
        _raw([(0, 1), (2, 3), (3, 2)]),  # a cycle no basal node reaches
        _raw([(0, 1, {"weight": 1}), (2, 1, {"weight": -1})]),  # in-weights summing to zero
        _raw([(0, 1, {"weight": 0})]),  # a zero in-weight
        _raw([(0, 1, {"weight": 2.5}), (1, 1, {"weight": 3.5}), (1, 2)]),  # a self-loop
        _raw([(1, 1)], [0]),  # fed only by itself
        _raw([(0, 1, {"weight": float("nan")}), (1, 2)]),
        _raw([(0, 1, {"weight": 2**60}), (1, 2)]),
    ],
)
def test_edge_cases(G):
    for name, kwargs in CALLS:
        same_as_networkx(name, G, **kwargs)


@pytest.mark.parametrize(
    "G",
    [nx.MultiDiGraph([(0, 1), (1, 2), (0, 2)]), nx.MultiDiGraph([(1, 0), (0, 0)]),
     nx.MultiDiGraph([(0, 1), (1, 2), (1, 2), (2, 3)]).subgraph([0, 1, 3])],
    ids=["simple_edges", "self_loop", "view_without_parallel_edges"],
)
def test_multigraph_without_parallel_edges(G):
    """NetworkX's differences loop unpacks a multigraph's keyed edges into two names (ValueError): only the
    levels are fennel's."""
    for name, kwargs in CALLS:
        assert same_as_networkx(name, G, **kwargs) is (name == "trophic_levels")


@pytest.mark.parametrize("kind", [np.int64, np.float64, np.bool_, bool])
def test_numpy_and_bool_weights(kind):
    rng = random.Random(5)
    G = food_web(nx.gnm_random_graph(40, 120, seed=5), 5)
    for u, v, d in G.edges(data=True):
        d["weight"] = kind(rng.choice([1, 2, 3]) if kind is not bool else rng.random() < 0.9)
    for name, kwargs in CALLS:
        assert same_as_networkx(name, G, **kwargs)
