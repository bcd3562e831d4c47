"""k_edge_components against NetworkX: components in order, each set in
iteration order, for k = 1, 2 (bridges) and beyond (minimum cuts) over many
graphs; the generator following a graph changed before its first step.
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
@pytest.mark.parametrize("k", [1, 2, 3, 4])
def test_bridges_components_and_cuts(gid, k):
    G = ZOO[gid]
    for H in (G, _hashed_labels(G)):
        assert same_as_networkx("k_edge_components", H, k)


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("directed", [False, True])
def test_cut_trees(seed, directed):
    """Denser random graphs, whose auxiliary graphs hold many cut values and sides."""
    G = nx.gnp_random_graph(30, 0.25, seed=seed, directed=directed)
    G.add_edges_from([(0, 0), (3, 3)])
    G.add_node("lone")
    for H in (G, _hashed_labels(G)):
        for k in (2, 3, 5):
            assert same_as_networkx("k_edge_components", H, k)


@pytest.mark.parametrize("k", [0, 3, -1, "2"])
def test_other_k(k):
    G = _hashed_labels(nx.barbell_graph(5, 2))
    ran = same_as_networkx("k_edge_components", G, k)
    assert ran == (k != "2")


def test_changed_before_first_step():
    G = nx.barbell_graph(4, 1)
    expected = list(nx.k_edge_components(G.copy(), 2, backend="networkx"))
    gen = nx.k_edge_components(G, 2, backend="fennel")
    G.remove_edges_from([(0, 1), (0, 2)])
    expected_changed = list(nx.k_edge_components(G, 2, backend="networkx"))
    assert expected != expected_changed
    assert list(gen) == expected_changed
