"""What several rooms share: searches and their NetworkX shapes, and generators that follow a changing graph.

Lengths and distances are handed out as NetworkX types them (the source's
int 0, then the kind of the weights summed), totals are added as NetworkX's
``sum()`` adds them, in its order, and the objects in results are
NetworkX's: the source as the caller gave it, then the graph's own keys.
"""

import contextlib
import gc
import itertools
import operator

import networkx as nx

from .. import _remote
from . import executor, native, progress
from .checks import COMPENSATED_SUM
from .kinds import NP_FLOAT, NUMPY_BIT, PY_FLOAT, PY_INT, typed
from .native import compact_form

INF = float("inf")

# Sources per batch of an all-pairs search: about this many result entries
# held at once, whatever the graph's size.
_BATCH_ENTRIES = 1 << 22


@contextlib.contextmanager
def no_gc_pauses():
    """Builds large results without the cyclic collector's passes.

    Results such as a path per node create hundreds of thousands of lists;
    each batch of allocations would trigger a collection that walks every
    container alive, so building them costs more than NetworkX's whole
    search. The results hold no cycles, so pausing the collector changes
    nothing but the time.
    """
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if was_enabled:
            gc.enable()


def raising(exc):
    """A generator that raises ``exc`` when first iterated, as NetworkX's generators do."""
    raise exc
    yield  # pragma: no cover - makes this a generator


def objects(fg, source, s):
    """Position -> the object NetworkX hands out: the source as given, else the node."""
    nodes = fg.nodes
    if nodes[s] is source:
        return nodes.__getitem__
    return lambda v: source if v == s else nodes[v]


def missing_node(fg, node):
    """NetworkX's error for a node its neighbour iteration does not know."""
    kind = "digraph" if fg.directed else "graph"
    return nx.NetworkXError(f"The node {node} is not in the {kind}.")


def unknown_source(fg, source):
    """The error NetworkX meets for a source G lacks (None when G has it)."""
    try:
        hash(source)
    except TypeError as exc:  # NetworkX's seen set or G[source] fails the same way
        return exc
    return None if source in fg else missing_node(fg, source)


def _search_from(fg, source, reverse):
    """The breadth-first search from ``source`` (against the edges if
    ``reverse``) and its position; NetworkX's error for a source G lacks."""
    if (error := unknown_source(fg, source)) is not None:
        raise error
    reverse = reverse and fg.directed
    core = fg.load_exact_pred() if reverse else fg.core
    s = fg.index[source]
    return core.bfs(s, len(fg), reverse=reverse), s


def reached(fg, source, reverse=False):
    """What a breadth-first search from ``source`` discovers (``source`` itself not
    included), in NetworkX's order, against the edges if ``reverse``; NetworkX's
    error for a source G lacks."""
    search, s = _search_from(fg, source, reverse)
    return list(map(objects(fg, source, s), search.edges()[1]))


def reached_set(fg, source, reverse=False, with_source=False):
    """The set NetworkX fills with what a breadth-first search from ``source``
    discovers, in discovery order (``source`` itself first if ``with_source``,
    as G's node object); NetworkX's error for a source G lacks."""
    return _search_from(fg, source, reverse)[0].reached_set(fg.node_tuple, with_source)


def batches(fg, counted=False):
    """The node positions in bounded batches, in G's order (``counted`` for the call's progress)."""
    n = len(fg)
    step = max(1, min(256, _BATCH_ENTRIES // max(n, 1)))
    found = (list(range(start, min(start + step, n))) for start in range(0, n, step))
    return progress.batches(fg, found, n) if counted else found


def bfs_limit(cutoff):
    """A breadth-first cutoff as the core compares it (a float)."""
    if cutoff is None:
        return INF
    try:
        return float(cutoff)
    except OverflowError:
        return INF if cutoff > 0 else -INF


def distance_kind(fg, weight):
    """The one kind of NetworkX's distances over ``weight``, or None when the weights mix kinds."""
    return PY_INT if weight is None else fg.weight_facts(weight).uniform_kind()


def compensated(fg, weight):
    """Whether NetworkX's sum() of these distances is compensated: floats from CPython 3.12
    on, but never once a numpy float64 sends sum() down its generic path of plain adds."""
    return COMPENSATED_SUM and distance_kind(fg, weight) != NP_FLOAT


def bfs_lengths(fg, core, node_obj, s, cutoff, reverse):
    """Hop counts from (or, reversed, to) ``node_obj`` in breadth-first order."""
    return core.bfs_length_dict(s, bfs_limit(cutoff), fg.node_tuple, node_obj, reverse=reverse)


def dijkstra_lengths(fg, core, node_obj, s, weight, cut, reverse):
    """Distances from (or, reversed, to) ``node_obj`` in NetworkX's order and types.

    A reversed search types its lengths by the weights' one kind; over weights
    of several kinds it leaves them floats (calls that hand such lengths out
    are refused: see ``checks.one_kind``).
    """
    if not reverse:
        return core.dijkstra_length_dict(s, weight, cut, fg.node_tuple, node_obj)
    found = core.dijkstra(s, weight, cut, reverse=True)
    order, dist = found.lengths()[:2]
    obj = objects(fg, node_obj, s)
    kind = distance_kind(fg, weight)
    if kind is not None and kind != PY_FLOAT:
        dist = list(map(typed(kind), dist))
    dist[0] = 0
    return dict(zip(map(obj, order), dist))


# The core counts iterations in 64 bits; more would never finish anyway.
_MAX_ITER_LIMIT = 2**63


def iterations(max_iter):
    """range(max_iter)'s length, for the core's power iterations."""
    return min(max(operator.index(max_iter), 0), _MAX_ITER_LIMIT)


def _typed(fg, weight, dist, kinds=None):
    """One search's distances as NetworkX types them: the source's int 0, then the
    weights' kind, or over weights of several kinds the kind each path summed."""
    if kinds is not None:
        dist = [typed(k)(d) for d, k in zip(dist, kinds)]
    else:
        kind = distance_kind(fg, weight)
        if kind != PY_FLOAT:
            dist = list(map(typed(kind), dist))
    dist[0] = 0
    return dist


def dijkstra_searches(fg, weight, cut=None, sources=None, counted=False):
    """(source position, order, typed distances) per source (all nodes in G's order by default).

    A negative cycle met by a source raises NetworkX's ValueError when that
    source's turn comes, as NetworkX's loop over the sources does.
    """
    for batch in batches(fg, counted) if sources is None else [sources]:
        for s, found in zip(batch, fg.core.dijkstra_many(batch, weight, cut).lengths()):
            if found is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            order, dist, kinds = found
            yield s, order, _typed(fg, weight, dist, kinds)


def connected(fg):
    """Whether every node reaches every other (strongly, on a digraph)."""
    n = len(fg)
    if fg.directed:
        return all(reached == n for reached, _, _ in fg.core.bfs_stats())
    return fg.core.bfs_stats([0])[0][0] == n


def pair_searches(fg):
    """Searches of ``connected`` and ``pair_total`` together."""
    n = len(fg)
    return 2 * n if fg.directed else n + 1


def pair_total(fg, weight):
    """NetworkX's sum of the distances over all pairs, in its order and types."""
    if weight is None:
        if cl := executor.cluster(fg, len(fg), per_pass=64):
            stats = executor.per_source(cl, fg, _remote.bfs_stats, lambda b: (b,), range(len(fg)))
        else:
            stats = fg.core.bfs_stats()
        # Exact ints: any grouping gives NetworkX's total.
        return sum(total for _, total, _ in stats)
    kind = distance_kind(fg, weight)
    if kind is None:
        # Weights of several kinds: sum() itself over the typed distances.
        return sum(itertools.chain.from_iterable(dist for _, _, dist in dijkstra_searches(fg, weight)))
    summed = compensated(fg, weight)
    if cl := executor.cluster(fg, len(fg)):
        total = executor.pair_total(cl, fg, weight, summed)
    else:
        total = fg.core.dijkstra_stats(weight, compensated_sum=summed)[1]
    if total is None:
        raise ValueError("Contradictory paths found:", "negative weights?")
    # sum() meets the int 0 first: a numpy kind takes over at the first
    # distance to another node.
    return typed(kind)(total) if kind & NUMPY_BIT and len(fg) > 1 else total


def inverse_distance_total(distances):
    """NetworkX's running ``total += 1 / d`` over every non-zero distance, in order (int 0 if none)."""
    total = 0
    for dist in distances:
        for d in dist:
            if d != 0:
                total += 1 / d
    return total


# Classes whose dicts are NetworkX's own (dict factories and all).
_PLAIN_CLASSES = (nx.Graph, nx.DiGraph, native.Graph, native.DiGraph)


def fills_directly(G):
    """Whether G.__class__() makes a graph whose dicts are plain dicts, NetworkX's own."""
    return type(G) in _PLAIN_CLASSES


def new_graph(G, nodes, edges):
    """What ``H = G.__class__(); H.graph.update(G.graph); H.add_nodes_from((n, G._node[n]) for n in
    nodes); H.add_edges_from(edges)`` builds, dict for dict: node data and edge data copied,
    rows filled in the same order. Graph and DiGraph themselves are filled directly; subclasses,
    whose factories may differ, through their own methods.
    """
    H = G.__class__()
    H.graph.update(G.graph)
    if not fills_directly(G):
        H.add_nodes_from((n, G._node[n]) for n in nodes)
        H.add_edges_from(edges)
        return H
    node, succ, pred = G._node, H._adj, H._pred if H.is_directed() else H._adj
    for n in nodes:
        succ[n] = {}
        pred[n] = {}
        H._node[n] = dict(node[n])
    for u, v, data in edges:
        row = succ[u]
        shared = row.get(v)
        if shared is None:
            shared = row[v] = {}
            pred[v][u] = shared
        shared.update(data)
    return H


# Generators that follow changes made during iteration.
#
# A generator hands out items from a cursor that checks, before each item,
# that the graph (and every graph it views) still holds the marker put into
# its __networkx_cache__ when the call began: NetworkX's mutating methods
# clear that cache. Once the marker is gone, the rest of the sequence comes
# from a copy of NetworkX's own loop, started from the state NetworkX's
# generator would have at that point: the same seen set, queue or stack, and
# for each queued node an iterator over the row dict NetworkX's would hold,
# at the same place.

# A key of G.__networkx_cache__, which NetworkX clears whenever G changes.
UNCHANGED = "fennel: unchanged since"


def watch(fg):
    """(cache, key, marker) of the source graph and of every graph it views.

    None for a native graph, which never changes, and for a graph without a
    cache (or viewing one without), whose changes cannot be seen: the
    ``sees_changes`` rule refuses those where following changes matters.
    """
    G = fg.source
    if fg.native and compact_form(G) is fg:
        return (G.unchanged_marker(UNCHANGED),)
    if fg.native and not isinstance(G, nx.Graph):
        return None
    entries = []
    while isinstance(G, nx.Graph):
        cache = getattr(G, "__networkx_cache__", None)
        if type(cache) is not dict:
            return None
        entries.append((cache, UNCHANGED, cache.setdefault(UNCHANGED, object())))
        G = getattr(G, "_graph", None)
    return tuple(entries)


def changed(watched):
    return watched is not None and any(cache.get(key) is not marker for cache, key, marker in watched)


def first_step(networkx, fg, watched, compute, **arguments):
    """A generator whose NetworkX counterpart reads the whole graph on its first
    step: computed then, or NetworkX's own (given ``arguments``) if the graph
    changed before."""
    if changed(watched):
        yield from networkx.orig_func(fg.source, **arguments)
        return
    yield from compute()


class RowIterator:
    """A dict iterator made before the graph changed, as NetworkX holds one.

    CPython's dict iterator records the dict's size when made and raises
    once the size differs; otherwise it goes on from its place in the dict's
    entry table. This one goes on from the same number of keys: the same
    place unless keys were both removed and inserted since, the one case
    where the two can part.
    """

    __slots__ = ("_d", "_size", "_position", "_it")

    def __init__(self, d, size, position):
        self._d, self._size, self._position, self._it = d, size, position, None

    def __iter__(self):
        return self

    def __next__(self):
        if self._it is None:
            d = self._d
            if d is None:
                raise StopIteration
            if len(d) != self._size:
                self._size = -1  # CPython's error is sticky
                raise RuntimeError("dictionary changed size during iteration")
            self._it = iter(d)
            for _ in range(self._position):
                next(self._it, None)
            self._d = None
        return next(self._it)
