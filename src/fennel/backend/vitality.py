"""Closeness vitality (NetworkX's vitality).

NetworkX takes the Wiener index of G and of G without each node in turn;
the core runs each removal's all-pairs searches over G's rows with the node
filtered out, as NetworkX's subgraph view walks them, and sums the
distances in NetworkX's order. The differences are taken here, so a given
``wiener_index`` of any type meets Python's own subtraction.
"""

import networkx as nx

from .checks import COMPENSATED_SUM, data_rule
from .kinds import NUMPY_BIT
from .serve import STATS_DOCS, WORK_STATS, served
from .shared import distance_kind


@data_rule("vitality_node")
def _vitality_node(fg, a):
    if len(fg) < 2:
        return "graphs of fewer than two nodes are left to NetworkX (the null graph after a removal)"
    node = a["node"]
    try:
        if node is None or node in fg:
            return None
    except TypeError:
        pass
    return "a node not in G is left to NetworkX"


@data_rule("vitality_weights")
def _vitality_weights(fg, a):
    weight = a["weight"]
    if weight is None:
        return None
    kind = distance_kind(fg, weight)
    if kind is None or kind & NUMPY_BIT:
        return f"{weight!r} weights of several kinds or numpy types are left to NetworkX"
    return None


def _after(totals, directed):
    for total in totals:
        if total is False:
            yield float("inf")
        elif total is None:
            raise ValueError("Contradictory paths found:", "negative weights?")
        else:
            yield total if directed else total / 2


@served(docs=STATS_DOCS + " The removals' searches run on the worker pool.", weight="weight",
        rules=("weight_name",), data_rules=("vitality_node", "dijkstra_weights", "vitality_weights"),
        per_source=True, min_work=WORK_STATS)
def closeness_vitality(G, node=None, weight=None, wiener_index=None):
    if wiener_index is None:
        wiener_index = nx.wiener_index(G, weight=weight)
    removed = [G.index[node]] if node is not None else range(len(G))
    compensated = COMPENSATED_SUM
    after = _after(G.core.wiener_without(weight, list(removed), compensated_sum=compensated), G.directed)
    if node is not None:
        return wiener_index - next(after)
    return {v: wiener_index - a for v, a in zip(G.nodes, after)}
