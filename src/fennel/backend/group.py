"""Group centralities (NetworkX's group module): degree and closeness.

group_degree_centrality and its in/out forms build Python sets only to
count them, so the count comes from one pass over the group's rows in C++.
group_closeness_centrality adds distances in the order of a set
difference; fennel serves it where every distance is an integer and the
total stays exact, so that order cannot show, from one multi-source search
in C++. group_betweenness_centrality and prominent_group are left to
NetworkX.
"""

import math

from .checks import EXACT_INT_LIMIT, data_rule, numbers
from .kinds import NUMPY_KINDS
from .serve import EXACT, served

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
    if not facts.all_int:
        return f"float {weight!r} distances are added in a set's order"
    n = len(fg)
    if (facts.max_finite or 0) * n * n >= EXACT_INT_LIMIT:
        return f"the distance total over {weight!r} could exceed 2**53"
    return None


@served(docs="One multi-source search in C++. " + EXACT + " Falls back to NetworkX for float, negative, "
        "infinite or numpy distances (NetworkX adds them in a set's order), empty groups and groups holding nodes "
        "not in G.", weight="weight", rules=("weight_name",), data_rules=("group_closeness",),
        min_work=_WORK_GROUP)
def group_closeness_centrality(G, S, weight=None):
    index = G.index
    group = {index[v] for v in S}
    total = G.core.group_distance_total(list(group), weight)
    outside = len(G) - len(group)
    try:
        return outside / total
    except ZeroDivisionError:
        return 0
