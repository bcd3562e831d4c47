"""The Gomory–Hu tree (NetworkX's flow.gomory_hu).

The capacities are read as for the maximum flows (``flow.capacities``); the
C++ core builds the residual network once and runs NetworkX's n - 1 minimum
cuts over it, each reordering R's rows as ``minimum_cut`` does before 3.7 (its
saturated edges removed and added back; 3.7 leaves the rows and finds the
sink side over the edges with flow below capacity), so that every flow and
every float sum is NetworkX's. The tree is built here by NetworkX's own insertions.
"""

import networkx as nx

from .checks import argument_rule
from .flow import _NX37, _RELEASE, CORE_FLOWS, capacities
from .serve import EXACT, served


@argument_rule("gomory_hu_flow_func")
def _gomory_hu_flow_func(a):
    flow_func = a["flow_func"]
    if flow_func is None or flow_func in CORE_FLOWS:
        return None
    return "flow functions the core does not run are left to NetworkX"


@served(docs="NetworkX's minimum cuts in C++ over one residual network whose rows each cut reorders as "
             "NetworkX's minimum_cut does; flow_func None or edmonds_karp. " + EXACT,
        rules=("capacity_name", "gomory_hu_flow_func"), data_rules=("keys", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def gomory_hu_tree(G, capacity="capacity", flow_func=None):
    if len(G) == 0:
        raise nx.NetworkXError("Empty Graph does not have a Gomory-Hu tree representation")
    if G.multigraph:
        raise nx.NetworkXError("MultiGraph and MultiDiGraph not supported (yet).")
    codes, values, _, inf = capacities(G, capacity)
    algorithm = CORE_FLOWS[flow_func] if flow_func is not None else 0
    unbounded, parents, labels = G.core.gomory_hu(codes, values, float(inf), type(inf) is float, algorithm,
                                                    spare=_NX37)
    if unbounded:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    node = G.nodes
    if labels is None:
        u, v = parents
        raise KeyError((node[u], node[v]))
    T = nx.Graph()
    T.add_nodes_from(node[u] for u in range(len(node)))
    T.add_weighted_edges_from(zip(node[1:], map(node.__getitem__, parents), labels))
    return T
