"""rustworkx's answers, computed on fennel's compact rows.

For code that moves between rustworkx and NetworkX, or that checks its
results against rustworkx: each function here takes a rustworkx graph and
returns what the rustworkx function of the same name returns, with the same
type, order, values and errors.

fennel reads the graph's edge list once and lays its rows out in rustworkx's
neighbour order, which follows the order edges were added in. That order is
the order of the edge indices unless edges were removed; a graph whose node
or edge indices have gaps is therefore answered by rustworkx itself, as is
anything else fennel cannot reproduce exactly (a cost callable that raises
or returns something other than a plain number, an out-of-range goal).
A graph whose removed edge slots were all taken again by later edges shows
no gap; its rows are read in index order.
"""

import numpy as np
import rustworkx as rx

from fennel import _core

__all__ = ["strongly_connected_components", "topological_sort", "dijkstra_shortest_path_lengths"]


def _compact(graph, costs=None):
    """The graph's `CoreGraph`, or None when its indices have gaps."""
    n = graph.num_nodes()
    m = graph.num_edges()
    nodes = graph.node_indices()
    edges = graph.edge_indices()
    if (n and nodes[-1] != n - 1) or (m and edges[-1] != m - 1):
        return None
    ends = np.asarray(graph.edge_list(), dtype=np.uint32).reshape(m, 2)
    src = np.ascontiguousarray(ends[:, 0])
    dst = np.ascontiguousarray(ends[:, 1])
    return _core.build_rx(n, isinstance(graph, rx.PyDiGraph), src, dst, costs)


def _node_indices(positions):
    out = rx.NodeIndices()
    out.__setstate__(positions)
    return out


def strongly_connected_components(graph):
    """Like `rustworkx.strongly_connected_components`."""
    g = _compact(graph) if type(graph) is rx.PyDiGraph else None
    if g is None:
        return rx.strongly_connected_components(graph)
    return g.rx_scc()


def topological_sort(graph):
    """Like `rustworkx.topological_sort`: raises `rustworkx.DAGHasCycle` on a cycle."""
    g = _compact(graph) if type(graph) is rx.PyDiGraph else None
    order = g.rx_toposort() if g is not None else None
    if order is None:
        return rx.topological_sort(graph)  # rustworkx raises its own error
    return _node_indices(order)


def _costs(graph, edge_cost_fn):
    """One float per edge in index order, or None when a cost is not a plain
    number or the callable raises."""
    costs = []
    try:
        for payload in graph.edges():
            c = edge_cost_fn(payload)
            if type(c) is not float:
                if type(c) is not int and type(c) is not bool:
                    return None
                c = float(c)
            costs.append(c)
    except Exception:
        return None
    return costs


def dijkstra_shortest_path_lengths(graph, node, edge_cost_fn, goal=None):
    """Like `rustworkx.dijkstra_shortest_path_lengths`."""
    def rustworkx():
        return rx.dijkstra_shortest_path_lengths(graph, node, edge_cost_fn, goal=goal)

    if type(graph) not in (rx.PyDiGraph, rx.PyGraph) or type(node) is not int or not callable(edge_cost_fn):
        return rustworkx()
    n = graph.num_nodes()
    if not 0 <= node < n or (goal is not None and (type(goal) is not int or not 0 <= goal < n)):
        return rustworkx()
    costs = _costs(graph, edge_cost_fn)
    g = _compact(graph, costs) if costs is not None else None
    if g is None:
        return rustworkx()
    dist = g.rx_dijkstra(node, goal)
    if goal is not None:
        lengths = {goal: dist[goal]} if dist[goal] == dist[goal] else {}
    else:
        lengths = {v: d for v, d in enumerate(dist) if d == d and v != node}
    out = rx.PathLengthMapping()
    out.__setstate__(lengths)
    return out
