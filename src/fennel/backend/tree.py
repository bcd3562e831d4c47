"""Spanning trees by Kruskal's algorithm, and tree recognition (NetworkX's tree.mst and tree.recognition).

The spanning edges are the source graph's own (u, v, data dict), in the
order NetworkX's Kruskal yields them; the trees are built from them as
NetworkX builds its own.
"""

import networkx as nx

from .checks import argument_rule, data_rule, none_key, product_weights
from .serve import EXACT, WORK_COMPONENTS, WORK_SPANNING, served
from .shared import changed, fills_directly, new_graph, no_gc_pauses, watch

_KRUSKAL = (
    "Kruskal's algorithm in C++ (a stable sort by weight and a disjoint-set forest); the edges carry the "
    "graph's own data dicts. " + EXACT + " Other algorithms, multigraphs and weights that are None, NaN or "
    "numbers other than Python's and numpy's float64, int64 and bool_ are left to NetworkX."
)
_RECOGNITION = (
    "Connected components by breadth-first search in C++, with NetworkX's count of the edges. " + EXACT
)
_SPANNING_RULES = ("weight_name", "spanning_args")
_SPANNING_DATA = ("keys", "kruskal_weights")


@argument_rule("spanning_args")
def _spanning_args(a):
    if a["algorithm"] != "kruskal":
        return "algorithms other than Kruskal are left to NetworkX"
    G = a["G"]
    if G.is_multigraph():
        return "multigraphs are left to NetworkX (each parallel edge is its own candidate)"
    if G.is_directed():
        return "NetworkX rejects directed graphs"
    return None


# Kruskal sorts the weights as Python numbers.
data_rule(
    "kruskal_weights",
    lambda fg, a: none_key(fg, a["weight"]) or product_weights(fg, a["weight"], symmetric=False),
)


def _kept_edges(fg, weight, maximum, data=True):
    """The kept edges as (u, v, data dict) of the source graph (or (u, v) without ``data``), in NetworkX's
    yield order."""
    with no_gc_pauses():
        return fg.core.kruskal_edges(weight, maximum, fg.node_tuple, fg.source._adj, data)


def _spanning_edges(networkx, fg, watched, maximum, algorithm, weight, keys, data, ignore_nan):
    # NetworkX's Kruskal sorts every edge on its first step.
    if changed(watched):
        yield from networkx.orig_func(fg.source, algorithm, weight, keys, data, ignore_nan)
        return
    yield from _kept_edges(fg, weight, maximum, data)


@served(docs=_KRUSKAL, weight="weight", rules=_SPANNING_RULES, data_rules=_SPANNING_DATA, min_work=WORK_SPANNING,
        keeps_attributes=True)
def minimum_spanning_edges(G, algorithm="kruskal", weight="weight", keys=True, data=True, ignore_nan=False):
    return _spanning_edges(nx.minimum_spanning_edges, G, watch(G), False, algorithm, weight, keys, data, ignore_nan)


@served(docs=_KRUSKAL, weight="weight", rules=_SPANNING_RULES, data_rules=_SPANNING_DATA, min_work=WORK_SPANNING,
        keeps_attributes=True)
def maximum_spanning_edges(G, algorithm="kruskal", weight="weight", keys=True, data=True, ignore_nan=False):
    return _spanning_edges(nx.maximum_spanning_edges, G, watch(G), True, algorithm, weight, keys, data, ignore_nan)


def _spanning_tree(fg, weight, maximum):
    G = fg.source
    if not fills_directly(G):
        edges = _kept_edges(fg, weight, maximum)
        with no_gc_pauses():
            return new_graph(G, G._node, edges)
    # NetworkX's T = G.__class__(); T.graph.update(G.graph), then its nodes
    # and kept edges added by the core, straight into T's dicts.
    T = G.__class__()
    T.graph.update(G.graph)
    with no_gc_pauses():
        fg.core.kruskal_tree(weight, maximum, fg.node_tuple, G._adj, G._node, T._node, T._adj)
    return T


@served(docs=_KRUSKAL, weight="weight", rules=_SPANNING_RULES, data_rules=_SPANNING_DATA, min_work=WORK_SPANNING,
        keeps_attributes=True)
def minimum_spanning_tree(G, weight="weight", algorithm="kruskal", ignore_nan=False):
    return _spanning_tree(G, weight, maximum=False)


@served(docs=_KRUSKAL, weight="weight", rules=_SPANNING_RULES, data_rules=_SPANNING_DATA, min_work=WORK_SPANNING,
        keeps_attributes=True)
def maximum_spanning_tree(G, weight="weight", algorithm="kruskal", ignore_nan=False):
    return _spanning_tree(G, weight, maximum=True)


def _forest_parts(fg):
    """(nodes, edges, components) as NetworkX counts them."""
    if not fg.nodes:
        raise nx.exception.NetworkXPointlessConcept("G has no nodes.")
    if fg.directed:
        fg.load_exact_pred()
        parts = fg.core.weakly_connected()
    else:
        parts = fg.core.connected()
    # Parallel edges count: NetworkX's number_of_edges counts every key.
    return len(fg.nodes), fg.source.number_of_edges(), len(parts)


def _not_n_minus_one_edges(a):
    """NetworkX's is_tree reads no row unless G has one edge fewer than nodes
    (counted here from the rows' lengths, cheaper than G.number_of_edges();
    self-loops and parallel edges aside, which only leave it to NetworkX)."""
    G = a["G"]
    entries = sum(map(len, G._adj.values()))
    return len(G) - 1 != (entries if G.is_directed() else entries // 2)


@served(docs=_RECOGNITION, data_rules=("keys",), min_work=WORK_COMPONENTS, bounded=_not_n_minus_one_edges)
def is_tree(G):
    n, m, parts = _forest_parts(G)
    return n - 1 == m and parts == 1


@served(docs=_RECOGNITION, data_rules=("keys",), min_work=WORK_COMPONENTS)
def is_forest(G):
    # Each component has at least nodes - 1 edges, so the totals decide.
    n, m, parts = _forest_parts(G)
    return m == n - parts
