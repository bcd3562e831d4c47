"""Isolates against NetworkX: the generator's order and its lazy reading of a
graph changed while it runs, the count, and the one-node check."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid):
    G = ZOO[gid]
    for H in (G, G.to_directed() if not G.is_directed() else G.to_undirected()):
        assert same_as_networkx("isolates", H)
        assert same_as_networkx("number_of_isolates", H)
        for v in list(H)[:20]:
            assert same_as_networkx("is_isolate", H, v)


CHANGES = {
    # a later isolate gains an edge; an earlier node loses its only one
    "isolate_joined": lambda G: G.add_edge(8, 1),
    "node_freed": lambda G: G.remove_edge(2, 3),
    "node_removed": lambda G: G.remove_node(8),
    "node_added": lambda G: G.add_node("new"),
    "self_loop": lambda G: G.add_edge(9, 9),
}


@pytest.mark.parametrize("directed", [False, True], ids=["graph", "digraph"])
@pytest.mark.parametrize("when", ["before_first", "after_first", "after_last"])
@pytest.mark.parametrize("change", list(CHANGES))
def test_graph_changed_while_iterating(change, when, directed):
    def run(backend):
        G = (nx.DiGraph if directed else nx.Graph)()
        G.add_nodes_from(range(10))
        G.add_edges_from([(1, 2), (2, 3), (4, 5)])
        found = nx.isolates(G, backend=backend)
        seen = []
        try:
            if when == "before_first":
                CHANGES[change](G)
            for v in found:
                seen.append(v)
                if (when == "after_first" and len(seen) == 1) or (when == "after_last" and v == 9):
                    CHANGES[change](G)
        except RuntimeError as exc:
            return seen, str(exc)
        return seen, None

    before = calls["ran", "isolates"]
    assert run("fennel") == run("networkx")
    assert calls["ran", "isolates"] == before + 1


def test_is_isolate_of_a_missing_node_left_to_networkx():
    G = nx.path_graph(3)
    with pytest.raises(NotImplementedError):
        nx.is_isolate(G, 7, backend="fennel")
