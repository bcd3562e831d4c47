"""Breadth-first and depth-first traversals.

NetworkX's traversal generators, descendants and ancestors, and
node_connected_component. Each keeps NetworkX's shape: generators stay lazy
(an error NetworkX raises on first iteration is raised there), sets are
built by inserting the same objects in the same order (so they iterate in the
same order), and the objects handed out are NetworkX's: the source as given,
then the neighbour keys of G._adj (the ``keys`` rule refuses graphs where
those are not the node objects).
"""

import math
import warnings
from collections import defaultdict

import networkx as nx

from .checks import check_data, graph_for, release_warning
from .graph import no_gc_pauses, record, refuse


def _limit(depth_limit, n):
    """An integer L with ``d < depth_limit`` equal to ``d < L`` for every depth d >= 0."""
    if depth_limit is None:
        return n
    if isinstance(depth_limit, float):
        if math.isnan(depth_limit):
            return 0
        depth_limit = n + 1 if depth_limit > n else math.ceil(depth_limit)
    return max(min(int(depth_limit), n + 1), 0)


def _objects(fg, source, s):
    """Position -> the object NetworkX hands out: the source as given, else the node."""
    nodes = fg.nodes
    if nodes[s] is source:
        return nodes.__getitem__
    return lambda v: source if v == s else nodes[v]


def _missing(fg, node):
    """NetworkX's error for a node its neighbour iteration does not know."""
    kind = "digraph" if fg.directed else "graph"
    return nx.NetworkXError(f"The node {node} is not in the {kind}.")


def _raising(exc):
    """A generator that raises `exc` when first iterated, as NetworkX's generators do."""
    raise exc
    yield  # pragma: no cover - makes this a generator


def _unknown(fg, source):
    """The error NetworkX meets for a source G lacks (None when G has it)."""
    try:
        hash(source)
    except TypeError as exc:  # NetworkX's seen set or G[source] fails the same way
        return exc
    return None if source in fg else _missing(fg, source)


def _graph_and_source(name, a, source, reverse=False):
    """The converted graph, checked, and the source's position or NetworkX's error for it.

    Everything that can refuse runs here, at call time, so that NetworkX can
    still fall back; NetworkX's own error for a source G lacks is returned
    for the caller to raise where NetworkX raises it (at the call, or on
    first iteration of a generator).
    """
    fg = graph_for(name, a)
    check_data(name, fg, a)
    if (error := _unknown(fg, source)) is not None:
        return fg, None, error
    if reverse and fg.directed:
        fg.load_exact_pred()
    return fg, fg.index[source], None


# ---------------------------------------------------------------------------
# Breadth-first


def _bfs_pairs(fg, source, s, reverse, depth_limit):
    """NetworkX's generic_bfs_edges pairs from `source`, as objects."""
    parents, children = fg.core.bfs_edges(s, _limit(depth_limit, len(fg)), reverse and fg.directed)
    obj = _objects(fg, source, s)
    return list(map(obj, parents)), list(map(obj, children))


def _bfs_edge_pairs(name, a, source, reverse, depth_limit, flip=False):
    fg, s, error = _graph_and_source(name, a, source, reverse)
    if error is not None:
        return _raising(error)
    with no_gc_pauses():
        pairs = fg.core.bfs_edges(s, _limit(depth_limit, len(fg)), reverse and fg.directed,
                                  nodes=fg.node_tuple, root=source, flip=flip)
    record("ran", name)
    return iter(pairs)


def bfs_edges(G, source, reverse=False, depth_limit=None, sort_neighbors=None):
    """Edges of a breadth-first search, as NetworkX yields them."""
    return _bfs_edge_pairs("bfs_edges", locals().copy(), source, reverse, depth_limit)


def generic_bfs_edges(G, source, neighbors=None, depth_limit=None):
    """generic_bfs_edges with the default neighbours."""
    return _bfs_edge_pairs("generic_bfs_edges", locals().copy(), source, False, depth_limit)


def bfs_predecessors(G, source, depth_limit=None, sort_neighbors=None):
    pairs = _bfs_edge_pairs("bfs_predecessors", locals().copy(), source, False, depth_limit, flip=True)
    if (deprecated := release_warning("bfs_predecessors")) is None:
        return pairs
    return _warning_first(deprecated, pairs)


def _warning_first(deprecated, items):
    """`items`, announcing the release's deprecation on first iteration as NetworkX does."""
    message, category = deprecated
    warnings.warn(message, category=category, stacklevel=2)
    yield from items


def bfs_successors(G, source, depth_limit=None, sort_neighbors=None):
    name = "bfs_successors"
    fg, s, error = _graph_and_source(name, locals().copy(), source)
    if error is not None:
        return _raising(error)
    parents, children = _bfs_pairs(fg, source, s, False, depth_limit)
    record("ran", name)
    groups = []
    parent = source
    group = []
    for p, c in zip(parents, children):
        if p == parent:
            group.append(c)
            continue
        groups.append((parent, group))
        group = [c]
        parent = p
    groups.append((parent, group))
    return iter(groups)


def bfs_tree(G, source, reverse=False, depth_limit=None, sort_neighbors=None):
    """The breadth-first tree as a new DiGraph, built as NetworkX builds it."""
    name = "bfs_tree"
    fg, s, error = _graph_and_source(name, locals().copy(), source, reverse)
    T = nx.DiGraph()
    T.add_node(source)
    if error is not None:
        raise error
    with no_gc_pauses():
        T.add_edges_from(zip(*_bfs_pairs(fg, source, s, reverse, depth_limit)))
    record("ran", name)
    return T


def bfs_layers(G, sources):
    """Breadth-first layers from one source (several sources are NetworkX's)."""
    name = "bfs_layers"
    a = locals().copy()
    fg = graph_for(name, a)
    if sources not in fg:
        refuse(name, "several sources are left to NetworkX")
    check_data(name, fg, a)
    s = fg.index[sources]
    order, levels = fg.core.bfs_lengths(s, math.inf)
    obj = _objects(fg, sources, s)
    layers = []
    start = 0
    for i in range(1, len(order) + 1):
        if i == len(order) or levels[i] != levels[start]:
            layers.append(list(map(obj, order[start:i])))
            start = i
    record("ran", name)
    return iter(layers)


def descendants_at_distance(G, source, distance):
    name = "descendants_at_distance"
    a = locals().copy()
    fg = graph_for(name, a)
    if source not in fg:
        raise nx.NetworkXError(f"The node {source} is not in the graph.")
    # NetworkX compares each layer's index with `distance`.
    if isinstance(distance, float):
        d = int(distance) if distance.is_integer() else -1
    else:
        d = int(distance)
    if not 0 <= d < len(fg):
        record("ran", name)
        return set()
    check_data(name, fg, a)
    s = fg.index[source]
    order, levels = fg.core.bfs_lengths(s, float(d))
    obj = _objects(fg, source, s)
    record("ran", name)
    return {obj(v) for v, level in zip(order, levels) if level == d}


def _reached(name, a, source, reverse=False):
    fg, s, error = _graph_and_source(name, a, source, reverse)
    if error is not None:
        raise error
    children = _bfs_pairs(fg, source, s, reverse, None)[1]
    record("ran", name)
    return children


def descendants(G, source):
    return set(_reached("descendants", locals().copy(), source))


def ancestors(G, source):
    # NetworkX follows G._pred in its own order: the set's iteration order
    # depends on the order its members are inserted.
    return set(_reached("ancestors", locals().copy(), source, reverse=True))


def node_connected_component(G, n):
    name = "node_connected_component"
    a = locals().copy()
    seen = {n}
    fg = graph_for(name, a)
    if n not in fg:
        fg.source._adj[n]  # NetworkX's walk meets G._adj[n] first: its error, a view's own included
        raise KeyError(n)
    seen.update(_reached(name, a, n))
    return seen


# ---------------------------------------------------------------------------
# Depth-first


def _dfs(name, a, source, depth_limit):
    """dfs_forward as positions (markers included) with the position -> object map.

    Returns the graph and either that triple or NetworkX's error for a
    source G lacks.
    """
    fg = graph_for(name, a)
    check_data(name, fg, a)
    if source is None:
        starts, obj = None, fg.nodes.__getitem__
    else:
        if (error := _unknown(fg, source)) is not None:
            return fg, error
        s = fg.index[source]
        starts, obj = [s], _objects(fg, source, s)
    parents, children = fg.core.dfs_forward(starts, _limit(depth_limit, len(fg)))
    record("ran", name)
    return fg, (parents, children, obj)


def _forward(parents, children, obj):
    """dfs_edges pairs as objects: the forward pairs without the start markers."""
    with no_gc_pauses():
        return [(obj(p), obj(c)) for p, c in zip(parents, children) if p != c]


def dfs_edges(G, source=None, depth_limit=None, *, sort_neighbors=None):
    fg, found = _dfs("dfs_edges", locals().copy(), source, depth_limit)
    return _raising(found) if isinstance(found, Exception) else iter(_forward(*found))


def dfs_tree(G, source=None, depth_limit=None, *, sort_neighbors=None):
    fg, found = _dfs("dfs_tree", locals().copy(), source, depth_limit)
    T = nx.DiGraph()
    if source is None:
        T.add_nodes_from(fg.nodes)
    else:
        T.add_node(source)
    if isinstance(found, Exception):
        raise found
    with no_gc_pauses():
        T.add_edges_from(_forward(*found))
    return T


def dfs_predecessors(G, source=None, depth_limit=None, *, sort_neighbors=None):
    fg, found = _dfs("dfs_predecessors", locals().copy(), source, depth_limit)
    if isinstance(found, Exception):
        raise found
    return {t: s for s, t in _forward(*found)}


def dfs_successors(G, source=None, depth_limit=None, *, sort_neighbors=None):
    fg, found = _dfs("dfs_successors", locals().copy(), source, depth_limit)
    if isinstance(found, Exception):
        raise found
    d = defaultdict(list)
    for s, t in _forward(*found):
        d[s].append(t)
    return dict(d)


def dfs_preorder_nodes(G, source=None, depth_limit=None, *, sort_neighbors=None):
    fg, found = _dfs("dfs_preorder_nodes", locals().copy(), source, depth_limit)
    if isinstance(found, TypeError):
        return _raising(found)
    if isinstance(found, Exception):
        # NetworkX yields the source, then fails to list its neighbours.
        return _yield_then_raise(source, found)
    parents, children, obj = found
    return iter(list(map(obj, children)))


def _yield_then_raise(value, exc):
    yield value
    raise exc


def dfs_postorder_nodes(G, source=None, depth_limit=None, *, sort_neighbors=None):
    name = "dfs_postorder_nodes"
    fg, found = _dfs(name, locals().copy(), source, depth_limit)
    if isinstance(found, Exception):
        return _raising(found)
    parents, children, obj = found
    # A node finishes when the search leaves it: replay the stack of the
    # forward edges. Nodes found at the depth limit were never entered, so
    # NetworkX never reports them finished.
    limit = _limit(depth_limit, len(fg))
    depth = {}
    stack = []
    order = []
    for p, c in zip(parents, children):
        if p == c:
            order.extend(reversed(stack))
            stack = [c]
            depth[c] = 1
            continue
        while stack[-1] != p:
            order.append(stack.pop())
        if depth[p] < limit:
            depth[c] = depth[p] + 1
            stack.append(c)
    order.extend(reversed(stack))
    return iter(list(map(obj, order)))
