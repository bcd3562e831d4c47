"""Traversals through NetworkX's dispatcher against NetworkX itself.

Results are compared in full: generators consumed, sets in iteration order,
graphs node by node and edge by edge, every key and value with its type, and
the exception (and whether it came at the call or on first iteration).
"""

import warnings

import networkx as nx
import pytest
from zoo import ZOO, ZOO_IDS, add_weights, shape

from fennel.backend import RELEASE_REFUSALS, calls, registry
from fennel.backend.checks import NX_VERSION

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def outcome(name, *args, **kwargs):
    """The result's shape, or the error and when it came, and the deprecations announced."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        happened = _outcome(name, *args, **kwargs)
    deprecations = [(w.category, str(w.message)) for w in caught if issubclass(w.category, DeprecationWarning)]
    return happened, deprecations


def _outcome(name, *args, **kwargs):
    try:
        result = getattr(nx, name)(*args, **kwargs)
    except Exception as exc:  # the error itself is compared
        return ("raised at call", type(exc), _args(exc))
    if hasattr(result, "__next__"):
        items = []
        try:
            for item in result:
                items.append(shape(item))
        except Exception as exc:
            return ("raised while iterating", items, type(exc), _args(exc))
        return ("generated", items)
    return ("returned", shape(result))


def _args(exc):
    # Some NetworkX errors hold themselves in their args.
    return tuple("self" if a is exc else a for a in exc.args)


@pytest.fixture(autouse=True)
def always_run(monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))


def same_as_networkx(name, *args, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran (True where the release is left to NetworkX)."""
    if name in RELEASE_REFUSALS:
        with nx.config(backend_priority=["fennel"]):
            assert outcome(name, *args, **kwargs) == outcome(name, *args, backend="networkx", **kwargs)
        return True
    before = calls["ran", name]
    expected = outcome(name, *args, backend="networkx", **kwargs)
    got = outcome(name, *args, backend="fennel", **kwargs)
    if got[0][:2] == ("raised at call", NotImplementedError) and expected[0][1] is not NotImplementedError:
        # Refused: NetworkX answers when allowed to fall back.
        with nx.config(backend_priority=["fennel"]):
            got = outcome(name, *args, **kwargs)
    assert got == expected
    return calls["ran", name] > before


def sources(G):
    nodes = list(G)
    return nodes[:1] + nodes[len(nodes) // 2 : len(nodes) // 2 + 1] if nodes else []


BFS = ["bfs_edges", "generic_bfs_edges", "bfs_tree", "bfs_predecessors", "bfs_successors"]
DFS = ["dfs_edges", "dfs_tree", "dfs_predecessors", "dfs_successors", "dfs_preorder_nodes", "dfs_postorder_nodes"]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_breadth_first(gid):
    G = ZOO[gid]
    for s in sources(G):
        for limit in (None, 0, 1, 2, 2.5):
            for name in BFS:
                assert same_as_networkx(name, G, s, depth_limit=limit)
        assert same_as_networkx("descendants", G, s)
        if G.is_directed():
            assert same_as_networkx("ancestors", G, s)
            assert same_as_networkx("bfs_edges", G, s, reverse=True)
            assert same_as_networkx("bfs_tree", G, s, reverse=True, depth_limit=2)
        else:
            assert same_as_networkx("node_connected_component", G, s)


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_depth_first(gid):
    G = ZOO[gid]
    for s in [None, *sources(G)]:
        for limit in (None, 0, 1, 2, 3.5):
            for name in DFS:
                assert same_as_networkx(name, G, s, limit)


@pytest.mark.parametrize("name", BFS + DFS + ["descendants", "ancestors"])
@pytest.mark.parametrize("source", ["missing", [1]], ids=["missing", "unhashable"])
def test_errors_where_networkx_raises_them(name, source):
    G = nx.path_graph(4, create_using=nx.DiGraph)
    same_as_networkx(name, G, source)


def test_source_given_as_an_equal_object():
    G = nx.path_graph(5)
    for name in BFS + DFS:
        assert same_as_networkx(name, G, 2.0)


@pytest.mark.parametrize(
    "name, kwargs",
    [("bfs_edges", {"sort_neighbors": sorted}), ("dfs_edges", {"sort_neighbors": sorted}),
     ("bfs_edges", {"depth_limit": "2"}), ("generic_bfs_edges", {"neighbors": lambda v: iter([])})],
)
def test_refused_arguments_fall_back(name, kwargs):
    G = nx.path_graph(5)
    ran = calls["ran", name]
    with nx.config(backend_priority=["fennel"]):
        assert outcome(name, G, 0, **kwargs) == outcome(name, G, 0, backend="networkx", **kwargs)
    assert calls["ran", name] == ran


PATHS = ["single_source_shortest_path", "single_target_shortest_path", "single_target_shortest_path_length"]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_unweighted_paths(gid):
    G = ZOO[gid]
    for s in sources(G):
        for cutoff in (None, 0, 1, 2.5, -1):
            for name in PATHS:
                assert same_as_networkx(name, G, s, cutoff)


@pytest.mark.parametrize("name", PATHS)
def test_unweighted_path_errors(name):
    G = nx.path_graph(3, create_using=nx.DiGraph)
    for missing in ("x", [1]):
        same_as_networkx(name, G, missing)


WEIGHTED = ["single_source_dijkstra", "single_source_dijkstra_path", "dijkstra_path", "dijkstra_path_length"]


@pytest.mark.parametrize("flavour", [None, "int", "float", "none", "missing"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_weighted_paths(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=len(gid))
    nodes = list(G)
    for s in sources(G):
        targets = [nodes[-1], s, "missing"] if nodes else []
        assert same_as_networkx("single_source_dijkstra_path", G, s) or G.is_multigraph()
        for cutoff in (None, 2, 3.5):
            same_as_networkx("single_source_dijkstra", G, s, cutoff=cutoff)
        for t in targets:
            same_as_networkx("single_source_dijkstra", G, s, t)
            same_as_networkx("dijkstra_path", G, s, t)
            same_as_networkx("dijkstra_path_length", G, s, t)


def test_negative_weights_raise_as_networkx():
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (1, 2, -5), (2, 1, 1), (0, 3, 1)])
    for name in WEIGHTED:
        for args in ((0, 3), (0, 2), (0, "missing")) if name != "single_source_dijkstra_path" else ((0,),):
            same_as_networkx(name, G, *args)


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_bidirectional_shortest_path(gid):
    G = ZOO[gid]
    nodes = list(G)
    for s in sources(G):
        for t in nodes[::7] + ["missing"]:
            assert same_as_networkx("bidirectional_shortest_path", G, s, t) or t == "missing"
            assert same_as_networkx("has_path", G, s, t) or t == "missing"


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_layers(gid):
    G = ZOO[gid]
    for s in sources(G):
        assert same_as_networkx("bfs_layers", G, s)
        for distance in (0, 1, 2, 2.0, 2.5, -1, 10**30, float("nan")):
            assert same_as_networkx("descendants_at_distance", G, s, distance)
    nodes = list(G)
    if len(G) > 1:
        for several in (nodes[:2], nodes[::-3], [nodes[-1], nodes[0], nodes[-1]]):
            assert same_as_networkx("bfs_layers", G, several)
        assert same_as_networkx("bfs_layers", G, [nodes[0], "missing"])


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_all_pairs_paths(gid):
    G = ZOO[gid]
    for cutoff in (None, 1):
        assert same_as_networkx("all_pairs_shortest_path", G, cutoff)
    W = add_weights(G, "tied", seed=len(gid))
    for cutoff in (None, 2):
        assert same_as_networkx("all_pairs_dijkstra", W, cutoff)
        assert same_as_networkx("all_pairs_dijkstra_path", W, cutoff)


@pytest.mark.parametrize("weight", [None, "weight"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_shortest_path_forms(gid, weight):
    G = add_weights(ZOO[gid], "int", seed=len(gid))
    nodes = list(G)
    # Older releases: all pairs came as a dict, bidirectional Dijkstra built its path as met.
    assert same_as_networkx("shortest_path", G, weight=weight) or NX_VERSION < (3, 5)
    old_pair = weight is not None and NX_VERSION < (3, 6)
    for s in sources(G):
        for name in ("shortest_path", "shortest_path_length"):
            assert same_as_networkx(name, G, s, weight=weight)
            assert same_as_networkx(name, G, target=s, weight=weight)
            for t in nodes[::9] + ["missing"]:
                ran = same_as_networkx(name, G, s, t, weight=weight)
                assert ran or t == "missing" or (old_pair and name == "shortest_path")
        for t in nodes[::9]:
            assert same_as_networkx("bidirectional_dijkstra", G, s, t, weight=weight)


@pytest.mark.parametrize("flavour", [None, "tied", "float", "none"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_all_shortest_paths(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=len(gid))
    weight = None if flavour is None else "weight"
    refusable = flavour == "none" and G.is_multigraph()  # None among parallel edges: NetworkX's TypeError
    nodes = list(G)
    for s in sources(G):
        for t in nodes[::5] + ["missing", [1]]:
            assert same_as_networkx("all_shortest_paths", G, s, t, weight=weight) or refusable or t in ("missing", [1])
        assert same_as_networkx("single_source_all_shortest_paths", G, s, weight=weight) or refusable
    if len(G) <= 40:
        assert same_as_networkx("all_pairs_all_shortest_paths", G, weight=weight) or refusable


@pytest.mark.parametrize("gid", ["cycle", "complete", "barbell", "directed_path", "multigraph_loops", "str_nodes"])
def test_all_shortest_paths_through_zero_weight_cycles(gid):
    G = add_weights(ZOO[gid], "zero", seed=3)
    if G.is_directed():
        G.add_edges_from([(v, u, {"weight": 0}) for u, v in list(G.edges())[::2]])
    for s in sources(G):
        assert same_as_networkx("single_source_all_shortest_paths", G, s, weight="weight")
    assert same_as_networkx("all_pairs_all_shortest_paths", G, weight="weight")


def test_grid_of_equal_paths():
    G = nx.grid_2d_graph(5, 6)
    assert same_as_networkx("all_shortest_paths", G, (0, 0), (4, 5))
    for u, v, d in G.edges(data=True):
        d["weight"] = 0 if (u[0] + v[1]) % 4 == 0 else 1
    assert same_as_networkx("all_shortest_paths", G, (0, 0), (4, 5), weight="weight")


@pytest.mark.parametrize(
    "name, args",
    [("all_pairs_dijkstra", ()), ("all_pairs_dijkstra_path", ()), ("all_shortest_paths", (0, 3)),
     ("all_shortest_paths", (0, "missing")), ("single_source_all_shortest_paths", (0,)),
     ("all_pairs_all_shortest_paths", ()), ("shortest_path", (0,)), ("shortest_path_length", (None, 0)),
     ("bidirectional_dijkstra", (0, 2))],
)
def test_negative_weights_in_the_new_forms(name, args):
    G = nx.DiGraph()
    G.add_weighted_edges_from([(3, 0, 1), (0, 1, 1), (1, 2, -5), (2, 1, 1), (0, 3, 1)])
    same_as_networkx(name, G, *args, weight="weight")


@pytest.mark.parametrize(
    "name, args",
    [("bfs_layers", ("x",)), ("descendants_at_distance", ("x", 1)), ("all_shortest_paths", ("x", 1)),
     ("all_shortest_paths", ([1], 1)), ("single_source_all_shortest_paths", ("x",)),
     ("shortest_path", ("x",)), ("shortest_path", (None, "x")), ("shortest_path", (0, "x")),
     ("shortest_path_length", (None, "x")), ("shortest_path_length", ("x", 0)),
     ("bidirectional_dijkstra", (0, "x")), ("bidirectional_dijkstra", ([0], 1))],
)
@pytest.mark.parametrize("weight", [None, "weight"])
def test_missing_nodes_in_the_new_forms(name, args, weight):
    G = nx.path_graph(4, create_using=nx.DiGraph)
    kwargs = {} if name in ("bfs_layers", "descendants_at_distance") else {"weight": weight}
    same_as_networkx(name, G, *args, **kwargs)


def test_methods_networkx_keeps():
    G = nx.path_graph(4)
    for name, args, kwargs in [
        ("shortest_path", (0, 3), {"method": "bellman-ford", "weight": "weight"}),
        ("shortest_path", (0, 3), {"method": "nope"}),
        ("all_shortest_paths", (0, 3), {"method": "bellman-ford", "weight": "weight"}),
        ("descendants_at_distance", (0, "1"), {}),
    ]:
        assert not same_as_networkx(name, G, *args, **kwargs)


@pytest.mark.parametrize(
    "name, kwargs",
    [("bidirectional_shortest_path", {}), ("has_path", {}), ("bidirectional_dijkstra", {}),
     ("shortest_path", {}), ("shortest_path", {"weight": "weight"}), ("shortest_path_length", {})],
)
def test_source_equal_to_target_needs_no_predecessor_order(name, kwargs):
    G = nx.gnp_random_graph(30, 0.1, seed=4, directed=True)
    assert same_as_networkx(name, G, 3, 3, **kwargs)
    if name in RELEASE_REFUSALS:
        return
    (fg,) = G.__networkx_cache__["backends"]["fennel"].values()
    assert not fg.core.has_exact_pred()
