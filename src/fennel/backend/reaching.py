"""Reaching centralities without weights (NetworkX's centrality.reaching).

Breadth-first searches in parallel in C++ give each source's reach and the
sum of 1 / d over its paths, added as sum() adds them in NetworkX's path
order; the global measure's max and sum run in Python over those values.
"""

import networkx as nx

from .checks import COMPENSATED_SUM, absent, argument_rule, edge_count
from .serve import EXACT, WORK_BFS, WORK_STATS, served

_DOCS = "Breadth-first searches in parallel in C++. " + EXACT + " Weighted reaching is left to NetworkX."

argument_rule("reaching_weight", absent("weight", "weighted reaching centralities"))
argument_rule("given_paths", absent("paths", "given path dicts"))
argument_rule(
    "reaching_source", lambda a: "v=None (NetworkX's all-pairs paths) is left to NetworkX" if a["v"] is None else None
)


def _size_checks(G):
    total_weight = edge_count(G)
    if total_weight <= 0:
        raise nx.NetworkXError("Size of G must be positive")
    return total_weight


@served(docs=_DOCS, rules=("reaching_weight",), data_rules=("reads_none",), per_source=True,
        min_work=WORK_STATS)
def global_reaching_centrality(G, weight=None, normalized=True):
    _size_checks(G)
    if len(G) == 1:
        raise nx.NetworkXError("local_reaching_centrality of a single node with self-loop not well-defined")
    lrc = G.core.local_reaching(None, COMPENSATED_SUM)
    max_lrc = max(lrc)
    return sum(max_lrc - c for c in lrc) / (len(G) - 1)


@served(docs=_DOCS, rules=("reaching_weight", "given_paths", "reaching_source"), data_rules=("reads_none",), min_work=WORK_BFS)
def local_reaching_centrality(G, v, paths=None, weight=None, normalized=True):
    total_weight = edge_count(G)
    if total_weight > 0 and len(G) == 1:
        raise nx.NetworkXError("local_reaching_centrality of a single node with self-loop not well-defined")
    if total_weight <= 0:
        raise nx.NetworkXError("Size of G must be positive")
    if v not in G:
        raise nx.NodeNotFound(f"Source {v} not in G")
    return G.core.local_reaching([G.index[v]], COMPENSATED_SUM)[0]
