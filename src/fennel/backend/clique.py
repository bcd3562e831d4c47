"""Maximal cliques (NetworkX's clique module): find_cliques and find_cliques_recursive.

NetworkX's pivoting search walks Python sets of nodes, so the order of its
cliques, and of the nodes in each, is the iteration order CPython gives
those sets: an order fixed by the nodes' hashes and each set's history. The
core replays those set tables from the nodes' hashes and hands back the
cliques in NetworkX's order, as lists of the caller's objects: those of
``nodes`` first, then the graph's own node objects.
"""

from array import array

import networkx as nx

from .. import _core
from .checks import argument_rule
from .serve import EXACT, served
from .shared import changed, watch

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
    """hash() of each node, as the core reads them (int64 bytes)."""
    return array("q", map(hash, fg.nodes)).tobytes()


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


def _cliques(fg, search, prefix):
    """The search's cliques, handed out in growing batches."""
    nodes, batch = fg.node_tuple, 1
    while True:
        cliques = _core._clique_next(search, batch, nodes, prefix)
        yield from cliques
        if len(cliques) < batch:
            return
        batch = min(batch * 4, 4096)


def _find_cliques(fg, watched, nodes):
    # NetworkX reads the graph on the generator's first step.
    if changed(watched):
        yield from nx.utils.backends._registered_algorithms["find_cliques"].orig_func(fg.source, nodes)
        return
    if len(fg) == 0:
        return
    search, prefix, _ = _search(fg, nodes)
    yield from _cliques(fg, search, prefix)


@served(docs=_DOCS, rules=("undirected_only", "clique_nodes", "sees_changes"), data_rules=("keys",),
        min_work=WORK_CLIQUES)
def find_cliques(G, nodes=None):
    return _find_cliques(G, watch(G), nodes)


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
