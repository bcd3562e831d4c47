"""k-edge-connected components (NetworkX's connectivity.edge_kcomponents).

k_edge_components answers from components for k = 1 (connected components,
strongly connected ones in a directed graph) and from bridges for k = 2 in
an undirected graph, as NetworkX does: the same generators, the component
sets filled in NetworkX's insertion order. For larger k NetworkX builds its
auxiliary tree from minimum cuts of preflow-push residual networks, whose
cut sets' orders fennel does not replay: those calls are left to NetworkX.
"""

import networkx as nx

from .components import _component_sets, _parts
from .serve import EXACT, served
from .checks import ARGUMENT_RULES, argument_rule
from .shared import first_step, watch

_DOCS = (
    "k = 1: connected (strongly connected) components; k = 2 in an undirected graph: the bridges in C++ "
    "removed from NetworkX's G.copy() rows and its breadth-first components searched there; each "
    "component a set filled in NetworkX's insertion order. " + EXACT + " Larger k, whose auxiliary tree "
    "NetworkX builds from preflow-push minimum cuts, is left to NetworkX."
)


@argument_rule("bridge_k")
def _bridge_k(a):
    k, G = a["k"], a["G"]
    try:
        if k < 1:
            return None  # NetworkX's ValueError
        largest = 2 if not G.is_directed() else 1
        if k <= largest:
            return None
    except TypeError:
        return "k must compare with ints"
    return "k-edge-components beyond bridges come from NetworkX's preflow-push minimum cuts"


@argument_rule("component_rows")
def _component_rows(a):
    """k = 1 in an undirected graph follows changes by resuming NetworkX's dict iterators (the rule
    dict_rows); the other answers are computed on their first step, or by NetworkX if G changed."""
    if a["k"] == 1 and not a["G"].is_directed():
        return ARGUMENT_RULES["dict_rows"](a)
    return None


def _bridge_sets(fg):
    members, bounds = fg.core.bridge_components()
    nodes = fg.nodes
    for lo, hi in zip(bounds, bounds[1:]):
        # Filled one node at a time, in _plain_bfs's order, as its set is.
        yield set(map(nodes.__getitem__, members[lo:hi]))


@served(docs=_DOCS, rules=("bridge_k", "sees_changes", "component_rows"), data_rules=("keys",), answers=(ValueError,))
def k_edge_components(G, k):
    if k < 1:
        raise ValueError("k cannot be less than 1")
    if G.directed:
        return first_step(nx.strongly_connected_components, G, watch(G),
                          lambda: _parts(G, "strongly_connected", sets=True))
    if k == 1:
        return _component_sets(nx.connected_components, G, watch(G), weak=False)
    return first_step(nx.k_edge_components, G, watch(G), lambda: _bridge_sets(G), k=k)
