"""The Stoer–Wagner minimum cut (NetworkX's connectivity.stoerwagner).

The weights are read here as NetworkX's working copy reads them
(``e.get(weight, 1)`` for each edge of ``G.edges``, self-loops skipped); the
C++ core replays the phases over BinaryHeap's order (value, then insertion
count, stale pairs skipped) and the contracted graph's dict orders, with
Python's int and float arithmetic. The partition's lists come from the same
set operations NetworkX makes, on the node orders the core hands back.
"""

import math

import networkx as nx
from networkx.utils import BinaryHeap

from .checks import EXACT_INT_LIMIT, argument_rule, data_rule
from .graph import lookup_problem
from .matching import _weighted_edges
from .serve import EXACT, served
from .shared import connected


@argument_rule("stoer_wagner_heap")
def _stoer_wagner_heap(a):
    """PairingHeap breaks ties by its own linking of subtrees, which is not replayed."""
    return None if a["heap"] is BinaryHeap else "heaps other than BinaryHeap are left to NetworkX"


def _read_weights(fg, weight):
    """(values, floats, negative) of e.get(weight, 1) over G.edges, or the reason they cannot be followed;
    ``negative``: whether an edge other than a self-loop weighs less than 0."""
    if not fg.native and (reason := lookup_problem(fg.source)):
        return reason
    values = []
    floats = []
    negative = False
    int_total = 0
    float_total = 0.0
    for u, v, w in _weighted_edges(fg, weight):
        if u is v and u != v:
            return "a self-loop on a node unequal to itself is left to NetworkX"
        kind = type(w)
        if kind is float:
            if not math.isfinite(w):
                return f"a {weight!r} weight of {w} is left to NetworkX"
            floats.append(True)
            float_total += abs(w)
        elif kind is int or kind is bool:
            floats.append(False)
            int_total += abs(w)
        else:
            return f"{weight!r} weights of type {kind.__name__} are left to NetworkX"
        values.append(float(w))
        negative = negative or (w < 0 and u != v)
    if int_total > EXACT_INT_LIMIT:
        return f"int {weight!r} weights summing beyond 2**53 are left to NetworkX"
    if not float_total + int_total < 2.0**1000:
        return f"{weight!r} weights summing beyond 2**1000 are left to NetworkX"
    return values, floats, negative


def _weights(fg, weight):
    kept = fg.__dict__.setdefault("_stoer_wagner_weights", {})
    found = kept.get(weight)
    if found is None:
        found = kept[weight] = _read_weights(fg, weight)
    return found


@data_rule("stoer_wagner_weights")
def _stoer_wagner_weights(fg, a):
    if fg.multigraph or fg.directed:
        return None  # NetworkX raises its error
    found = _weights(fg, a["weight"])
    return found if isinstance(found, str) else None


@served(docs="NetworkX's contraction phases in C++: BinaryHeap's (value, insertion count) order, the "
             "contracted graph's dict orders and Python's int and float arithmetic replayed; the partition "
             "built by NetworkX's own set operations. " + EXACT,
        rules=("weight_name", "stoer_wagner_heap"), data_rules=("keys", "stoer_wagner_weights"))
def stoer_wagner(G, weight="weight", heap=BinaryHeap):
    if len(G) < 2:
        raise nx.NetworkXError("graph has less than two nodes.")
    if not connected(G):
        raise nx.NetworkXError("graph is not connected.")
    values, floats, negative = _weights(G, weight)
    if negative:
        raise nx.NetworkXError("graph has a negative-weighted edge.")
    cut_value, order, reaching = G.core.stoer_wagner(values, floats)
    node = G.nodes.__getitem__
    nodes = set(map(node, order))
    # set() of single_source_shortest_path_length's dict: sized for the dict first, as CPython does.
    reachable = set(dict.fromkeys(map(node, reaching)))
    return cut_value, (list(reachable), list(nodes - reachable))
