"""Refusal rules, each written once, and the tables that name them.

A rule returns the reason fennel cannot reproduce NetworkX for a call, or
None. An argument rule sees the call's arguments by parameter name
(``rule(a)``); a data rule also sees the converted graph (``rule(fg, a)``).
A served function's declaration names its rules (see ``serve.served``):
``can_run`` applies them before the call (the data rules only when a
converted graph is already at hand) and the declaration's wrapper applies
them all before the body runs, so the body never refuses.

The rules here serve several rooms; a rule that only one room needs is
written in that room, registered by the same decorators.
"""

import operator
import re
import sys

import networkx as nx

from .graph import FennelGraph
from .native import compact_form

EXACT_INT_LIMIT = 2**53
# Python's float sum() is compensated from CPython 3.12 on.
COMPENSATED_SUM = sys.version_info >= (3, 12)
# The installed NetworkX release, for the functions whose results changed
# between releases in ways no small probe shows.
NX_VERSION = tuple(int(part) for part in re.findall(r"\d+", nx.__version__)[:2])

# Rule name -> rule.
ARGUMENT_RULES = {}
DATA_RULES = {}


def _register(table, name, rule):
    if name in table:
        raise ValueError(f"rule {name!r} is defined twice")
    table[name] = rule
    return rule


def argument_rule(name, rule=None):
    """Registers ``rule(a)`` under ``name`` (a decorator when ``rule`` is not given)."""
    if rule is not None:
        return _register(ARGUMENT_RULES, name, rule)
    return lambda f: _register(ARGUMENT_RULES, name, f)


def data_rule(name, rule=None):
    """Registers ``rule(fg, a)`` under ``name`` (a decorator when ``rule`` is not given)."""
    if rule is not None:
        return _register(DATA_RULES, name, rule)
    return lambda f: _register(DATA_RULES, name, f)


def absent(param, what):
    """A rule leaving calls that give ``param`` (anything but None) to NetworkX."""
    return lambda a: None if a[param] is None else f"{what} are left to NetworkX"


def flag(param):
    return lambda a: None if isinstance(a[param], bool) else f"{param} must be True or False"


def exact_real(value):
    """A number whose arithmetic with floats fennel repeats exactly (no numpy scalars)."""
    return type(value) is float or (type(value) in (int, bool) and abs(value) <= EXACT_INT_LIMIT)


def reals(*params):
    def rule(a):
        for param in params:
            if not exact_real(a[param]):
                return f"{param} must be a float or an int within 2**53"
        return None

    return rule


def int_max_iter(a):
    try:
        operator.index(a["max_iter"])
    except TypeError:
        return "max_iter must be an int"
    return None


def start_vector(accepts, what):
    """nstart: None, or a plain dict whose values are all of the accepted types."""

    def rule(a):
        nstart = a["nstart"]
        if nstart is None:
            return None
        if type(nstart) is not dict:
            return "nstart must be a dict"
        if not all(type(v) in accepts for v in nstart.values()):
            return f"nstart values must be {what}"
        return None

    return rule


def attribute_name(weight):
    """Why an attribute name (a weight or distance argument) cannot be converted, or None."""
    if weight is None:
        return None
    if type(weight) is str:
        # The columns are named in UTF-8; a lone surrogate has no encoding.
        try:
            weight.encode()
        except UnicodeEncodeError:
            return "weight names must be valid UTF-8"
        return None
    if isinstance(weight, str):
        return "str subclasses as weight names are left to NetworkX"
    if callable(weight):
        return "callable weights are left to NetworkX"
    return "weight must be None or an attribute name"


argument_rule("weight_name", lambda a: attribute_name(a["weight"]))
argument_rule("distance_name", lambda a: attribute_name(a["distance"]))


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


argument_rule("bfs_cutoff", lambda a: _cutoff(a["cutoff"], exact_float=False))
argument_rule("dijkstra_cutoff", lambda a: _cutoff(a["cutoff"], exact_float=True))


@argument_rule("depth_limit")
def _depth_limit(a):
    limit = a["depth_limit"]
    if limit is None or type(limit) in (int, bool, float):
        return None
    return "depth_limit must be None, an int or a float"


argument_rule("sort_neighbors", absent("sort_neighbors", "sorted neighbours"))
argument_rule("neighbors", absent("neighbors", "neighbour functions"))
argument_rule("sp", absent("sp", "precomputed path lengths"))
argument_rule("attr", absent("attr", "results stored on the graph"))
argument_rule("unweighted", absent("weight", "weighted clusterings"))
argument_rule("null_graph", lambda a: "the null graph is left to NetworkX" if len(a["G"]) == 0 else None)
argument_rule(
    "undirected_only", lambda a: "directed graphs are NetworkX's to reject" if a["G"].is_directed() else None
)


# An undirected view of a directed graph holds, in each row, the data of the
# edge leaving that row's node: where both directions exist, the two rows of
# the undirected edge hold different dicts. NetworkX reads G[u][v] from the
# end it stands at, and lists an edge once with its earlier endpoint's data.
data_rule(
    "mirrored_weights",
    lambda fg, a: None if fg.directed or a["weight"] is None or fg.core.weight_symmetric(a["weight"])
    else f"the two rows of some edges hold different {a['weight']!r} values",
)


def _rows_count_unlisted(G, pred):
    """Whether some row of a multigraph view's G._adj (G._pred) has a len() other than the neighbours it lists.

    A multigraph view's row lists a neighbour only where one of its edges
    passes the view's edge filter, but its len() counts every neighbour that
    passes the node filter (FilterMultiInner inherits FilterAdjacency's
    __len__): NetworkX's ``if not G[u]`` and ``len(G[u])`` see those.
    """
    if not G.is_multigraph() or not hasattr(G, "_graph"):
        return False
    rows = G._pred if pred else G._adj
    return any(len(row) != sum(1 for _ in row) for row in rows.values())


data_rule("listed_rows", lambda fg, a: "a multigraph view's rows count neighbours whose edges it hides"
          if not fg.native and _rows_count_unlisted(fg.source, False) else None)
data_rule("listed_pred_rows", lambda fg, a: "a multigraph view's rows count predecessors whose edges it hides"
          if not fg.native and fg.directed and _rows_count_unlisted(fg.source, True) else None)


@argument_rule("no_multigraph")
def _no_multigraph(a):
    if a["G"].is_multigraph():
        return "NetworkX leaves multigraphs out here (or warns about them)"
    return None


@argument_rule("tolerance")
def _tolerance(a):
    """NetworkX compares with n * tol; an int product must stay exact as a float."""
    tol = a["tol"]
    if type(tol) is not float and abs(tol) * len(a["G"]) > EXACT_INT_LIMIT:
        return "tol times the node count is not exactly a float"
    return None


@argument_rule("nstart_keys")
def _nstart_keys(a):
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


@argument_rule("sees_changes")
def _sees_changes(a):
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


@argument_rule("dict_rows")
def _dict_rows(a):
    """A generator that follows changes resumes NetworkX's dict iterators over
    G's node and row dicts: they must iterate as dicts do."""
    G = a["G"]
    if not isinstance(G, nx.Graph) or compact_form(G) is not None:
        return None  # (a native graph's dicts, once built, are plain dicts)
    outer = (G._node, G._adj, G._pred) if G.is_directed() else (G._node, G._adj)
    if not all(_plain_dict(type(d)) for d in outer) or not _plain_dict(G.adjlist_inner_dict_factory):
        return "generators over graph views and dicts of other types are left to NetworkX"
    return None


def edge_count(G):
    """NetworkX's edge count of G, from a conversion at hand when that counts alike."""
    if isinstance(G, FennelGraph):
        return G.core.number_of_edges()
    if not G.is_multigraph():
        cache = getattr(G, "__networkx_cache__", None) or {}
        for fg in cache.get("backends", {}).get("fennel", {}).values():
            if isinstance(fg, FennelGraph) and fg._core is not None:
                return fg.core.number_of_edges()
    return G.number_of_edges()


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


def one_kind(fg, weight, search):
    """Why a search that types its lengths cannot follow the kinds of ``weight``, or None.

    Kinds are kept per slot of G._adj's rows; a backward or two-way search
    walks other rows, so it types its lengths only over weights of one kind.
    """
    if weight is None:
        return None
    facts = fg.weight_facts(weight)
    if facts.uniform_kind() is not None:
        return None
    return (
        f"{weight!r} mixes {kind_names(facts.kinds)} weights, whose kinds fennel follows only along "
        f"forward searches (this one {search})"
    )


def numbers(fg, weight, *, hidden_allowed):
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


def weights(fg, weight, *, hidden_allowed, typed):
    """Weights a search adds as NetworkX does; ``typed``: the results carry the sums' types."""
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=hidden_allowed)
    if reason:
        return reason
    if typed and not facts.slot_kinds:
        return f"the kind of each {weight!r} weight ({kind_names(facts.kinds)}) was not kept"
    lo, hi = facts.min_finite, facts.max_finite
    n = max(len(fg.nodes), 1)
    if (facts.mixed or (facts.all_int and lo is not None)) and max(-lo, hi) * n >= EXACT_INT_LIMIT:
        # A tentative distance adds at most n edges; ints stay exact in a
        # double only below 2**53.
        return f"integer distances over {weight!r} could exceed 2**53"
    if nan_possible(lo, hi, facts.pos_inf, facts.neg_inf, n):
        return f"path sums over {weight!r} could meet both infinities"
    return None


def product_weights(fg, weight, *, symmetric):
    """Weights NetworkX multiplies, adds or sorts as numbers (exact as doubles).

    An undirected self-loop enters NetworkX's PageRank matrix as w + w - w,
    added in an order scipy leaves open: exact unless 2w overflows.
    """
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    lo, hi = facts.min_finite, facts.max_finite
    largest = max(-lo, hi) if lo is not None else 0.0
    if (facts.all_int or facts.mixed) and largest > EXACT_INT_LIMIT:
        return f"some {weight!r} weights are ints beyond 2**53"
    if symmetric and (facts.pos_inf or facts.neg_inf or largest >= 2.0**1023):
        return f"some {weight!r} weights are infinite or too large to double"
    if symmetric and facts.numpy_bool:
        return f"some {weight!r} weights are numpy.bool_, which NetworkX's self-loop correction cannot negate"
    return None


def none_key(fg, weight):
    """weight=None: NetworkX's weight functions read ``data.get(None, 1)``, which fennel
    takes as unit weights; refused where some edge's data answers otherwise."""
    if weight is None and fg.reads_none_key():
        return "some edges have an attribute keyed None, which weight=None reads"
    return None


@data_rule("keys")
def keys(fg, a):
    """Single-source and edge results are keyed by the neighbour objects of G._adj."""
    if fg.keys_are_nodes():
        return None
    return "some neighbour keys of G._adj are not the node objects themselves"


@data_rule("pred_keys")
def pred_keys(fg, a):
    """Backward searches hand out the neighbour objects of G._pred (G._adj when undirected)."""
    if not fg.directed:
        return keys(fg, a)
    if not a.get("reverse", True):
        return None
    if fg.keys_are_nodes(True):
        return None
    return "some neighbour keys of G._pred are not the node objects themselves"


@data_rule("self_equal_nodes")
def _self_equal_nodes(fg, a):
    """NetworkX compares nodes with == and != (the root, union-find parents, D's end): a node unequal
    to itself (a NaN) would part those comparisons from positions."""
    for v in fg.nodes:
        if type(v) in (int, str, tuple, bool):
            continue
        try:
            if v == v:
                continue
        except Exception:  # noqa: BLE001 - any failure leaves the call to NetworkX
            pass
        return "a node that does not equal itself"
    return None


# NetworkX counts (and PageRank's matrix adds) parallel edges; the core's rows hold one entry per neighbour.
data_rule("parallel_edges", lambda fg, a: "parallel edges (NetworkX counts each)" if fg.has_parallel_edges() else None)
# NetworkX's Dijkstra hides None weights; its distances carry the types of
# the weights summed along each path.
data_rule("dijkstra_weights", lambda fg, a: weights(fg, a["weight"], hidden_allowed=True, typed=True))
# Paths and the nodes chosen by comparing distances do not depend on their types.
data_rule("dijkstra_path_weights", lambda fg, a: weights(fg, a["weight"], hidden_allowed=True, typed=False))
# Functions that run Dijkstra even for weight=None read data.get(None, 1).
data_rule("reads_none", lambda fg, a: none_key(fg, a["weight"]))
