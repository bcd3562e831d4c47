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
import re
import sys
import warnings

import networkx as nx
from networkx.algorithms.centrality import betweenness as _nx_betweenness

from .graph import FennelGraph, as_fennel, refuse
from .registry import BY_NAME

_EXACT_INT_LIMIT = 2**53
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
    if weight is None or isinstance(weight, str):
        return None
    if callable(weight):
        return "callable weights are left to NetworkX"
    return "weight must be None or an attribute name"


def _cutoff(cutoff, *, exact_float):
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


def _depth_limit(name, a):
    limit = a["depth_limit"]
    if limit is None or isinstance(limit, int | float):
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


ARGUMENT_RULES = {
    "distance_name": lambda name, a: _weight_name(name, {"weight": a["distance"]}),
    "wf_improved": _flag("wf_improved"),
    "sp": _absent("sp", "precomputed path lengths"),
    "e": _absent("e", "precomputed eccentricities"),
    "attr": _absent("attr", "results stored on the graph"),
    "path_method": _path_method,
    "weighted_method": _weighted_method,
    "release": lambda name, a: RELEASE_REFUSALS.get(name),
    "weight_name": _weight_name,
    "depth_limit": _depth_limit,
    "sort_neighbors": _absent("sort_neighbors", "sorted neighbours"),
    "neighbors": _absent("neighbors", "neighbour functions"),
    "bfs_cutoff": lambda name, a: _cutoff(a["cutoff"], exact_float=False),
    "dijkstra_cutoff": lambda name, a: _cutoff(a["cutoff"], exact_float=True),
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


def _weights(fg, weight, *, hidden_allowed, mixed_allowed):
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
    if nan_possible(lo, hi, pos_inf, neg_inf, n):
        return f"path sums over {weight!r} could meet both infinities"
    return None


def _keys(fg, a):
    """Single-source and edge results are keyed by the neighbour objects of G._adj."""
    if fg.core.keys_are_nodes():
        return None
    return "some neighbour keys of G._adj are not the node objects themselves"


def _pred_keys(fg, a):
    """Backward searches hand out the neighbour objects of G._pred."""
    if not fg.directed or not a.get("reverse", True):
        return None
    if fg.load_exact_pred().keys_are_nodes(True):
        return None
    return "some neighbour keys of G._pred are not the node objects themselves"


def _edge_key_clash(fg, a):
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
                x, y = v
                try:
                    if x in adj and y in adj[x]:
                        clash = True
                        break
                except TypeError:
                    continue
        fg._edge_key_clash = clash
    return "a node equals an edge tuple" if clash else None


DATA_RULES = {
    # NetworkX's betweenness fails on None weights and adds ints and floats alike.
    "betweenness_weights": lambda fg, a: _weights(fg, a["weight"], hidden_allowed=False, mixed_allowed=True),
    # NetworkX's Dijkstra hides None weights; its distances mix types on mixed weights.
    "dijkstra_weights": lambda fg, a: _weights(fg, a["weight"], hidden_allowed=True, mixed_allowed=False),
    "closeness_weights": lambda fg, a: _weights(fg, a["distance"], hidden_allowed=True, mixed_allowed=False),
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
