"""square_clustering, generalized_degree and weighted clustering against
NetworkX over the zoo. generalized_degree's Counters list their keys, and
weighted clustering sums its cube roots, in the orders of sets of
neighbours, so colliding int hashes and str nodes under several hash seeds
are among the cases."""

from collections import Counter

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from test_clique import same_under_hash_seeds
from zoo import FLAVOURS, ZOO, ZOO_IDS, _relabelled, add_weights, two_weight_view

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

HUBS = nx.barabasi_albert_graph(300, 4, seed=2)
EXTRA = {
    "hubs": HUBS,
    "hubs_collisions": _relabelled(HUBS, {i: i * 64 for i in HUBS}),
    "dense_digraph": nx.gnp_random_graph(40, 0.3, seed=3, directed=True),
    "dense_digraph_str": _relabelled(nx.gnp_random_graph(40, 0.3, seed=5, directed=True), lambda i: f"d{i}"),
    "clustered_str": _relabelled(nx.powerlaw_cluster_graph(200, 6, 0.8, seed=4), lambda i: f"s{i}"),
    "complete": nx.complete_graph(24),  # groups of 8 terms and more: numpy's pairwise sums
}


def _node_args(G):
    nodes = list(G)
    return [None, nodes[0], nodes[::2] + ["absent"]] if nodes else [None]


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_square_clustering(gid, threads):
    G = EXTRA.get(gid) or ZOO[gid]
    with nx.config.backends.fennel(n_jobs=threads):
        for nodes in _node_args(G):
            assert same_as_networkx("square_clustering", G, nodes)


@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_generalized_degree(gid):
    G = EXTRA.get(gid) or ZOO[gid]
    served = not G.is_directed() and not G.is_multigraph()
    for nodes in _node_args(G):
        assert same_as_networkx("generalized_degree", G, nodes) == served
    if served and len(G):
        got = nx.generalized_degree(G, backend="fennel")
        assert {type(c) for c in got.values()} == {Counter}


_SEEDED = """
import networkx as nx
G = nx.relabel_nodes(nx.barabasi_albert_graph(200, 5, seed=8), lambda i: f"n{i}")
ours = nx.generalized_degree(G, backend="fennel")
theirs = nx.generalized_degree(G)
print([list(c.items()) for c in ours.values()] == [list(c.items()) for c in theirs.values()],
      [list(c) for c in theirs.values()][:20])
"""


def test_str_node_orders_follow_the_hash_seed():
    same_under_hash_seeds(_SEEDED)


@pytest.mark.parametrize("flavour", [*FLAVOURS, "tied", "zero"])
@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_weighted_clustering(gid, flavour):
    G = add_weights(EXTRA.get(gid) or ZOO[gid], flavour, seed=len(gid))
    served = not G.is_multigraph() and flavour != "none"
    ran = [same_as_networkx("clustering", G, nodes, weight="weight") for nodes in _node_args(G)]
    ran.append(same_as_networkx("average_clustering", G, weight="weight", count_zeros=False))
    # a graph without edges has no weights to refuse
    assert all(ran) == (served or G.number_of_edges() == 0 and not G.is_multigraph())


_WEIGHTED_SEEDED = """
import random
import networkx as nx
G = nx.relabel_nodes(nx.complete_graph(40), lambda i: f"n{i}")
rng = random.Random(1)
for u, v, d in G.edges(data=True):
    d["weight"] = rng.random()
ours = nx.clustering(G, weight="weight", backend="fennel")
theirs = nx.clustering(G, weight="weight")
print([x.hex() for x in ours.values()] == [x.hex() for x in theirs.values()], sorted(theirs.values())[:3])
"""


@pytest.mark.parametrize("name", ["clustering", "average_clustering"])
def test_rows_with_two_weights_are_left_to_networkx(name):
    assert not same_as_networkx(name, two_weight_view(), weight="weight")
    assert same_as_networkx(name, two_weight_view())


def test_weighted_sums_follow_the_hash_seed():
    same_under_hash_seeds(_WEIGHTED_SEEDED)


def _special(G, values):
    H = G.copy()
    for i, (_, _, d) in enumerate(H.edges(data=True)):
        d["weight"] = values[i % len(values)]
    return H


np = pytest.importorskip("numpy")
SPECIAL = {
    "numpy_floats": [np.float64(0.5), np.float64(2.25), 1.5],
    "numpy_ints": [np.int64(3), 1, np.int64(7)],
    "bools": [True, 1, 2],
    "negative": [-1.5, 2.0, -0.25],
    "infinite": [float("inf"), 1.0, 2.0],
    "nan": [1.0, float("nan"), 3.0],
    "all_zero": [0, 0.0],
    "huge_ints": [2**60, 1],
}


# NaN (read as a hidden value), a zero maximum and ints past 2**53 are left to NetworkX.
REFUSED = {"nan", "all_zero", "huge_ints"}


@pytest.mark.parametrize("kind", SPECIAL)
@pytest.mark.parametrize("gid", ["complete", "dense_digraph_str", "clustered_str"])
def test_weighted_clustering_over_special_weights(gid, kind):
    G = _special(EXTRA[gid], SPECIAL[kind])
    ran = [same_as_networkx("clustering", G, weight="weight"), same_as_networkx("average_clustering", G, weight="weight")]
    assert ran == [kind not in REFUSED] * 2
