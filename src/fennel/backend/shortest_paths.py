"""Shortest paths and their lengths (NetworkX's shortest_paths: generic, unweighted, weighted).

Each function reproduces NetworkX's result shape: dicts keyed in the order
NetworkX fills them, the source (or target) as the caller gave it and every
other node as G's own key, ints where NetworkX's sums are ints, and errors
raised where NetworkX raises them (at the call, or on first iteration of a
generator). The all-pairs generators search a bounded batch of sources at a
time, in parallel, so memory stays proportional to n times the batch, and
hand the remaining sources to NetworkX's loop once the graph changed.
"""

import functools
import warnings

import networkx as nx
from networkx.algorithms.shortest_paths.generic import _build_paths_from_predecessors

from .. import _remote
from . import executor, progress
from .checks import NX_VERSION, argument_rule, data_rule, none_key, one_kind, pred_keys, weights
from .kinds import typed
from .native import compact_form
from .serve import (
    EXACT, STATS_DOCS, WORK_ALL_PAIRS, WORK_BFS, WORK_DIJKSTRA, WORK_STATS, always, served, with_cutoff, with_pair,
    with_target_or_cutoff,
)
from .shared import (
    RowIterator, batches, bfs_lengths, bfs_limit, changed, connected, dijkstra_lengths, distance_kind, no_gc_pauses,
    objects, pair_searches, pair_total, raising, watch,
)

_BFS = "Breadth-first search in C++. " + EXACT
_PATHS = "Breadth-first search in C++; paths built as NetworkX builds them. " + EXACT
_WEIGHTED_LENGTHS = (
    "Dijkstra search in C++, each distance typed as NetworkX's sum along its path (int, float, "
    "numpy.int64 or numpy.float64). " + EXACT + " Falls back to NetworkX for callable weights."
)
_WEIGHTED_PATHS = (
    "Dijkstra search in C++; paths and distances built as NetworkX builds them, each distance typed as "
    "NetworkX's sum along its path. " + EXACT + " Falls back to NetworkX for callable weights."
)
_PAIRS = " All-pairs generators search a bounded batch of sources at a time, in parallel."
_TWO_WAY = "Bidirectional breadth-first search in C++. " + EXACT
_BOTH = "Breadth-first or Dijkstra search in C++, as NetworkX picks. " + EXACT
_ALL_PATHS = (
    "Predecessor search in C++; paths walked in NetworkX's order. " + EXACT + " Falls back to NetworkX for "
    "methods other than Dijkstra with a weight."
)
_DIJKSTRA_RULES = ("weight_name", "dijkstra_cutoff")
# Functions that search by Dijkstra whatever the weight.
_ALWAYS_DIJKSTRA = ("dijkstra_weights", "reads_none", "keys")
# Paths alone do not depend on the types of the distances.
_ALWAYS_DIJKSTRA_PATHS = ("dijkstra_path_weights", "reads_none", "keys")


def _returns_dict(function):
    """Whether NetworkX's own function returns a dict (older releases yield pairs).

    Runs NetworkX's implementation itself, past its dispatcher, which may be
    loading this very backend.
    """
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        G = nx.Graph()
        G.add_node(0)
        return isinstance(function.orig_func(G, 0), dict)


def _same_node(fg, u, v):
    """Whether u and v are one node of fg (a pair search then answers without searching)."""
    index = fg.index
    try:
        return u in index and v in index and index[u] == index[v]
    except TypeError:  # an unhashable node, which the search rejects as NetworkX does
        return False


def _two_way(fg, a):
    """Whether the call searches from both ends of a pair (of distinct nodes)."""
    source, target = a["source"], a["target"]
    return source is not None and target is not None and not _same_node(fg, source, target)


def _from_target(a):
    """Whether the call searches from the target alone (NetworkX's G.reverse(copy=False))."""
    return a["source"] is None and a["target"] is not None


@argument_rule("path_method")
def _path_method(a):
    """shortest_path's methods: NetworkX raises for unknown ones; Bellman-Ford is its own."""
    if a["method"] not in ("dijkstra", "bellman-ford"):
        return "NetworkX raises for this method"
    return _weighted_method(a)


@argument_rule("weighted_method")
def _weighted_method(a):
    """all_shortest_paths' methods: any is unweighted without a weight; Dijkstra is served."""
    if a["weight"] is None or a["method"] == "dijkstra":
        return None
    return "methods other than Dijkstra are left to NetworkX"


@argument_rule("met_paths")
def _met_paths(a):
    """shortest_path's weighted path between two nodes; its length, and a path
    from a node to itself ([node]), are the same in every release."""
    source, target = a["source"], a["target"]
    pair = source is not None and target is not None and source is not target
    if pair and a["weight"] is not None and NX_VERSION < (3, 6):
        return "this NetworkX version builds bidirectional Dijkstra paths as met"
    return None


@argument_rule("all_pairs_dict")
def _all_pairs_dict(a):
    if a["source"] is None and a["target"] is None and NX_VERSION < (3, 5):
        return "this NetworkX version returns all pairs as a dict, with a warning"
    return None


@argument_rule("asp_method")
def _asp_method(a):
    if a["method"] in (None, "unweighted", "dijkstra"):
        return None
    return f"method {a['method']!r} is left to NetworkX"


# Searches that walk G._pred hand out its neighbour objects.
data_rule("target_keys", lambda fg, a: pred_keys(fg, a) if _from_target(a) else None)
data_rule("two_way_keys", lambda fg, a: pred_keys(fg, a) if _two_way(fg, a) else None)
# shortest_path_length answers a weighted pair by a one-way search.
data_rule(
    "two_way_bfs_keys", lambda fg, a: pred_keys(fg, a) if a["weight"] is None and _two_way(fg, a) else None
)
# Lengths typed by searches that do not follow G._adj's rows.
data_rule(
    "target_kinds",
    lambda fg, a: one_kind(fg, a["weight"], "runs backward") if fg.directed and _from_target(a) else None,
)
data_rule("two_way_kinds", lambda fg, a: one_kind(fg, a["weight"], "runs from both ends") if _two_way(fg, a) else None)


@data_rule("asp_weights")
def _asp_weights(fg, a):
    """average_shortest_path_length searches by Dijkstra for method "dijkstra" (reading
    ``data.get(None, 1)`` for weight=None) or for a weight without a method."""
    method, weight = a["method"], a["weight"]
    if len(fg) <= 1 or method == "unweighted" or (method is None and weight is None):
        return None
    if weight is None:
        return none_key(fg, None)
    return weights(fg, weight, hidden_allowed=True, typed=True)


def _position(fg, node, missing):
    """``node``'s position, or NetworkX's NodeNotFound(``missing``)."""
    if node not in fg:
        raise nx.NodeNotFound(missing)
    return fg.index[node]


def _dijkstra_source(fg, source, message):
    """A Dijkstra search's source position, with NetworkX's errors for a bad one."""
    {source}  # noqa: B018 - an unhashable source raises TypeError, as NetworkX's set of sources does
    return _position(fg, source, message)


def _cut(cutoff):
    return None if cutoff is None else float(cutoff)


def follow_sources(fg, items, result_of):
    """An all-pairs generator: ``items``, (node, result) in G's order, until the
    graph changes; then NetworkX's ``for n in G: yield (n, result_of(G, n))``
    from the same node on (its node iterator made on the first step).

    Graphs whose changes cannot be seen, or whose node dict is not a plain
    dict (views), keep ``items`` whatever happens.
    """
    watched = watch(fg)
    if watched is not None and compact_form(fg.source) is not fg and type(fg.source._node) is not dict:
        watched = None
    return _following_sources(fg, watched, items, result_of)


def _following_sources(fg, watched, items, result_of):
    items = iter(items)
    done = 0
    while not changed(watched):
        try:
            item = next(items)
        except StopIteration:
            return
        yield item
        done += 1
    G = fg.source
    for n in RowIterator(G._node, len(fg), done) if done else G:
        yield (n, result_of(G, n))


def _by_source(fg, build):
    """(node, result) per node in G's order, built by ``build(batch)`` a batch of sources at a time."""
    # The batches are counted from now, while the call's name labels them.
    return _built_by_source(fg, build, batches(fg, counted=True))


def _built_by_source(fg, build, sources):
    nodes = fg.nodes
    for batch in sources:
        with no_gc_pauses():
            found = build(batch)
        yield from zip(map(nodes.__getitem__, batch), found)


@served(docs=_BFS, rules=("bfs_cutoff",), data_rules=("keys",), min_work=WORK_BFS, bounded=with_cutoff)
def single_source_shortest_path_length(G, source, cutoff=None):
    """Hop counts from ``source`` in breadth-first order, as NetworkX returns them."""
    s = _position(G, source, f"Source {source} is not in G")
    return bfs_lengths(G, G.core, source, s, cutoff, False)


@served(docs=_WEIGHTED_LENGTHS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA,
        min_work=WORK_DIJKSTRA, bounded=with_cutoff)
def single_source_dijkstra_path_length(G, source, cutoff=None, weight="weight"):
    """Weighted distances from ``source`` in NetworkX's order and number types."""
    s = _dijkstra_source(G, source, f"Node {source} not found in graph")
    return dijkstra_lengths(G, G.core, source, s, weight, _cut(cutoff), False)


def _tree_paths(fg, core, node_obj, s, cutoff, reverse, toward):
    """NetworkX's _single_shortest_path dict: paths from ``node_obj``, or toward it.

    A single-target search joins each path in front of its parent's.
    """
    with no_gc_pauses():
        return core.bfs(s, bfs_limit(cutoff), reverse=reverse).paths(fg.node_tuple, node_obj, toward=toward)


@served(docs=_PATHS, rules=("bfs_cutoff",), data_rules=("keys",), min_work=WORK_BFS, bounded=with_cutoff)
def single_source_shortest_path(G, source, cutoff=None):
    s = _position(G, source, f"Source {source} not in G")
    return _tree_paths(G, G.core, source, s, cutoff, False, False)


@served(docs=_PATHS, rules=("bfs_cutoff",), data_rules=("keys", "pred_keys"), min_work=WORK_BFS,
        bounded=with_cutoff)
def single_target_shortest_path(G, target, cutoff=None):
    t = _position(G, target, f"Target {target} not in G")
    return _tree_paths(G, G.load_exact_pred(), target, t, cutoff, G.directed, True)


@served(docs=_PATHS, rules=("bfs_cutoff",), data_rules=("keys", "pred_keys"), min_work=WORK_BFS,
        bounded=with_cutoff,
        release=None if _returns_dict(nx.single_target_shortest_path_length)
        else "this NetworkX version yields the lengths lazily")
def single_target_shortest_path_length(G, target, cutoff=None):
    t = _position(G, target, f"Target {target} is not in G")
    return bfs_lengths(G, G.load_exact_pred(), target, t, cutoff, True)


def _all_pairs_paths(fg, cutoff):
    limit = bfs_limit(cutoff)
    return _by_source(fg, lambda batch: fg.core.bfs_many(batch, limit).paths(fg.node_tuple))


@served(docs=_PATHS + _PAIRS, rules=("bfs_cutoff",), data_rules=("keys",), per_source=True,
        min_work=WORK_ALL_PAIRS)
def all_pairs_shortest_path(G, cutoff=None):
    return follow_sources(G, _all_pairs_paths(G, cutoff),
                          lambda H, n: nx.single_source_shortest_path(H, n, cutoff=cutoff))


@functools.cache
def _paths_in_settle_order():
    """Whether the installed NetworkX keys Dijkstra's paths in settle order.

    NetworkX 3.6 builds the paths from the settled predecessors; 3.4 and 3.5
    stored each path when a node was first reached, so their keys follow
    first-seen order. Asked on first use: NetworkX's implementation calls
    back into the dispatcher.
    """
    G = nx.DiGraph()
    G.add_edge(0, 1, weight=5)
    G.add_edge(0, 2, weight=1)
    _, paths = nx.single_source_dijkstra.orig_func(G, 0)
    return list(paths) == [0, 2, 1]


def _search_to(fg, s, target, weight, cut):
    """(distance, positions, kind of the distance) of the path to ``target``, or None when it is not reached.

    A target G lacks is never reached: NetworkX then searches everything
    (and meets any contradictory path on the way) before it gives up.
    """
    if target in fg:
        t = fg.index[target]
        return fg.core.dijkstra(s, weight, cut, target=t).path(t)
    fg.core.dijkstra(s, weight, cut)
    return None


def _to_target(fg, source, s, target, weight, cut, with_length=True):
    """(distance, path) to ``target`` as NetworkX's multi_source_dijkstra returns them
    (the distance untyped unless ``with_length``: callers that drop it)."""
    if target in {source}:
        return 0, [target]
    found = _search_to(fg, s, target, weight, cut)
    if found is None:
        raise nx.NetworkXNoPath(f"No path to {target}.")
    d, positions, kind = found
    nodes = fg.nodes
    # NetworkX 3.6 walks the path back from the target it was given; earlier
    # releases extended the path to each node as its key in the rows.
    last = target if _paths_in_settle_order() else nodes[positions[-1]]
    path = [source, *map(nodes.__getitem__, positions[1:-1]), last]
    return typed(kind)(d) if with_length else d, path


def _dijkstra_paths(fg, core, node_obj, s, weight, cut, reverse=False, toward=False, distances=True):
    """NetworkX's (dist, paths) of one Dijkstra search from ``node_obj`` (paths toward it if ``toward``).

    Without ``distances`` the dist dict is not built (None in its place).
    """
    with no_gc_pauses():
        return core.dijkstra(s, weight, cut, reverse=reverse).paths(
            fg.node_tuple, node_obj, toward=toward, settle_keys=_paths_in_settle_order(), distances=distances,
        )


@served(docs=_WEIGHTED_PATHS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA,
        min_work=WORK_DIJKSTRA, bounded=with_target_or_cutoff)
def single_source_dijkstra(G, source, target=None, cutoff=None, weight="weight"):
    s = _dijkstra_source(G, source, f"Node {source} not found in graph")
    if target is None:
        return _dijkstra_paths(G, G.core, source, s, weight, _cut(cutoff))
    return _to_target(G, source, s, target, weight, _cut(cutoff))


@served(docs=_WEIGHTED_PATHS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA_PATHS,
        min_work=WORK_DIJKSTRA, bounded=with_cutoff)
def single_source_dijkstra_path(G, source, cutoff=None, weight="weight"):
    s = _dijkstra_source(G, source, f"Node {source} not found in graph")
    return _dijkstra_paths(G, G.core, source, s, weight, _cut(cutoff), distances=False)[1]


@served(docs=_WEIGHTED_PATHS, weight="weight", rules=("weight_name",), data_rules=_ALWAYS_DIJKSTRA_PATHS,
        min_work=WORK_DIJKSTRA, bounded=always)
def dijkstra_path(G, source, target, weight="weight"):
    s = _dijkstra_source(G, source, f"Node {source} not found in graph")
    return _to_target(G, source, s, target, weight, None, with_length=False)[1]


def _dijkstra_path_length(fg, source, target, weight):
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    if source == target:
        return 0
    found = _search_to(fg, fg.index[source], target, weight, None)
    if found is None:
        {target}  # noqa: B018 - NetworkX's final lookup of an unhashable target raises TypeError
        raise nx.NetworkXNoPath(f"Node {target} not reachable from {source}")
    d, _, kind = found
    return typed(kind)(d)


@served(docs=_WEIGHTED_PATHS, weight="weight", rules=("weight_name",), data_rules=("dijkstra_weights", "reads_none"),
        min_work=WORK_DIJKSTRA, bounded=always)
def dijkstra_path_length(G, source, target, weight="weight"):
    return _dijkstra_path_length(G, source, target, weight)


def _all_pairs_dijkstra(fg, weight, cut, distances=True):
    """(node, (dist, paths)) per node in G's order; a negative cycle raises at its source."""
    settle_keys = _paths_in_settle_order()
    return _by_source(fg, lambda batch: _unless_negative_cycle(
        fg.core.dijkstra_many(batch, weight, cut).paths(fg.node_tuple, settle_keys=settle_keys, distances=distances)
    ))


@served(docs=_WEIGHTED_PATHS + _PAIRS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA,
        per_source=True, min_work=WORK_ALL_PAIRS)
def all_pairs_dijkstra(G, cutoff=None, weight="weight"):
    return follow_sources(G, _all_pairs_dijkstra(G, weight, _cut(cutoff)),
                          lambda H, n: nx.single_source_dijkstra(H, n, cutoff=cutoff, weight=weight))


def _dijkstra_paths_by_source(fg, weight, cut):
    return ((v, found[1]) for v, found in _all_pairs_dijkstra(fg, weight, cut, False))


@served(docs=_WEIGHTED_PATHS + _PAIRS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA_PATHS,
        per_source=True, min_work=WORK_ALL_PAIRS)
def all_pairs_dijkstra_path(G, cutoff=None, weight="weight"):
    return follow_sources(G, _dijkstra_paths_by_source(G, weight, _cut(cutoff)),
                          lambda H, n: nx.single_source_dijkstra_path(H, n, cutoff=cutoff, weight=weight))


def _bfs_lengths_by_source(fg, cutoff):
    limit = bfs_limit(cutoff)
    if cl := executor.cluster(fg, len(fg)):
        nodes = fg.nodes
        found = executor.streamed(cl, fg, _remote.bfs_lengths, lambda b: (b, limit), range(len(fg)))
        return zip(nodes, (dict(zip(map(nodes.__getitem__, order), levels)) for order, levels in found))
    return _by_source(fg, lambda batch: fg.core.bfs_many(batch, limit).length_dicts(fg.node_tuple))


def _dijkstra_lengths_by_source(fg, weight, cut):
    kind = distance_kind(fg, weight)
    if kind is not None and (cl := executor.cluster(fg, len(fg))):
        found = executor.streamed(cl, fg, _remote.dijkstra_lengths, lambda b: (b, weight, cut), range(len(fg)))
        return zip(fg.nodes, _unless_negative_cycle(_typed_lengths(fg, kind, found)))
    return _by_source(
        fg, lambda batch: _unless_negative_cycle(fg.core.dijkstra_many(batch, weight, cut).length_dicts(fg.node_tuple))
    )


def _typed_lengths(fg, kind, found):
    """Length dicts from a cluster's (positions, distances) in settle order: the source's
    int 0 first, then distances of the weights' one kind."""
    nodes, as_kind = fg.nodes, typed(kind)
    for lengths in found:
        if lengths is None:
            yield None
            continue
        order, dist, _ = lengths
        keys = map(nodes.__getitem__, order)
        result = dict(zip(keys, map(as_kind, dist)))
        if order:
            result[nodes[order[0]]] = 0
        yield result


def _unless_negative_cycle(found):
    """Each source's result, NetworkX's ValueError at a source that met a negative cycle."""
    for result in found:
        if result is None:
            raise ValueError("Contradictory paths found:", "negative weights?")
        yield result


@served(docs=STATS_DOCS + _PAIRS, rules=("bfs_cutoff",), data_rules=("keys",), per_source=True,
        min_work=WORK_ALL_PAIRS)
def all_pairs_shortest_path_length(G, cutoff=None):
    return follow_sources(G, _bfs_lengths_by_source(G, cutoff),
                          lambda H, n: nx.single_source_shortest_path_length(H, n, cutoff=cutoff))


@served(docs=STATS_DOCS + _PAIRS, weight="weight", rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA,
        per_source=True, min_work=WORK_ALL_PAIRS)
def all_pairs_dijkstra_path_length(G, cutoff=None, weight="weight"):
    return follow_sources(G, _dijkstra_lengths_by_source(G, weight, _cut(cutoff)),
                          lambda H, n: nx.single_source_dijkstra_path_length(H, n, cutoff=cutoff, weight=weight))


def _endpoints(fg, source, target):
    """Both positions, with the bidirectional searches' NodeNotFound."""
    s = _position(fg, source, f"Source {source} is not in G")
    return s, _position(fg, target, f"Target {target} is not in G")


def _met_path(fg, positions, meet, source, target):
    """NetworkX's objects along a bidirectional search's path.

    The two searches start from the objects the caller gave, so those stand
    at the ends of the path; only an end where the searches met was reached
    through the graph's rows, and holds the graph's own key there.
    """
    nodes = fg.nodes
    with no_gc_pauses():
        path = list(map(nodes.__getitem__, positions))
    if len(path) == 1:
        return [source]
    if meet != positions[0]:
        path[0] = source
    if meet != positions[-1]:
        path[-1] = target
    return path


def _bidirectional_bfs(fg, source, target):
    """NetworkX's bidirectional_shortest_path as objects."""
    s, t = _endpoints(fg, source, target)
    if s == t:  # answered without G._pred's order
        return [source]
    found = fg.load_exact_pred().bidirectional_bfs(s, t, meet=True)
    if found is None:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    return _met_path(fg, found[0], found[1], source, target)


@served(docs=_TWO_WAY, data_rules=("keys", "two_way_keys"), min_work=WORK_BFS, bounded=always)
def bidirectional_shortest_path(G, source, target):
    return _bidirectional_bfs(G, source, target)


@served(docs=_TWO_WAY, min_work=WORK_BFS, bounded=always)
def has_path(G, source, target):
    # NetworkX asks shortest_path, that is bidirectional_shortest_path.
    s, t = _endpoints(G, source, target)
    return s == t or G.load_exact_pred().bidirectional_bfs(s, t) is not None


def _bidirectional_dijkstra(fg, source, target, weight, with_length=True):
    """NetworkX's (distance, path) of bidirectional_dijkstra (the distance untyped unless ``with_length``)."""
    s, t = _endpoints(fg, source, target)
    if source == target:
        return 0, [source]
    found = fg.load_exact_pred().bidirectional_weighted(s, t, weight, meet=True)
    if found is None:
        raise nx.NetworkXNoPath(f"No path between {source} and {target}.")
    d, positions, meet = found
    d = typed(distance_kind(fg, weight))(d) if with_length else d
    return d, _met_path(fg, positions, meet, source, target)


@served(docs="Bidirectional Dijkstra search in C++. " + EXACT, weight="weight", rules=("weight_name",),
        data_rules=_ALWAYS_DIJKSTRA + ("two_way_keys", "two_way_kinds"), min_work=WORK_DIJKSTRA, bounded=always,
        release=None if NX_VERSION >= (3, 6) else "this NetworkX version builds bidirectional Dijkstra paths as met")
def bidirectional_dijkstra(G, source, target, weight="weight"):
    return _bidirectional_dijkstra(G, source, target, weight)


def _backward(fg):
    """The core to search G._pred's order with (NetworkX's G.reverse(copy=False))."""
    return fg.load_exact_pred() if fg.directed else fg.core


@served(docs=_BOTH + " Falls back to NetworkX for Bellman-Ford.", weight="weight",
        rules=("weight_name", "path_method", "met_paths", "all_pairs_dict"),
        data_rules=("dijkstra_path_weights", "keys", "target_keys", "two_way_keys"), min_work=WORK_DIJKSTRA,
        bounded=with_pair)
def shortest_path(G, source=None, target=None, weight=None, method="dijkstra"):
    if source is None and target is None:
        if weight is None:
            return follow_sources(G, _all_pairs_paths(G, None), nx.single_source_shortest_path)
        return follow_sources(G, _dijkstra_paths_by_source(G, weight, None),
                              lambda H, n: nx.single_source_dijkstra_path(H, n, weight=weight))
    if source is None:
        # NetworkX searches G.reverse(copy=False) from the target.
        if weight is None:
            t = _position(G, target, f"Source {target} not in G")
            return _tree_paths(G, _backward(G), target, t, None, G.directed, True)
        t = _dijkstra_source(G, target, f"Node {target} not found in graph")
        return _dijkstra_paths(G, _backward(G), target, t, weight, None, G.directed, True, False)[1]
    if target is None:
        if weight is None:
            s = _position(G, source, f"Source {source} not in G")
            return _tree_paths(G, G.core, source, s, None, False, False)
        s = _dijkstra_source(G, source, f"Node {source} not found in graph")
        return _dijkstra_paths(G, G.core, source, s, weight, None, distances=False)[1]
    if weight is None:
        return _bidirectional_bfs(G, source, target)
    return _bidirectional_dijkstra(G, source, target, weight, with_length=False)[1]


@served(docs=_BOTH, weight="weight", rules=("weight_name", "path_method"),
        data_rules=("dijkstra_weights", "keys", "target_keys", "two_way_bfs_keys", "target_kinds"),
        min_work=WORK_DIJKSTRA, bounded=with_pair)
def shortest_path_length(G, source=None, target=None, weight=None, method="dijkstra"):
    if source is None and target is None:
        if weight is None:
            return follow_sources(G, _bfs_lengths_by_source(G, None),
                                  nx.single_source_shortest_path_length)
        return follow_sources(G, _dijkstra_lengths_by_source(G, weight, None),
                              lambda H, n: nx.single_source_dijkstra_path_length(H, n, weight=weight))
    if source is None:
        if weight is None:
            t = _position(G, target, f"Source {target} is not in G")
            return bfs_lengths(G, _backward(G), target, t, None, G.directed)
        t = _dijkstra_source(G, target, f"Node {target} not found in graph")
        return dijkstra_lengths(G, _backward(G), target, t, weight, None, G.directed)
    if target is None:
        if weight is None:
            s = _position(G, source, f"Source {source} is not in G")
            return bfs_lengths(G, G.core, source, s, None, False)
        s = _dijkstra_source(G, source, f"Node {source} not found in graph")
        return dijkstra_lengths(G, G.core, source, s, weight, None, False)
    if weight is None:
        return len(_bidirectional_bfs(G, source, target)) - 1
    return _dijkstra_path_length(G, source, target, weight)


@served(docs=STATS_DOCS, weight="weight", rules=("weight_name", "asp_method"), data_rules=("asp_weights",),
        per_source=True, min_work=WORK_STATS)
def average_shortest_path_length(G, weight=None, method=None):
    if method is None:
        method = "unweighted" if weight is None else "dijkstra"
    n = len(G)
    if n == 0:
        raise nx.NetworkXPointlessConcept(
            "the null graph has no paths, thus there is no average shortest path length"
        )
    if n == 1:
        return 0
    weight = None if method == "unweighted" else weight
    with progress.counted(G, pair_searches(G)):
        if not connected(G):
            raise nx.NetworkXError(f"Graph is not {'strongly ' if G.directed else ''}connected.")
        total = pair_total(G, weight)
    return total / (n * (n - 1))


@functools.cache
def _walk_skips_ends():
    """Whether the installed NetworkX's path walk ends a pass at a node already on the path.

    NetworkX 3.7 rewrote _build_paths_from_predecessors: the earlier walk
    returns to the top of its loop after meeting such a node, so a source
    with predecessors (a zero-weight cycle through it) is yielded again.
    """
    G = nx.DiGraph()
    G.add_edge(0, 1, weight=0)
    G.add_edge(1, 0, weight=0)
    return len(list(nx.all_shortest_paths.orig_func(G, 0, 1, weight="weight"))) > 1


def _all_paths_source(fg, source, weight):
    """The source position, or NetworkX's error for a source G lacks."""
    if source in fg:
        return fg.index[source]
    if weight is None:
        return nx.NodeNotFound(f"Source {source} not in G")
    return nx.NodeNotFound(f"Node {source} is not found in the graph")


def _walk(fg, ap, source, target):
    """NetworkX's paths from the core's walk: the source and target as given, G's keys between."""
    nodes = fg.nodes
    while (positions := ap.next_path()) is not None:
        if len(positions) == 1:
            yield [target]
        else:
            yield [source, *map(nodes.__getitem__, positions[1:-1]), target]


@served(docs=_ALL_PATHS, weight="weight", rules=("weight_name", "weighted_method"),
        data_rules=("dijkstra_path_weights", "keys"), min_work=WORK_DIJKSTRA)
def all_shortest_paths(G, source, target, weight=None, method="dijkstra"):
    s = _all_paths_source(G, source, weight)
    if isinstance(s, Exception):
        raise s
    no_path = nx.NetworkXNoPath(f"Target {target} cannot be reached from given sources")
    if target not in G:
        # NetworkX searches first (and may meet a contradiction), then looks
        # the target up on first iteration.
        G.core.shortest_path_predecessors(s, weight)
        try:
            hash(target)
        except TypeError as exc:
            return raising(exc)
        return raising(no_path)
    ap = G.core.path_walk(s, G.index[target], weight, _walk_skips_ends())
    return raising(no_path) if ap is None else _walk(G, ap, source, target)


def _predecessors(fg, source, s, weight):
    """NetworkX's pred dict of a search from ``source``, as objects."""
    obj = objects(fg, source, s)
    order, lists = fg.core.shortest_path_predecessors(s, weight)
    with no_gc_pauses():
        return {obj(v): list(map(obj, row)) for v, row in zip(order, lists)}


def _paths_by_target(fg, source, s, weight):
    """(node, paths) for every node the search reaches, in NetworkX's pred order."""
    pred = _predecessors(fg, source, s, weight)
    sources = {source}
    for v in pred:
        yield v, list(_build_paths_from_predecessors(sources, v, pred))


# Until 3.5 NetworkX walked G (skipping unreached nodes), not the predecessor dict.
_TARGETS_IN_G_ORDER = None if NX_VERSION >= (3, 5) else "this NetworkX version yields the targets in G's order"


@served(docs=_ALL_PATHS, weight="weight", rules=("weight_name", "weighted_method"),
        data_rules=("dijkstra_path_weights", "keys"), min_work=WORK_DIJKSTRA, release=_TARGETS_IN_G_ORDER)
def single_source_all_shortest_paths(G, source, weight=None, method="dijkstra"):
    s = _all_paths_source(G, source, weight)
    # A generator, as NetworkX's: its errors come on first iteration.
    return raising(s) if isinstance(s, Exception) else _paths_by_target(G, source, s, weight)


@served(docs=_ALL_PATHS, weight="weight", rules=("weight_name", "weighted_method"),
        data_rules=("dijkstra_path_weights", "keys"), per_source=True, min_work=WORK_ALL_PAIRS,
        release=_TARGETS_IN_G_ORDER)
def all_pairs_all_shortest_paths(G, weight=None, method="dijkstra"):
    nodes = G.nodes
    sources = progress.batches(G, ([s] for s in range(len(nodes))), len(nodes))
    return follow_sources(
        G, ((nodes[s], dict(_paths_by_target(G, nodes[s], s, weight))) for (s,) in sources),
        lambda H, n: dict(nx.single_source_all_shortest_paths(H, n, weight=weight, method=method)),
    )
