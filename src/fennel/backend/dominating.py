"""Dominating sets (NetworkX's dominating module).

NetworkX's greedy dominating set pops its next node from a Python set of
the nodes not yet dominated, so its answer follows that set's table: the
core replays it from the nodes' hashes, through the same differences, pops
and ``-=``. Both greedy sets come back as the order NetworkX adds their
nodes in, and are built here by the same adds, so they iterate as
NetworkX's do.
"""

import math
from array import array

import networkx as nx

from .checks import data_rule
from .clique import node_hashes
from .serve import EXACT, WORK_COMPONENTS, served
from .shared import connected

# NetworkX's check is one pass over the chosen nodes' neighbours: worth
# handing over only for a graph already converted.
_WORK_CHECK = (WORK_COMPONENTS[0], math.inf)


@data_rule("dominating_start")
def _dominating_start(fg, a):
    if len(fg) == 0:
        return "an empty graph is left to NetworkX"
    start = a["start_with"]
    return None if start is None or start in fg else "a start node not in G is left to NetworkX"


@served(docs="NetworkX's greedy pass in C++ over CPython's set table replayed from the nodes' hashes. " + EXACT,
        data_rules=("dominating_start",), min_work=WORK_COMPONENTS)
def dominating_set(G, start_with=None):
    start = -1 if start_with is None else G.index[start_with]
    order = G.core.greedy_dominating(node_hashes(G), start)
    node = G.nodes
    chosen = {node[order[0]] if start_with is None else start_with}
    for v in order[1:]:
        chosen.add(node[v])
    return chosen


@served(docs="One pass in C++ over the chosen nodes' rows. " + EXACT, min_work=_WORK_CHECK)
def is_dominating_set(G, nbunch):
    flags = [False] * len(G)
    index = G.index
    for n in nbunch:
        if n in G:
            flags[index[n]] = True
    return G.core.dominated_by(flags)


@served(docs="NetworkX's greedy growth in C++, its heap ordered as NetworkX's (degree, then push count). " + EXACT,
        rules=("undirected_only",), data_rules=("keys",), min_work=WORK_COMPONENTS)
def connected_dominating_set(G):
    n = len(G)
    if n == 0:
        return set()
    if not connected(G):
        raise nx.NetworkXError("G must be a connected graph")
    node = G.nodes
    if n == 1:
        return {node[0]}
    if G.multigraph:
        degrees = array("q", (d for _, d in G.source.degree))
    else:
        degrees = array("q", G.core.degrees())
    return {node[v] for v in G.core.connected_dominating(degrees.tobytes())}
