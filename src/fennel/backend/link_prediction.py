"""Link prediction (NetworkX's link_prediction module).

Every index is a generator of ``(u, v, p)`` over the ebunch, or over
``nx.non_edges(G)`` when there is none. NetworkX checks a given ebunch when
called (an iterator is used up then, and yields nothing after), reading the
pairs again as it yields; the non-edges come from popping a set of the nodes
and walking set differences, whose orders the core replays from the nodes'
hashes. The sums over ``nx.common_neighbors`` (a set intersection) are
added in that set's order, as NetworkX's sum() meets them (compensated from
CPython 3.12 on). Scores are computed in C++ in batches of pairs, on the
worker pool, and handed out lazily, batch by batch.

The community indices read the community attribute of every node when
called; NetworkX reads them as it yields, so a change to them in between is
not seen.
"""

import weakref
from array import array

import networkx as nx

from .. import _core
from .checks import COMPENSATED_SUM, argument_rule, data_rule
from .native import compact_form
from .clique import node_hashes
from .serve import EXACT, WORK_LINK_PREDICTION, served

_DOCS = (
    "Scores computed in C++ in parallel batches of pairs and handed out lazily; sums over the common "
    "neighbours in the order of NetworkX's set, non-edges in nx.non_edges' order. " + EXACT
)
_RULES = ("undirected_only", "no_multigraph")
# The indices whose answers follow nx.common_neighbors' set order (sums, or
# the first common neighbour without a community).
_ORDERED = (*_RULES, "common_neighbor_rows")

# The first batch is small, so that a generator stopped early costs little.
_FIRST_BATCH = 256
_LAST_BATCH = 1 << 16

# NetworkX's indices, in the core's numbering.
(_JACCARD, _ADAMIC_ADAR, _RESOURCE_ALLOCATION, _PREFERENTIAL_ATTACHMENT, _CENTRALITY, _CN_SH, _RA_SH,
 _WITHIN_INTER) = range(8)

# Tags of the pair a batch stopped at.
_ZERO_DIVISION, _SELF_LOOP, _NO_COMMUNITY = 2, 3, 4

try:
    1 / 0.0
except ZeroDivisionError as exc:
    _ZERO_DIVISION_MESSAGE = str(exc)

# A multiplier exact in double arithmetic for every count it meets.
_EXACT_PARAMETER = 2**20


def _plain_number(x):
    return type(x) is float or ((type(x) is int or type(x) is bool) and abs(x) <= _EXACT_PARAMETER)


@argument_rule("common_neighbor_rows")
def _common_neighbor_rows(a):
    """nx.common_neighbors' set starts as set(G._adj[v].keys()), which CPython
    sizes up front only for an exact dict: other rows (a view's, a custom
    factory's) fill another table, in another order."""
    G = a["G"]
    if not isinstance(G, nx.Graph) or compact_form(G) is not None:
        return None  # (a native graph's rows, once built, are plain dicts)
    if type(G._adj) is dict and G.adjlist_inner_dict_factory is dict:
        return None
    return "sums over the common neighbours of rows other than dicts are left to NetworkX"


@argument_rule("centrality_alpha")
def _centrality_alpha(a):
    if _plain_number(a["alpha"]):
        return None
    return "an alpha other than a Python float or an int within 2**20 is left to NetworkX"


@argument_rule("cluster_delta")
def _cluster_delta(a):
    if _plain_number(a["delta"]):
        return None
    return "a delta other than a Python float or an int within 2**20 is left to NetworkX"


@argument_rule("community_name")
def _community_name(a):
    try:
        hash(a["community"])
    except TypeError:
        return "an unhashable community attribute name is left to NetworkX"
    return None


_COMMUNITY_TYPES = (int, bool, str, type(None))


@data_rule("community_values")
def _community_values(fg, a):
    """Communities are compared by ==, which a dict of the values answers
    alike for these types (NaN, unequal to itself, excepted)."""
    name = a["community"]
    for _, data in fg.source.nodes(data=True):
        if name not in data:
            continue
        value = data[name]
        kind = type(value)
        if kind is float:
            if value != value:
                return "a NaN community is left to NetworkX"
        elif kind not in _COMMUNITY_TYPES:
            return "communities other than ints, floats, strings or None are left to NetworkX"
    return None


def _communities(fg, name):
    """An id per node, equal where the community values are (-1: none)."""
    ids, out = {}, array("i")
    for _, data in fg.source.nodes(data=True):
        if name in data:
            out.append(ids.setdefault(data[name], len(ids)))
        else:
            out.append(-1)
    return out.tobytes()


# Per converted graph, for the CoreGraph it was read from: the nodes'
# hashes, whether the nodes are the ints 0..n-1 in order (each its own
# position), and the degrees. Read once, so that a call with a few pairs
# costs little more than its pairs.
_NODE_FACTS = weakref.WeakKeyDictionary()


def _node_facts(fg):
    core = fg.core
    facts = _NODE_FACTS.get(fg)
    if facts is None or facts[0] is not core:
        nodes = fg.nodes
        n = len(nodes)
        identity = n == 0 or (all(type(v) is int for v in nodes) and nodes == list(range(n)))
        degrees = array("q", core.degrees()).tobytes()
        facts = _NODE_FACTS[fg] = (core, node_hashes(fg), identity, degrees)
    return facts


def _ebunch(fg, ebunch):
    """NetworkX's check of a given ebunch: (pairs, positions) to score, or
    None for an iterator, which the check used up."""
    if iter(ebunch) is ebunch:
        for u, v in ebunch:
            if u not in fg:
                raise nx.NodeNotFound(f"Node {u} not in G.")
            if v not in fg:
                raise nx.NodeNotFound(f"Node {v} not in G.")
        return None
    pairs = list(ebunch)
    identity = _node_facts(fg)[2]
    found = _core._link_pairs(pairs, fg.index, identity)
    if found is None:
        # Items other than 2-tuples: NetworkX's own loop, and its errors.
        for u, v in pairs:
            if u not in fg:
                raise nx.NodeNotFound(f"Node {u} not in G.")
            if v not in fg:
                raise nx.NodeNotFound(f"Node {v} not in G.")
        pairs = [(u, v) for u, v in pairs]
        found = _core._link_pairs(pairs, fg.index, identity)
    if type(found) is tuple:
        item, end = found
        raise nx.NodeNotFound(f"Node {pairs[item][end]} not in G.")
    return pairs, found


def _raise(tag, detail):
    if tag == _ZERO_DIVISION:
        raise ZeroDivisionError(_ZERO_DIVISION_MESSAGE)
    if tag == _SELF_LOOP:
        raise nx.NetworkXAlgorithmError("Self loops are not supported")
    raise nx.NetworkXAlgorithmError(f"No community information available for Node {detail}")


def _batches(fg, state, checked):
    nodes, batch = fg.node_tuple, _FIRST_BATCH
    if checked is None:
        while True:
            triples, tag, detail = _core._link_non_edges(state, batch, nodes)
            yield from triples
            if tag >= 0:
                _raise(tag, detail)
            if len(triples) < batch:
                return
            batch = min(batch * 4, _LAST_BATCH)
    pairs, positions = checked
    start = 0
    while start < len(pairs):
        stop = min(start + batch, len(pairs))
        triples, tag, detail = _core._link_batch(state, positions, pairs, nodes, start, stop)
        yield from triples
        if tag >= 0:
            _raise(tag, detail)
        start = stop
        batch = min(batch * 4, _LAST_BATCH)


def _nothing():
    return
    yield


def _predict(G, index, ebunch, *, community=None, alpha=0.0, delta=1.0):
    checked = None if ebunch is None else _ebunch(G, ebunch)
    if checked is None and ebunch is not None:
        return _nothing()
    count_only = index == _CENTRALITY and alpha == 1
    ids = _communities(G, community) if community is not None else b""
    core, hashes, _, degrees = _node_facts(G)
    state = core.link_predictor(index, hashes, degrees, ids, float(alpha), count_only, float(delta), COMPENSATED_SUM)
    return _batches(G, state, checked)


def _bounded(a):
    """A given ebunch: NetworkX's work is its pairs', not the whole graph's."""
    return a["ebunch"] is not None


@served(docs=_DOCS, rules=_RULES, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def jaccard_coefficient(G, ebunch=None):
    return _predict(G, _JACCARD, ebunch)


@served(docs=_DOCS, rules=_ORDERED, bounded=_bounded, min_work=WORK_LINK_PREDICTION, answers=(ZeroDivisionError,))
def adamic_adar_index(G, ebunch=None):
    return _predict(G, _ADAMIC_ADAR, ebunch)


@served(docs=_DOCS, rules=_ORDERED, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def resource_allocation_index(G, ebunch=None):
    return _predict(G, _RESOURCE_ALLOCATION, ebunch)


@served(docs=_DOCS, rules=_RULES, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def preferential_attachment(G, ebunch=None):
    return _predict(G, _PREFERENTIAL_ATTACHMENT, ebunch)


@served(docs=_DOCS + " Distances by breadth-first search in C++, per pair (from both ends) or per node.",
        rules=(*_RULES, "centrality_alpha"), bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def common_neighbor_centrality(G, ebunch=None, alpha=0.8):
    return _predict(G, _CENTRALITY, ebunch, alpha=alpha)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name"), data_rules=("community_values",), bounded=_bounded,
        min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def cn_soundarajan_hopcroft(G, ebunch=None, community="community"):
    return _predict(G, _CN_SH, ebunch, community=community)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name"), data_rules=("community_values",), bounded=_bounded,
        min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def ra_index_soundarajan_hopcroft(G, ebunch=None, community="community"):
    return _predict(G, _RA_SH, ebunch, community=community)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name", "cluster_delta"), data_rules=("community_values",),
        bounded=_bounded, min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def within_inter_cluster(G, ebunch=None, delta=0.001, community="community"):
    if delta <= 0:
        raise nx.NetworkXAlgorithmError("Delta must be greater than zero")
    return _predict(G, _WITHIN_INTER, ebunch, community=community, delta=delta)

