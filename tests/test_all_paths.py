"""all_shortest_paths (AllPaths), bidirectional_bfs and bidirectional_dijkstra
against NetworkX, node positions mapped back through list(G)."""

import itertools
import random
import sys
import sysconfig
import threading
import time

import networkx as nx
import pytest

import fennel._core as core
from zoo import FLAVOURS, ZOO, ZOO_IDS, add_weights, convert

# NetworkX 3.7 rewrote the path walk of all_shortest_paths; earlier releases
# yield the source again after meeting a predecessor already on the path.
# Each CI leg checks the walk of its own release against NetworkX, and that
# the other walk departs from it only there.
NX_SKIPS_ENDS = tuple(int(x) for x in nx.__version__.split(".")[:2]) < (3, 7)


def outcome(fn, *args, **kwargs):
    """A result; None for NetworkX's "no path"; a ValueError as (type, args)."""
    try:
        return fn(*args, **kwargs)
    except (nx.NetworkXNoPath, ValueError) as exc:
        return None if isinstance(exc, nx.NetworkXNoPath) else (type(exc), exc.args)


def drain(ap, nodes):
    if ap is None:
        return None
    paths = []
    while (p := ap.next_path()) is not None:
        paths.append([nodes[i] for i in p])
    assert ap.next_path() is None and ap.next_path() is None
    return paths


def prepared(G, weighted):
    attrs = [("weight", 1)] if weighted else []
    g = convert(G, attrs)
    nodes = list(G)
    if G.is_directed():
        g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, G._pred, attrs, G.is_multigraph())
    return g, nodes


def pairs(G, count=10):
    n = len(G)
    rng = random.Random(n)
    return [(0, n - 1), (n - 1, 0), (0, 0)] + [(rng.randrange(n), rng.randrange(n)) for _ in range(count)]


def check_all(G, weight, pair_list):
    """Both walks; the installed release's against nx.all_shortest_paths.
    Returns how many pairs the two walks answer differently."""
    g, nodes = prepared(G, weight is not None)
    differ = 0
    for s, t in pair_list:
        got = {skip: outcome(lambda: drain(g.path_walk(s, t, weight, skip), nodes)) for skip in (True, False)}
        assert got[NX_SKIPS_ENDS] == outcome(lambda: list(nx.all_shortest_paths(G, nodes[s], nodes[t], weight=weight)))
        differ += got[True] != got[False]
    return differ


def check_bidirectional(G, weight, pair_list):
    g, nodes = prepared(G, weight is not None)
    for s, t in pair_list:
        if weight is None:
            want = outcome(nx.bidirectional_shortest_path, G, nodes[s], nodes[t])
            got = g.bidirectional_bfs(s, t)
            assert (got and [nodes[i] for i in got]) == want
        if s != t:
            want = outcome(nx.bidirectional_dijkstra, G, nodes[s], nodes[t], weight=weight)
            got = outcome(g.bidirectional_weighted, s, t, weight)
            if isinstance(got, tuple) and got[0] is not ValueError:
                assert type(got[0]) is float
                got = (got[0], [nodes[i] for i in got[1]])
            assert got == want, (s, t)


CASES = [(name, f) for name in ZOO_IDS if len(ZOO[name]) for f in [None] + FLAVOURS
         if not (f == "none" and ZOO[name].is_multigraph())]


def weighted_case(name, flavour):
    return ZOO[name] if flavour is None else add_weights(ZOO[name], flavour, seed=len(name))


@pytest.mark.parametrize("name,flavour", CASES, ids=[f"{n}-{f}" for n, f in CASES])
def test_all_shortest_paths_zoo(name, flavour):
    G = weighted_case(name, flavour)
    check_all(G, flavour and "weight", pairs(G))


def _layered_dag(layers, width, seed):
    rng = random.Random(seed)
    G = nx.DiGraph()
    for k in range(layers - 1):
        for u in range(width):
            for v in rng.sample(range(width), rng.randint(1, width)):
                G.add_edge((k, u), (k + 1, v), weight=rng.choice([1, 1, 2]))
    return G


def _zero_cycles(directed, seed):
    # Zero-weight edges give the source (and others) predecessors on the path.
    G = nx.gnp_random_graph(9, 0.45, seed=seed, directed=directed)
    rng = random.Random(seed)
    for u, v in G.edges:
        G.edges[u, v]["weight"] = rng.choice([0, 0, 1])
    G.add_edge(0, 0, weight=0)
    return G


def _ties(directed, seed):
    # Small integer weights: equal totals, and tentative distances improved
    # after their push, whose stale heap entries still cost the bidirectional
    # search a turn.
    G = nx.gnp_random_graph(40, 0.1, seed=seed, directed=directed)
    rng = random.Random(seed)
    for u, v in G.edges:
        G.edges[u, v]["weight"] = rng.choice([1, 2, 3, 4])
    return G


MANY_PATHS = {
    "grid": (lambda: nx.grid_2d_graph(6, 6), None),
    "grid_unit_weights": (lambda: nx.grid_2d_graph(5, 6), "weight"),
    "bipartite": (lambda: nx.complete_bipartite_graph(4, 6), None),
    "bipartite_directed": (lambda: nx.DiGraph(nx.complete_bipartite_graph(5, 3)), None),
    "layered_dag": (lambda: _layered_dag(7, 4, 1), None),
    "layered_dag_weighted": (lambda: _layered_dag(7, 4, 2), "weight"),
    "zero_cycles": (lambda: _zero_cycles(False, 3), "weight"),
    "zero_cycles_directed": (lambda: _zero_cycles(True, 4), "weight"),
    "ties": (lambda: _ties(False, 0), "weight"),
    "ties_directed": (lambda: _ties(True, 4), "weight"),
    "negative": (lambda: nx.DiGraph([(0, 1, {"weight": 2}), (0, 2, {"weight": 5}), (2, 1, {"weight": -4})]),
                 "weight"),
}


@pytest.mark.parametrize("case", list(MANY_PATHS))
def test_many_equal_paths(case):
    make, weight = MANY_PATHS[case]
    G = make()
    every_pair = list(itertools.product(range(len(G)), repeat=2))
    check_bidirectional(G, weight, every_pair)
    differ = check_all(G, weight, every_pair)
    # The walks part only where the source has predecessors (zero-weight
    # cycles through it).
    assert (differ > 0) == case.startswith("zero_cycles")


@pytest.mark.parametrize("name,flavour", CASES, ids=[f"{n}-{f}" for n, f in CASES])
def test_bidirectional_zoo(name, flavour):
    G = weighted_case(name, flavour)
    check_bidirectional(G, flavour and "weight", pairs(G, 30))


def test_errors():
    G = nx.DiGraph([(0, 1, {"weight": -3}), (1, 0, {"weight": 1}), (1, 2, {"weight": 1})])
    g = convert(G, [("weight", 1)])
    for call in [lambda: g.bidirectional_bfs(1, 1), lambda: g.bidirectional_weighted(0, 2)]:
        with pytest.raises(NotImplementedError, match="^exact predecessor order not loaded$"):
            call()
    g, _ = prepared(G, True)
    want = (ValueError, ("Contradictory paths found: negative weights?",))
    assert outcome(g.bidirectional_weighted, 0, 2, "weight") == want == outcome(nx.bidirectional_dijkstra, G, 0, 2)
    want = (ValueError, ("Contradictory paths found:", "negative weights?"))
    assert outcome(g.path_walk, 1, 2, "weight") == want
    assert outcome(lambda: list(nx.all_shortest_paths(G, 1, 2, weight="weight"))) == want
    for call in [g.path_walk, g.bidirectional_bfs, g.bidirectional_weighted]:
        for s, t in [(3, 0), (0, 3)]:
            with pytest.raises(IndexError, match="^node index out of range$"):
                call(s, t)
    for call in [g.path_walk, g.bidirectional_weighted]:
        with pytest.raises(NotImplementedError, match='^edge attribute "w" was not converted$'):
            call(0, 1, "w")
    with pytest.raises(TypeError):
        core.AllPaths()


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED") or sys._is_gil_enabled(),
                    reason="overlapping calls need free threading with the GIL off")
def test_overlapping_next_path_is_refused_and_changes_nothing():
    G = nx.DiGraph()
    for k in range(300):  # 2**299 paths of 301 nodes each
        G.add_edges_from([((k, a), (k + 1, b)) for a in range(2) for b in range(2)])
    g = convert(G)
    nodes = list(G)
    index = {v: i for i, v in enumerate(nodes)}
    ap = g.path_walk(0, len(G) - 1)
    got, refused = [], []
    deadline = time.monotonic() + 2.0

    def work():
        while time.monotonic() < deadline:
            try:
                got.append(tuple(ap.next_path()))
            except RuntimeError as exc:
                refused.append(str(exc))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert set(refused) == {"Already borrowed"}
    want = itertools.islice(nx.all_shortest_paths(G, nodes[0], nodes[-1]), len(got))
    assert sorted(got) == sorted(tuple(index[v] for v in p) for p in want)
