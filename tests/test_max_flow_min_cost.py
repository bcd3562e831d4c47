"""max_flow_min_cost against NetworkX: the flow dict in full (key order, value
types), the errors with their messages, and what is left to NetworkX.
"""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def random_network(seed, *, directed=True, weights="int", missing=0.15, demands=False, nodes="int", caps="int"):
    """A graph with int or float capacities (some missing: infinite), weights of the given kind, s and t.
    Float capacities in tenths make preflow-push's sums round."""
    rng = random.Random(seed)
    n = rng.randint(3, 25)
    G = nx.DiGraph() if directed else nx.Graph()
    label = (lambda i: i) if nodes == "int" else (lambda i: f"v{i}" if i % 2 else (i, "x"))
    order = list(range(n))
    rng.shuffle(order)
    G.add_nodes_from(map(label, order))
    for _ in range(rng.randint(n, 4 * n)):
        u, v = label(rng.randrange(n)), label(rng.randrange(n))
        data = {}
        if rng.random() >= missing:
            data["capacity"] = rng.randint(0, 9) if caps == "int" else rng.randint(0, 30) / 10
        if weights == "ties":
            data["weight"] = rng.choice([1, 2])
        elif weights == "float":
            data["weight"] = rng.randint(-4, 30) / 4
        else:
            data["weight"] = rng.randint(-2, 9)
        G.add_edge(u, v, **data)
    if demands:
        # Demands of other nodes stay in nx.DiGraph(G) and join the problem.
        for u in rng.sample(list(G), 2):
            G.nodes[u]["demand"] = 0
    nodes_ = list(G)
    return G, nodes_[0], nodes_[-1]


CASES = [
    dict(directed=d, weights=w, nodes=k, demands=dem)
    for d in (True, False)
    for w, k, dem in (("int", "int", False), ("ties", "mixed", True), ("float", "int", False))
] + [dict(directed=d, weights="float", caps="float") for d in (True, False)]


@pytest.mark.parametrize("case", CASES, ids=lambda c: "-".join(f"{v}" for v in c.values()))
@pytest.mark.parametrize("seed", range(10))
def test_random_networks(case, seed):
    G, s, t = random_network(seed, **case)
    ran = same_as_networkx("max_flow_min_cost", G, s, t)
    # Unbounded flows and negative cycles are NetworkX's errors, compared too; served either way.
    assert ran


def _digraph(edges):
    G = nx.DiGraph()
    G.add_edges_from(edges)
    return G


INF = float("inf")
ERRORS = {
    "missing source": (_digraph([(0, 1, {"capacity": 1})]), 5, 1),
    "missing sink": (_digraph([(0, 1, {"capacity": 1})]), 0, 5),
    "same ends": (_digraph([(0, 1, {"capacity": 1})]), 1, 1),
    "multigraph": (nx.MultiDiGraph([(0, 1), (1, 2)]), 0, 2),
    "infinite path": (_digraph([(0, 1, {"capacity": 2}), (0, 2, {}), (2, 1, {"capacity": INF})]), 0, 1),
    # Edmonds–Karp's residual capacities exceed R.graph['inf'] / 2 here only through the reverse of an
    # infinite edge; preflow-push's check sees no infinite path and the value is finite.
    "infinite edge backwards": (_digraph([(0, 1, {"capacity": 3}), (2, 1, {}), (2, 3, {"capacity": 3})]), 0, 3),
    "negative cycle": (_digraph([(0, 1, {"capacity": 1}), (1, 2, {"weight": -1}), (2, 1, {"weight": -1})]), 0, 1),
}


@pytest.mark.parametrize("case", ERRORS)
def test_errors_and_edges(case):
    G, s, t = ERRORS[case]
    assert same_as_networkx("max_flow_min_cost", G, s, t)


REFUSED = {
    "str weight": _digraph([(0, 1, {"capacity": 1, "weight": "1"}), (1, 2, {})]),
}


@pytest.mark.parametrize("case", REFUSED)
def test_refused(case):
    assert not same_as_networkx("max_flow_min_cost", REFUSED[case], 0, 2)


def test_other_attribute_names():
    G, s, t = random_network(3, weights="ties")
    for u, v, d in G.edges(data=True):
        d["room"], d["cost"] = d.pop("capacity", 4), d["weight"]
    assert same_as_networkx("max_flow_min_cost", G, s, t, capacity="room", weight="cost")
