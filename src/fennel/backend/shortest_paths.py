"""Shortest paths and their lengths: one source, one target, one pair, all pairs.

Each function reproduces NetworkX's result shape: dicts keyed in the order
NetworkX fills them, the source (or target) as the caller gave it and every
other node as G's own key, ints where NetworkX's sums are ints, and errors
raised where NetworkX raises them (at the call, or on first iteration of a
generator). The all-pairs generators search a bounded batch of sources at a
time, in parallel, so memory stays proportional to n times the batch.
"""

import functools

import networkx as nx
from networkx.algorithms.shortest_paths.generic import _build_paths_from_predecessors

from . import progress
from .checks import DATA_RULES, check_data, checked_graph, graph_for, one_kind_reason
from .graph import no_gc_pauses, record, refuse
from .kinds import PY_INT, typed
from .traversal import _objects, _raising, follow_sources

_INF = float("inf")

# Sources per batch of an all-pairs generator: about this many result
# entries held at once, whatever the graph's size.
_BATCH_ENTRIES = 1 << 22


def _bfs_cutoff(cutoff):
    if cutoff is None:
        return _INF
    try:
        return float(cutoff)
    except OverflowError:
        return _INF if cutoff > 0 else -_INF


def _batches(fg, name=None):
    """The node positions in bounded batches, in G's order (counted for the progress of `name`)."""
    n = len(fg)
    step = max(1, min(256, _BATCH_ENTRIES // max(n, 1)))
    batches = (list(range(start, min(start + step, n))) for start in range(0, n, step))
    return batches if name is None else progress.batches(name, fg, batches, n)


def _require(name, fg, a, rule):
    """Applies one data rule that only some forms of a call need."""
    if reason := DATA_RULES[rule](fg, a):
        refuse(name, reason)


def _backward(name, fg, a):
    """The core to search G._pred's order with (NetworkX's G.reverse(copy=False))."""
    if not fg.directed:
        return fg.core
    _require(name, fg, a, "pred_keys")
    return fg.load_exact_pred()


# ---------------------------------------------------------------------------
# Lengths


def _rooted(fg, lengths, node_obj, s):
    """A dict built in C keyed by G's nodes, with its first key (the source)
    the object the caller gave, as NetworkX keys it."""
    if fg.nodes[s] is node_obj:
        return lengths
    items = iter(lengths.items())
    _, first = next(items)
    return {node_obj: first, **dict(items)}


def _bfs_lengths(fg, core, node_obj, s, cutoff, reverse):
    """Hop counts from (or, reversed, to) `node_obj` in breadth-first order."""
    if not reverse:
        return _rooted(fg, core.bfs_length_dicts([s], _bfs_cutoff(cutoff), fg.node_tuple)[0], node_obj, s)
    order, parents = core.bfs_tree(s, _bfs_cutoff(cutoff), True)
    obj = _objects(fg, node_obj, s)
    level = {s: 0}
    for v, p in zip(order[1:], parents[1:]):
        level[v] = level[p] + 1
    return {obj(v): level[v] for v in order}


def _distance_type(fg, weight):
    """The type of NetworkX's Dijkstra sums: the weights' one kind (see _one_kind)."""
    return typed(PY_INT if weight is None else fg.weight_facts(weight).uniform_kind())


def _one_kind(name, fg, weight, search):
    """Refuses typed results of a search that cannot follow the kinds of mixed weights.

    Kinds are kept per slot of G._adj's rows; a backward or two-way search
    walks other rows.
    """
    if weight is not None and (facts := fg.weight_facts(weight)).uniform_kind() is None:
        refuse(name, one_kind_reason(weight, facts, search))


def _distances(fg, weight, dist):
    """Distances typed as NetworkX's sums, the source's always the int 0."""
    kind = _distance_type(fg, weight)
    dist = list(map(kind, dist)) if kind is not float else dist
    dist[0] = 0
    return dist


def _dijkstra_lengths(fg, core, node_obj, s, weight, cut, reverse):
    if not reverse:
        found = core.dijkstra_length_dicts([s], fg.node_tuple, weight, cut)[0]
        if found is None:
            raise ValueError("Contradictory paths found:", "negative weights?")
        return _rooted(fg, found, node_obj, s)
    order, dist = core.dijkstra_tree(s, weight, cut, None, True)[:2]
    # Reached only from a reversed digraph, after _one_kind.
    obj = _objects(fg, node_obj, s)
    return dict(zip(map(obj, order), _distances(fg, weight, dist)))


def _dijkstra_source(fg, source, message):
    """A Dijkstra search's source position, with NetworkX's errors for a bad one."""
    {source}  # noqa: B018 - an unhashable source raises TypeError, as NetworkX's set of sources does
    if source not in fg:
        raise nx.NodeNotFound(message)
    return fg.index[source]


def single_source_shortest_path_length(G, source, cutoff=None):
    """Hop counts from ``source`` in breadth-first order, as NetworkX returns them."""
    name = "single_source_shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    s = _checked(name, fg, a, source, f"Source {source} is not in G")
    lengths = _bfs_lengths(fg, fg.core, source, s, cutoff, False)
    record("ran", name)
    return lengths


def single_source_dijkstra_path_length(G, source, cutoff=None, weight="weight"):
    """Weighted distances from ``source`` in NetworkX's order and number types."""
    name = "single_source_dijkstra_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    s = _dijkstra_source(fg, source, f"Node {source} not found in graph")
    check_data(name, fg, a)
    lengths = _dijkstra_lengths(fg, fg.core, source, s, weight, _cut(cutoff), False)
    record("ran", name)
    return lengths


# ---------------------------------------------------------------------------
# Unweighted paths


def _tree_paths(fg, core, node_obj, s, cutoff, reverse, toward):
    """NetworkX's _single_shortest_path dict: paths from `node_obj`, or toward it.

    A single-target search joins each path in front of its parent's.
    """
    with no_gc_pauses():
        return core.bfs_paths(s, _bfs_cutoff(cutoff), fg.node_tuple, node_obj, reverse, toward)


def _checked(name, fg, a, node, missing):
    """`node`'s position; NodeNotFound(`missing`) first, refusals after."""
    if node not in fg:
        raise nx.NodeNotFound(missing)
    check_data(name, fg, a)
    return fg.index[node]


def single_source_shortest_path(G, source, cutoff=None):
    name = "single_source_shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    s = _checked(name, fg, a, source, f"Source {source} not in G")
    paths = _tree_paths(fg, fg.core, source, s, cutoff, False, False)
    record("ran", name)
    return paths


def single_target_shortest_path(G, target, cutoff=None):
    name = "single_target_shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    t = _checked(name, fg, a, target, f"Target {target} not in G")
    paths = _tree_paths(fg, fg.load_exact_pred(), target, t, cutoff, fg.directed, True)
    record("ran", name)
    return paths


def single_target_shortest_path_length(G, target, cutoff=None):
    name = "single_target_shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    t = _checked(name, fg, a, target, f"Target {target} is not in G")
    lengths = _bfs_lengths(fg, fg.load_exact_pred(), target, t, cutoff, True)
    record("ran", name)
    return lengths


def _by_source(fg, build, name=None):
    """(node, result) per node in G's order, built by `build(batch)` a batch of sources at a time."""
    nodes = fg.nodes
    for batch in _batches(fg, name):
        with no_gc_pauses():
            found = build(batch)
        yield from zip(map(nodes.__getitem__, batch), found)


def _all_pairs_paths(fg, cutoff, name=None):
    limit = _bfs_cutoff(cutoff)
    return _by_source(fg, lambda batch: fg.core.bfs_paths_many(batch, limit, fg.node_tuple), name)


def all_pairs_shortest_path(G, cutoff=None):
    name = "all_pairs_shortest_path"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return follow_sources(fg, _all_pairs_paths(fg, cutoff, name),
                          lambda G, n: nx.single_source_shortest_path(G, n, cutoff=cutoff))


# ---------------------------------------------------------------------------
# Weighted paths


@functools.cache
def _paths_in_settle_order():
    """Whether the installed NetworkX keys Dijkstra's paths in settle order.

    NetworkX 3.6 builds the paths from the settled predecessors; 3.4 and 3.5
    stored each path when a node was first reached, so their keys follow
    first-seen order. Asked on first use: NetworkX's implementation calls
    back into the dispatcher.
    """
    G = nx.DiGraph()
    G.add_edge(0, 1, weight=5)
    G.add_edge(0, 2, weight=1)
    _, paths = nx.single_source_dijkstra.orig_func(G, 0)
    return list(paths) == [0, 2, 1]


def _cut(cutoff):
    return None if cutoff is None else float(cutoff)


def _distance(fg, weight, d):
    """A distance (not the source's) over weights of one kind, as NetworkX types it."""
    return _distance_type(fg, weight)(d)


def _dijkstra_start(name, a, source, cutoff):
    """Converted graph and source position, with NetworkX's errors and refusals in its order."""
    fg = graph_for(name, a)
    s = _dijkstra_source(fg, source, f"Node {source} not found in graph")
    return fg, s, _cut(cutoff)


def _search_to(fg, s, target, weight, cut):
    """(distance, positions, kind of the distance) of the path to `target`, or None when it is not reached.

    A target G lacks is never reached: NetworkX then searches everything
    (and meets any contradictory path on the way) before it gives up.
    """
    if target in fg:
        return fg.core.dijkstra_path(s, fg.index[target], weight, cut)
    fg.core.dijkstra_tree(s, weight, cut)
    return None


def _to_target(name, fg, a, source, s, target, weight, cut, with_length=True):
    """(distance, path) to `target` as NetworkX's multi_source_dijkstra returns them
    (the distance untyped unless `with_length`: callers that drop it)."""
    if target in {source}:
        return 0, [target]
    check_data(name, fg, a)
    found = _search_to(fg, s, target, weight, cut)
    if found is None:
        record("ran", name)
        raise nx.NetworkXNoPath(f"No path to {target}.")
    d, positions, kind = found
    nodes = fg.nodes
    # NetworkX 3.6 walks the path back from the target it was given; earlier
    # releases extended the path to each node as its key in the rows.
    last = target if _paths_in_settle_order() else nodes[positions[-1]]
    path = [source, *map(nodes.__getitem__, positions[1:-1]), last]
    return typed(kind)(d) if with_length else d, path


def _dijkstra_paths(fg, core, node_obj, s, weight, cut, reverse=False, toward=False, distances=True):
    """NetworkX's (dist, paths) of one Dijkstra search from `node_obj` (paths toward it if `toward`).

    Without `distances` the dist dict is not built (None in its place).
    """
    with no_gc_pauses():
        return core.dijkstra_paths(
            s, fg.node_tuple, node_obj, weight, cut, reverse, toward, _paths_in_settle_order(), distances,
        )


def _from_source(name, fg, a, source, s, weight, cut, distances=True):
    check_data(name, fg, a)
    return _dijkstra_paths(fg, fg.core, source, s, weight, cut, distances=distances)


def single_source_dijkstra(G, source, target=None, cutoff=None, weight="weight"):
    name = "single_source_dijkstra"
    a = locals().copy()
    fg, s, cut = _dijkstra_start(name, a, source, cutoff)
    result = (
        _from_source(name, fg, a, source, s, weight, cut)
        if target is None
        else _to_target(name, fg, a, source, s, target, weight, cut)
    )
    record("ran", name)
    return result


def single_source_dijkstra_path(G, source, cutoff=None, weight="weight"):
    name = "single_source_dijkstra_path"
    a = locals().copy()
    fg, s, cut = _dijkstra_start(name, a, source, cutoff)
    paths = _from_source(name, fg, a, source, s, weight, cut, distances=False)[1]
    record("ran", name)
    return paths


def dijkstra_path(G, source, target, weight="weight"):
    name = "dijkstra_path"
    a = locals().copy()
    fg, s, _ = _dijkstra_start(name, a, source, None)
    path = _to_target(name, fg, a, source, s, target, weight, None, with_length=False)[1]
    record("ran", name)
    return path


def _dijkstra_path_length(name, fg, a, source, target, weight):
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    if source == target:
        return 0
    check_data(name, fg, a)
    found = _search_to(fg, fg.index[source], target, weight, None)
    if found is None:
        {target}  # noqa: B018 - NetworkX's final lookup of an unhashable target raises TypeError
        record("ran", name)
        raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
    d, _, kind = found
    return typed(kind)(d)


def dijkstra_path_length(G, source, target, weight="weight"):
    name = "dijkstra_path_length"
    a = locals().copy()
    length = _dijkstra_path_length(name, graph_for(name, a), a, source, target, weight)
    record("ran", name)
    return length


def _all_pairs_dijkstra(fg, weight, cut, distances=True, name=None):
    """(node, (dist, paths)) per node in G's order; a negative cycle raises at its source."""
    nodes = fg.nodes
    settle_keys = _paths_in_settle_order()
    for batch in _batches(fg, name):
        with no_gc_pauses():
            found = fg.core.dijkstra_paths_many(batch, fg.node_tuple, weight, cut, settle_keys, distances)
        for s, result in zip(batch, found):
            if result is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            yield nodes[s], result


def all_pairs_dijkstra(G, cutoff=None, weight="weight"):
    name = "all_pairs_dijkstra"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return follow_sources(fg, _all_pairs_dijkstra(fg, weight, _cut(cutoff), name=name),
                          lambda G, n: nx.single_source_dijkstra(G, n, cutoff=cutoff, weight=weight))


def all_pairs_dijkstra_path(G, cutoff=None, weight="weight"):
    name = "all_pairs_dijkstra_path"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return follow_sources(fg, ((v, found[1]) for v, found in _all_pairs_dijkstra(fg, weight, _cut(cutoff), False, name)),
                          lambda G, n: nx.single_source_dijkstra_path(G, n, cutoff=cutoff, weight=weight))


# ---------------------------------------------------------------------------
# Bidirectional searches


def _endpoints(fg, source, target):
    """Both positions, with the bidirectional searches' NodeNotFound."""
    if source not in fg:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if target not in fg:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    return fg.index[source], fg.index[target]


def _met_path(fg, positions, meet, source, target):
    """NetworkX's objects along a bidirectional search's path.

    The two searches start from the objects the caller gave, so those stand
    at the ends of the path; only an end where the searches met was reached
    through the graph's rows, and holds the graph's own key there.
    """
    nodes = fg.nodes
    with no_gc_pauses():
        path = list(map(nodes.__getitem__, positions))
    if len(path) == 1:
        return [source]
    if meet != positions[0]:
        path[0] = source
    if meet != positions[-1]:
        path[-1] = target
    return path


def _bidirectional_bfs(name, fg, a, s, t, source, target):
    """NetworkX's bidirectional_shortest_path as objects (the call counts as run)."""
    check_data(name, fg, a)
    if s == t:  # answered without G._pred's order
        record("ran", name)
        return [source]
    _require(name, fg, a, "pred_keys")
    found = fg.load_exact_pred().bidirectional_bfs(s, t, meet=True)
    record("ran", name)
    if found is None:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    return _met_path(fg, found[0], found[1], source, target)


def bidirectional_shortest_path(G, source, target):
    name = "bidirectional_shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    s, t = _endpoints(fg, source, target)
    return _bidirectional_bfs(name, fg, a, s, t, source, target)


def has_path(G, source, target):
    name = "has_path"
    # NetworkX asks shortest_path, that is bidirectional_shortest_path.
    fg = graph_for(name, locals().copy())
    s, t = _endpoints(fg, source, target)
    found = s == t or fg.load_exact_pred().bidirectional_bfs(s, t) is not None
    record("ran", name)
    return found


def _bidirectional_dijkstra(name, fg, a, s, t, source, target, weight, with_length=True):
    """NetworkX's (distance, path) of bidirectional_dijkstra (the distance untyped unless `with_length`)."""
    if source == target:
        return 0, [source]
    check_data(name, fg, a)
    if with_length:
        _one_kind(name, fg, weight, "runs from both ends")
    _require(name, fg, a, "pred_keys")
    found = fg.load_exact_pred().bidirectional_dijkstra(s, t, weight, meet=True)
    if found is None:
        record("ran", name)
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    d, positions, meet = found
    return _distance(fg, weight, d) if with_length else d, _met_path(fg, positions, meet, source, target)


def bidirectional_dijkstra(G, source, target, weight="weight"):
    name = "bidirectional_dijkstra"
    a = locals().copy()
    fg = graph_for(name, a)
    s, t = _endpoints(fg, source, target)
    result = _bidirectional_dijkstra(name, fg, a, s, t, source, target, weight)
    record("ran", name)
    return result


# ---------------------------------------------------------------------------
# shortest_path and shortest_path_length: NetworkX's dispatch over the above


def shortest_path(G, source=None, target=None, weight=None, method="dijkstra"):
    name = "shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    if source is None and target is None:
        check_data(name, fg, a)
        if weight is None:
            result = follow_sources(fg, _all_pairs_paths(fg, None, name), nx.single_source_shortest_path)
        else:
            result = follow_sources(
                fg, ((v, found[1]) for v, found in _all_pairs_dijkstra(fg, weight, None, False, name)),
                lambda G, n: nx.single_source_dijkstra_path(G, n, weight=weight),
            )
    elif source is None:
        # NetworkX searches G.reverse(copy=False) from the target.
        core = _backward(name, fg, a)
        if weight is None:
            if target not in fg:
                raise nx.NodeNotFound(f"Source {target} not in G")
            check_data(name, fg, a)
            result = _tree_paths(fg, core, target, fg.index[target], None, fg.directed, True)
        else:
            t = _dijkstra_source(fg, target, f"Node {target} not found in graph")
            check_data(name, fg, a)
            result = _dijkstra_paths(fg, core, target, t, weight, None, fg.directed, True, False)[1]
    elif target is None:
        if weight is None:
            s = _checked(name, fg, a, source, f"Source {source} not in G")
            result = _tree_paths(fg, fg.core, source, s, None, False, False)
        else:
            s = _dijkstra_source(fg, source, f"Node {source} not found in graph")
            result = _from_source(name, fg, a, source, s, weight, None, distances=False)[1]
    else:
        s, t = _endpoints(fg, source, target)
        if weight is None:
            return _bidirectional_bfs(name, fg, a, s, t, source, target)  # counted as run there
        else:
            result = _bidirectional_dijkstra(name, fg, a, s, t, source, target, weight, with_length=False)[1]
    record("ran", name)
    return result


def shortest_path_length(G, source=None, target=None, weight=None, method="dijkstra"):
    name = "shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    if source is None and target is None:
        from .distance import all_pairs_lengths

        return all_pairs_lengths(name, fg, a, weight)
    if source is None:
        core = _backward(name, fg, a)
        if weight is None:
            if target not in fg:
                raise nx.NodeNotFound(f"Source {target} is not in G")
            check_data(name, fg, a)
            result = _bfs_lengths(fg, core, target, fg.index[target], None, fg.directed)
        else:
            t = _dijkstra_source(fg, target, f"Node {target} not found in graph")
            check_data(name, fg, a)
            if fg.directed:
                _one_kind(name, fg, weight, "runs backward")
            result = _dijkstra_lengths(fg, core, target, t, weight, None, fg.directed)
    elif target is None:
        if weight is None:
            s = _checked(name, fg, a, source, f"Source {source} is not in G")
            result = _bfs_lengths(fg, fg.core, source, s, None, False)
        else:
            s = _dijkstra_source(fg, source, f"Node {source} not found in graph")
            check_data(name, fg, a)
            result = _dijkstra_lengths(fg, fg.core, source, s, weight, None, False)
    elif weight is None:
        s, t = _endpoints(fg, source, target)
        return len(_bidirectional_bfs(name, fg, a, s, t, source, target)) - 1  # counted as run there
    else:
        result = _dijkstra_path_length(name, fg, a, source, target, weight)
    record("ran", name)
    return result


# ---------------------------------------------------------------------------
# All shortest paths


@functools.cache
def _walk_skips_ends():
    """Whether the installed NetworkX's path walk ends a pass at a node already on the path.

    NetworkX 3.7 rewrote _build_paths_from_predecessors: the earlier walk
    returns to the top of its loop after meeting such a node, so a source
    with predecessors (a zero-weight cycle through it) is yielded again.
    """
    G = nx.DiGraph()
    G.add_edge(0, 1, weight=0)
    G.add_edge(1, 0, weight=0)
    return len(list(nx.all_shortest_paths.orig_func(G, 0, 1, weight="weight"))) > 1


def _all_paths_source(name, fg, source, weight):
    """The source position, or NetworkX's error for a source G lacks."""
    if source in fg:
        return fg.index[source]
    if weight is None:
        return nx.NodeNotFound(f"Source {source} not in G")
    return nx.NodeNotFound(f"Node {source} is not found in the graph")


def _walk(fg, ap, source, target):
    """NetworkX's paths from the core's walk: the source and target as given, G's keys between."""
    nodes = fg.nodes
    while (positions := ap.next_path()) is not None:
        if len(positions) == 1:
            yield [target]
        else:
            yield [source, *map(nodes.__getitem__, positions[1:-1]), target]


def all_shortest_paths(G, source, target, weight=None, method="dijkstra"):
    name = "all_shortest_paths"
    a = locals().copy()
    fg = graph_for(name, a)
    s = _all_paths_source(name, fg, source, weight)
    if isinstance(s, Exception):
        raise s
    check_data(name, fg, a)
    no_path = nx.NetworkXNoPath(f"Target {target} cannot be reached from given sources")
    if target not in fg:
        # NetworkX searches first (and may meet a contradiction), then looks
        # the target up on first iteration.
        fg.core.shortest_path_predecessors(s, weight)
        record("ran", name)
        try:
            hash(target)
        except TypeError as exc:
            return _raising(exc)
        return _raising(no_path)
    ap = fg.core.all_shortest_paths(s, fg.index[target], weight, _walk_skips_ends())
    record("ran", name)
    return _raising(no_path) if ap is None else _walk(fg, ap, source, target)


def _predecessors(fg, source, s, weight):
    """NetworkX's pred dict of a search from `source`, as objects."""
    obj = _objects(fg, source, s)
    order, lists = fg.core.shortest_path_predecessors(s, weight)
    with no_gc_pauses():
        return {obj(v): list(map(obj, row)) for v, row in zip(order, lists)}


def _paths_by_target(fg, source, s, weight):
    """(node, paths) for every node the search reaches, in NetworkX's pred order."""
    pred = _predecessors(fg, source, s, weight)
    sources = {source}
    for v in pred:
        yield v, list(_build_paths_from_predecessors(sources, v, pred))


def single_source_all_shortest_paths(G, source, weight=None, method="dijkstra"):
    name = "single_source_all_shortest_paths"
    a = locals().copy()
    fg = graph_for(name, a)
    check_data(name, fg, a)
    s = _all_paths_source(name, fg, source, weight)
    record("ran", name)
    # A generator, as NetworkX's: its errors come on first iteration.
    return _raising(s) if isinstance(s, Exception) else _paths_by_target(fg, source, s, weight)


def all_pairs_all_shortest_paths(G, weight=None, method="dijkstra"):
    name = "all_pairs_all_shortest_paths"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    nodes = fg.nodes
    sources = progress.batches(name, fg, ([s] for s in range(len(nodes))), len(nodes))
    return follow_sources(
        fg, ((nodes[s], dict(_paths_by_target(fg, nodes[s], s, weight))) for (s,) in sources),
        lambda G, n: dict(nx.single_source_all_shortest_paths(G, n, weight=weight, method=method)),
    )
