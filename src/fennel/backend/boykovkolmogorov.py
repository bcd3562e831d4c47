"""The Boykov–Kolmogorov maximum flow (NetworkX's flow.boykovkolmogorov),
called directly and as the maximum-flow functions' flow_func.

The capacities are read as for Edmonds–Karp (see flow.py); the C++ core
builds R with NetworkX's row orders and replays the growth, augmentation and
adoption stages with NetworkX's active deque, orphans, distances and
timestamps, and the cutoff (None: R.graph['inf'], as NetworkX compares). R
comes back with R.graph['trees'], the two search trees as NetworkX's dicts
(their orders after its deletions and insertions).
"""

import networkx as nx
from networkx.algorithms.flow import boykov_kolmogorov as _nx_boykov_kolmogorov

from .connectivity import CONNECTIVITY_FLOW_FUNCS
from .flow import (_NX37, _RELEASE, FLOW_FUNCS, FlowFunc, _check_ends, capacities, into_residual, network, orig,
                   residual_graph)
from .serve import EXACT, served

# The core's answers (see CoreGraph.boykov_kolmogorov).
_RESIDUAL = 4
_UNBOUNDED = 1


def _core(G, s, t, capacity, cutoff, want):
    """NetworkX's checks, then the core's run: (flow_value, what `want` asks for, the search trees)."""
    _check_ends(G, s, t)
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, status, rest, trees = G.core.boykov_kolmogorov(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        float(inf if cutoff is None else cutoff), want,
        G.node_tuple if want == _RESIDUAL else None, objects, inf, network=network(G, capacity),
    )
    if status == _UNBOUNDED:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return value, rest, trees


def _tree(nodes, flat):
    it = iter(flat)
    return {nodes[v]: (None if p < 0 else nodes[p]) for v, p in zip(it, it)}


@served(docs="NetworkX's residual network built in C++ with its row orders; the growth, augmentation and "
             "adoption stages replayed step by step over Python's int and float arithmetic; R rebuilt with "
             "the same dicts and its search trees. " + EXACT,
        rules=("capacity_name", "caller_residual", "flow_cutoff"),
        data_rules=("keys", "flow_ends", "flow_capacities"), release=_RELEASE, keeps_attributes=_NX37)
def boykov_kolmogorov(G, s, t, capacity="capacity", residual=None, value_only=False, cutoff=None):
    return into_residual(residual, lambda: _boykov_kolmogorov(G, s, t, capacity, cutoff),
                         lambda: orig("boykov_kolmogorov", G, s, t, capacity, residual, value_only, cutoff))


def _boykov_kolmogorov(G, s, t, capacity, cutoff):
    value, rows, trees = _core(G, s, t, capacity, cutoff, _RESIDUAL)
    inf = capacities(G, capacity)[3]
    R = residual_graph(G, rows, inf, value, "boykov_kolmogorov")
    nodes = G.nodes
    # NetworkX sets 'trees' before 'flow_value': the graph dict in its order.
    R.graph.clear()
    R.graph.update(inf=inf, trees=(_tree(nodes, trees[0]), _tree(nodes, trees[1])), flow_value=value,
                   algorithm="boykov_kolmogorov")
    return R


def _run(G, s, t, capacity, kwargs, want):
    return _core(G, s, t, capacity, kwargs.get("cutoff"), want)[:2]


FLOW_FUNCS[_nx_boykov_kolmogorov] = FlowFunc(frozenset(), lambda kwargs: None, _run)
CONNECTIVITY_FLOW_FUNCS.add(_nx_boykov_kolmogorov)
