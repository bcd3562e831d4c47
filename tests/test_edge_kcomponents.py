"""k_edge_components against NetworkX: components in order, each set in
iteration order, for k = 1 and 2 (bridges) over many graphs; larger k left
to NetworkX; the generator following a graph changed before its first step.
"""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

SIMPLE = [gid for gid in ZOO_IDS if not ZOO[gid].is_multigraph()]


def _hashed_labels(G):
    """The graph with string labels, whose set order is not the insertion order."""
    return nx.relabel_nodes(G, {u: f"n{u!r}" for u in G})


@pytest.mark.parametrize("gid", SIMPLE)
@pytest.mark.parametrize("k", [1, 2])
def test_bridges_and_components(gid, k):
    G = ZOO[gid]
    for H in (G, _hashed_labels(G)):
        # A directed graph's k = 2 comes from NetworkX's minimum cuts: left to it.
        assert same_as_networkx("k_edge_components", H, k) == (k == 1 or not G.is_directed())


@pytest.mark.parametrize("k", [0, 3, -1, "2"])
def test_other_k(k):
    G = _hashed_labels(nx.barbell_graph(5, 2))
    ran = same_as_networkx("k_edge_components", G, k)
    assert ran == (k in (0, -1))


def test_changed_before_first_step():
    G = nx.barbell_graph(4, 1)
    expected = list(nx.k_edge_components(G.copy(), 2, backend="networkx"))
    gen = nx.k_edge_components(G, 2, backend="fennel")
    G.remove_edges_from([(0, 1), (0, 2)])
    expected_changed = list(nx.k_edge_components(G, 2, backend="networkx"))
    assert expected != expected_changed
    assert list(gen) == expected_changed
