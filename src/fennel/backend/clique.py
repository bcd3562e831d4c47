"""Cliques (NetworkX's clique module): maximal cliques, every clique, clique numbers and the heaviest clique.

NetworkX's pivoting search walks Python sets of nodes, so the order of its
cliques, and of the nodes in each, is the iteration order CPython gives
those sets: an order fixed by the nodes' hashes and each set's history. The
core replays those set tables from the nodes' hashes and hands back the
cliques in NetworkX's order, as lists of the caller's objects: those of
``nodes`` first, then the graph's own node objects.
"""

from array import array
from collections import defaultdict

import networkx as nx

from .. import _core
from .checks import absent, argument_rule, data_rule
from .serve import EXACT, served
from .shared import changed, no_gc_pauses, watch

# NetworkX spends several set operations and a Python call per node of every
# branch: the search outweighs converting the graph well before it is large.
WORK_CLIQUES = (50, 100)

_DOCS = (
    "Tomita's pivoting search in C++ over CPython's set tables replayed from the nodes' hashes, so the cliques and "
    "their nodes come in NetworkX's order. " + EXACT
)

argument_rule("clique_nodes", lambda a: None if a["nodes"] is None or type(a["nodes"]) is list else
              "nodes other than a list are left to NetworkX")


def node_hashes(fg):
    """hash() of each node, as the core reads them (int64 bytes). Kept with the graph when every node is an
    exact int or str, whose hash cannot change; other objects are asked every time, as Python's sets ask."""
    known = fg.__dict__.get("_node_hashes")
    if known is not None:
        return known
    hashes = array("q", map(hash, fg.nodes)).tobytes()
    if all(type(v) is int or type(v) is str for v in fg.nodes):
        fg._node_hashes = hashes
    return hashes


def _search(fg, nodes):
    """The core's search from NetworkX's ``Q = nodes[:]``, after NetworkX's check
    that Q is a clique: (search, Q as a tuple, whether Q is the only clique)."""
    Q = nodes[:] if nodes is not None else []
    index, at, unhashable = fg.index, [], False
    for node in Q:
        try:
            position = index.get(node)
        except TypeError:
            unhashable = True
            break
        if position is None:
            break
        at.append(position)
    search, valid, lone = fg.core.clique_search(node_hashes(fg), at)
    if valid == len(Q):
        return search, tuple(Q), lone
    if valid == len(at) and unhashable:
        {Q[valid]}  # noqa: B018 - NetworkX's `node not in cand` raises TypeError for it
    raise ValueError(f"The given `nodes` {nodes} do not form a clique")


def _cliques(fg, search, prefix, watched=None, nodes=None):
    """The search's cliques, handed out in growing batches. With `watched`,
    the search starts on the first step, from `nodes`, as NetworkX's
    find_cliques reads the graph there (one generator: each level of
    generators would cost every clique a step)."""
    if watched is not None:
        if changed(watched):
            yield from nx.utils.backends._registered_algorithms["find_cliques"].orig_func(fg.source, nodes)
            return
        if len(fg) == 0:
            return
        search, prefix, _ = _search(fg, nodes)
    nodes, batch = fg.node_tuple, 1
    while True:
        with no_gc_pauses():  # a batch's lists hold no cycles
            cliques = _core._clique_next(search, batch, nodes, prefix)
        yield from cliques
        if len(cliques) < batch:
            return
        batch = min(batch * 4, 4096)


@served(docs=_DOCS, rules=("undirected_only", "clique_nodes", "sees_changes"), data_rules=("keys",),
        min_work=WORK_CLIQUES)
def find_cliques(G, nodes=None):
    return _cliques(G, None, None, watch(G), nodes)


@served(docs=_DOCS, rules=("undirected_only", "clique_nodes"), data_rules=("keys",), min_work=WORK_CLIQUES)
def find_cliques_recursive(G, nodes=None):
    # NetworkX reads the graph and checks `nodes` on the call, and returns a
    # generator only when there is a search to make.
    if len(G) == 0:
        return iter([])
    search, prefix, lone = _search(G, nodes)
    if lone:
        return iter([list(prefix)])
    return _cliques(G, search, prefix)


def _all_cliques(fg, watched):
    # NetworkX reads the graph on the generator's first step.
    if changed(watched):
        yield from nx.utils.backends._registered_algorithms["enumerate_all_cliques"].orig_func(fg.source)
        return
    walk, nodes, batch = fg.core.all_cliques_search(), fg.node_tuple, 16
    while True:
        with no_gc_pauses():
            cliques = _core._all_cliques_next(walk, batch, nodes)
        yield from cliques
        if len(cliques) < batch:
            return
        batch = min(batch * 4, 4096)


@served(docs="A depth-first walk in C++ per clique size, which hands out the cliques in the order of NetworkX's "
        "breadth-first queue with memory bounded by the graph. " + EXACT,
        rules=("undirected_only", "sees_changes"), data_rules=("keys",), min_work=WORK_CLIQUES)
def enumerate_all_cliques(G):
    return _all_cliques(G, watch(G))


argument_rule("precomputed_cliques", absent("cliques", "precomputed cliques"))


@data_rule("clique_number_nodes")
def _clique_number_nodes(fg, a):
    nodes = a["nodes"]
    if nodes is None or nodes in fg:
        return None
    if type(nodes) not in (list, tuple) or not all(n in fg for n in nodes):
        return "nodes other than a node of G or a list or tuple of them are left to NetworkX"
    return None


@served(docs="find_cliques' search in C++ for the whole graph (the nodes in the order its cliques first show them); "
        "a branch and bound over each node's neighbours for given nodes. " + EXACT,
        rules=("undirected_only", "precomputed_cliques"), data_rules=("keys", "clique_number_nodes"), min_work=WORK_CLIQUES)
def node_clique_number(G, nodes=None, cliques=None, separate_nodes=False):
    if nodes is None:
        positions, sizes = G.core.largest_cliques(node_hashes(G))
        node = G.nodes
        return defaultdict(int, zip([node[p] for p in positions], sizes))
    if nodes in G:
        return G.core.largest_cliques_at([G.index[nodes]])[0]
    index = G.index
    return dict(zip(nodes, G.core.largest_cliques_at([index[n] for n in nodes])))


# NetworkX's expand() recurses once per clique node; a search this deep is
# left to NetworkX, whose recursion limit decides it.
_DEEPEST = 500
# Sums of node weights stay exact in 64 bits below this.
_WEIGHT_TOTAL = 1 << 62


@data_rule("clique_weights")
def _clique_weights(fg, a):
    weight = a["weight"]
    if weight is None:
        return None
    total = 0
    for _, data in fg.source.nodes(data=True):
        w = data.get(weight)
        if type(w) is not int and type(w) is not bool:
            return "node weights other than ints (or missing) are left to NetworkX"
        if w > 0:
            total += w
    return None if total < _WEIGHT_TOTAL else "node weights summing past 2**62 are left to NetworkX"


@served(docs="NetworkX's branch and bound, step for step, in C++: the same branching nodes, so the same clique "
        "among equals. " + EXACT + " A clique deeper than 500 nodes is left to NetworkX's "
        "recursion.",
        rules=("undirected_only",), data_rules=("clique_weights",), min_work=WORK_CLIQUES, keeps_attributes=True)
def max_weight_clique(G, weight="weight"):
    n = len(G)
    if weight is None:
        weights = array("q", [1]) * n
    else:
        weights = array("q", (data[weight] for _, data in G.source.nodes(data=True)))
    if G.multigraph:
        degrees = array("q", (d for _, d in G.source.degree))
    else:
        degrees = array("q", G.core.degrees())
    positions, total, deep = G.core.heaviest_clique(degrees.tobytes(), weights.tobytes(), _DEEPEST)
    if deep:
        return nx.utils.backends._registered_algorithms["max_weight_clique"].orig_func(G.source, weight)
    node = G.nodes
    return [node[p] for p in positions], total
