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
"""

import itertools
from collections import defaultdict, deque

import networkx as nx
from networkx.algorithms.community.quality import NotAPartition

from .. import _core
from . import native
from .centrality import edge_betweenness_centrality
from .checks import (
    COMPENSATED_SUM, EXACT_INT_LIMIT, NX_VERSION, absent, argument_rule, data_rule, exact_real, none_key, numbers,
)
from .components import connected_components
from .graph import FennelGraph
from .kinds import NUMPY_KINDS, PY_INT
from .serve import EXACT, WORK_BETWEENNESS, WORK_COLOURING, served

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


# Divisive methods: NetworkX removes the edge of highest edge betweenness
# (the first such edge in its dict's order) one at a time, recomputing the
# betweenness and the components after each removal. The graph it cuts is
# its own copy, built by the same calls here, so rows, edge keys and
# component sets follow the same orders; each step converts that copy and
# runs fennel's edge betweenness and components on it.
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
    return fg, list(connected_components.__wrapped__(fg))


def _remove_most_central_edge(fg, weight):
    ranking = edge_betweenness_centrality.__wrapped__(fg, weight=weight)
    fg.source.remove_edge(*max(ranking, key=ranking.get))


_DIVISIVE = ("Edge betweenness in parallel in C++ after each removal, on a copy of the graph built as NetworkX "
             "builds it. " + EXACT)
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
    fg, components = _components(g, None)
    while g.number_of_edges() > 0:
        # NetworkX's _without_most_central_edges.
        original = len(components)
        while len(components) <= original:
            _remove_most_central_edge(fg, None)
            fg, components = _components(g, None)
        yield tuple(components)


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
    fg, partition = _components(G.networkx_copy(), weight)
    while len(partition) < number_of_sets:
        _remove_most_central_edge(fg, weight)
        fg, partition = _components(fg.source, weight)
    return partition

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
    state = _rows(G).louvain_start(weight, resolution, COMPENSATED_SUM, _LOUVAIN_SCALED)
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
        # _gen_graph's (_aggregate_graph's) node sets, built by the same updates.
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
        answers=(ZeroDivisionError,))
def louvain_partitions(G, weight="weight", resolution=1, threshold=0.0000001, seed=None):
    return _louvain(G, weight, resolution, threshold, seed)


@served(docs=_LOUVAIN_DOCS, weight="weight", rules=_LOUVAIN_RULES, data_rules=_LOUVAIN_DATA, min_work=WORK_LOUVAIN,
        answers=(ZeroDivisionError,))
def louvain_communities(G, weight="weight", resolution=1, threshold=0.0000001, max_level=None, seed=None):
    partitions = _louvain(G, weight, resolution, threshold, seed)
    if max_level is not None:
        if max_level <= 0:
            raise ValueError("max_level argument must be a positive integer or None")
        partitions = itertools.islice(partitions, max_level)
    final_partition = deque(partitions, maxlen=1)
    return final_partition.pop()
