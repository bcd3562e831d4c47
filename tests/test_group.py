"""Group centralities and prominent_group against NetworkX over the zoo."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

from fennel.backend import RELEASE_REFUSALS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

DEGREE = ["group_degree_centrality", "group_in_degree_centrality", "group_out_degree_centrality"]


def _groups(G):
    nodes = list(G)
    # every shape NetworkX reads: duplicates (len(S) counts them), the whole graph, a missing node
    return [nodes[:3], nodes[::4] + nodes[:1], nodes, nodes[1:2] + ["missing"]]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_group_degree(gid):
    G = ZOO[gid]
    for name in DEGREE:
        if name != "group_degree_centrality" and not G.is_directed():
            continue  # NetworkX's decorator rejects these before dispatching
        for S in _groups(G):
            ran = same_as_networkx(name, G, S)
            assert ran == ("missing" not in S)


@pytest.mark.parametrize("flavour", [None, "int", "float", "none", "missing"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_group_closeness(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=2)
    weight = None if flavour is None else "weight"
    for S in _groups(G) + [[]]:
        ran = same_as_networkx("group_closeness_centrality", G, S, weight=weight)
        served = S and "missing" not in S
        if not (G.is_multigraph() and flavour == "none"):
            assert ran == bool(served)


@pytest.mark.parametrize("flavour", [None, "float", "tied", "zero"])
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_group_betweenness(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=4)
    weight = None if flavour is None else "weight"
    nodes = list(G)
    one, many = nodes[1:5], [nodes[::5], nodes[2:4], nodes[-3:]]
    expected = len(G) > 0 and (not G.is_directed() or nx.is_strongly_connected(G))
    for C in (one, many):
        for normalized, endpoints, threads in ((True, False, 1), (False, False, 2), (False, True, 2)):
            with nx.config.backends.fennel(n_jobs=threads):
                ran = same_as_networkx(
                    "group_betweenness_centrality", G, C, normalized=normalized, weight=weight, endpoints=endpoints
                )
            assert ran == expected or "group_betweenness_centrality" in RELEASE_REFUSALS


def _strong_digraph():
    G = nx.cycle_graph(8, create_using=nx.DiGraph)
    G.add_edges_from([(0, 4), (4, 0), (2, 6), (5, 1), (3, 3)])
    return G


PROMINENT = {
    **{gid: ZOO[gid] for gid in ("path", "cycle", "star", "barbell", "unordered_ints", "disconnected", "str_nodes",
                                  "multigraph_loops", "tuple_nodes", "directed_path")},
    "strong_digraph": _strong_digraph(),
}


@pytest.mark.parametrize("flavour", [None, "float", "tied"])
@pytest.mark.parametrize("gid", list(PROMINENT))
def test_prominent_group(gid, flavour):
    G = PROMINENT[gid] if flavour is None else add_weights(PROMINENT[gid], flavour, seed=3)
    weight = None if flavour is None else "weight"
    nodes = list(G)
    plain = {type(v) for v in G} in ({int}, {str})
    connected = not G.is_directed() or nx.is_strongly_connected(G)
    calls = [
        (dict(k=2), 1),
        (dict(k=3, greedy=True), 2),
        # C's set order, not node order, pairs NetworkX's nodes with the diagonal
        (dict(k=2, C=nodes[-3:], endpoints=True, normalized=False), 2),
        (dict(k=1, C=nodes[:1], normalized=False), 1),
        (dict(k=len(G) + 1), 1),
    ]
    for kwargs, threads in calls:
        with nx.config.backends.fennel(n_jobs=threads):
            ran = same_as_networkx("prominent_group", G, weight=weight, **kwargs)
        expected = plain and connected and kwargs["k"] <= len(G) - len(kwargs.get("C", ()))
        assert ran == expected or "prominent_group" in RELEASE_REFUSALS
