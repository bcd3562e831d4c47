"""Distance measures: closeness, eccentricity and its extrema, average
shortest path length, Wiener index and the all-pairs path lengths.

Unweighted measures come from the bit-parallel breadth-first statistics
(reached, total and largest hop count per source), which answer 64 sources
per pass over the graph. Weighted ones come from per-source Dijkstra
searches run in parallel, a bounded batch of sources at a time. Totals are
added as NetworkX's ``sum()`` adds them, in its order: exactly over int
weights, and over floats as the running interpreter's ``sum()`` does (plain
before CPython 3.12, compensated from 3.12 on). Per-source sums that are
cheap next to their search (barycenter) use Python's ``sum()`` itself over
the values typed as NetworkX types them.
"""

import itertools

import networkx as nx

from . import progress
from .checks import COMPENSATED_SUM, NX_VERSION, check_data, checked_graph, graph_for
from .graph import no_gc_pauses, record, refuse
from .kinds import NP_FLOAT, NUMPY_BIT, NUMPY_KINDS, PY_FLOAT, PY_INT, typed
from .shortest_paths import _batches, _bfs_cutoff, _bfs_lengths, _by_source, _cut, _dijkstra_lengths
from .traversal import follow_sources


def _not_connected(fg):
    if fg.directed:
        return nx.NetworkXError("Found infinite path length because the digraph is not strongly connected")
    return nx.NetworkXError("Found infinite path length because the graph is not connected")


def _kind(fg, weight):
    """The one kind of NetworkX's distances over `weight`, or None when the weights mix kinds."""
    return PY_INT if weight is None else fg.weight_facts(weight).uniform_kind()


def _compensated(fg, weight):
    """Whether NetworkX's sum() of these distances is compensated: floats from CPython 3.12
    on, but never once a numpy float64 sends sum() down its generic path of plain adds."""
    return COMPENSATED_SUM and _kind(fg, weight) != NP_FLOAT


def _typed(fg, weight, dist, kinds=None):
    """One search's distances as NetworkX types them: the source's int 0, then the
    weights' kind, or over weights of several kinds the kind each path summed."""
    if kinds is not None:
        dist = [typed(k)(d) for d, k in zip(dist, kinds)]
    else:
        kind = _kind(fg, weight)
        if kind != PY_FLOAT:
            dist = list(map(typed(kind), dist))
    dist[0] = 0
    return dist


def _dijkstra_searches(fg, weight, cut=None, sources=None, name=None):
    """(source position, order, typed distances) per source (all nodes in G's order by default).

    A negative cycle met by a source raises NetworkX's ValueError when that
    source's turn comes, as NetworkX's loop over the sources does.
    """
    for batch in _batches(fg, name) if sources is None else [sources]:
        for s, found in zip(batch, fg.core.dijkstra_many(batch, weight, cut)):
            if found is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            order, dist, kinds = found
            yield s, order, _typed(fg, weight, dist, kinds)


# ---------------------------------------------------------------------------
# Eccentricity and its extrema


def _eccentricities(name, fg, a, weight, sources=None):
    """NetworkX's eccentricity values of `sources` (all nodes by default), in order."""
    check_data(name, fg, a)
    n = len(fg)
    if weight is None:
        with progress.counted(name, fg, n if sources is None else len(sources)):
            stats = fg.core.bfs_stats(sources)
        if any(reached != n for reached, _, _ in stats):
            raise _not_connected(fg)
        return [far for _, _, far in stats]
    kind = _kind(fg, weight)
    if kind is None:
        # Weights of several kinds: NetworkX's max() over each typed lengths dict.
        values = []
        for _, order, dist in _dijkstra_searches(fg, weight, sources=sources):
            if len(order) != n:
                raise _not_connected(fg)
            values.append(max(dist))
        return values
    as_kind = typed(kind)
    values = []
    with progress.counted(name, fg, n if sources is None else len(sources)):
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


def eccentricity(G, v=None, sp=None, weight=None):
    name = "eccentricity"
    a = locals().copy()
    fg = graph_for(name, a)
    if v is None:
        values = _eccentricities(name, fg, a, weight)
        record("ran", name)
        return dict(zip(fg.nodes, values))
    if v in fg:
        (value,) = _eccentricities(name, fg, a, weight, [fg.index[v]])
        record("ran", name)
        return value
    # Several nodes: NetworkX's own selection of them, errors included.
    nodes = list(fg.source.nbunch_iter(v))
    values = _eccentricities(name, fg, a, weight, [fg.index[u] for u in nodes]) if nodes else []
    record("ran", name)
    return dict(zip(nodes, values))


def _extremum(name, a, pick):
    fg = graph_for(name, a)
    values = _eccentricities(name, fg, a, a["weight"])
    result = pick(fg, values)
    record("ran", name)
    return result


def diameter(G, e=None, usebounds=False, weight=None):
    return _extremum("diameter", locals().copy(), lambda fg, values: max(values))


def radius(G, e=None, usebounds=False, weight=None):
    return _extremum("radius", locals().copy(), lambda fg, values: min(values))


def periphery(G, e=None, usebounds=False, weight=None):
    def nodes_at(fg, values):
        far = max(values)
        return [v for v, x in zip(fg.nodes, values) if x == far]

    return _extremum("periphery", locals().copy(), nodes_at)


def center(G, e=None, usebounds=False, weight=None):
    name = "center"

    def nodes_at(fg, values):
        near = min(values)
        return [v for v, x in zip(fg.nodes, values) if x == near]

    return _extremum(name, locals().copy(), nodes_at)


# ---------------------------------------------------------------------------
# Sums over all pairs


def _connected(fg):
    """Whether every node reaches every other (strongly, on a digraph)."""
    n = len(fg)
    if fg.directed:
        return all(reached == n for reached, _, _ in fg.core.bfs_stats())
    return fg.core.bfs_stats([0])[0][0] == n


def _pair_searches(fg):
    """Searches of _connected and _pair_total together."""
    n = len(fg)
    return 2 * n if fg.directed else n + 1


def _pair_total(fg, weight):
    """NetworkX's sum of the distances over all pairs, in its order and types."""
    if weight is None:
        return sum(total for _, total, _ in fg.core.bfs_stats())
    if _kind(fg, weight) is None:
        # Weights of several kinds: sum() itself over the typed distances.
        return sum(itertools.chain.from_iterable(dist for _, _, dist in _dijkstra_searches(fg, weight)))
    total = fg.core.dijkstra_stats(weight, compensated_sum=_compensated(fg, weight))[1]
    if total is None:
        raise ValueError("Contradictory paths found:", "negative weights?")
    # sum() meets the int 0 first: a numpy kind takes over at the first
    # distance to another node.
    kind = _kind(fg, weight)
    return typed(kind)(total) if kind & NUMPY_BIT and len(fg) > 1 else total


def average_shortest_path_length(G, weight=None, method=None):
    name = "average_shortest_path_length"
    a = locals().copy()
    fg = graph_for(name, a)
    if method is None:
        method = "unweighted" if weight is None else "dijkstra"
    n = len(fg)
    if n == 0:
        raise nx.NetworkXPointlessConcept(
            "the null graph has no paths, thus there is no average shortest path length"
        )
    if n == 1:
        record("ran", name)
        return 0
    weight = None if method == "unweighted" else weight
    a["weight"] = weight
    check_data(name, fg, a)
    with progress.counted(name, fg, _pair_searches(fg)):
        if not _connected(fg):
            raise nx.NetworkXError(f"Graph is not {'strongly ' if fg.directed else ''}connected.")
        total = _pair_total(fg, weight)
    record("ran", name)
    return total / (n * (n - 1))


def wiener_index(G, weight=None):
    name = "wiener_index"
    a = locals().copy()
    fg = graph_for(name, a)
    check_data(name, fg, a)
    with progress.counted(name, fg, _pair_searches(fg)):
        if not _connected(fg):
            record("ran", name)
            return float("inf")
        total = _pair_total(fg, weight)
    record("ran", name)
    return total if fg.directed else total / 2


# ---------------------------------------------------------------------------
# Closeness


def closeness_centrality(G, u=None, distance=None, wf_improved=True, *, sp=None):
    name = "closeness_centrality"
    a = locals().copy()
    fg = graph_for(name, a)
    if u is None:
        sources = None
    else:
        if distance is not None:
            {u}  # noqa: B018 - an unhashable node raises TypeError, as NetworkX's Dijkstra does
        if u not in fg:
            missing = f"Source {u} is not in G" if distance is None else f"Node {u} not found in graph"
            raise nx.NodeNotFound(missing)
        sources = [fg.index[u]]
    check_data(name, fg, a)
    if _kind(fg, distance) is None:
        values = _typed_closeness(fg, distance, wf_improved, sources)
        record("ran", name)
        return values[0] if u is not None else dict(zip(fg.nodes, values))
    with progress.counted(name, fg, len(fg) if sources is None else 1):
        values = fg.core.closeness(distance, wf_improved, sources, compensated_sum=_compensated(fg, distance))
    if _kind(fg, distance) & NUMPY_BIT:
        # A numpy total makes the value numpy.float64; NetworkX's 0.0 for a
        # node reaching nothing at a positive distance stays a float (the
        # data rules keep totals finite and values from underflowing).
        values = [typed(NP_FLOAT)(x) if x > 0 else x for x in values]
    record("ran", name)
    return values[0] if u is not None else dict(zip(fg.nodes, values))


def _typed_closeness(fg, distance, wf_improved, sources):
    """NetworkX's closeness formula over typed distances (weights of several kinds, undirected)."""
    n = len(fg)
    values = []
    for _, order, dist in _dijkstra_searches(fg, distance, sources=sources):
        totsp = sum(dist)
        value = 0.0
        if totsp > 0.0 and n > 1:
            value = (len(order) - 1.0) / totsp
            if wf_improved:
                value *= (len(order) - 1.0) / (n - 1)
        values.append(value)
    return values


# ---------------------------------------------------------------------------
# All-pairs lengths


def _bfs_lengths_by_source(fg, cutoff, name):
    limit = _bfs_cutoff(cutoff)
    return _by_source(fg, lambda batch: fg.core.bfs_length_dicts(batch, limit, fg.node_tuple), name)


def _dijkstra_lengths_by_source(fg, weight, cut, name):
    nodes = fg.nodes
    for batch in _batches(fg, name):
        with no_gc_pauses():
            found = fg.core.dijkstra_length_dicts(batch, fg.node_tuple, weight, cut)
        for s, lengths in zip(batch, found):
            if lengths is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            yield nodes[s], lengths


def all_pairs_shortest_path_length(G, cutoff=None):
    name = "all_pairs_shortest_path_length"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return follow_sources(fg, _bfs_lengths_by_source(fg, cutoff, name),
                          lambda G, n: nx.single_source_shortest_path_length(G, n, cutoff=cutoff))


def all_pairs_dijkstra_path_length(G, cutoff=None, weight="weight"):
    name = "all_pairs_dijkstra_path_length"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return follow_sources(fg, _dijkstra_lengths_by_source(fg, weight, _cut(cutoff), name),
                          lambda G, n: nx.single_source_dijkstra_path_length(G, n, cutoff=cutoff, weight=weight))


def all_pairs_lengths(name, fg, a, weight):
    """shortest_path_length(G): every source's lengths, as the all-pairs generators give them."""
    check_data(name, fg, a)
    record("ran", name)
    if weight is None:
        return follow_sources(fg, _bfs_lengths_by_source(fg, None, name), nx.single_source_shortest_path_length)
    return follow_sources(fg, _dijkstra_lengths_by_source(fg, weight, None, name),
                          lambda G, n: nx.single_source_dijkstra_path_length(G, n, weight=weight))


# ---------------------------------------------------------------------------
# Harmonic measures and the barycenter


def harmonic_centrality(G, nbunch=None, distance=None, sources=None):
    name = "harmonic_centrality"
    a = locals().copy()
    fg = graph_for(name, a)
    H = fg.source  # NetworkX's own node selection, errors included
    targets = set(H.nbunch_iter(nbunch) if nbunch is not None else fg.nodes)
    starts = set(H.nbunch_iter(sources) if sources is not None else fg.nodes)
    check_data(name, fg, a)
    if len(targets) < len(starts):
        # NetworkX then searches from each target over the reversed graph and
        # adds 1/d per target in the order that search reached the sources;
        # its result keeps the targets' order.
        values = dict.fromkeys(targets, 0)
        for v in targets:
            values[v] = _harmonic_from(fg, v, starts, distance)
        record("ran", name)
        return values
    index = fg.index
    if distance is not None and _kind(fg, distance) is None and fg.weight_facts(distance).kinds & NUMPY_KINDS:
        # numpy weights mixed with others: NetworkX's loop over typed lengths.
        centrality = {u: 0 for u in targets}
        for v in starts:
            (dist,) = fg.core.dijkstra_length_dicts([index[v]], fg.node_tuple, distance, None)
            if dist is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            for u, d_uv in dist.items():
                if d_uv != 0 and u in targets:
                    centrality[u] += 1 / d_uv
        record("ran", name)
        return centrality
    in_nbunch = [False] * len(fg)
    for u in targets:
        in_nbunch[index[u]] = True
    with progress.counted(name, fg, len(starts)):
        sums, hit = fg.core.harmonic([index[v] for v in starts], in_nbunch, distance)
    record("ran", name)
    # Over numpy weights (of one kind, the data rules say) every 1 / d is numpy.float64.
    kind = float if distance is None or _kind(fg, distance) & NUMPY_BIT == 0 else typed(NP_FLOAT)
    return {u: kind(sums[index[u]]) if hit[index[u]] else 0 for u in targets}


def _harmonic_from(fg, v, starts, distance):
    """The running `+= 1 / d` over the sources reached from `v` against the edges."""
    s = fg.index[v]
    core = fg.load_exact_pred() if fg.directed else fg.core
    if distance is None:
        lengths = _bfs_lengths(fg, core, v, s, None, fg.directed)
    else:
        lengths = _dijkstra_lengths(fg, core, v, s, distance, None, fg.directed)
    total = 0
    for u, d in lengths.items():
        if d != 0 and u in starts:
            total += 1 / d
    return total


def _inverse_distance_total(distances):
    """NetworkX's running `total += 1 / d` over every non-zero distance, in order (int 0 if none)."""
    total = 0
    for dist in distances:
        for d in dist:
            if d != 0:
                total += 1 / d
    return total


def global_efficiency(G):
    name = "global_efficiency"
    a = locals().copy()
    fg = graph_for(name, a)
    n = len(fg)
    denom = n * (n - 1)
    if denom == 0:
        record("ran", name)
        return 0
    total = _inverse_distance_total(
        levels for batch in _batches(fg, name) for _, levels in fg.core.bfs_many(batch, float("inf"))
    )
    record("ran", name)
    return total / denom


def harmonic_diameter(G, sp=None, *, weight=None):
    name = "harmonic_diameter"
    a = locals().copy()
    fg = graph_for(name, a)
    check_data(name, fg, a)
    order = len(fg)
    # NetworkX runs Dijkstra even without a weight (unit weights, int sums).
    total = _inverse_distance_total(dist for _, _, dist in _dijkstra_searches(fg, weight, name=name))
    record("ran", name)
    if total != 0:
        return order * (order - 1) / total
    return float("inf") if order > 1 else float("nan")


def _barycenter(name, a):
    fg = graph_for(name, a)
    weight = a["weight"]
    n = len(fg)
    check_data(name, fg, a)
    if weight is None:
        with progress.counted(name, fg, n):
            stats = fg.core.bfs_stats()
        per_source = ((s, reached, total) for s, (reached, total, _) in enumerate(stats))
    else:
        per_source = ((s, len(order), sum(dist)) for s, order, dist in _dijkstra_searches(fg, weight, name=name))
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
    record("ran", name)
    return found


def barycenter(G, weight=None, attr=None, sp=None):
    return _barycenter("barycenter", locals().copy())


def centroid(G, weight=None, attr=None, sp=None):
    return _barycenter("centroid", locals().copy())
