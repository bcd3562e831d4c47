"""Capacity scaling (NetworkX's flow.capacityscaling).

The residual multigraph R is laid out here as _build_residual_network
builds it (its edge list, R.graph['inf'] summed by Python in NetworkX's
order, each node's neighbours in the order their first arc came and each
neighbour's arcs in key order), with NetworkX's checks and messages in
their order and its search for a negative cycle of infinite capacity; the
scaling phases then run in C++ on those very numbers, Python ints and floats
with Python's arithmetic between them, and the cost and the flow dict are
built here in NetworkX's order.
"""

from itertools import chain
from math import log

import networkx as nx
from networkx.utils import BinaryHeap

from .. import _core
from . import mincost  # noqa: F401 - registers the rule flow_attribute_names
from .checks import argument_rule, data_rule
from .clique import node_hashes
from .serve import EXACT, served

_INF = float("inf")
# With every int summing below this, flows, excesses, distances and
# potentials stay far inside the core's 128-bit ints, and R.graph['inf']
# and the first Δ inside 64 bits.
_INT_SUM_LIMIT = 2**60
_UNBOUNDED = "Negative cost cycle of infinite capacity found. Min cost flow may be unbounded below."

_DOCS = (
    "NetworkX's capacity scaling, its phases (saturations, the Δ-active sets with the set S in CPython's "
    "order from the nodes' hashes, Dijkstra searches in BinaryHeap's order, augmentations and potentials) "
    "replayed in C++ on NetworkX's own numbers, Python ints and floats with Python's arithmetic; checks, "
    "R's layout, cost and flow dict built in Python as NetworkX builds them. " + EXACT + " heap other than "
    "BinaryHeap, values other than Python ints and floats, NaNs, infinite demands or weights, and ints "
    "summing beyond 2**60 are left to NetworkX."
)


@argument_rule("binary_heap")
def _binary_heap(a):
    return None if a["heap"] is BinaryHeap else "heaps other than BinaryHeap break ties their own way"


@data_rule("scaling_numbers")
def _scaling_numbers(fg, a):
    if not fg.directed:
        return None  # NetworkX raises before reading any attribute
    G = fg.source
    demand, capacity, weight = a["demand"], a["capacity"], a["weight"]
    total = 0
    for what, x in chain(
        (("demand", d.get(demand, 0)) for _, d in G.nodes(data=True)),
        (pair for *_, d in G.edges(data=True) for pair in (("capacity", d.get(capacity, _INF)),
                                                           ("weight", d.get(weight, 0)))),
    ):
        kind = type(x)
        if kind is int:
            total += abs(x)
        elif kind is float:
            if x != x:
                return f"NaN {what}s are left to NetworkX"
            if what != "capacity" and abs(x) == _INF:
                return f"infinite {what}s are left to NetworkX"
        else:
            return f"{what}s of type {kind.__name__} are left to NetworkX"
    if total > _INT_SUM_LIMIT:
        return "int demands, capacities and weights summing beyond 2**60 are left to NetworkX"
    return None


def _residual(G, demand, capacity, weight):
    """_build_residual_network's checks and numbers: (excess, edge_list, inf)."""
    node_data = G._node
    demands = [node_data[u].get(demand, 0) for u in G]
    if sum(demands) != 0:
        raise nx.NetworkXUnfeasible("Sum of the demands should be 0.")
    excess = [-d for d in demands]
    inf = _INF
    for _, _, e in nx.selfloop_edges(G, data=True):
        if e.get(weight, 0) < 0 and e.get(capacity, inf) == inf:
            raise nx.NetworkXUnbounded(_UNBOUNDED)
    if G.is_multigraph():
        edge_list = [(u, v, k, e) for u, v, k, e in G.edges(data=True, keys=True)
                     if u != v and e.get(capacity, inf) > 0]
    else:
        edge_list = [(u, v, 0, e) for u, v, e in G.edges(data=True) if u != v and e.get(capacity, inf) > 0]
    inf = (
        max(
            sum(abs(x) for x in excess),
            2 * sum(e[capacity] for u, v, k, e in edge_list if capacity in e and e[capacity] != _INF),
        )
        or 1
    )
    return excess, edge_list, inf


def _capacity_scaling(fg, demand, capacity, weight):
    if not fg.directed:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    G = fg.source
    excess, edge_list, inf = _residual(G, demand, capacity, weight)
    index = fg.index

    # R.succ: per node its neighbours in the order of their first arc, each with its arcs in key
    # order (arc 2i: the i-th edge of edge_list; 2i + 1: its reverse).
    rows = [{} for _ in range(len(index))]
    heads, capacities, weights = [], [], []
    for i, (u, v, _, e) in enumerate(edge_list):
        pu, pv = index[u], index[v]
        w = e.get(weight, 0)
        heads += (pv, pu)
        capacities += (min(e.get(capacity, inf), inf), 0)
        weights += (w, -w)
        rows[pu].setdefault(pv, []).append(2 * i)
        rows[pv].setdefault(pu, []).append(2 * i + 1)

    # _detect_unboundedness: the lightest arc of capacity inf per (u, v), in R's order.
    if any(c == inf for c in capacities[::2]):
        H = nx.DiGraph()
        H.add_nodes_from(G)
        nodes = fg.nodes
        for u, row in enumerate(rows):
            for v, arcs in row.items():
                w = _INF
                for a in arcs:
                    if capacities[a] == inf:
                        w = min(w, weights[a])
                if w != _INF:
                    H.add_edge(nodes[u], nodes[v], weight=w)
        if nx.negative_edge_cycle(H, backend="networkx"):
            raise nx.NetworkXUnbounded(_UNBOUNDED)

    # The cost of the negative self-loops, saturated.
    flow_cost = sum(
        0 if e.get(capacity, _INF) <= 0 or e.get(weight, 0) >= 0 else e[capacity] * e[weight]
        for u, v, e in nx.selfloop_edges(G, data=True)
    )
    flows = [0] * len(edge_list)
    if edge_list:
        wmax = max(chain([-_INF], capacities))
        delta = 2 ** int(log(wmax, 2))
        if delta >= 1:
            group_offsets, group_heads, arc_offsets, arc_ids = [0], [], [0], []
            for row in rows:
                for v, arcs in row.items():
                    group_heads.append(v)
                    arc_ids += arcs
                    arc_offsets.append(len(arc_ids))
                group_offsets.append(len(group_heads))
            flows, balanced = _core._capacity_scaling(
                len(rows), heads, capacities, weights, excess, node_hashes(fg), group_offsets, group_heads,
                arc_offsets, arc_ids, delta,
            )
        else:
            balanced = not any(excess)
        if not balanced:
            raise nx.NetworkXUnfeasible("No flow satisfying all demands.")

        # The cost, over R's arcs in order; the flows above 0 as _build_flow_dict reads them.
        positive = [[] for _ in rows]
        nodes = fg.nodes
        for u, row in enumerate(rows):
            for v, arcs in row.items():
                for a in arcs:
                    f = flows[a >> 1]
                    if a & 1:
                        f = -f
                    if f > 0:
                        flow_cost += f * weights[a]
                        positive[u].append((nodes[v], edge_list[a >> 1][2], a & 1 == 0, f))
    else:
        positive = [[] for _ in index]
    return flow_cost, _flow_dict(G, capacity, weight, positive)


def _flow_dict(G, capacity, weight, positive):
    """_build_flow_dict: G's rows with the negative self-loops saturated, then R's flows above 0."""
    inf = _INF
    flow_dict = {}
    if G.is_multigraph():
        for u, found in zip(G, positive):
            row = flow_dict[u] = {}
            for v, es in G._adj[u].items():
                row[v] = {
                    k: (0 if (u != v or e.get(capacity, inf) <= 0 or e.get(weight, 0) >= 0) else e[capacity])
                    for k, e in es.items()
                }
            for v, k, _, f in found:
                if v in row:
                    row[v][k] = f
    else:
        for u, found in zip(G, positive):
            row = flow_dict[u] = {
                v: (0 if (u != v or e.get(capacity, inf) <= 0 or e.get(weight, 0) >= 0) else e[capacity])
                for v, e in G._adj[u].items()
            }
            for v, _, _, f in found:
                row[v] = f
    return flow_dict


@served(docs=_DOCS, rules=("flow_attribute_names", "binary_heap"), data_rules=("scaling_numbers",),
        keeps_attributes=True)
def capacity_scaling(G, demand="demand", capacity="capacity", weight="weight", heap=BinaryHeap):
    return _capacity_scaling(G, demand, capacity, weight)
