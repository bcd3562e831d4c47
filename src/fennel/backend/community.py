"""Communities (NetworkX's community package): label propagation, Girvan–Newman and edge betweenness partitions."""

from collections import defaultdict

import networkx as nx

from .centrality import edge_betweenness_centrality
from .checks import absent, argument_rule, data_rule
from .components import connected_components
from .graph import FennelGraph
from .serve import EXACT, WORK_BETWEENNESS, WORK_COLOURING, served


@served(docs="Semi-synchronous label propagation in C++, visiting the nodes in NetworkX's colour order. " + EXACT
        + " Multigraphs are left to NetworkX.", rules=("no_multigraph",), min_work=WORK_COLOURING)
def label_propagation_communities(G):
    nodes = G.nodes
    order, colours = G.core.greedy_color()
    # NetworkX visits the nodes colour by colour, each colour's nodes as its set iterates.
    coloring = {}
    for u in order:
        if colours[u] in coloring:
            coloring[colours[u]].add(nodes[u])
        else:
            coloring[colours[u]] = {nodes[u]}
    index = G.index
    labels = G.core.label_propagation([index[v] for members in coloring.values() for v in members])
    clusters = defaultdict(set)
    for node, label in zip(nodes, labels):
        clusters[label].add(node)
    return clusters.values()


# Divisive methods: NetworkX removes the edge of highest edge betweenness
# (the first such edge in its dict's order) one at a time, recomputing the
# betweenness and the components after each removal. The graph it cuts is
# its own copy, built by the same calls here, so rows, edge keys and
# component sets follow the same orders; each step converts that copy and
# runs fennel's edge betweenness and components on it.
argument_rule("most_valuable_edge", absent("most_valuable_edge", "callers' own most_valuable_edge functions"))


@data_rule("clashes_once_undirected")
def _clashes_once_undirected(fg, a):
    """edge_key_clash on the undirected copy the divisive methods cut."""
    index, core = fg.index, fg.core
    for v in fg.nodes:
        if isinstance(v, tuple) and len(v) == 2:
            x, y = v
            try:
                if x in index and y in index and (core.has_edge(index[x], index[y])
                                                  or core.has_edge(index[y], index[x])):
                    return "a node equals an edge tuple"
            except TypeError:
                continue
    return None


def _components(H, weight):
    """H in fennel's form (``weight`` converted) and NetworkX's list of H's connected components."""
    fg = FennelGraph(H, [] if weight is None else [(weight, 1)])
    return fg, list(connected_components.__wrapped__(fg))


def _remove_most_central_edge(fg, weight):
    ranking = edge_betweenness_centrality.__wrapped__(fg, weight=weight)
    fg.source.remove_edge(*max(ranking, key=ranking.get))


_DIVISIVE = ("Edge betweenness in parallel in C++ after each removal, on a copy of the graph built as NetworkX "
             "builds it. " + EXACT)
_BETWEENNESS = edge_betweenness_centrality.served


@served(docs=_DIVISIVE + " Callers' own most_valuable_edge functions are left to NetworkX.",
        rules=("most_valuable_edge",), data_rules=("keys", "clashes_once_undirected"),
        per_source=True, min_work=WORK_BETWEENNESS, release=_BETWEENNESS.release)
def girvan_newman(G, most_valuable_edge=None):
    if G.number_of_edges() == 0:
        yield tuple(nx.connected_components(G.source))
        return
    g = G.networkx_copy().to_undirected()
    g.remove_edges_from(nx.selfloop_edges(g))
    fg, components = _components(g, None)
    while g.number_of_edges() > 0:
        # NetworkX's _without_most_central_edges.
        original = len(components)
        while len(components) <= original:
            _remove_most_central_edge(fg, None)
            fg, components = _components(g, None)
        yield tuple(components)


@served(docs=_DIVISIVE, weight="weight", rules=("weight_name",),
        data_rules=("betweenness_weights", "keys", "clashes_once_undirected"), per_source=True,
        min_work=WORK_BETWEENNESS, release=_BETWEENNESS.release)
def edge_betweenness_partition(G, number_of_sets, *, weight=None):
    if number_of_sets <= 0:
        raise nx.NetworkXError("number_of_sets must be >0")
    if number_of_sets == 1:
        return [set(G.nodes)]
    if number_of_sets == len(G.nodes):
        return [{n} for n in G.nodes]
    if number_of_sets > len(G.nodes):
        raise nx.NetworkXError("number_of_sets must be <= len(G)")
    if G.directed:
        raise nx.NetworkXNotImplemented("not implemented for directed type")
    fg, partition = _components(G.networkx_copy(), weight)
    while len(partition) < number_of_sets:
        _remove_most_central_edge(fg, weight)
        fg, partition = _components(fg.source, weight)
    return partition
