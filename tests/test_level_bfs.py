"""Breadth-first levels expanded on the pool: the searches behind the length
dicts, bfs_edges and the component generators, forced onto the parallel path
(every level of two nodes or more) at one and three threads, against NetworkX;
and length and distance dicts made beside their search."""

import networkx as nx
import pytest
from test_backend_traversal import same_as_networkx
from zoo import shape

from fennel import _core
from fennel.backend import registry

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.fixture(autouse=True)
def parallel_levels(monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    before = _core._parallel_frontier(2)
    yield
    _core._parallel_frontier(before)


def _random(n, m, seed, directed=False):
    G = nx.gnm_random_graph(n, m, seed=seed, directed=directed)
    G.add_edges_from([(0, 0), (n - 1, n - 1)])  # self-loops meet their own node mid-level
    return G


GRAPHS = {
    # A giant component whose wide levels span many pieces.
    "dense": _random(400, 2400, 1),
    # A set of ints iterates by value; colliding str hashes make a component
    # set's order follow its insertion order.
    "dense_str": nx.relabel_nodes(_random(400, 2400, 7), lambda v: f"n{v}"),
    # Many small components and isolated nodes: most levels stay serial.
    "sparse": _random(500, 300, 2),
    "directed_str": nx.relabel_nodes(_random(400, 1600, 3, directed=True), lambda v: f"d{v}"),
    # Stars: one node discovers a whole level, which the next level's pieces share.
    "stars": nx.disjoint_union(nx.star_graph(60), nx.balanced_tree(3, 4)),
    "multi": nx.MultiGraph(_random(200, 700, 4)),
    "karate": nx.karate_club_graph(),
}


@pytest.fixture
def beside(request):
    """Whether length dicts are made beside their search, from two nodes on."""
    before = _core._beside_nodes(2 if request.param else 0)
    yield request.param
    _core._beside_nodes(before)


# Levels go to the pool from three threads on; four leave three for a search
# run beside the caller.
@pytest.mark.parametrize(("threads", "beside"), [(1, False), (3, False), (2, True), (4, True)], indirect=["beside"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_searches_from_a_source(gid, threads, beside):
    G = GRAPHS[gid]
    nodes = list(G)
    with nx.config.backends.fennel(n_jobs=threads):
        for s in (nodes[0], nodes[len(nodes) // 2]):
            for cutoff in (None, 0, 2):
                assert same_as_networkx("single_source_shortest_path_length", G, s, cutoff=cutoff)
            assert same_as_networkx("single_target_shortest_path_length", G, s, cutoff=None)
            assert same_as_networkx("bfs_edges", G, s)


@pytest.mark.parametrize("threads", [1, 3])
@pytest.mark.parametrize("gid", GRAPHS)
def test_components(gid, threads):
    G = GRAPHS[gid]
    name = "weakly_connected_components" if G.is_directed() else "connected_components"
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx(name, G)


def test_default_frontier_is_restored_by_zero():
    _core._parallel_frontier(0)
    default = _core._parallel_frontier(7)
    assert default > 2 and _core._parallel_frontier(0) == 7


@pytest.mark.parametrize("threads", [1, 2])
def test_component_generator_survives_a_change_between_components(threads):
    # The cursor's state after a parallel component resumes NetworkX's own loop.
    G = nx.disjoint_union(_random(300, 1500, 5), _random(300, 1500, 6))
    H = G.copy()
    with nx.config.backends.fennel(n_jobs=threads):
        got = nx.connected_components(G, backend="fennel")
        first = next(got)
        G.add_edge(0, 599)
        rest = list(got)
    want = nx.connected_components(H)
    assert shape(first) == shape(next(want))
    H.add_edge(0, 599)
    assert shape(rest) == shape(list(want))


@pytest.mark.parametrize("directed", [False, True])
def test_length_dict_of_a_large_graph_beside_its_search(directed):
    # Large enough for the default threshold; the str keys' dict keeps
    # NetworkX's insertion order.
    G = nx.relabel_nodes(nx.gnm_random_graph(40_000, 120_000, seed=5, directed=directed), lambda v: f"v{v}")
    G.add_node("alone")
    with nx.config.backends.fennel(n_jobs=2):
        for s in ("v0", "v123", "alone"):
            assert same_as_networkx("single_source_shortest_path_length", G, s)
            assert same_as_networkx("single_source_shortest_path_length", G, s, cutoff=3)
            if directed:
                assert same_as_networkx("single_target_shortest_path_length", G, s)


def _weighted(kind, seed):
    G = _random(300, 1200, seed, directed=seed % 2 == 1)
    for i, (u, v, d) in enumerate(G.edges(data=True)):
        d["w"] = {
            "int": i % 7 + 1,
            "float": (i % 5) / 4 + 0.25,
            # Distances whose kind follows the path: int until a float edge.
            "mixed": i % 7 + 1 if i % 3 else (i % 5) / 4 + 0.5,
            "hidden": None if i % 4 == 0 else i % 3 + 1,
        }[kind]
    return G


@pytest.mark.parametrize(("threads", "beside"), [(2, True), (3, True)], indirect=["beside"])
@pytest.mark.parametrize("kind", ["int", "float", "mixed", "hidden"])
def test_distance_dicts_beside_the_search(kind, threads, beside):
    G = _weighted(kind, seed=len(kind))
    nodes = list(G)
    with nx.config.backends.fennel(n_jobs=threads):
        for s in (nodes[0], nodes[len(nodes) // 2]):
            for cutoff in (None, 3):
                assert same_as_networkx("single_source_dijkstra_path_length", G, s, cutoff=cutoff, weight="w")
