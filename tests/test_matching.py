"""The greedy maximal matching against NetworkX: the set's members and its
iteration order."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_directed() and not ZOO[g].is_multigraph()])
def test_zoo(gid):
    G = ZOO[gid]
    assert same_as_networkx("maximal_matching", G)
    # Rows listing earlier neighbours first: G.edges() takes each edge from its first endpoint.
    H = nx.Graph()
    H.add_nodes_from(reversed(list(G)))
    H.add_edges_from((v, u) for u, v in reversed(list(G.edges)))
    assert same_as_networkx("maximal_matching", H)
