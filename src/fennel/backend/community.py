"""Community detection and partition quality (NetworkX's community module).

Louvain: the C++ core runs each level (the gains, the moves, the next
level's graph) and reports the level's moves in order; this side replays
NetworkX's own set operations on the caller's nodes with those moves, so
every community set holds its members in the iteration order CPython gives
NetworkX's sets (an order that depends on hashes and on the history of
additions and removals, not only on membership). The generator keeps
NetworkX's shape: one seed.shuffle per level, on a list as long as
NetworkX's, at the same step, so the seed's state after any step is
NetworkX's.

Leiden (NetworkX 3.7's leiden.py): the set orders steer the algorithm
itself (the queue, the refinement's enumeration, the aggregated nodes), so
the core replays CPython's set tables from the nodes' hashes; this side
makes every draw NetworkX makes, with the generator's own shuffle and
choices, and rebuilds each level's sets of G's nodes by NetworkX's updates.
NetworkX 3.5 and 3.6 declare Leiden without running it: there the call
runs NetworkX 3.7's algorithm, modularity unless ``metric`` names another.
"""

import itertools
import math
from array import array
from collections import defaultdict, deque

import networkx as nx
from networkx.algorithms.community.quality import NotAPartition

from .. import _core
from . import native
from .checks import COMPENSATED_SUM, EXACT_INT_LIMIT, NX_VERSION, argument_rule, data_rule, exact_real, none_key, numbers
from .kinds import NUMPY_KINDS, PY_INT
from .serve import EXACT, WORK_COLOURING, served

# Louvain and modularity read the graph once and run in O(n + m) per pass;
# below this work NetworkX's own call is as fast.
WORK_LOUVAIN = (150, 300)


@served(docs="Semi-synchronous label propagation in C++, visiting the nodes in NetworkX's colour order. " + EXACT
        + " Multigraphs are left to NetworkX.", rules=("no_multigraph",), min_work=WORK_COLOURING)
def label_propagation_communities(G):
    nodes = G.nodes
    order, colours = G.core.greedy_color()
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
    result = _rows(G).modularity(weight, members, bounds, resolution, COMPENSATED_SUM)
    return _quality(*result, G.directed)


_LOUVAIN_RELEASE = "NetworkX 3.7 scores Louvain's moves by other expressions" if NX_VERSION >= (3, 7) else None
_LOUVAIN_DOCS = (
    "Louvain levels in C++ (gains, moves and aggregation in NetworkX's float arithmetic and order), the community "
    "sets rebuilt by NetworkX's own set operations, one seed.shuffle per level as NetworkX draws. " + EXACT
    + " Falls back to NetworkX for multigraphs with parallel edges, numpy weights, None weights and integer degree "
    "products beyond 2**53."
)
_LOUVAIN_RULES = ("weight_name", "resolution_real", "plain_graph_class")
_LOUVAIN_DATA = ("parallel_edges", "modularity_weights")


def _one_level(state, partition, labels, members, seed):
    """_one_level: the level's moves replayed on partition (sets of G's nodes)
    and on the level's own communities (sets of the level's nodes)."""
    order = list(range(len(labels)))
    seed.shuffle(order)
    moves = _core._louvain_level(state, order)
    inner = [{u} for u in labels]
    it = iter(moves)
    for u, src, dst in zip(it, it, it):
        com = {labels[u]} if members is None else members[u]
        partition[src].difference_update(com)
        inner[src].remove(labels[u])
        partition[dst].update(com)
        inner[dst].add(labels[u])
    return list(filter(len, partition)), list(filter(len, inner)), bool(moves)


def _louvain(G, weight, resolution, threshold, seed):
    nodes = G.nodes
    partition = [{u} for u in nodes]
    if G.core.number_of_edges() == 0:
        yield partition
        return
    singletons = list(range(len(nodes)))
    mod = _quality(*_rows(G).modularity(weight, singletons, [0, *range(1, len(nodes) + 1)], resolution,
                                        COMPENSATED_SUM), G.directed)
    state = G.core.louvain_start(weight, resolution, COMPENSATED_SUM)
    # The level graph's nodes: G's nodes first, then ints (the communities'
    # indices), each standing for the set of G's nodes in its 'nodes'.
    labels, members, index = nodes, None, G.index
    partition, inner, improvement = _one_level(state, partition, labels, members, seed)
    improvement = True
    while improvement:
        yield [s.copy() for s in partition]
        new_mod = _quality(*_core._louvain_modularity(state, *_members(inner, index)), G.directed)
        if new_mod - mod <= threshold:
            return
        mod = new_mod
        # _gen_graph's node sets, built by the same updates.
        merged = []
        for part in inner:
            group = set()
            for node in part:
                group.update({node} if members is None else members[node])
            merged.append(group)
        _core._louvain_aggregate(state)
        labels, members, index = range(len(inner)), merged, None
        partition, inner, improvement = _one_level(state, partition, labels, members, seed)


@served(docs=_LOUVAIN_DOCS, weight="weight", rules=_LOUVAIN_RULES, data_rules=_LOUVAIN_DATA, min_work=WORK_LOUVAIN,
        release=_LOUVAIN_RELEASE, answers=(ZeroDivisionError,))
def louvain_partitions(G, weight="weight", resolution=1, threshold=0.0000001, seed=None):
    return _louvain(G, weight, resolution, threshold, seed)


@served(docs=_LOUVAIN_DOCS, weight="weight", rules=_LOUVAIN_RULES, data_rules=_LOUVAIN_DATA, min_work=WORK_LOUVAIN,
        release=_LOUVAIN_RELEASE, answers=(ZeroDivisionError,))
def louvain_communities(G, weight="weight", resolution=1, threshold=0.0000001, max_level=None, seed=None):
    partitions = _louvain(G, weight, resolution, threshold, seed)
    if max_level is not None:
        if max_level <= 0:
            raise ValueError("max_level argument must be a positive integer or None")
        partitions = itertools.islice(partitions, max_level)
    final_partition = deque(partitions, maxlen=1)
    return final_partition.pop()


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


def _leiden(G, weight, metric, resolution, seed, theta):
    nodes = G.nodes
    groups = [{u} for u in nodes]
    if G.core.number_of_edges() == 0:
        yield groups
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
    improvement = True
    while improvement:
        order = list(range(len(groups)))
        seed.shuffle(order)
        _core._leiden_move(state, order)
        request = _core._leiden_refine(state, None)
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
        merged = []
        for start, end in itertools.pairwise(bounds):
            group = set()
            for node in members[start:end]:
                group.update(groups[node])
            merged.append(group)
        groups = merged
        yield [s.copy() for s in groups]


def _leiden_communities(G, weight, resolution, max_level, seed, metric, theta):
    partitions = _leiden(G, weight, metric, resolution, seed, theta)
    if max_level is not None:
        if max_level <= 0:
            raise ValueError("max_level argument must be a positive integer or None")
        partitions = itertools.islice(partitions, max_level)
    final_partition = deque(partitions, maxlen=1)
    return final_partition.pop()


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
