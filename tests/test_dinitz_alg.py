"""dinitz against NetworkX: R compared in full, with cutoffs, as the
maximum-flow functions' flow_func and the connectivity functions'."""

import random

import networkx as nx
import pytest
from networkx.algorithms.flow import dinitz
from test_flow import FLAVOURS, FLOW_FUNCS, GRAPHS, _pairs, same, with_capacities
from test_shortestaugmentingpath import LONG

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

ALL = {**GRAPHS, **LONG}


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ALL)
def test_against_networkx(gid, flavour):
    G = with_capacities(ALL[gid].copy(), flavour, hash(gid) % 1000)
    for s, t in _pairs(G):
        for cutoff in (None, 2, 3.5):
            assert same(dinitz, G, s, t, cutoff=cutoff)
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t, flow_func=dinitz)
            assert same(getattr(nx, name), G, s, t, flow_func=dinitz, cutoff=1)


@pytest.mark.parametrize("seed", range(6))
def test_float_rounding(seed):
    """Float capacities whose sums round: a path's bottleneck edge may keep a residual capacity."""
    rng = random.Random(seed)
    G = nx.gnp_random_graph(30, 0.2, seed=seed, directed=True)
    for _, _, d in G.edges(data=True):
        d["capacity"] = rng.choice([0.1, 0.2, 0.3, 0.7, 1e-17, 1e16, 1 / 3])
    for s, t in _pairs(G):
        assert same(dinitz, G, s, t)


def test_unbounded_and_errors():
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    G[0][2]["capacity"] = 3
    assert same(dinitz, G, 0, 2)  # 0 -> 1 -> 2 has no capacity: NetworkXUnbounded
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2, flow_func=dinitz)
    for s, t in [(0, 0), (0, "absent"), ("absent", 1)]:
        assert same(dinitz, G, s, t)
    assert not same(dinitz, G, 0, 2, residual=nx.DiGraph())  # refused, NetworkX raises
    assert not same(nx.maximum_flow_value, G, 0, 2, flow_func=dinitz, two_phase=True)  # NetworkX's TypeError


@pytest.mark.parametrize("gid", ["digraph", "str_nodes"])
def test_connectivity_flow_func(gid):
    G = ALL[gid]
    s, t = list(G)[0], list(G)[-1]
    for name in ("node_connectivity", "edge_connectivity", "minimum_node_cut", "minimum_edge_cut"):
        assert same(getattr(nx, name), G, flow_func=dinitz)
    for name in ("local_node_connectivity", "local_edge_connectivity", "minimum_st_node_cut", "minimum_st_edge_cut"):
        assert same(getattr(nx.connectivity, name), G, s, t, flow_func=dinitz)
    assert not same(nx.connectivity.local_node_connectivity, G, s, t, flow_func=dinitz, cutoff=1)


def test_empty_deque_of_parents():
    """Float rounding can leave NetworkX popping an empty deque of parents: its IndexError, raised by
    fennel at the same step (the C++ search once read past the deque there)."""
    G = with_capacities(GRAPHS["hash_colliding"].copy(), "float", 39)
    with pytest.raises(IndexError, match="pop from an empty deque"):
        dinitz(G, 0, 2496, backend="networkx")
    with pytest.raises(IndexError, match="pop from an empty deque"):
        dinitz(G, 0, 2496, backend="fennel")
    for name in FLOW_FUNCS:
        same(getattr(nx, name), G, 0, 2496, flow_func=dinitz)
