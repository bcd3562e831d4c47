"""The lengths of the breadth-first and Dijkstra result objects against NetworkX's own length searches."""

import math

import networkx as nx
import pytest

from zoo import FLAVOURS, ZOO, ZOO_IDS, add_weights, convert, dijkstra_lengths

INF = math.inf
NAN = math.nan
NONEMPTY = [name for name in ZOO_IDS if len(ZOO[name])]


def sample_sources(G):
    n = len(G)
    return sorted({0, n // 2, n - 1})


def positions(G, d):
    """A NetworkX {node: value} dict as (positions in insertion order, values)."""
    index = {v: i for i, v in enumerate(G)}
    return [index[v] for v in d], list(d.values())


def outcome(fn, *args, **kwargs):
    """A call's result, or its exception type and args (to compare failures too)."""
    try:
        return fn(*args, **kwargs)
    except Exception as exc:  # noqa: BLE001 - any failure must match NetworkX's
        return type(exc), exc.args


# Breadth-first


@pytest.mark.parametrize("cutoff", [INF, 0, 1, 1.5, 2, 3.0, -1, NAN], ids=str)
@pytest.mark.parametrize("name", NONEMPTY)
def test_bfs_lengths_match_networkx(name, cutoff):
    G = ZOO[name]
    g = convert(G)
    nodes = list(G)
    for s in sample_sources(G):
        want = nx.single_source_shortest_path_length(G, nodes[s], cutoff=cutoff)
        order, levels = g.bfs(s, cutoff).lengths()
        assert (order, levels) == positions(G, want), (s, cutoff)
        assert all(type(x) is int for x in order + levels)


# Dijkstra

DIJKSTRA_CASES = [
    (name, flavour)
    for name in NONEMPTY
    for flavour in FLAVOURS
    # None among parallel edges is refused at conversion; single None edges
    # of simple graphs are hidden edges.
    if not (flavour == "none" and ZOO[name].is_multigraph())
]


@pytest.mark.parametrize("cutoff", [None, 0, 3.5, 6, NAN], ids=str)
@pytest.mark.parametrize("name,flavour", DIJKSTRA_CASES, ids=[f"{n}-{f}" for n, f in DIJKSTRA_CASES])
def test_dijkstra_lengths_match_networkx(name, flavour, cutoff):
    G = add_weights(ZOO[name], flavour, seed=len(name))
    g = convert(G, [("weight", 1)])
    nodes = list(G)
    for s in sample_sources(G):
        want = nx.single_source_dijkstra_path_length(G, nodes[s], cutoff=cutoff, weight="weight")
        order, dist = dijkstra_lengths(g, s, "weight", cutoff)
        want_order, want_dist = positions(G, want)
        assert order == want_order, (s, cutoff)
        assert dist == [float(x) for x in want_dist], (s, cutoff)
        assert all(type(x) is float for x in dist)


@pytest.mark.parametrize("cutoff", [None, 0, 1, 2.5, -1, NAN], ids=str)
@pytest.mark.parametrize("name", NONEMPTY)
def test_unweighted_dijkstra_lengths_are_hop_counts(name, cutoff):
    # NetworkX's Dijkstra with unit weights: the same visiting order (counter
    # tie-breaks), not the breadth-first order.
    G = ZOO[name]
    g = convert(G)
    nodes = list(G)
    for s in sample_sources(G):
        want = nx.single_source_dijkstra_path_length(G, nodes[s], cutoff=cutoff, weight=lambda u, v, d: 1)
        want_order, want_dist = positions(G, want)
        assert dijkstra_lengths(g, s, None, cutoff) == (want_order, [float(x) for x in want_dist])


def _digraph(edges, nodes=()):
    G = nx.DiGraph()
    G.add_nodes_from(nodes)
    G.add_weighted_edges_from(edges)
    return G


SMALL_CASES = {
    # c -> b at -10 reaches b after b was finalized at 1.
    "negative_into_finalized": (_digraph([("a", "b", 1), ("a", "c", 5), ("c", "b", -10)]), None),
    # The same kind of edge into a node still on the heap just lowers it.
    "negative_into_tentative": (_digraph([("a", "b", 5), ("a", "c", 1), ("c", "b", -3)]), None),
    # a -> x at -5 is within the cutoff; x -> a back at -2 lies beyond it, so
    # the contradiction with a's 0 goes unnoticed, as in NetworkX.
    "contradiction_beyond_cutoff": (_digraph([("a", "x", -5), ("x", "a", 3)]), -3),
    "contradiction_within_cutoff": (_digraph([("a", "x", -5), ("x", "a", 3)]), -1),
    # c and b tie at 1; c is pushed first although it comes later in list(G).
    "tie_by_push_order": (_digraph([("a", "c", 1), ("a", "b", 1), ("c", "d", 1), ("b", "d", 1)], "abcd"), None),
    "shorter_path_found_later": (_digraph([("a", "b", 10), ("a", "c", 1), ("c", "d", 1), ("d", "b", 1)]), None),
    "zero_weights": (_digraph([("a", "b", 0), ("b", "c", 0), ("a", "c", 0), ("c", "a", 0)]), None),
}


@pytest.mark.parametrize("case", list(SMALL_CASES))
def test_dijkstra_lengths_small_cases(case):
    G, cutoff = SMALL_CASES[case]
    g = convert(G, [("weight", 1)])
    nodes = list(G)
    want = outcome(nx.single_source_dijkstra_path_length, G, nodes[0], cutoff=cutoff)
    got = dijkstra_lengths(g, 0, "weight", cutoff)
    if isinstance(want, dict):
        order, dist = positions(G, want)
        assert got == (order, [float(x) for x in dist])
    else:
        assert want == (ValueError, ("Contradictory paths found:", "negative weights?"))
        assert got is None


# Argument errors


def test_source_out_of_range():
    G = ZOO["path"]
    g = convert(G, [("weight", 1)])
    n = len(G)
    with pytest.raises(IndexError, match="node index out of range"):
        g.bfs(n, INF)
    with pytest.raises(IndexError, match="node index out of range"):
        dijkstra_lengths(g, n, "weight")
    with pytest.raises(IndexError):
        convert(ZOO["empty"]).bfs(0, INF)


@pytest.mark.parametrize(
    "attr,message",
    [("x", 'edge attribute "x" was not converted'), ('a"b\\c', r'edge attribute "a\"b\\c" was not converted')],
    ids=["plain", "escaped"],
)
def test_unconverted_attribute(attr, message):
    g = convert(ZOO["path"], [("weight", 1)])
    with pytest.raises(NotImplementedError) as info:
        dijkstra_lengths(g, 0, attr)
    assert str(info.value) == message
