"""Degree centralities against NetworkX, bit for bit, over the zoo."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

from fennel.backend import calls, registry, should_run

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

DEGREE = ["degree_centrality", "in_degree_centrality", "out_degree_centrality"]

GRAPHS = {
    **ZOO,
    "multigraph_no_parallel": nx.MultiGraph(nx.path_graph(5)),
    "multidigraph_loops_no_parallel": nx.MultiDiGraph([(0, 1), (1, 1), (2, 0), (1, 0)]),
    "digraph_single_loop": nx.DiGraph([(0, 0)]),
}


def _parallel(G):
    return G.is_multigraph() and any(len(keys) > 1 for row in G._adj.values() for keys in row.values())


@pytest.mark.parametrize("name", DEGREE)
@pytest.mark.parametrize("gid", list(GRAPHS), ids=[*ZOO_IDS, *list(GRAPHS)[len(ZOO) :]])
def test_degree_centrality(gid, name):
    G = GRAPHS[gid]
    if name != "degree_centrality" and not G.is_directed():
        with pytest.raises(nx.NetworkXNotImplemented):
            getattr(nx, name)(G, backend="fennel")
        return
    refused = calls["refused", name]
    ran = same_as_networkx(name, G)
    assert ran == (not _parallel(G))
    assert (calls["refused", name] > refused) == _parallel(G)


def test_degree_centrality_never_pays_for_a_conversion(monkeypatch):
    name = "degree_centrality"
    monkeypatch.setitem(registry.SHOULD_RUN_MIN_WORK, name, registry.BY_NAME[name].min_work)
    G = nx.gnp_random_graph(3000, 0.003, seed=1)
    assert "work" in should_run(name, (G,), {})
    nx.degree_centrality(G, backend="fennel")  # converted, and cached on G
    assert should_run(name, (G,), {}) is True
    H = nx.path_graph(50)
    nx.degree_centrality(H, backend="fennel")
    assert "work" in should_run(name, (H,), {})  # converted, but too small
