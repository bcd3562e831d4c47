"""Reaching centralities without weights against NetworkX over the zoo
(both sums of CPython's sum() follow the running interpreter), at one and
two threads, with NetworkX's errors; weights and given paths refused."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


# Over 64 nodes: many sources run 64 at a time.
EXTRA = {
    "hubs": nx.barabasi_albert_graph(300, 3, seed=1),
    "sparse_digraph": nx.gnp_random_graph(200, 0.01, seed=2, directed=True),
    "pieces": nx.disjoint_union_all([nx.path_graph(70), nx.cycle_graph(9), nx.empty_graph(5)]),
}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_reaching(gid, threads):
    G = EXTRA.get(gid) or ZOO[gid]
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
