"""Hopcroft-Karp matchings against NetworkX: the dict's items in order, with
their node objects, and NetworkX's exceptions."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, shape

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def outcome(G, top_nodes, backend):
    try:
        found = nx.bipartite.hopcroft_karp_matching(G, top_nodes, backend=backend)
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)
    return ("returned", shape(found), [(type(k), type(v)) for k, v in found.items()])


def same_as_networkx(G, top_nodes=None):
    """fennel's answer equals NetworkX's; whether fennel ran."""
    before = calls["ran", "hopcroft_karp_matching"]
    expected = outcome(G, top_nodes, "networkx")
    got = outcome(G, top_nodes, "fennel")
    assert got == expected
    return calls["ran", "hopcroft_karp_matching"] > before


def random_bipartite(seed, shuffled):
    rng = random.Random(seed)
    G = nx.bipartite.random_graph(rng.randint(1, 30), rng.randint(1, 30), rng.choice([0.05, 0.15, 0.4]), seed=seed)
    if shuffled:
        H = nx.Graph()
        nodes = list(G)
        rng.shuffle(nodes)
        H.add_nodes_from(nodes)
        edges = list(G.edges)
        rng.shuffle(edges)
        H.add_edges_from((v, u) if rng.random() < 0.5 else (u, v) for u, v in edges)
        G = H
    return G


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid):
    G = ZOO[gid]
    # Without top_nodes NetworkX colours G (and refuses disconnected or odd-cycled graphs).
    assert same_as_networkx(G)
    nodes = list(G)
    top = nodes[::2]
    if G.is_directed() or G.is_multigraph():
        return
    # Most zoo graphs have edges inside this side: NetworkX's lookup fails with KeyError.
    assert same_as_networkx(G, top)


@pytest.mark.parametrize("shuffled", [False, True], ids=["built", "shuffled"])
@pytest.mark.parametrize("seed", range(15))
def test_random_bipartite(seed, shuffled):
    G = random_bipartite(seed, shuffled)
    top = [v for v, side in G.nodes(data="bipartite") if side == 0]
    assert same_as_networkx(G, top)
    assert same_as_networkx(G, set(top))
    assert same_as_networkx(G, [v for v in G if v not in set(top)])
    if nx.is_connected(G):
        assert same_as_networkx(G)


def test_top_nodes_objects_kept():
    # top_nodes equal to G's nodes but other objects: NetworkX's dict keys them as given.
    G = nx.complete_bipartite_graph(3, 4)
    assert same_as_networkx(G, [0.0, 1.0, 2.0])
    assert same_as_networkx(nx.DiGraph(G), [0.0, 1.0, 2.0])


@pytest.mark.parametrize(
    "top_nodes", [lambda: iter([0, 1]), lambda: [0, 99], lambda: [[0]]], ids=["iterator", "stranger", "unhashable"]
)
def test_top_nodes_refused(top_nodes):
    G = nx.complete_bipartite_graph(2, 3)
    before = calls["refused", "hopcroft_karp_matching"], calls["ran", "hopcroft_karp_matching"]
    with nx.config(backend_priority=["fennel"]):
        fallback = outcome(G, top_nodes(), None)
    assert (calls["refused", "hopcroft_karp_matching"], calls["ran", "hopcroft_karp_matching"]) == (
        before[0] + 1, before[1])
    assert fallback == outcome(G, top_nodes(), "networkx")


@pytest.mark.parametrize("case", ["pandas", "int-weight-tuples"])
def test_native_graph_dicts_left_unbuilt(case):
    from test_native_graphs import pair

    H, G = pair(case, False)
    top = list(G)[::2]
    got = outcome(H, top, "fennel")
    assert got == outcome(G, top, "networkx")
    assert not H.dicts_built
