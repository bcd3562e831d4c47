"""Single-source shortest-path lengths."""

import networkx as nx

from .checks import check_data, graph_for
from .graph import record

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
