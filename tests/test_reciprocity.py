"""Reciprocity against NetworkX over the zoo: per node, for node lists, and
overall (self-loops, isolated nodes, and NetworkX's errors included)."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_reciprocity(gid):
    G = ZOO[gid]
    nodes = list(G)
    # Undirected graphs: 0.0 overall; per node NetworkX's AttributeError (left to it).
    assert same_as_networkx("overall_reciprocity", G) == (not G.is_multigraph())
    assert same_as_networkx("reciprocity", G) == (not G.is_multigraph())
    served = G.is_directed() and not G.is_multigraph()
    ran = [same_as_networkx("reciprocity", G, v) for v in nodes[:3] + nodes[-2:]]
    for nbunch in (nodes[::2] + ["absent"], G, G.nodes):
        ran.append(same_as_networkx("reciprocity", G, nbunch))
    assert all(ran) == served


def test_isolated_node_and_empty_graph_raise_as_networkx():
    G = nx.DiGraph([(0, 1), (1, 0), (2, 2)])
    G.add_node(3)
    assert same_as_networkx("reciprocity", G, 3)
    assert same_as_networkx("reciprocity", G, 2)  # a self-loop sits in both of its sets
    assert same_as_networkx("reciprocity", G, [3, 2])
    assert same_as_networkx("overall_reciprocity", nx.DiGraph([(0, 0)]))
    assert same_as_networkx("overall_reciprocity", nx.empty_graph(3, create_using=nx.DiGraph))
