"""The shortest augmenting path maximum flow (NetworkX's
flow.shortestaugmentingpath), called directly and as the maximum-flow
functions' flow_func.

The capacities are read as for Edmonds–Karp (see flow.py); the C++ core
builds R with NetworkX's row orders and replays the algorithm step by step:
the heights, the current edges, the relabelling with its gap heuristic,
two_phase's switch to Edmonds–Karp and the cutoff. R comes back with the
node attributes NetworkX leaves, 'height' and 'curr_edge' (a CurrentEdge
positioned where NetworkX's stopped).
"""

import networkx as nx
from networkx.algorithms.flow import shortest_augmenting_path as _nx_shortest_augmenting_path
from networkx.algorithms.flow.utils import CurrentEdge

from .connectivity import CONNECTIVITY_FLOW_FUNCS
from .checks import argument_rule
from .flow import (_INF, _NX37, _RELEASE, FLOW_FUNCS, FlowFunc, _check_ends, capacities, into_residual, network, orig,
                   residual_graph)
from .serve import EXACT, served

# The core's answers (see CoreGraph.shortest_augmenting_path).
_RESIDUAL = 4
_UNBOUNDED = 1


def _two_phase_problem(two_phase):
    return None if type(two_phase) is bool else "two_phase other than True or False is left to NetworkX"


@argument_rule("two_phase_bool")
def _two_phase_bool(a):
    return _two_phase_problem(a["two_phase"])


def _core(G, s, t, capacity, cutoff, two_phase, want):
    """NetworkX's checks, then the core's run: (flow_value, what `want` asks for, the node labels)."""
    _check_ends(G, s, t)
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, status, rest, labels = G.core.shortest_augmenting_path(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        _INF if cutoff is None else float(cutoff), two_phase, want,
        G.node_tuple if want == _RESIDUAL else None, objects, inf, network=network(G, capacity),
    )
    if status == _UNBOUNDED:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return value, rest, labels


def _current_edge(row, place):
    """CurrentEdge(row) moved on `place` times, as NetworkX's stands at the end."""
    edge = CurrentEdge(row)
    for _ in range(place):
        edge.move_to_next()
    return edge


@served(docs="NetworkX's residual network built in C++ with its row orders; the heights, current edges, "
             "relabelling, gap heuristic, two_phase's Edmonds–Karp and the cutoff replayed step by step over "
             "Python's int and float arithmetic; R rebuilt with the same dicts and node attributes. " + EXACT,
        rules=("capacity_name", "caller_residual", "flow_cutoff", "two_phase_bool"),
        data_rules=("keys", "flow_ends", "flow_capacities"), release=_RELEASE, keeps_attributes=_NX37)
def shortest_augmenting_path(G, s, t, capacity="capacity", residual=None, value_only=False, two_phase=False,
                             cutoff=None):
    return into_residual(residual, lambda: _shortest_augmenting_path(G, s, t, capacity, two_phase, cutoff),
                         lambda: orig("shortest_augmenting_path", G, s, t, capacity, residual, value_only, two_phase,
                                      cutoff))


def _shortest_augmenting_path(G, s, t, capacity, two_phase, cutoff):
    value, rows, labels = _core(G, s, t, capacity, cutoff, two_phase, _RESIDUAL)
    R = residual_graph(G, rows, capacities(G, capacity)[3], value, "shortest_augmenting_path")
    if labels is not None:
        heights, places = labels
        succ = R.succ  # views of the rows, as NetworkX's CurrentEdges walk
        for (u, data), height, place in zip(R._node.items(), heights, places):
            data["height"] = height
            data["curr_edge"] = _current_edge(succ[u], place)
    return R


def _run(G, s, t, capacity, kwargs, want):
    value, rest, _ = _core(G, s, t, capacity, kwargs.get("cutoff"), kwargs.get("two_phase", False), want)
    return value, rest


FLOW_FUNCS[_nx_shortest_augmenting_path] = FlowFunc(
    frozenset({"two_phase"}), lambda kwargs: _two_phase_problem(kwargs.get("two_phase", False)), _run)
CONNECTIVITY_FLOW_FUNCS.add(_nx_shortest_augmenting_path)
