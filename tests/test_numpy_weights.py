"""numpy scalar weights through NetworkX's dispatcher against NetworkX itself.

Every weight-reading served function, over zoo graphs whose weights are
numpy.float64, numpy.int64 or numpy.bool_, alone or mixed with Python ints,
floats, None and missing attributes: values, key order and exact types
(numpy.float64 is compared as its own type, not as a float) must match, and
fennel must serve every call whose answer it can type exactly.
"""

import inspect
import math
import random

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO

import fennel._core as core
from fennel.backend.checks import COMPENSATED_SUM
from fennel.backend.kinds import NP_FLOAT, NP_INT, PY_FLOAT, PY_INT, register_numpy
from fennel.backend.registry import RELEASE_REFUSALS, UNDISPATCHED

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GIDS = ["path", "karate", "digraph_loops_isolates", "multigraph_loops", "multidigraph", "mixed_nodes",
        "disconnected"]


def _value(flavour, rng, i):
    """One edge value of a flavour; `MISSING` leaves the attribute out (NetworkX's default 1)."""
    if flavour == "np_float":
        return np.float64(rng.choice([0.5, 1.25, 2.0, 3.1, 0.1, 7.7]))
    if flavour == "np_int":
        return np.int64(rng.randint(1, 9))
    if flavour == "np_bool":
        return np.bool_(rng.random() < 0.8)
    if flavour == "np_float_missing":
        return MISSING if i % 4 == 0 else np.float64(rng.choice([0.5, 1.5, 2.25]))
    if flavour == "np_float_none":
        return None if i % 5 == 0 else np.float64(rng.choice([0.5, 1.5, 2.25]))
    if flavour == "np_int_py_float":
        return np.int64(rng.randint(1, 4)) if i % 2 else rng.choice([0.5, 1.5])
    if flavour == "np_mix":
        return [np.int64(2), np.float64(1.5), 1, 0.5][i % 4]
    raise ValueError(flavour)


MISSING = object()
UNIFORM = ["np_float", "np_int", "np_bool"]
MIXED = ["np_float_missing", "np_float_none", "np_int_py_float", "np_mix"]


def numpy_weighted(G, flavour, seed=0):
    rng = random.Random(seed)
    H = G.copy()
    edges = H.edges(keys=True, data=True) if H.is_multigraph() else H.edges(data=True)
    for i, e in enumerate(edges):
        value = _value(flavour, rng, i)
        if value is not MISSING:
            e[-1]["weight"] = value
    return H


def connected_core(G):
    parts = nx.strongly_connected_components(G) if G.is_directed() else nx.connected_components(G)
    return G.subgraph(max(parts, key=len, default=set())).copy()


BARYCENTER = "centroid" if "barycenter" in UNDISPATCHED else "barycenter"
# (name, arguments after G, keyword arguments); `s` and `t` stand for two nodes.
PATH_CALLS = [
    ("single_source_dijkstra_path", ("s",), {}),
    ("dijkstra_path", ("s", "t"), {}),
    ("all_pairs_dijkstra_path", (), {}),
    ("shortest_path", (), {"source": "s", "weight": "weight"}),
    ("shortest_path", (), {"target": "t", "weight": "weight"}),
    ("shortest_path", (), {"source": "s", "target": "t", "weight": "weight"}),
    ("all_shortest_paths", ("s", "t"), {"weight": "weight"}),
    ("single_source_all_shortest_paths", ("s",), {"weight": "weight"}),
    ("all_pairs_all_shortest_paths", (), {"weight": "weight"}),
    ("betweenness_centrality", (), {"weight": "weight"}),
    ("edge_betweenness_centrality", (), {"weight": "weight"}),
    ("center", (), {"weight": "weight"}),
    ("periphery", (), {"weight": "weight"}),
]
TYPED_CALLS = [
    ("single_source_dijkstra_path_length", ("s",), {}),
    ("single_source_dijkstra", ("s",), {}),
    ("single_source_dijkstra", ("s", "t"), {}),
    ("dijkstra_path_length", ("s", "t"), {}),
    ("all_pairs_dijkstra", (), {}),
    ("all_pairs_dijkstra_path_length", (), {}),
    ("bidirectional_dijkstra", ("s", "t"), {}),
    ("shortest_path_length", (), {"source": "s", "weight": "weight"}),
    ("shortest_path_length", (), {"target": "t", "weight": "weight"}),
    ("shortest_path_length", (), {"source": "s", "target": "t", "weight": "weight"}),
    ("shortest_path_length", (), {"weight": "weight"}),
    ("eccentricity", (), {"weight": "weight"}),
    ("diameter", (), {"weight": "weight"}),
    ("radius", (), {"weight": "weight"}),
    ("average_shortest_path_length", (), {"weight": "weight"}),
    ("wiener_index", (), {"weight": "weight"}),
    ("closeness_centrality", (), {"distance": "weight"}),
    ("harmonic_centrality", (), {"distance": "weight"}),
    ("harmonic_diameter", (), {"weight": "weight"}),
    (BARYCENTER, (), {"weight": "weight"}),
]
OTHER_CALLS = [
    ("pagerank", (), {"weight": "weight"}),
    ("minimum_spanning_edges", (), {"data": True}),
    ("maximum_spanning_edges", (), {"data": True}),
    ("minimum_spanning_tree", (), {}),
    ("maximum_spanning_tree", (), {}),
]
# NetworkX's power iterations turn node values numpy one hop per step, and
# their convergence sum() leaves its compensated path when they do.
ITERATION_CALLS = [("eigenvector_centrality", (), {"weight": "weight", "max_iter": 500}),
                   ("katz_centrality", (), {"weight": "weight", "alpha": 0.05})]


def _bind(G, args, kwargs):
    nodes = list(G)
    pick = {"s": nodes[0], "t": nodes[len(nodes) // 2]}
    return [pick.get(x, x) for x in args], {k: pick.get(v, v) if isinstance(v, str) else v for k, v in kwargs.items()}


def on_this_release(names):
    """The names whose calls the installed NetworkX takes (same_as_networkx counts its release refusals as run)."""
    taken = set()
    for name, args, kwargs in PATH_CALLS + TYPED_CALLS + OTHER_CALLS + ITERATION_CALLS:
        try:
            f = getattr(nx, name)
            inspect.signature(getattr(f, "orig_func", f)).bind(None, *args, **kwargs)
            taken.add(name)
        except (AttributeError, TypeError):
            pass
    return set(names) & taken


def run_calls(G, calls):
    """Compares each call with NetworkX; the names fennel served."""
    served = set()
    for name, args, kwargs in calls:
        args, kwargs = _bind(G, args, kwargs)
        if same_as_networkx(name, G, *args, **kwargs):
            served.add(name)
    return served


@pytest.mark.parametrize("flavour", UNIFORM + ["np_float_missing", "np_mix"])
@pytest.mark.parametrize("gid", GIDS)
def test_same_answers_and_types(gid, flavour):
    # Disconnected graphs keep NetworkX's errors in view; the others are cut
    # to their largest connected part, where the extrema have answers.
    G = numpy_weighted(ZOO[gid], flavour, seed=len(gid))
    run_calls(G if gid == "disconnected" else connected_core(G), PATH_CALLS + TYPED_CALLS + OTHER_CALLS)
    run_calls(G, ITERATION_CALLS)


def _connected_sample(flavour, directed):
    G = nx.gnp_random_graph(25, 0.2, seed=3, directed=directed)
    return connected_core(numpy_weighted(G, flavour, seed=5))


@pytest.mark.parametrize("directed", [False, True], ids=["graph", "digraph"])
@pytest.mark.parametrize("flavour", UNIFORM)
def test_one_kind_is_served_everywhere(flavour, directed):
    G = _connected_sample(flavour, directed)
    calls = PATH_CALLS + TYPED_CALLS + ITERATION_CALLS
    calls += [c for c in OTHER_CALLS if not directed or c[0] == "pagerank"]
    expected = {name for name, _, _ in calls}
    if flavour == "np_bool" and not directed:
        expected.remove("pagerank")  # NetworkX's self-loop correction would negate a bool
    assert run_calls(G, calls) == on_this_release(expected)


@pytest.mark.parametrize("directed", [False, True], ids=["graph", "digraph"])
@pytest.mark.parametrize("flavour", MIXED)
def test_mixed_kinds_are_served_along_forward_searches(flavour, directed):
    G = _connected_sample(flavour, directed)
    expected = {name for name, _, _ in PATH_CALLS + TYPED_CALLS}
    if flavour == "np_float_none":
        # One kind (None hides its edges), but NetworkX's betweenness raises on None.
        left = {"betweenness_centrality", "edge_betweenness_centrality"}
    else:
        # Several kinds are followed along G._adj's rows only.
        left = {"bidirectional_dijkstra"} | ({"closeness_centrality"} if directed else set())
    expected -= left - set(RELEASE_REFUSALS)
    if flavour != "np_float_none":  # NetworkX's iterations raise on None
        expected |= {name for name, _, _ in ITERATION_CALLS}
    served = run_calls(G, PATH_CALLS + TYPED_CALLS + ITERATION_CALLS)
    assert served == on_this_release(expected)


def test_mixed_python_weights_serve_paths():
    # Paths over Python ints and floats mixed were refused: their types never show.
    G = nx.gnp_random_graph(20, 0.3, seed=2)
    for i, (u, v, d) in enumerate(G.edges(data=True)):
        d["weight"] = 1 + i % 3 if i % 2 else 0.5 * (1 + i % 5)
    assert run_calls(G, PATH_CALLS[:6]) == {name for name, _, _ in PATH_CALLS[:6]}


@pytest.mark.parametrize(
    "value, reason",
    [(np.float32(1.5), "not all Python int, float, bool or None"),
     (np.int32(3), "not all Python int, float, bool or None"),
     (np.uint64(3), "not all Python int, float, bool or None"),
     (np.float16(0.5), "not all Python int, float, bool or None"),
     (np.longdouble(0.5), "not all Python int, float, bool or None"),
     (np.int64(2**60), "too large")],
    ids=["float32", "int32", "uint64", "float16", "longdouble", "int64_beyond_2**53"],
)
def test_other_numpy_values_are_refused(value, reason):
    G = nx.path_graph(5)
    nx.set_edge_attributes(G, value, "weight")
    with pytest.raises(NotImplementedError) as refused:
        nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    assert reason in str(refused.value.__cause__ or refused.value.__context__)
    assert not same_as_networkx("single_source_dijkstra_path_length", G, 0)


def test_int64_sums_within_the_exact_bound_are_served():
    # int64 wraps at 2**63: sums are served only within 2**53, where nothing wraps.
    G = nx.path_graph(6)
    nx.set_edge_attributes(G, np.int64(2**49), "weight")
    assert same_as_networkx("single_source_dijkstra_path_length", G, 0)
    nx.set_edge_attributes(G, np.int64(2**51), "weight")
    assert not same_as_networkx("single_source_dijkstra_path_length", G, 0)


def test_numpy_results_survive_pickling():
    import pickle

    G = _connected_sample("np_float_missing", False)
    nx.single_source_dijkstra_path(G, 0, backend="fennel")  # converts and caches
    H = pickle.loads(pickle.dumps(G))
    assert same_as_networkx("single_source_dijkstra_path", H, 0)
    G = _connected_sample("np_int", True)
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    H = pickle.loads(pickle.dumps(G))
    assert same_as_networkx("single_source_dijkstra_path_length", H, 0)


def _item(rng, kinds):
    """A random number of one of `kinds`, from values whose sums round, cancel or overflow."""
    kind = rng.choice(kinds)
    magnitude = rng.choice([1e-3, 0.1, 1.0, 1e8, 1e16, 1e300])
    if kind in ("int", "bool", "np_int", "np_bool"):
        if kind.endswith("bool"):
            value = rng.random() < 0.5
            return value if kind == "bool" else np.bool_(value)
        value = rng.randint(-(2**40), 2**40) if magnitude > 1 else rng.randint(-3, 3)
        return value if kind == "int" else np.int64(value)
    special = rng.random()
    value = rng.choice([math.inf, -math.inf, -0.0]) if special < 0.03 else rng.uniform(-1, 1) * magnitude
    return value if kind == "float" else np.float64(value)


def _kind_of(x):
    return {int: PY_INT, bool: PY_INT, float: PY_FLOAT, np.int64: NP_INT, np.bool_: NP_INT,
            np.float64: NP_FLOAT}[type(x)]


def _bits(x):
    return type(x), repr(x) if math.isnan(x) else float(x).hex()


KIND_MIXES = [("float",), ("int", "float"), ("float", "np_float"), ("float", "np_int"), ("int", "np_int"),
              ("int", "bool", "np_bool"), ("int", "float", "np_int", "np_float"),
              ("int", "float", "bool", "np_int", "np_float", "np_bool")]


@pytest.mark.parametrize("kinds", KIND_MIXES, ids="+".join)
def test_kind_sum_is_pythons_sum(kinds):
    register_numpy()  # results of numpy kinds are made by numpy's types
    rng = random.Random(len(kinds) * 7919 + len(kinds[0]))
    for _ in range(400):
        items = [_item(rng, kinds) for _ in range(rng.randint(0, 12))]
        if not items or rng.random() < 0.5:
            items.sort(key=lambda x: rng.random() < 0.7 and type(x) in (int, float, bool))  # long exact runs first
        with np.errstate(over="ignore", invalid="ignore"):
            expected = sum(items)
        got = core._py_sum_kinds([float(x) for x in items], [_kind_of(x) for x in items], COMPENSATED_SUM)
        assert _bits(got) == _bits(expected), items
