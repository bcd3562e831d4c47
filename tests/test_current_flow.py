"""Current-flow betweenness and closeness against NetworkX, bit for bit."""

import random

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

BETWEENNESS = ["current_flow_betweenness_centrality", "edge_current_flow_betweenness_centrality"]
CLOSENESS = "current_flow_closeness_centrality"
# Connected, simple, undirected: served (disconnected ones raise NetworkX's error).
GRAPHS = ["path", "cycle", "star", "complete", "barbell", "karate", "les_miserables", "tuple_nodes",
          "unordered_ints", "big_int_nodes", "str_nodes", "mixed_nodes", "disconnected"]


def powers_of_two(G, seed):
    """G with int and float weights that are powers of two (B @ C exact)."""
    rng = random.Random(seed)
    H = G.copy()
    for _, _, d in H.edges(data=True):
        d["weight"] = rng.choice([1, 2, 4, 0.5, 0.25, 8.0])
    return H


def served_or_unconnected(G, name, **kwargs):
    ran = same_as_networkx(name, G, **kwargs)
    assert ran or not nx.is_connected(G)


@pytest.mark.parametrize("solver", ["full", "lu"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_zoo(gid, solver):
    G = ZOO[gid]
    for name in BETWEENNESS:
        served_or_unconnected(G, name, solver=solver)
        served_or_unconnected(G, name, solver=solver, normalized=False)
        served_or_unconnected(powers_of_two(G, len(gid)), name, solver=solver, weight="weight")
    served_or_unconnected(G, CLOSENESS, solver=solver)
    served_or_unconnected(powers_of_two(G, 1), CLOSENESS, solver=solver, weight="weight")


@pytest.mark.parametrize("gid", ["path", "cycle", "star", "barbell"])
def test_conjugate_gradient(gid):
    for name in [*BETWEENNESS, CLOSENESS]:
        assert same_as_networkx(name, ZOO[gid], solver="cg")


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize(
    "G",
    [
        nx.grid_2d_graph(9, 8),
        nx.random_regular_graph(3, 120, seed=2),
        nx.connected_watts_strogatz_graph(150, 4, 0.2, seed=3),
        nx.Graph([*nx.les_miserables_graph().edges, *((v, v) for v in ["Valjean", "Myriel", "Javert"])]),
    ],
    ids=["grid", "regular", "small_world", "self_loops"],
)
def test_threads_and_ties(G, threads):
    """Symmetric graphs give rows with equal non-zero entries, ranked by numpy."""
    with nx.config.backends.fennel(n_jobs=threads):
        for name in [*BETWEENNESS, CLOSENESS]:
            assert same_as_networkx(name, G)


@pytest.mark.parametrize(
    "G, kwargs",
    [
        (nx.MultiGraph(nx.cycle_graph(5)), {}),
        (ZOO["karate"], {"weight": "weight"}),  # weights 1..7
        (ZOO["cycle"], {"dtype": np.float32}),
        (ZOO["cycle"], {"solver": "qr"}),
        (nx.path_graph(2), {}),
    ],
)
def test_refused(G, kwargs):
    for name in [*BETWEENNESS, CLOSENESS]:
        assert not same_as_networkx(name, G, **kwargs)


def _view_of_colliding_ints(seed, extra):
    """A subgraph view of a graph of ten connected int nodes sharing their low hash bits (a set lists them in an
    order of their own) and `extra` isolated nodes outside the view."""
    rng = random.Random(seed)
    G = nx.relabel_nodes(nx.connected_watts_strogatz_graph(10, 4, 0.3, seed=seed), lambda i: i * 64)
    nodes = list(G)
    rng.shuffle(nodes)
    H = nx.Graph()
    H.add_nodes_from(nodes)
    H.add_edges_from(G.edges)
    H.add_nodes_from(range(1, extra + 1))
    return H.subgraph(nodes)


@pytest.mark.parametrize("seed", [1, 2])
@pytest.mark.parametrize("extra, served", [(19, False), (10, True)], ids=["view_under_half", "view_over_half"])
def test_subgraph_views(seed, extra, served):
    """NetworkX's ordering starts from the first node of G.subgraph(component): a subgraph view's subgraph filters
    the graph under it, in the component set's order while under half of that graph."""
    G = _view_of_colliding_ints(seed, extra)
    for name in [*BETWEENNESS, CLOSENESS]:
        assert same_as_networkx(name, G) is served
