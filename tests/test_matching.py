"""Matchings against NetworkX: the sets' members and their iteration order.
"""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights, two_weight_view

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


WEIGHTED = [g for g in ZOO_IDS if ZOO[g].number_of_nodes() <= 80]


def _random_weighted(seed, n, flavour):
    """A random graph whose weights force tie-breaks (small int ranges) or follow a flavour."""
    rng = random.Random(seed)
    G = nx.gnp_random_graph(n, rng.choice([0.1, 0.25, 0.5]), seed=seed)
    for _, _, d in G.edges(data=True):
        if flavour == "ties":
            d["weight"] = rng.randint(0, 2)
        elif flavour == "signed":
            d["weight"] = rng.randint(-3, 6)
        elif flavour == "float":
            d["weight"] = rng.random() * 10 - 1
        elif flavour == "mixed_missing" and rng.random() < 0.7:
            d["weight"] = rng.choice([1, 2, 0.5, 2.5])
    return G


@pytest.mark.parametrize("maxcardinality", [False, True], ids=["maxweight", "maxcard"])
@pytest.mark.parametrize("flavour", ["int", "float", "mixed", "missing", "none", "tied", "zero"])
@pytest.mark.parametrize("gid", WEIGHTED)
def test_max_weight_zoo(gid, flavour, maxcardinality):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    ran = same_as_networkx("max_weight_matching", G, maxcardinality=maxcardinality)
    # Directed graphs and multigraphs raise in NetworkX; None weights are left to it.
    assert ran == (not G.is_directed() and not G.is_multigraph() and (flavour != "none" or not G.edges))


@pytest.mark.parametrize("flavour", ["ties", "signed", "float", "mixed_missing"])
@pytest.mark.parametrize("seed", range(12))
def test_max_weight_random(seed, flavour):
    G = _random_weighted(seed, 10 + 7 * seed, flavour)
    for maxcardinality in (False, True):
        assert same_as_networkx("max_weight_matching", G, maxcardinality, "weight")
    # The same graph inserted in another order: other scans, other tie-breaks.
    nodes = list(G)
    random.Random(seed).shuffle(nodes)
    H = nx.Graph()
    H.add_nodes_from(nodes)
    H.add_edges_from(reversed(list(G.edges(data=True))))
    H.add_edge(nodes[0], nodes[0], weight=50)  # self-loops never match, nor set the largest weight
    assert same_as_networkx("max_weight_matching", H, maxcardinality=True)


@pytest.mark.parametrize(
    "value, ran",
    [(True, False), (2**60, False), (float("inf"), False), (float("nan"), False), ("3", False), (3, True)],
    ids=["bool", "huge_int", "inf", "nan", "str", "int"],
)
def test_max_weight_refused_weights(value, ran):
    G = _random_weighted(3, 20, "ties")
    u, v = next(iter(G.edges))
    G[u][v]["weight"] = value
    assert same_as_networkx("max_weight_matching", G) == ran


def test_max_weight_other_attribute_and_none():
    G = _random_weighted(5, 30, "signed")
    for u, v, d in G.edges(data=True):
        d["cost"] = (u * 7 + v) % 4
    assert same_as_networkx("max_weight_matching", G, weight="cost")
    assert same_as_networkx("max_weight_matching", G, weight=None)


@pytest.mark.parametrize("flavour", ["int", "float", "mixed", "missing", "tied", "zero"])
@pytest.mark.parametrize("gid", WEIGHTED)
def test_min_weight_zoo(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=len(gid) + 1)
    ran = same_as_networkx("min_weight_matching", G)
    assert ran == (not G.is_directed() and not G.is_multigraph())


@pytest.mark.parametrize("flavour", ["ties", "signed", "float", "mixed_missing"])
@pytest.mark.parametrize("seed", range(8))
def test_min_weight_random(seed, flavour):
    G = _random_weighted(seed, 8 + 6 * seed, flavour)
    G.add_node("isolated")  # the inverted graph drops it
    G.add_edge(0, 0, weight=99)  # a self-loop sets the largest weight it inverts from
    assert same_as_networkx("min_weight_matching", G)
    assert same_as_networkx("min_weight_matching", G, weight=None)


def _candidates(G):
    """Matchings to check: maximal, one edge short, as a dict, and each way of being invalid."""
    found, taken = [], set()
    for u, v in G.edges:  # directed graphs too, where NetworkX's maximal_matching refuses
        if u not in taken and v not in taken and u != v:
            found.append((u, v))
            taken.update((u, v))
    nodes = list(G)
    yield "maximal", set(found)
    yield "one_short", set(found[1:])
    yield "dict", {x: y for u, v in found for x, y in ((u, v), (v, u))}
    if found:
        (u, v), w = found[0], nodes[-1]
        yield "overlapping", [(u, v), (v, w)]
        yield "non_edge", [(u, w)] if not G.has_edge(u, w) else [(w, u)]
        yield "self_loop", [(u, u)]
        yield "three_tuple", [(u, v, w)]
        yield "stranger", [(u, "not a node")]
        yield "unhashable", [(u, [v])]


@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_multigraph()])
@pytest.mark.parametrize("check", ["is_matching", "is_maximal_matching", "is_perfect_matching"])
def test_matching_checks(gid, check):
    G = ZOO[gid]
    for _, matching in _candidates(G):
        assert same_as_networkx(check, G, matching)


def test_is_maximal_matching_free_edge_late():
    # The only edge with both ends free comes last in G.edges, after a self-loop on a free node.
    G = nx.path_graph(6)
    G.add_edge(6, 6)
    G.add_edge(6, 7)
    assert same_as_networkx("is_maximal_matching", G, {(0, 1), (2, 3), (4, 5)})
    assert same_as_networkx("is_maximal_matching", G, {(0, 1), (2, 3), (4, 5), (6, 7)})
    # perfect: every node matched, in a set and as a dict
    perfect = {(0, 1), (2, 3), (4, 5), (6, 7)}
    G.remove_edge(6, 6)
    assert same_as_networkx("is_perfect_matching", G, perfect) and nx.is_perfect_matching(G, perfect)
    assert same_as_networkx("is_perfect_matching", G, {x: y for u, v in perfect for x, y in ((u, v), (v, u))})


def test_max_weight_matching_rows_with_two_weights():
    # NetworkX's blossom reads both rows of an edge (and its check of the optimum fails here).
    assert not same_as_networkx("max_weight_matching", two_weight_view())
