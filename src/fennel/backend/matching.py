"""Matchings (NetworkX's matching module): the greedy maximal matching and
the maximum-weight matching (Edmonds' blossoms).

The C++ kernels pick the pairs; the sets are filled here with the same
tuples in the same order, so they iterate as NetworkX's do.
"""

import math

import networkx as nx
from networkx.algorithms.matching import matching_dict_to_set

from .checks import EXACT_INT_LIMIT, data_rule, flag, argument_rule, none_key
from .graph import _VALUE_OF_KIND, FennelGraph
from .serve import EXACT, WORK_BLOSSOMS, WORK_COMPONENTS, WORK_MAXIMALITY, always, served

# max_weight_matching's duals and slacks stay within a small multiple of n
# times the largest weight; NetworkX computes them in Python ints, fennel in
# doubles, exact below 2**53.
_FLOAT_LIMIT = 2.0**960

argument_rule("maxcardinality", flag("maxcardinality"))


def _weighted_edges(fg, weight):
    """G.edges(data=weight, default=1) as NetworkX lists it, without building a
    native graph's dicts (its values rebuilt with their kinds)."""
    if not fg.native:
        return fg.source.edges(data=weight, default=1)
    nodes = fg.nodes
    us, vs, ids = fg.core.edges_in_order()
    column = None
    for name, values, kinds in fg.core.native_edges()[2]:
        if name == weight:
            column = values, kinds
    if column is None:
        return ((nodes[u], nodes[v], 1) for u, v in zip(us, vs))
    values, kinds = column
    return ((nodes[u], nodes[v], _VALUE_OF_KIND[kinds[e]](values[e]) if kinds[e] else 1)
            for u, v, e in zip(us, vs, ids))


def _weights_problem(fg, weight, headroom):
    """Why NetworkX's blossom arithmetic over these weights is not fennel's, or None.

    NetworkX reads ``d.get(weight, 1)`` and keeps each value's own type: ints
    and floats (mixed too) come out alike in doubles while ints are small and
    floats finite; other types (bool, numpy, Fraction, None) are left to it.
    ``headroom``: how many times larger than the given weights the weights
    the algorithm reads may be.
    """
    if reason := none_key(fg, weight):
        return reason
    if weight is None:
        return None
    limit = EXACT_INT_LIMIT // (4 * headroom * (len(fg.nodes) + 1))
    for _, _, w in _weighted_edges(fg, weight):
        kind = type(w)
        if kind is int:
            if abs(w) > limit:
                return f"int {weight!r} weights beyond 2**53 / (4 (n + 1)) could make inexact duals"
        elif kind is float:
            if not (math.isfinite(w) and abs(w) * headroom <= _FLOAT_LIMIT):
                return f"{weight!r} weights must be finite floats below 2**960"
        else:
            return f"{weight!r} weights of type {kind.__name__} are left to NetworkX"
    return None


data_rule("blossom_weights", lambda fg, a: _weights_problem(fg, a["weight"], 1))
# min_weight_matching matches on (1 + the largest weight) - w: up to twice as large, plus one.
data_rule("inverted_weights", lambda fg, a: _weights_problem(fg, a["weight"], 4))


def _pairs_to_set(nodes, pairs):
    matching = set()
    for i in range(0, len(pairs), 2):
        matching.add((nodes[pairs[i]], nodes[pairs[i + 1]]))
    return matching


@served(docs="The greedy pass over G.edges() in C++; NetworkX's set filled in the same order. " + EXACT,
        rules=("undirected_only", "no_multigraph"), data_rules=("keys",), min_work=WORK_COMPONENTS)
def maximal_matching(G):
    return _pairs_to_set(G.nodes, G.core.greedy_matching())


def _matched_nodes(G, matching):
    """The nodes of a valid matching, in a set filled as NetworkX fills it, or None.

    NetworkX's validation loop, G's membership test and has_edge answered from
    the rows: the same exceptions, raised at the same edge, and the same
    early False for an invalid matching.
    """
    index, core = G.index, G.core
    if isinstance(matching, dict):
        matching = matching_dict_to_set(matching)
    nodes = set()
    for edge in matching:
        if len(edge) != 2:
            raise nx.NetworkXError(f"matching has non-2-tuple edge {edge}")
        u, v = edge
        if u not in G or v not in G:
            raise nx.NetworkXError(f"matching contains edge {edge} with node not in G")
        if u == v:
            return None
        if not core.has_edge(index[u], index[v]):
            return None
        if u in nodes or v in nodes:
            return None
        nodes.update(edge)
    return nodes


# The checks are NetworkX's loop with has_edge read from the rows, no faster
# than NetworkX's dict lookups: automatic dispatch hands over only native
# graphs, which NetworkX would first have to build dicts for.
_WORK_CHECK = (math.inf, math.inf)


@served(docs="NetworkX's validation loop, each has_edge answered from the rows. " + EXACT,
        rules=("no_multigraph",), min_work=_WORK_CHECK)
def is_matching(G, matching):
    return _matched_nodes(G, matching) is not None


@served(docs="NetworkX's validation loop, each has_edge answered from the rows. " + EXACT,
        rules=("no_multigraph",), min_work=_WORK_CHECK)
def is_perfect_matching(G, matching):
    nodes = _matched_nodes(G, matching)
    return nodes is not None and len(nodes) == len(G)


@served(docs="The matching checked in Python as NetworkX checks it, then the pass over G.edges for an edge "
             "with both ends free in C++. " + EXACT,
        rules=("no_multigraph",), min_work=WORK_MAXIMALITY, bounded=always)
def is_maximal_matching(G, matching):
    nodes = _matched_nodes(G, matching)
    return nodes is not None and not G.core.has_free_edge([G.index[v] for v in nodes])


@served(docs="NetworkX's blossom algorithm ported to C++ step by step, its slacks in the weights' own "
             "arithmetic; the set filled in NetworkX's insert order. " + EXACT,
        weight="weight", rules=("undirected_only", "no_multigraph", "weight_name", "maxcardinality"),
        data_rules=("keys", "blossom_weights", "mirrored_weights"), min_work=WORK_BLOSSOMS)
def max_weight_matching(G, maxcardinality=False, weight="weight"):
    return _pairs_to_set(G.nodes, G.core.blossom_matching(weight, maxcardinality))


@served(docs="NetworkX's inverted weights computed in Python on the weights' own types, then the blossom "
             "algorithm in C++ on the same inverted graph NetworkX builds. " + EXACT,
        weight="weight", rules=("undirected_only", "no_multigraph", "weight_name"),
        data_rules=("keys", "inverted_weights"), min_work=WORK_BLOSSOMS)
def min_weight_matching(G, weight="weight"):
    if G.core.number_of_edges() == 0:
        return _pairs_to_set(G.nodes, G.core.blossom_matching(weight, True))
    # NetworkX's inverted graph, built as it builds it: nodes in the order
    # the edges bring them, rows in edge order, isolated nodes dropped.
    G_edges = list(_weighted_edges(G, weight))
    max_weight = 1 + max(w for _, _, w in G_edges)
    InvG = nx.Graph()
    InvG.add_weighted_edges_from(((u, v, max_weight - w) for u, v, w in G_edges), weight=weight)
    inverted = FennelGraph(InvG, [] if weight is None else [(weight, 1)])
    return _pairs_to_set(inverted.nodes, inverted.core.blossom_matching(weight, True))
