"""Group centralities (NetworkX's group module): degree and closeness.

group_degree_centrality and its in/out forms build Python sets only to
count them, so the count comes from one pass over the group's rows in C++.
group_closeness_centrality adds distances in the order of a set
difference: one multi-source search in C++ gives them, and unweighted
totals (exact integers) come from C++ whole, weighted ones are added over
the same Python set difference NetworkX makes. group_betweenness_centrality's all-pairs preprocessing runs as
parallel Brandes searches in C++ keeping only the group nodes' columns, and
its steps run over the groups in the order of NetworkX's own set(group).
prominent_group runs the same preprocessing over the nodes outside C and
its branch and bound in C++, replaying the DataFrame's diagonal, the sort of
the candidates and the heuristic's float steps; only the final scaling runs
here, as NetworkX writes it.
"""

import inspect
import math

import networkx as nx

from . import centrality  # noqa: F401 - registers the betweenness data rules named below
from .checks import EXACT_INT_LIMIT, NX_VERSION, argument_rule, data_rule, numbers
from .components import _connected
from .kinds import NUMPY_KINDS
from .serve import EXACT, WORK_BETWEENNESS, served

# The group's rows against NetworkX's set building: worth it only for a
# graph already converted.
_WORK_GROUP = (2000, math.inf)

_DEGREE_DOCS = (
    "One pass over the group's rows in C++ (NetworkX's sets only count). " + EXACT + " Falls back to NetworkX "
    "for groups given as one-shot iterators or holding nodes not in G."
)


def _group_nodes(G, S):
    """Why the group cannot be read as NetworkX reads it, or None."""
    try:
        if iter(S) is S:
            return "groups given as iterators are left to NetworkX"
        if not all(v in G for v in S):
            return "a group node not in G is left to NetworkX"
        set(S)
    except TypeError:
        return "unhashable or non-iterable groups are left to NetworkX"
    return None


data_rule("group_nodes", lambda fg, a: _group_nodes(fg, a["S"]))


def _group_degree(G, S, reverse):
    index = G.index
    count = G.core.group_degree([index[v] for v in S], reverse)
    centrality = count
    centrality /= len(G) - len(S)
    return centrality


@served(docs=_DEGREE_DOCS, data_rules=("group_nodes",), min_work=_WORK_GROUP, answers=(ZeroDivisionError,))
def group_degree_centrality(G, S):
    return _group_degree(G, S, False)


@served(docs=_DEGREE_DOCS, data_rules=("group_nodes",), min_work=_WORK_GROUP, answers=(ZeroDivisionError,))
def group_in_degree_centrality(G, S):
    return _group_degree(G, S, True)


@served(docs=_DEGREE_DOCS, data_rules=("group_nodes",), min_work=_WORK_GROUP, answers=(ZeroDivisionError,))
def group_out_degree_centrality(G, S):
    return _group_degree(G, S, False)


@data_rule("group_closeness")
def _group_closeness(fg, a):
    if reason := _group_nodes(fg, a["S"]):
        return reason
    if len(a["S"]) == 0:
        return "an empty group is left to NetworkX"
    weight = a["weight"]
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=True)
    if reason:
        return reason
    if facts.kinds & NUMPY_KINDS:
        return f"numpy {weight!r} weights give numpy sums"
    if facts.pos_inf or facts.neg_inf or (facts.min_finite is not None and facts.min_finite < 0):
        return f"negative or infinite {weight!r} weights are left to NetworkX"
    n = len(fg)
    if (facts.max_finite or 0) * n * n >= EXACT_INT_LIMIT:
        return f"the distance total over {weight!r} could exceed 2**53"
    return None


@served(docs="One multi-source search in C++; weighted distances are added in the order of NetworkX's own set "
        "difference. " + EXACT + " Falls back to NetworkX for negative, infinite or numpy distances, empty groups "
        "and groups holding nodes not in G.", weight="weight", rules=("weight_name",), data_rules=("group_closeness",),
        min_work=_WORK_GROUP)
def group_closeness_centrality(G, S, weight=None):
    index = G.index
    group = {index[v] for v in S}
    if weight is not None:
        # NetworkX adds the distances in the order of its set difference:
        # the same Python sets give that order.
        dist = G.core.group_distances(list(group), weight)
        closeness = 0
        for v in set(G.nodes) - set(S):
            d = dist[index[v]]
            closeness += 0 if d != d else d
        try:
            return (len(G) - len(group)) / closeness
        except ZeroDivisionError:
            return 0
    total = G.core.group_distance_total(list(group), weight)
    outside = len(G) - len(group)
    try:
        return outside / total
    except ZeroDivisionError:
        return 0


def _steps_as_3_6():
    """Whether the installed group_betweenness_centrality updates its matrices as NetworkX 3.4 to 3.6 do."""
    try:
        source = inspect.getsource(nx.group_betweenness_centrality.orig_func)
    except (OSError, TypeError, AttributeError):
        return False
    return "sigma_m_v = deepcopy(sigma_m)" in source and "_group_preprocessing(G, set_v, weight)" in source


_GBC_RELEASE = None if _steps_as_3_6() else "this NetworkX version computes group betweenness differently"
# The k columns of every source's sigma, distances and dependencies.
_MAX_TABLE = 30_000_000


def _reiterable(x):
    try:
        return iter(x) is not x
    except TypeError:
        return False


@argument_rule("betweenness_groups")
def _betweenness_groups(a):
    G, C = a["G"], a["C"]
    if not _reiterable(C):
        return "groups given as iterators are left to NetworkX"
    try:
        groups = [C] if any(el in G for el in C) else list(C)
        if not all(_reiterable(group) for group in groups):
            return "groups given as iterators are left to NetworkX"
        members = {node for group in groups for node in group}
    except TypeError:
        return "unhashable or non-iterable groups are left to NetworkX"
    if not all(v in G for v in members):
        return "a group node not in G is left to NetworkX"
    if len(G) * len(members) > _MAX_TABLE:
        return "the group nodes' all-pairs tables are too large"
    if G.is_directed() and len(G) and not nx.is_strongly_connected(G):
        # NetworkX then reads distances between nodes that may not reach each other (a KeyError).
        return "directed graphs that are not strongly connected are left to NetworkX"
    return None


@served(docs="Brandes' searches from every node in parallel in C++, keeping the group nodes' columns; the "
        "group steps follow NetworkX's set(group) order. " + EXACT + " Falls back to NetworkX for groups given "
        "as iterators or holding nodes not in G, directed graphs that are not strongly connected, weights that "
        "are None, callable or non-numeric, and the null graph.", weight="weight",
        rules=("weight_name", "null_graph", "betweenness_groups"), data_rules=("betweenness_weights",),
        per_source=True, min_work=WORK_BETWEENNESS, release=_GBC_RELEASE, answers=(ZeroDivisionError,))
def group_betweenness_centrality(G, C, normalized=True, weight=None, endpoints=False):
    source = G.source
    list_of_groups = True
    if any(el in source for el in C):
        C = [C]
        list_of_groups = False
    set_v = {node for group in C for node in group}
    members = list(set_v)
    place = {node: i for i, node in enumerate(members)}
    offsets, flat, sizes = [0], [], []
    for group in C:
        group = set(group)
        flat.extend(place[v] for v in group)
        offsets.append(len(flat))
        sizes.append(len(group))
    index = G.index
    steps, unconnected = G.core.group_betweenness(weight, [index[v] for v in members], offsets, flat)
    v = len(G)
    directed = G.directed
    connected = None
    GBC = []
    for c, terms, scale_apart in zip(sizes, steps, unconnected):
        GBC_group = 0
        for term in terms:
            GBC_group += term
        if not endpoints:
            scale = 0
            if connected is None:
                connected = nx.is_strongly_connected(source) if directed else nx.is_connected(source)
            if connected:
                scale = c * (2 * v - c - 1)
            if scale == 0:
                scale = scale_apart
            GBC_group -= scale
        if normalized:
            scale = 1 / ((v - c) * (v - c - 1))
            GBC_group *= scale
        elif not directed:
            GBC_group /= 2
        GBC.append(GBC_group)
    if list_of_groups:
        return GBC
    return GBC[0]


# The preprocessing's n x m tables and, along the search, one m x m pair per
# group member added.
_MAX_PROMINENT = 30_000_000


def _pandas_missing():
    try:
        import numpy  # noqa: F401
        import pandas  # noqa: F401
    except ImportError:
        return True
    return False


@argument_rule("prominent_arguments")
def _prominent_arguments(a):
    G, k, C = a["G"], a["k"], a["C"]
    if _pandas_missing():
        return "NetworkX needs pandas and numpy here"
    if type(k) is not int:
        return "a k that is not an int is left to NetworkX"
    if C is not None:
        if not _reiterable(C):
            return "groups given as iterators are left to NetworkX"
        try:
            if not all(v in G for v in C):
                return "a node of C not in G is left to NetworkX"
            m = len(G) - len(set(C))
        except TypeError:
            return "unhashable or non-iterable groups are left to NetworkX"
    else:
        m = len(G)
    if not 1 <= k <= m:
        return "a k outside 1 .. the number of candidates is left to NetworkX"
    if len(G) * m + 2 * (k + 1) * m * m > _MAX_PROMINENT:
        return "the all-pairs tables are too large"
    if G.is_directed() and not nx.is_strongly_connected(G):
        # NetworkX then reads distances between nodes that may not reach each other (a KeyError).
        return "directed graphs that are not strongly connected are left to NetworkX"
    return None


@data_rule("prominent_nodes")
def _prominent_nodes(fg, a):
    # The DataFrame labels and the candidates' tie-breaks read the nodes as
    # plain ints or strings (pandas makes tuples MultiIndex keys).
    kinds = {type(v) for v in fg.nodes}
    if kinds != {int} and kinds != {str}:
        return "nodes that are not all ints or all strings are left to NetworkX"
    return None


# NetworkX 3.4 drops rows with pandas' deprecated drop(inplace=True), which
# warns on recent pandas: that release keeps prominent_group.
_PROMINENT_RELEASE = None if NX_VERSION >= (3, 5) else "this NetworkX release warns through pandas' drop(inplace=True)"


@served(docs="The preprocessing's Brandes searches from every node run in parallel in C++, and the branch and bound "
        "over its tables in C++ with NetworkX's candidate order and float steps. " + EXACT + " Falls back to "
        "NetworkX for a k that is not an int between 1 and the number of candidates, C given as an iterator or "
        "holding nodes not in G, nodes that are not all ints or all strings, directed graphs that are not "
        "strongly connected, weights that are None, callable or non-numeric, and the null graph.",
        weight="weight", rules=("weight_name", "null_graph", "prominent_arguments"),
        data_rules=("betweenness_weights", "prominent_nodes"), per_source=True, answers=(ZeroDivisionError,),
        release=_PROMINENT_RELEASE)
def prominent_group(G, k, weight=None, C=None, endpoints=False, normalized=True, greedy=False):
    if C is not None:
        C = set(C)
        members = [v for v in G.nodes if v not in C]
        # NetworkX pairs the set G.nodes - C (built as this one is), in its
        # order, with the DataFrame's diagonal, whose rows keep node order.
        nodes = list(set(members))
    else:
        members = list(G.nodes)
        nodes = members
    place = {v: i for i, v in enumerate(members)}
    label = [place[v] for v in nodes]
    rank = [0] * len(members)
    for r, v in enumerate(sorted(members)):
        rank[place[v]] = r
    index = G.index
    found, gbc, group, scale_apart = G.core.prominent_group(
        weight, [index[v] for v in members], label, rank, k, bool(greedy))
    max_GBC = gbc if found else 0
    max_group = [members[i] for i in group]
    v = len(G)
    if not endpoints:
        scale = 0
        if _connected(G, "strongly_connected" if G.directed else "connected"):
            scale = k * (2 * v - k - 1)
        if scale == 0:
            scale = scale_apart
        max_GBC -= scale
    if normalized:
        scale = 1 / ((v - k) * (v - k - 1))
        max_GBC *= scale
    elif not G.directed:
        max_GBC /= 2
    max_GBC = float(f"{max_GBC:.2f}")
    return max_GBC, max_group
