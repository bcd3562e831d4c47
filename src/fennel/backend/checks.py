"""Every refusal rule, written once.

A rule returns the reason fennel cannot reproduce NetworkX for a call, or
None. Argument rules see the call's arguments by parameter name; data rules
also see the converted graph. The registry names the rules of each served
function; ``can_run`` applies them before the call (data rules only when a
converted graph is at hand), and the function bodies apply them through
``graph_for`` and ``check_data``, so a graph converted during the call is
checked too.
"""

import functools
import inspect
import operator
import re
import sys
import warnings

import networkx as nx
from networkx.algorithms.centrality import betweenness as _nx_betweenness

from .. import _core
from .graph import FennelGraph, as_fennel, refuse
from .kinds import NUMPY_KINDS
from .native import compact_form
from .registry import BY_NAME

_EXACT_INT_LIMIT = 2**53
# Python's float sum() is compensated from CPython 3.12 on.
COMPENSATED_SUM = sys.version_info >= (3, 12)
# The installed NetworkX release, for the few functions whose results
# changed between releases in ways no small probe shows.
NX_VERSION = tuple(int(part) for part in re.findall(r"\d+", nx.__version__)[:2])

# Older NetworkX releases rescaled sampled betweenness differently (their
# _rescale had no `sampled_nodes`), and some that have the newer _rescale
# still scale edge betweenness with _rescale_e, which ignores the sample size
# k. fennel reproduces the newer arithmetic, so each function is left to
# NetworkX on the releases whose arithmetic differs.
_nx_rescale = getattr(_nx_betweenness, "_rescale", None)
_RESCALE_MATCHES = _nx_rescale is not None and "sampled_nodes" in inspect.signature(_nx_rescale).parameters
_EDGE_RESCALE_MATCHES = _RESCALE_MATCHES and not hasattr(_nx_betweenness, "_rescale_e")
# Functions the installed NetworkX keeps for itself, with the reason.
RELEASE_REFUSALS = {
    name: f"this NetworkX version rescales {kind} differently"
    for name, kind, matches in (
        ("betweenness_centrality", "betweenness", _RESCALE_MATCHES),
        ("edge_betweenness_centrality", "edge betweenness", _EDGE_RESCALE_MATCHES),
    )
    if not matches
}


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


@functools.cache
def release_warning(name):
    """The warning NetworkX's generator `name` gives when first iterated, or None.

    Asked on first use, not at import: NetworkX's implementation may call
    back into the dispatcher, which may be loading this very backend. The
    warning is turned into an error to stop the generator right there.
    """
    G = nx.Graph()
    G.add_node(0)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        try:
            next(iter(getattr(nx, name).orig_func(G, 0)), None)
        except Warning as caught:
            return str(caught), type(caught)
    return None


if NX_VERSION < (3, 6):
    # They stored each half path when a node was met; later releases rebuild
    # the path from the meeting node, which differs when sums tie by rounding.
    RELEASE_REFUSALS["bidirectional_dijkstra"] = "this NetworkX version builds bidirectional Dijkstra paths as met"
if NX_VERSION < (3, 5):
    # It walked G (skipping unreached nodes), not the predecessor dict.
    for _name in ("single_source_all_shortest_paths", "all_pairs_all_shortest_paths"):
        RELEASE_REFUSALS[_name] = "this NetworkX version yields the targets in G's order"
# Served functions the installed release does not dispatch under that name.
UNDISPATCHED = {
    name for name in ("barycenter", "centroid") if getattr(getattr(nx, name, None), "name", None) != name
}
for _name in UNDISPATCHED:
    RELEASE_REFUSALS[_name] = "this NetworkX version dispatches it under another name"
if not _returns_dict(nx.single_target_shortest_path_length):
    RELEASE_REFUSALS["single_target_shortest_path_length"] = "this NetworkX version yields the lengths lazily"


# ---------------------------------------------------------------------------
# Argument rules: (function name, arguments) -> reason or None


def _weight_name(name, a):
    weight = a["weight"]
    if weight is None:
        return None
    if type(weight) is str:
        # The columns are named in UTF-8; a lone surrogate has no encoding.
        return None if _encodes(weight) else "weight names must be valid UTF-8"
    if isinstance(weight, str):
        return "str subclasses as weight names are left to NetworkX"
    if callable(weight):
        return "callable weights are left to NetworkX"
    return "weight must be None or an attribute name"


def _encodes(text):
    try:
        text.encode()
    except UnicodeEncodeError:
        return False
    return True


def _cutoff(cutoff, *, exact_float):
    """Cutoffs the searches compare as NetworkX does.

    Breadth-first levels are small ints, so any int compares the same after
    conversion to float. Dijkstra distances are floats near the cutoff, so an
    int cutoff must convert to float exactly. Subclasses (whose comparisons
    or conversions may be their own) are left to NetworkX.
    """
    if cutoff is None or type(cutoff) is float:
        return None
    if type(cutoff) in (int, bool):
        if not exact_float:
            return None
        try:
            if float(cutoff) == cutoff:
                return None
        except OverflowError:
            pass
        return "integer cutoff is not exactly a float"
    return "cutoff must be None, an int or a float"


def _depth_limit(name, a):
    limit = a["depth_limit"]
    if limit is None or type(limit) in (int, bool, float):
        return None
    return "depth_limit must be None, an int or a float"


def _absent(param, what):
    return lambda name, a: None if a[param] is None else f"{what} are left to NetworkX"


def _path_method(name, a):
    """shortest_path's methods: NetworkX raises for unknown ones; Bellman-Ford is its own."""
    method = a["method"]
    if method not in ("dijkstra", "bellman-ford"):
        return "NetworkX raises for this method"
    return _weighted_method(name, a)


def _weighted_method(name, a):
    """all_shortest_paths' methods: any is unweighted without a weight; Dijkstra is served."""
    if a["weight"] is None or a["method"] == "dijkstra":
        return None
    return "methods other than Dijkstra are left to NetworkX"


def _flag(param):
    return lambda name, a: None if isinstance(a[param], bool) else f"{param} must be True or False"


def _exact_real(value):
    """A number whose arithmetic with floats fennel repeats exactly (no numpy scalars)."""
    return type(value) is float or (type(value) in (int, bool) and abs(value) <= _EXACT_INT_LIMIT)


def _reals(*params):
    def rule(name, a):
        for param in params:
            if not _exact_real(a[param]):
                return f"{param} must be a float or an int within 2**53"
        return None

    return rule


def _max_iter(name, a):
    try:
        operator.index(a["max_iter"])
    except TypeError:
        return "max_iter must be an int"
    return None


def _start(accepts, what):
    """nstart: None, or a plain dict whose values are all of the accepted types."""

    def rule(name, a):
        nstart = a["nstart"]
        if nstart is None:
            return None
        if type(nstart) is not dict:
            return "nstart must be a dict"
        if not all(type(v) in accepts for v in nstart.values()):
            return f"nstart values must be {what}"
        return None

    return rule


def _pagerank_vectors(name, a):
    for param in ("personalization", "nstart", "dangling"):
        if a[param] is not None and not isinstance(a[param], dict):
            return f"{param} must be None or a dict"
    return None


def _scipy_missing():
    # Asked at every call (an import that failed once, under a memory limit
    # say, may succeed later; a loaded module is found at once).
    try:
        import numpy  # noqa: F401
        import scipy  # noqa: F401
    except ImportError:
        return True
    return False


def _no_multigraph(name, a):
    if a["G"].is_multigraph():
        return "NetworkX leaves multigraphs out here (or warns about them)"
    return None


def _edge_count(G):
    """NetworkX's edge count of G, from a conversion at hand when that counts alike."""
    if isinstance(G, FennelGraph):
        return G.core.number_of_edges()
    if not G.is_multigraph():
        cache = getattr(G, "__networkx_cache__", None) or {}
        for fg in cache.get("backends", {}).get("fennel", {}).values():
            if isinstance(fg, FennelGraph) and fg._core is not None:
                return fg.core.number_of_edges()
    return G.number_of_edges()


def _tree_like(name, a):
    """NetworkX answers undirected trees by a tree-only walk, in an order of its own."""
    G = a["G"]
    if a["weight"] is None and not G.is_directed() and len(G) and _edge_count(G) == len(G) - 1:
        return "trees are left to NetworkX"
    return None


def _null_graph(name, a):
    return "the null graph is left to NetworkX" if len(a["G"]) == 0 else None


def _tolerance(name, a):
    """NetworkX compares with n * tol; an int product must stay exact as a float."""
    tol = a["tol"]
    if type(tol) is not float and abs(tol) * len(a["G"]) > _EXACT_INT_LIMIT:
        return "tol times the node count is not exactly a float"
    return None


def _scalar_beta(name, a):
    try:
        b = float(a["beta"])
    except Exception:
        return "beta dictionaries are left to NetworkX"
    if type(a["alpha"]) is not float and a["alpha"] < 0 and b == 0:
        # The first step adds int alpha * int 0 (an int zero) to beta: no signed zero as in a float product.
        return "a negative int alpha with a zero beta"
    return None


def _nstart_keys(name, a):
    """NetworkX iterates the nodes in nstart's key order: its keys must be exactly G's nodes."""
    nstart, G = a["nstart"], a["G"]
    if nstart is None:
        return None
    try:
        if len(nstart) == len(G) and all(k in G for k in nstart):
            return None
    except TypeError:
        pass
    return "nstart's keys are not the graph's nodes"


def _spanning_args(name, a):
    if a["algorithm"] != "kruskal":
        return "algorithms other than Kruskal are left to NetworkX"
    G = a["G"]
    if G.is_multigraph():
        return "multigraphs are left to NetworkX (each parallel edge is its own candidate)"
    if G.is_directed():
        return "NetworkX rejects directed graphs"
    return None


def _generation_args(name, a):
    G = a["G"]
    if isinstance(G, nx.Graph) and getattr(G, "__networkx_cache__", None) is None and compact_form(G) is None:
        # (A native graph's compact form shows that it never changed.)
        return "the graph has no cache that shows changes during iteration"
    return None


def _colouring_args(name, a):
    if a["strategy"] not in ("largest_first", nx.coloring.strategy_largest_first) or a["interchange"]:
        return "only the largest_first strategy without interchange is served"
    return None


def _distance_value(name, a):
    d = a["distance"]
    return None if isinstance(d, int | float) else "distance must be an int or a float"


def _path_pairs(name, a):
    """shortest_path's forms that this NetworkX release answers its own way."""
    if a["source"] is None and a["target"] is None and NX_VERSION < (3, 5) and name == "shortest_path":
        return "this NetworkX version returns all pairs as a dict, with a warning"
    # (A path from a node to itself is [node] in every release.)
    pair = a["source"] is not None and a["target"] is not None and a["source"] is not a["target"]
    if pair and a["weight"] is not None and NX_VERSION < (3, 6) and name == "shortest_path":
        return "this NetworkX version builds bidirectional Dijkstra paths as met"
    return None


def _asp_method(name, a):
    if a["method"] in (None, "unweighted", "dijkstra"):
        return None
    return f"method {a['method']!r} is left to NetworkX"


def _harmonic_adds_by_set():
    """Whether the installed release adds a transposed harmonic sum in a set's order.

    NetworkX 3.4 walked ``nbunch.intersection(dist)``, whose order is the new
    set's; later releases walk the search's distances in order.
    """
    try:
        return "intersection(dist)" in inspect.getsource(nx.harmonic_centrality.orig_func)
    except (OSError, TypeError):
        return True


_HARMONIC_BY_SET = _harmonic_adds_by_set()


def _harmonic_transposed(name, a):
    if not _HARMONIC_BY_SET:
        return None
    G, nbunch, sources = a["G"], a["nbunch"], a["sources"]
    try:
        targets = len(set(G.nbunch_iter(nbunch))) if nbunch is not None else len(G)
        starts = len(set(G.nbunch_iter(sources))) if sources is not None else len(G)
    except Exception:
        return None  # NetworkX's own error comes from the call
    if targets < starts:
        return "this NetworkX version adds the transposed sums in a set's order"
    return None


def _sees_changes(name, a):
    """A generator over G follows changes made while it runs through markers in
    the caches of G and of every graph G views."""
    G = a["G"]
    if compact_form(G) is not None:
        return None  # a native graph: its compact form shows that it never changed
    while isinstance(G, nx.Graph):
        if type(getattr(G, "__networkx_cache__", None)) is not dict:
            return "the graph has no cache that shows changes during iteration"
        G = getattr(G, "_graph", None)
    return None


def _plain_dict(cls):
    return cls is dict or (
        isinstance(cls, type)
        and issubclass(cls, dict)
        and all(getattr(cls, m) is getattr(dict, m) for m in ("__iter__", "__len__", "keys"))
    )


def _dict_rows(name, a):
    """A generator that follows changes resumes NetworkX's dict iterators over
    G's node and row dicts: they must iterate as dicts do."""
    G = a["G"]
    if not isinstance(G, nx.Graph) or compact_form(G) is not None:
        return None  # (a native graph's dicts, once built, are plain dicts)
    outer = (G._node, G._adj, G._pred) if G.is_directed() else (G._node, G._adj)
    if not all(_plain_dict(type(d)) for d in outer) or not _plain_dict(G.adjlist_inner_dict_factory):
        return "generators over graph views and dicts of other types are left to NetworkX"
    return None


ARGUMENT_RULES = {
    "harmonic_transposed": _harmonic_transposed,
    "null_graph": _null_graph,
    "tree_like": _tree_like,
    "usebounds": lambda name, a: (
        "the bounding algorithm is left to NetworkX" if a["usebounds"] is True and not a["G"].is_directed() else None
    ),
    "tolerance": _tolerance,
    "scalar_beta": _scalar_beta,
    "nstart_keys": _nstart_keys,
    "spanning_args": _spanning_args,
    "generation_args": _generation_args,
    "colouring_args": _colouring_args,
    "core_number": _absent("core_number", "precomputed core numbers"),
    "scc": _absent("scc", "given components"),
    "distance_value": _distance_value,
    "path_pairs": _path_pairs,
    "asp_method": _asp_method,
    "undirected_only": lambda name, a: "directed graphs are NetworkX's to reject" if a["G"].is_directed() else None,
    "harmonic_weight": lambda name, a: (
        "this NetworkX version has no weight parameter" if a["weight"] is not None and NX_VERSION < (3, 5) else None
    ),
    "no_multigraph": _no_multigraph,
    "pagerank_args": lambda name, a: (
        "NetworkX's pagerank needs numpy and scipy" if _scipy_missing() else None
    ) or _reals("alpha", "tol")(name, a) or _max_iter(name, a) or _pagerank_vectors(name, a),
    "eigenvector_args": lambda name, a: _reals("tol")(name, a) or _max_iter(name, a)
    or _start((int, float, bool), "ints or floats")(name, a),
    "katz_args": lambda name, a: _reals("alpha", "tol")(name, a) or _max_iter(name, a)
    or _start((float,), "floats")(name, a),
    "distance_name": lambda name, a: _weight_name(name, {"weight": a["distance"]}),
    "wf_improved": _flag("wf_improved"),
    "sp": _absent("sp", "precomputed path lengths"),
    "e": _absent("e", "precomputed eccentricities"),
    "attr": _absent("attr", "results stored on the graph"),
    "path_method": _path_method,
    "weighted_method": _weighted_method,
    "release": lambda name, a: RELEASE_REFUSALS.get(name),
    "weight_name": _weight_name,
    "unweighted": _absent("weight", "weighted clusterings"),
    "depth_limit": _depth_limit,
    "sort_neighbors": _absent("sort_neighbors", "sorted neighbours"),
    "neighbors": _absent("neighbors", "neighbour functions"),
    "bfs_cutoff": lambda name, a: _cutoff(a["cutoff"], exact_float=False),
    "dijkstra_cutoff": lambda name, a: _cutoff(a["cutoff"], exact_float=True),
    "sees_changes": _sees_changes,
    "dict_rows": _dict_rows,
}


# ---------------------------------------------------------------------------
# Data rules: (converted graph, arguments) -> reason or None


def nan_possible(lo, hi, pos_inf, neg_inf, n):
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


_KIND_NAMES = ("int", "float", "numpy.int64", "numpy.float64")


def kind_names(kinds):
    """The value kinds of a kind set, by name."""
    return ", ".join(name for kind, name in enumerate(_KIND_NAMES) if kinds >> kind & 1)


def one_kind_reason(weight, facts, search):
    return (
        f"{weight!r} mixes {kind_names(facts.kinds)} weights, whose kinds fennel follows only along "
        f"forward searches (this one {search})"
    )


def _numbers(fg, weight, *, hidden_allowed):
    """(reason, facts) for an attribute's values: a reason unless they are numbers fennel reads exactly."""
    facts = fg.weight_facts(weight)
    if not facts.plain:
        return (
            f"weights {weight!r} are not all Python int, float, bool or None, or numpy float64, int64 or bool_",
            None,
        )
    if facts.has_hidden and not hidden_allowed:
        return f"some {weight!r} weights are None (NetworkX raises TypeError)", None
    return None, facts


def _weights(fg, weight, *, hidden_allowed, typed):
    """Weights a search adds as NetworkX does; `typed`: the results carry the sums' types."""
    if weight is None:
        return None
    reason, facts = _numbers(fg, weight, hidden_allowed=hidden_allowed)
    if reason:
        return reason
    if typed and not facts.slot_kinds:
        return f"the kind of each {weight!r} weight ({kind_names(facts.kinds)}) was not kept"
    lo, hi = facts.min_finite, facts.max_finite
    n = max(len(fg.nodes), 1)
    if (facts.mixed or (facts.all_int and lo is not None)) and max(-lo, hi) * n >= _EXACT_INT_LIMIT:
        # A tentative distance adds at most n edges; ints stay exact in a
        # double only below 2**53.
        return f"integer distances over {weight!r} could exceed 2**53"
    if nan_possible(lo, hi, facts.pos_inf, facts.neg_inf, n):
        return f"path sums over {weight!r} could meet both infinities"
    return None


def _closeness_weights(fg, weight):
    """Closeness is typed numpy.float64 where NetworkX's total is positive, which its value tells
    unless the total is infinite or so large that the value underflows."""
    if reason := _weights(fg, weight, hidden_allowed=True, typed=True):
        return reason
    if weight is None:
        return None
    facts = fg.weight_facts(weight)
    if fg.directed and facts.uniform_kind() is None:
        return one_kind_reason(weight, facts, "searches the reversed graph")
    if not facts.kinds & NUMPY_KINDS:
        return None
    if facts.pos_inf or (facts.max_finite or 0.0) * max(len(fg.nodes), 1) ** 2 > 1e300:
        return f"numpy {weight!r} weights are infinite or too large for closeness's types"
    return None


def _keys(fg, a):
    """Single-source and edge results are keyed by the neighbour objects of G._adj."""
    if fg.keys_are_nodes():
        return None
    return "some neighbour keys of G._adj are not the node objects themselves"


def _pred_keys(fg, a):
    """Backward searches hand out the neighbour objects of G._pred (G._adj when undirected)."""
    if not fg.directed:
        return _keys(fg, a)
    if not a.get("reverse", True):
        return None
    if fg.keys_are_nodes(True):
        return None
    return "some neighbour keys of G._pred are not the node objects themselves"


def _edge_key_clash(fg, a):
    """Whether a node equals an edge tuple.

    NetworkX keeps node and edge sums in one dict, so such an edge would share
    its entry with the node (and be deleted with it).
    """
    clash = fg.__dict__.get("_edge_key_clash")
    if clash is None:
        index, core = fg.index, fg.core
        clash = False
        for v in fg.nodes:
            if isinstance(v, tuple) and len(v) == 2:
                x, y = v
                try:
                    if x in index and y in index and core.has_edge(index[x], index[y]):
                        clash = True
                        break
                except TypeError:
                    continue
        fg._edge_key_clash = clash
    return "a node equals an edge tuple" if clash else None


def _parallel_edges(fg, a):
    """NetworkX's matrix adds the weights of parallel edges; the converted graph keeps one."""
    if not fg.multigraph:
        return None
    found = fg.__dict__.get("_parallel_edges")
    if found is None:
        found = fg._parallel_edges = any(k > 1 for k in _core.parallel_counts(fg.source._adj))
    return "parallel edges (NetworkX adds their weights)" if found else None


def _none_key(fg, weight):
    """weight=None: NetworkX's weight functions read ``data.get(None, 1)``.

    fennel takes None as unit weights, which is NetworkX's answer unless some
    edge's data answers that lookup otherwise (a native graph's never does).
    Found once per converted graph by a walk of the edge data in C.
    """
    if weight is not None or fg.native:
        return None
    found = fg.__dict__.get("_none_key")
    if found is None:
        found = fg._none_key = _core.edge_data_reads_none(fg.source._adj, fg.multigraph)
    return "some edges have an attribute keyed None, which weight=None reads" if found else None


def _product_weights(fg, weight, *, symmetric):
    """Weights NetworkX multiplies, adds or sorts as numbers (exact as doubles).

    An undirected self-loop enters NetworkX's PageRank matrix as w + w - w,
    added in an order scipy leaves open: exact unless 2w overflows.
    """
    if weight is None:
        return None
    reason, facts = _numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    lo, hi = facts.min_finite, facts.max_finite
    largest = max(-lo, hi) if lo is not None else 0.0
    if (facts.all_int or facts.mixed) and largest > _EXACT_INT_LIMIT:
        return f"some {weight!r} weights are ints beyond 2**53"
    if symmetric and (facts.pos_inf or facts.neg_inf or largest >= 2.0**1023):
        return f"some {weight!r} weights are infinite or too large to double"
    if symmetric and facts.numpy_bool:
        return f"some {weight!r} weights are numpy.bool_, which NetworkX's self-loop correction cannot negate"
    return None


DATA_RULES = {
    # Kruskal sorts the weights as Python numbers.
    "kruskal_weights": lambda fg, a: _none_key(fg, a["weight"])
    or _product_weights(fg, a["weight"], symmetric=False),
    "parallel_edges": _parallel_edges,
    # NetworkX lists an undirected edge once, with the data of its earlier
    # endpoint's row; a view may hold another dict in the other row.
    "mirrored_weights": lambda fg, a: (
        None if fg.directed or a["weight"] is None or fg.core.weight_symmetric(a["weight"])
        else f"the two rows of some edges hold different {a['weight']!r} values"
    ),
    "pagerank_weights": lambda fg, a: _none_key(fg, a["weight"])
    or _product_weights(fg, a["weight"], symmetric=not fg.directed),
    # eigenvector_centrality ignores a false weight; Katz looks it up.
    "eigenvector_weights": lambda fg, a: _product_weights(fg, a["weight"] or None, symmetric=False),
    "katz_weights": lambda fg, a: _none_key(fg, a["weight"]) or _product_weights(fg, a["weight"], symmetric=False),
    # NetworkX's betweenness fails on None weights and only compares its sums.
    "betweenness_weights": lambda fg, a: _weights(fg, a["weight"], hidden_allowed=False, typed=False),
    # NetworkX's Dijkstra hides None weights; its distances carry the types of
    # the weights summed along each path.
    "dijkstra_weights": lambda fg, a: _weights(fg, a["weight"], hidden_allowed=True, typed=True),
    # Paths and the nodes chosen by comparing distances do not depend on their types.
    "dijkstra_path_weights": lambda fg, a: _weights(fg, a["weight"], hidden_allowed=True, typed=False),
    # Functions that run Dijkstra even for weight=None read data.get(None, 1).
    "reads_none": lambda fg, a: _none_key(fg, a["weight"]),
    "closeness_weights": lambda fg, a: _closeness_weights(fg, a["distance"]),
    # Harmonic sums 1 / d, a float whatever the Python kinds: only numpy's
    # kinds, mixed with others, type its values path by path.
    "harmonic_weights": lambda fg, a: _weights(
        fg, a["distance"], hidden_allowed=True,
        typed=a["distance"] is not None and bool(fg.weight_facts(a["distance"]).kinds & NUMPY_KINDS),
    ),
    "keys": _keys,
    "pred_keys": _pred_keys,
    "edge_key_clash": _edge_key_clash,
}


# ---------------------------------------------------------------------------
# Applying the rules


def attributes(name, a):
    """The edge attributes the call needs converted."""
    param = BY_NAME[name].weight
    weight = a.get("weight" if param is True else param) if param else None
    return () if weight is None else (weight,)


def argument_problem(name, a):
    served = BY_NAME[name]
    if reason := RELEASE_REFUSALS.get(name):
        return reason  # whatever the arguments: no need to look further
    G = a["G"]
    if not isinstance(G, nx.Graph | FennelGraph):
        return f"cannot convert {type(G).__name__}"
    for rule in served.rules:
        if reason := ARGUMENT_RULES[rule](name, a):
            return reason
    return None


def data_problem(name, fg, a):
    for rule in BY_NAME[name].data_rules:
        if reason := DATA_RULES[rule](fg, a):
            return reason
    return None


def graph_for(name, a):
    """The converted graph for a call with arguments ``a``, or a refusal."""
    if reason := argument_problem(name, a):
        refuse(name, reason)
    return as_fennel(a["G"], attributes(name, a))


def check_data(name, fg, a):
    """Refuses the call if the converted data cannot reproduce NetworkX."""
    if reason := data_problem(name, fg, a):
        refuse(name, reason)


def checked_graph(name, a):
    """The converted graph of a call whose every rule applies at once (argument and data)."""
    fg = graph_for(name, a)
    check_data(name, fg, a)
    return fg
