"""all_shortest_paths (AllPaths) against NetworkX, node positions mapped back
through list(G)."""

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
NX_SKIPS_ENDS = tuple(int(x) for x in nx.__version__.split(".")[:2]) < (3, 7)


def walk_36(pred, source, target):
    """NetworkX 3.6's _build_paths_from_predecessors, one source."""
    seen, stack, top = {target}, [[target, 0]], 0
    while top >= 0:
        node, i = stack[top]
        if node == source:
            yield [p for p, _ in reversed(stack[: top + 1])]
        if len(pred[node]) > i:
            stack[top][1] = i + 1
            nxt = pred[node][i]
            if nxt in seen:
                continue
            seen.add(nxt)
            top += 1
            stack[top:] = [[nxt, 0]]
        else:
            seen.discard(node)
            top -= 1


def walk_37(pred, source, target):
    """NetworkX 3.7's _build_paths_from_predecessors, one source."""
    stack, path = {target: iter(pred[target])}, [target]
    while stack:
        if path[-1] == source:
            yield path[::-1]
        for p in stack[path[-1]]:
            if p not in stack:
                stack[p] = iter(pred[p])
                path.append(p)
                break
        else:
            stack.popitem()
            path.pop()


def outcome(fn, *args, **kwargs):
    try:
        return fn(*args, **kwargs)
    except (nx.NetworkXNoPath, ValueError) as exc:
        return None if isinstance(exc, nx.NetworkXNoPath) else (type(exc), exc.args)


def ours(call, *args):
    try:
        return call(*args)
    except ValueError as exc:
        return ValueError, exc.args


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
    g, nodes = prepared(G, weight is not None)
    for s, t in pair_list:
        for skip, walk in [(True, walk_36), (False, walk_37)]:
            got = ours(lambda: drain(g.all_shortest_paths(s, t, weight, skip), nodes))
            if weight is None:
                pred = nx.predecessor(G, nodes[s])
            else:
                pred = outcome(lambda: nx.dijkstra_predecessor_and_distance(G, nodes[s], weight=weight)[0])
            if isinstance(pred, dict):
                pred = list(walk(pred, nodes[s], nodes[t])) if nodes[t] in pred else None
            assert got == pred, (s, t, skip)
            if skip == NX_SKIPS_ENDS:
                assert got == outcome(lambda: list(nx.all_shortest_paths(G, nodes[s], nodes[t], weight=weight)))


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


MANY_PATHS = {
    "grid": (lambda: nx.grid_2d_graph(6, 6), None),
    "grid_unit_weights": (lambda: nx.grid_2d_graph(5, 6), "weight"),
    "bipartite": (lambda: nx.complete_bipartite_graph(4, 6), None),
    "bipartite_directed": (lambda: nx.DiGraph(nx.complete_bipartite_graph(5, 3)), None),
    "layered_dag": (lambda: _layered_dag(7, 4, 1), None),
    "layered_dag_weighted": (lambda: _layered_dag(7, 4, 2), "weight"),
    "zero_cycles": (lambda: _zero_cycles(False, 3), "weight"),
    "zero_cycles_directed": (lambda: _zero_cycles(True, 4), "weight"),
    "negative": (lambda: nx.DiGraph([(0, 1, {"weight": 2}), (0, 2, {"weight": 5}), (2, 1, {"weight": -4})]),
                 "weight"),
}


@pytest.mark.parametrize("case", list(MANY_PATHS))
def test_all_shortest_paths_many_equal_paths(case):
    make, weight = MANY_PATHS[case]
    G = make()
    check_all(G, weight, list(itertools.product(range(len(G)), repeat=2)))


def test_releases_differ_where_the_source_has_predecessors():
    G = nx.DiGraph([(0, 1, {"weight": 0}), (1, 0, {"weight": 0}), (1, 2, {"weight": 1})])
    g, _ = prepared(G, True)
    nodes = list(G)
    assert drain(g.all_shortest_paths(0, 2, "weight", True), nodes) == [[0, 1, 2], [0, 1, 2]]
    assert drain(g.all_shortest_paths(0, 2, "weight"), nodes) == [[0, 1, 2]]
    assert drain(g.all_shortest_paths(2, 2), nodes) == [[2]]


def test_errors():
    G = nx.DiGraph([(0, 1, {"weight": -3}), (1, 0, {"weight": 1}), (1, 2, {"weight": 1})])
    g, _ = prepared(G, True)
    want = (ValueError, ("Contradictory paths found:", "negative weights?"))
    assert ours(g.all_shortest_paths, 1, 2, "weight") == want
    assert outcome(lambda: list(nx.all_shortest_paths(G, 1, 2, weight="weight"))) == want
    for s, t in [(3, 0), (0, 3)]:
        with pytest.raises(IndexError, match="^node index out of range$"):
            g.all_shortest_paths(s, t)
    with pytest.raises(NotImplementedError, match='^edge attribute "w" was not converted$'):
        g.all_shortest_paths(0, 1, "w")
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
    ap = g.all_shortest_paths(0, len(G) - 1)
    got, refused = [], []
    deadline = time.monotonic() + 2.0

    def work():
        mine, errors = [], 0
        while time.monotonic() < deadline:
            try:
                mine.append(tuple(ap.next_path()))
            except RuntimeError as exc:
                assert str(exc) == "Already borrowed"
                errors += 1
        got.extend(mine)
        refused.append(errors)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sum(refused) > 0
    want = itertools.islice(nx.all_shortest_paths(G, nodes[0], nodes[-1]), len(got))
    assert sorted(got) == sorted(tuple(index[v] for v in p) for p in want)
