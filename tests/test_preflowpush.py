"""Preflow-push and the maximum-flow functions run with it against NetworkX:
R compared in full (rows in order, data dicts and their values' types, graph
attributes, every node's excess, height and current edge), over graphs whose
set orders differ (colliding hashes, str, tuple and mixed nodes) and over
the global relabelling frequencies that change which steps run."""

import networkx as nx
import pytest
from networkx.algorithms.flow import build_residual_network, edmonds_karp, preflow_push
from test_flow import FLAVOURS, GRAPHS, _pairs, full_shape, with_capacities
from zoo import _relabelled

from fennel.backend import RELEASE_REFUSALS, calls

pytestmark = [
    pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs"),
    pytest.mark.skipif("preflow_push" in RELEASE_REFUSALS, reason="the installed NetworkX keeps the flows for itself"),
]

FLOW_FUNCS = ["maximum_flow", "maximum_flow_value", "minimum_cut", "minimum_cut_value"]


def _current_edges_read(R):
    """R with each 'curr_edge' replaced by where it stands: its current key, whether it holds R's own data
    dict and reads R's own row, and the keys its iterator has left."""
    if isinstance(R, nx.DiGraph):
        for u, d in R.nodes(data=True):
            edge = d.get("curr_edge")
            if edge is not None:
                row = R._succ[u]
                if hasattr(edge, "_curr"):
                    v, data = edge._curr
                    d["curr_edge"] = (v, data is row[v], edge._edges._atlas is row, [w for w, _ in edge._it])
                else:
                    d["curr_edge"] = ("empty", edge._edges._atlas is row, len(row))
    return R


def _outcome(func, args, kwargs):
    try:
        return ("returned", full_shape(_current_edges_read(func(*args, **kwargs))))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(func, *args, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran, or NetworkX's run fails on a step (float
    rounding can leave an excess behind saturated edges, min() of nothing, t out of s's reach in the
    second phase, a KeyError, or heights past its levels, an IndexError), where fennel's hands over to
    NetworkX."""
    name = func.name
    expected = _outcome(func, args, {**kwargs, "backend": "networkx"})
    before = calls["ran", name]
    got = _outcome(func, args, {**kwargs, "backend": "fennel"})
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(func, args, kwargs)
    assert got == expected
    return calls["ran", name] > before or expected[:2] in [("raised", e) for e in (ValueError, KeyError, IndexError)]


def _more_graphs():
    big = nx.gnp_random_graph(150, 0.04, seed=7, directed=True)
    layered = nx.DiGraph()  # many nodes of one height: deep levels, gaps and parked nodes
    for i in range(6):
        for a in range(5):
            for b in range(5):
                if (a + b + i) % 3:
                    layered.add_edge((i, a), (i + 1, b))
    layered.add_edges_from([((6, a), (5, a)) for a in range(5)])
    und = GRAPHS["graph"]
    return {
        "big": big,
        "layered": layered,
        "minus_one": _relabelled(und, {i: -i for i in und}),  # hash(-1) == hash(-2)
        "collide8": _relabelled(GRAPHS["digraph"], {i: 8 * i if i % 2 else -8 * i - 1 for i in GRAPHS["digraph"]}),
        "tuples": _relabelled(big, {i: (i % 7, str(i)) for i in big}),
    }


ALL = {**GRAPHS, **_more_graphs()}
FREQS = [1, None, 0, 0.25, 3, float("inf"), float("nan")]


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ALL)
def test_preflow_push_against_networkx(gid, flavour):
    G = with_capacities(ALL[gid].copy(), flavour, hash(gid) % 1000)
    for s, t in _pairs(G):
        for value_only in (False, True):
            assert same(preflow_push, G, s, t, value_only=value_only)
        for freq in FREQS[1:]:
            assert same(preflow_push, G, s, t, global_relabel_freq=freq)
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t)
            assert same(getattr(nx, name), G, s, t, flow_func=preflow_push, global_relabel_freq=0.5)


@pytest.mark.parametrize(
    ("s", "t", "kwargs"),
    [(0, 0, {}), (0, "absent", {}), ("absent", 1, {}), (["unhashable"], 1, {}), (0, 1, {"global_relabel_freq": -1}),
     (0, 1, {"global_relabel_freq": -0.5})],
)
def test_errors_as_networkx(s, t, kwargs):
    G = with_capacities(GRAPHS["digraph"].copy(), "int", 5)
    assert same(preflow_push, G, s, t, **kwargs)
    same(preflow_push, nx.MultiDiGraph([(0, 1), (0, 1)]), s, t, **kwargs)


def test_unbounded_and_small_graphs():
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    G[0][2]["capacity"] = 3
    assert same(preflow_push, G, 0, 2)  # 0 -> 1 -> 2 has no capacity at all
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2)
    assert same(preflow_push, nx.DiGraph([(0, 1)]), 0, 1)  # inf falls back to 1
    H = nx.DiGraph([(1, 0)])  # t out of reach: no heights, no current edges
    H.add_node(2)
    assert same(preflow_push, H, 0, 1)
    assert same(preflow_push, H, 0, 2)


@pytest.mark.parametrize(
    "kwargs",
    [{"flow_func": preflow_push, "cutoff": 1}, {"flow_func": preflow_push, "residual": "own"},
     {"flow_func": preflow_push, "global_relabel_freq": 2**60}, {"flow_func": None, "global_relabel_freq": 2}],
)
def test_refused_keywords_answered_by_networkx(kwargs):
    G = with_capacities(GRAPHS["digraph"].copy(), "int", 6)
    if kwargs.get("residual") == "own":
        kwargs = {**kwargs, "residual": build_residual_network(G, "capacity")}
    for name in FLOW_FUNCS:
        assert not same(getattr(nx, name), G, 0, 5, **kwargs)
    # Called directly, preflow_push runs over the caller's residual network (see test_flow_residual).
    assert same(preflow_push, G, 0, 5, residual=build_residual_network(G, "capacity"))


def test_edmonds_karp_still_served_beside():
    G = with_capacities(GRAPHS["graph"].copy(), "mixed", 8)
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 7, flow_func=edmonds_karp)
