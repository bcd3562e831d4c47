"""Kanevsky's minimum node cuts (NetworkX's connectivity.kcutsets).

The pairs (x, v) are chosen here as NetworkX chooses them, from its own sets
of node objects; the core runs each pair's flow over the one residual
network NetworkX reuses (its rows reordered and grown as NetworkX's are),
the components of what the flow leaves, their condensation's antichains
and the closed sets they stand for, and it orders each cut's set S as
NetworkX's insertions order it (set tables replayed from the hashes of H's
node names). The cutset of name pairs and the node cut are then built here
by NetworkX's own insertions. The generator is lazy: nothing is read before
its first step, a graph changed before then is left to NetworkX's own
generator, and a graph changed later is read where NetworkX reads it.
"""

from array import array
from operator import itemgetter

import networkx as nx
from networkx.algorithms.flow import edmonds_karp as _nx_edmonds_karp

from .. import _core
from .checks import NX_VERSION, argument_rule
from .connectivity import node_connectivity
from .serve import EXACT, served
from .shared import changed, connected, watch

_NX37 = NX_VERSION >= (3, 7)
_EXACT_INT = 2**53


@argument_rule("kcut_flow_func")
def _kcut_flow_func(a):
    """The flowed and saturated edges, components and antichains all follow the very
    flow: only Edmonds–Karp's is replayed."""
    flow_func = a["flow_func"]
    if flow_func is None or flow_func is _nx_edmonds_karp:
        return None
    return "flow functions other than edmonds_karp are left to NetworkX"


@argument_rule("kcut_k")
def _kcut_k(a):
    k = a["k"]
    if k is None or type(k) is int:
        return None
    return "a k other than an int is left to NetworkX"


def _names(n):
    return [f"{i}{side}" for i in range(n) for side in "AB"]


def _networkx(fg, k, flow_func):
    return nx.utils.backends._registered_algorithms["all_node_cuts"].orig_func(fg.source, k=k, flow_func=flow_func)


def _density_is_one(fg):
    """nx.density(G) == 1, by its arithmetic."""
    n, m = len(fg), fg.core.number_of_edges()
    if m == 0 or n <= 1:
        return False
    return m / (n * (n - 1)) * 2 == 1


def _separates(fg, cut):
    """_is_separating_set(G, cut) on a connected G."""
    if len(cut) == len(fg) - 1:
        return True
    if len(cut) == len(fg):
        raise nx.NetworkXPointlessConcept("Connectivity is undefined for the null graph.")
    index = fg.index
    return fg.core.separates([index[u] for u in cut])


def _non_adjacent(fg, watched, x):
    """set(G) - {x} - set(G[x]), read from the graph as it is now."""
    if changed(watched):
        G = fg.source
        return set(G) - {x} - set(G[x])
    nodes = fg.nodes
    return set(nodes) - {x} - set(map(nodes.__getitem__, fg.core.neighbors(fg.index[x])))


def _cuts(fg, watched, k, flow_func):
    if changed(watched):
        yield from _networkx(fg, k, flow_func)
        return
    if not connected(fg):
        raise nx.NetworkXError("Input graph is disconnected.")
    if _density_is_one(fg):
        return
    if k is None:
        k = node_connectivity.__wrapped__(fg)
    nodes, index = fg.nodes, fg.index
    X = {n for n, d in sorted(zip(nodes, fg.core.degrees()), key=itemgetter(1), reverse=True)[:k]}
    separating = _separates(fg, X)
    if separating:
        yield X
    names = _names(len(nodes))
    search = fg.core.node_cut_search(array("q", map(hash, names)).tobytes(), _NX37,
                                     float(k) if -_EXACT_INT < k < _EXACT_INT else -1.0)
    if separating:
        _core._node_cut_seen(search, [index[u] for u in X])
    ids = dict(zip(names, [node for node in nodes for _ in "AB"]))  # H_nodes[name]["id"]
    for x in X:
        for v in _non_adjacent(fg, watched, x):
            # mapping[v] of H, built from G as it was.
            position = index[v]
            if not _core._node_cut_pair(search, index[x], position):
                continue
            while (found := _core._node_cut_next(search)) is not None:
                tails, heads = found
                cutset = set()
                cutset.update([(names[u], names[w]) for u, w in zip(tails, heads)])
                yield {ids[u] for u, _ in cutset}


@served(docs="Edmonds–Karp replayed in C++ over NetworkX's reused residual network, its rows reordered and grown as "
             "NetworkX's are; the components, antichains and closed sets in C++, each cut's set S in NetworkX's "
             "order by set tables replayed from the names' hashes; flow_func None or edmonds_karp. " + EXACT,
        rules=("kcut_flow_func", "kcut_k", "undirected_only", "no_multigraph", "null_graph", "sees_changes"),
        data_rules=("keys",))
def all_node_cuts(G, k=None, flow_func=None):
    return _cuts(G, watch(G), k, flow_func)
