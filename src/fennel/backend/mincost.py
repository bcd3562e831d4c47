"""Minimum-cost flows (NetworkX's flow.networksimplex and flow.mincost).

network_simplex reads the problem here exactly as NetworkX reads it (its
edge list with the self-loops and zero-capacity edges dropped, its checks
and their messages in their order, the artificial root's edges and
faux_inf, all summed by Python in NetworkX's order); the pivot loop runs in
C++ on those very numbers, each kept a Python int or a Python float with
Python's arithmetic between them, and the flow costs and flow dicts are
then built here as NetworkX builds them.
"""

from itertools import chain, islice, repeat

import networkx as nx

from .. import _core
from .checks import NX_VERSION, argument_rule, data_rule
from .flow import WANT_VALUE, _run, capacities
from .serve import EXACT, served

_INF = float("inf")
# The C++ loop keeps ints exact in 128 bits: with every int demand, finite
# capacity and weight summing to S, faux_inf and the potentials stay below
# a few times 3 S, and a flow grows by at most faux_inf per pivot.
_INT_SUM_LIMIT = 2**62

_DOCS = (
    "NetworkX's network simplex, its pivot loop (block search, cycles, leaving edges, spanning-tree "
    "threads) replayed in C++ step for step on NetworkX's own numbers, Python ints and floats with "
    "Python's arithmetic between them; checks, costs and flow dicts built in Python as NetworkX builds "
    "them. " + EXACT + " Demands, capacities and weights other than Python ints and floats, NaNs, and "
    "ints summing beyond 2**62 / 3 are left to NetworkX."
)


@argument_rule("flow_attribute_names")
def _flow_attribute_names(a):
    for param in ("demand", "capacity", "weight"):
        if param not in a:
            continue
        try:
            hash(a[param])
        except TypeError:
            return f"unhashable {param} names are NetworkX's to reject"
    return None


def _numbers_problem(G, demand, capacity, weight, scale=1):
    """Why the demands, capacities and weights are not numbers the C++ loop computes with as Python does, or None.

    ``scale``: how many times the ints' sum may grow in the problem actually solved.
    """
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
        else:
            return f"{what}s of type {kind.__name__} are left to NetworkX"
    if 3 * scale * total > _INT_SUM_LIMIT:
        return "int demands, capacities and weights summing beyond 2**62 / 3 are left to NetworkX"
    return None


@data_rule("flow_numbers")
def _flow_numbers(fg, a):
    if not fg.directed:
        return None  # rejected before any attribute is read
    return _numbers_problem(fg.source, a["demand"], a["capacity"], a["weight"])


def _network_simplex(G, demand, capacity, weight):
    """NetworkX's network_simplex on the NetworkX graph G, its pivots in C++."""
    if len(G) == 0:
        raise nx.NetworkXError("graph has no nodes")
    multigraph = G.is_multigraph()

    # The problem's essentials, numbered as NetworkX numbers them.
    node_list = list(G)
    node_indices = {u: i for i, u in enumerate(node_list)}
    node_data = G.nodes
    node_demands = [node_data[u].get(demand, 0) for u in node_list]
    edge_sources, edge_targets, edge_keys = [], [], []
    edge_indices = {}
    edge_capacities, edge_weights = [], []
    edges = G.edges(data=True, keys=True) if multigraph else G.edges(data=True)
    inf = _INF
    edges = (e for e in edges if e[0] != e[1] and e[-1].get(capacity, inf) != 0)
    for i, e in enumerate(edges):
        edge_sources.append(node_indices[e[0]])
        edge_targets.append(node_indices[e[1]])
        if multigraph:
            edge_keys.append(e[2])
        edge_indices[e[:-1]] = i
        edge_capacities.append(e[-1].get(capacity, inf))
        edge_weights.append(e[-1].get(weight, 0))

    # NetworkX's quick error and infeasibility checks, in its order.
    for u, d in zip(node_list, node_demands):
        if abs(d) == inf:
            raise nx.NetworkXError(f"node {u!r} has infinite demand")
    for e, w in zip(edge_indices, edge_weights):
        if abs(w) == inf:
            raise nx.NetworkXError(f"edge {e!r} has infinite weight")
    loops = nx.selfloop_edges(G, data=True, keys=True) if multigraph else nx.selfloop_edges(G, data=True)
    for e in loops:
        if abs(e[-1].get(weight, 0)) == inf:
            raise nx.NetworkXError(f"edge {e[:-1]!r} has infinite weight")
    if sum(node_demands) != 0:
        raise nx.NetworkXUnfeasible("total node demand is not zero")
    for e, c in zip(edge_indices, edge_capacities):
        if c < 0:
            raise nx.NetworkXUnfeasible(f"edge {e!r} has negative capacity")
    loops = nx.selfloop_edges(G, data=True, keys=True) if multigraph else nx.selfloop_edges(G, data=True)
    for e in loops:
        if e[-1].get(capacity, inf) < 0:
            raise nx.NetworkXUnfeasible(f"edge {e[:-1]!r} has negative capacity")

    # The artificial root (position n, NetworkX's -1) and its edges: towards
    # a node of positive demand, from every other node.
    n = len(node_list)
    edge_count = len(edge_indices)
    for i, d in enumerate(node_demands):
        if d > 0:
            edge_sources.append(n)
            edge_targets.append(i)
        else:
            edge_sources.append(i)
            edge_targets.append(n)
    if NX_VERSION >= (3, 5):
        faux_inf = (
            3
            * max(
                sum(c for c in edge_capacities if c < inf),
                sum(abs(w) for w in edge_weights),
                sum(abs(d) for d in node_demands),
            )
            or 1
        )
    else:  # NetworkX 3.4 takes the largest single demand, not their sum
        faux_inf = (
            3
            * max(
                chain(
                    [sum(c for c in edge_capacities if c < inf), sum(abs(w) for w in edge_weights)],
                    (abs(d) for d in node_demands),
                )
            )
            or 1
        )
    edge_weights.extend(repeat(faux_inf, n))
    edge_capacities.extend(repeat(faux_inf, n))
    edge_flow = list(chain(repeat(0, edge_count), (abs(d) for d in node_demands)))
    potentials = [faux_inf if d <= 0 else -faux_inf for d in node_demands]

    edge_flow = _core._network_simplex(n, edge_sources, edge_targets, edge_capacities, edge_weights, edge_flow,
                                       potentials)

    # NetworkX's infeasibility and unboundedness checks, then its cost and
    # flow dict, in its order.
    if any(edge_flow[i] != 0 for i in range(-n, 0)):
        raise nx.NetworkXUnfeasible("no flow satisfies all node demands")
    if any(edge_flow[i] * 2 >= faux_inf for i in range(edge_count)) or any(
        e[-1].get(capacity, inf) == inf and e[-1].get(weight, 0) < 0 for e in nx.selfloop_edges(G, data=True)
    ):
        raise nx.NetworkXUnbounded("negative cycle with infinite capacity found")
    del edge_flow[edge_count:]
    flow_cost = sum(w * x for w, x in zip(edge_weights, edge_flow))
    flow_dict = {u: {} for u in node_list}

    def add_entry(e):
        d = flow_dict[e[0]]
        for k in e[1:-2]:
            try:
                d = d[k]
            except KeyError:
                t = {}
                d[k] = t
                d = t
        d[e[-2]] = e[-1]

    sources = (node_list[s] for s in islice(edge_sources, edge_count))
    targets = (node_list[t] for t in islice(edge_targets, edge_count))
    if not multigraph:
        for e in zip(sources, targets, edge_flow):
            add_entry(e)
        edges = G.edges(data=True)
    else:
        for e in zip(sources, targets, edge_keys, edge_flow):
            add_entry(e)
        edges = G.edges(data=True, keys=True)
    for e in edges:
        if e[0] != e[1]:
            if e[-1].get(capacity, inf) == 0:
                add_entry(e[:-1] + (0,))
        else:
            w = e[-1].get(weight, 0)
            if w >= 0:
                add_entry(e[:-1] + (0,))
            else:
                c = e[-1][capacity]
                flow_cost += w * c
                add_entry(e[:-1] + (c,))
    return flow_cost, flow_dict


def _directed_simplex(G, demand, capacity, weight):
    """network_simplex as the functions built on it call it: undirected graphs rejected first."""
    if not G.directed:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    return _network_simplex(G.source, demand, capacity, weight)


_RULES = ("flow_attribute_names",)
_DATA_RULES = ("flow_numbers",)
# keeps_attributes: the demands, capacities and weights are read from the
# source graph's own dicts (NetworkX asks for node attributes here).


@served(docs=_DOCS, rules=_RULES, data_rules=_DATA_RULES, keeps_attributes=True)
def network_simplex(G, demand="demand", capacity="capacity", weight="weight"):
    return _directed_simplex(G, demand, capacity, weight)


@served(docs="network_simplex's cost. " + _DOCS, rules=_RULES, data_rules=_DATA_RULES, keeps_attributes=True)
def min_cost_flow_cost(G, demand="demand", capacity="capacity", weight="weight"):
    return _directed_simplex(G, demand, capacity, weight)[0]


@served(docs="network_simplex's flow dict. " + _DOCS, rules=_RULES, data_rules=_DATA_RULES, keeps_attributes=True)
def min_cost_flow(G, demand="demand", capacity="capacity", weight="weight"):
    return _directed_simplex(G, demand, capacity, weight)[1]


# max_flow_min_cost: NetworkX's maximum_flow_value (preflow-push, value
# only, run in C++ as the maximum-flow functions run it), then min_cost_flow
# on nx.DiGraph(G) with the demands -value at s and value at t.


@data_rule("max_flow_min_cost_numbers")
def _max_flow_min_cost_numbers(fg, a):
    s, t = a["s"], a["t"]
    if fg.multigraph or s not in fg or t not in fg or s == t:
        return None  # NetworkX raises its error before reading any attribute
    found = capacities(fg, a["capacity"])
    if isinstance(found, str):
        return found
    # nx.DiGraph(G) doubles an undirected graph's edges, and the value joins the demands.
    return _numbers_problem(fg.source, "demand", a["capacity"], a["weight"], scale=4)


@served(docs="NetworkX's maximum flow value from preflow-push in C++, then "
             "min_cost_flow's network simplex on nx.DiGraph(G) with the demands at s and t. " + _DOCS,
        rules=("capacity_name", "flow_attribute_names"),
        data_rules=("flow_ends", "max_flow_min_cost_numbers"), keeps_attributes=True)
def max_flow_min_cost(G, s, t, capacity="capacity", weight="weight"):
    value = _run(G, s, t, capacity, None, {}, WANT_VALUE)[0]
    H = nx.DiGraph(G.source)
    H.add_node(s, demand=-value)
    H.add_node(t, demand=value)
    return _network_simplex(H, "demand", capacity, weight)[1]


# cost_of_flow: NetworkX's sum over G.edges(data=True), its products made in
# C from the graph's own dicts and summed by Python's sum() as there.


@data_rule("flow_cost_graph")
def _flow_cost_graph(fg, a):
    G = fg.source
    if not isinstance(G, nx.Graph) or G.is_multigraph():
        return "multigraphs (whose flows are dicts of keys) and other graph types are left to NetworkX"
    if type(G._adj) is not dict or G.adjlist_inner_dict_factory is not dict:
        return "graph views and graphs of other dict types are left to NetworkX"
    if type(a["flowDict"]) is not dict:
        return "flow dicts of other mapping types are left to NetworkX"
    try:
        hash(a["weight"])
    except TypeError:
        return "unhashable weight names are NetworkX's to reject"
    return None


@served(docs="The products flowDict[u][v] * d.get(weight, 0) made in C over the graph's own dicts in "
             "G.edges order, summed by Python's sum() as NetworkX sums them; flows or weights other than "
             "Python ints and floats are summed by NetworkX's own expression. " + EXACT,
        data_rules=("flow_cost_graph",), keeps_attributes=True, answers=(KeyError, TypeError))
def cost_of_flow(G, flowDict, weight="weight"):
    G = G.source
    products = _core._flow_products(G._adj, G.is_directed(), flowDict, weight)
    if products is None:
        return sum(flowDict[u][v] * d.get(weight, 0) for u, v, d in G.edges(data=True))
    return sum(products)
