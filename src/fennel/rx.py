"""rustworkx's answers, computed on fennel's compact rows.

For code that moves between rustworkx and NetworkX, or that checks its
results against rustworkx: each function here takes a rustworkx graph and
returns what the rustworkx function of the same name returns, with the same
type, order, values and errors.

rustworkx lists a node's edges newest first. fennel reads every node's edge
list from the graph, derives one insertion order that every list agrees
with, and lays its rows out from it, so removed and re-added edges are read
as rustworkx iterates them. With ``index_order=True`` the caller vouches that
no edge was ever removed, so that edge indices follow insertion order, and
fennel reads the edge list alone: several times faster, but wrong on a graph
that reused the index of a removed edge. Anything fennel cannot reproduce
(a graph with gaps in its node indices, a cost callable that raises or
returns something other than a plain number, an out-of-range node or goal)
is answered by rustworkx itself.
"""

import itertools
from collections.abc import Callable
from typing import Any, TypeAlias

import numpy as np
import numpy.typing as npt
import rustworkx as rx

from fennel import _core

__all__ = ["strongly_connected_components", "topological_sort", "dijkstra_shortest_path_lengths"]

_Graph: TypeAlias = rx.PyGraph | rx.PyDiGraph
_Ints: TypeAlias = npt.NDArray[np.int64]


def _edges(graph: _Graph) -> tuple[int, _Ints, _Ints, _Ints] | None:
    """(n, sources, targets, edge indices) in index order, or None when the node indices have gaps."""
    n = graph.num_nodes()
    nodes = graph.node_indices()
    if n and nodes[-1] != n - 1:
        return None
    m = graph.num_edges()
    ends = np.asarray(graph.edge_list(), dtype=np.int64).reshape(m, 2)
    return n, ends[:, 0], ends[:, 1], np.asarray(graph.edge_indices(), dtype=np.int64)


def _insertion_order(
    graph: _Graph, n: int, src: _Ints, indices: _Ints, directed: bool, in_rows: bool = True
) -> list[int] | None:
    """Positions into the edge list in an order every row of the graph agrees
    with (of a directed graph, its in-rows too unless `in_rows` is false).

    Each row lists its edges newest first (an undirected row: the edges it
    starts, then the edges it ends, each part newest first), so consecutive
    entries of a row say which of two edges is older. Those pairs are the
    arcs of an acyclic graph over the edges; a topological order of it is an
    insertion order that lays every row out as rustworkx iterates it.
    """
    position = np.full(int(indices[-1]) + 1 if len(indices) else 0, -1, dtype=np.int64)
    position[indices] = np.arange(len(indices))
    older, newer = [], []
    readers = (graph.out_edge_indices, graph.in_edge_indices)[: 2 if in_rows else 1]
    for read in readers if directed else (graph.incident_edges,):
        rows = list(map(read, range(n)))
        lengths = np.fromiter(map(len, rows), dtype=np.int64, count=n)
        flat = position[np.fromiter(itertools.chain.from_iterable(rows), dtype=np.int64, count=int(lengths.sum()))]
        row = np.repeat(np.arange(n), lengths)
        same = row[1:] == row[:-1]
        if not directed:
            starts = src[flat] == row  # a self-loop is listed once, among the edges its node starts
            same &= starts[1:] == starts[:-1]
        older.append(flat[1:][same])
        newer.append(flat[:-1][same])
    arcs = _core.build_rx(len(indices), True, np.concatenate(older).astype(np.uint32),
                          np.concatenate(newer).astype(np.uint32))
    return arcs.rx_toposort()


def _compact(
    graph: _Graph, cost: Callable[[Any], object] | None = None, index_order: bool = False
) -> _core.CoreGraph | None:
    """The graph's `CoreGraph` with costs from `cost` (one per edge payload), or
    None when fennel cannot reproduce its rows. A search by cost walks the
    out-rows only, so only they need rustworkx's order then."""
    read = _edges(graph)
    if read is None:
        return None
    n, src, dst, indices = read
    directed = isinstance(graph, rx.PyDiGraph)
    if index_order:
        order = np.arange(len(indices))
    else:
        found = _insertion_order(graph, n, src, indices, directed, in_rows=cost is None)
        if found is None:
            return None
        order = np.asarray(found, dtype=np.int64)
    costs = None
    if cost is not None:
        costs = _costs(graph, cost)
        if costs is None:
            return None
        costs = [costs[k] for k in order.tolist()]
    return _core.build_rx(n, directed, src[order].astype(np.uint32), dst[order].astype(np.uint32), costs)


def _node_indices(positions: list[int]) -> rx.NodeIndices:
    out = rx.NodeIndices()
    out.__setstate__(positions)
    return out


def strongly_connected_components(graph: rx.PyDiGraph, *, index_order: bool = False) -> list[list[int]]:
    """Like `rustworkx.strongly_connected_components`."""
    g = _compact(graph, index_order=index_order) if type(graph) is rx.PyDiGraph else None
    if g is None:
        return rx.strongly_connected_components(graph)
    return g.rx_scc()


def topological_sort(graph: rx.PyDiGraph, *, index_order: bool = False) -> rx.NodeIndices:
    """Like `rustworkx.topological_sort`: raises `rustworkx.DAGHasCycle` on a cycle."""
    g = _compact(graph, index_order=index_order) if type(graph) is rx.PyDiGraph else None
    order = g.rx_toposort() if g is not None else None
    if order is None:
        return rx.topological_sort(graph)  # rustworkx raises its own error
    return _node_indices(order)


def _costs(graph: _Graph, edge_cost_fn: Callable[[Any], object]) -> list[float] | None:
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


def dijkstra_shortest_path_lengths(
    graph: _Graph,
    node: int,
    edge_cost_fn: Callable[[Any], float],
    goal: int | None = None,
    *,
    index_order: bool = False,
) -> rx.PathLengthMapping:
    """Like `rustworkx.dijkstra_shortest_path_lengths`."""
    def rustworkx() -> rx.PathLengthMapping:
        return rx.dijkstra_shortest_path_lengths(graph, node, edge_cost_fn, goal=goal)

    if type(graph) not in (rx.PyDiGraph, rx.PyGraph) or type(node) is not int or not callable(edge_cost_fn):
        return rustworkx()
    n = graph.num_nodes()
    if not 0 <= node < n or (goal is not None and (type(goal) is not int or not 0 <= goal < n)):
        return rustworkx()
    g = _compact(graph, edge_cost_fn, index_order)
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
