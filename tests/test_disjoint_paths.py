"""edge_disjoint_paths and node_disjoint_paths against NetworkX: every path
in order, the errors and when they are raised (on the generator's first
step), cutoffs (an edge s -> t does not count towards one), directed and
undirected graphs of every node kind, and the calls left to NetworkX."""

import networkx as nx
import pytest
from networkx.algorithms.connectivity import build_auxiliary_edge_connectivity
from networkx.algorithms.flow import edmonds_karp, preflow_push
from zoo import _relabelled, _shuffled, shape

from fennel.backend import RELEASE_REFUSALS, calls

pytestmark = [
    pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs"),
    pytest.mark.skipif("edge_disjoint_paths" in RELEASE_REFUSALS, reason="the installed NetworkX keeps them"),
]

FUNCS = ["edge_disjoint_paths", "node_disjoint_paths"]


def _outcome(func, args, kwargs):
    try:
        paths = func(*args, **kwargs)  # a generator: nothing raised yet
        return ("returned", shape(list(paths)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(name, *args, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran."""
    func = getattr(nx, name)
    expected = _outcome(func, args, {**kwargs, "backend": "networkx"})
    before = calls["ran", name]
    got = _outcome(func, args, {**kwargs, "backend": "fennel"})
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(func, args, kwargs)
    assert got == expected
    return calls["ran", name] > before


def _graphs():
    dig = nx.gnp_random_graph(30, 0.15, seed=1, directed=True)
    und = nx.gnp_random_graph(30, 0.15, seed=2)
    loops = nx.gnp_random_graph(25, 0.2, seed=3)
    loops.add_edges_from([(0, 0), (5, 5), (0, 24)])
    return {
        "digraph": dig,
        "graph": und,
        "loops": loops,
        "complete": nx.complete_graph(7),
        "shuffled": _shuffled(dig, 4),
        "str_nodes": _relabelled(und, {i: f"v{i}" for i in und}),
        "mixed_nodes": _relabelled(dig, {i: (i if i % 3 else ("t", i)) if i % 2 else f"s{i}" for i in dig}),
        "hash_colliding": _relabelled(und, {i: i * 64 for i in und}),
        "two_parts": nx.disjoint_union(nx.path_graph(6, nx.DiGraph), nx.cycle_graph(5, nx.DiGraph)),
    }


GRAPHS = _graphs()


@pytest.mark.parametrize("name", FUNCS)
@pytest.mark.parametrize("gid", GRAPHS)
def test_against_networkx(gid, name):
    G = GRAPHS[gid]
    nodes = list(G)
    pairs = [(nodes[0], nodes[-1]), (nodes[len(nodes) // 2], nodes[1]), (nodes[3], nodes[-2]), (nodes[2], nodes[2])]
    pairs += [(u, v) for u, v in list(G.edges)[:3] if u != v]  # an edge s -> t
    for s, t in pairs:
        for kwargs in ({}, {"cutoff": 1}, {"cutoff": 2.5}, {"cutoff": 0}, {"flow_func": edmonds_karp}):
            assert same(name, G, s, t, **kwargs)


@pytest.mark.parametrize("name", FUNCS)
@pytest.mark.parametrize(("s", "t"), [(0, "absent"), ("absent", 1), (5, 6)])
def test_errors_and_no_path(name, s, t):
    G = nx.disjoint_union(nx.path_graph(6), nx.path_graph(3))
    assert same(name, G, s, t)


@pytest.mark.parametrize("name", FUNCS)
def test_graph_changed_before_the_first_step(name):
    results = []
    for backend in ("networkx", "fennel"):
        G = nx.cycle_graph(8)
        paths = getattr(nx, name)(G, 0, 4, backend=backend)
        G.add_edges_from([(0, 9), (9, 4)])
        results.append(shape(list(paths)))
    assert results[0] == results[1]


@pytest.mark.parametrize(
    "kwargs",
    [{"flow_func": preflow_push}, {"cutoff": float("nan")},
     {"auxiliary": build_auxiliary_edge_connectivity(nx.cycle_graph(6))}, {"residual": nx.DiGraph()}],
)
def test_refused_calls_answered_by_networkx(kwargs):
    G = nx.cycle_graph(6)
    assert not same("edge_disjoint_paths", G, 0, 3, **kwargs)
