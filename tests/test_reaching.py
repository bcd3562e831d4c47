"""Reaching centralities without weights against NetworkX over the zoo
(both sums of CPython's sum() follow the running interpreter), at one and
two threads, with NetworkX's errors; weights and given paths refused."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_reaching(gid, threads):
    G = ZOO[gid]
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx("global_reaching_centrality", G)
        for v in list(G)[:2]:
            assert same_as_networkx("local_reaching_centrality", G, v, normalized=False)
        same_as_networkx("local_reaching_centrality", G, "absent")


@pytest.mark.parametrize("G", [nx.empty_graph(1), nx.Graph([(0, 0)]), nx.empty_graph(4), nx.DiGraph([(0, 0)])])
def test_degenerate_graphs_raise_as_networkx(G):
    assert same_as_networkx("global_reaching_centrality", G)
    assert same_as_networkx("local_reaching_centrality", G, 0)


def test_weights_and_paths_are_refused():
    G = add_weights(ZOO["gnp"], "int")
    assert not same_as_networkx("global_reaching_centrality", G, weight="weight")
    assert not same_as_networkx("local_reaching_centrality", G, 0, paths=nx.shortest_path(G, 0))
