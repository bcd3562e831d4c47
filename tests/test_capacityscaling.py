"""capacity_scaling against NetworkX: the cost and the whole flow dict (key
order, value types, float bits), and every error with its message.
"""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from test_mincost import CASES, ERRORS, random_problem

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("case", CASES, ids=lambda c: "-".join(f"{v}" for v in c.values()))
@pytest.mark.parametrize("seed", range(5))
def test_random_problems(case, seed):
    assert same_as_networkx("capacity_scaling", random_problem(seed, **case))


@pytest.mark.parametrize("seed", range(12))
@pytest.mark.parametrize("multigraph", [False, True])
def test_loops_zero_capacities_and_hashed_nodes(seed, multigraph):
    """Self-loops, dropped edges, and nodes whose set order differs from insertion order."""
    G = random_problem(seed, multigraph=multigraph, loops=True, missing=0.4, nodes="str", ties=True)
    rng = random.Random(seed)
    for u, v, d in G.edges(data=True):
        if u == v and "capacity" not in d and d.get("weight", 0) < 0:
            d["capacity"] = rng.randint(0, 3)
        elif rng.random() < 0.15:
            d["capacity"] = rng.choice([0, -1])
    assert same_as_networkx("capacity_scaling", G)
    assert same_as_networkx("capacity_scaling", G, capacity="other")  # every capacity infinite


def _graph(edges, demands):
    G = nx.DiGraph()
    G.add_nodes_from(demands)
    for u, d in demands.items():
        G.nodes[u]["demand"] = d
    G.add_edges_from(edges)
    return G


MORE = {
    "no edges": _graph([], {0: -1, 1: 1}),
    "capacities below one": _graph([(0, 1, {"capacity": 0.5})], {0: -0.25, 1: 0.25}),
    "infinite negative cycle": _graph([(0, 1, {"weight": -2}), (1, 0, {"weight": 1}), (0, 2, {"capacity": 1})],
                                      {0: -1, 1: 0, 2: 1}),
    "undirected": nx.path_graph(3),
}


# Infinite demands and weights are left to NetworkX (the answers still compared).
INFINITE = {"infinite demand", "infinite weight", "infinite loop weight"}


@pytest.mark.parametrize("case", [*ERRORS, *MORE])
def test_errors_and_corners(case):
    ran = same_as_networkx("capacity_scaling", ERRORS[case] if case in ERRORS else MORE[case])
    assert ran == (case not in INFINITE)


def test_refused():
    G = random_problem(1)
    assert not same_as_networkx("capacity_scaling", G, heap=nx.utils.PairingHeap)
    G.nodes[next(iter(G))]["demand"] = float("nan")
    assert not same_as_networkx("capacity_scaling", G)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("numbers", ["int", "quarters"])
def test_larger_problems(seed, numbers):
    """Hundreds of nodes: many phases, searches and growing sets S, labels hashed out of insertion order."""
    rng = random.Random(seed)
    G = nx.DiGraph()
    n = 300
    label = (lambda i: f"n{i}") if seed % 2 else (lambda i: (i % 7, str(i)))
    G.add_nodes_from(label(i) for i in rng.sample(range(n), n))
    demand = dict.fromkeys(G, 0)
    for _ in range(5 * n):
        u, v = label(rng.randrange(n)), label(rng.randrange(n))
        cap = rng.randint(1, 40) if numbers == "int" else rng.randint(4, 160) / 4
        G.add_edge(u, v, capacity=cap, weight=rng.choice([1, 2, 3]))
        if u != v and rng.random() < 0.5:
            demand[u] -= cap
            demand[v] += cap
    nx.set_node_attributes(G, demand, "demand")
    assert same_as_networkx("capacity_scaling", G)


def test_ints_beyond_64_bits():
    """Ints inside the bound whose flows, costs and potentials pass 2**64 in the arithmetic."""
    big = 2**57
    G = _graph([(0, 1, {"capacity": big, "weight": 2**40}), (0, 2, {"weight": 3}), (2, 1, {"weight": 2**41})],
               {0: -2 * big, 1: 2 * big, 2: 0})
    assert same_as_networkx("capacity_scaling", G)
