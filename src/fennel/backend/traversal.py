"""Breadth-first and depth-first traversals (NetworkX's traversal).

Each keeps NetworkX's shape: generators stay lazy (a resumable search in C++
hands out items as they are asked for, an error comes at the step where
NetworkX raises it, and a graph changed meanwhile is followed by NetworkX's
own loop from the same state), sets are built by inserting the same objects
in the same order (so they iterate in the same order), and the objects
handed out are NetworkX's: the source as given, then the neighbour keys of
G._adj (the ``keys`` rule refuses graphs where those are not the node
objects).
"""

import functools
import inspect
import math
import operator
import warnings
from collections import defaultdict

import networkx as nx

from .checks import argument_rule
from .native import compact_form
from .serve import BFS_DOCS, EXACT, WORK_BFS, WORK_DFS, always, served, with_depth_limit
from .shared import RowIterator, changed, no_gc_pauses, objects, unknown_source, watch

_DFS = "Depth-first search in C++, in NetworkX's order. " + EXACT
_BFS_RULES = ("depth_limit", "sort_neighbors")
_DFS_RULES = ("depth_limit", "sort_neighbors")
# Generators that follow a graph changed while they run.
_FOLLOWS = ("sees_changes", "dict_rows")


@functools.cache
def _release_warning(function):
    """The warning NetworkX's generator ``function`` gives when first iterated, or None.

    Asked on first use, not at import: NetworkX's implementation may call
    back into the dispatcher, which may be loading this very backend. The
    warning is turned into an error to stop the generator right there.
    """
    G = nx.Graph()
    G.add_node(0)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        try:
            next(iter(function.orig_func(G, 0)), None)
        except Warning as caught:
            return str(caught), type(caught)
    return None


@argument_rule("distance_value")
def _distance_value(a):
    d = a["distance"]
    return None if isinstance(d, int | float) else "distance must be an int or a float"


def _limit(depth_limit, n):
    """An integer L with ``d < depth_limit`` equal to ``d < L`` for every depth d >= 0."""
    if depth_limit is None:
        return n
    if isinstance(depth_limit, float):
        if math.isnan(depth_limit):
            return 0
        depth_limit = n + 1 if depth_limit > n else math.ceil(depth_limit)
    return max(min(int(depth_limit), n + 1), 0)


def _bfs_pairs(fg, source, s, reverse, depth_limit):
    """NetworkX's generic_bfs_edges pairs from ``source``, as objects."""
    parents, children = fg.core.bfs(s, _limit(depth_limit, len(fg)), reverse=reverse and fg.directed).edges()
    obj = objects(fg, source, s)
    return list(map(obj, parents)), list(map(obj, children))


def _source(fg, source, reverse=False):
    """The source's position, or NetworkX's error for a source G lacks (to be raised
    where NetworkX raises it: at the call, or on first iteration of a generator)."""
    if (error := unknown_source(fg, source)) is not None:
        return None, error
    if reverse and fg.directed:
        fg.load_exact_pred()
    return fg.index[source], None


def _row_dicts(fg, reverse=False):
    """The row dicts of G._adj (G._pred if ``reverse``) by position, with their sizes.

    Taken while the graph is unchanged (when a generator is made) and kept
    with the converted graph, which lives only as long as the graph does not
    change: NetworkX's iterators over the rows of nodes removed later still
    read these dicts.
    """
    key = "_pred_rows" if reverse else "_succ_rows"
    found = fg.__dict__.get(key)
    if found is None:
        G = fg.source
        if compact_form(G) is fg:
            # A native graph has no dicts to take until one is read; its
            # rows are found in the dicts built then (a node removed after
            # that reads as an empty row).
            return _LateRows(fg, reverse)
        rows = list((G._pred if reverse else G._adj).values())
        found = fg.__dict__[key] = (rows, list(map(len, rows)))
    return found


class _LateRows:
    """A native graph's row dicts, read when a generator hands over."""

    def __init__(self, fg, reverse):
        self.fg, self.reverse = fg, reverse

    def __iter__(self):
        fg = self.fg
        G = fg.source
        rows = G._pred if self.reverse and fg.directed else G._adj
        dicts = [rows.get(v) for v in fg.nodes]
        core = fg.core
        lengths = core.predecessors if self.reverse and fg.directed else core.neighbors
        return iter((dicts, [len(lengths(u)) for u in range(len(fg.nodes))]))


def _bfs_edge_items(fg, watched, source, s, error, reverse, depth_limit, flip):
    """generic_bfs_edges' pairs from a cursor, NetworkX's loop once the graph changed.

    A graph changed before the first item is NetworkX's from the start.
    """
    if changed(watched):
        pairs = nx.bfs_edges.orig_func(fg.source, source, reverse, depth_limit)
        yield from (((c, p) for p, c in pairs) if flip else pairs)
        return
    if error is not None:
        raise error
    reverse = reverse and fg.directed
    rows = _row_dicts(fg, reverse) if watched is not None else None
    cursor = fg.core.bfs_cursor([s], _limit(depth_limit, len(fg)), reverse, nodes=fg.node_tuple, root=source,
                                items="flipped" if flip else "edges", watch=watched)
    yield from cursor
    if not cursor.changed():
        return
    items = _bfs_resume(fg, cursor.state(), rows, source, s, reverse, depth_limit)
    yield from (((c, p) for p, c in items) if flip else items)


def _bfs_resume(fg, state, rows, source, s, reverse, depth_limit):
    """NetworkX's generic_bfs_edges continued after the cursor's last edge."""
    order, head, position, level_end, depth = state
    G = fg.source
    neighbors = G.predecessors if reverse else G.neighbors
    obj = objects(fg, source, s)
    dicts, sizes = rows

    def entry(v, at=0):
        return obj(v), RowIterator(dicts[v], sizes[v], at)

    this_level = [entry(order[head], position)] + [entry(v) for v in order[head + 1 : level_end]]
    next_level = [entry(v) for v in order[level_end:]]
    seen = set(map(obj, order))
    n = len(fg)
    if depth_limit is None:
        depth_limit = n
    while True:
        for parent, children in this_level:
            for child in children:
                if child not in seen:
                    seen.add(child)
                    next_level.append((child, neighbors(child)))
                    yield parent, child
            if len(seen) == n:
                return
        depth += 1
        if not (next_level and depth < depth_limit):
            return
        this_level, next_level = next_level, []


def _bfs_edge_pairs(fg, source, reverse, depth_limit, flip=False):
    s, error = _source(fg, source, reverse)
    watched = watch(fg)
    if watched is not None:
        _row_dicts(fg, reverse and fg.directed)
    return _bfs_edge_items(fg, watched, source, s, error, reverse, depth_limit, flip)


@served(docs=BFS_DOCS, rules=_BFS_RULES + _FOLLOWS, data_rules=("keys", "pred_keys"), min_work=WORK_BFS,
        bounded=with_depth_limit)
def bfs_edges(G, source, reverse=False, depth_limit=None, sort_neighbors=None):
    """Edges of a breadth-first search, as NetworkX yields them."""
    return _bfs_edge_pairs(G, source, reverse, depth_limit)


@served(docs=BFS_DOCS, rules=("neighbors", "depth_limit") + _FOLLOWS, data_rules=("keys",), min_work=WORK_BFS,
        bounded=with_depth_limit)
def generic_bfs_edges(G, source, neighbors=None, depth_limit=None):
    """generic_bfs_edges with the default neighbours."""
    return _bfs_edge_pairs(G, source, False, depth_limit)


@served(docs=BFS_DOCS, rules=_BFS_RULES + _FOLLOWS, data_rules=("keys",), min_work=WORK_BFS,
        bounded=with_depth_limit)
def bfs_predecessors(G, source, depth_limit=None, sort_neighbors=None):
    pairs = _bfs_edge_pairs(G, source, False, depth_limit, flip=True)
    return _warning_first(_release_warning(nx.bfs_predecessors), pairs)


def _warning_first(deprecated, items):
    """`items`, announcing the release's deprecation on first iteration as NetworkX does."""
    if deprecated is not None:
        message, category = deprecated
        warnings.warn(message, category=category, stacklevel=2)
    yield from items


@served(docs=BFS_DOCS, rules=_BFS_RULES + _FOLLOWS, data_rules=("keys",), min_work=WORK_BFS,
        bounded=with_depth_limit)
def bfs_successors(G, source, depth_limit=None, sort_neighbors=None):
    return _successors(source, _bfs_edge_pairs(G, source, False, depth_limit))


def _successors(source, pairs):
    """NetworkX's grouping of bfs_edges by parent (its inner generator is `pairs`)."""
    parent = source
    children = []
    for p, c in pairs:
        if p == parent:
            children.append(c)
            continue
        yield (parent, children)
        children = [c]
        parent = p
    yield (parent, children)


@served(docs=BFS_DOCS, rules=_BFS_RULES, data_rules=("keys", "pred_keys"), min_work=WORK_BFS,
        bounded=with_depth_limit)
def bfs_tree(G, source, reverse=False, depth_limit=None, sort_neighbors=None):
    """The breadth-first tree as a new DiGraph, built as NetworkX builds it."""
    s, error = _source(G, source, reverse)
    T = nx.DiGraph()
    T.add_node(source)
    if error is not None:
        raise error
    with no_gc_pauses():
        T.add_edges_from(zip(*_bfs_pairs(G, source, s, reverse, depth_limit)))
    return T


@functools.cache
def _first_layer_from_set():
    """Whether the installed bfs_layers lists its first layer from its visited set
    (newer releases) rather than from the sources as given."""
    return "list(visited)" in inspect.getsource(nx.bfs_layers.orig_func)


@served(docs=BFS_DOCS, rules=("sees_changes",), data_rules=("keys",), min_work=WORK_BFS)
def bfs_layers(G, sources):
    """Breadth-first layers from one source or several."""
    return _layers(G, watch(G), sources)


def _layers(fg, watched, sources):
    """NetworkX's bfs_layers; each later layer is searched when asked for.

    NetworkX expands the very list it yielded: a caller that changed that
    list, or the graph, gets NetworkX's loop from there.
    """
    if changed(watched):
        yield from nx.bfs_layers.orig_func(fg.source, sources)
        return
    if sources in fg:
        sources = [sources]
    if _first_layer_from_set():
        visited = set(sources)
        layer = list(visited)
    else:
        layer = list(sources)
        visited = set(sources)
    for source in layer:
        if source not in fg:
            raise nx.NetworkXError(f"The node {source} is not in the graph.")
    if not all(v in visited for v in layer):
        # Older releases list an iterator of sources before building the
        # visited set from it, which then misses them.
        if layer:
            yield layer
            yield from _layers_resume(fg.source, visited, layer)
        return
    index = fg.index
    roots = list(dict.fromkeys(index[v] for v in layer))
    if not roots:
        return
    cursor = fg.core.bfs_cursor(roots, 0, nodes=fg.node_tuple, items="layers")
    cursor.next_layer()
    while layer:
        handed = tuple(layer)
        yield layer
        if changed(watched) or len(layer) != len(handed) or any(map(operator.is_not, layer, handed)):
            nodes = fg.nodes
            visited.update(map(nodes.__getitem__, cursor.state()[len(roots):]))
            yield from _layers_resume(fg.source, visited, layer)
            return
        layer = cursor.next_layer()


def _layers_resume(G, visited, current_layer):
    """NetworkX's bfs_layers continued after it yielded `current_layer`."""
    while True:
        next_layer = []
        for node in current_layer:
            for child in G[node]:
                if child not in visited:
                    visited.add(child)
                    next_layer.append(child)
        current_layer = next_layer
        if not current_layer:
            return
        yield current_layer


@served(docs=BFS_DOCS, rules=("distance_value",), data_rules=("keys",), min_work=WORK_BFS, bounded=always)
def descendants_at_distance(G, source, distance):
    if source not in G:
        raise nx.NetworkXError(f"The node {source} is not in the graph.")
    # NetworkX compares each layer's index with ``distance``.
    if isinstance(distance, float):
        d = int(distance) if distance.is_integer() else -1
    else:
        d = int(distance)
    if not 0 <= d < len(G):
        return set()
    s = G.index[source]
    order, levels = G.core.bfs(s, d).lengths()
    obj = objects(G, source, s)
    return {obj(v) for v, level in zip(order, levels) if level == d}


def _dfs(fg, source, depth_limit):
    """dfs_forward as positions (markers included) with the position -> object map,
    or NetworkX's error for a source G lacks."""
    if source is None:
        starts, obj = None, fg.nodes.__getitem__
    else:
        if (error := unknown_source(fg, source)) is not None:
            return error
        s = fg.index[source]
        starts, obj = [s], objects(fg, source, s)
    parents, children = fg.core.dfs_forward(starts, _limit(depth_limit, len(fg)))
    return parents, children, obj


def _forward(parents, children, obj):
    """dfs_edges pairs as objects: the forward pairs without the start markers."""
    with no_gc_pauses():
        return [(obj(p), obj(c)) for p, c in zip(parents, children) if p != c]


@served(docs=_DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_edges(G, source=None, depth_limit=None, *, sort_neighbors=None):
    return _dfs_steps(G, source, depth_limit, "forward", nx.dfs_edges)


@served(docs=_DFS, rules=_DFS_RULES, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_tree(G, source=None, depth_limit=None, *, sort_neighbors=None):
    found = _dfs(G, source, depth_limit)
    T = nx.DiGraph()
    if source is None:
        T.add_nodes_from(G.nodes)
    else:
        T.add_node(source)
    if isinstance(found, Exception):
        raise found
    with no_gc_pauses():
        T.add_edges_from(_forward(*found))
    return T


@served(docs=_DFS, rules=_DFS_RULES, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_predecessors(G, source=None, depth_limit=None, *, sort_neighbors=None):
    found = _dfs(G, source, depth_limit)
    if isinstance(found, Exception):
        raise found
    return {t: s for s, t in _forward(*found)}


@served(docs=_DFS, rules=_DFS_RULES, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_successors(G, source=None, depth_limit=None, *, sort_neighbors=None):
    found = _dfs(G, source, depth_limit)
    if isinstance(found, Exception):
        raise found
    d = defaultdict(list)
    for s, t in _forward(*found):
        d[s].append(t)
    return dict(d)


@served(docs=_DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_preorder_nodes(G, source=None, depth_limit=None, *, sort_neighbors=None):
    return _dfs_steps(G, source, depth_limit, "preorder", nx.dfs_preorder_nodes)


@served(docs=_DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=("keys",), min_work=WORK_DFS, bounded=with_depth_limit)
def dfs_postorder_nodes(G, source=None, depth_limit=None, *, sort_neighbors=None):
    return _dfs_steps(G, source, depth_limit, "postorder", nx.dfs_postorder_nodes)


def _dfs_steps(fg, source, depth_limit, events, networkx):
    """A dfs generator's items (``events``), NetworkX's own (``networkx``) once the graph changed."""
    error = None if source is None else unknown_source(fg, source)
    watched = watch(fg)
    if watched is not None:
        _row_dicts(fg)
    return _dfs_items(fg, watched, source, error, depth_limit, events, networkx)


def _dfs_items(fg, watched, source, error, depth_limit, events, networkx):
    """dfs_edges' pairs, or the preorder or postorder nodes of dfs_labeled_edges,
    from a cursor; NetworkX's loop once the graph changed."""
    if changed(watched):
        yield from networkx.orig_func(fg.source, source, depth_limit)
        return
    n = len(fg)
    limit = n if depth_limit is None else depth_limit
    if error is not None:
        if events != "preorder" or isinstance(error, TypeError):
            raise error
        # NetworkX reports the start, then fails to list its neighbours
        # (unless the node was added meanwhile).
        yield source
        yield from _dfs_resume(fg.source, set(), [], limit, iter(()), ("start", source), events)
        return
    starts = None if source is None else [fg.index[source]]
    cursor = fg.core.dfs_cursor(starts, _limit(depth_limit, n), nodes=fg.node_tuple, root=source, events=events,
                                watch=watched)
    yield from cursor
    if cursor.changed():
        yield from _dfs_handover(fg, cursor.state(), source, limit, events)


def _dfs_handover(fg, state, source, depth_limit, events):
    """NetworkX's loop set where the cursor's last item left it."""
    visited_at, x, frames, positions = state
    obj = fg.nodes.__getitem__ if source is None else objects(fg, source, fg.index[source])
    dicts, sizes = _row_dicts(fg)
    stack = [(obj(v), RowIterator(dicts[v], sizes[v], at)) for v, at in zip(frames, positions)]
    visited = set(map(obj, visited_at))
    G = fg.source
    if source is None:
        # `for start in G`, made on the first step, stands after the current start.
        starts = RowIterator(G._node, len(fg), (frames[0] if frames else x) + 1)
    else:
        starts = iter(())
    if events == "postorder":
        pending = ("finished", None)
    else:
        pending = ("child", obj(x)) if frames else ("start", obj(x))
    return _dfs_resume(G, visited, stack, depth_limit, starts, pending, events)


def _dfs_resume(G, visited, stack, depth_limit, starts, pending, events):
    """NetworkX's dfs_labeled_edges (whose forward edges are dfs_edges'),
    resumed just after it reported `pending`: a child not yet pushed, a start
    not yet entered, or a finish. Yields the edges or nodes `events` names."""
    get_children = G.neighbors
    kind, node = pending
    depth_now = len(stack)
    if kind == "child":
        visited.add(node)
        if depth_now < depth_limit:
            stack.append((node, iter(get_children(node))))
            depth_now += 1
    elif kind == "start":
        visited.add(node)
        stack = [(node, iter(get_children(node)))]
        depth_now = 1
    start = stack[0][0] if stack else None
    while True:
        while stack:
            parent, children = stack[-1]
            for child in children:
                if child in visited:
                    continue
                if events == "forward":
                    yield parent, child
                elif events == "preorder":
                    yield child
                visited.add(child)
                if depth_now < depth_limit:
                    stack.append((child, iter(get_children(child))))
                    depth_now += 1
                    break
            else:
                stack.pop()
                depth_now -= 1
                if stack and events == "postorder":
                    yield parent
        if start is not None and events == "postorder":
            yield start
        for start in starts:
            if start in visited:
                continue
            if events == "preorder":
                yield start
            visited.add(start)
            stack = [(start, iter(get_children(start)))]
            depth_now = 1
            break
        else:
            return
