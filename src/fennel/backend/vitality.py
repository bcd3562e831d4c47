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


@data_rule("vitality_view")
def _vitality_view(fg, a):
    # NetworkX's G.subgraph(set(G) - {node}) of a subgraph view filters the
    # graph under the view: it lists its nodes in the set's order while under
    # half of that graph (and a multigraph's rows in the set's order while
    # under half of them), where the removals here keep the view's orders.
    # Int distances add up alike in any order.
    weight = a["weight"]
    if weight is None or fg.native or not hasattr(fg.source, "_NODE_OK") or fg.weight_facts(weight).all_int:
        return None
    return f"a subgraph view's removals list its nodes in set orders, and its {weight!r} sums follow them"


def _after(totals, directed):
    for total in totals:
        if total is False:
            yield float("inf")
        elif total is None:
            raise ValueError("Contradictory paths found:", "negative weights?")
        else:
            yield total if directed else total / 2


@served(docs=STATS_DOCS + " The removals' searches run on the worker pool.", weight="weight",
        rules=("weight_name",), data_rules=("vitality_node", "dijkstra_weights", "vitality_weights", "vitality_view"),
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
