"""The Wiener index (NetworkX's wiener)."""

from . import progress
from .serve import STATS_DOCS, WORK_STATS, served
from .shared import connected, pair_searches, pair_total


@served(docs=STATS_DOCS, weight="weight", rules=("weight_name", "null_graph"), data_rules=("dijkstra_weights",),
        per_source=True, min_work=WORK_STATS)
def wiener_index(G, weight=None):
    with progress.counted(G, pair_searches(G)):
        if not connected(G):
            return float("inf")
        total = pair_total(G, weight)
    return total if G.directed else total / 2
