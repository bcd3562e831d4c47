"""Bridges and chains (NetworkX's bridges and chains modules): chain_decomposition,
bridges, has_bridges, local_bridges.

The core builds NetworkX's depth-first cycle forest and its chains; a bridge
is an edge on no chain. NetworkX lists bridges from a graph's edges: G's own
(nx.Graph(G) for a multigraph lists its edges in G's order too), or, given a
root, those of a copy of the subgraph of root's component, whose nodes come
in G's order, or, when the component holds less than half the graph, in the
order of the set the subgraph keeps of them. That set is rebuilt here as
NetworkX builds it, from the component set node_connected_component builds
(for a multigraph, over the rows of nx.Graph(G), which list each node's
earlier neighbours first).
Local bridges' spans are the hop counts NetworkX's Dijkstra finds over unit
weights (ints); spans over a weight attribute are left to NetworkX.
Generators compute on their first step (NetworkX reads the whole graph
then), or leave a graph changed before that step to NetworkX.
"""

import networkx as nx

from .checks import argument_rule, data_rule, none_key
from .serve import EXACT, served
from .shared import first_step, no_gc_pauses, reached, watch

# NetworkX builds a DiGraph of its search forest, and runs a Dijkstra search
# per local bridge for spans: bench/thresholds.py found fennel faster from
# the smallest graph it measures (4 nodes: work 12) for bridges, and from
# work 12 converted, 32 to convert, for local_bridges.
WORK_BRIDGES = (12, 12)
WORK_LOCAL_BRIDGES = (12, 32)

_DOCS = "NetworkX's depth-first cycle forest and chains in C++, in NetworkX's order. " + EXACT


@argument_rule("root_in_subgraph_view")
def _root_in_subgraph_view(a):
    """A subgraph of a subgraph view filters the view's underlying graph, in that graph's order."""
    if a["root"] is not None and hasattr(a["G"], "_NODE_OK"):
        return "a root in a subgraph view is left to NetworkX"
    return None


argument_rule("weighted_span", lambda a: "spans over weights are left to NetworkX"
              if a["with_span"] is True and a["weight"] is not None else None)
# Spans over weight=None read data.get(None, 1).
data_rule("span_reads_none", lambda fg, a: none_key(fg, None) if a["with_span"] is True else None)


def _root_position(fg, root):
    """root's position, or NetworkX's error for a root G lacks."""
    if root not in fg:
        raise nx.NodeNotFound(f"Root node {root} is not in graph")
    return fg.index[root]


def _with_root(fg, root, s):
    """The node objects, root's own as given (NetworkX's search starts from it)."""
    nodes = fg.node_tuple
    return nodes if nodes[s] is root else nodes[:s] + (root,) + nodes[s + 1:]


def _chains(fg, root):
    s = None if root is None else _root_position(fg, root)
    nodes = fg.node_tuple if s is None else _with_root(fg, root, s)
    with no_gc_pauses():
        return fg.core.chain_lists(nodes, root=s)


def _simple_rows(fg, members):
    """Rows of nx.Graph(G) for the multigraph G's nodes in ``members``: NetworkX
    copies each edge from the row of its end that comes first in G, so a row
    lists its earlier neighbours in G's order, then the rest in its own order."""
    G, index = fg.source, fg.index
    rows = {}
    for x in members:
        p = index[x]
        row = list(G._adj[x])
        rows[x] = sorted((y for y in row if index[y] < p), key=index.__getitem__) + [
            y for y in row if index[y] >= p]
    return rows


def _multigraph_component_bridges(fg, root, s, component):
    """Bridges of a multigraph's small component, listed as NetworkX lists them
    from the copy of root's component in nx.Graph(G): that subgraph iterates
    the set it keeps of the component set NetworkX's search over nx.Graph(G)'s
    rows builds."""
    rows = _simple_rows(fg, component)
    seen, level = {root}, [root]
    while level:
        following = []
        for v in level:
            for w in rows[v]:
                if w not in seen:
                    seen.add(w)
                    following.append(w)
        level = following
    kept = list(set(iter(seen)))
    rank = {v: i for i, v in enumerate(kept)}
    index = fg.index
    first, second = fg.core.bridge_edges(root=s)
    found = set(zip(first, second))
    found.update(zip(second, first))
    return [(u, v) for u in kept for v in rows[u]
            if rank[v] >= rank[u] and (index[u], index[v]) in found]


def _bridges(fg, root):
    """The bridges as NetworkX's bridges yields them, in a list."""
    if root is None:
        first, second = fg.core.bridge_edges()
        firsts = seconds = fg.node_tuple
    else:
        s = _root_position(fg, root)
        component = {root}
        component.update(reached(fg, root))
        firsts = seconds = fg.node_tuple
        order = None
        small = 2 * len(component) < len(fg)
        if small and fg.multigraph:
            edges = _multigraph_component_bridges(fg, root, s, component)
            return _single_edges(fg, edges)
        if small:
            # The subgraph iterates its own set of the component's nodes.
            kept = set(iter(component))
            index = fg.index
            order = [index[v] for v in kept]
            firsts = _with_root(fg, root, s)
        first, second = fg.core.bridge_edges(root=s, order=order)
    return _single_edges(fg, list(zip(map(firsts.__getitem__, first), map(seconds.__getitem__, second))))


def _single_edges(fg, edges):
    """The edges NetworkX keeps as bridges: in a multigraph, those without parallel edges."""
    if fg.multigraph:
        G = fg.source
        edges = [(u, v) for u, v in edges if len(G[u][v]) == 1]
    return edges


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BRIDGES)
def chain_decomposition(G, root=None):
    return first_step(nx.chain_decomposition, G, watch(G), lambda: _chains(G, root), root=root)


@served(docs=_DOCS, rules=("root_in_subgraph_view",), data_rules=("keys",), min_work=WORK_BRIDGES)
def bridges(G, root=None):
    return first_step(nx.bridges, G, watch(G), lambda: _bridges(G, root), root=root)


@served(docs=_DOCS, rules=("root_in_subgraph_view",), data_rules=("keys",), min_work=WORK_BRIDGES)
def has_bridges(G, root=None):
    return bool(_bridges(G, root))


@served(docs=_DOCS + " Spans over a weight attribute are left to NetworkX.", rules=("weighted_span",),
        data_rules=("keys", "span_reads_none"), min_work=WORK_LOCAL_BRIDGES)
def local_bridges(G, with_span=True, weight=None):
    def compute():
        with no_gc_pauses():
            return G.core.local_bridge_edges(G.node_tuple, span=with_span is True)

    return first_step(nx.local_bridges, G, watch(G), compute, with_span=with_span, weight=weight)
