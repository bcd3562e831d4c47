"""Closeness vitality against NetworkX over the zoo: every node and single
nodes, hop counts and each weight flavour, a given Wiener index, and both
thread counts (the removals' searches run on the worker pool)."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import FLAVOURS, ZOO, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GRAPHS = dict(ZOO)
GRAPHS["wheel"] = nx.wheel_graph(12)
GRAPHS["strong_digraph"] = nx.DiGraph(nx.cycle_graph(10))
GRAPHS["strong_digraph"].add_edges_from([(0, 5), (5, 0), (3, 7)])


# Weight flavours on a few graphs of each kind; hop counts on all.
CASES = [(gid, None) for gid in GRAPHS] + [
    (gid, flavour) for gid in ("karate", "digraph_loops_isolates", "multigraph_loops", "disconnected",
                               "strong_digraph", "mixed_nodes") for flavour in FLAVOURS]


def _refused(G, flavour):
    # Fewer than two nodes (a removal leaves the null graph), weights of
    # several kinds, and None weights on parallel edges.
    return len(G) < 2 or flavour == "mixed" or (flavour == "none" and G.is_multigraph())


@pytest.mark.parametrize(("gid", "flavour"), CASES)
def test_closeness_vitality(gid, flavour):
    G = GRAPHS[gid] if flavour is None else add_weights(GRAPHS[gid], flavour, seed=3)
    weight = None if flavour is None else "weight"
    assert same_as_networkx("closeness_vitality", G, weight=weight) != _refused(G, flavour)
    for v in list(G)[:2]:
        same_as_networkx("closeness_vitality", G, v, weight=weight)
    same_as_networkx("closeness_vitality", G, weight=weight, wiener_index=7)


@pytest.mark.parametrize("n_jobs", [1, 2])
def test_thread_counts(n_jobs):
    G = add_weights(nx.connected_watts_strogatz_graph(60, 4, 0.3, seed=2), "float", seed=1)
    with nx.config.backends.fennel(n_jobs=n_jobs):
        assert same_as_networkx("closeness_vitality", G, weight="weight")


def test_node_not_in_graph_is_left_to_networkx():
    assert not same_as_networkx("closeness_vitality", GRAPHS["karate"], "absent")


def _view_of_colliding_ints(weights):
    """A 13-node subgraph view of a 36-node graph whose int nodes share their low hash bits (its sets list
    them in an order of their own)."""
    rng = random.Random(0)
    G = nx.gnp_random_graph(36, 0.4, seed=0)
    order = list(G)
    rng.shuffle(order)
    H = nx.Graph()
    H.add_nodes_from(v * 64 for v in order)
    H.add_edges_from((u * 64, v * 64, {"weight": rng.choice(weights)}) for u, v in G.edges)
    return H.subgraph(rng.sample(list(H), 13))


@pytest.mark.parametrize("weights, served", [([0.1, 0.3, 0.7, 1.1, 2.9], False), ([1, 3, 7], True)],
                         ids=["float", "int"])
def test_subgraph_views(weights, served):
    """NetworkX's G.subgraph(set(G) - {node}) of a subgraph view filters the graph under it and lists its nodes
    in the set's order: float sums follow that order (int sums come out alike)."""
    G = _view_of_colliding_ints(weights)
    assert same_as_networkx("closeness_vitality", G, weight="weight") is served
    assert same_as_networkx("closeness_vitality", G) is True
