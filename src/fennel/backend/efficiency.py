"""Global efficiency (NetworkX's efficiency_measures)."""

from .serve import STATS_DOCS, WORK_STATS, served
from .shared import INF, batches, inverse_distance_total


@served(docs=STATS_DOCS, rules=("undirected_only",), per_source=True, min_work=WORK_STATS)
def global_efficiency(G):
    n = len(G)
    denom = n * (n - 1)
    if denom == 0:
        return 0
    levels = (found for batch in batches(G, counted=True) for _, found in G.core.bfs_many(batch, INF).lengths())
    return inverse_distance_total(levels) / denom
