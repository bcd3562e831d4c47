"""The distance-statistics methods of CoreGraph against NetworkX, and their
argument handling."""

import functools
import math
import operator

import networkx as nx
import pytest
from zoo import ZOO, add_weights, convert

import fennel._core as core

INF = float("inf")


def neumaier(values):
    """CPython 3.12's float sum(), written out."""
    s = c = 0.0
    for x in values:
        t = s + x
        c += (s - t) + x if abs(s) >= abs(x) else (x - t) + s
        s = t
    return s + c if c and math.isfinite(c) else s


def nx_stats(G, v, reverse=False):
    lengths = nx.single_source_shortest_path_length(G.reverse() if reverse else G, v)
    return (len(lengths), sum(lengths.values()), max(lengths.values()))


@pytest.mark.parametrize("name", ["les_miserables", "digraph_loops_isolates", "multidigraph", "disconnected"])
def test_bfs_stats_across_chunks(name):
    G = ZOO[name]
    g = convert(G)
    nodes = list(G)
    # Sources repeat and cross the 64-source chunk boundary.
    sources = [(7 * i) % len(G) for i in range(150)]
    assert g.bfs_stats(sources) == [nx_stats(G, nodes[s]) for s in sources]
    assert g.bfs_stats()[-1] == g.bfs_stats([len(G) - 1])[0]
    if G.is_directed():
        assert g.bfs_stats(sources[:70], True) == [nx_stats(G, nodes[s], True) for s in sources[:70]]


def test_bfs_stats_small_cases():
    g = convert(nx.path_graph(3))
    assert g.bfs_stats([0, 1]) == [(3, 3, 2), (3, 2, 1)]
    g = convert(nx.empty_graph(2))
    assert g.bfs_stats() == [(1, 0, 0), (1, 0, 0)]


def test_many_forms_match_single_searches():
    G = add_weights(ZOO["digraph_loops_isolates"], "float", seed=4)
    g = convert(G, [("weight", 1)])
    sources = list(range(len(G)))[::3]
    assert g.bfs_many(sources, 2.0).lengths() == [g.bfs(s, 2.0).lengths() for s in sources]
    # One kind of weights: no per-entry kinds; the scratch reused across
    # sources leaves nothing behind.
    assert g.dijkstra_many(sources, "weight").lengths() == [g.dijkstra(s, "weight").lengths() for s in sources]
    assert all(kinds is None for _, _, kinds in g.dijkstra_many(sources, "weight").lengths())


def test_negative_cycle_spoils_only_its_source():
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (1, 2, -5), (2, 1, 1), (3, 0, 1), (4, 5, 2)])
    g = convert(G, [("weight", 1)])
    assert g.dijkstra_many([3, 4, 1], "weight").lengths() == [None, ([4, 5], [0.0, 2.0], None), None]
    with pytest.raises(ValueError) as info:
        g.closeness("weight")
    assert info.value.args == ("Contradictory paths found:", "negative weights?")


def test_harmonic_sums_and_flags():
    G = nx.DiGraph([(0, 1), (1, 2), (3, 3)])
    g = convert(G)
    sums, hit = g.harmonic([0, 1, 3], [True, True, False, True])
    assert hit == [False, True, False, False]  # 2 is outside the nbunch, 3 only at distance 0
    assert sums == [0.0, 1.0 + 0.0, 0.0, 0.0]
    assert g.harmonic([], [True] * 4) == ([0.0] * 4, [False] * 4)
    assert g.closeness(sources=[]) == []


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda g: g.bfs_stats([3]), IndexError, "node index out of range"),
        (lambda g: g.bfs_many([0, 3], INF), IndexError, "node index out of range"),
        (lambda g: g.harmonic([0], [True]), ValueError, "in_nbunch must have one value per node"),
        (lambda g: g.harmonic([0], [1, 0, 0]), TypeError, "argument 'in_nbunch'"),
        (lambda g: g.harmonic([0], "abc"), TypeError, "argument 'in_nbunch'"),
        (lambda g: g.closeness(None, True, None, True), TypeError, "takes from 0 to 3 positional arguments"),
        (lambda g: g.closeness("nope"), NotImplementedError, 'edge attribute "nope" was not converted'),
        (lambda g: g.dijkstra_many([0], "nope"), NotImplementedError, 'edge attribute "nope" was not converted'),
        (lambda g: g.bfs_many([0], INF).length_dicts((0, 1)), ValueError, "one object per node"),
        (lambda g: g.dijkstra_many([5]), IndexError, "node index out of range"),
    ],
)
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call(convert(nx.path_graph(3, create_using=nx.DiGraph)))
    assert message in str(info.value)


def test_dijkstra_stats_totals():
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (1, 2, -5), (2, 1, 1), (3, 0, 1), (4, 5, 2.5)])
    g = convert(G, [("weight", 1)])
    per_source, total = g.dijkstra_stats("weight", [4, 1, 5])
    assert per_source == [(2, 2.5), None, (1, 0.0)] and total is None
    assert g.dijkstra_stats("weight", []) == ([], 0)  # sum() of nothing is the int 0
    assert g.dijkstra_stats("weight", [4]) == ([(2, 2.5)], 2.5)
    # Float totals: plain, or compensated as CPython 3.12's sum().
    H = nx.DiGraph()
    H.add_weighted_edges_from([(0, 1, 1e16), (0, 2, 1.0), (0, 3, -1e16 + 2.0)])
    h = convert(H, [("weight", 1)])
    dist = list(nx.single_source_dijkstra_path_length(H, 0, weight="weight").values())[1:]
    plain = h.dijkstra_stats("weight", [0], compensated_sum=False)[1]
    compensated = h.dijkstra_stats("weight", [0], compensated_sum=True)[1]
    assert plain == functools.reduce(operator.add, dist, 0.0) != compensated == neumaier(dist)
    # Int totals are exact far past 2**53.
    P = nx.path_graph(30, create_using=nx.DiGraph)
    nx.set_edge_attributes(P, 2**48 + 1, "weight")
    p = convert(P, [("weight", 1)])
    expected = sum(sum(nx.single_source_dijkstra_path_length(P, v).values()) for v in P)
    assert expected > 2**53 and p.dijkstra_stats("weight")[1] == expected
