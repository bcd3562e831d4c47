"""Distance measures through NetworkX's dispatcher against NetworkX itself
(results, types, key order and errors compared exactly)."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

from fennel.backend.centrality import _HARMONIC_BY_SET
from fennel.backend.registry import UNDISPATCHED

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

EXTREMA = ["eccentricity", "diameter", "radius", "center", "periphery"]


def weighted(gid, flavour):
    return ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=len(gid))


def connected_core(G):
    """The largest (strongly) connected part, so that the extrema have an answer."""
    parts = nx.strongly_connected_components(G) if G.is_directed() else nx.connected_components(G)
    return G.subgraph(max(parts, key=len, default=set())).copy()


@pytest.mark.parametrize("flavour", [None, "int", "float", "none"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_closeness(gid, flavour):
    G = weighted(gid, flavour)
    distance = None if flavour is None else "weight"
    refusable = flavour == "none" and G.is_multigraph()
    for wf in (True, False):
        assert same_as_networkx("closeness_centrality", G, distance=distance, wf_improved=wf) or refusable
    for u in list(G)[:2] + ["missing"]:
        same_as_networkx("closeness_centrality", G, u, distance=distance)


@pytest.mark.parametrize("flavour", [None, "int", "float"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_extrema_and_sums(gid, flavour):
    weight = None if flavour is None else "weight"
    for G in (weighted(gid, flavour), connected_core(weighted(gid, flavour))):
        for name in EXTREMA + ["average_shortest_path_length", "wiener_index"]:
            same_as_networkx(name, G, weight=weight)
        if len(G):
            same_as_networkx("eccentricity", G, list(G)[-1], weight=weight)
    H = connected_core(weighted(gid, flavour))
    if len(H) > 1:
        for name in ("eccentricity", "diameter", "radius", "periphery", "average_shortest_path_length"):
            assert same_as_networkx(name, H, weight=weight)


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_all_pairs_lengths(gid):
    G = ZOO[gid]
    for cutoff in (None, 0, 2):
        assert same_as_networkx("all_pairs_shortest_path_length", G, cutoff)
    W = add_weights(G, "tied", seed=3)
    for cutoff in (None, 2.5):
        assert same_as_networkx("all_pairs_dijkstra_path_length", W, cutoff)
    for weight in (None, "weight"):
        assert same_as_networkx("shortest_path_length", W, weight=weight)


def test_float_sums_follow_the_interpreter():
    # Sums whose plain and compensated results differ: NetworkX uses the
    # interpreter's own sum().
    G = nx.Graph()
    G.add_weighted_edges_from([(0, 1, 1e16), (1, 2, 1.0), (2, 3, 0.1), (3, 4, 0.1), (4, 0, 0.7)])
    for name in ("closeness_centrality", "average_shortest_path_length", "wiener_index"):
        kwargs = {"distance": "weight"} if name == "closeness_centrality" else {"weight": "weight"}
        assert same_as_networkx(name, G, **kwargs)


def test_huge_integer_totals_are_exact():
    G = nx.path_graph(40, create_using=nx.DiGraph)
    G.add_edge(39, 0)
    for u, v, d in G.edges(data=True):
        d["weight"] = 2**46 + u
    for name, kwargs in [("closeness_centrality", {"distance": "weight"}), ("wiener_index", {"weight": "weight"}),
                         ("average_shortest_path_length", {"weight": "weight"})]:
        assert same_as_networkx(name, G, **kwargs)


@pytest.mark.parametrize("name", ["closeness_centrality", "eccentricity", "average_shortest_path_length",
                                  "wiener_index", "all_pairs_dijkstra_path_length", "diameter"])
def test_negative_weights(name):
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (1, 2, -5), (2, 1, 1), (2, 0, 1)])
    kwargs = {"distance": "weight"} if name == "closeness_centrality" else {"weight": "weight"}
    same_as_networkx(name, G, **kwargs)


def test_more_sources_than_one_bit_parallel_chunk():
    G = nx.gnp_random_graph(200, 0.03, seed=8, directed=True)
    for name in ("closeness_centrality", "eccentricity", "wiener_index"):
        same_as_networkx(name, G)
    assert same_as_networkx("closeness_centrality", G, wf_improved=False)


@pytest.mark.parametrize(
    "name, kwargs",
    [("closeness_centrality", {"wf_improved": 1}), ("diameter", {"usebounds": True}),
     ("diameter", {"e": {0: 1}}),
     ("average_shortest_path_length", {"method": "floyd-warshall"}), ("center", {})],
)
def test_left_to_networkx(name, kwargs):
    G = nx.path_graph(6)  # a tree: center is left to NetworkX's tree walk
    assert not same_as_networkx(name, G, **kwargs)


BARYCENTER = "centroid" if "barycenter" in UNDISPATCHED else "barycenter"


@pytest.mark.parametrize("flavour", [None, "int", "float", "mixed"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_harmonic_measures(gid, flavour):
    G = weighted(gid, flavour)
    weight = None if flavour is None else "weight"
    nodes = list(G)
    assert same_as_networkx("harmonic_centrality", G, distance=weight)
    if len(G) > 3:
        assert same_as_networkx("harmonic_centrality", G, nodes[:3], distance=weight, sources=nodes[:2])
        # Fewer nodes than sources: NetworkX searches the reversed graph from each node.
        ran = same_as_networkx("harmonic_centrality", G, nodes[:2], distance=weight, sources=nodes[:3])
        assert ran != _HARMONIC_BY_SET
    if not G.is_directed():
        same_as_networkx("global_efficiency", G)
    same_as_networkx("harmonic_diameter", G, **({} if weight is None else {"weight": weight}))
    for H in (G, connected_core(G)):
        same_as_networkx(BARYCENTER, H, weight=weight)
    H = connected_core(G)
    if flavour is not None and len(H) > 1:
        assert same_as_networkx(BARYCENTER, H, weight=weight)


def test_weighted_closeness_searches_the_reversed_copy():
    # NetworkX runs on G.reverse(), whose rows list in-neighbours by node
    # order, not in G._pred's order: with negative weights (and with float
    # ties) the row order shows in the result or in the error.
    rng = __import__("random").Random(11)
    ran = 0
    for seed in range(300):
        G = nx.DiGraph()
        nodes = list(range(8))
        rng.shuffle(nodes)
        G.add_nodes_from(nodes)
        for _ in range(16):
            u, v = rng.sample(range(8), 2)
            G.add_edge(u, v, weight=rng.choice([-1.0, 1.0, 2.0, 3.0, 0.5, 1.5]))
        ran += same_as_networkx("closeness_centrality", G, distance="weight")
    assert ran > 150  # the others end in NetworkX's contradiction error, compared too


@pytest.mark.parametrize("first", [0, 32_000], ids=["levels-past-16-bits", "levels-within-16-bits"])
def test_harmonic_many_sources_on_a_long_path(first):
    # 40 sources search together; from one end of the path the levels pass
    # 65,535, and the sums must still be NetworkX's.
    G = nx.path_graph(65_540)
    ends = list(range(first, first + 40))
    assert same_as_networkx("harmonic_centrality", G, ends, sources=ends)


@pytest.mark.parametrize("threads", [1, 2])
def test_harmonic_deep_round_after_a_shallow_one(threads):
    # The first 64 sources (one round on one thread) lie in a clique, one
    # level deep; the next lie on a 700-node path, hundreds of levels deep:
    # the sums must start again from nothing, not from the first round's.
    G = nx.complete_graph(80)
    nx.add_path(G, range(100, 800))
    sources = list(range(64)) + list(range(100, 800, 7))
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx("harmonic_centrality", G, sources=sources)
