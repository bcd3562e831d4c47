"""Flow-based connectivity (NetworkX's connectivity package: connectivity.py
and cuts.py), run with Edmonds–Karp, NetworkX's default there.

Every flow runs over the auxiliary digraph NetworkX builds (utils.py), with
its row orders, and that digraph's residual network: capacities are the int
1, so every value is an int. The pairs a function tries are chosen here as
NetworkX chooses them (its node sets, dominating sets and degree minima over
the same objects); the flows of independent pairs run on the worker pool.
Where NetworkX passes each pair the best value so far as cutoff, the pairs
run with the value before the loop: a run stops at or above its cutoff, so
``min`` keeps the same object either way. Cut sets are built here by
NetworkX's own insertions, from the nodes the core finds reaching t.
"""

import itertools

import networkx as nx
from networkx.algorithms.flow import edmonds_karp as _nx_edmonds_karp

from .checks import NX_VERSION, argument_rule, data_rule
from .dominating import dominating_set as _dominating_set
from .flow import _cutoff_problem, sink_side
from .serve import EXACT, served
from .shared import connected

# Followed on every release fennel admits. NetworkX 3.7 bounds node
# connectivity by a node's distinct neighbours other than itself (the fewer of
# its predecessors and successors on a digraph), tries a digraph's pairs in
# both orders, leaves out a pair (s, t) of minimum_st_node_cut for an edge
# s -> t only, and grows minimum_cut's sink side by insertions (flow.sink_side).
# NetworkX 3.4 answers an empty minimum_st_node_cut with a dict.
_RELEASE = None
_NX37 = NX_VERSION >= (3, 7)

_INF = float("inf")


# Flow functions run here as Edmonds–Karp. A flow room adds its function
# when every maximum flow it finds answers as Edmonds–Karp's does: without a
# cutoff every maximum flow has the same int value and the same nodes
# reaching t in its residual network (all a cut is made of); with the best
# value so far as cutoff, a run below it is exact and one at or above it
# leaves min() its old object. A cutoff the caller gives is refused for
# them: where a run stops past it depends on the algorithm.
CONNECTIVITY_FLOW_FUNCS = {_nx_edmonds_karp}


@argument_rule("connectivity_flow_func")
def _connectivity_flow_func(a):
    flow_func = a["flow_func"]
    if flow_func is None or flow_func is _nx_edmonds_karp:
        return None
    if flow_func not in CONNECTIVITY_FLOW_FUNCS:
        names = ", ".join(sorted(f.__name__ for f in CONNECTIVITY_FLOW_FUNCS))
        return f"flow functions other than {names} are left to NetworkX"
    if a.get("cutoff") is not None:
        return f"a cutoff with flow_func={flow_func.__name__} is left to NetworkX"
    return None


@argument_rule("own_auxiliary")
def _own_auxiliary(a):
    return None if a["auxiliary"] is None else "an auxiliary digraph given by the caller is left to NetworkX"


@argument_rule("connectivity_cutoff")
def _connectivity_cutoff(a):
    cutoff = a["cutoff"]
    if cutoff is not None and cutoff != cutoff:
        return "a NaN cutoff is left to NetworkX"
    return _cutoff_problem(cutoff)


@data_rule("ends_in_graph")
def _ends_in_graph(fg, a):
    """The node auxiliary digraph maps s and t through a dict: NetworkX raises KeyError for others."""
    for end in (a["s"], a["t"]):
        if end is not None and end not in fg:
            return "an end not in G (NetworkX's mapping raises KeyError) is left to NetworkX"
    return None


@data_rule("nbunch_nodes")
def _nbunch_nodes(fg, a):
    nbunch = a["nbunch"]
    if nbunch is None:
        return None
    if type(nbunch) not in (list, tuple, set, frozenset):
        return "nbunch other than a list, tuple or set is left to NetworkX"
    if not all(v in fg for v in nbunch):
        return "nbunch nodes not in G are left to NetworkX"
    return None


_RULES = ("connectivity_flow_func", "no_multigraph")
_LOCAL_RULES = ("connectivity_flow_func", "own_auxiliary", "own_residual", "connectivity_cutoff", "no_multigraph")
_GLOBAL_RULES = ("connectivity_flow_func", "no_multigraph", "null_graph")


def _both_or_neither(s, t):
    if (s is not None and t is None) or (s is None and t is not None):
        raise nx.NetworkXError("Both source and target must be specified.")
    return s is not None


def _check_in(G, *ends):
    for end in ends:
        if end not in G:
            raise nx.NetworkXError(f"node {end} not in graph")


def _flow_ends(G, s, t):
    """edmonds_karp's checks of its ends, as maximum_flow_value and minimum_cut reach them."""
    if s not in G:
        raise nx.NetworkXError(f"node {str(s)} not in graph")
    if t not in G:
        raise nx.NetworkXError(f"node {str(t)} not in graph")
    if s == t:
        raise nx.NetworkXError("source and sink are the same node")


def _is_connected(G):
    if G.directed:
        return len(G.load_exact_pred().weakly_connected()) == 1
    return connected(G)


def _flows(G, node, pairs, cutoff):
    index = G.index
    ss = [index[u] for u, _ in pairs]
    ts = [index[v] for _, v in pairs]
    return G.core.unit_flows(node, ss, ts, _INF if cutoff is None else float(cutoff))


def _running_min(K, values):
    for value in values:
        K = min(K, value)
    return K


class _Structure:
    """What the global functions read of G besides the flows, from the core (a
    native graph's dicts stay unbuilt): NetworkX's degrees, its neighbours of
    a node, rows and adjacency."""

    def __init__(self, G):
        self.G = G
        self.nodes = G.nodes
        self.index = G.index
        self.core = G.load_exact_pred() if G.directed else G.core
        self.degrees = self.core.degrees()

    def least_degree(self):
        """min(G, key=G.degree): the first node of least degree, and its degree."""
        degrees = self.degrees
        v = min(range(len(degrees)), key=degrees.__getitem__)
        return self.nodes[v], degrees[v]

    def neighbors(self, v):
        """node_connectivity's neighbors(v): predecessors then successors on a digraph."""
        nodes = self.nodes
        return [nodes[w] for w in self.core.connectivity_neighbors(self.index[v])]

    def row(self, v):
        """G[v]'s keys (the node objects: the keys rule holds)."""
        nodes = self.nodes
        return [nodes[w] for w in self.core.neighbors(self.index[v])]

    def has_edge(self, u, v):
        return self.core.has_edge(self.index[u], self.index[v])

    def least_isolating(self):
        """NetworkX 3.7's pick: the first node with the fewest distinct neighbours other than
        itself (on a digraph the fewer of its predecessors and successors), and that number."""
        core, directed = self.core, self.G.directed
        best, least = 0, None
        for i in range(len(self.nodes)):
            loop = core.has_edge(i, i)
            degree = len(core.neighbors(i)) - loop
            if directed:
                degree = min(len(core.predecessors(i)) - loop, degree)
            if least is None or degree < least:
                best, least = i, degree
        return self.nodes[best], least

    def isolating_cut(self, v):
        """NetworkX 3.7's first cut of minimum_node_cut: G[v].keys() - {v}; on a digraph the
        smaller of G.pred[v].keys() - {v} and G.succ[v].keys() - {v}, the predecessors on a tie."""
        nodes, i = self.nodes, self.index[v]
        succ = dict.fromkeys([nodes[w] for w in self.core.neighbors(i)]).keys() - {v}
        if not self.G.directed:
            return succ
        pred = dict.fromkeys([nodes[w] for w in self.core.predecessors(i)]).keys() - {v}
        return min(pred, succ, key=len)


def _dominated_pair_ends(G):
    """edge_connectivity's and minimum_edge_cut's search for a dominating set of two nodes or more:
    (v, the rest of the set), or None when every dominating set found is one node."""
    for node in G:
        D = _dominating_set(G, start_with=node)
        v = D.pop()
        if D:
            return v, D
    return None


def _sides(nodes, reaching):
    """minimum_cut's partition, as its sets are built."""
    non_reachable = sink_side(map(nodes.__getitem__, reaching))
    return set(nodes) - non_reachable, non_reachable


def _no_node_cut():
    """minimum_st_node_cut's answer for ends no node removal separates."""
    return {} if NX_VERSION < (3, 5) else set()


def _joined(S, s, t):
    """Whether minimum_st_node_cut answers at once: an edge s -> t (and before 3.7, t -> s)."""
    return S.has_edge(s, t) or (not _NX37 and S.has_edge(t, s))


def _edge_cutset(rows_of, reachable, non_reachable):
    """minimum_st_edge_cut's set: for u on s's side, (u, v) for v in u's row on t's side."""
    cutset = set()
    for u in reachable:
        cutset.update((u, v) for v in rows_of(u) if v in non_reachable)
    return cutset


def _rows_reader(names, offsets, targets):
    """H[u] for the nodes of the auxiliary digraph, by name."""
    position = dict(zip(names, range(len(names))))

    def rows_of(u):
        p = position[u]
        return [names[x] for x in targets[offsets[p]:offsets[p + 1]]]

    return rows_of


def _node_names(G):
    return [f"{i}{side}" for i in range(len(G)) for side in "AB"]


def _node_cut(G, s, t, reaching, offsets, targets):
    """minimum_st_node_cut's set from its edge cut over the node auxiliary digraph."""
    names = _node_names(G)
    reachable, non_reachable = _sides(names, reaching)
    edge_cut = _edge_cutset(_rows_reader(names, offsets, targets), reachable, non_reachable)
    position = dict(zip(names, range(len(names))))
    nodes = G.nodes
    node_cut = {nodes[position[node] >> 1] for edge in edge_cut for node in edge}
    return node_cut - {s, t}


_DOCS = (
    "NetworkX's auxiliary digraph and its residual network built in C++ with their row orders, "
    "Edmonds–Karp replayed step by step (also for flow_func=shortest_augmenting_path, dinitz or "
    "boykov_kolmogorov without a cutoff, whose answers are Edmonds–Karp's). "
)
_PAIRS_DOCS = _DOCS + "The pairs chosen as NetworkX chooses them, their flows on the worker pool. "
_CUT_DOCS = _DOCS + "The cut sets built by NetworkX's insertions from the nodes reaching t. "


@served(docs=_DOCS + EXACT, rules=_LOCAL_RULES,
        release=_RELEASE)
def local_edge_connectivity(G, s, t, flow_func=None, auxiliary=None, residual=None, cutoff=None):
    _flow_ends(G, s, t)
    return _flows(G, False, [(s, t)], cutoff)[0]


@served(docs=_DOCS + EXACT, rules=_LOCAL_RULES, data_rules=("ends_in_graph",),
        release=_RELEASE)
def local_node_connectivity(G, s, t, flow_func=None, auxiliary=None, residual=None, cutoff=None):
    return _flows(G, True, [(s, t)], cutoff)[0]


@served(docs=_PAIRS_DOCS + EXACT, rules=_GLOBAL_RULES + ("connectivity_cutoff",),
        release=_RELEASE)
def edge_connectivity(G, s=None, t=None, flow_func=None, cutoff=None):
    if _both_or_neither(s, t):
        _check_in(G, s, t)
        _flow_ends(G, s, t)
        return _flows(G, False, [(s, t)], cutoff)[0]
    if not _is_connected(G):
        return 0
    L = min(_Structure(G).degrees)
    if cutoff is not None:
        L = min(cutoff, L)
    if G.directed:
        nodes = G.nodes
        if len(nodes) == 1:
            _flow_ends(G, nodes[0], nodes[0])
        pairs = list(zip(nodes, nodes[1:] + nodes[:1]))
    else:
        found = _dominated_pair_ends(G)
        if found is None:
            return L
        v, D = found
        pairs = [(v, w) for w in D]
    return _running_min(L, _flows(G, False, pairs, L))


def _node_connectivity_pairs(S):
    """node_connectivity's and minimum_node_cut's pairs: (v of least degree, its degree, the pairs)."""
    directed = S.G.directed
    iter_func = itertools.permutations if directed else itertools.combinations
    if _NX37:
        v, degree = S.least_isolating()
        around = set(S.neighbors(v)) - {v}
        pairs = []
        for w in set(S.nodes) - around - {v}:
            pairs.append((v, w))
            if directed:
                pairs.append((w, v))
    else:
        v, degree = S.least_degree()
        around = S.neighbors(v)
        pairs = [(v, w) for w in set(S.nodes) - set(around) - {v}]
    for x, y in iter_func(around, 2):
        if S.has_edge(x, y):
            continue
        pairs.append((x, y))
    return v, degree, pairs


@served(docs=_PAIRS_DOCS + EXACT, rules=_GLOBAL_RULES,
        release=_RELEASE)
def node_connectivity(G, s=None, t=None, flow_func=None):
    if _both_or_neither(s, t):
        _check_in(G, s, t)
        return _flows(G, True, [(s, t)], None)[0]
    if not _is_connected(G):
        return 0
    # min(G.degree(), key=itemgetter(1)) and min(G, key=G.degree) pick the same first node.
    _, K, pairs = _node_connectivity_pairs(_Structure(G))
    return _running_min(K, _flows(G, True, pairs, K))


@served(docs=_PAIRS_DOCS + "The sum over ints, then one division, as NetworkX's. " + EXACT, rules=_RULES,
        release=_RELEASE)
def average_node_connectivity(G, flow_func=None):
    iter_func = itertools.permutations if G.directed else itertools.combinations
    pairs = list(iter_func(G.nodes, 2))
    if not pairs:
        return 0
    return sum(_flows(G, True, pairs, None)) / len(pairs)


@served(docs=_PAIRS_DOCS + EXACT, rules=_RULES, data_rules=("nbunch_nodes",),
        release=_RELEASE)
def all_pairs_node_connectivity(G, nbunch=None, flow_func=None):
    nbunch = G.nodes if nbunch is None else set(nbunch)
    directed = G.directed
    iter_func = itertools.permutations if directed else itertools.combinations
    all_pairs = {n: {} for n in nbunch}
    pairs = list(iter_func(nbunch, 2))
    for (u, v), K in zip(pairs, _flows(G, True, pairs, None)):
        all_pairs[u][v] = K
        if not directed:
            all_pairs[v][u] = K
    return all_pairs


@served(docs=_CUT_DOCS + EXACT, rules=("connectivity_flow_func", "own_auxiliary", "own_residual", "no_multigraph"),
        data_rules=("keys",),
        release=_RELEASE)
def minimum_st_edge_cut(G, s, t, flow_func=None, auxiliary=None, residual=None):
    _flow_ends(G, s, t)
    index = G.index
    reaching, _, _ = G.core.unit_cut(False, index[s], index[t])
    reachable, non_reachable = _sides(G.nodes, reaching)
    return _edge_cutset(_Structure(G).row, reachable, non_reachable)


@served(docs=_CUT_DOCS + EXACT, rules=("connectivity_flow_func", "own_auxiliary", "own_residual", "no_multigraph"),
        data_rules=("ends_in_graph",),
        release=_RELEASE)
def minimum_st_node_cut(G, s, t, flow_func=None, auxiliary=None, residual=None):
    S = _Structure(G)
    if _joined(S, s, t):
        return _no_node_cut()
    index = G.index
    reaching, offsets, targets = G.core.unit_cut(True, index[s], index[t])
    return _node_cut(G, s, t, reaching, offsets, targets)


@served(docs=_CUT_DOCS + "The pairs' cuts on the worker pool. " + EXACT, rules=_GLOBAL_RULES, data_rules=("keys",),
        release=_RELEASE)
def minimum_node_cut(G, s=None, t=None, flow_func=None):
    if _both_or_neither(s, t):
        _check_in(G, s, t)
        return minimum_st_node_cut.__wrapped__(G, s, t)
    if not _is_connected(G):
        raise nx.NetworkXError("Input graph is not connected")
    S = _Structure(G)
    v, _, pairs = _node_connectivity_pairs(S)
    index = G.index
    skip = [_joined(S, x, y) for x, y in pairs]
    first = S.isolating_cut(v) if _NX37 else set(S.row(v))
    (chosen, reaching), offsets, targets = G.core.smallest_cut(
        True, [index[x] for x, _ in pairs], [index[y] for _, y in pairs], skip, len(first)
    )
    if chosen < 0:
        return first
    if skip[chosen]:
        return _no_node_cut()
    x, y = pairs[chosen]
    return _node_cut(G, x, y, reaching, offsets, targets)


@served(docs=_CUT_DOCS + "The pairs' cuts on the worker pool. " + EXACT, rules=_GLOBAL_RULES, data_rules=("keys",),
        release=_RELEASE)
def minimum_edge_cut(G, s=None, t=None, flow_func=None):
    index = G.index
    nodes = G.nodes
    if _both_or_neither(s, t):
        _check_in(G, s, t)
        _flow_ends(G, s, t)
        reaching, offsets, targets = G.core.unit_cut(False, index[s], index[t])
    else:
        if not _is_connected(G):
            raise nx.NetworkXError("Input graph is not connected")
        S = _Structure(G)
        node, _ = S.least_degree()
        # set(G.edges(node)): node's row, a self-loop once.
        first = [(node, v) for v in S.row(node)]
        if G.directed:
            if len(nodes) == 1:
                _flow_ends(G, nodes[0], nodes[0])
            pairs = list(zip(nodes, nodes[1:] + nodes[:1]))
        else:
            found = _dominated_pair_ends(G)
            if found is None:
                return set(first)
            v, D = found
            pairs = [(v, w) for w in D]
        (chosen, reaching), offsets, targets = G.core.smallest_cut(
            False, [index[x] for x, _ in pairs], [index[y] for _, y in pairs], [False] * len(pairs),
            len(first),
        )
        if chosen < 0:
            return set(first)
    reachable, non_reachable = _sides(nodes, reaching)
    rows_of = _rows_reader(nodes, offsets, targets)
    return _edge_cutset(rows_of, reachable, non_reachable)
