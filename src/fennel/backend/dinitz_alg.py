"""Dinitz's maximum flow (NetworkX's flow.dinitz_alg), called directly and as
the maximum-flow functions' flow_func.

The capacities are read as for Edmonds–Karp (see flow.py); the C++ core
builds R with NetworkX's row orders and replays each phase: the
breadth-first search recording the parents one level closer to s, the
depth-first search from t along the first parents with its augmentations
and retreats, the unboundedness check per phase and the cutoff (None:
R.graph['inf'], as NetworkX compares).
"""

import networkx as nx
from networkx.algorithms.flow import dinitz as _nx_dinitz

from .connectivity import CONNECTIVITY_FLOW_FUNCS
from .flow import (_NX37, _RELEASE, FLOW_FUNCS, FlowFunc, _check_ends, capacities, into_residual, network, orig,
                   residual_graph)
from .serve import EXACT, served

# The core's answers (see CoreGraph.dinitz).
_RESIDUAL = 4
_UNBOUNDED, _KEY_ERROR, _INDEX_ERROR = 1, 2, 3


def _core(G, s, t, capacity, cutoff, want):
    """NetworkX's checks, then the core's run: (flow_value, what `want` asks for)."""
    _check_ends(G, s, t)
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, status, rest, _ = G.core.dinitz(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        float(inf if cutoff is None else cutoff), want,
        G.node_tuple if want == _RESIDUAL else None, objects, inf, network=network(G, capacity),
    )
    if status == _UNBOUNDED:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    if status == _INDEX_ERROR:
        raise IndexError("pop from an empty deque")  # parents[v].popleft(), float rounding again
    if status == _KEY_ERROR:
        raise KeyError(s)  # parents[s], read once float rounding left a path without a saturated edge
    return value, rest


@served(docs="NetworkX's residual network built in C++ with its row orders; each phase's breadth-first "
             "search, parents, depth-first augmentations and retreats and the cutoff replayed step by step "
             "over Python's int and float arithmetic; R rebuilt with the same dicts. " + EXACT,
        rules=("capacity_name", "caller_residual", "flow_cutoff"),
        data_rules=("keys", "flow_ends", "flow_capacities"), release=_RELEASE, keeps_attributes=_NX37)
def dinitz(G, s, t, capacity="capacity", residual=None, value_only=False, cutoff=None):
    def run():
        value, rows = _core(G, s, t, capacity, cutoff, _RESIDUAL)
        return residual_graph(G, rows, capacities(G, capacity)[3], value, "dinitz")

    return into_residual(residual, run, lambda: orig("dinitz", G, s, t, capacity, residual, value_only, cutoff))


def _run(G, s, t, capacity, kwargs, want):
    return _core(G, s, t, capacity, kwargs.get("cutoff"), want)


FLOW_FUNCS[_nx_dinitz] = FlowFunc(frozenset(), lambda kwargs: None, _run)
CONNECTIVITY_FLOW_FUNCS.add(_nx_dinitz)
