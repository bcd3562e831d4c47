"""Minimum-cost flows against NetworkX: the cost and the whole flow dict (key
order, value types, float bits), and every error with its message.
"""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

SERVED = ["network_simplex", "min_cost_flow_cost", "min_cost_flow"]
NODE_KINDS = ["int", "str", "tuple", "mixed"]


def _node(kind, i):
    return {"int": i, "str": f"v{i}", "tuple": (i % 3, i), "mixed": i if i % 2 else f"v{i}"}[kind]


def _number(rng, numbers, lo, hi):
    """An int in [lo, hi], or a float there (quarters, or tenths)."""
    if numbers == "int" or (numbers == "mixed" and rng.random() < 0.5):
        return rng.randint(lo, hi)
    if numbers == "quarters":
        return rng.randint(4 * lo, 4 * hi) / 4
    if numbers == "mixed":
        return rng.randint(4 * lo, 4 * hi) / 4
    return rng.randint(10 * lo, 10 * hi) / 10  # tenths: flows with rounding errors


def random_problem(seed, *, numbers="int", multigraph=False, nodes="int", ties=False, missing=0.2, loops=False):
    """A feasible problem: demands from a random flow that fits the capacities.

    ``ties``: few distinct weights, so that many flows cost the same and the
    one NetworkX picks shows. ``missing``: the share of edges without a
    capacity (infinite) or without a weight (0).
    """
    rng = random.Random(seed)
    n = rng.randint(2, 30)
    G = nx.MultiDiGraph() if multigraph else nx.DiGraph()
    order = list(range(n))
    rng.shuffle(order)
    G.add_nodes_from(_node(nodes, i) for i in order)
    excess = dict.fromkeys(G, 0)
    for _ in range(rng.randint(n, 4 * n)):
        u, v = (_node(nodes, rng.randrange(n)) for _ in range(2))
        if u == v and not loops:
            continue
        data = {}
        if rng.random() >= missing:
            data["capacity"] = _number(rng, numbers, 0, 12)
        if rng.random() >= missing:
            # Weights in quarters: with inexact ones NetworkX's potentials
            # round, and its pivots often cycle forever.
            weights = "quarters" if numbers == "float" else numbers
            data["weight"] = rng.choice([1, 2]) if ties else _number(rng, weights, -3, 9)
        G.add_edge(u, v, **data)
        if u != v:
            flow = rng.choice([0, int(min(data.get("capacity", 5), 5))])
            excess[u] -= flow
            excess[v] += flow
    for u, x in excess.items():
        # The demands are the flow's excesses, of the data's number kinds.
        if x or rng.random() < 0.3:
            G.nodes[u]["demand"] = x if numbers == "int" or (numbers == "mixed" and rng.random() < 0.5) else float(x)
    return G


CASES = [
    dict(numbers=numbers, multigraph=multi, nodes=kind, ties=ties)
    for numbers in ("int", "quarters", "float", "mixed")
    for multi in (False, True)
    for kind, ties in (("int", False), ("str", True), ("tuple", False), ("mixed", True))
]


@pytest.mark.parametrize("case", CASES, ids=lambda c: "-".join(f"{v}" for v in c.values()))
@pytest.mark.parametrize("seed", range(6))
def test_random_problems(case, seed):
    G = random_problem(seed, **case)
    assert same_as_networkx("network_simplex", G)
    assert same_as_networkx("min_cost_flow", G)
    assert same_as_networkx("min_cost_flow_cost", G)


@pytest.mark.parametrize("seed", range(8))
@pytest.mark.parametrize("multigraph", [False, True])
def test_self_loops_zero_capacities_and_other_names(seed, multigraph):
    G = random_problem(seed, multigraph=multigraph, loops=True, missing=0.4)
    rng = random.Random(seed)
    for u, v, d in list(G.edges(data=True)):
        if u == v and "capacity" not in d and d.get("weight", 0) < 0:
            d["capacity"] = rng.randint(0, 3)  # a negative loop of infinite capacity is unbounded
        elif rng.random() < 0.15:
            d["capacity"] = 0
        d["cost"], d["room"] = d.get("weight", 0), d.get("capacity", 9)
    for u, d in G.nodes(data=True):
        d["need"] = d.get("demand", 0)
    assert same_as_networkx("network_simplex", G)
    assert same_as_networkx("network_simplex", G, demand="need", capacity="room", weight="cost")


def _graph(edges, demands, multigraph=False):
    G = nx.MultiDiGraph() if multigraph else nx.DiGraph()
    G.add_nodes_from(demands)
    for u, d in demands.items():
        G.nodes[u]["demand"] = d
    G.add_edges_from(edges)
    return G


# Each answered by NetworkX with an exception (or an unbounded/unfeasible verdict).
INF = float("inf")
ERRORS = {
    "null": nx.DiGraph(),
    "infinite demand": _graph([(0, 1, {})], {0: -INF, 1: INF}),
    "infinite weight": _graph([(0, 1, {"weight": -INF})], {0: -1, 1: 1}),
    "infinite loop weight": _graph([(0, 0, {"weight": INF}), (0, 1, {})], {0: -1, 1: 1}, multigraph=True),
    "unbalanced": _graph([(0, 1, {})], {0: -2, 1: 1}),
    "unbalanced floats": _graph([(0, 1, {}), (1, 2, {})], {0: -0.1, 1: -0.2, 2: 0.3}),
    "negative capacity": _graph([(0, 1, {"capacity": -1})], {0: -1, 1: 1}),
    "negative loop capacity": _graph([(1, 1, {"capacity": -1}), (0, 1, {})], {0: -1, 1: 1}),
    "unfeasible": _graph([(0, 1, {"capacity": 2}), (2, 1, {})], {0: -3, 1: 3, 2: 0}),
    "unfeasible direction": _graph([(1, 0, {})], {0: -1, 1: 1}),
    "negative cycle": _graph([(0, 1, {"weight": -1}), (1, 0, {"weight": -1}), (0, 2, {})], {0: -1, 1: 0, 2: 1}),
    "negative float cycle": _graph([(0, 1, {"weight": -0.5}), (1, 2, {}), (2, 0, {"capacity": 1.5})],
                                   {0: 0.0, 1: 0.0, 2: 0.0}),
    "negative loop": _graph([(0, 0, {"weight": -1}), (0, 1, {})], {0: -1, 1: 1}),
    # Unbounded where the big M is three times the largest demand (NetworkX 3.4), not their sum.
    "demands summing past the largest": _graph([("a1", "m"), ("a2", "m"), ("m", "n"), ("n", "b1"), ("n", "b2")],
                                               {"a1": -1, "a2": -1, "b1": 1, "b2": 1, "m": 0, "n": 0}),
}


@pytest.mark.parametrize("name", SERVED)
@pytest.mark.parametrize("case", ERRORS)
def test_errors(case, name):
    assert same_as_networkx(name, ERRORS[case])


@pytest.mark.parametrize("name", ["min_cost_flow_cost", "min_cost_flow"])
def test_undirected(name):
    G = nx.path_graph(3)
    G.nodes[0]["demand"], G.nodes[2]["demand"] = -1, 1
    assert same_as_networkx(name, G)


# NetworkX's answer, left to it: values the C++ loop does not compute with as Python does.
REFUSED = {
    "nan demand": _graph([(0, 1, {})], {0: float("nan"), 1: 1}),
    "bool capacity": _graph([(0, 1, {"capacity": True})], {0: -1, 1: 1}),
    "str demand": _graph([(0, 1, {})], {0: "-1", 1: "1"}),
    "huge ints": _graph([(0, 1, {"capacity": 2**61})], {0: -(2**60), 1: 2**60}),
}


@pytest.mark.parametrize("case", REFUSED)
def test_refused(case):
    assert not same_as_networkx("network_simplex", REFUSED[case])


def test_large_exact_ints():
    """Ints just inside the bound: costs and flows beyond 2**53, exact as Python's."""
    big = 2**55
    G = _graph([(0, 1, {"weight": 3, "capacity": big}), (0, 2, {"weight": 1}), (2, 1, {"weight": 1})],
               {0: -big, 1: big, 2: 0})
    assert same_as_networkx("network_simplex", G)
