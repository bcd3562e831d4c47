"""Raw betweenness sums against NetworkX's own Brandes accumulation.

The reference runs NetworkX's private single-source searches and
accumulators over the sources in order, with no rescaling, so every entry
must come out bit for bit equal, floating-point addition order included.
"""

import math
import random

import networkx as nx
import pytest
from networkx.algorithms.centrality.betweenness import (
    _accumulate_basic,
    _accumulate_edges,
    _accumulate_endpoints,
    _single_source_dijkstra_path_basic,
    _single_source_shortest_path_basic,
)

from zoo import ZOO, ZOO_IDS, add_weights, convert

from fennel.backend import RELEASE_REFUSALS


def _brandes(G, s, weight):
    if weight is None:
        return _single_source_shortest_path_basic(G, s)
    return _single_source_dijkstra_path_basic(G, s, weight)


def nx_betweenness(G, sources, weight=None, endpoints=False):
    """NetworkX's unscaled node betweenness, as a list in list(G) order."""
    accumulate = _accumulate_endpoints if endpoints else _accumulate_basic
    bc = dict.fromkeys(G, 0.0)
    for s in sources:
        S, P, sigma, _ = _brandes(G, s, weight)
        bc, _ = accumulate(bc, S, P, sigma, s)
    return [bc[v] for v in G]


def nx_edge_betweenness(G, sources, weight=None):
    """NetworkX's unscaled edge betweenness, in edges_in_order order."""
    bc = dict.fromkeys(G, 0.0)
    bc.update(dict.fromkeys(G.edges(), 0.0))
    assert len(bc) == len(G) + len(set(G.edges()))  # no edge key collides with a node
    for s in sources:
        S, P, sigma, _ = _brandes(G, s, weight)
        bc = _accumulate_edges(bc, S, P, sigma, s)
    for v in G:
        del bc[v]
    return bc


def edge_values(G, g, edge_bc):
    """NetworkX's edge dict laid out by g.edges_in_order(); every edge used once."""
    nodes = list(G)
    us, vs, _ = g.edges_in_order()
    keys = [(nodes[u], nodes[v]) for u, v in zip(us, vs)]
    assert sorted(map(repr, keys)) == sorted(map(repr, edge_bc))
    return [edge_bc[k] for k in keys]


def check(G, weight=None, sources=None, endpoints=(False, True)):
    """Compares node and edge betweenness for one graph and source list."""
    g = convert(G, [("weight", 1)])
    nodes = list(G)
    src_nodes = nodes if sources is None else [nodes[i] for i in sources]
    results = {}
    for ep in endpoints:
        want = nx_betweenness(G, src_nodes, weight, ep)
        got = g.betweenness(weight, ep, sources)
        assert got == want, ("endpoints", ep)
        assert all(type(x) is float for x in got)
        results[ep] = want
    want_e = edge_values(G, g, nx_edge_betweenness(G, src_nodes, weight))
    got_e = g.edge_betweenness(weight, sources)
    assert got_e == want_e
    assert all(type(x) is float for x in got_e)
    return results, want_e


# The zoo

WEIGHTINGS = [None, "int", "float", "mixed", "missing"]
# Hidden (None) weights are left out: NetworkX's betweenness fails on them.


def weighted(name, flavour):
    G = ZOO[name]
    return (G, None) if flavour is None else (add_weights(G, flavour, seed=len(name)), "weight")


@pytest.mark.parametrize("flavour", WEIGHTINGS, ids=lambda f: f or "unweighted")
@pytest.mark.parametrize("name", ZOO_IDS)
def test_all_sources(name, flavour):
    G, weight = weighted(name, flavour)
    check(G, weight)


@pytest.mark.parametrize("flavour", WEIGHTINGS, ids=lambda f: f or "unweighted")
@pytest.mark.parametrize("name", [name for name in ZOO_IDS if len(ZOO[name])])
def test_sampled_and_repeated_sources(name, flavour):
    G, weight = weighted(name, flavour)
    n = len(G)
    rng = random.Random(n)
    sample = rng.sample(range(n), min(n, 7))  # sample order, not position order
    check(G, weight, sample)
    repeated = [sample[0], sample[-1], sample[0], sample[0]]
    check(G, weight, repeated)


# Where summation order shows


def _float_dense():
    # Dyadic weights: exact sums, so many distances tie and paths multiply.
    G = nx.gnp_random_graph(80, 0.2, seed=21)
    rng = random.Random(22)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.choice([0.25, 0.5, 0.75, 1.0])
    return G, "weight"


def _float_dense_directed():
    G = nx.gnp_random_graph(80, 0.15, seed=23, directed=True)
    rng = random.Random(24)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.choice([0.1, 0.2, 0.3, 0.7, 1.1])
    return G, "weight"


def _many_equal_paths():
    # Grid plus diagonals: huge path counts, non-dyadic dependency shares.
    G = nx.convert_node_labels_to_integers(nx.grid_2d_graph(9, 9))
    G.add_edges_from((u, u + 10) for u in range(70) if u % 9 != 8)
    return G, None


def _many_equal_paths_directed():
    G = nx.DiGraph(nx.hypercube_graph(7))
    G.remove_edges_from(list(G.edges())[::7])
    return G, None


def _zero_weights(directed):
    G = nx.gnp_random_graph(70, 0.06, seed=25, directed=directed)
    rng = random.Random(26)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.choice([0, 0, 1, 2, 0.5])
    G.add_edge(3, 3, weight=0)  # a zero-weight loop doubles sigma at its node
    G.add_edge(0, 0, weight=0)  # ... also at a source
    return G, "weight"


ORDER_CASES = {
    "float_dense": _float_dense,
    "float_dense_directed": _float_dense_directed,
    "many_equal_paths": _many_equal_paths,
    "many_equal_paths_directed": _many_equal_paths_directed,
    "zero_weights": lambda: _zero_weights(False),
    "zero_weights_directed": lambda: _zero_weights(True),
}


def _pairwise(vectors):
    """The per-source vectors summed two sources at a time, then the pairs."""
    total = [0.0] * len(vectors[0])
    for i in range(0, len(vectors), 2):
        pair = [0.0 + a + b for a, b in zip(vectors[i], vectors[i + 1])] if i + 1 < len(vectors) else vectors[i]
        total = [t + p for t, p in zip(total, pair)]
    return total


@pytest.mark.parametrize("case", list(ORDER_CASES))
def test_summation_order(case):
    G, weight = ORDER_CASES[case]()
    g = convert(G, [("weight", 1)])
    nodes = list(G)
    results, edges = check(G, weight, endpoints=(False,))
    # A different addition order changes the reference, so the comparison
    # above pins it down: neither reversed sources nor the same sums grouped
    # by pairs of sources give the same vectors.
    assert nx_betweenness(G, nodes[::-1], weight) != results[False]
    assert _pairwise([nx_betweenness(G, [s], weight) for s in nodes]) != results[False]
    per_source = [edge_values(G, g, nx_edge_betweenness(G, [s], weight)) for s in nodes]
    assert _pairwise(per_source) != edges
    assert len(set(results[False])) > 5 and len(set(edges)) > 5


def test_zero_weight_paths_are_counted():
    # 0 -> 1 -> 2 and 0 -> 2 both reach 2 at distance 1; 2 -> 3 at weight 0
    # settles 3 after 2, and 3 -> 2 then still adds to the settled node 2.
    G = nx.DiGraph()
    G.add_weighted_edges_from([(0, 1, 1), (1, 2, 0), (0, 2, 1), (2, 3, 0), (3, 2, 0), (3, 4, 1)])
    check(G, "weight")
    _, P, _, _ = _single_source_dijkstra_path_basic(G, 0, "weight")
    assert P[2][-1] == 3


# Past 2 MiB of per-node scratch (24 bytes a node here) the searches and the
# accumulation take their branching loops, which touch only the slots on
# shortest paths.
PAST_THE_CACHES = (2 << 20) // 24 * 6 // 5


def _grid(n):
    # Many tied shortest paths: path counts grow large and unequal.
    side = math.isqrt(n) + 1
    return nx.convert_node_labels_to_integers(nx.grid_2d_graph(side, side))


def _digraph(n):
    G = nx.DiGraph()
    rng = random.Random(5)
    G.add_nodes_from(range(n))
    G.add_edges_from((rng.randrange(n), rng.randrange(n)) for _ in range(3 * n))
    return G


@pytest.mark.parametrize("make", [_grid, _digraph], ids=["grid", "digraph"])
def test_graphs_whose_scratch_outgrows_the_caches(make):
    G = make(PAST_THE_CACHES)
    sources = [0, len(G) // 2 + 7]
    got = convert(G, [("weight", 1)]).betweenness(None, False, sources)
    assert got == nx_betweenness(G, sources)


# Small cases and arguments


def test_empty_sources_and_empty_graph():
    G = ZOO["gnp"]
    g = convert(G, [("weight", 1)])
    m = g.number_of_edges()
    for weight in (None, "weight"):
        assert g.betweenness(weight, True, []) == [0.0] * len(G)
        assert g.edge_betweenness(weight, []) == [0.0] * m
    e = convert(nx.Graph(), [("weight", 1)])
    assert e.betweenness() == [] and e.betweenness("weight", True) == []
    assert e.edge_betweenness() == [] and e.edge_betweenness("weight") == []


def test_argument_errors():
    G = ZOO["path"]
    g = convert(G, [("weight", 1)])
    with pytest.raises(IndexError, match="node index out of range"):
        g.betweenness(None, False, [0, len(G)])
    with pytest.raises(IndexError, match="node index out of range"):
        g.edge_betweenness(None, [len(G)])
    # The weight lookup fails first.
    with pytest.raises(NotImplementedError, match='edge attribute "w" was not converted'):
        g.betweenness("w", False, [len(G)])
    with pytest.raises(NotImplementedError, match='edge attribute "w" was not converted'):
        g.edge_betweenness("w")


@pytest.mark.skipif("edge_betweenness_centrality" in RELEASE_REFUSALS,
                    reason="this NetworkX release rescales edge betweenness otherwise")
@pytest.mark.parametrize("threads", [1, 2, 3])
@pytest.mark.parametrize("gid", ["gnp", "digraph_shuffled", "multigraph"])
def test_edge_sums_added_in_source_order_at_any_worker_count(gid, threads):
    # One worker adds in place; from three on, contributions are recorded
    # and merged. Both must add each edge's terms in NetworkX's source order.
    G = add_weights(ZOO[gid], "tied", seed=3)
    expected = nx.edge_betweenness_centrality(G, weight="weight", backend="networkx")
    with nx.config.backends.fennel(n_jobs=threads):
        assert nx.edge_betweenness_centrality(G, weight="weight", backend="fennel") == expected
        assert nx.edge_betweenness_centrality(ZOO[gid], backend="fennel") == nx.edge_betweenness_centrality(
            ZOO[gid], backend="networkx")
