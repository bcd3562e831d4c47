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

NetworkX's generator reads G live as it yields, so a caller may change G
between items (adding the predicted edges, say). Before each item the
generator checks that G is unchanged; once it is not, the rest comes from
NetworkX's own scoring of the pairs NetworkX would still walk: the rest of
the ebunch, or nx.non_edges' loop resumed from its state (the node set
rebuilt and popped as far, the current difference taken over the row the
node had then). The community indices read the community attribute of every
node when called; a change to an attribute alone is not a change of G, and
is not seen.
"""

import weakref
from array import array

import networkx as nx

from .. import _core
from .checks import COMPENSATED_SUM, argument_rule, data_rule
from .native import compact_form
from .clique import node_hashes
from .serve import EXACT, WORK_LINK_PREDICTION, served
from .shared import bfs_limit, changed, watch

_DOCS = (
    "Scores computed in C++ in parallel batches of pairs and handed out lazily; sums over the common "
    "neighbours in the order of NetworkX's set, non-edges in nx.non_edges' order. " + EXACT
)
_RULES = ("undirected_only", "no_multigraph", "sees_changes")
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


def _batches(fg, state, checked, resume):
    nodes, batch = fg.node_tuple, _FIRST_BATCH
    if checked is None:
        while True:
            triples, tag, detail = _core._link_non_edges(state, batch, nodes)
            yield from resume.follow(triples, None)
            if resume.handed_over:
                return
            if tag >= 0 or len(triples) < batch:
                # The pair that fails, or the end of the walk, is met on the
                # next request: NetworkX reads G then, as it may have changed
                # since the last item (its loop goes on over the rows of the
                # nodes left in its set, which a change can refill).
                if changed(resume.watched):
                    yield from resume.networkx_rest(None)
                    return
                if tag >= 0:
                    _raise(tag, detail)
                return
            batch = min(batch * 4, _LAST_BATCH)
    pairs, positions = checked
    start = 0
    while start < len(pairs):
        stop = min(start + batch, len(pairs))
        triples, tag, detail = _core._link_batch(state, positions, pairs, nodes, start, stop)
        yield from resume.follow(triples, start)
        if resume.handed_over:
            return
        if tag >= 0:
            if changed(resume.watched):  # the failing pair scored on G as it is now
                yield from resume.networkx_rest(start + len(triples))
                return
            _raise(tag, detail)
        start = stop
        batch = min(batch * 4, _LAST_BATCH)


class _Unchecked:
    """An ebunch NetworkX's check of the pairs walks as empty: the pairs go
    straight to its scoring, read as it yields."""

    def __init__(self, pairs):
        self.pairs, self.walked = pairs, False

    def __iter__(self):
        if not self.walked:
            self.walked = True
            return iter(())
        return iter(self.pairs)


class _Resume:
    """Hands out the core's items while G is unchanged, then NetworkX's own."""

    def __init__(self, fg, networkx, kwargs, pairs, core):
        self.fg, self.networkx, self.kwargs, self.pairs, self.core = fg, networkx, kwargs, pairs, core
        self.watched = watch(fg)
        self.nodes = fg.node_tuple  # set(G)'s source at the first item (checked unchanged then)
        self.last = None  # the last item handed out
        self.distances, self.positions = {}, None
        self.handed_over = False  # the rest came from NetworkX's scoring

    def follow(self, triples, start):
        if self.watched is None:
            yield from triples
            return
        # The check before each item is made in C: a Python loop over the
        # items would cost more than scoring them.
        items = _core._while_unchanged(triples, self.watched)
        yield from items
        handed = items.position()
        if handed:
            self.last = triples[handed - 1]
        if handed < len(triples):
            yield from self.networkx_rest(None if start is None else start + handed)

    def networkx_rest(self, position):
        self.handed_over = True
        G = self.fg.source
        if position is not None:
            rest = iter(self.pairs[position:])
        elif self.last is None:
            rest = nx.non_edges(G)  # changed before the first item: set(G) not yet made
        else:
            rest = self._non_edges_from(G, self.last[0], self.last[1])
        if self.networkx.name == "common_neighbor_centrality" and self.kwargs["alpha"] != 1:
            yield from self._centrality(G, rest)
        else:
            yield from self.networkx.orig_func(G, _Unchecked(rest), **self.kwargs)

    def _non_edges_from(self, G, u, v):
        """nx.non_edges(G)'s remaining pairs after (u, v), G having changed since."""
        nodes = set(self.nodes)
        while nodes.pop() is not u:
            pass
        # The difference NetworkX took when it popped u, over u's row then.
        row = {self.nodes[j] for j in self.core.neighbors(self._position(u))}
        current = iter(nodes - row)
        for w in current:
            if w is v:
                break
        yield from ((u, w) for w in current)
        while nodes:
            u = nodes.pop()
            for w in nodes - set(G[u]):
                yield (u, w)

    def _position(self, u):
        if self.positions is None:
            self.positions = {w: i for i, w in enumerate(self.nodes)}
        return self.positions[u]

    def _centrality(self, G, rest):
        """NetworkX's common_neighbor_centrality scores, its distances those of G
        when called (NetworkX computes them then)."""
        alpha, inf = self.kwargs["alpha"], float("inf")
        for u, v in rest:
            if u == v:
                raise nx.NetworkXAlgorithmError("Self loops are not supported")
            lengths = self.distances.get(u)
            if lengths is None:
                s = self._position(u)
                lengths = self.distances[u] = self.core.bfs(s, bfs_limit(None)).length_dict(self.nodes, u)
            path_len = lengths.get(v, inf)
            n_nbrs = len(nx.common_neighbors(G, u, v))
            yield (u, v, alpha * n_nbrs + (1 - alpha) * len(G) / path_len)


def _nothing():
    return
    yield


def _predict(G, index, ebunch, networkx, **kwargs):
    checked = None if ebunch is None else _ebunch(G, ebunch)
    if checked is None and ebunch is not None:
        return _nothing()
    community, alpha, delta = kwargs.get("community"), kwargs.get("alpha", 0.0), kwargs.get("delta", 1.0)
    count_only = index == _CENTRALITY and alpha == 1
    ids = _communities(G, community) if community is not None else b""
    core, hashes, _, degrees = _node_facts(G)
    state = core.link_predictor(index, hashes, degrees, ids, float(alpha), count_only, float(delta), COMPENSATED_SUM)
    resume = _Resume(G, networkx, kwargs, None if checked is None else checked[0], core)
    return _batches(G, state, checked, resume)


def _bounded(a):
    """A given ebunch: NetworkX's work is its pairs', not the whole graph's
    (their count when the ebunch has a length)."""
    ebunch = a["ebunch"]
    if ebunch is None:
        return False
    try:
        return len(ebunch) or True
    except Exception:  # no length (an iterator), or a failing one: NetworkX's check meets it
        return True


@served(docs=_DOCS, rules=_RULES, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def jaccard_coefficient(G, ebunch=None):
    return _predict(G, _JACCARD, ebunch, nx.jaccard_coefficient)


@served(docs=_DOCS, rules=_ORDERED, bounded=_bounded, min_work=WORK_LINK_PREDICTION, answers=(ZeroDivisionError,))
def adamic_adar_index(G, ebunch=None):
    return _predict(G, _ADAMIC_ADAR, ebunch, nx.adamic_adar_index)


@served(docs=_DOCS, rules=_ORDERED, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def resource_allocation_index(G, ebunch=None):
    return _predict(G, _RESOURCE_ALLOCATION, ebunch, nx.resource_allocation_index)


@served(docs=_DOCS, rules=_RULES, bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def preferential_attachment(G, ebunch=None):
    return _predict(G, _PREFERENTIAL_ATTACHMENT, ebunch, nx.preferential_attachment)


@served(docs=_DOCS + " Distances by breadth-first search in C++, per pair (from both ends) or per node.",
        rules=(*_RULES, "centrality_alpha"), bounded=_bounded, min_work=WORK_LINK_PREDICTION)
def common_neighbor_centrality(G, ebunch=None, alpha=0.8):
    return _predict(G, _CENTRALITY, ebunch, nx.common_neighbor_centrality, alpha=alpha)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name"), data_rules=("community_values",), bounded=_bounded,
        min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def cn_soundarajan_hopcroft(G, ebunch=None, community="community"):
    return _predict(G, _CN_SH, ebunch, nx.cn_soundarajan_hopcroft, community=community)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name"), data_rules=("community_values",), bounded=_bounded,
        min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def ra_index_soundarajan_hopcroft(G, ebunch=None, community="community"):
    return _predict(G, _RA_SH, ebunch, nx.ra_index_soundarajan_hopcroft, community=community)


@served(docs=_DOCS, rules=(*_ORDERED, "community_name", "cluster_delta"), data_rules=("community_values",),
        bounded=_bounded, min_work=WORK_LINK_PREDICTION, keeps_attributes=True)
def within_inter_cluster(G, ebunch=None, delta=0.001, community="community"):
    if delta <= 0:
        raise nx.NetworkXAlgorithmError("Delta must be greater than zero")
    return _predict(G, _WITHIN_INTER, ebunch, nx.within_inter_cluster, community=community, delta=delta)

