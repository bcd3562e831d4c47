"""Subset betweenness (NetworkX's betweenness_subset).

Brandes' searches from the given sources and the subset accumulations run
in parallel in C++, the totals added source by source in NetworkX's order;
the rescaling is NetworkX's ``_rescale`` (without a sample), operation by
operation, and multigraph keys are shared out by NetworkX's own
``_add_edge_keys``.
"""

import inspect

from networkx.algorithms.centrality import betweenness as _nx_betweenness
from networkx.algorithms.centrality import betweenness_subset as _nx_subset

from . import centrality  # noqa: F401 - registers the betweenness data rules named below
from . import progress
from .checks import argument_rule, data_rule
from .serve import EXACT, WORK_BETWEENNESS, served

# Releases before 3.6 rescaled subset betweenness with a _rescale of the
# module's own (other constants); fennel follows the shared one that takes
# `endpoints` and `sampled_nodes`.
_shared = getattr(_nx_betweenness, "_rescale", None)
_RESCALE_SHARED = (
    getattr(_nx_subset, "_rescale", None) is _shared
    and _shared is not None
    and "sampled_nodes" in inspect.signature(_shared).parameters
)
_RELEASE = None if _RESCALE_SHARED else "this NetworkX version rescales subset betweenness differently"

_DOCS = (
    "Brandes' searches from the sources and the subset accumulation run in parallel in C++, the totals added in "
    "NetworkX's source order. " + EXACT + " Falls back to NetworkX for sources or targets given as one-shot "
    "iterators, sources not in G, unhashable targets, and weights that are None, callable or non-numeric."
)


@argument_rule("subset_nodes")
def _subset_nodes(a):
    G, sources, targets = a["G"], a["sources"], a["targets"]
    for name, nodes in (("sources", sources), ("targets", targets)):
        try:
            if iter(nodes) is nodes:
                return f"{name} given as an iterator are left to NetworkX"
        except TypeError:
            return f"{name} that are not iterable are left to NetworkX"
    try:
        if not all(s in G for s in sources):
            return "a source not in G is left to NetworkX"
        set(targets)
    except TypeError:
        return "unhashable sources or targets are left to NetworkX"
    return None


def _rescale(raw, n, *, normalized, directed, endpoints):
    """NetworkX's _rescale without sampled nodes."""
    N = n if endpoints else n - 1
    if N < 2:
        return raw
    if normalized:
        scale = 1 / (N * (N - 1))
    else:
        scale = N / (N * (1 if directed else 2))
    if scale != 1:
        return [b * scale for b in raw]
    return raw


def _positions(G, sources, targets):
    index = G.index
    flags = [False] * len(G)
    for t in set(targets):
        position = index.get(t)
        if position is not None:
            flags[position] = True
    return [index[s] for s in sources], flags


@served(docs=_DOCS, weight="weight", rules=("weight_name", "subset_nodes"), data_rules=("betweenness_weights",),
        per_source=True, min_work=WORK_BETWEENNESS, release=_RELEASE)
def betweenness_centrality_subset(G, sources, targets, normalized=False, weight=None):
    starts, flags = _positions(G, sources, targets)
    with progress.counted(G, len(starts)):
        raw = G.core.betweenness_subset(weight, starts, flags)
    values = _rescale(raw, len(G), normalized=normalized, directed=G.directed, endpoints=False)
    return dict(zip(G.nodes, values))


@served(docs=_DOCS, weight="weight", rules=("weight_name", "subset_nodes"),
        data_rules=("betweenness_weights", "edge_key_clash", "keys"), per_source=True, min_work=WORK_BETWEENNESS,
        release=_RELEASE)
def edge_betweenness_centrality_subset(G, sources, targets, normalized=False, weight=None):
    starts, flags = _positions(G, sources, targets)
    core = G.core
    with progress.counted(G, len(starts)):
        raw = core.edge_betweenness_subset(weight, starts, flags)
    values = _rescale(raw, len(G), normalized=normalized, directed=G.directed, endpoints=True)
    nodes = G.nodes
    us, vs, _ = core.edges_in_order()
    result = dict(zip(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)), values))
    if G.multigraph:
        result = _nx_betweenness._add_edge_keys(G.source, result, weight=weight)
    return result
