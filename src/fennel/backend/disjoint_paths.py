"""Edge- and node-disjoint paths (NetworkX's connectivity.disjoint_paths).

The C++ core builds NetworkX's auxiliary digraph and its residual network,
runs the flow with NetworkX's cutoff, and reads the paths back from the
saturated edges as NetworkX's flow dict hands them out (each tail's edges in
R's order, ``popitem`` taking the last). Both functions are generators, as
NetworkX's are: nothing is read or checked before the first step, and a
graph changed before it is left to NetworkX's own generator.
"""

import networkx as nx

from .checks import argument_rule
from .connectivity import _own_auxiliary  # noqa: F401 - registers own_auxiliary
from .flow import _RELEASE, CORE_FLOWS, _cutoff_problem
from .serve import EXACT, served
from .shared import changed, watch

_INF = float("inf")
_NO_PATH, _SAME_ENDS = 1, 2


@argument_rule("disjoint_paths_flow")
def _disjoint_paths_flow(a):
    flow_func = a["flow_func"]
    if flow_func is not None and flow_func not in CORE_FLOWS:
        return "flow functions the core does not run are left to NetworkX"
    cutoff = a["cutoff"]
    if cutoff is not None and cutoff != cutoff:
        return "a NaN cutoff is left to NetworkX"
    return _cutoff_problem(cutoff)


def _paths(fg, watched, name, node, s, t, flow_func, cutoff):
    if changed(watched):
        yield from nx.utils.backends._registered_algorithms[name].orig_func(
            fg.source, s, t, flow_func=flow_func, cutoff=cutoff)
        return
    if s not in fg:
        raise nx.NetworkXError(f"node {s} not in graph")
    if t not in fg:
        raise nx.NetworkXError(f"node {t} not in graph")
    index = fg.index
    found = fg.core.disjoint_paths(node, index[s], index[t], _INF if cutoff is None else float(cutoff),
                                   CORE_FLOWS[flow_func] if flow_func is not None else 0)
    if found == _NO_PATH:
        raise nx.NetworkXNoPath
    if found == _SAME_ENDS:
        raise nx.NetworkXError("source and sink are the same node")
    nodes = fg.nodes
    if node:
        # Both halves of a node of H are its node of G: _unique_everseen.
        for path in found:
            yield list(dict.fromkeys([nodes[h >> 1] for h in path]))
    else:
        for path in found:
            yield [nodes[h] for h in path]


_DOCS = ("NetworkX's auxiliary digraph and residual network built in C++, the flow run with its cutoff and the "
         "paths read back from the saturated edges in NetworkX's flow dict order; flow_func None or "
         "edmonds_karp. ")


@served(docs=_DOCS + EXACT, rules=("disjoint_paths_flow", "own_auxiliary", "own_residual", "no_multigraph",
                                   "sees_changes"),
        data_rules=("keys", "flow_ends"), release=_RELEASE)
def edge_disjoint_paths(G, s, t, flow_func=None, cutoff=None, auxiliary=None, residual=None):
    return _paths(G, watch(G), "edge_disjoint_paths", False, s, t, flow_func, cutoff)


@served(docs=_DOCS + EXACT, rules=("disjoint_paths_flow", "own_auxiliary", "own_residual", "no_multigraph",
                                   "sees_changes"),
        data_rules=("keys", "flow_ends"), release=_RELEASE)
def node_disjoint_paths(G, s, t, flow_func=None, cutoff=None, auxiliary=None, residual=None):
    return _paths(G, watch(G), "node_disjoint_paths", True, s, t, flow_func, cutoff)
