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
Generators compute on their first step, or leave a graph changed before
that step to NetworkX. chain_decomposition then reads only its own forest;
bridges (without a root) and local_bridges go on reading G.edges, and a
multigraph's bridges G's parallel edges, while they yield: a G changed
between two items is read on from there as NetworkX's loop reads it.
"""

import networkx as nx

from .. import _core

from .checks import argument_rule, data_rule, none_key
from .serve import EXACT, served
from .shared import RowIterator, changed, first_step, no_gc_pauses, reached, watch

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


def _edges_after(fg, u, v, row):
    """NetworkX's loop over an undirected G.edges, which yielded (u, v) before G
    changed, read on from there: the list it took of u's row (``row``, as it
    was then) after v, the iterator it holds over G._adj at its place (see
    RowIterator), and its seen dict."""
    G, nodes = fg.source, fg.node_tuple
    i = fg.index[u]
    seen = dict.fromkeys(nodes[:i], 1)
    for nbr in row[row.index(v) + 1:]:
        if nbr not in seen:
            yield u, nbr
    seen[u] = 1
    adj = G._adj
    for n in RowIterator(adj, len(nodes), i + 1):
        for nbr in list(adj[n]):
            if nbr not in seen:
                yield n, nbr
        seen[n] = 1


def _following(fg, watched, found, rest):
    """Yields ``found``, the items NetworkX's loop over G.edges yields, until G
    changes between two of them; then ``rest`` makes NetworkX's items from the
    edges its loop would read after the last item yielded. (The rows' keys are
    the nodes, or indistinguishable from them: the "keys" rule.)"""
    items = _core._while_unchanged(found, watched)  # G checked before each item, in C
    yield from items
    handed = items.position()
    if handed == 0 or (handed == len(found) and not changed(watched)):
        return
    u, v = found[handed - 1][:2]
    nodes = fg.node_tuple
    yield from rest(_edges_after(fg, u, v, [nodes[p] for p in fg.core.neighbors(fg.index[u])]))


def _bridges_following(fg, watched, root):
    """bridges' items as its generator yields them while G may change."""
    if fg.multigraph:
        # NetworkX's loop reads the copy nx.Graph(G), then G's parallel edges of each candidate.
        yield from _single_edges(fg, _bridges(fg, root))
        return
    found = _bridges(fg, root)
    if root is not None:  # NetworkX's loop reads a copy of root's component
        yield from found
        return
    not_bridges = None

    def rest(edges):
        nonlocal not_bridges
        if not_bridges is None:
            found_set = set(found)
            nodes = fg.node_tuple
            us, vs, _ = fg.core.edges_in_order()
            edges_before = list(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)))
            not_bridges = {e for e in edges_before if e not in found_set}
        for u, v in edges:
            if (u, v) not in not_bridges and (v, u) not in not_bridges:
                yield u, v

    yield from _following(fg, watched, found, rest)


def _local_bridges_following(fg, watched, found, with_span):
    """local_bridges' items as its generator yields them while G may change:
    NetworkX's loop body over the edges it would read after the last item."""
    G = fg.source

    def rest(edges):
        if with_span is not True:
            for u, v in edges:
                if not (set(G[u]) & set(G[v])):
                    yield u, v
            return
        wt = nx.weighted._weight_function(G, None)
        for u, v in edges:
            if not (set(G[u]) & set(G[v])):
                enodes = {u, v}

                def hide_edge(n, nbr, d, enodes=enodes):
                    if n not in enodes or nbr not in enodes:
                        return wt(n, nbr, d)
                    return None

                try:
                    span = nx.shortest_path_length(G, u, v, weight=hide_edge)
                    yield u, v, span
                except nx.NetworkXNoPath:
                    yield u, v, float("inf")

    yield from _following(fg, watched, found, rest)


def _bridges(fg, root):
    """The bridges of nx.Graph(G) as NetworkX's bridges lists them, in a list
    (a multigraph's with parallel edges: see _single_edges)."""
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
            return edges
        if small:
            # The subgraph iterates its own set of the component's nodes.
            kept = set(iter(component))
            index = fg.index
            order = [index[v] for v in kept]
            firsts = _with_root(fg, root, s)
        first, second = fg.core.bridge_edges(root=s, order=order)
    return list(zip(map(firsts.__getitem__, first), map(seconds.__getitem__, second)))


def _single_edges(fg, edges):
    """The edges NetworkX keeps as bridges, lazily: in a multigraph, those
    without parallel edges in G as it is when each is reached."""
    if not fg.multigraph:
        yield from edges
        return
    G = fg.source
    for u, v in edges:
        if len(G[u][v]) == 1:
            yield u, v


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BRIDGES)
def chain_decomposition(G, root=None):
    return first_step(nx.chain_decomposition, G, watch(G), lambda: _chains(G, root), root=root)


@served(docs=_DOCS, rules=("root_in_subgraph_view",), data_rules=("keys",), min_work=WORK_BRIDGES)
def bridges(G, root=None):
    watched = watch(G)
    return first_step(nx.bridges, G, watched, lambda: _bridges_following(G, watched, root), root=root)


@served(docs=_DOCS, rules=("root_in_subgraph_view",), data_rules=("keys",), min_work=WORK_BRIDGES)
def has_bridges(G, root=None):
    return any(True for _ in _single_edges(G, _bridges(G, root)))


@served(docs=_DOCS + " Spans over a weight attribute are left to NetworkX.", rules=("weighted_span",),
        data_rules=("keys", "span_reads_none"), min_work=WORK_LOCAL_BRIDGES)
def local_bridges(G, with_span=True, weight=None):
    watched = watch(G)

    def compute():
        with no_gc_pauses():
            found = G.core.local_bridge_edges(G.node_tuple, span=with_span is True)
        return _local_bridges_following(G, watched, found, with_span)

    return first_step(nx.local_bridges, G, watched, compute, with_span=with_span, weight=weight)
