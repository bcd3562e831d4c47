"""The flow functions run over a residual network the caller gives: NetworkX
runs on that very R and returns it, so the returned object, and R's every
row, data dict, node attribute (current edges walking R's own rows) and graph
attribute after the call are compared with NetworkX's on an identical R.
Fresh networks, networks an earlier run left its flows and attributes on,
and networks that are not G's (other capacities, rows reordered by
minimum_cut) are tried; fennel serves the first two and hands the others to
NetworkX."""

import networkx as nx
import pytest
from networkx.algorithms.flow import (boykov_kolmogorov, build_residual_network, dinitz, edmonds_karp,
                                     preflow_push, shortest_augmenting_path)
from test_flow import GRAPHS, _pairs, full_shape, with_capacities
from test_preflowpush import _current_edges_read

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

FLOW_FUNCTIONS = [edmonds_karp, preflow_push, shortest_augmenting_path, dinitz, boykov_kolmogorov]


def _prepared(G, s, t, how):
    R = build_residual_network(G, "capacity", backend="networkx")
    if how == "used":  # an earlier run's flows and node attributes stay on R, even where it raised
        for run, ends in ((preflow_push, (s, t)), (shortest_augmenting_path, (t, s))):
            try:
                run(G, *ends, residual=R, backend="networkx")
            except nx.NetworkXUnbounded:
                pass
    elif how == "other_capacities":
        R = build_residual_network(G, "other", backend="networkx")
    elif how == "cut_reordered":  # minimum_cut moves saturated edges to the ends of the rows (before 3.7)
        try:
            nx.minimum_cut(G, s, t, flow_func=edmonds_karp, residual=R, backend="networkx")
        except nx.NetworkXUnbounded:
            pass
    return R


def _run(func, G, s, t, R, backend, kwargs):
    try:
        got = func(G, s, t, residual=R, backend=backend, **kwargs)
        outcome = ("returned", got is R)
    except Exception as exc:  # the error itself is compared
        outcome = ("raised", type(exc), exc.args)
    return outcome, full_shape(_current_edges_read(R))


@pytest.mark.parametrize("how", ["fresh", "used", "other_capacities", "cut_reordered"])
@pytest.mark.parametrize("flavour", ["int", "float", "inf"])
@pytest.mark.parametrize("gid", ["digraph", "graph", "loops_isolates", "str_nodes"])
@pytest.mark.parametrize("func", FLOW_FUNCTIONS, ids=lambda f: f.__name__)
def test_given_residual(func, gid, flavour, how, monkeypatch):
    G = with_capacities(GRAPHS[gid].copy(), flavour, 7)
    for u, v, d in G.edges(data=True):
        d["other"] = 1
    kwargs = {"cutoff": 2} if func is edmonds_karp else {}
    for s, t in _pairs(G)[:2]:
        expected = _run(func, G, s, t, _prepared(G, s, t, how), "networkx", kwargs)
        R = _prepared(G, s, t, how)
        handed_over = []
        dispatchable = nx.utils.backends._registered_algorithms[func.name]
        with monkeypatch.context() as m:
            orig_func = dispatchable.orig_func
            m.setattr(dispatchable, "orig_func", lambda *a, **k: handed_over.append(1) or orig_func(*a, **k))
            before = calls["ran", func.name]
            got = _run(func, G, s, t, R, "fennel", kwargs)
            assert calls["ran", func.name] > before
        assert got == expected
        # G's own network, fresh or used, is run by fennel unless the run raises (NetworkX's leaves R
        # changed); other capacities and reordered rows are NetworkX's to run.
        fresh = build_residual_network(G, "capacity", backend="networkx")
        prepared = _prepared(G, s, t, how)
        other = how == "other_capacities" or [list(r) for r in prepared._succ.values()] != [
            list(r) for r in fresh._succ.values()]
        assert bool(handed_over) == (other or expected[0][0] == "raised")


def test_multigraph_with_residual_left_to_networkx():
    G = nx.MultiDiGraph([(0, 1, {"capacity": 2}), (1, 2, {"capacity": 1})])
    R = build_residual_network(nx.DiGraph(G), "capacity", backend="networkx")
    with pytest.raises(NotImplementedError):
        edmonds_karp(G, 0, 2, residual=R, backend="fennel")
