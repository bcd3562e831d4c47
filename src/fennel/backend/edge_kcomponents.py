"""k-edge-connected components (NetworkX's connectivity.edge_kcomponents).

k_edge_components answers from components for k = 1 (connected components,
strongly connected ones in a directed graph) and from bridges for k = 2 in
an undirected graph, as NetworkX does: the same generators, the component
sets filled in NetworkX's insertion order. For larger k NetworkX builds its
auxiliary graph from minimum cuts (EdgeComponentAuxGraph.construct): here the
cuts are the flow room's preflow-push run in C++ on the same capacitated copy
of G, their sides made by minimum_cut's own insertions, and the recursion's
set operations and picks are NetworkX's own, made here on the same objects.
"""

import sys

import networkx as nx
from networkx.algorithms.connectivity.edge_kcomponents import EdgeComponentAuxGraph

from .components import _component_sets, _parts
from .serve import EXACT, served
from .checks import ARGUMENT_RULES, argument_rule
from .flow import capacities, cut
from .graph import FennelGraph
from .shared import first_step, watch

_DOCS = (
    "k = 1: connected (strongly connected) components; k = 2 in an undirected graph: the bridges in C++ "
    "removed from NetworkX's G.copy() rows and its breadth-first components searched there; each "
    "component a set filled in NetworkX's insertion order; larger k: NetworkX's auxiliary graph built from "
    "preflow-push minimum cuts in C++, its recursion's set operations NetworkX's own. " + EXACT
)

# NetworkX builds the auxiliary graph by recursion, a frame per level, and
# each level's minimum cut runs a few dozen frames deeper: recursions within
# this many levels of the interpreter's limit are left to NetworkX, whose
# RecursionError (or answer) decides there.
_FRAMES_SPARED = 200


@argument_rule("bridge_k")
def _bridge_k(a):
    try:
        a["k"] < 1
    except TypeError:
        return "k must compare with ints"
    return None


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
    if G.directed and k == 1:
        return first_step(nx.strongly_connected_components, G, watch(G),
                          lambda: _parts(G, "strongly_connected", sets=True))
    if k == 1:
        return _component_sets(nx.connected_components, G, watch(G), weak=False)
    if k == 2 and not G.directed:
        return first_step(nx.k_edge_components, G, watch(G), lambda: _bridge_sets(G), k=k)
    aux = _auxiliary(G)
    if aux is None:
        return nx.utils.backends._registered_algorithms["k_edge_components"].orig_func(G.source, k)
    return aux.k_edge_components(k)


def _auxiliary(G):
    """EdgeComponentAuxGraph.construct(G) with its minimum cuts run in C++, or None where it is left to
    NetworkX (a recursion too deep, a copy fennel cannot convert)."""
    source_graph = G.source
    H = source_graph.__class__()
    H.add_nodes_from(source_graph.nodes())
    H.add_edges_from(source_graph.edges(), capacity=1)
    A = nx.Graph()
    if H.number_of_nodes() > 0:
        try:
            fH = FennelGraph(H)
        except NotImplementedError:
            return None
        if isinstance(capacities(fH, "capacity"), str):
            return None
        directed = H.is_directed()
        max_depth = sys.getrecursionlimit() - _FRAMES_SPARED
        # _recursive_build's calls in their order: (source, avail, depth).
        calls = [(next(iter(H.nodes())), set(H.nodes()), 1)]
        while calls:
            source, avail, depth = calls.pop()
            if {source} == avail:
                continue
            if depth > max_depth:
                return None
            sink = next(iter(avail - {source}))
            value, (S, T) = cut(fH, source, sink, "capacity", None, {})
            if directed:
                value_, (T_, S_) = cut(fH, sink, source, "capacity", None, {})
                if value_ < value:
                    value, S, T = value_, S_, T_
            A.add_edge(source, sink, weight=value)
            calls.append((sink, avail.intersection(T), depth + 1))
            calls.append((source, avail.intersection(S), depth + 1))
    aux = EdgeComponentAuxGraph()
    aux.A = A
    aux.H = H
    return aux
