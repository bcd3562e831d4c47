"""Efficiencies (NetworkX's efficiency_measures)."""

import networkx as nx

from .checks import argument_rule
from .clique import node_hashes
from .serve import EXACT, STATS_DOCS, WORK_BFS, WORK_STATS, always, served
from .shared import INF, batches, inverse_distance_total
from .shortest_paths import _bidirectional_bfs


@served(docs=STATS_DOCS, rules=("undirected_only",), per_source=True, min_work=WORK_STATS)
def global_efficiency(G):
    n = len(G)
    denom = n * (n - 1)
    if denom == 0:
        return 0
    levels = (found for batch in batches(G, counted=True) for _, found in G.core.bfs_many(batch, INF).lengths())
    return inverse_distance_total(levels) / denom


argument_rule(
    "efficiency_ends",
    lambda a: "a None end (NetworkX's all-pairs lengths) is left to NetworkX" if a["u"] is None or a["v"] is None
    else None,
)


@served(docs="A two-way breadth-first search in C++, as shortest_path_length's. " + EXACT,
        rules=("undirected_only", "efficiency_ends"), min_work=WORK_BFS, bounded=always, answers=(ZeroDivisionError,))
def efficiency(G, u, v):
    try:
        length = len(_bidirectional_bfs(G, u, v)) - 1
    except nx.NetworkXNoPath:
        return 0
    return 1 / length


@served(
    docs="Each neighbourhood's searches in parallel in C++, its sources in the order of NetworkX's subgraph "
    "view (the set of the neighbours, replayed from the nodes' hashes). " + EXACT,
    rules=("undirected_only",), per_source=True, min_work=WORK_STATS, answers=(ZeroDivisionError,),
)
def local_efficiency(G):
    return sum(G.core.local_efficiencies(node_hashes(G), _filtered_length(G))) / len(G)


def _filtered_length(G):
    """len() of the node dict G.subgraph filters: a subgraph view's subgraphs filter the graph under it, whose
    length decides when they list their nodes in their node set's order."""
    source = None if G.native else G.source
    if hasattr(source, "_NODE_OK"):
        return len(source._graph._node)
    return len(G)
