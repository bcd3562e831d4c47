"""Dominating sets against NetworkX: each greedy set element by element in
its iteration order (the greedy set's pops follow the nodes' hashes, so
graphs with colliding and seed-dependent hashes are among the cases), the
check, and NetworkX's errors."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from test_clique import same_under_hash_seeds
from zoo import ZOO, _relabelled, _shuffled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _graphs():
    cases = dict(ZOO)
    sparse = nx.gnm_random_graph(300, 450, seed=4)
    cases.update({
        "sparse": sparse,
        "sparse_shuffled": _shuffled(sparse, 5),
        "sparse_str": _relabelled(sparse, {i: f"v{i}" for i in sparse}),
        # multiples of 64 share low hash bits: long probe chains, many dummies
        "collisions": _relabelled(sparse, {i: i * 64 for i in sparse}),
        "big_ints": _relabelled(sparse, {i: 2**61 - 7 * i for i in sparse}),
        "star": nx.star_graph(200),
        "path_digraph": nx.path_graph(500, create_using=nx.DiGraph),
        "connected_multi": nx.MultiGraph(nx.connected_watts_strogatz_graph(120, 4, 0.3, seed=6)),
    })
    cases["connected_multi"].add_edges_from([(0, 1), (0, 1), (2, 2), (5, 9)])
    return cases


GRAPHS = _graphs()


@pytest.mark.parametrize("gid", GRAPHS)
def test_dominating_set(gid):
    G = GRAPHS[gid]
    nodes = list(G)
    assert same_as_networkx("dominating_set", G) or not G  # an empty graph is left to NetworkX
    for start in nodes[1:3] + nodes[-1:]:
        assert same_as_networkx("dominating_set", G, start)
    for chosen in (nodes[::2], nodes[:3] + ["absent", ["unhashable"]], []):
        assert same_as_networkx("is_dominating_set", G, chosen)
    ran = same_as_networkx("connected_dominating_set", G)
    assert ran or G.is_directed() or not G or not nx.is_connected(G)


@pytest.mark.parametrize("start", ["absent", ["unhashable"]])
def test_start_not_in_graph_answered_as_networkx(start):
    assert not same_as_networkx("dominating_set", GRAPHS["sparse"], start)


def test_start_equal_to_a_node_is_kept_as_given():
    G = nx.path_graph(6)
    got = nx.dominating_set(G, 2.0, backend="fennel")
    assert [type(v) for v in got] == [type(v) for v in nx.dominating_set(G, 2.0)]


_SEEDED = """
import networkx as nx
G = nx.relabel_nodes(nx.gnm_random_graph(200, 300, seed=8), lambda i: f"n{i}")
print(list(nx.dominating_set(G, backend="fennel")) == list(nx.dominating_set(G)), list(nx.dominating_set(G))[:8])
"""


def test_string_orders_follow_the_hash_seed():
    same_under_hash_seeds(_SEEDED)
