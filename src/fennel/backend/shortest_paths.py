"""Single-source shortest-path lengths."""

import networkx as nx

from .checks import check_data, graph_for
from .graph import no_gc_pauses, record
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


def single_source_shortest_path(G, source, cutoff=None):
    name = "single_source_shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    if source not in fg:
        raise nx.NodeNotFound(f"Source {source} not in G")
    check_data(name, fg, a)
    paths = _tree_paths(fg, fg.core, source, fg.index[source], cutoff, False, False)
    record("ran", name)
    return paths


def single_target_shortest_path(G, target, cutoff=None):
    name = "single_target_shortest_path"
    a = locals().copy()
    fg = graph_for(name, a)
    if target not in fg:
        raise nx.NodeNotFound(f"Target {target} not in G")
    check_data(name, fg, a)
    core = fg.load_exact_pred()
    paths = _tree_paths(fg, core, target, fg.index[target], cutoff, fg.directed, True)
    record("ran", name)
    return paths


def single_target_shortest_path_length(G, target, cutoff=None):
    name = "single_target_shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    if target not in fg:
        raise nx.NodeNotFound(f"Target {target} is not in G")
    check_data(name, fg, a)
    t = fg.index[target]
    order, parents = fg.load_exact_pred().bfs_tree(t, _bfs_cutoff(cutoff), fg.directed)
    obj = _objects(fg, target, t)
    level = {t: 0}
    for v, p in zip(order[1:], parents[1:]):
        level[v] = level[p] + 1
    record("ran", name)
    return {obj(v): level[v] for v in order}
