"""Community detection and partition quality (NetworkX's community module).

Louvain: the C++ core runs each level (the gains, the moves, the next
level's graph) and reports the level's moves in order; this side replays
NetworkX's own set operations on the caller's nodes with those moves, so
every community set holds its members in the iteration order CPython gives
NetworkX's sets (an order that depends on hashes and on the history of
additions and removals, not only on membership). The generator keeps
NetworkX's shape: one seed.shuffle per level, on a list as long as
NetworkX's, at the same step, so the seed's state after any step is
NetworkX's. NetworkX 3.7 scores moves by other expressions and takes m
from G itself: the core is told which form the installed release uses.

Leiden (NetworkX 3.7's leiden.py): the set orders steer the algorithm
itself (the queue, the refinement's enumeration, the aggregated nodes), so
the core replays CPython's set tables from the nodes' hashes; this side
makes every draw NetworkX makes, with the generator's own shuffle and
choices, and rebuilds each level's sets of G's nodes by NetworkX's updates.
NetworkX 3.5 and 3.6 declare Leiden without running it: there the call
runs NetworkX 3.7's algorithm, modularity unless ``metric`` names another.

Kernighan-Lin: this side makes NetworkX's draws (one seed.shuffle of the
node list) and its membership tests of the given blocks, the core runs the
sweeps, and the blocks come back as sets filled in G's node order.

Lukes: NetworkX's own dynamic program in Python, every set, list and dict
built by the same operations in the same order (their iteration orders
break its ties and order its result), with the root drawn from the global
generator as NetworkX draws it. Two searches change: NetworkX finds the
leaves and a parent of leaves only by computing every node's descendants,
and values a cluster by scanning every edge of G (both quadratic in the
tree's size); here the tree keeps each node's count of children that are
not leaves, and a cluster's edges come from its members' rows, summed in
G.edges' order.
"""

import itertools
import math
import operator
import random
from functools import lru_cache
from array import array
from collections import defaultdict, deque

import networkx as nx
from networkx.algorithms.community.quality import NotAPartition

from .. import _core
from . import native
from .centrality import _rescale, edge_betweenness_centrality
from .clique import WORK_CLIQUES, node_hashes
from .checks import (
    COMPENSATED_SUM, EXACT_INT_LIMIT, NX_VERSION, absent, argument_rule, data_rule, edge_count, exact_real,
    int_max_iter, kind_names, nan_possible, none_key, numbers, one_kind,
)
from .graph import FennelGraph
from .kinds import NUMPY_KINDS, PY_FLOAT, PY_INT
from .native import compact_form
from .serve import EXACT, WORK_BETWEENNESS, WORK_COLOURING, served
from .shared import changed, watch

# Louvain and modularity read the graph once and run in O(n + m) per pass;
# below this work NetworkX's own call is as fast.
WORK_LOUVAIN = (150, 300)


@served(docs="Semi-synchronous label propagation in C++, visiting the nodes in NetworkX's colour order. " + EXACT
        + " Multigraphs are left to NetworkX.", rules=("no_multigraph",), min_work=WORK_COLOURING)
def label_propagation_communities(G):
    nodes = G.nodes
    order, colours = G.core.largest_first_colors()
    # NetworkX visits the nodes colour by colour, each colour's nodes as its set iterates.
    coloring = {}
    for u in order:
        if colours[u] in coloring:
            coloring[colours[u]].add(nodes[u])
        else:
            coloring[colours[u]] = {nodes[u]}
    index = G.index
    labels = G.core.label_propagation([index[v] for members in coloring.values() for v in members])
    clusters = defaultdict(set)
    for node, label in zip(nodes, labels):
        clusters[label].add(node)
    return clusters.values()


# Divisive methods: NetworkX removes the edge of highest edge betweenness
# (the first such edge in its dict's order) one at a time, recomputing the
# betweenness and the components after each removal. The graph it cuts is
# its own copy, built by the same calls here, so rows, edge keys and
# component sets follow the same orders. The copy is converted once and the
# core runs the removals on its rows (see cut_central_edges); each
# component set is filled in the order NetworkX's search adds its members.
# A multigraph's edges carry keys the core does not rank: there each step
# converts the cut copy and runs fennel's edge betweenness and components.
argument_rule("most_valuable_edge", absent("most_valuable_edge", "callers' own most_valuable_edge functions"))


@data_rule("clashes_once_undirected")
def _clashes_once_undirected(fg, a):
    """edge_key_clash on the undirected copy the divisive methods cut."""
    index, core = fg.index, fg.core
    for v in fg.nodes:
        if isinstance(v, tuple) and len(v) == 2:
            x, y = v
            try:
                if x in index and y in index and (core.has_edge(index[x], index[y])
                                                  or core.has_edge(index[y], index[x])):
                    return "a node equals an edge tuple"
            except TypeError:
                continue
    return None


def _components(H, weight):
    """H in fennel's form (``weight`` converted) and NetworkX's list of H's connected components."""
    fg = FennelGraph(H, [] if weight is None else [(weight, 1)])
    return fg, fg.core.connected(nodes=fg.node_tuple)


def _remove_most_central_edge(fg, weight):
    ranking = edge_betweenness_centrality.__wrapped__(fg, weight=weight)
    fg.source.remove_edge(*max(ranking, key=ranking.get))


def _edge_scale(n):
    """The factor NetworkX's rescaling multiplies every edge betweenness by (1.0 where it leaves them)."""
    return _rescale([1.0], n, normalized=True, directed=False, endpoints=True, sources=None)[0]


def _sets(fg, parts):
    nodes = fg.nodes
    return [set(map(nodes.__getitem__, part)) for part in parts]


_DIVISIVE = ("The removal loop in C++ on a copy of the graph built as NetworkX builds it: after each removal the "
             "edge betweenness of the component it was made in is recomputed. " + EXACT)
_BETWEENNESS = edge_betweenness_centrality.served


@served(docs=_DIVISIVE + " Callers' own most_valuable_edge functions are left to NetworkX.",
        rules=("most_valuable_edge",), data_rules=("keys", "clashes_once_undirected"),
        per_source=True, min_work=WORK_BETWEENNESS, release=_BETWEENNESS.release)
def girvan_newman(G, most_valuable_edge=None):
    if G.number_of_edges() == 0:
        yield tuple(nx.connected_components(G.source))
        return
    g = G.networkx_copy().to_undirected()
    g.remove_edges_from(nx.selfloop_edges(g))
    if g.is_multigraph():
        fg, components = _components(g, None)
        while g.number_of_edges() > 0:
            # NetworkX's _without_most_central_edges.
            original = len(components)
            while len(components) <= original:
                _remove_most_central_edge(fg, None)
                fg, components = _components(g, None)
            yield tuple(components)
        return
    fg = FennelGraph(g, [])
    scale = _edge_scale(len(fg.nodes))
    count = len(fg.core.connected())
    left = g.number_of_edges()
    gone = []
    while left > 0:
        cut, parts = fg.core.cut_central_edges(None, gone, scale, count + 1)
        gone += cut
        left -= len(cut)
        count = len(parts)
        yield tuple(_sets(fg, parts))


@served(docs=_DIVISIVE, weight="weight", rules=("weight_name",),
        data_rules=("betweenness_weights", "keys", "clashes_once_undirected"), per_source=True,
        min_work=WORK_BETWEENNESS, release=_BETWEENNESS.release)
def edge_betweenness_partition(G, number_of_sets, *, weight=None):
    if number_of_sets <= 0:
        raise nx.NetworkXError("number_of_sets must be >0")
    if number_of_sets == 1:
        return [set(G.nodes)]
    if number_of_sets == len(G.nodes):
        return [{n} for n in G.nodes]
    if number_of_sets > len(G.nodes):
        raise nx.NetworkXError("number_of_sets must be <= len(G)")
    if G.directed:
        raise nx.NetworkXNotImplemented("not implemented for directed type")
    if G.multigraph:
        fg, partition = _components(G.networkx_copy(), weight)
        while len(partition) < number_of_sets:
            _remove_most_central_edge(fg, weight)
            fg, partition = _components(fg.source, weight)
        return partition
    fg = FennelGraph(G.networkx_copy(), [] if weight is None else [(weight, 1)])
    _, parts = fg.core.cut_central_edges(weight, [], _edge_scale(len(fg.nodes)), number_of_sets)
    return _sets(fg, parts)

# fennel's own graphs copy as NetworkX's do.
_PLAIN_CLASSES = (nx.Graph, nx.DiGraph, nx.MultiGraph, nx.MultiDiGraph, native.Graph, native.DiGraph)


@argument_rule("plain_graph_class")
def _plain_graph_class(a):
    """Louvain copies G into G.__class__(): a subclass may add edges its own way."""
    G = a["G"]
    if isinstance(G, nx.Graph) and type(G) not in _PLAIN_CLASSES:
        return "graph subclasses (whose copies may add edges their own way) are left to NetworkX"
    return None


argument_rule("resolution_real", lambda a: None if exact_real(a["resolution"]) else
              "resolution must be a float or an int within 2**53")


@data_rule("modularity_weights")
def _modularity_weights(fg, a):
    """Weights whose sums and products the core forms as Python does.

    Doubles repeat Python's int arithmetic while every integer total and
    product stays within 2**53: the largest product is a degree total
    squared (twice that for directed gains), times an int resolution.
    Squares of float totals must stay finite (Python's ** raises where C
    gives inf).
    """
    weight, resolution = a["weight"], a["resolution"]
    if reason := none_key(fg, weight):
        return reason
    if weight is None:
        largest, has_int = 1.0, True
    else:
        reason, facts = numbers(fg, weight, hidden_allowed=False)
        if reason:
            return reason
        if facts.kinds & NUMPY_KINDS:
            return f"some {weight!r} weights are numpy scalars"
        if facts.pos_inf or facts.neg_inf:
            return f"some {weight!r} weights are infinite"
        if not facts.slot_kinds or (fg.directed and facts.uniform_kind() is None):
            return f"{weight!r} mixes ints and floats on a directed graph"
        largest = max(-facts.min_finite, facts.max_finite) if facts.min_finite is not None else 0.0
        has_int = bool(facts.kinds & (1 << PY_INT))
    total = largest * (2 * fg.core.number_of_edges() + 2)
    if total >= 1e150:
        return f"degree totals over {weight!r} could overflow when squared"
    factor = abs(resolution) if type(resolution) is not float else 1
    if has_int and 2 * total * total * max(factor, 1) > EXACT_INT_LIMIT:
        return f"integer degree products over {weight!r} could exceed 2**53"
    return None


def _rows(G):
    """The core, with G._pred's own order loaded for directed graphs."""
    return G.load_exact_pred() if G.directed else G.core


def _quality(value, total, kind, degenerate, directed):
    """modularity's value, or NetworkX's own answer where it divides by a zero square."""
    if not degenerate:
        return value
    total = float(total) if kind else int(total)
    m = total if directed else total / 2
    if NX_VERSION >= (3, 7) and m == 0:
        return 0
    return 1 / total**2  # raises ZeroDivisionError as NetworkX does


def _members(communities, index):
    """The communities' positions, each in set(community)'s order, and their bounds."""
    members, bounds = [], [0]
    for community in communities:
        comm = set(community)
        members.extend(comm if index is None else map(index.__getitem__, comm))
        bounds.append(len(members))
    return members, bounds


@served(docs="Modularity in C++ over NetworkX's rows: degrees, community edge weights and the total added in "
        "NetworkX's order, each community's members in its set's order. " + EXACT + " Falls back to NetworkX for "
        "multigraphs with parallel edges, numpy weights, None weights and integer totals whose squares exceed 2**53.",
        weight="weight", rules=("weight_name", "resolution_real"), data_rules=("parallel_edges", "modularity_weights"),
        min_work=WORK_LOUVAIN, answers=(ZeroDivisionError,))
def modularity(G, communities, weight="weight", resolution=1):
    if not isinstance(communities, list):
        communities = list(communities)
    # is_partition, as NetworkX evaluates it (a community iterated once here, once below).
    nodes = {n for c in communities for n in c if n in G}
    if not len(G) == len(nodes) == sum(len(c) for c in communities):
        raise NotAPartition(G.source, communities)
    members, bounds = _members(communities, G.index)
    result = _rows(G).modularity_value(weight, members, bounds, resolution, COMPENSATED_SUM)
    return _quality(*result, G.directed)


@data_rule("overlapping_weights")
def _overlapping_weights(fg, a):
    """Weights the core adds and divides as Python does: every term is a true
    division, so only integer degree totals must stay within 2**53."""
    weight = a["weight"]
    if reason := none_key(fg, weight):
        return reason
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    if facts.kinds & NUMPY_KINDS:
        return f"some {weight!r} weights are numpy scalars"
    if facts.kinds & (1 << PY_INT) and facts.min_finite is not None:
        largest = max(-facts.min_finite, facts.max_finite)
        if largest * (2 * fg.core.number_of_edges() + 2) > EXACT_INT_LIMIT:
            return f"integer degree totals over {weight!r} could exceed 2**53"
    return None


@served(docs="Shen's overlapping modularity with each community's discounted edge and degree sums added in C++ in "
        "NetworkX's order (G.edges(comm) from the members in set order); the cover check, the membership counts and "
        "the last expression are NetworkX's own Python. " + EXACT + " Falls back to NetworkX for multigraphs with "
        "parallel edges, numpy weights, None weights and integer degree totals beyond 2**53.",
        weight="weight", rules=("weight_name",), data_rules=("parallel_edges", "overlapping_weights"),
        min_work=WORK_LOUVAIN)
def overlapping_modularity(G, communities, *, weight="weight", resolution=1):
    if G.directed:
        raise nx.NetworkXNotImplemented("not implemented for directed type")
    if not isinstance(communities, list):
        communities = list(communities)
    if not _covers(G, communities):
        raise nx.NetworkXError("`communities` is not a valid cover of the nodes of G")
    membership = defaultdict(int)
    for community in communities:
        for node in community:
            if node in G:
                membership[node] += 1
    total = G.core.overlapping_modularity_terms(weight, [], [0], [], COMPENSATED_SUM)[0]
    if total == 0:
        return 0.0
    index = G.index
    members, bounds = [], [0]
    for community in communities:
        comm = set(community)
        for u in comm:
            if u not in index:
                raise KeyError(u)  # NetworkX's degree[u], once this community's edges are summed
        members.extend(map(index.__getitem__, comm))
        bounds.append(len(members))
    count = [membership.get(v, 0) for v in G.nodes]
    _, _, inner, degree = G.core.overlapping_modularity_terms(weight, members, bounds, count, COMPENSATED_SUM)
    return sum(a - resolution * b**2 for a, b in zip(inner, degree))


def _covers(G, communities):
    return len({n for c in communities for n in c if n in G}) == len(G)


# A partition or cover check is one pass over the communities in Python, as
# NetworkX's: converting a graph costs more than the check, so fennel takes
# it only for a graph already converted.
_WORK_PARTITION_CHECK = (0, math.inf)


@served(docs="NetworkX's own check over the communities, against the converted graph's nodes. " + EXACT,
        min_work=_WORK_PARTITION_CHECK)
def is_partition(G, communities):
    if not isinstance(communities, list):
        communities = list(communities)
    nodes = {n for c in communities for n in c if n in G}
    return len(G) == len(nodes) == sum(len(c) for c in communities)


@served(docs="NetworkX's own check over the communities, against the converted graph's nodes. " + EXACT,
        min_work=_WORK_PARTITION_CHECK)
def is_cover(G, communities):
    if not isinstance(communities, list):
        communities = list(communities)
    return _covers(G, communities)


# 3.7's _one_level multiplies by m where 3.6's divides, and its m is G's own size.
_LOUVAIN_SCALED = NX_VERSION >= (3, 7)
@served(docs="The intra-community edges counted in C++ over NetworkX's rows; coverage and performance formed by "
        "NetworkX's own int arithmetic. " + EXACT, data_rules=("keys",), min_work=WORK_LOUVAIN,
        answers=(ZeroDivisionError, KeyError))
def partition_quality(G, partition):
    node_community = {}
    count = 0
    for count, community in enumerate(partition, 1):
        for node in community:
            node_community[node] = count - 1
    if not G.multigraph:
        # sum(len(p1) * len(p2) for p1, p2 in combinations(partition, 2)),
        # an int, from the sizes met in the same second pass over partition.
        sizes = [len(p) for p in partition]
        total = sum(sizes)
        possible_inter_community_edges = (total * total - sum(s * s for s in sizes)) // 2
        if G.directed:
            possible_inter_community_edges *= 2
    else:
        possible_inter_community_edges = 0
    n = len(G.nodes)
    total_pairs = n * (n - 1)
    if not G.directed:
        total_pairs //= 2
    # Nodes no community names (a partition consumed before this call) stop
    # NetworkX's walk over the edges at the first one naming them.
    label = [node_community.get(v, count) for v in G.nodes]
    keys = _core.parallel_counts(G.source._adj) if G.multigraph else []
    intra_community_edges, edges, missing = G.core.intra_community_edges(label, count, keys)
    if missing is not None:
        raise KeyError(G.nodes[missing])
    inter_community_non_edges = possible_inter_community_edges - (edges - intra_community_edges)
    coverage = intra_community_edges / edges
    if G.multigraph:
        performance = -1.0
    else:
        performance = (intra_community_edges + inter_community_non_edges) / total_pairs
    return coverage, performance


_LOUVAIN_DOCS = (
    "Louvain levels in C++ (gains, moves and aggregation in NetworkX's float arithmetic and order), the community "
    "sets rebuilt by NetworkX's own set operations, one seed.shuffle per level as NetworkX draws. " + EXACT
    + " Falls back to NetworkX for multigraphs with parallel edges, numpy weights, None weights and integer degree "
    "products beyond 2**53."
)
_LOUVAIN_RULES = ("weight_name", "resolution_real", "plain_graph_class")
_LOUVAIN_DATA = ("parallel_edges", "modularity_weights")


def _one_level(state, partition, labels, members, seed):
    """_one_level: the level's moves applied by the core, in NetworkX's set
    operations, to partition (sets of G's nodes; None for G's singletons)
    and to the level's own communities (sets of the level's nodes)."""
    order = list(range(len(labels) if members is None else len(members)))
    seed.shuffle(order)
    return _core._louvain_level(state, order, partition, labels, members)


def _louvain(G, weight, resolution, threshold, seed, copies=True):
    """louvain_partitions' levels; without `copies`, each level's live sets,
    valid until the generator resumes (the last level's, for good)."""
    nodes = G.nodes
    if G.core.number_of_edges() == 0:
        yield [{u} for u in nodes]
        return
    singletons = list(range(len(nodes)))
    mod = _quality(*_rows(G).modularity_value(weight, singletons, [0, *range(1, len(nodes) + 1)], resolution,
                                        COMPENSATED_SUM), G.directed)
    state = _rows(G).louvain_start(weight, resolution, COMPENSATED_SUM, _LOUVAIN_SCALED)
    # The level graph's nodes: G's nodes first, then ints (the communities'
    # indices), each standing for the set of G's nodes in 'members'.
    labels, members, index = nodes, None, G.index
    partition, inner, improvement = _one_level(state, None, labels, members, seed)
    improvement = True
    while improvement:
        yield [s.copy() for s in partition] if copies else partition
        new_mod = _quality(*_core._louvain_modularity(state, *_members(inner, index)), G.directed)
        if new_mod - mod <= threshold:
            return
        mod = new_mod
        members = _core._community_unions(inner, members)
        _core._louvain_aggregate(state)
        labels, index = None, None
        partition, inner, improvement = _one_level(state, partition, labels, members, seed)


@served(docs=_LOUVAIN_DOCS, weight="weight", rules=_LOUVAIN_RULES, data_rules=_LOUVAIN_DATA, min_work=WORK_LOUVAIN,
        answers=(ZeroDivisionError,))
def louvain_partitions(G, weight="weight", resolution=1, threshold=0.0000001, seed=None):
    return _louvain(G, weight, resolution, threshold, seed)


@served(docs=_LOUVAIN_DOCS, weight="weight", rules=_LOUVAIN_RULES, data_rules=_LOUVAIN_DATA, min_work=WORK_LOUVAIN,
        answers=(ZeroDivisionError,))
def louvain_communities(G, weight="weight", resolution=1, threshold=0.0000001, max_level=None, seed=None):
    # NetworkX keeps the copy of the last level's sets; a copy taken once the
    # levels end is the same, the sets being left as they were at its yield.
    last = _last_partition(_louvain(G, weight, resolution, threshold, seed, copies=False), max_level)
    return [s.copy() for s in last]


def _last_partition(partitions, max_level):
    """NetworkX's last partition of the first max_level levels (its error for max_level <= 0)."""
    if max_level is not None:
        if max_level <= 0:
            raise ValueError("max_level argument must be a positive integer or None")
        partitions = itertools.islice(partitions, max_level)
    final_partition = deque(partitions, maxlen=1)
    return final_partition.pop()


# Greedy modularity maximisation (NetworkX's community.modularity_max). The
# core returns the merges; the frozensets are built here by NetworkX's own
# set operations, in its order, so that their iteration order (which follows
# the node objects' hashes and each set's history) is NetworkX's.

# The work (n + adjacency entries) from which fennel beats NetworkX (graph
# converted, graph to convert), measured on random graphs of n nodes and 2n
# edges, NetworkX's dispatch included: fennel's greedy merges already win on
# three nodes.
WORK_GREEDY_MODULARITY = (0, 0)
# NetworkX's naive search is quartic: fennel wins on every graph with an edge.
WORK_NAIVE_MODULARITY = (0, 0)
# A bound on |resolution| and a floor on the heaviest weight that keep every
# dq finite: a weight total of at least 2**-1000 makes 1/m finite, the
# degree fractions stay within [0, 1], and sums of dq stay far from overflow.
_RESOLUTION_LIMIT = 2.0**900
_WEIGHT_FLOOR = 2.0**-1000


def _totally_ordered(values):
    """Whether ``<`` orders these objects totally: numbers (no NaN), or
    strings, or tuples whose items at each index are so ordered."""
    numbers = strings = False
    tuples = []
    for x in values:
        t = type(x)
        if t is int or t is bool or (t is float and x == x):
            numbers = True
        elif t is str:
            strings = True
        elif t is tuple:
            tuples.append(x)
        else:
            return False
    if numbers + strings + bool(tuples) > 1:
        return False
    width = max(map(len, tuples), default=0)
    return all(_totally_ordered([x[i] for x in tuples if len(x) > i]) for i in range(width))


@argument_rule("ordered_nodes")
def _ordered_nodes(a):
    """NetworkX breaks ties between equal gains by comparing (node, node) tuples."""
    G = a["G"]
    compact = compact_form(G)  # a native graph's nodes, without building its dicts
    if _totally_ordered(G if compact is None else compact.nodes):
        return None
    return "the nodes are not all numbers, all strings or all tuples of such (NetworkX compares them)"


def _resolution(a):
    resolution = a["resolution"]
    if not exact_real(resolution) or abs(resolution) > _RESOLUTION_LIMIT:
        return "resolution must be a float or an int within 2**53, at most 2**900 in size"
    return None


def _count(value, name, optional):
    if value is None and optional:
        return None
    if type(value) in (int, bool) or (type(value) is float and math.isfinite(value)):
        return None
    return f"{name} must be an int or a finite float"


argument_rule(
    "greedy_modularity_args",
    lambda a: _resolution(a) or _count(a["cutoff"], "cutoff", False) or _count(a["best_n"], "best_n", True),
)
argument_rule("naive_modularity_args", _resolution)


def _mirrored(fg, weight):
    if fg.directed or fg.core.weight_symmetric(weight):
        return None
    return f"the two rows of some edges hold different {weight!r} values"


@data_rule("greedy_modularity_weights")
def _greedy_modularity_weights(fg, a):
    """Weights whose degree sums, total and dq fennel forms exactly as NetworkX does."""
    weight = a["weight"]
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    if facts.pos_inf or facts.neg_inf or (facts.min_finite is not None and facts.min_finite < 0):
        return f"some {weight!r} weights are negative or infinite"
    if facts.max_finite is None or facts.max_finite < _WEIGHT_FLOOR:
        return f"the {weight!r} weights are all zero or too small to divide by"
    if (facts.all_int or facts.mixed) and facts.max_finite * 2 * (edge_count(fg) + 1) >= EXACT_INT_LIMIT:
        return f"integer degree sums over {weight!r} could exceed 2**53"
    if fg.directed:
        return one_kind(fg, weight, "sums in-degrees")
    if not facts.slot_kinds:
        return f"the kind of each {weight!r} weight ({kind_names(facts.kinds)}) was not kept"
    return _mirrored(fg, weight)


# Modularity's 1 / (degree sum)**2 is exact while the square is below 2**53.
_NAIVE_TOTAL_LIMIT = 2**26


@data_rule("naive_modularity_weights")
def _naive_weights(fg, a):
    """Integer weights: every degree and internal weight sum is exact, whatever order sets list nodes in."""
    weight = a["weight"]
    if weight is None:
        largest = 1
    else:
        reason, facts = numbers(fg, weight, hidden_allowed=False)
        if reason:
            return reason
        if facts.kinds & ~(1 << PY_INT) or facts.pos_inf or facts.neg_inf:
            return f"some {weight!r} weights are not Python ints (NetworkX sums them in set order)"
        largest = max(abs(facts.min_finite or 0), abs(facts.max_finite or 0))
    if largest * 2 * edge_count(fg) >= _NAIVE_TOTAL_LIMIT:
        return "the degree total is too large to square exactly"
    return None if weight is None else _mirrored(fg, weight)


def _ranks(nodes):
    """Each position's place among the node objects sorted by ``<``."""
    rank = [0] * len(nodes)
    for place, u in enumerate(sorted(range(len(nodes)), key=nodes.__getitem__)):
        rank[u] = place
    return rank


@served(docs="Clauset-Newman-Moore merges in C++; the frozensets built by NetworkX's own set operations. " + EXACT
        + " Falls back to NetworkX for nodes that are not all numbers, all strings or all tuples of such, for "
        "negative, infinite or None weights, and for multigraphs with parallel edges.",
        weight="weight", rules=("weight_name", "ordered_nodes", "greedy_modularity_args"),
        data_rules=("parallel_edges", "reads_none", "greedy_modularity_weights"), min_work=WORK_GREEDY_MODULARITY,
        answers=(ValueError, ZeroDivisionError))
def greedy_modularity_communities(G, weight=None, resolution=1, cutoff=1, best_n=None):
    nodes = G.nodes
    if not G.core.number_of_edges():
        return [{n} for n in nodes]
    if (cutoff < 1) or (cutoff > len(nodes)):
        raise ValueError(f"cutoff must be between 1 and {len(nodes)}. Got {cutoff}.")
    if best_n is not None:
        if (best_n < 1) or (best_n > len(nodes)):
            raise ValueError(f"best_n must be between 1 and {len(nodes)}. Got {best_n}.")
        if best_n < cutoff:
            raise ValueError(f"Must have best_n >= cutoff. Got {best_n} < {cutoff}")
        if best_n == 1:
            return [set(nodes)]
    else:
        best_n = len(nodes)
    if G.directed and weight is not None:
        G.load_exact_pred()
    merged, exhausted, zero_total = G.core.cnm_merges(
        weight, _ranks(nodes), float(resolution), float(cutoff), float(best_n), COMPENSATED_SUM
    )
    if zero_total:
        raise ZeroDivisionError("float division by zero")
    communities = [frozenset([n]) for n in nodes]
    for k in range(0, len(merged), 2):
        u, v = merged[k], merged[k + 1]
        communities[v] = frozenset(communities[u] | communities[v])
        communities[u] = None
    communities = sorted((c for c in communities if c is not None), key=len, reverse=True)
    if exhausted:
        # No pair was left to merge: NetworkX merges the largest sets on until best_n remain.
        while len(communities) > best_n:
            comm1, comm2, *rest = communities
            communities = [comm1 ^ comm2]
            communities.extend(rest)
    return communities


@served(docs="The pair-by-pair search in C++, each trial's modularity from the two terms it changes; the "
        "frozensets built by NetworkX's own set operations. " + EXACT + " Falls back to NetworkX for weights "
        "other than Python ints.",
        weight="weight", rules=("weight_name", "undirected_only", "no_multigraph", "naive_modularity_args"),
        data_rules=("reads_none", "naive_modularity_weights"), min_work=WORK_NAIVE_MODULARITY,
        answers=(ZeroDivisionError,))
def naive_greedy_modularity_communities(G, resolution=1, weight=None):
    merged, zero_total = G.core.naive_greedy_merges(
        weight, float(resolution), type(resolution) is not float, COMPENSATED_SUM
    )
    if zero_total:
        if NX_VERSION < (3, 7):
            raise ZeroDivisionError("division by zero")
        # NetworkX 3.7's modularity is 0 without edge weight: no trial beats it.
        merged = []
    communities = [frozenset([u]) for u in G.nodes]
    for k in range(0, len(merged), 2):
        i, j = merged[k], merged[k + 1]
        u, v = communities[i], communities[j]
        communities[j] = u | v
        communities[i] = frozenset([])
    return sorted((c for c in communities if len(c) > 0), key=len, reverse=True)


# Randomised label propagation (NetworkX's community.label_propagation). The
# seed arrives as NetworkX's generator object (py_random_state converts it
# before dispatching); the core calls its shuffle and choice with NetworkX's
# own arguments, in NetworkX's order, so its state afterwards is NetworkX's.
# Both run when their generator is first advanced, as NetworkX's do.

# Measured as WORK_GREEDY_MODULARITY is.
WORK_ASYN_LPA = (30, 60)
WORK_FAST_LPA = (60, 60)


@data_rule("label_weights")
def _label_weights(fg, a):
    """Label weights NetworkX adds from 0.0 one edge at a time (each key of a multigraph edge)."""
    weight = a["weight"]
    if weight is None:
        return None
    if fg.has_parallel_edges():
        return "parallel edges (NetworkX adds each key's weight)"
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    if nan_possible(facts.min_finite, facts.max_finite, facts.pos_inf, facts.neg_inf, max(len(fg.nodes), 1)):
        return f"label weights over {weight!r} could meet both infinities"
    lo, hi = facts.min_finite or 0, facts.max_finite or 0
    if (facts.all_int or facts.mixed) and max(-lo, hi) > EXACT_INT_LIMIT:
        return f"some {weight!r} weights are ints beyond 2**53"
    return None


def _groups(nodes, labels):
    """NetworkX's groups(labels).values(): sets filled in node order."""
    one_to_many = defaultdict(set)
    for v, k in zip(nodes, labels):
        one_to_many[k].add(v)
    return dict(one_to_many).values()


def _drawn(kernel, seed, shuffled, *args):
    """kernel(*args, shuffled, seed.choice); a random.Random's own shuffle and choice are replayed in C++ from its
    state, which is then set to where NetworkX's draws leave it."""
    if type(seed) is not random.Random:
        return kernel(*args, shuffled, seed.choice)
    version, internal, gauss = seed.getstate()
    answer, words, at = kernel(*args, None, None, state=array("q", internal[:624]).tobytes(), index=internal[624])
    seed.setstate((version, (*words, at), gauss))
    return answer


def _propagated(G, kernel, weight, seed, container):
    nodes, index = G.nodes, G.index

    def shuffled():
        order = container(nodes)
        seed.shuffle(order)
        return [index[v] for v in order]

    if G.directed:
        G.load_exact_pred()
    yield from _groups(nodes, _drawn(kernel, seed, shuffled, weight, G.multigraph))


@served(docs="Asynchronous label propagation in C++, drawing from the seed's own shuffle and choice in NetworkX's "
        "order (the generator ends in NetworkX's state). " + EXACT + " Weighted calls fall back to NetworkX for "
        "multigraphs with parallel edges and for None weights.",
        weight="weight", rules=("weight_name",), data_rules=("label_weights", "listed_rows"), min_work=WORK_ASYN_LPA)
def asyn_lpa_communities(G, weight=None, seed=None):
    return _propagated(G, G.core.asyn_lpa, weight, seed, list)


@data_rule("fast_label_keys")
def _fast_label_keys(fg, a):
    """Unweighted multigraph counts add each neighbour's key count."""
    if a["weight"] is None and fg.has_parallel_edges():
        return "parallel edges (NetworkX counts each key)"
    return None


@served(docs="Fast label propagation in C++, drawing from the seed's own shuffle and choice in NetworkX's order "
        "(the generator ends in NetworkX's state). " + EXACT + " Falls back to NetworkX for multigraphs with "
        "parallel edges and for None weights.",
        weight="weight", rules=("weight_name",), data_rules=("fast_label_keys", "label_weights"),
        min_work=WORK_FAST_LPA)
def fast_label_propagation_communities(G, *, weight=None, seed=None):
    return _propagated(G, G.core.fast_label_propagation, weight, seed, deque)


# NetworkX 3.4 runs one round past max_iter, and no check of max_iter.
_FLUID_ROUNDS = None if NX_VERSION >= (3, 6) else "this NetworkX version bounds the fluid rounds otherwise"
# Measured as WORK_GREEDY_MODULARITY is (connected small-world graphs): fennel wins from four nodes.
WORK_FLUID = (0, 0)
argument_rule("fluid_args", lambda a: int_max_iter(a))


@served(docs="Fluid communities in C++, drawing from the seed's own shuffle and choice in NetworkX's order (the "
        "generator ends in NetworkX's state). " + EXACT,
        rules=("undirected_only", "no_multigraph", "fluid_args"), min_work=WORK_FLUID, release=_FLUID_ROUNDS,
        answers=(ValueError, ZeroDivisionError))
def asyn_fluidc(G, k, max_iter=100, seed=None):
    nodes, index = G.nodes, G.index
    if not isinstance(k, int):
        raise nx.NetworkXError("k must be an integer.")
    if not k > 0:
        raise nx.NetworkXError("k must be greater than 0.")
    if not nodes:
        raise nx.NetworkXPointlessConcept("Connectivity is undefined for the null graph.")
    if len(G.core.connected()) != 1:
        raise nx.NetworkXError("Fluid Communities require connected Graphs.")
    if len(nodes) < k:
        raise nx.NetworkXError("k cannot be bigger than the number of nodes.")
    if max_iter <= 0:
        msg = f"{max_iter=} must be greater than 0"
        raise ValueError(msg)

    def shuffled():
        vertices = list(nodes)
        seed.shuffle(vertices)
        return [index[v] for v in vertices]

    order, labels, emptied = _drawn(G.core.fluid_communities, seed, shuffled, k, min(max_iter, 2**64 - 1))
    if emptied:
        raise ZeroDivisionError("float division by zero")
    return iter(_groups([nodes[v] for v in order], labels))


_LEIDEN_RELEASE = "NetworkX before 3.5 has no Leiden" if NX_VERSION < (3, 5) else None
_LEIDEN_DOCS = (
    "NetworkX 3.7's Leiden in C++: local moving, refinement and aggregation with CPython's set orders replayed from "
    "the nodes' hashes, every seed.shuffle and seed.choices NetworkX makes drawn from the caller's generator. "
    + EXACT + " Under NetworkX 3.5 and 3.6, which declare Leiden without running it, the call runs NetworkX 3.7's "
    "algorithm with metric='modularity' and theta=0.01 unless it names them. Falls back to NetworkX for weights "
    "other than non-negative Python ints and integer totals beyond 2**53."
)
_LEIDEN_RULES = ("weight_name", "resolution_real", "leiden_theta", "plain_graph_class")
_LEIDEN_DATA = ("leiden_weights",)

argument_rule("leiden_theta", lambda a: None if exact_real(a["theta"]) else
              "theta must be a float or an int within 2**53")


@data_rule("leiden_weights")
def _leiden_weights(fg, a):
    """Non-negative int weights, whose every total and product stays within 2**53.

    Then every sum NetworkX forms over a set is exact in any order, and the
    products of delta_func (a degree total squared for directed modularity,
    a node count squared times an int resolution for CPM) are exact doubles.
    """
    weight, metric, resolution = a["weight"], a["metric"], a["resolution"]
    if reason := none_key(fg, weight):
        return reason
    edges = fg.source.number_of_edges() if fg.has_parallel_edges() else fg.core.number_of_edges()
    if weight is None:
        largest = 1
    else:
        reason, facts = numbers(fg, weight, hidden_allowed=False)
        if reason:
            return reason
        if not facts.all_int or facts.kinds & NUMPY_KINDS:
            return f"some {weight!r} weights are not Python ints (float sums follow set orders)"
        if facts.min_finite is not None and facts.min_finite < 0:
            return f"some {weight!r} weights are negative"
        if metric == "modularity" and edges and facts.max_finite == 0:
            return f"every {weight!r} weight is zero (NetworkX divides by their total)"
        largest = facts.max_finite or 0
    total = largest * (2 * edges + 2)
    bound = 2 * total * total if metric == "modularity" and fg.directed else 2 * total
    if type(resolution) is not float:
        n = len(fg.nodes)
        bound = max(bound, 4 * abs(resolution) * n * n)
    if bound > EXACT_INT_LIMIT:
        return f"integer totals over {weight!r} could exceed 2**53"
    return None


def _leiden(G, weight, metric, resolution, seed, theta, copies=True):
    """leiden_partitions' levels; without `copies`, each level's own sets
    (never changed after their level)."""
    nodes = G.nodes
    if G.core.number_of_edges() == 0:
        yield [{u} for u in nodes]
        return
    if metric != "cpm" and metric != "modularity":
        if metric == "barber_modularity":
            raise nx.NetworkXError("barber_modularity not implemented for DiGraph" if G.directed else
                                   "barber_modularity not implemented for leiden")
        raise nx.NetworkXError(f'leiden only supports metrics "cpm" and "modularity". Got: {metric}')
    hashes = array("q", map(hash, nodes)).tobytes()
    listed = {}
    if G.has_parallel_edges():
        # NetworkX sums parallel edges into its copy, in G.edges' order.
        index = G.index
        edges = list(G.source.edges(data=weight, default=1))
        listed = {"us": [index[u] for u, _, _ in edges], "vs": [index[v] for _, v, _ in edges],
                  "ws": [w for _, _, w in edges]}
    state = _rows(G).leiden_start(weight, metric == "modularity", resolution, type(resolution) is not float,
                                  COMPENSATED_SUM, hashes, **listed)
    # random.Random's own choices draws one seed.random() per call: the core
    # then makes the refinement's draws itself, by the same float steps.
    drawn_here = type(seed).choices is random.Random.choices and theta > 0
    # The level's node sets: None for G's singletons.
    groups, count = None, len(nodes)
    improvement = True
    while improvement:
        order = list(range(count))
        seed.shuffle(order)
        _core._leiden_move(state, order)
        request = (_core._leiden_refine_drawing(state, seed, theta) if drawn_here
                   else _core._leiden_refine(state, None))
        while request is not None:
            candidates, deltas, ints = request
            if ints:
                deltas = [int(x) for x in deltas]
            # _merge_node_subset's draw, by its own expressions.
            max_delta = max(deltas)
            weights = [math.exp((x - max_delta) / theta) for x in deltas]
            request = _core._leiden_refine(state, seed.choices(candidates, weights=weights)[0])
        members, bounds, improvement = _core._leiden_aggregate(state)
        # _create_aggregate_graph's node sets, built by the same updates.
        labels = nodes if groups is None else range(count)
        parts = [[labels[node] for node in members[start:end]] for start, end in itertools.pairwise(bounds)]
        groups = _core._community_unions(parts, groups)
        count = len(groups)
        yield [s.copy() for s in groups] if copies else groups


def _leiden_communities(G, weight, resolution, max_level, seed, metric, theta):
    # A copy of the last level's sets, which no later step changes, is NetworkX's copy.
    last = _last_partition(_leiden(G, weight, metric, resolution, seed, theta, copies=False), max_level)
    return [s.copy() for s in last]


# NetworkX 3.7's defaults; 3.5 and 3.6 name neither metric nor theta and
# document Leiden as modularity optimisation.
_LEIDEN_METRIC = "cpm" if NX_VERSION >= (3, 7) else "modularity"
_LEIDEN_RESOLUTION = 1.0 if NX_VERSION >= (3, 7) else 1


# One signature serves both forms: 3.7's keyword-only parameters, and 3.6's
# positional ones with metric and theta as backend keywords.
@served(docs=_LEIDEN_DOCS, weight="weight", rules=_LEIDEN_RULES, data_rules=_LEIDEN_DATA, min_work=WORK_LOUVAIN,
        release=_LEIDEN_RELEASE, answers=(ValueError,))
def leiden_communities(G, weight="weight", resolution=_LEIDEN_RESOLUTION, max_level=None, seed=None, *,
                       metric=_LEIDEN_METRIC, theta=0.01):
    return _leiden_communities(G, weight, resolution, max_level, seed, metric, theta)


@served(docs=_LEIDEN_DOCS, weight="weight", rules=_LEIDEN_RULES, data_rules=_LEIDEN_DATA, min_work=WORK_LOUVAIN,
        release=_LEIDEN_RELEASE, answers=(ValueError,))
def leiden_partitions(G, weight="weight", resolution=_LEIDEN_RESOLUTION, seed=None, *, metric=_LEIDEN_METRIC,
                      theta=0.01):
    return _leiden(G, weight, metric, resolution, seed, theta)


# NetworkX 3.4 and 3.5 index a shuffled node list for every call (partition
# given or not) and read the first block as the second side.
# NetworkX's sweeps over a 6-node path take 39 us against fennel's 49 (a
# fresh graph each call, dispatch included); from about 30 nodes plus
# adjacency entries (a 12-node path, a 10-node graph of 20 edges) fennel wins.
WORK_KL = (20, 35)
_KL_RELEASE = None if NX_VERSION >= (3, 6) else "NetworkX before 3.6 runs kernighan_lin_bisection otherwise"
argument_rule("kl_max_iter", lambda a: int_max_iter(a))


@data_rule("kl_weights")
def _kl_weights(fg, a):
    """Python int, float or bool weights, finite, whose integer totals stay within 2**53.

    A cost is at most three times its row's total and the running total at
    most the sum of the popped costs: four times the sum of every row's
    weights bounds them all. A multigraph sums each pair's keys (a None
    among them is NetworkX's TypeError); a graph hides None-weighted edges.
    """
    weight = a["weight"]
    if reason := none_key(fg, weight):
        return reason
    largest, ints = 1, True
    if weight is not None:
        reason, facts = numbers(fg, weight, hidden_allowed=not fg.multigraph)
        if reason:
            return reason
        if facts.kinds & NUMPY_KINDS or facts.numpy_bool:
            return f"some {weight!r} weights are numpy scalars"
        if facts.pos_inf or facts.neg_inf:
            return f"some {weight!r} weights are infinite (costs could meet inf - inf)"
        largest = max(-facts.min_finite, facts.max_finite) if facts.min_finite is not None else 0
        ints = facts.all_int or facts.mixed
    edges = fg.source.number_of_edges() if fg.multigraph else fg.core.number_of_edges()
    if ints and 8 * largest * edges > EXACT_INT_LIMIT:
        return f"integer costs over {weight!r} could exceed 2**53"
    return None


@served(docs="Kernighan-Lin sweeps in C++ with NetworkX's lazy binary heaps, tie-breaks and sums; the seed's one "
        "shuffle drawn from the caller's generator. " + EXACT + " Falls back to NetworkX for callable, numpy and "
        "infinite weights.",
        weight="weight", rules=("undirected_only", "weight_name", "kl_max_iter"), data_rules=("kl_weights",),
        min_work=WORK_KL, release=_KL_RELEASE, answers=(ValueError,))
def kernighan_lin_bisection(G, partition=None, max_iter=10, weight="weight", seed=None):
    nodes = G.nodes
    # NetworkX's dict of sides, whose order fills the blocks, follows its node
    # list: shuffled in place when no partition is given.
    order = nodes
    if partition is None:
        order = list(nodes)
        seed.shuffle(order)
        index = G.index
        side = [False] * len(order)
        for v in order[: len(order) // 2]:
            side[index[v]] = True
    else:
        try:
            A, B = partition
        except (TypeError, ValueError) as err:
            raise nx.NetworkXError("partition must be two sets") from err
        if not nx.community.is_partition(G.source, [A, B]):
            raise nx.NetworkXError("partition invalid")
        side = [node in A for node in nodes]
    sums, kinds = [], []
    if G.multigraph:
        # NetworkX's weight of a pair: sum() over its keys' data in key order.
        for nbrs in G.source._adj.values():
            for keys in nbrs.values():
                total = sum(d.get(weight, 1) for d in keys.values())
                sums.append(total)
                kinds.append(PY_FLOAT if type(total) is float else PY_INT)
    rounds = max(0, min(operator.index(max_iter), 2**64 - 1))
    side, empty = G.core.kernighan_lin(weight, side, rounds, COMPENSATED_SUM, sums, kinds)
    if empty:
        min(())  # NetworkX's min() of a sweep without moves: the interpreter's ValueError
    if order is not nodes:
        index = G.index
        side = [side[index[u]] for u in order]
    part1 = {u for u, s in zip(order, side) if s == 0}
    part2 = {u for u, s in zip(order, side) if s == 1}
    return part1, part2


def _plain_node(v):
    return type(v) is int or type(v) is str or (type(v) is tuple and all(map(_plain_node, v)))


# NetworkX removes the nodes it has settled from its deep copy of a directed
# tree; a frozen graph's copy (a view's, say) stays frozen, and the removal
# raises NetworkXError.
argument_rule("lukes_frozen", lambda a: "NetworkX's deep copy of a frozen directed tree stays frozen"
              if a["G"].is_directed() and nx.is_frozen(a["G"]) else None)


@data_rule("lukes_nodes")
def _lukes_nodes(fg, a):
    """NetworkX works on a deep copy of a directed tree: ints, strs and their tuples are their own copies."""
    if all(map(_plain_node, fg.nodes)):
        return None
    return "nodes other than ints, strs and their tuples (NetworkX answers with deep copies of some)"


def _edges_within(S, index):
    """A cluster's value: sum() of its edges' weights (an attribute's, or 1.0) in S.edges' order."""
    adj, directed = S._adj, S.is_directed()

    def value(cluster, weight):
        found = []
        for u in cluster:
            i = index[u]
            # An undirected edge is listed from its endpoint that comes first.
            found.extend((i, k, d) for k, (v, d) in enumerate(adj[u].items())
                         if v in cluster and (directed or i < index[v]))
        found.sort(key=lambda t: (t[0], t[1]))
        return sum(1.0 if weight is None else d[weight] for _, _, d in found)

    return value


# keeps_attributes: the weights are read from the source graph's own dicts.
@served(docs="NetworkX's Lukes dynamic program with its sets built in NetworkX's order, finding each next node from "
        "children counts and valuing each cluster from its members' rows instead of rescanning the tree: linear "
        "where NetworkX's search is quadratic. " + EXACT + " Falls back to NetworkX for multigraphs and nodes "
        "other than ints, strs and their tuples.",
        rules=("no_multigraph", "lukes_frozen"), data_rules=("lukes_nodes",), answers=(KeyError, TypeError),
        keeps_attributes=True)
def lukes_partitioning(G, max_size, node_weight=None, edge_weight=None):
    S = G.source
    if not nx.is_tree(S):
        raise nx.NotATree("lukes_partitioning works only on trees")
    if S.is_directed():
        root = [n for n, d in S.in_degree() if d == 0]
        assert len(root) == 1
        root = root[0]
        tree = nx.DiGraph()
        tree.add_nodes_from(S)
        tree.add_edges_from(S.edges)
    else:
        root = random.choice(list(S.nodes))
        tree = nx.dfs_tree(S, root)
    node_data = S._node
    if node_weight is not None:
        for d in node_data.values():
            if node_weight in d and not isinstance(d[node_weight], int):
                raise TypeError(f"lukes_partitioning needs integer values for node_weight ({node_weight})")

    def weight_of(n):
        d = node_data[n]
        return 1 if node_weight is None else d[node_weight]

    within = _edges_within(S, G.index)

    @lru_cache(2048)
    def value_of_cluster(cluster):
        return within(cluster, edge_weight)

    def value_of_partition(partition):
        return sum(value_of_cluster(frozenset(c)) for c in partition)

    @lru_cache(2048)
    def weight_of_cluster(cluster):
        return sum(weight_of(n) for n in cluster)

    def pivot(partition, node):
        ccx = [c for c in partition if node in c]
        assert len(ccx) == 1
        return ccx[0]

    def concatenate_or_merge(partition_1, partition_2, x, i, ref_weight):
        ccx = pivot(partition_1, x)
        cci = pivot(partition_2, i)
        merged_xi = ccx.union(cci)
        if weight_of_cluster(frozenset(merged_xi)) <= ref_weight:
            cp1 = list(filter(lambda x: x != ccx, partition_1))
            cp2 = list(filter(lambda x: x != cci, partition_2))
            option_2 = [merged_xi] + cp1 + cp2
            return option_2, value_of_partition(option_2)
        option_1 = partition_1 + partition_2
        return option_1, value_of_partition(option_1)

    succ, pred = tree._succ, tree._pred
    leaves = {x for x in tree.nodes if not succ[x]}
    best = {}
    for lv in leaves:
        best[lv] = {}
        best[lv][weight_of(lv)] = [{lv}]
        best[lv][0] = [{lv}]
    for inner in [x for x in tree.nodes if x not in leaves]:
        best[inner] = {}
        best[inner][weight_of(inner)] = [{inner}]
    # A node is ready once it has children and all of them are leaves.
    unready = {x: sum(1 for c in succ[x] if c not in leaves) for x in tree.nodes if succ[x]}
    ready = {x for x, k in unready.items() if k == 0}
    while True:
        # NetworkX's pick: the first ready node as set(t_G.nodes) - leaves iterates.
        x_node = next(filter(ready.__contains__, set(tree.nodes) - leaves), None)
        weight_of_x = weight_of(x_node)
        best_value = 0
        best_partition = None
        bp_buffer = {}
        x_descendants = {child for child in succ[x_node]}  # bfs_edges' children, all leaves
        for i_node in x_descendants:
            for j in range(weight_of_x, max_size + 1):
                for a in range(weight_of_x, j + 1):
                    b = j - a
                    if a not in best[x_node] or b not in best[i_node]:
                        continue
                    part, value = concatenate_or_merge(best[x_node][a], best[i_node][b], x_node, i_node, j)
                    if j not in bp_buffer or bp_buffer[j][1] < value:
                        bp_buffer[j] = part, value
                    if best_value <= value:
                        best_value = value
                        best_partition = part
            for w, (best_part_for_vl, vl) in bp_buffer.items():
                best[x_node][w] = best_part_for_vl
            bp_buffer.clear()
        best[x_node][0] = best_partition
        if x_node == root:
            return best[root][0]
        for parent in pred[x_node]:
            unready[parent] -= 1
            if unready[parent] == 0:
                ready.add(parent)
        tree.remove_nodes_from(x_descendants)
        leaves -= x_descendants
        leaves.add(x_node)
        ready.discard(x_node)


_KCLIQUE_DOCS = (
    "Maximal cliques in NetworkX's order (see find_cliques), then the percolation in C++: the adjacent-clique sets "
    "and the component sets replayed from the hashes of the cliques' frozensets, each community the union NetworkX "
    "makes of its frozensets in that order. " + EXACT + " Precomputed cliques are left to NetworkX."
)

argument_rule("kclique_k", lambda a: None if type(a["k"]) is int else "k other than an int is left to NetworkX")
argument_rule("cliques", absent("cliques", "precomputed cliques"))


def _k_clique_communities(fg, watched, k):
    if k < 2:
        raise nx.NetworkXError(f"k={k}, k must be greater than 1.")
    # NetworkX reads the graph on the generator's first step.
    if changed(watched):
        yield from nx.utils.backends._registered_algorithms["k_clique_communities"].orig_func(fg.source, k)
        return
    nodes = fg.nodes
    if not nodes:
        return
    # No clique is larger than the graph: a larger k keeps none.
    k = min(k, len(nodes) + 1)
    hashes = node_hashes(fg)
    flat, bounds = fg.core.maximal_cliques(hashes, k)
    at = nodes.__getitem__
    cliques = [frozenset(map(at, flat[start:end])) for start, end in itertools.pairwise(bounds)]
    members, cuts = _core._clique_percolation(flat, bounds, k, array("q", map(hash, cliques)).tobytes(), hashes)
    for start, end in itertools.pairwise(cuts):
        yield frozenset.union(*map(cliques.__getitem__, members[start:end]))


@served(docs=_KCLIQUE_DOCS, rules=("undirected_only", "kclique_k", "cliques", "sees_changes"), data_rules=("keys",),
        min_work=WORK_CLIQUES)
def k_clique_communities(G, k, cliques=None):
    return _k_clique_communities(G, watch(G), k)
