"""shortest_augmenting_path against NetworkX: R compared in full with its
node attributes (each 'height', and each 'curr_edge' by the row it walks,
the edge it stands on and the edges still ahead of it), with two_phase and
cutoffs, as the maximum-flow functions' flow_func and the connectivity
functions'."""

import networkx as nx
import pytest
from networkx.algorithms.flow import shortest_augmenting_path, shortestaugmentingpath
from networkx.algorithms.flow.utils import CurrentEdge
from test_flow import FLAVOURS, FLOW_FUNCS, GRAPHS, _pairs, full_shape, same, with_capacities
from zoo import _relabelled

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

SAP = shortest_augmenting_path


def _long_graphs():
    # Grids put t far enough from s for two_phase to end phase 1 on the way.
    grid = nx.grid_2d_graph(4, 14)
    chords = nx.path_graph(70, nx.DiGraph)
    chords.add_edges_from((i, i + 7) for i in range(0, 60, 5))
    chords.add_edges_from((i + 3, i) for i in range(0, 60, 4))
    return {"grid": grid, "grid_str": _relabelled(grid, {v: f"{v}" for v in grid}), "chords": chords}


LONG = _long_graphs()
ALL = {**GRAPHS, **LONG}


def picture(R):
    """full_shape(R) with each CurrentEdge as (its row's view of R._succ[u], its edge's key and data, keys ahead)."""
    if isinstance(R, nx.DiGraph):
        for u, data in R._node.items():
            edge = data.get("curr_edge")
            if isinstance(edge, CurrentEdge):
                curr = getattr(edge, "_curr", None)
                ahead = [v for v, _ in edge._it] if curr is not None else None
                data["curr_edge"] = (type(edge._edges), edge._edges._atlas is R._succ[u], curr and (curr[0], curr[1] is R._succ[u][curr[0]]),
                                     ahead)
    return full_shape(R)


def same_residual(G, s, t, **kwargs):
    """fennel's R (attributes pictured) equals NetworkX's; whether fennel ran."""
    def outcome(**backend):
        try:
            return ("returned", picture(SAP(G, s, t, **backend, **kwargs)))
        except Exception as exc:  # the error itself is compared
            return ("raised", type(exc), exc.args)

    expected = outcome(backend="networkx")
    before = calls["ran", "shortest_augmenting_path"]
    got = outcome(backend="fennel")
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = outcome()
    assert got == expected
    return calls["ran", "shortest_augmenting_path"] > before


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ALL)
def test_against_networkx(gid, flavour):
    G = with_capacities(ALL[gid].copy(), flavour, hash(gid) % 1000)
    for s, t in _pairs(G):
        for two_phase in (False, True):
            for cutoff in (None, 2, 3.5):
                assert same_residual(G, s, t, two_phase=two_phase, cutoff=cutoff)
            for name in FLOW_FUNCS:
                assert same(getattr(nx, name), G, s, t, flow_func=SAP, two_phase=two_phase)
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t, flow_func=SAP, cutoff=1)


def test_two_phase_reaches_phase_two(monkeypatch):
    """The graphs above take both ways out of phase 1: past the height bound and through the end."""
    switched = []
    core = shortestaugmentingpath.edmonds_karp_core
    monkeypatch.setattr(shortestaugmentingpath, "edmonds_karp_core", lambda *a: switched.append(a[3]) or core(*a))
    for gid in LONG:
        G = with_capacities(LONG[gid].copy(), "int", hash(gid) % 1000)
        for s, t in _pairs(G):
            assert same_residual(G, s, t, two_phase=True)
    assert switched


def test_unbounded_and_errors():
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    G[0][2]["capacity"] = 3
    assert same_residual(G, 0, 2)  # 0 -> 1 -> 2 has no capacity: NetworkXUnbounded
    assert same_residual(G, 0, 2, two_phase=True)
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2, flow_func=SAP)
    for s, t in [(0, 0), (0, "absent"), ("absent", 1)]:
        assert same_residual(G, s, t)
    assert not same_residual(G, 0, 2, residual=nx.DiGraph())  # refused, NetworkX raises
    assert not same_residual(G, 0, 2, two_phase=1)
    assert not same(nx.maximum_flow_value, G, 0, 2, flow_func=SAP, two_phase="yes")


CONNECTIVITY = ["node_connectivity", "edge_connectivity", "minimum_node_cut", "minimum_edge_cut",
                "average_node_connectivity", "all_pairs_node_connectivity"]


@pytest.mark.parametrize("gid", ["digraph", "graph", "str_nodes", "grid"])
def test_connectivity_flow_func(gid):
    G = ALL[gid]
    s, t = list(G)[0], list(G)[-1]
    for name in CONNECTIVITY:
        assert same(getattr(nx, name), G, flow_func=SAP)
    for name in ("local_node_connectivity", "local_edge_connectivity", "minimum_st_node_cut", "minimum_st_edge_cut"):
        assert same(getattr(nx.connectivity, name), G, s, t, flow_func=SAP)
    # A cutoff of the caller's is NetworkX's: where shortest_augmenting_path stops past it is its own.
    assert not same(nx.connectivity.local_edge_connectivity, G, s, t, flow_func=SAP, cutoff=1)
