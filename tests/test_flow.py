"""Edmonds–Karp and the maximum-flow functions against NetworkX: the residual
network compared in full (nodes, succ and pred rows in order, every data
dict with its values' types, the graph attributes, the data dicts shared by
succ and pred), flow dicts in key order, cut partitions in set iteration
order, and NetworkX's errors. Capacities: ints, floats, both mixed, missing
and infinite ones, zero and negative ones."""

import copy
import pickle
import random

import networkx as nx
import pytest
from networkx.algorithms.flow import edmonds_karp, preflow_push
from zoo import _relabelled, _shuffled, shape

from fennel.backend import calls
from fennel.backend.checks import NX_VERSION

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

# NetworkX 3.7 hides an edge whose capacity is None; before, comparing None with 0 raises TypeError.
NONE_HIDES = NX_VERSION >= (3, 7)

FLOW_FUNCS = ["maximum_flow", "maximum_flow_value", "minimum_cut", "minimum_cut_value"]


def full_shape(x):
    """shape(x), and for a residual network also its cache and which data dicts succ and pred share."""
    if isinstance(x, nx.DiGraph):
        shared = [R_u[v] is x._pred[v][u] for u, R_u in x._succ.items() for v in R_u]
        return shape(x), getattr(x, "__networkx_cache__", "absent"), shared
    return shape(x)


def _outcome(func, args, kwargs):
    try:
        return ("returned", full_shape(func(*args, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(func, *args, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran."""
    name = func.name
    expected = _outcome(func, args, {**kwargs, "backend": "networkx"})
    before = calls["ran", name]
    got = _outcome(func, args, {**kwargs, "backend": "fennel"})
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(func, args, kwargs)
    assert got == expected
    return calls["ran", name] > before


def with_capacities(G, flavour, seed):
    """G with capacities of one flavour; `missing` leaves some out (infinite to NetworkX)."""
    rng = random.Random(seed)
    for _, _, d in G.edges(data=True):
        if flavour == "int":
            d["capacity"] = rng.randint(-1, 9)
        elif flavour == "float":
            d["capacity"] = rng.choice([0.0, 0.1, 0.7, 1.3, 2.5, 1e-9, 3.3e5])
        elif flavour == "mixed":
            d["capacity"] = rng.choice([1, 2, 3, 0.5, 1.1, 2.0])
        elif flavour == "missing":
            if rng.random() < 0.8:
                d["capacity"] = rng.randint(1, 5)
        elif flavour == "inf":
            d["capacity"] = rng.choice([1.5, 2, float("inf"), 4])
        elif flavour == "dropped":  # -inf, 0 and below, and tiny ones beside ordinary ones
            d["capacity"] = rng.choice([-float("inf"), -2.5, 0.0, 1e-300, 3, 2.25])
    return G


def _graphs():
    dig = nx.gnp_random_graph(40, 0.12, seed=1, directed=True)
    und = nx.gnp_random_graph(40, 0.12, seed=2)
    loops = nx.gnp_random_graph(30, 0.15, seed=3, directed=True)
    loops.add_edges_from([(0, 0), (5, 5), (1, 7), (7, 1)])
    loops.add_nodes_from(["lone", 99])
    return {
        "digraph": dig,
        "graph": und,
        "loops_isolates": loops,
        "shuffled": _shuffled(dig, 4),
        "str_nodes": _relabelled(und, {i: f"v{i}" for i in und}),
        "mixed_nodes": _relabelled(dig, {i: (i if i % 3 else ("t", i)) if i % 2 else f"s{i}" for i in dig}),
        "hash_colliding": _relabelled(dig, {i: i * 64 for i in dig}),
        "two_parts": nx.disjoint_union(nx.path_graph(6, nx.DiGraph), nx.cycle_graph(5, nx.DiGraph)),
    }


GRAPHS = _graphs()
FLAVOURS = ["int", "float", "mixed", "missing", "inf", "dropped"]


def _pairs(G):
    nodes = list(G)
    return [(nodes[0], nodes[-1]), (nodes[len(nodes) // 2], nodes[1]), (nodes[3], nodes[-2])]


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", GRAPHS)
def test_flows_against_networkx(gid, flavour):
    G = with_capacities(GRAPHS[gid].copy(), flavour, hash(gid) % 1000)
    for s, t in _pairs(G):
        for cutoff in (None, 2, 3.5):
            assert same(edmonds_karp, G, s, t, cutoff=cutoff)
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t, flow_func=edmonds_karp)
            assert same(getattr(nx, name), G, s, t, flow_func=edmonds_karp, cutoff=1)


def test_unbounded_and_other_capacity_names():
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    G[0][2]["capacity"] = 3
    assert same(edmonds_karp, G, 0, 2)  # 0 -> 1 -> 2 has no capacity at all
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2, flow_func=edmonds_karp)
    nx.set_edge_attributes(G, 1, "cap")
    assert same(edmonds_karp, G, 0, 2, capacity="cap")
    H = nx.DiGraph([(0, 1)])
    H[0][1]["capacity"] = 0  # every capacity left out: inf falls back to 1
    assert same(edmonds_karp, H, 0, 1)


@pytest.mark.parametrize(
    ("s", "t"), [(0, 0), (0, "absent"), ("absent", 1), (["unhashable"], 1), (0, ["unhashable"])]
)
def test_errors_as_networkx(s, t):
    G = with_capacities(GRAPHS["digraph"].copy(), "int", 5)
    assert same(edmonds_karp, G, s, t)
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, s, t, flow_func=edmonds_karp)
    M = nx.MultiDiGraph([(0, 1), (0, 1)])
    assert same(edmonds_karp, M, s, t) or s == t  # NetworkX checks the ends first


@pytest.mark.parametrize(
    ("capacities", "kwargs"),
    [
        ({"capacity": 1}, {"capacity": lambda u, v, d: d["capacity"]}),  # a capacity function (3.7)
        ({"capacity": float("nan")}, {}),
        ({"capacity": True}, {}),
        ({"capacity": 2**60}, {}),
        ({"capacity": 1e307}, {}),
        ({"capacity": 1}, {"flow_func": preflow_push, "cutoff": 1}),  # NetworkX's errors
        ({"capacity": 1}, {"flow_func": None, "residual": nx.DiGraph()}),
        ({"capacity": 1}, {"flow_func": edmonds_karp, "residual": nx.DiGraph()}),
        ({"capacity": 1}, {"flow_func": edmonds_karp, "cutoff": 2**60}),
        ({"capacity": 1}, {"flow_func": edmonds_karp, "two_phase": True}),  # edmonds_karp's TypeError
    ],
)
def test_refused_calls_answered_by_networkx(capacities, kwargs):
    G = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    nx.set_edge_attributes(G, capacities["capacity"], "capacity")
    # NetworkX 3.7 hands the converted graph every attribute: its NaN capacities are read as NetworkX reads them.
    served = NX_VERSION >= (3, 7) and kwargs == {} and capacities["capacity"] != capacities["capacity"]
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 2, **kwargs) is served


@pytest.mark.parametrize("gid", ["digraph", "graph", "loops_isolates"])
def test_none_capacities(gid):
    G = with_capacities(GRAPHS[gid].copy(), "mixed", 7)
    for i, (_, _, d) in enumerate(G.edges(data=True)):
        if i % 4 == 1:
            d["capacity"] = None
    for s, t in _pairs(G):
        assert same(edmonds_karp, G, s, t) is NONE_HIDES
        for name in FLOW_FUNCS:
            assert same(getattr(nx, name), G, s, t, flow_func=edmonds_karp) is NONE_HIDES


def test_flow_rounded_above_capacity():
    """A flow pushed back over an antiparallel edge can round above its capacity: NetworkX before 3.7
    takes such an edge as unsaturated in minimum_cut, 3.7 as closed (its flow is not below capacity)."""
    rng = random.Random(469)
    G = nx.gnp_random_graph(10, 0.5, seed=469, directed=True)
    for _, _, d in G.edges(data=True):
        d["capacity"] = rng.choice([rng.random() * 10, rng.randint(1, 9) / 7, 1 / 3, 0.1])
    R = edmonds_karp(G, 0, 9)
    assert any(d["flow"] > d["capacity"] for _, _, d in R.edges(data=True))
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), G, 0, 9, flow_func=edmonds_karp)


def test_row_keys_other_than_the_nodes():
    G = nx.Graph()
    G.add_nodes_from([1, 2, 3])
    G.add_edge(1.0, 2, capacity=2)  # 2's row holds the key 1.0, the node is 1
    G.add_edge(2, 3, capacity=1)
    for name in ("maximum_flow", "minimum_cut"):
        assert not same(getattr(nx, name), G, 1, 3, flow_func=edmonds_karp)
    assert not same(edmonds_karp, G, 1, 3)
    assert same(nx.maximum_flow_value, G, 1, 3, flow_func=edmonds_karp)
    assert not same(nx.minimum_edge_cut, G)


def _views():
    D = with_capacities(nx.gnp_random_graph(40, 0.15, seed=11, directed=True), "mixed", 3)
    U = with_capacities(nx.gnp_random_graph(40, 0.15, seed=12), "int", 4)
    return {"subgraph": D.subgraph(range(5, 35)), "reverse": D.reverse(copy=False),
            "undirected_subgraph": U.subgraph(range(3, 38)), "to_undirected": D.to_undirected(as_view=True)}


VIEWS = _views()


@pytest.mark.parametrize("vid", VIEWS)
def test_graph_views(vid):
    """Views read their rows (and edges' data) through NetworkX's filters, in its orders."""
    V = VIEWS[vid]
    s, t = list(V)[0], list(V)[-1]
    assert same(edmonds_karp, V, s, t)
    for name in FLOW_FUNCS:
        assert same(getattr(nx, name), V, s, t, flow_func=edmonds_karp)
    for name in ("node_connectivity", "edge_connectivity", "minimum_node_cut", "minimum_edge_cut"):
        assert same(getattr(nx, name), V)



@pytest.mark.parametrize("name", ["edmonds_karp", "preflow_push", "shortest_augmenting_path", "dinitz",
                                  "boykov_kolmogorov"])
def test_self_loops_of_equal_but_distinct_labels(name):
    """A self-loop added with two equal str objects is a self-loop still: NetworkX leaves it out of R."""
    G = nx.Graph()
    for i, j, c in [(0, 1, 3), (1, 2, None), (2, 2, None), (2, 3, 2), (1, 1, 4), (0, 3, 1)]:
        G.add_edge("".join(["v", str(i)]), "".join(["v", str(j)]), **({} if c is None else {"capacity": c}))
    assert any(u == v and u is not v for u, v in G.edges)
    func = getattr(nx.algorithms.flow, name)
    before = calls["ran", name]
    R, expected = (func(G, "v0", "v3", backend=b) for b in ("fennel", "networkx"))
    assert calls["ran", name] > before
    # (Current edges are objects of their own; the rows and graph data are compared.)
    assert shape((R.graph, R._succ, R._pred)) == shape((expected.graph, expected._succ, expected._pred))
    assert same(nx.maximum_flow, G, "v0", "v3", flow_func=func)
    assert same(nx.minimum_cut, G, "v0", "v3", flow_func=func)


@pytest.mark.parametrize("clone", [copy.deepcopy, lambda G: pickle.loads(pickle.dumps(G))], ids=["deepcopy", "pickle"])
def test_graph_copies_after_a_flow(clone):
    """The conversion kept in G's cache after a flow call (its residual network included) copies with G,
    and the copy's flows are NetworkX's."""
    G = with_capacities(GRAPHS["digraph"].copy(), "int", 8)
    s, t = _pairs(G)[0]
    assert same(edmonds_karp, G, s, t)
    H = clone(G)
    assert same(edmonds_karp, H, s, t) and same(nx.maximum_flow_value, H, s, t)
