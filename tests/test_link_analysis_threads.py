"""Link analysis on the pool at one and two threads, against NetworkX bit for
bit: PageRank's matrix built and iterated (graphs of 20,000 nodes or more),
and eigenvector and Katz centrality gathering each node's terms (65,536
terms a step or more)."""

import functools

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



# Graphs of more than 65,536 terms a step (an undirected edge is two).
POWER_GRAPHS = {"undirected": GRAPHS["undirected"], "directed": _random(21000, 70000, 3, directed=True)}
# Calls that converge within max_iter, so that values (not a convergence error) are compared.
POWER_CALLS = {
    "eigenvector_centrality": {"tol": 1e-4, "max_iter": 100},
    "katz_centrality": {"alpha": 0.01, "max_iter": 100},
}


@functools.cache
def _power_case(gid, flavour, name, keyed):
    G = POWER_GRAPHS[gid] if flavour is None else add_weights(POWER_GRAPHS[gid], flavour, seed=5)
    # A start vector keyed in reverse: the terms reach each node in that order.
    nstart = {v: 1.0 + v % 7 for v in reversed(list(G))} if keyed else None
    kwargs = dict(POWER_CALLS[name], weight=flavour and "weight", nstart=nstart)
    expected = getattr(nx, name)(G, backend="networkx", **kwargs)
    return G, kwargs, list(expected.items())


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("keyed", [False, True])
@pytest.mark.parametrize("name", POWER_CALLS)
@pytest.mark.parametrize("flavour", [None, "float"])
@pytest.mark.parametrize("gid", POWER_GRAPHS)
def test_power_iterations_large(gid, flavour, name, keyed, threads):
    G, kwargs, expected = _power_case(gid, flavour, name, keyed)
    with nx.config.backends.fennel(n_jobs=threads):
        got = getattr(nx, name)(G, backend="fennel", **kwargs)
    assert list(got.items()) == expected
