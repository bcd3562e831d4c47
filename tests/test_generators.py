"""Generators through NetworkX's dispatcher: lazy, and following a graph changed while they run.

Each case runs NetworkX's generator and fennel's side by side on two equal
copies of a graph, applies the same change to both after the same item, and
compares the items (shapes, order and types) and the exception, if any,
with the step it came at.
"""

import gc
import threading
import types

import networkx as nx
import pytest
from zoo import ZOO, shape

import fennel._core as core
from fennel import backend
from fennel.backend import calls, registry
from fennel.backend.checks import NX_VERSION
from fennel.backend.interface import refusal

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs", "ignore::DeprecationWarning")


@pytest.fixture(autouse=True)
def always_run(monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))


def first(G):
    return next(iter(G))


# name, arguments from the graph, keyword arguments, graph kinds served
CASES = {
    "bfs_edges": ("bfs_edges", lambda G: (first(G),), {}, "any"),
    "bfs_edges-reverse": ("bfs_edges", lambda G: (first(G),), {"reverse": True}, "directed"),
    "bfs_edges-depth2": ("bfs_edges", lambda G: (first(G),), {"depth_limit": 2}, "any"),
    "generic_bfs_edges": ("generic_bfs_edges", lambda G: (first(G),), {}, "any"),
    "bfs_predecessors": ("bfs_predecessors", lambda G: (first(G),), {}, "any"),
    "bfs_successors": ("bfs_successors", lambda G: (first(G),), {}, "any"),
    "bfs_layers": ("bfs_layers", lambda G: (first(G),), {}, "any"),
    "bfs_layers-several": ("bfs_layers", lambda G: (list(G)[::7],), {}, "any"),
    "dfs_edges": ("dfs_edges", lambda G: (first(G),), {}, "any"),
    "dfs_edges-all": ("dfs_edges", lambda G: (), {}, "any"),
    "dfs_edges-depth2": ("dfs_edges", lambda G: (None, 2), {}, "any"),
    "dfs_preorder_nodes": ("dfs_preorder_nodes", lambda G: (), {}, "any"),
    "dfs_preorder_nodes-source": ("dfs_preorder_nodes", lambda G: (first(G), 3), {}, "any"),
    "dfs_postorder_nodes": ("dfs_postorder_nodes", lambda G: (), {}, "any"),
    "dfs_postorder_nodes-source": ("dfs_postorder_nodes", lambda G: (first(G),), {}, "any"),
    "connected_components": ("connected_components", lambda G: (), {}, "undirected"),
    "weakly_connected_components": ("weakly_connected_components", lambda G: (), {}, "directed"),
    "all_pairs_shortest_path": ("all_pairs_shortest_path", lambda G: (), {}, "any"),
    "all_pairs_shortest_path_length": ("all_pairs_shortest_path_length", lambda G: (2,), {}, "any"),
    "all_pairs_dijkstra": ("all_pairs_dijkstra", lambda G: (), {}, "any"),
    "all_pairs_dijkstra_path": ("all_pairs_dijkstra_path", lambda G: (3,), {}, "any"),
    "all_pairs_dijkstra_path_length": ("all_pairs_dijkstra_path_length", lambda G: (), {}, "any"),
    "all_pairs_all_shortest_paths": ("all_pairs_all_shortest_paths", lambda G: (), {}, "any"),
    "shortest_path-all-pairs": ("shortest_path", lambda G: (), {}, "any"),
    "shortest_path_length-all-pairs": ("shortest_path_length", lambda G: (), {}, "any"),
}
GRAPHS = ["karate", "gnp_loops_isolates", "disconnected", "mixed_nodes", "multigraph", "digraph",
          "digraph_loops_isolates", "multidigraph"]


def serves(kind, G):
    return kind == "any" or (kind == "directed") == G.is_directed()


def skip_unless_served(name, G, args):
    if not serves(CASES[name][3], G):
        pytest.skip("NetworkX refuses this kind of graph")
    function = CASES[name][0]
    # NetworkX 3.4's shortest_path(G) returns a dict, with a warning.
    if isinstance(refusal(function, (G, *args(G)), {}), str) or (
        name == "shortest_path-all-pairs" and NX_VERSION < (3, 5)
    ):
        pytest.skip("fennel leaves this call to the installed NetworkX")


def trace(name, G, args, kwargs, backend, at=(), change=None):
    """The items as shapes, then the error and the item count it came after."""
    items = []
    try:
        result = getattr(nx, name)(G, *args, backend=backend, **kwargs)
    except Exception as exc:  # the error itself is compared
        return items, "at call", type(exc), exc.args
    if 0 in at:
        change(G, None)
    try:
        for item in result:
            items.append(shape(item))
            if len(items) in at:
                change(G, item)
    except Exception as exc:
        return items, "while iterating", type(exc), exc.args
    return items, None


def side_by_side(name, G, args, kwargs=None, at=(), change=None):
    kwargs = kwargs or {}
    expected = trace(name, G.copy(), args, kwargs, "networkx", at, change)
    ran = calls["ran", name]
    got = trace(name, G.copy(), args, kwargs, "fennel", at, change)
    assert calls["ran", name] > ran
    assert got == expected
    return got


def _nodes(G):
    nodes = list(G)
    return nodes[0], nodes[1], nodes[len(nodes) // 2], nodes[-1]


def _edge(G):
    return next(iter(G.edges()))


# Changes through NetworkX's own methods (each clears the graph's cache).
CHANGES = {
    "edge-from-source": lambda G, item: G.add_edge(_nodes(G)[0], "new"),
    "edge-from-second": lambda G, item: G.add_edge(_nodes(G)[1], "new"),
    "edge-between-far-nodes": lambda G, item: G.add_edge(_nodes(G)[2], _nodes(G)[3]),
    "new-node": lambda G, item: G.add_node("new"),
    "remove-second-node": lambda G, item: G.remove_node(_nodes(G)[1]),
    "remove-last-node": lambda G, item: G.remove_node(_nodes(G)[3]),
    "remove-edge": lambda G, item: G.remove_edge(*_edge(G)),
    "edge-added-again": lambda G, item: G.add_edge(*_edge(G), colour="red"),
}
STEPS = (0, 1, 16, 17, 40)


@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize("gid", GRAPHS)
def test_whole_sequence_and_generator_protocol(case, gid):
    name, args, kwargs, kind = CASES[case]
    G = ZOO[gid]
    skip_unless_served(case, G, args)
    side_by_side(name, G, args(G), kwargs)
    gen = getattr(nx, name)(G, *args(G), backend="fennel", **kwargs)
    assert type(gen) is types.GeneratorType
    expected = list(getattr(nx, name)(G, *args(G), backend="networkx", **kwargs))
    assert [shape(gen.send(None)) for _ in expected[:2]] == [shape(x) for x in expected[:2]]
    gen.close()
    with pytest.raises(StopIteration):
        next(gen)


@pytest.mark.parametrize("change", CHANGES)
@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize("gid", ["karate", "digraph", "disconnected", "multigraph"])
def test_graph_changed_during_iteration(gid, case, change):
    name, args, kwargs, kind = CASES[case]
    G = ZOO[gid]
    skip_unless_served(case, G, args)
    for step in STEPS:
        side_by_side(name, G, args(G), kwargs, at=(step,), change=CHANGES[change])


@pytest.mark.parametrize("case", ["bfs_edges", "dfs_edges", "dfs_postorder_nodes", "bfs_layers"])
def test_graph_changed_twice(case):
    name, args, kwargs, kind = CASES[case]
    G = ZOO["les_miserables"]

    def change(H, item):
        H.add_edge(_nodes(H)[2], f"new{H.number_of_nodes()}")

    side_by_side(name, G, args(G), kwargs, at=(3, 9), change=change)


def test_bfs_edges_fails_once_a_discovered_row_grows():
    G = nx.path_graph(4)
    got = side_by_side("bfs_edges", G, (0,), at=(1,), change=lambda H, item: H.add_edge(1, "x"))
    assert got[0] == [shape((0, 1))] and got[2] is RuntimeError


def test_dfs_edges_reads_the_row_of_the_child_after_resuming():
    G = nx.path_graph(4)
    got = side_by_side("dfs_edges", G, (0,), at=(1,), change=lambda H, item: H.add_edge(1, "x"))
    assert shape((1, "x")) in got[0]


@pytest.mark.parametrize("step", [0, 1])
def test_dfs_preorder_of_a_missing_source_added_after_the_first_item(step):
    G = nx.path_graph(4)
    side_by_side("dfs_preorder_nodes", G, ("late",), at=(step,), change=lambda H, item: H.add_edge("late", 2))
    side_by_side("dfs_preorder_nodes", G, ("late",))


@pytest.mark.parametrize("name", ["bfs_edges", "bfs_successors", "dfs_edges", "dfs_postorder_nodes"])
@pytest.mark.parametrize("source", ["missing", [0]], ids=["missing", "unhashable"])
def test_errors_come_at_networkx_step(name, source):
    side_by_side(name, ZOO["karate"], (source,))


@pytest.mark.parametrize(
    "change",
    [lambda layer: layer.append("x"), lambda layer: layer.clear(), lambda layer: layer.reverse()],
    ids=["append", "clear", "reverse"],
)
@pytest.mark.parametrize("step", [1, 2])
def test_bfs_layers_expands_the_list_it_handed_out(change, step):
    G = nx.relabel_nodes(ZOO["karate"], {33: "x"})
    side_by_side("bfs_layers", G, ([0, 5],), at=(step,), change=lambda H, layer: change(layer))


@pytest.mark.parametrize("sources", [lambda G: iter(list(G)[3:6]), lambda G: list(G)[:3] * 2, lambda G: [5, "gone"]],
                         ids=["iterator", "repeated", "missing"])
def test_bfs_layers_several_sources(sources):
    G = ZOO["karate"]
    expected = trace("bfs_layers", G, (sources(G),), {}, "networkx")
    assert trace("bfs_layers", G, (sources(G),), {}, "fennel") == expected


@pytest.mark.parametrize("name", ["strongly_connected_components", "attracting_components"])
def test_components_of_a_graph_changed_before_the_first_step(name):
    side_by_side(name, ZOO["digraph"], (), at=(0,), change=lambda H, item: H.add_edge(1, 0))
    side_by_side(name, ZOO["digraph"], ())


def test_attracting_components_ignore_changes_after_the_first_step():
    side_by_side("attracting_components", ZOO["digraph"], (), at=(1,), change=lambda H, item: H.remove_node(3))


@pytest.mark.parametrize("name", ["minimum_spanning_edges", "maximum_spanning_edges"])
@pytest.mark.parametrize("step", [0, 1])
def test_spanning_edges_read_the_graph_on_the_first_step(name, step):
    G = ZOO["karate"]
    side_by_side(name, G, (), {"data": False}, at=(step,), change=lambda H, item: H.add_edge(0, 9, weight=-1))


def test_graph_without_cache_is_left_to_networkx():
    G = ZOO["karate"].copy()
    G.__networkx_cache__ = None
    with pytest.raises(NotImplementedError):
        nx.bfs_edges(G, 0, backend="fennel")
    assert isinstance(refusal("bfs_edges", (G, 0), {}), str)


def test_graph_views_are_left_to_networkx():
    view = ZOO["karate"].subgraph(range(20))
    with pytest.raises(NotImplementedError):
        nx.dfs_edges(view, 0, backend="fennel")
    assert isinstance(refusal("connected_components", (view,), {}), str)


def big_path():
    G = nx.path_graph(200_000)
    nodes = list(G)
    return core.build_graph(nodes, dict(zip(nodes, range(len(nodes)))), G._adj, False, [], False), tuple(nodes)


@pytest.mark.parametrize(
    "make, items",
    [
        (lambda g, nodes: g.bfs_cursor([0], len(nodes), nodes=nodes), -1),
        (lambda g, nodes: g.dfs_cursor([0], len(nodes), nodes=nodes), -1),
        (lambda g, nodes: g.dfs_cursor([0], len(nodes), nodes=nodes, events="postorder"), 0),
    ],
    ids=["bfs", "dfs", "dfs-postorder"],
)
def test_first_item_of_a_search_does_not_walk_the_graph(make, items):
    g, nodes = big_path()
    cursor = make(g, nodes)
    next(cursor)
    assert cursor.expanded() < 100
    assert 1 + sum(1 for _ in cursor) == len(nodes) + items
    # The breadth-first search stops once every node is seen, as NetworkX's does.
    assert cursor.expanded() >= len(nodes) - 1


def test_first_component_does_not_search_the_others():
    G = nx.Graph([(2 * i, 2 * i + 1) for i in range(100_000)])
    nodes = list(G)
    g = core.build_graph(nodes, dict(zip(nodes, range(len(nodes)))), G._adj, False, [], False)
    cursor = g.component_cursor(nodes=tuple(nodes))
    assert next(cursor) == {0, 1}
    assert cursor.expanded() == 2


def test_cursor_shared_by_threads_hands_out_each_item_once():
    G = nx.gnp_random_graph(3000, 0.002, seed=5)
    nodes = list(G)
    g = core.build_graph(nodes, dict(zip(nodes, range(len(nodes)))), G._adj, False, [], False)
    cursor = g.dfs_cursor(None, len(nodes), nodes=tuple(nodes), events="preorder")
    taken = [[] for _ in range(4)]

    def take(out):
        while True:
            try:
                out.append(next(cursor))
            except StopIteration:
                return
            except RuntimeError as exc:
                assert str(exc) == "Already borrowed"

    threads = [threading.Thread(target=take, args=(out,)) for out in taken]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    got = [v for out in taken for v in out]
    assert sorted(got) == sorted(nx.dfs_preorder_nodes(G, backend="networkx"))


def test_abandoned_generators_release_their_searches():
    G = ZOO["les_miserables"]
    for name in ("bfs_edges", "dfs_edges", "bfs_layers"):
        gens = [getattr(nx, name)(G, "Valjean", backend="fennel") for _ in range(50)]
        for gen in gens[::2]:
            next(gen)
        del gens
    gen = nx.connected_components(G, backend="fennel")
    next(gen)
    del gen
    gc.collect()
    assert list(nx.bfs_edges(G, "Valjean", backend="fennel")) == list(nx.bfs_edges(G, "Valjean", backend="networkx"))
