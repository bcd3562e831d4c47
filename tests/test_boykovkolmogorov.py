"""boykov_kolmogorov against NetworkX: R compared in full with its search
trees (R.graph['trees'], dicts in order), with cutoffs, as the maximum-flow
functions' flow_func and the connectivity functions'."""

import networkx as nx
import pytest
from networkx.algorithms.flow import boykov_kolmogorov
from test_flow import FLAVOURS, FLOW_FUNCS, GRAPHS, _pairs, same, with_capacities
from test_shortestaugmentingpath import LONG

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

ALL = {**GRAPHS, **LONG}
BK = boykov_kolmogorov


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ALL)
def test_against_networkx(gid, flavour):
    G = with_capacities(ALL[gid].copy(), flavour, hash(gid) % 1000)
    for s, t in _pairs(G):
        for cutoff in (None, 2, 3.5):
            assert same(BK, G, s, t, cutoff=cutoff)
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t, flow_func=BK)
            assert same(getattr(nx, name), G, s, t, flow_func=BK, cutoff=1)


def test_unbounded_and_errors():
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    G[0][2]["capacity"] = 3
    assert same(BK, G, 0, 2)  # 0 -> 1 -> 2 has no capacity: NetworkXUnbounded
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2, flow_func=BK)
    for s, t in [(0, 0), (0, "absent"), ("absent", 1)]:
        assert same(BK, G, s, t)
    assert not same(BK, G, 0, 2, residual=nx.DiGraph())  # refused, NetworkX raises


@pytest.mark.parametrize("gid", ["graph", "mixed_nodes"])
def test_connectivity_flow_func(gid):
    G = ALL[gid]
    s, t = list(G)[0], list(G)[-1]
    for name in ("node_connectivity", "edge_connectivity", "minimum_node_cut", "minimum_edge_cut"):
        assert same(getattr(nx, name), G, flow_func=BK)
    for name in ("local_node_connectivity", "local_edge_connectivity", "minimum_st_node_cut", "minimum_st_edge_cut"):
        assert same(getattr(nx.connectivity, name), G, s, t, flow_func=BK)
    assert not same(nx.connectivity.local_edge_connectivity, G, s, t, flow_func=BK, cutoff=1)
