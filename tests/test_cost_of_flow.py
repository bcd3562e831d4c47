"""cost_of_flow against NetworkX: the sum's value and type (int, float bits,
its order), NetworkX's errors, and NetworkX's own expression where flows or
weights are not plain numbers."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _case(seed, directed, numbers):
    rng = random.Random(seed)
    G = nx.gnm_random_graph(rng.randint(2, 40), rng.randint(1, 120), seed=seed, directed=directed)
    G = nx.relabel_nodes(G, {u: f"n{u}" if u % 3 else u for u in G})  # hashed out of insertion order
    G.add_edge("n1", "n1")
    value = {"int": lambda: rng.randint(-5, 9), "float": lambda: rng.randint(-50, 90) / 10,
             "mixed": lambda: rng.choice([rng.randint(-5, 9), rng.random() * 1e17, 2**70])}[numbers]
    for _, _, d in G.edges(data=True):
        if rng.random() < 0.8:
            d["weight"] = value()
    flow = {u: {v: value() for v in G[u]} for u in G}
    return G, flow


@pytest.mark.parametrize("directed", [False, True])
@pytest.mark.parametrize("numbers", ["int", "float", "mixed"])
@pytest.mark.parametrize("seed", range(6))
def test_random_flows(seed, numbers, directed):
    G, flow = _case(seed, directed, numbers)
    assert same_as_networkx("cost_of_flow", G, flow)
    assert same_as_networkx("cost_of_flow", G, flow, weight="other")


@pytest.mark.parametrize("change", ["missing row", "missing entry", "bool flow", "str weight", "str flow"])
def test_errors_and_other_values(change):
    G, flow = _case(1, True, "int")
    u, v = next(iter(G.edges()))
    if change == "missing row":
        del flow[u]
    elif change == "missing entry":
        del flow[u][v]
    elif change == "bool flow":
        flow[u][v] = True
    elif change == "str weight":
        G[u][v]["weight"] = "x"
    else:
        flow[u][v] = "ab"
    assert same_as_networkx("cost_of_flow", G, flow)


def test_multigraph_refused():
    G = nx.MultiDiGraph([(0, 1), (0, 1)])
    assert not same_as_networkx("cost_of_flow", G, {0: {1: {0: 1, 1: 2}}, 1: {}})
