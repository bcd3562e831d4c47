"""Stoer–Wagner against NetworkX: the cut value with its type and float
bits, both partition lists in order, and NetworkX's errors, over weights of
every flavour (ties everywhere with unit weights, so the heap's insertion
order decides), node kinds, insertion orders and self-loops."""

import random

import networkx as nx
import pytest
from networkx.utils import PairingHeap
from zoo import _relabelled, _shuffled, shape

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _outcome(G, kwargs):
    try:
        return ("returned", shape(nx.stoer_wagner(G, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(G, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran."""
    expected = _outcome(G, {**kwargs, "backend": "networkx"})
    before = calls["ran", "stoer_wagner"]
    got = _outcome(G, {**kwargs, "backend": "fennel"})
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(G, kwargs)
    assert got == expected
    return calls["ran", "stoer_wagner"] > before


def weighted(G, flavour, seed):
    rng = random.Random(seed)
    for _, _, d in G.edges(data=True):
        if flavour == "int":
            d["weight"] = rng.randint(0, 4)
        elif flavour == "float":
            d["weight"] = rng.choice([0.0, 0.1, 0.7, 1.3, 2.5, 1e-9, 3.3e5])
        elif flavour == "mixed":
            d["weight"] = rng.choice([1, 2, 0, 0.5, 1.1, 2.0, True])
        elif flavour == "missing" and rng.random() < 0.6:
            d["weight"] = rng.randint(1, 3)
    return G


def _graphs():
    und = nx.connected_watts_strogatz_graph(40, 4, 0.3, seed=2)
    loops = nx.gnp_random_graph(25, 0.3, seed=3)
    loops.add_edges_from([(0, 0), (5, 5)])
    return {
        "watts": und,
        "loops": loops,
        "complete": nx.complete_graph(9),
        "cycle": nx.cycle_graph(12),
        "barbell": nx.barbell_graph(6, 3),
        "shuffled": _shuffled(und, 4),
        "str_nodes": _relabelled(und, {i: f"v{i}" for i in und}),
        "mixed_nodes": _relabelled(und, {i: (i if i % 3 else ("t", i)) if i % 2 else f"s{i}" for i in und}),
        "hash_colliding": _relabelled(und, {i: i * 64 for i in und}),
        "two_nodes": nx.path_graph(2),
    }


GRAPHS = _graphs()


@pytest.mark.parametrize("flavour", ["none", "int", "float", "mixed", "missing"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_against_networkx(gid, flavour):
    G = weighted(GRAPHS[gid].copy(), flavour, hash(gid) % 1000)
    assert same(G)
    nx.set_edge_attributes(G, {e: 3 for e in list(G.edges)[::3]}, "other")
    assert same(G, weight="other")


@pytest.mark.parametrize(
    "G",
    [nx.Graph(), nx.empty_graph(1), nx.empty_graph(3), nx.Graph([(0, 1), (2, 3)]),
     nx.Graph([(0, 1, {"weight": 1}), (1, 2, {"weight": -1})]), nx.Graph([(0, 1, {"weight": -0.0})]),
     nx.Graph([(0, 1), (1, 1, {"weight": -5})])],
    ids=["empty", "one", "edgeless", "disconnected", "negative", "minus_zero", "negative_loop"],
)
def test_errors_and_edges_of_the_checks(G):
    assert same(G)


@pytest.mark.parametrize(
    ("weight", "kwargs"),
    [(float("nan"), {}), (float("inf"), {}), ("3", {}), (2**60, {}), (1, {"heap": PairingHeap})],
)
def test_refused_calls_answered_by_networkx(weight, kwargs):
    G = nx.cycle_graph(6)
    G[0][1]["weight"] = weight
    assert not same(G, **kwargs)


def _views():
    G = weighted(nx.connected_watts_strogatz_graph(40, 6, 0.3, seed=5), "mixed", 1)
    return {"subgraph": G.subgraph(range(3, 38)), "restricted": nx.restricted_view(G, [4], [(0, 1)]),
            "to_undirected": G.to_directed().to_undirected(as_view=True)}


@pytest.mark.parametrize("V", _views().values(), ids=_views().keys())
def test_graph_views(V):
    """Views list their edges (and weights) through NetworkX's filters, in its orders."""
    assert same(V)
