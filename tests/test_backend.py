"""fennel through NetworkX's dispatcher against NetworkX itself."""

import copy
import math
import os
import pickle
import random
import subprocess
import sys
from pathlib import Path

import networkx as nx
import numpy as np
import pytest
from zoo import FLAVOURS, ZOO, ZOO_IDS, add_weights

import fennel
import fennel._core
from fennel import backend
from fennel.backend import registry, centrality, interface

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

BC = ("betweenness_centrality", "edge_betweenness_centrality")
SSSP, DIJKSTRA = "single_source_shortest_path_length", "single_source_dijkstra_path_length"


def served(name):
    """Whether fennel answers ``name`` under the installed NetworkX.

    The backend refuses (node or edge) betweenness on releases whose
    rescaling it does not reproduce.
    """
    return name not in backend.RELEASE_REFUSALS


# Newer NetworkX releases remember a failed conversion in the graph's cache
# (and then only ask can_run); older ones try to convert again on every call.
REMEMBERS_FAILED_CONVERSIONS = hasattr(nx.utils.backends, "FAILED_TO_CONVERT")


def exact(result):
    """Keys, key and value types, and float bits, in order."""
    return [(repr(k), type(v), v.hex() if type(v) is float else v) for k, v in result.items()]


def outcome(name, *args, **kwargs):
    try:
        return ("ok", exact(getattr(nx, name)(*args, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same_as_networkx(name, *args, **kwargs):
    """Run with fennel and with NetworkX; fennel itself must have answered.

    Where fennel does not serve ``name`` on the installed NetworkX, it must
    refuse instead, and NetworkX must answer when allowed to fall back.
    """
    expected = outcome(name, *args, backend="networkx", **kwargs)
    ran, refused = backend.calls["ran", name], backend.calls["refused", name]
    got = outcome(name, *args, backend="fennel", **kwargs)
    if served(name):
        assert (backend.calls["ran", name] > ran) == (got[0] == "ok")
        assert got == expected
        return
    assert got[:2] == ("raised", NotImplementedError)
    assert backend.calls["refused", name] > refused
    with nx.config(backend_priority=["fennel"]):
        assert outcome(name, *args, **kwargs) == expected
    assert backend.calls["ran", name] == ran


def weighted(gid, flavour):
    G = ZOO[gid]
    return (G, None) if flavour is None else (add_weights(G, flavour, seed=len(G)), "weight")


# None weights make NetworkX's betweenness raise and its Dijkstra lengths mix
# ints and floats for mixed weights: both are fallback cases, tested below.
@pytest.mark.parametrize("flavour", [None, *(f for f in FLAVOURS if f != "none")])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_betweenness(gid, flavour):
    G, weight = weighted(gid, flavour)
    for k in sorted({None, 1, 3, len(G)}, key=str):
        for normalized in (True, False):
            kw = dict(k=k, seed=k, normalized=normalized, weight=weight)
            same_as_networkx("edge_betweenness_centrality", G, **kw)
            for endpoints in (True, False):
                same_as_networkx("betweenness_centrality", G, endpoints=endpoints, **kw)


@pytest.mark.parametrize("name", BC)
def test_served_exactly_where_the_rescaling_matches(name):
    # served() against the installed NetworkX: fennel's own rescaling of
    # sampled sums gives NetworkX's answer exactly where the function is served.
    G = ZOO["les_miserables"]
    fg = backend.FennelGraph(G)
    sources = centrality._sample_positions(fg, 9, 3)
    if name == "betweenness_centrality":
        raw, endpoints = fg.core.betweenness(None, False, sources), False
    else:
        raw, endpoints = fg.core.edge_betweenness(None, sources), True
    ours = centrality._rescale(raw, len(G), normalized=True, directed=False, endpoints=endpoints, sources=sources)
    theirs = getattr(nx, name)(G, k=9, seed=3, backend="networkx")
    assert (ours == list(theirs.values())) is served(name)


@pytest.mark.parametrize("name", BC)
@pytest.mark.parametrize(
    "make_seed",
    [lambda: None, lambda: 11, lambda: random.Random(5), lambda: np.random.RandomState(3),
     lambda: np.random.default_rng(4)],
    ids=["none", "int", "Random", "RandomState", "Generator"],
)
def test_sampling_seeds(name, make_seed):
    G = ZOO["les_miserables"]
    before = backend.calls["ran", name]
    random.seed(2)
    with nx.config(backend_priority=["fennel"]):
        got = getattr(nx, name)(G, k=9, seed=make_seed())
    assert (backend.calls["ran", name] > before) == served(name)
    random.seed(2)
    assert exact(got) == exact(getattr(nx, name)(G, k=9, seed=make_seed(), backend="networkx"))


@pytest.mark.parametrize("flavour", [None, *(f for f in FLAVOURS if f != "mixed")])
@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if ZOO[g]])
def test_single_source_lengths(gid, flavour):
    if flavour == "none" and ZOO[gid].is_multigraph():
        pytest.skip("None among parallel edges: a fallback case")
    G, weight = weighted(gid, flavour)
    nodes = list(G)
    for source in {nodes[0], nodes[len(nodes) // 2]}:
        for cutoff in (None, 0, 1, 2.5, 4, -1, math.inf, math.nan):
            same_as_networkx(DIJKSTRA, G, source, cutoff=cutoff, weight=weight)
        if flavour is None:
            for cutoff in (None, 0, 1, 2.5, 4, -1, math.inf, math.nan, True, 2**53 + 1, -(10**400)):
                same_as_networkx(SSSP, G, source, cutoff=cutoff)


def test_source_given_as_equal_object():
    # NetworkX keys the source by the object passed in, not G's node.
    G = nx.path_graph(4)
    for name in (SSSP, DIJKSTRA):
        same_as_networkx(name, G, 1.0)
        same_as_networkx(name, G, True)
    for name in ("bfs_edges", "bfs_predecessors"):
        for source in (1.0, True):
            want = repr(list(getattr(nx, name)(G, source, backend="networkx")))
            assert repr(list(getattr(nx, name)(G, source, backend="fennel"))) == want


def contradictory():
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (0, 2, 3), (2, 1, -5)])
    return G


@pytest.mark.parametrize(
    ("name", "G", "args", "kwargs"),
    [
        (SSSP, ZOO["karate"], ("nope",), {}),
        (SSSP, ZOO["empty"], (0,), {}),
        (SSSP, ZOO["karate"], ([1],), {}),
        (DIJKSTRA, ZOO["mixed_nodes"], ("nope",), {}),
        (DIJKSTRA, ZOO["karate"], ([1],), {}),
        (DIJKSTRA, contradictory(), (0,), {}),
        ("betweenness_centrality", ZOO["path"], (), {"k": 7, "seed": 1}),
        ("edge_betweenness_centrality", ZOO["path"], (), {"k": -1, "seed": 1}),
    ],
)
def test_errors_are_networkx_errors(name, G, args, kwargs):
    assert outcome(name, G, *args, backend="networkx", **kwargs)[0] == "raised"
    same_as_networkx(name, G, *args, **kwargs)


def path_with(values, cls=nx.Graph):
    G = nx.path_graph(len(values) + 1, create_using=cls)
    for (u, v), w in zip(G.edges(), values):
        G[u][v]["weight"] = w
    return G


def unconvertible_count():
    return sum(count for (event, _), count in backend.calls.items() if event == "unconvertible")


@pytest.mark.parametrize(
    ("name", "G", "kwargs"),
    [
        # NetworkX raises TypeError adding None in betweenness.
        ("betweenness_centrality", add_weights(ZOO["gnp"], "none"), {"weight": "weight"}),
        ("edge_betweenness_centrality", add_weights(ZOO["digraph"], "none"), {"weight": "weight"}),
        # A length over ints and floats typed by a search from both ends.
        ("bidirectional_dijkstra", add_weights(ZOO["karate"], "mixed"), {"source": 0, "target": 5}),
        ("bidirectional_dijkstra", add_weights(ZOO["multigraph"], "mixed"), {"source": 0, "target": 5}),
        # NetworkX's min() over parallel edges fails on None.
        (DIJKSTRA, add_weights(ZOO["multidigraph"], "none"), {"source": 0}),
        # numpy scalars keep their own types and precision in NetworkX.
        (DIJKSTRA, path_with([np.float32(0.1)] * 5), {"source": 0}),
        ("betweenness_centrality", path_with([np.float32(0.1), np.float32(0.2), 0.3]), {"weight": "weight"}),
        # Integer sums past 2**53 would round in doubles.
        (DIJKSTRA, path_with([2**52, 2**52, 1]), {"source": 0}),
        ("betweenness_centrality", path_with([2**51] * 6), {"weight": "weight"}),
        # Weights fennel cannot convert at all.
        (DIJKSTRA, path_with([1, "x", 2]), {"source": 0}),
        (DIJKSTRA, path_with([1, 2**60]), {"source": 0}),
        (DIJKSTRA, path_with([1, math.nan]), {"source": 0}),
        # A node that equals an edge tuple shares its entry in NetworkX.
        ("edge_betweenness_centrality", nx.Graph([(0, 1), (1, (0, 1))]), {}),
    ],
)
def test_falls_back_where_it_must(name, G, kwargs, monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    expected = outcome(name, G, backend="networkx", **kwargs)
    ran, refused, unconvertible = backend.calls["ran", name], backend.calls["refused", name], unconvertible_count()
    declined = backend.calls["declined", name]
    with nx.config(backend_priority=["fennel"]):
        assert outcome(name, G, **kwargs) == expected  # first call: conversion or data refusal
        assert outcome(name, G, **kwargs) == expected  # again, from the cached conversion
    assert backend.calls["ran", name] == ran
    # Each call was refused, failed to convert or (a search bounded by what it
    # reaches, on a graph not converted) declined, and says so in the call log.
    declines = backend.calls["declined", name] - declined
    assert backend.calls["refused", name] - refused + unconvertible_count() - unconvertible + declines == 2
    if REMEMBERS_FAILED_CONVERSIONS and not declines:
        assert backend.calls["refused", name] > refused
    # An explicit backend="fennel" may not fall back: NetworkX raises.
    with pytest.raises(NotImplementedError):
        getattr(nx, name)(G, backend="fennel", **kwargs)


@pytest.mark.parametrize(
    ("name", "args", "kwargs"),
    [
        ("betweenness_centrality", (), {"weight": lambda u, v, d: 1}),
        (DIJKSTRA, (0,), {"weight": lambda u, v, d: 2}),
        (DIJKSTRA, (0,), {"cutoff": 2**53 + 1}),
        (SSSP, (0,), {"cutoff": np.float32(2)}),
    ],
)
def test_can_run_refuses_arguments(name, args, kwargs):
    G = ZOO["karate"]
    assert isinstance(interface.refusal(name, (G, *args), kwargs), str)
    with nx.config(backend_priority=["fennel"]):
        assert outcome(name, G, *args, **kwargs) == outcome(name, G, *args, backend="networkx", **kwargs)


@pytest.mark.parametrize(
    ("name", "args", "small", "large"),
    [
        ("betweenness_centrality", (), nx.path_graph(4), nx.path_graph(30)),
        (SSSP, (0,), nx.path_graph(100), nx.path_graph(8000)),
        (DIJKSTRA, (0,), nx.path_graph(20), nx.path_graph(400)),
    ],
)
def test_should_run_declines_small_graphs(name, args, small, large):
    with nx.config(backend_priority=["fennel"]):
        for G, runs in ((small, False), (large, True)):
            before = backend.calls["ran", name]
            assert exact(getattr(nx, name)(G, *args)) == exact(getattr(nx, name)(G, *args, backend="networkx"))
            assert (backend.calls["ran", name] > before) is (runs and served(name))


@pytest.fixture
def builds(monkeypatch):
    count = [0]
    build = fennel._core.build_graph

    def counting(*args, **kwargs):
        count[0] += 1
        return build(*args, **kwargs)

    monkeypatch.setattr(fennel._core, "build_graph", counting)
    return count


def test_converted_once_and_again_after_mutation(builds):
    G = add_weights(ZOO["karate"], "int")
    for _ in range(3):
        same_as_networkx(SSSP, G, 0)
    assert builds[0] == 1
    same_as_networkx(DIJKSTRA, G, 0)  # needs the weight column: one more conversion
    same_as_networkx("edge_betweenness_centrality", G)  # served by either
    same_as_networkx("betweenness_centrality", G, weight="weight")  # served by the weighted one
    assert builds[0] == 2
    G.add_edge(0, 9, weight=1)
    same_as_networkx(DIJKSTRA, G, 9)
    same_as_networkx("betweenness_centrality", G, weight="weight")
    assert builds[0] == 3


def test_no_cache_converts_every_call(builds):
    G = ZOO["barbell"].copy()
    with nx.config(cache_converted_graphs=False):
        same_as_networkx(SSSP, G, 0)
        same_as_networkx(SSSP, G, 0)
    assert builds[0] == 2


@pytest.mark.parametrize(("name", "args"), [("edge_betweenness_centrality", ()), (DIJKSTRA, (0,))])
@pytest.mark.parametrize("clone", [copy.deepcopy, lambda G: pickle.loads(pickle.dumps(G))])
def test_copies_of_a_converted_graph(clone, name, args, builds):
    G = add_weights(ZOO["multigraph"], "float")
    same_as_networkx(name, G, *args, weight="weight")
    H = clone(G)
    same_as_networkx(name, H, *args, weight="weight")
    # The copy carries the converted graph (as bytes) and converts nothing again.
    assert builds[0] == (1 if served(name) else 0)
    if served(name):
        (fg,) = H.__networkx_cache__["backends"]["fennel"].values()
        assert fg.source is H and fg.core is not None


@pytest.mark.parametrize(("name", "args"), [("betweenness_centrality", ()), (DIJKSTRA, (0,))])
def test_converted_graph_dispatches_to_fennel(name, args):
    G = ZOO["digraph_loops_isolates"]
    fg = backend.backend_interface.convert_from_nx(G, edge_attrs={"weight": 1})
    expected = outcome(name, G, *args, backend="networkx")
    assert expected[0] == "ok"
    before = backend.calls["ran", name]
    if served(name):
        assert outcome(name, fg, *args) == expected
        assert backend.calls["ran", name] > before
    else:
        with pytest.raises(NotImplementedError):
            getattr(nx, name)(fg, *args)
    assert backend.convert_to_nx(fg) is G


def test_info_is_import_light():
    code = (
        "import sys, fennel._info as i; info = i.get_info();"
        "assert 'fennel._core' not in sys.modules and 'networkx' not in sys.modules;"
        "assert type(info['default_config']) is dict;"
        "print(sorted(info['functions']))"
    )
    env = {**os.environ, "PYTHONPATH": str(Path(fennel.__file__).parents[1])}
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True, env=env)
    served = sorted(s.name for s in registry.SERVED)
    assert out.stdout.split("'")[1::2] == served
    assert {*BC, DIJKSTRA, SSSP} <= set(served)
    assert all(callable(getattr(backend.backend_interface, name)) for name in served)


_EARLY_EXITS = [
    ("is_bipartite", lambda: nx.gnm_random_graph(3000, 15000, seed=1), ()),
    ("is_maximal_matching", lambda: nx.gnm_random_graph(3000, 15000, seed=3), ({(0, 1)},)),
    ("is_tree", lambda: nx.gnm_random_graph(3000, 15000, seed=4), ()),
    ("is_isolate", lambda: nx.gnm_random_graph(3000, 15000, seed=5), (7,)),
]


@pytest.mark.parametrize(("name", "make", "args"), _EARLY_EXITS, ids=[c[0] for c in _EARLY_EXITS])
def test_answers_read_from_a_few_rows_stay_with_networkx_until_converted(builds, name, make, args):
    # NetworkX answers these from the first rows it reads (or none): converting
    # the whole graph first would make the call slower than NetworkX's.
    G = make()
    if name == "is_maximal_matching":
        G.add_edge(0, 1)
    want = getattr(nx, name)(G, *args, backend="networkx")
    with nx.config(backend_priority=["fennel"]):
        assert getattr(nx, name)(G, *args) == want
    assert builds[0] == 0
