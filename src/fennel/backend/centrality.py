"""Betweenness and edge betweenness centrality."""

import math

import networkx as nx
from networkx.algorithms.centrality import betweenness as _nx_betweenness

from . import progress
from .checks import check_data, graph_for
from .graph import record


def _rescale(raw, n, *, normalized, directed, endpoints, sources):
    """NetworkX's betweenness._rescale, operation by operation."""
    k = None if sources is None else len(sources)
    N = n if endpoints else n - 1
    if N < 2:
        return raw
    K_source = N if k is None else k
    if k is None or endpoints:
        if normalized:
            scale = 1 / (K_source * (N - 1))
        else:
            correction = 2 if not directed else 1
            scale = N / (K_source * correction)
        if scale != 1:
            return [b * scale for b in raw]
        return raw
    if normalized:
        scale_source = 1 / ((K_source - 1) * (N - 1)) if K_source > 1 else math.nan
        scale_nonsource = 1 / (K_source * (N - 1))
    else:
        correction = 1 if directed else 2
        scale_source = N / ((K_source - 1) * correction) if K_source > 1 else math.nan
        scale_nonsource = N / (K_source * correction)
    sampled = set(sources)
    return [b * (scale_source if i in sampled else scale_nonsource) for i, b in enumerate(raw)]


def _sample_positions(fg, k, seed):
    """Positions of the sources NetworkX samples, in sample order."""
    rng = nx.utils.create_py_random_state(seed)
    sample = rng.sample(list(fg.nodes), k)
    index = fg.index
    return [index[v] for v in sample]


def betweenness_centrality(G, k=None, normalized=True, weight=None, endpoints=False, seed=None):
    """Betweenness centrality, equal to NetworkX's bit for bit."""
    name = "betweenness_centrality"
    a = locals().copy()
    fg = graph_for(name, a)
    check_data(name, fg, a)  # (re)builds the core before the sample: nothing may refuse once the RNG moved
    n = len(fg.nodes)
    if k == n:
        k = None
    sources = None if k is None else _sample_positions(fg, k, seed)
    with progress.counted(name, fg, n if sources is None else len(sources)):
        raw = fg.core.betweenness(weight, bool(endpoints), sources)
    values = _rescale(raw, n, normalized=normalized, directed=fg.directed, endpoints=endpoints, sources=sources)
    record("ran", name)
    return dict(zip(fg.nodes, values))


def edge_betweenness_centrality(G, k=None, normalized=True, weight=None, seed=None):
    """Edge betweenness centrality, equal to NetworkX's bit for bit."""
    name = "edge_betweenness_centrality"
    a = locals().copy()
    fg = graph_for(name, a)
    check_data(name, fg, a)
    core = fg.core
    n = len(fg.nodes)
    sources = None if k is None else _sample_positions(fg, k, seed)
    with progress.counted(name, fg, n if sources is None else len(sources)):
        raw = core.edge_betweenness(weight, sources)
    values = _rescale(raw, n, normalized=normalized, directed=fg.directed, endpoints=True, sources=sources)
    nodes = fg.nodes
    us, vs, _ = core.edges_in_order()
    result = dict(zip(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)), values))
    if fg.multigraph:
        result = _nx_betweenness._add_edge_keys(fg.source, result, weight=weight)
    record("ran", name)
    return result
