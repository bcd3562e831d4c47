"""Distance measures: eccentricity and its extrema, the harmonic diameter and the barycenter
(NetworkX's distance_measures).

Unweighted measures come from the bit-parallel breadth-first statistics
(reached, total and largest hop count per source), which answer 64 sources
per pass over the graph. Weighted ones come from per-source Dijkstra
searches run in parallel, a bounded batch of sources at a time. Per-source
sums that are cheap next to their search (barycenter) use Python's ``sum()``
itself over the values typed as NetworkX types them.
"""

import networkx as nx

from .. import _remote
from . import executor, progress
from .checks import COMPENSATED_SUM, NX_VERSION, absent, argument_rule, edge_count
from .kinds import typed
from .serve import STATS_DOCS, WORK_STATS, served
from .shared import dijkstra_searches, distance_kind, inverse_distance_total

_EXTREMA_RULES = ("weight_name", "e", "null_graph", "usebounds")
_BARYCENTER_RULES = ("weight_name", "sp", "attr", "null_graph", "tree_like")

argument_rule("e", absent("e", "precomputed eccentricities"))
argument_rule(
    "usebounds",
    lambda a: "the bounding algorithm is left to NetworkX" if a["usebounds"] is True and not a["G"].is_directed()
    else None,
)
argument_rule(
    "harmonic_weight",
    lambda a: "this NetworkX version has no weight parameter" if a["weight"] is not None and NX_VERSION < (3, 5)
    else None,
)


@argument_rule("tree_like")
def _tree_like(a):
    """NetworkX answers undirected trees by a tree-only walk, in an order of its own."""
    G = a["G"]
    if a["weight"] is None and not G.is_directed() and len(G) and edge_count(G) == len(G) - 1:
        return "trees are left to NetworkX"
    return None


def _not_connected(fg):
    if fg.directed:
        return nx.NetworkXError("Found infinite path length because the digraph is not strongly connected")
    return nx.NetworkXError("Found infinite path length because the graph is not connected")


def _eccentricities(fg, weight, sources=None):
    """NetworkX's eccentricity values of ``sources`` (all nodes by default), in order."""
    n = len(fg)
    positions = range(n) if sources is None else sources
    if weight is None:
        if cl := executor.cluster(fg, len(positions), per_pass=64):
            stats = executor.per_source(cl, fg, _remote.bfs_stats, lambda b: (b,), positions)
        else:
            with progress.counted(fg, len(positions)):
                stats = fg.core.bfs_stats(sources)
        if any(reached != n for reached, _, _ in stats):
            raise _not_connected(fg)
        return [far for _, _, far in stats]
    kind = distance_kind(fg, weight)
    if kind is None:
        # Weights of several kinds: NetworkX's max() over each typed lengths dict.
        values = []
        for _, order, dist in dijkstra_searches(fg, weight, sources=sources):
            if len(order) != n:
                raise _not_connected(fg)
            values.append(max(dist))
        return values
    as_kind = typed(kind)
    values = []
    if cl := executor.cluster(fg, len(positions)):
        per_source = executor.per_source(cl, fg, _remote.dijkstra_stats, lambda b: (weight, b, COMPENSATED_SUM),
                                         positions)
    else:
        with progress.counted(fg, len(positions)):
            per_source = fg.core.dijkstra_stats(weight, sources, compensated_sum=COMPENSATED_SUM)[0]
    for entry in per_source:
        if entry is None:
            raise ValueError("Contradictory paths found:", "negative weights?")
        reached, far = entry
        if reached != n:
            raise _not_connected(fg)
        # max() over NetworkX's values: the source's int 0, then the weights' kind.
        values.append(as_kind(far) if far > 0 else 0)
    return values


@served(docs=STATS_DOCS, weight="weight", rules=("weight_name", "sp", "null_graph"),
        data_rules=("dijkstra_weights",), per_source=True, min_work=WORK_STATS)
def eccentricity(G, v=None, sp=None, weight=None):
    if v is None:
        return dict(zip(G.nodes, _eccentricities(G, weight)))
    if v in G:
        (value,) = _eccentricities(G, weight, [G.index[v]])
        return value
    # Several nodes: NetworkX's own selection of them, errors included.
    nodes = list(G.source.nbunch_iter(v))
    values = _eccentricities(G, weight, [G.index[u] for u in nodes]) if nodes else []
    return dict(zip(nodes, values))


@served(docs=STATS_DOCS, weight="weight", rules=_EXTREMA_RULES, data_rules=("dijkstra_weights",), per_source=True,
        min_work=WORK_STATS)
def diameter(G, e=None, usebounds=False, weight=None):
    return max(_eccentricities(G, weight))


@served(docs=STATS_DOCS, weight="weight", rules=_EXTREMA_RULES, data_rules=("dijkstra_weights",), per_source=True,
        min_work=WORK_STATS)
def radius(G, e=None, usebounds=False, weight=None):
    return min(_eccentricities(G, weight))


@served(docs=STATS_DOCS, weight="weight", rules=_EXTREMA_RULES, data_rules=("dijkstra_path_weights",),
        per_source=True, min_work=WORK_STATS)
def periphery(G, e=None, usebounds=False, weight=None):
    values = _eccentricities(G, weight)
    far = max(values)
    return [v for v, x in zip(G.nodes, values) if x == far]


@served(docs=STATS_DOCS + " Undirected unweighted trees are left to NetworkX.", weight="weight",
        rules=_EXTREMA_RULES + ("tree_like",), data_rules=("dijkstra_path_weights",), per_source=True,
        min_work=WORK_STATS)
def center(G, e=None, usebounds=False, weight=None):
    values = _eccentricities(G, weight)
    near = min(values)
    return [v for v, x in zip(G.nodes, values) if x == near]


@served(docs=STATS_DOCS, weight="weight", rules=("weight_name", "sp", "harmonic_weight"),
        data_rules=("dijkstra_weights", "reads_none"), per_source=True, min_work=WORK_STATS)
def harmonic_diameter(G, sp=None, *, weight=None):
    order = len(G)
    # NetworkX runs Dijkstra even without a weight (unit weights, int sums).
    total = inverse_distance_total(dist for _, _, dist in dijkstra_searches(G, weight, counted=True))
    if total != 0:
        return order * (order - 1) / total
    return float("inf") if order > 1 else float("nan")


def _barycenter(fg, weight):
    n = len(fg)
    if weight is None:
        with progress.counted(fg, n):
            stats = fg.core.bfs_stats()
        per_source = ((s, reached, total) for s, (reached, total, _) in enumerate(stats))
    else:
        per_source = ((s, len(order), sum(dist)) for s, order, dist in dijkstra_searches(fg, weight, counted=True))
    smallest, found = float("inf"), []
    for s, reached, barycentricity in per_source:
        if reached < n:
            raise nx.NetworkXNoPath(
                f"Input graph {fg.source} is disconnected, so every induced subgraph has infinite barycentricity."
            )
        if barycentricity < smallest:
            smallest, found = barycentricity, [fg.nodes[s]]
        elif barycentricity == smallest:
            found.append(fg.nodes[s])
    return found


# NetworkX 3.7 dispatches barycenter as centroid, its new name; earlier
# releases dispatch a tree's centroid (another function) under that name.
_BARYCENTER_NAME = nx.barycenter.name


@served(docs=STATS_DOCS, weight="weight", rules=_BARYCENTER_RULES, data_rules=("dijkstra_weights",),
        per_source=True, min_work=WORK_STATS, dispatched=_BARYCENTER_NAME == "barycenter")
def barycenter(G, weight=None, attr=None, sp=None):
    return _barycenter(G, weight)


@served(docs=STATS_DOCS, weight="weight", rules=_BARYCENTER_RULES, data_rules=("dijkstra_weights",),
        per_source=True, min_work=WORK_STATS, dispatched=_BARYCENTER_NAME == "centroid")
def centroid(G, weight=None, attr=None, sp=None):
    return _barycenter(G, weight)
