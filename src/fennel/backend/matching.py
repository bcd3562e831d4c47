"""Matchings (NetworkX's matching module): the greedy maximal matching and
the maximum-weight matching (Edmonds' blossoms).

The C++ kernels pick the pairs; the sets are filled here with the same
tuples in the same order, so they iterate as NetworkX's do.
"""

import math

from .checks import EXACT_INT_LIMIT, data_rule, flag, argument_rule, none_key
from .serve import EXACT, WORK_COMPONENTS, served

# max_weight_matching's duals and slacks stay within a small multiple of n
# times the largest weight; NetworkX computes them in Python ints, fennel in
# doubles, exact below 2**53.
_FLOAT_LIMIT = 2.0**960

argument_rule("maxcardinality", flag("maxcardinality"))


@data_rule("blossom_weights")
def blossom_weights(fg, a):
    """Weights NetworkX's blossom arithmetic reads as fennel's doubles repeat it.

    NetworkX reads ``d.get(weight, 1)`` and keeps each value's own type: ints
    and floats (mixed too) come out alike in doubles while ints are small and
    floats finite; other types (bool, numpy, Fraction, None) are left to it.
    """
    weight = a["weight"]
    if reason := none_key(fg, weight):
        return reason
    if weight is None:
        return None
    limit = EXACT_INT_LIMIT // (4 * (len(fg.nodes) + 1))
    for _, _, d in fg.source.edges(data=True):
        w = d.get(weight, 1)
        kind = type(w)
        if kind is int:
            if abs(w) > limit:
                return f"int {weight!r} weights beyond 2**53 / (4 (n + 1)) could make inexact duals"
        elif kind is float:
            if not (math.isfinite(w) and abs(w) <= _FLOAT_LIMIT):
                return f"{weight!r} weights must be finite floats below 2**960"
        else:
            return f"{weight!r} weights of type {kind.__name__} are left to NetworkX"
    return None


def _pairs_to_set(nodes, pairs):
    matching = set()
    for i in range(0, len(pairs), 2):
        matching.add((nodes[pairs[i]], nodes[pairs[i + 1]]))
    return matching


@served(docs="The greedy pass over G.edges() in C++; NetworkX's set filled in the same order. " + EXACT,
        rules=("undirected_only", "no_multigraph"), data_rules=("keys",), min_work=WORK_COMPONENTS)
def maximal_matching(G):
    return _pairs_to_set(G.nodes, G.core.greedy_matching())


@served(docs="NetworkX's blossom algorithm ported to C++ step by step, its slacks in the weights' own "
             "arithmetic; the set filled in NetworkX's insert order. " + EXACT,
        weight="weight", rules=("undirected_only", "no_multigraph", "weight_name", "maxcardinality"),
        data_rules=("keys", "blossom_weights"), min_work=(0, 0))
def max_weight_matching(G, maxcardinality=False, weight="weight"):
    return _pairs_to_set(G.nodes, G.core.blossom_matching(weight, maxcardinality))
