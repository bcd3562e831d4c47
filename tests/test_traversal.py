"""Search trees and traversal orders against NetworkX's own traversals."""

import concurrent.futures
import gc
import json
import math
import random

import networkx as nx
import pytest
from networkx.algorithms.shortest_paths.weighted import _dijkstra_multisource, _weight_function

import fennel._core as core
from test_paths import DIJKSTRA_CASES, NONEMPTY, outcome, sample_sources
from test_threads import run_python
from zoo import ZOO, add_weights, convert

from fennel.backend.kinds import PY_FLOAT, PY_INT

KIND_OF = {int: PY_INT, float: PY_FLOAT}

INF, NAN = math.inf, math.nan
NO_PARENT = 4294967295
NEGATIVE = (ValueError, ("Contradictory paths found:", "negative weights?"))
DIRECTIONS = pytest.mark.parametrize("reverse", [False, True], ids=["forward", "reverse"])
WEIGHTED = pytest.mark.parametrize("name,flavour", DIJKSTRA_CASES, ids=[f"{n}-{f}" for n, f in DIJKSTRA_CASES])


def loaded(G, attrs=()):
    """convert(G), with the exact predecessor order loaded on digraphs."""
    g = convert(G, attrs)
    if G.is_directed():
        nodes = list(G)
        g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, G._pred, list(attrs), G.is_multigraph())
    return g


def searched(G, reverse):
    """The graph NetworkX searches: in-edges in G._pred order when reversed."""
    return G.reverse(copy=False) if reverse and G.is_directed() else G


def pos(G, items):
    index = {v: i for i, v in enumerate(G)}
    return [NO_PARENT if v is None else index[v] for v in items]


def split(G, edges):
    edges = list(edges)
    return pos(G, [u for u, _ in edges]), pos(G, [v for _, v in edges])


# Breadth-first and depth-first


def nx_bfs_tree(G, s, cutoff):
    paths = nx.single_source_shortest_path(G, s, cutoff=cutoff)
    return pos(G, paths), pos(G, [None] + [p[-2] for p in list(paths.values())[1:]])


@DIRECTIONS
@pytest.mark.parametrize("cutoff", [INF, 0, 1, 1.5, 2, -1, NAN], ids=str)
@pytest.mark.parametrize("name", NONEMPTY)
def test_bfs_tree_matches_single_source_shortest_path(name, cutoff, reverse):
    G = ZOO[name]
    g = loaded(G)
    for s in sample_sources(G):
        assert g.bfs(s, cutoff, reverse=reverse).tree() == nx_bfs_tree(searched(G, reverse), list(G)[s], cutoff), s


@DIRECTIONS
@pytest.mark.parametrize("depth_limit", [None, 0, 1, 2, -1, 2**63 - 1], ids=str)
@pytest.mark.parametrize("name", NONEMPTY)
def test_bfs_edges_match_networkx(name, depth_limit, reverse):
    G = ZOO[name]
    g = loaded(G)
    limit = len(G) if depth_limit is None else depth_limit
    for s in sample_sources(G):
        want = list(nx.bfs_edges(G, list(G)[s], reverse=reverse, depth_limit=depth_limit))
        assert g.bfs(s, limit, reverse=reverse).edges() == split(G, want), s
        # The same edges from a cursor, as object pairs, and flipped.
        nodes = tuple(G)
        assert list(g.bfs_cursor([s], limit, reverse, nodes=nodes)) == want
        assert list(g.bfs_cursor([s], limit, reverse, nodes=nodes, items="flipped")) == [(v, u) for u, v in want]


def nx_dfs_with_markers(G, starts, depth_limit):
    """dfs_edges from each start in turn, sharing one visited set."""
    out, visited = [], set()
    for s in starts:
        if s not in visited:
            H = G.subgraph(set(G) - visited)  # the same rows without visited nodes
            out += [(s, s)] + list(nx.dfs_edges(H, s, depth_limit=depth_limit))
            visited.update(v for _, v in out)
    return split(G, out)


@pytest.mark.parametrize("depth_limit", [None, 0, 1, 2, 5, 2**63 - 1], ids=str)
@pytest.mark.parametrize("name", NONEMPTY)
def test_dfs_forward_matches_dfs_edges(name, depth_limit):
    G = ZOO[name]
    g, nodes = convert(G), list(G)
    limit = len(G) if depth_limit is None else depth_limit
    parents, children = g.dfs_forward(None, limit)
    unmarked = [e for e in zip(parents, children) if e[0] != e[1]]
    assert unmarked == list(zip(*split(G, nx.dfs_edges(G, None, depth_limit=depth_limit))))
    assert (parents, children) == nx_dfs_with_markers(G, nodes, depth_limit)
    starts = random.Random(len(G)).choices(range(len(G)), k=4) + sample_sources(G)
    assert g.dfs_forward(starts, limit) == nx_dfs_with_markers(G, [nodes[s] for s in starts], depth_limit)


# Dijkstra


def nx_dijkstra_tree(G, s, weight, cutoff=None, target=None):
    """(order, dist, parents, first-seen) from _dijkstra_multisource, and its paths."""
    pred, paths = {s: []}, (None if target is not None else {s: [s]})
    wf = _weight_function(G, weight) if weight else (lambda u, v, d: 1)
    dist = _dijkstra_multisource(G, [s], wf, pred=pred, paths=paths, cutoff=cutoff, target=target)
    parents = [None] + [pred[v][0] for v in list(dist)[1:]]  # the last node that lowered v
    return (pos(G, dist), [float(x) for x in dist.values()], pos(G, parents), pos(G, pred)), paths


def paths_from(tree):
    paths = {}
    for v, p in zip(tree[0], tree[2]):
        paths[v] = [v] if p == NO_PARENT else paths[p] + [v]
    return paths


@DIRECTIONS
@pytest.mark.parametrize("cutoff", [None, 0, 3.5, NAN], ids=str)
@WEIGHTED
def test_dijkstra_tree_matches_networkx(name, flavour, cutoff, reverse):
    G = add_weights(ZOO[name], flavour, seed=len(name))
    g = loaded(G, [("weight", 1)])
    H, nodes, sources = searched(G, reverse), list(G), sample_sources(G)
    for s in sources:
        for weight in ("weight", None):
            want, want_paths = nx_dijkstra_tree(H, nodes[s], weight, cutoff)
            got = g.dijkstra(s, weight, cutoff, reverse=reverse).tree()
            assert got == want, (s, weight)
            assert paths_from(got) == {i: pos(G, want_paths[nodes[i]]) for i in got[0]}
            for t in {s, len(G) // 3}:
                want = nx_dijkstra_tree(H, nodes[s], weight, cutoff, nodes[t])[0]
                assert g.dijkstra(s, weight, cutoff, target=t, reverse=reverse).tree() == want, (s, t)
    if not reverse:
        want = [nx_dijkstra_tree(G, nodes[s], "weight", cutoff)[0] for s in sources]
        assert g.dijkstra_many(sources, "weight", cutoff).trees() == want


@pytest.mark.parametrize("cutoff", [None, 0, 3.5], ids=str)
@WEIGHTED
def test_dijkstra_path_matches_single_source_dijkstra(name, flavour, cutoff):
    G = add_weights(ZOO[name], flavour, seed=len(name))
    g, nodes = convert(G, [("weight", 1)]), list(G)
    for s in sample_sources(G):
        for t in sample_sources(G) + [len(G) // 3]:
            want = outcome(nx.single_source_dijkstra, G, nodes[s], nodes[t], cutoff=cutoff)
            # The distance's kind follows the path: ints, floats, or both mixed along it.
            want = None if want[0] is nx.NetworkXNoPath else (float(want[0]), pos(G, want[1]), KIND_OF[type(want[0])])
            assert g.dijkstra(s, "weight", cutoff, target=t).path(t) == want, (s, t)
            # The same path read from a search that ran past the target.
            assert g.dijkstra(s, "weight", cutoff).path(t) == want, (s, t)
            if cutoff is None and want is not None:
                assert want[1] == pos(G, nx.dijkstra_path(G, nodes[s], nodes[t]))


@pytest.mark.parametrize("cutoff", [INF, 1, 2.5, 0], ids=str)
@pytest.mark.parametrize("name", ["les_miserables", "digraph_loops_isolates", "multidigraph", "mixed_nodes"])
def test_many_forms_match_networkx_per_source(name, cutoff):
    G, nodes = ZOO[name], list(ZOO[name])
    g = convert(G)
    sources = list(range(len(G))) + [0, 0]
    assert g.bfs_many(sources, cutoff).trees() == [nx_bfs_tree(G, nodes[s], cutoff) for s in sources]
    want = [nx_dijkstra_tree(G, nodes[s], None, cutoff)[0] for s in sources]
    assert g.dijkstra_many(sources, None, cutoff).trees() == want
    assert g.bfs_many([], cutoff).trees() == g.dijkstra_many([]).trees() == []


def _digraph(edges, nodes="abcd"):
    G = nx.DiGraph()
    G.add_nodes_from(nodes)
    G.add_weighted_edges_from(edges)
    return G


NEGATIVE_CASES = {  # (graph, cutoff, whether the search from "a" meets a contradiction)
    "into_settled": (_digraph([("a", "b", 1), ("a", "c", 5), ("c", "b", -10)]), None, True),
    "negative_self_loop": (_digraph([("a", "b", 1), ("b", "b", -1)]), None, True),
    # b -> a at -2 would contradict a's 0, but lies beyond the cutoff.
    "beyond_cutoff": (_digraph([("a", "b", -5), ("b", "a", 3)]), -3, False),
    "within_cutoff": (_digraph([("a", "b", -5), ("b", "a", 3)]), -1, True),
    # The contradiction stops the search with c still on the heap.
    "leaves_heap_entries": (_digraph([("a", "b", 1), ("a", "c", 5), ("b", "a", -2)]), None, True),
    "lowers_tentative": (_digraph([("a", "b", 5), ("a", "c", 1), ("c", "b", -3)]), None, False),
}


@pytest.mark.parametrize("case", list(NEGATIVE_CASES))
def test_negative_weights(case):
    G, cutoff, contradiction = NEGATIVE_CASES[case]
    g = convert(G, [("weight", 1)])
    want = outcome(nx_dijkstra_tree, G, "a", "weight", cutoff)
    got = outcome(lambda: g.dijkstra(0, "weight", cutoff).tree())
    assert got == (want if want[0] is ValueError else want[0]) and (got == NEGATIVE) == contradiction
    # The path search stops at its target, before relaxing the target's edges.
    path = outcome(nx.single_source_dijkstra, G, "a", "b", cutoff=cutoff)
    path = path if path[0] is ValueError else (float(path[0]), pos(G, path[1]), KIND_OF[type(path[0])])
    assert outcome(lambda: g.dijkstra(0, "weight", cutoff, target=1).path(1)) == path
    # The parallel form: None for that source only, also in a search state
    # reused after the contradiction.
    others = [g.dijkstra(x, "weight", cutoff).tree() for x in (3, 2)]
    assert g.dijkstra_many([0, 3, 2] * 20, "weight", cutoff).trees() == ([None if contradiction else got] + others) * 20


def test_target_stop_leaves_seen_nodes_unsettled():
    G = _digraph([("a", "b", 1), ("a", "c", 5), ("b", "d", 1)])
    got = convert(G, [("weight", 1)]).dijkstra(0, "weight", target=1).tree()
    assert got == nx_dijkstra_tree(G, "a", "weight", None, "b")[0]
    assert (got[0], got[3]) == ([0, 1], [0, 1, 2])  # c was seen, never settled


def many_case():
    G = add_weights(nx.gnp_random_graph(1500, 0.003, seed=41), "float", seed=42)
    return G, random.Random(43).choices(range(len(G)), k=400)


def compute_many():
    """The parallel forms on a graph large enough for many pieces, as JSON."""
    G, sources = many_case()
    g = convert(G, [("weight", 1)])
    trees = g.dijkstra_many(sources, "weight").trees()
    return {
        "bfs": g.bfs_many(sources, INF).trees(),
        "bfs2": g.bfs_many(sources, 2).trees(),
        "dijkstra": [(o, [x.hex() for x in d], p, f) for o, d, p, f in trees],
    }


def test_parallel_forms_do_not_depend_on_the_pool_size():
    script = "import json, test_traversal; print(json.dumps(test_traversal.compute_many()))"
    one, four = (run_python(script, RAYON_NUM_THREADS=str(k)) for k in (1, 4))
    here = compute_many()
    assert one == four == json.loads(json.dumps(here))
    G, sources = many_case()
    for i in (0, 7, 399):
        assert here["bfs2"][i] == nx_bfs_tree(G, sources[i], 2)
        order, dist, parents, seen = nx_dijkstra_tree(G, sources[i], "weight")[0]
        assert here["dijkstra"][i] == (order, [x.hex() for x in dist], parents, seen)


OUT_OF_RANGE = (IndexError, "node index out of range")
NOT_LOADED = (NotImplementedError, "exact predecessor order not loaded")
NOT_CONVERTED = (NotImplementedError, 'edge attribute "nope" was not converted')
ERRORS = {  # the range check comes before the weight lookup
    "bfs_source": (lambda g: g.bfs(4, INF), *OUT_OF_RANGE),
    "bfs_many_source": (lambda g: g.bfs_many([0, 4], INF), *OUT_OF_RANGE),
    "dfs_forward_start": (lambda g: g.dfs_forward([1, 4], 1), *OUT_OF_RANGE),
    "dijkstra_source": (lambda g: g.dijkstra(4, "nope"), *OUT_OF_RANGE),
    "dijkstra_many_source": (lambda g: g.dijkstra_many([4], "nope"), *OUT_OF_RANGE),
    "dijkstra_path_target": (lambda g: g.dijkstra(0).path(4), *OUT_OF_RANGE),
    "bfs_reverse": (lambda g: g.bfs(0, INF, reverse=True), *NOT_LOADED),
    "dijkstra_reverse": (lambda g: g.dijkstra(0, reverse=True), *NOT_LOADED),
    "dijkstra_attr": (lambda g: g.dijkstra(0, "nope"), *NOT_CONVERTED),
    "dijkstra_many_attr": (lambda g: g.dijkstra_many([0], "nope"), *NOT_CONVERTED),
    "cutoff_none": (lambda g: g.bfs(0, None), TypeError, "'cutoff'"),
    "many_cutoff_none": (lambda g: g.bfs_many([0], None), TypeError, "'cutoff'"),
    "depth_limit_none": (lambda g: g.dfs_forward(None, None), TypeError, "'depth_limit'"),
    "sources_str": (lambda g: g.bfs_many("01", 1), TypeError, "'sources'"),
    "reverse_int": (lambda g: g.bfs(0, INF, reverse=1), TypeError, "'reverse'"),
    "reverse_positional": (lambda g: g.bfs(0, INF, True), TypeError, "positional"),
    "nodes_list": (lambda g: g.bfs(0, INF).paths(["a", "b", "c"], "a"), TypeError, "'nodes' must be tuple"),
    "nodes_short": (lambda g: g.bfs_many([0], INF).paths(("a", "b")), ValueError, "one object per node"),
    "nodes_long": (lambda g: g.dijkstra(0).paths(tuple("abcde"), "a"), ValueError, "one object per node"),
    "length_dict_nodes_short": (lambda g: g.bfs(0, INF).length_dict(("a", "b")), ValueError, "one object per node"),
    "length_dicts_nodes_long": (lambda g: g.dijkstra_many([0]).length_dicts(tuple("abcde")), ValueError,
                                "one object per node"),
}


@pytest.mark.parametrize("case", list(ERRORS))
def test_errors(case):
    call, exc, message = ERRORS[case]
    with pytest.raises(exc) as info:
        call(convert(_digraph([("a", "b", 1), ("b", "c", 2)]), [("weight", 1)]))
    assert message in str(info.value)


def test_result_objects_outlive_their_graph():
    G = add_weights(ZOO["les_miserables"], "float", seed=3)
    g = convert(G, [("weight", 1)])
    nodes = tuple(G)
    results = [g.bfs(0, INF), g.bfs_many([0, 5], 2), g.dijkstra(0, "weight"), g.dijkstra_many([0, 5], "weight")]
    want = [r.paths(nodes) for r in results]
    del g
    gc.collect()
    assert [r.paths(nodes) for r in results] == want
    assert want[2][1] == nx.single_source_dijkstra_path(G, nodes[0])


@pytest.mark.parametrize("name", ["BfsResult", "BfsResults", "DijkstraResult", "DijkstraResults"])
def test_result_types_are_neither_made_nor_changed(name):
    with pytest.raises(TypeError):
        getattr(core, name)()
    result = {"BfsResult": lambda g: g.bfs(0, INF), "BfsResults": lambda g: g.bfs_many([0], INF),
              "DijkstraResult": lambda g: g.dijkstra(0), "DijkstraResults": lambda g: g.dijkstra_many([0])}[name]
    found = result(convert(nx.path_graph(3)))
    assert type(found) is getattr(core, name)
    with pytest.raises(AttributeError):
        found.extra = 1


def test_one_result_shaped_by_many_threads():
    G = add_weights(nx.gnp_random_graph(300, 0.02, seed=5), "float", seed=6)
    g, nodes = convert(G, [("weight", 1)]), tuple(G)
    found = g.dijkstra_many(list(range(0, 300, 7)), "weight")
    want = found.paths(nodes)
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        got = list(pool.map(lambda _: found.paths(nodes), range(32)))
    assert got == [want] * 32
    assert want[1] == nx.single_source_dijkstra(G, 7)


def test_target_beyond_n_is_no_target():
    g = convert(_digraph([("a", "b", 1), ("b", "c", 2)]), [("weight", 1)])
    full = g.dijkstra(0, "weight").tree()
    assert g.dijkstra(0, "weight", target=2**40).tree() == g.dijkstra(0, "weight", target=4).tree() == full
    assert full[:2] == ([0, 1, 2], [0.0, 1.0, 3.0])
