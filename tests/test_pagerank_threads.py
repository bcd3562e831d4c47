"""PageRank's matrix built and iterated on the pool (graphs of 20,000 nodes or
more) at one and two threads, against NetworkX bit for bit."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _random(n, m, seed, directed=False):
    G = nx.gnm_random_graph(n, m, seed=seed, directed=directed)  # rows come unsorted
    G.add_edges_from([(0, 0), (7, 7)])
    G.add_nodes_from(range(n, n + 50))  # isolated: dangling mass
    return G


GRAPHS = {
    "undirected": _random(21000, 60000, 1),
    "directed": _random(21000, 60000, 2, directed=True),
    # Rows already sorted by target: the graph's own rows are the columns.
    "grid": nx.convert_node_labels_to_integers(nx.grid_2d_graph(150, 150)),
}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("flavour", [None, "float", "int"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_pagerank_large(gid, flavour, threads):
    G = GRAPHS[gid] if flavour is None else add_weights(GRAPHS[gid], flavour, seed=4)
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx("pagerank", G)
        if flavour == "float":
            personal = {v: float(v % 5) for v in G}
            assert same_as_networkx("pagerank", G, alpha=0.9, personalization=personal, dangling=personal)
