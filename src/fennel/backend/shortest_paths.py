"""Single-source shortest-path lengths."""

import functools

import networkx as nx

from .checks import check_data, graph_for
from .graph import no_gc_pauses, record, refuse
from .traversal import _objects

_INF = float("inf")


def _bfs_cutoff(cutoff):
    if cutoff is None:
        return _INF
    try:
        return float(cutoff)
    except OverflowError:
        return _INF if cutoff > 0 else -_INF


def single_source_shortest_path_length(G, source, cutoff=None):
    """Hop counts from ``source`` in breadth-first order, as NetworkX returns them."""
    name = "single_source_shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    if source not in fg:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    check_data(name, fg, a)
    order, levels = fg.core.bfs_lengths(fg.index[source], _bfs_cutoff(cutoff))
    keys = list(map(fg.nodes.__getitem__, order))
    # NetworkX's first key is the source object as given, not G's node object.
    keys[0] = source
    record("ran", name)
    return dict(zip(keys, levels))


def single_source_dijkstra_path_length(G, source, cutoff=None, weight="weight"):
    """Weighted distances from ``source`` in NetworkX's order and number types."""
    name = "single_source_dijkstra_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    {source}  # noqa: B018 - an unhashable source raises TypeError, as in NetworkX
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    check_data(name, fg, a)
    cut = None if cutoff is None else float(cutoff)
    order, dist = fg.core.dijkstra_lengths(fg.index[source], weight, cut)
    keys = list(map(fg.nodes.__getitem__, order))
    keys[0] = source
    if weight is None or fg.core.weight_info(weight)[0]:
        values = list(map(int, dist))
    else:
        values = dist
        # The source's distance is NetworkX's starting value, the int 0.
        values[0] = 0
    record("ran", name)
    return dict(zip(keys, values))


# ---------------------------------------------------------------------------
# Unweighted paths


def _tree_paths(fg, core, node_obj, s, cutoff, reverse, toward):
    """NetworkX's _single_shortest_path dict from a breadth-first tree.

    `reverse` follows G._pred; `toward` builds paths that end at `node_obj`
    (a single-target search joins each path in front of its parent's).
    """
    order, parents = core.bfs_tree(s, _bfs_cutoff(cutoff), reverse)
    obj = _objects(fg, node_obj, s)
    path = {s: [node_obj]}
    with no_gc_pauses():
        if toward:
            for v, p in zip(order[1:], parents[1:]):
                path[v] = [obj(v), *path[p]]
        else:
            for v, p in zip(order[1:], parents[1:]):
                path[v] = [*path[p], obj(v)]
        return {obj(v): path[v] for v in order}


def _checked(name, a, node, missing):
    """The converted graph and `node`'s position; NodeNotFound(`missing`) first, refusals after."""
    fg = graph_for(name, a)
    if node not in fg:
        raise nx.NodeNotFound(missing)
    check_data(name, fg, a)
    return fg, fg.index[node]


def single_source_shortest_path(G, source, cutoff=None):
    name = "single_source_shortest_path"
    fg, s = _checked(name, locals().copy(), source, f"Source {source} not in G")
    paths = _tree_paths(fg, fg.core, source, s, cutoff, False, False)
    record("ran", name)
    return paths


def single_target_shortest_path(G, target, cutoff=None):
    name = "single_target_shortest_path"
    fg, t = _checked(name, locals().copy(), target, f"Target {target} not in G")
    paths = _tree_paths(fg, fg.load_exact_pred(), target, t, cutoff, fg.directed, True)
    record("ran", name)
    return paths


def single_target_shortest_path_length(G, target, cutoff=None):
    name = "single_target_shortest_path_length"
    fg, t = _checked(name, locals().copy(), target, f"Target {target} is not in G")
    order, parents = fg.load_exact_pred().bfs_tree(t, _bfs_cutoff(cutoff), fg.directed)
    obj = _objects(fg, target, t)
    level = {t: 0}
    for v, p in zip(order[1:], parents[1:]):
        level[v] = level[p] + 1
    record("ran", name)
    return {obj(v): level[v] for v in order}


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


def _distance(fg, weight, d):
    """A Dijkstra distance as NetworkX types it: int sums over int weights."""
    return int(d) if weight is None or fg.core.weight_info(weight)[0] else d


def _dijkstra_start(name, a, source, weight, cutoff):
    """Converted graph and source position, with NetworkX's errors and refusals in its order."""
    fg = graph_for(name, a)
    {source}  # noqa: B018 - an unhashable source raises TypeError, as NetworkX's set of sources does
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    return fg, fg.index[source], None if cutoff is None else float(cutoff)


def _search_to(fg, s, target, weight, cut):
    """(distance, positions) of the path to `target`, or None when it is not reached.

    A target G lacks is never reached: NetworkX then searches everything
    (and meets any contradictory path on the way) before it gives up.
    """
    if target in fg:
        return fg.core.dijkstra_path(s, fg.index[target], weight, cut)
    fg.core.dijkstra_tree(s, weight, cut)
    return None


def _to_target(name, fg, a, source, s, target, weight, cut):
    """(distance, path) to `target` as NetworkX's multi_source_dijkstra returns them."""
    if target in {source}:
        return 0, [target]
    check_data(name, fg, a)
    found = _search_to(fg, s, target, weight, cut)
    if found is None:
        raise nx.NetworkXNoPath(f"No path to {target}.")
    d, positions = found
    nodes = fg.nodes
    path = [source, *map(nodes.__getitem__, positions[1:-1]), target]
    return _distance(fg, weight, d), path


def _from_source(name, fg, a, source, s, weight, cut):
    """NetworkX's (dist, paths) of a single-source Dijkstra search."""
    check_data(name, fg, a)
    order, dist, parents, first_seen = fg.core.dijkstra_tree(s, weight, cut)
    obj = _objects(fg, source, s)
    if weight is None or fg.core.weight_info(weight)[0]:
        values = list(map(int, dist))
    else:
        values = dist
        values[0] = 0  # the source's distance is NetworkX's starting value, the int 0
    with no_gc_pauses():
        path = {s: [source]}
        for v, p in zip(order[1:], parents[1:]):
            path[v] = [*path[p], obj(v)]
        keys = order if _paths_in_settle_order() else first_seen
        return dict(zip(map(obj, order), values)), {obj(v): path[v] for v in keys}


def single_source_dijkstra(G, source, target=None, cutoff=None, weight="weight"):
    name = "single_source_dijkstra"
    a = locals().copy()
    fg, s, cut = _dijkstra_start(name, a, source, weight, cutoff)
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
    fg, s, cut = _dijkstra_start(name, a, source, weight, cutoff)
    paths = _from_source(name, fg, a, source, s, weight, cut)[1]
    record("ran", name)
    return paths


def dijkstra_path(G, source, target, weight="weight"):
    name = "dijkstra_path"
    a = locals().copy()
    fg, s, _ = _dijkstra_start(name, a, source, weight, None)
    path = _to_target(name, fg, a, source, s, target, weight, None)[1]
    record("ran", name)
    return path


def dijkstra_path_length(G, source, target, weight="weight"):
    name = "dijkstra_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    if source == target:
        return 0
    check_data(name, fg, a)
    found = _search_to(fg, fg.index[source], target, weight, None)
    if found is None:
        {target}  # noqa: B018 - NetworkX's final lookup of an unhashable target raises TypeError
        raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
    record("ran", name)
    return _distance(fg, weight, found[0])


def _endpoints(name, a, source, target):
    """The converted graph and both positions, with bidirectional_shortest_path's NodeNotFound."""
    fg = graph_for(name, a)
    if source not in fg:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if target not in fg:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    return fg, fg.index[source], fg.index[target]


def bidirectional_shortest_path(G, source, target):
    name = "bidirectional_shortest_path"
    a = locals().copy()
    fg, s, t = _endpoints(name, a, source, target)
    nodes = fg.nodes
    if nodes[s] is not source or nodes[t] is not target:
        # NetworkX's path then mixes the given objects and G's keys by where
        # the two searches met.
        refuse(name, "source or target given as an equal object, not G's own")
    check_data(name, fg, a)
    positions = [s] if s == t else fg.load_exact_pred().bidirectional_bfs(s, t)
    record("ran", name)
    if positions is None:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    with no_gc_pauses():
        return list(map(nodes.__getitem__, positions))


def has_path(G, source, target):
    name = "has_path"
    # NetworkX asks shortest_path, that is bidirectional_shortest_path.
    fg, s, t = _endpoints(name, locals().copy(), source, target)
    found = s == t or fg.load_exact_pred().bidirectional_bfs(s, t) is not None
    record("ran", name)
    return found
