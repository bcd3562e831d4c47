"""Local and pair efficiency against NetworkX over the zoo. Local
efficiency's sum follows the order in which NetworkX's subgraph views list
their nodes (a set's order for small neighbourhoods), so hubs, colliding
int hashes and str nodes under several hash seeds are among the cases."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from test_clique import same_under_hash_seeds
from zoo import ZOO, ZOO_IDS, _relabelled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

HUBS = nx.barabasi_albert_graph(300, 4, seed=2)
EXTRA = {
    "hubs": HUBS,
    "hubs_collisions": _relabelled(HUBS, {i: i * 64 for i in HUBS}),
    "dense": nx.gnp_random_graph(30, 0.7, seed=5),  # neighbourhoods over half of G: G's order
}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_local_efficiency(gid, threads):
    G = EXTRA.get(gid) or ZOO[gid]
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx("local_efficiency", G) == (not G.is_directed())


def _shuffled_dense(seed):
    G = nx.gnp_random_graph(40, 0.5, seed=seed)
    nodes = sorted(G, key=lambda v: (v * 7919) % 41)
    H = nx.Graph()
    H.add_nodes_from(nodes)
    H.add_edges_from(G.edges)
    return H, nodes


_VIEWS = {
    "small": lambda G, nodes: G.subgraph(nodes[:12]),
    "subgraph_of_subgraph": lambda G, nodes: G.subgraph(nodes[:30]).subgraph(nodes[:12]),
    "half": lambda G, nodes: G.subgraph(nodes[:25]),  # in G's order, its neighbourhoods in set order
    "restricted": lambda G, nodes: nx.restricted_view(G, nodes[12:], []),
}


@pytest.mark.parametrize("kind, seed", [("small", 0), ("subgraph_of_subgraph", 1), ("half", 11), ("restricted", 3),
                                        ("restricted", 12)])
def test_local_efficiency_of_views(kind, seed):
    """A subgraph view's G.subgraph(G[v]) filters the graph under the view: that graph's length decides when
    the neighbourhood lists its nodes in its set's order."""
    assert same_as_networkx("local_efficiency", _VIEWS[kind](*_shuffled_dense(seed)))


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_efficiency(gid):
    G = ZOO[gid]
    nodes = list(G)
    served = not G.is_directed()
    if nodes:
        assert same_as_networkx("efficiency", G, nodes[0], nodes[-1]) == served
        assert same_as_networkx("efficiency", G, nodes[0], nodes[0]) == served  # ZeroDivisionError
    for u, v in [(nodes[0] if nodes else 0, "absent"), ("absent", 0)]:
        assert not same_as_networkx("efficiency", G, u, v)  # NodeNotFound: the caller's error


# The hub's neighbourhood is a path: its sources' order changes the last
# bits of its term, though not of the mean, so the terms are compared.
_SEEDED = """
import networkx as nx
from fennel.backend.clique import node_hashes
from fennel.backend.graph import as_fennel
G = nx.path_graph(80)
G.add_edges_from(("hub", i) for i in range(80))
G.add_nodes_from(range(80, 200))
G = nx.relabel_nodes(G, lambda i: f"n{i}")
ours = as_fennel(G, ()).core.local_efficiencies(node_hashes(as_fennel(G, ())), len(G))
theirs = [nx.global_efficiency(G.subgraph(G[v])) for v in G]
print([(type(x), x) for x in ours] == [(type(x), x) for x in theirs], theirs[list(G).index("nhub")].hex())
"""


def test_str_node_orders_follow_the_hash_seed():
    same_under_hash_seeds(_SEEDED)
