"""Girvan–Newman and edge betweenness partitions against NetworkX: every
partition's sets in iteration order, over the zoo, weights and node kinds."""

import itertools

import networkx as nx
import pytest
from zoo import ZOO, ZOO_IDS, add_weights

from fennel.backend import RELEASE_REFUSALS, calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def runs(name):
    """1 where fennel serves `name` under the installed NetworkX, else 0."""
    return int(name not in RELEASE_REFUSALS)


def backend_of(name, backend):
    """`backend`, or automatic dispatch for fennel where this release keeps `name` for NetworkX."""
    return {} if backend == "fennel" and not runs(name) else {"backend": backend}


def splits(G, backend, levels=4, **kwargs):
    found = nx.community.girvan_newman(G, **backend_of("girvan_newman", backend), **kwargs)
    return [[list(c) for c in partition] for partition in itertools.islice(found, levels)]


def partition(G, k, backend, weight=None):
    try:
        found = nx.community.edge_betweenness_partition(
            G, k, weight=weight, **backend_of("edge_betweenness_partition", backend))
    except nx.NetworkXException as exc:
        return type(exc), str(exc)
    return [list(c) for c in found]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_girvan_newman_zoo(gid):
    G = ZOO[gid]
    before = calls["ran", "girvan_newman"]
    assert splits(G, "fennel") == splits(G, "networkx")
    assert calls["ran", "girvan_newman"] == before + runs("girvan_newman")


@pytest.mark.parametrize("gid", ZOO_IDS)
@pytest.mark.parametrize("flavour", [None, "int", "mixed"])
def test_edge_betweenness_partition_zoo(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=5)
    weight = None if flavour is None else "weight"
    ks = {0, 1, 4, len(G), len(G) + 1} if flavour is None else {3}
    for k in sorted(ks):
        before = calls["ran", "edge_betweenness_partition"]
        assert partition(G, k, "fennel", weight) == partition(G, k, "networkx", weight), k
        assert calls["ran", "edge_betweenness_partition"] == before + runs("edge_betweenness_partition")


def test_edges_removed_in_rows_order_with_ties():
    # A cycle ties every edge: the first edge in the copy's rows goes first,
    # and the copy orders the rows otherwise than the original graph.
    G = nx.Graph([(3, 2), (1, 0), (2, 1), (0, 3), (5, 4), (4, 0)])
    G.add_edge(7, 7)
    assert splits(G, "fennel", levels=10) == splits(G, "networkx", levels=10)


@pytest.mark.parametrize("nodes", [list(range(0, 512, 8)), [f"s{i}" for i in range(64)], [(i, "t") for i in range(64)]])
def test_component_sets_iterate_as_networkx(nodes):
    # Set orders depend on the hashes and the order of insertion.
    G = nx.relabel_nodes(nx.connected_caveman_graph(8, 8), dict(enumerate(nodes)))
    assert splits(G, "fennel", levels=8) == splits(G, "networkx", levels=8)


@pytest.mark.skipif(not runs("girvan_newman"), reason="left to NetworkX in this release")
def test_own_most_valuable_edge_is_left_to_networkx():
    G = nx.karate_club_graph()
    heaviest = lambda H: max(H.edges(), key=lambda e: e[0] * 100 + e[1])  # noqa: E731
    with nx.config(backend_priority=["fennel"]):
        assert splits(G, "networkx", most_valuable_edge=heaviest) == splits(G, None, most_valuable_edge=heaviest)
    before = calls["refused", "girvan_newman"]
    with pytest.raises(NotImplementedError, match="most_valuable_edge"):
        next(nx.community.girvan_newman(G, most_valuable_edge=heaviest, backend="fennel"))
    assert calls["refused", "girvan_newman"] == before + 1


@pytest.mark.parametrize("cls", [nx.Graph, nx.DiGraph, nx.MultiDiGraph])
def test_edgeless_graph_splits_as_networkx(cls):
    # NetworkX yields connected_components of the graph itself: directed
    # graphs raise on the first step.
    G = cls()
    G.add_nodes_from(["b", 3, "a"])

    def first(backend):
        try:
            return next(nx.community.girvan_newman(G, **backend_of("girvan_newman", backend)))
        except nx.NetworkXException as exc:
            return type(exc), str(exc)

    assert first("fennel") == first("networkx")


def _dendrogram_graphs():
    caveman = nx.connected_caveman_graph(4, 5)
    mixed = {v: (v if v % 3 == 0 else (f"n{v}" if v % 3 == 1 else ("t", v))) for v in caveman}
    loops = nx.disjoint_union(nx.karate_club_graph(), nx.cycle_graph(7))
    loops.add_edges_from([(0, 0), (40, 40)])
    return {
        # Equal maxima everywhere, in three components cut in turn.
        "cycles-and-clique": nx.disjoint_union_all([nx.cycle_graph(6), nx.cycle_graph(5), nx.complete_graph(4)]),
        "grid-tuples": nx.grid_2d_graph(4, 5),
        "caveman-mixed-nodes": nx.relabel_nodes(caveman, mixed),
        "karate-cycle-loops": loops,
        "digraph": nx.gnp_random_graph(25, 0.12, seed=7, directed=True),
        "gnp-shuffled": ZOO["gnp_shuffled"],
    }


DENDROGRAMS = _dendrogram_graphs()


@pytest.mark.parametrize("threads", [1, 3])
@pytest.mark.parametrize("gid", DENDROGRAMS)
def test_girvan_newman_to_the_last_edge(gid, threads):
    # Every level to the edgeless graph: each cut re-ranks only the component
    # it was made in, so later cuts rest on totals kept from earlier ones.
    G = DENDROGRAMS[gid]
    with nx.config.backends.fennel(n_jobs=threads):
        got = splits(G, "fennel", levels=None)
    assert got == splits(G, "networkx", levels=None)
    assert len(got) == len(G) - nx.number_connected_components(G.to_undirected())


@pytest.mark.parametrize("threads", [1, 3])
@pytest.mark.parametrize("flavour", [None, "tied", "float"])
def test_edge_betweenness_partition_over_components(flavour, threads):
    # Two components and self-loops: the loops rank 0.0 and stay in the copy.
    G = nx.disjoint_union(nx.les_miserables_graph(), nx.barbell_graph(5, 3))
    G.add_edges_from([(0, 0), (80, 80)])
    G = nx.convert_node_labels_to_integers(G) if flavour is None else add_weights(G, flavour, seed=11)
    weight = None if flavour is None else "weight"
    with nx.config.backends.fennel(n_jobs=threads):
        got = [partition(G, k, "fennel", weight) for k in (2, 7, 30)]
    assert got == [partition(G, k, "networkx", weight) for k in (2, 7, 30)]
