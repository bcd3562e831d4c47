"""Percolation centrality (NetworkX's centrality.percolation).

Brandes' searches in C++ as betweenness runs them, each dependency weighted
by the source's share of the states and added source after source in
NetworkX's order. The states' total is NetworkX's own running sum, taken
here in the dict's order.
"""

from .checks import data_rule, exact_real
from .serve import EXACT, WORK_BETWEENNESS, served


def _states(fg, a):
    """The states NetworkX reads (node -> value), or None when its own attribute lookup is needed."""
    states = a["states"]
    if states is None:
        attribute = a["attribute"]
        return {v: d.get(attribute, 1) for v, d in fg.source.nodes(data=True)}
    return states


@data_rule("percolation_states")
def _percolation_states(fg, a):
    if len(fg) == 2:
        return "two-node graphs are left to NetworkX (it divides by n - 2)"
    states = _states(fg, a)
    if type(states) is not dict:
        return "states must be a dict"
    if not all(exact_real(x) and x == x and abs(x) != float("inf") for x in states.values()):
        return "states must be finite floats or ints within 2**53"
    try:
        missing = any(v not in states for v in fg.nodes)
    except TypeError:
        missing = True
    if missing:
        return "nodes without a state are left to NetworkX"
    total = _total(states)
    G = fg.source
    into = G._pred if G.is_directed() else G._adj
    # NetworkX divides by total - states[w] for every w another source reaches.
    if any(total - states[v] == 0 and any(u != v for u in into[v]) for v in fg.nodes):
        return "a node's state equal to the states' total is left to NetworkX (it divides by the difference)"
    return None


def _total(states):
    total = 0.0
    for x in states.values():
        total += x
    return total


@served(docs="Brandes' searches and the weighted accumulation in parallel in C++. " + EXACT,
        weight="weight", rules=("weight_name",), data_rules=("betweenness_weights", "percolation_states"),
        per_source=True, min_work=WORK_BETWEENNESS, keeps_attributes=True)
def percolation_centrality(G, attribute="percolation", states=None, weight=None):
    states = _states(G, {"states": states, "attribute": attribute})
    total = _total(states)
    sums = G.core.percolation(weight, [float(states[v]) for v in G.nodes], total)
    n = len(G)
    scale = 1 / (n - 2) if n else None
    return {v: x * scale for v, x in zip(G.nodes, sums)}
