"""fennel as a NetworkX backend.

NetworkX finds this module through the ``networkx.backends`` entry point and
calls the object :data:`backend_interface`. A NetworkX graph is converted once
into a :class:`FennelGraph` (the compact C++ ``CoreGraph`` plus the node list
that maps positions back to node objects); NetworkX keeps the converted graph
in ``G.__networkx_cache__`` and reuses it until a mutation of ``G`` clears that
cache.

Every function returns exactly what NetworkX returns: same values (bit for
bit), same value types, same key order, same exceptions. Whatever cannot be
reproduced exactly is refused (``can_run`` returns a reason, or the function
raises ``NotImplementedError`` when the refusal depends on the converted data),
and NetworkX then runs its own implementation when it is allowed to fall back
(``nx.config.backend_priority`` / ``NETWORKX_BACKEND_PRIORITY``). With an
explicit ``backend="fennel"`` NetworkX does not fall back; it raises
``NotImplementedError`` instead.

Setting the environment variable ``FENNEL_CALL_LOG`` to a file path appends one
line per event to that file: ``ran`` (a fennel function returned),
``refused`` (can_run or a function declined the arguments or data),
``declined`` (should_run left a small graph to NetworkX), ``converted`` and
``unconvertible`` (the C++ conversion raised NotImplementedError). The
in-process :data:`calls` counter counts the same events.
"""

import inspect
import math
import os
import sys
import threading
from collections import Counter

import networkx as nx
from networkx.algorithms.centrality import betweenness as _nx_betweenness

from . import _core

__all__ = ["FennelGraph", "backend_interface", "calls"]

_INF = float("inf")
_EXACT_INT_LIMIT = 2**53

# Older NetworkX releases rescaled sampled betweenness differently (their
# _rescale had no `sampled_nodes`), and some that have the newer _rescale
# still scale edge betweenness with _rescale_e, which ignores the sample size
# k. The rescaling below reproduces the newer arithmetic, so each function is
# left to NetworkX on the releases whose arithmetic differs.
_nx_rescale = getattr(_nx_betweenness, "_rescale", None)
_RESCALE_MATCHES = _nx_rescale is not None and "sampled_nodes" in inspect.signature(_nx_rescale).parameters
_EDGE_RESCALE_MATCHES = _RESCALE_MATCHES and not hasattr(_nx_betweenness, "_rescale_e")
_BETWEENNESS = ("betweenness_centrality", "edge_betweenness_centrality")
# Functions the installed NetworkX keeps for itself, with the reason.
RELEASE_REFUSALS = {
    name: f"this NetworkX version rescales {kind} differently"
    for name, kind, matches in (
        ("betweenness_centrality", "betweenness", _RESCALE_MATCHES),
        ("edge_betweenness_centrality", "edge betweenness", _EDGE_RESCALE_MATCHES),
    )
    if not matches
}
DIJKSTRA = "single_source_dijkstra_path_length"

# ---------------------------------------------------------------------------
# Call accounting

calls = Counter()
_calls_lock = threading.Lock()
# Read once: the log is meant for whole runs such as NetworkX's test suite.
_CALL_LOG = os.environ.get("FENNEL_CALL_LOG")


def _record(event, name, detail=""):
    with _calls_lock:
        calls[event, name] += 1
    path = _CALL_LOG
    if path:
        line = f"{event}\t{name}\t{detail}".rstrip("\t") + "\n"
        with open(path, "a", encoding="utf-8") as f:
            f.write(line)


# ---------------------------------------------------------------------------
# Converted graph


def _nan_possible(lo, hi, pos_inf, neg_inf, n):
    """Whether a path sum over these weights can meet both infinities.

    NetworkX and fennel would then compute ``inf + -inf``, a NaN, which their
    heaps order differently. An infinity comes from an infinite weight or from
    a finite sum that overflows; a tentative distance adds at most n edges (a
    settled distance follows a simple path, plus one more edge), and the
    factor 2 covers rounding on the way.
    """
    limit = sys.float_info.max / (2 * (n + 1))
    can_pos = pos_inf or (hi is not None and hi > limit)
    can_neg = neg_inf or (lo is not None and lo < -limit)
    return can_pos and can_neg


class FennelGraph:
    """A NetworkX graph converted for fennel.

    Holds the C++ ``CoreGraph`` (node ``i`` is ``nodes[i]``), the node index,
    the converted edge attributes with their defaults, and the source graph,
    which multigraph edge betweenness needs to share values among parallel
    edges. Pickling and deep copies drop the ``CoreGraph``; it is rebuilt from
    the (copied) source graph on first use.
    """

    __networkx_backend__ = "fennel"

    def __init__(self, G, edge_attrs=()):
        self.source = G
        self.nodes = list(G)
        self.index = dict(zip(self.nodes, range(len(self.nodes))))
        self.directed = G.is_directed()
        self.multigraph = G.is_multigraph()
        self.graph = G.graph
        self.columns = dict(edge_attrs)
        self._core = self._build()

    def _build(self):
        G = self.source
        try:
            core = _core.build_graph(
                self.nodes,
                self.index,
                G._adj,
                self.directed,
                list(self.columns.items()),
                self.multigraph,
            )
        except NotImplementedError as exc:
            _record("unconvertible", type(G).__name__, str(exc))
            raise
        _record("converted", type(G).__name__, f"{len(self.nodes)} nodes")
        return core

    @property
    def core(self):
        core = self._core
        if core is None:
            core = self._core = self._build()
        return core

    def __getstate__(self):
        state = self.__dict__.copy()
        state["_core"] = None
        return state

    def __len__(self):
        return len(self.nodes)

    def __iter__(self):
        return iter(self.nodes)

    def __contains__(self, node):
        try:
            return node in self.index
        except TypeError:
            return False

    def is_directed(self):
        return self.directed

    def is_multigraph(self):
        return self.multigraph

    def number_of_nodes(self):
        return len(self.nodes)

    def number_of_edges(self):
        return self.core.number_of_edges()

    def __repr__(self):
        kind = ("Multi" if self.multigraph else "") + ("DiGraph" if self.directed else "Graph")
        return f"<FennelGraph {kind} with {len(self.nodes)} nodes>"


def _missing_columns(fg, attrs):
    """Attributes fg lacks, or holds with another default than NetworkX's int 1."""
    return [a for a in attrs if not (type(fg.columns.get(a)) is int and fg.columns[a] == 1)]


def _cached_conversion(G, attrs):
    """A conversion of ``G`` already in NetworkX's cache that holds ``attrs``.

    Returns a FennelGraph, a string (the reason none can serve) or None.
    """
    if isinstance(G, FennelGraph):
        missing = _missing_columns(G, attrs)
        return f"graph was not converted with edge attribute {missing[0]!r} (default 1)" if missing else G
    if not nx.config.cache_converted_graphs:
        return None
    cache = getattr(G, "__networkx_cache__", None)
    if not cache:
        return None
    entries = cache.get("backends", {}).get("fennel")
    if not entries:
        return None
    failed = False
    for (edge_key, _), value in list(entries.items()):
        if isinstance(value, FennelGraph):
            if not _missing_columns(value, attrs):
                return value
        elif edge_key is False or (
            isinstance(edge_key, frozenset) and {a for a, _ in edge_key} <= set(attrs)
        ):
            # NetworkX's marker of a failed conversion that needed no more
            # than these attributes: converting again would fail too.
            failed = True
    return "converting this graph failed before" if failed else None


def _as_fennel(G, weight):
    """The FennelGraph to run on, converting a plain NetworkX graph directly."""
    attrs = () if weight is None else (weight,)
    if isinstance(G, FennelGraph):
        if missing := _missing_columns(G, attrs):
            raise NotImplementedError(f"graph was not converted with edge attribute {missing[0]!r} (default 1)")
        return G
    if isinstance(G, nx.Graph):
        return FennelGraph(G, [(a, 1) for a in attrs])
    raise NotImplementedError(f"cannot convert {type(G).__name__} for fennel")


# ---------------------------------------------------------------------------
# Argument and data checks shared by can_run and the functions


def _weight_name_problem(weight):
    if weight is None or isinstance(weight, str):
        return None
    if callable(weight):
        return "callable weights are left to NetworkX"
    return "weight must be None or an attribute name"


def _weight_data_problem(fg, weight, *, hidden_allowed, mixed_allowed):
    if weight is None:
        return None
    core = fg.core
    plain, lo, hi, pos_inf, neg_inf = core.weight_facts(weight)
    if not plain:
        return f"weights {weight!r} are not all Python int, float, bool or None"
    all_int, has_hidden = core.weight_info(weight)
    if has_hidden and not hidden_allowed:
        return f"some {weight!r} weights are None (NetworkX raises TypeError)"
    mixed = core.weight_mixed(weight)
    if not mixed_allowed and mixed:
        return f"{weight!r} mixes int and float weights (NetworkX's distances mix types)"
    n = max(len(fg.nodes), 1)
    if (mixed or (all_int and lo is not None)) and max(-lo, hi) * n >= _EXACT_INT_LIMIT:
        # A tentative distance adds at most n edges; ints stay exact in a
        # double only below 2**53.
        return f"integer distances over {weight!r} could exceed 2**53"
    if _nan_possible(lo, hi, pos_inf, neg_inf, n):
        return f"path sums over {weight!r} could meet both infinities"
    return None


def _keys_problem(fg):
    """Single-source and edge results are keyed by the neighbour objects of G._adj."""
    if fg.core.keys_are_nodes():
        return None
    return "some neighbour keys of G._adj are not the node objects themselves"


def _cutoff_problem(cutoff, *, exact_float):
    """Cutoffs the searches compare as NetworkX does.

    Breadth-first levels are small ints, so any int compares the same after
    conversion to float. Dijkstra distances are floats near the cutoff, so an
    int cutoff must convert to float exactly.
    """
    if cutoff is None or isinstance(cutoff, float):
        return None
    if isinstance(cutoff, int):
        if not exact_float:
            return None
        try:
            if float(cutoff) == cutoff:
                return None
        except OverflowError:
            pass
        return "integer cutoff is not exactly a float"
    return "cutoff must be None, an int or a float"


def _bfs_cutoff(cutoff):
    if cutoff is None:
        return _INF
    try:
        return float(cutoff)
    except OverflowError:
        return _INF if cutoff > 0 else -_INF


def _betweenness_data_problem(fg, weight):
    return _weight_data_problem(fg, weight, hidden_allowed=False, mixed_allowed=True)


def _edge_key_clash(fg):
    """Whether a node equals an edge tuple.

    NetworkX keeps node and edge sums in one dict, so such an edge would share
    its entry with the node (and be deleted with it).
    """
    clash = fg.__dict__.get("_edge_key_clash")
    if clash is None:
        adj = fg.source._adj
        clash = False
        for v in fg.nodes:
            if isinstance(v, tuple) and len(v) == 2:
                a, b = v
                try:
                    if a in adj and b in adj[a]:
                        clash = True
                        break
                except TypeError:
                    continue
        fg._edge_key_clash = clash
    return clash


def _refuse(name, reason):
    _record("refused", name, reason)
    raise NotImplementedError(reason)


# ---------------------------------------------------------------------------
# Rescaling, operation by operation as NetworkX's betweenness._rescale


def _rescale(raw, n, *, normalized, directed, endpoints, sources):
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


# ---------------------------------------------------------------------------
# The algorithms


def _betweenness_graph(name, G, weight):
    """The converted graph for a betweenness call, or a refusal."""
    if reason := RELEASE_REFUSALS.get(name) or _weight_name_problem(weight):
        _refuse(name, reason)
    fg = _as_fennel(G, weight)
    if reason := _betweenness_data_problem(fg, weight):
        _refuse(name, reason)
    return fg


def betweenness_centrality(G, k=None, normalized=True, weight=None, endpoints=False, seed=None):
    """Betweenness centrality, equal to NetworkX's bit for bit."""
    name = "betweenness_centrality"
    fg = _betweenness_graph(name, G, weight)
    core = fg.core  # (re)built before the sample: nothing may refuse once the RNG moved
    n = len(fg.nodes)
    if k == n:
        k = None
    sources = None if k is None else _sample_positions(fg, k, seed)
    raw = core.betweenness(weight, bool(endpoints), sources)
    values = _rescale(
        raw, n, normalized=normalized, directed=fg.directed, endpoints=endpoints, sources=sources
    )
    _record("ran", name)
    return dict(zip(fg.nodes, values))


def edge_betweenness_centrality(G, k=None, normalized=True, weight=None, seed=None):
    """Edge betweenness centrality, equal to NetworkX's bit for bit."""
    name = "edge_betweenness_centrality"
    fg = _betweenness_graph(name, G, weight)
    if reason := ("a node equals an edge tuple" if _edge_key_clash(fg) else _keys_problem(fg)):
        _refuse(name, reason)
    core = fg.core  # (re)built before the sample: nothing may refuse once the RNG moved
    n = len(fg.nodes)
    sources = None if k is None else _sample_positions(fg, k, seed)
    raw = core.edge_betweenness(weight, sources)
    values = _rescale(
        raw, n, normalized=normalized, directed=fg.directed, endpoints=True, sources=sources
    )
    nodes = fg.nodes
    us, vs, _ = core.edges_in_order()
    result = dict(zip(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)), values))
    if fg.multigraph:
        result = _nx_betweenness._add_edge_keys(fg.source, result, weight=weight)
    _record("ran", name)
    return result


def single_source_shortest_path_length(G, source, cutoff=None):
    """Hop counts from ``source`` in breadth-first order, as NetworkX returns them."""
    name = "single_source_shortest_path_length"
    fg = _as_fennel(G, None)
    if source not in fg:
        raise nx.NodeNotFound(f"Source {source} is not in G")
    if reason := _cutoff_problem(cutoff, exact_float=False) or _keys_problem(fg):
        _refuse(name, reason)
    order, levels = fg.core.bfs_lengths(fg.index[source], _bfs_cutoff(cutoff))
    keys = list(map(fg.nodes.__getitem__, order))
    # NetworkX's first key is the source object as given, not G's node object.
    keys[0] = source
    _record("ran", name)
    return dict(zip(keys, levels))


def single_source_dijkstra_path_length(G, source, cutoff=None, weight="weight"):
    """Weighted distances from ``source`` in NetworkX's order and number types."""
    name = "single_source_dijkstra_path_length"
    if reason := _weight_name_problem(weight):
        _refuse(name, reason)
    fg = _as_fennel(G, weight)
    {source}  # noqa: B018 - an unhashable source raises TypeError, as in NetworkX
    if source not in fg:
        raise nx.NodeNotFound(f"Node {source} not found in graph")
    if reason := (
        _cutoff_problem(cutoff, exact_float=True)
        or _weight_data_problem(fg, weight, hidden_allowed=True, mixed_allowed=False)
        or _keys_problem(fg)
    ):
        _refuse(name, reason)
    cut = None if cutoff is None else float(cutoff)
    order, dist = fg.core.dijkstra_lengths(fg.index[source], weight, cut)
    keys = list(map(fg.nodes.__getitem__, order))
    keys[0] = source
    if weight is None or fg.core.weight_info(weight)[0]:
        values = list(map(int, dist))
    else:
        values = dist
        # The source's distance is NetworkX's starting value, the int 0.
        values[0] = 0
    _record("ran", name)
    return dict(zip(keys, values))


# ---------------------------------------------------------------------------
# Dispatch hooks

_FUNCTIONS = {
    f.__name__: f
    for f in (
        betweenness_centrality,
        edge_betweenness_centrality,
        single_source_shortest_path_length,
        single_source_dijkstra_path_length,
    )
}
_PARAMETERS = {
    name: tuple((p.name, p.default) for p in inspect.signature(f).parameters.values())
    for name, f in _FUNCTIONS.items()
}
_WEIGHTED = {"betweenness_centrality", "edge_betweenness_centrality", "single_source_dijkstra_path_length"}


def _bound_arguments(name, args, kwargs):
    """Arguments by parameter name, defaults filled in (inspect's bind, but cheap)."""
    params = _PARAMETERS[name]
    if len(args) > len(params):
        raise TypeError("too many positional arguments")
    bound = {p: v for (p, _), v in zip(params, args)}
    for key, value in kwargs.items():
        if key in bound or all(key != p for p, _ in params):
            raise TypeError(f"unexpected argument {key!r}")
        bound[key] = value
    for p, default in params:
        if p not in bound:
            if default is inspect.Parameter.empty:
                raise TypeError(f"missing argument {p!r}")
            bound[p] = default
    return bound


def _argument_problem(name, a):
    if reason := RELEASE_REFUSALS.get(name):
        return reason  # whatever the arguments: no need to convert the graph
    G = a["G"]
    if not isinstance(G, nx.Graph | FennelGraph):
        return f"cannot convert {type(G).__name__}"
    if name in _WEIGHTED and (reason := _weight_name_problem(a["weight"])):
        return reason
    if "cutoff" in a and (reason := _cutoff_problem(a["cutoff"], exact_float=name == DIJKSTRA)):
        return reason
    return None


def _data_problem(name, a):
    """Refusals that need the converted graph, checked when one is at hand."""
    weight = a.get("weight")
    fg = _cached_conversion(a["G"], () if weight is None else (weight,))
    if fg is None or isinstance(fg, str):
        return fg
    if name == DIJKSTRA:
        return _weight_data_problem(fg, weight, hidden_allowed=True, mixed_allowed=False) or _keys_problem(fg)
    if name == "single_source_shortest_path_length":
        return _keys_problem(fg)
    if name in _WEIGHTED:
        if reason := _betweenness_data_problem(fg, weight):
            return reason
        if name == "edge_betweenness_centrality":
            return "a node equals an edge tuple" if _edge_key_clash(fg) else _keys_problem(fg)
    return None


def can_run(name, args, kwargs):
    """Whether fennel reproduces NetworkX exactly for this call.

    Refuses (returning the reason) functions fennel does not implement,
    arguments NetworkX's signature does not accept, graphs that are not
    NetworkX graphs, callable or non-string weights, cutoffs that are not
    None, int or float (or ints no float represents exactly), a NetworkX
    version whose betweenness rescaling differs, and, when the graph has
    already been converted (NetworkX's cache), weights fennel cannot reproduce:
    None weights in betweenness (NetworkX raises), int/float mixes in Dijkstra
    lengths, non-plain (e.g. numpy) values, integer sums that could pass
    2**53, and both infinities. On a graph not yet converted the same data
    checks run inside the function, which raises NotImplementedError.
    """
    if name not in _FUNCTIONS:
        return False
    try:
        a = _bound_arguments(name, args, kwargs)
    except TypeError:
        reason = "arguments do not match NetworkX's signature"
    else:
        reason = _argument_problem(name, a) or _data_problem(name, a)
    if reason:
        _record("refused", name, reason)
        return reason
    return True


# Smallest amount of work (see should_run) worth handing to fennel, for a
# graph already converted and for one that must be converted first.
SHOULD_RUN_MIN_WORK = {
    "betweenness_centrality": (150, 150),
    "edge_betweenness_centrality": (150, 150),
    "single_source_shortest_path_length": (1000, 2500),
    "single_source_dijkstra_path_length": (150, 600),
}


def should_run(name, args, kwargs):
    """Whether handing this call to fennel is faster than NetworkX's own run.

    Asked only for automatic dispatch (``backend_priority``), never for an
    explicit ``backend="fennel"``. The work of a call is ``n + s`` for the
    single-source searches and ``sources * (n + s)`` for betweenness, where
    ``s`` is the number of adjacency entries (2m for undirected graphs) and
    ``sources`` is ``k`` or ``n``. Calls below ``SHOULD_RUN_MIN_WORK[name]``
    stay with NetworkX: at that size NetworkX's dispatch overhead (about
    50 us per call) plus, for a graph not converted yet, the conversion cost
    more than NetworkX's pure-Python run. The crossovers were measured on a
    2-core machine with random graphs of average degree 2 to 10 (best of 30
    runs; the per-call cost of both sides is then a fraction of a millisecond):

    ======================================  ===========  ==============
    function                                converted    not converted
    ======================================  ===========  ==============
    betweenness / edge betweenness          ~110-200     ~110-200
    single_source_shortest_path_length      ~700-1400    ~1500-2800
    single_source_dijkstra_path_length      ~150-200     ~500-700
    ======================================  ===========  ==============
    """
    if name not in SHOULD_RUN_MIN_WORK:
        return False
    try:
        a = _bound_arguments(name, args, kwargs)
    except TypeError:
        return True
    G = a["G"]
    if isinstance(G, FennelGraph):
        return True
    weight = a.get("weight")
    converted = isinstance(_cached_conversion(G, () if weight is None else (weight,)), FennelGraph)
    min_work = SHOULD_RUN_MIN_WORK[name][0 if converted else 1]
    n = len(G)
    sources = 1
    if name in _BETWEENNESS:
        k = a["k"]
        sources = k if isinstance(k, int) and 0 <= k < n else n
    if sources * n >= min_work:
        return True
    work = sources * (n + sum(map(len, G._adj.values())))
    if work >= min_work:
        return True
    reason = f"work {work} < {min_work}: NetworkX is faster on a graph this small"
    _record("declined", name, reason)
    return reason


def convert_from_nx(
    G,
    edge_attrs=None,
    node_attrs=None,
    preserve_edge_attrs=False,
    preserve_node_attrs=False,
    preserve_graph_attrs=False,
    name=None,
    graph_name=None,
):
    """Convert a NetworkX graph with the edge attributes ``edge_attrs`` (name -> default).

    Only named numeric edge attributes are converted: preserving all edge
    attributes (NetworkX asks for it with callable weights) and node
    attributes (no fennel function uses them) is refused.
    """
    if isinstance(G, FennelGraph):
        return G
    if preserve_edge_attrs:
        raise NotImplementedError("fennel converts only named numeric edge attributes")
    if node_attrs or preserve_node_attrs:
        raise NotImplementedError("fennel does not convert node attributes")
    return FennelGraph(G, () if edge_attrs is None else edge_attrs.items())


def convert_to_nx(result, *, name=None):
    """Results are already NetworkX objects; a FennelGraph gives back its source graph."""
    if isinstance(result, FennelGraph):
        return result.source
    return result


class BackendInterface:
    """The object NetworkX loads from the ``networkx.backends`` entry point."""

    convert_from_nx = staticmethod(convert_from_nx)
    convert_to_nx = staticmethod(convert_to_nx)
    can_run = staticmethod(can_run)
    should_run = staticmethod(should_run)
    betweenness_centrality = staticmethod(betweenness_centrality)
    edge_betweenness_centrality = staticmethod(edge_betweenness_centrality)
    single_source_shortest_path_length = staticmethod(single_source_shortest_path_length)
    single_source_dijkstra_path_length = staticmethod(single_source_dijkstra_path_length)


backend_interface = BackendInterface()
