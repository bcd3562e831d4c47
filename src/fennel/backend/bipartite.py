"""Bipartite graphs (NetworkX's bipartite.basic and bipartite.matching)."""

from networkx.algorithms.bipartite import sets as bipartite_sets

from .checks import argument_rule
from .native import compact_form
from .serve import EXACT, WORK_BIPARTITE_MATCHING, WORK_COMPONENTS, always, served


# NetworkX's colouring stops at the first edge whose ends share a colour:
# on most graphs that are not bipartite it reads a few rows.
@served(docs="Two-colouring in C++. " + EXACT, min_work=WORK_COMPONENTS, bounded=always)
def is_bipartite(G):
    return G.core.two_colorable()


@argument_rule("top_nodes")
def _top_nodes(a):
    """top_nodes: None, or a collection of G's nodes (NetworkX reads it once; a node
    it does not know makes NetworkX's searches fail on a lookup of their own)."""
    top_nodes, G = a["top_nodes"], a["G"]
    # A native graph answers membership from its compact form, its dicts unbuilt.
    G = compact_form(G) or G
    if top_nodes is None:
        return None
    try:
        if iter(top_nodes) is top_nodes:
            return "top_nodes as an iterator is left to NetworkX"
        if all(v in G for v in top_nodes):
            return None
    except TypeError:
        pass
    return "top_nodes must be a collection of G's nodes"


@served(docs="NetworkX's node sets, then Hopcroft-Karp in C++ in the sets' iteration orders; NetworkX's "
             "dict rebuilt in its key order with its own node objects. " + EXACT,
        rules=("top_nodes",), data_rules=("keys",), min_work=WORK_BIPARTITE_MATCHING, answers=(KeyError,))
def hopcroft_karp_matching(G, top_nodes=None):
    if top_nodes is None:
        left, right = bipartite_sets(G.source, top_nodes)
    else:
        # NetworkX's sets() for given top nodes, without a native graph's dicts.
        left = set(top_nodes)
        right = set(G) - left
    index = G.index
    left_at = [index[v] for v in left]
    keys, values, missing = G.core.hopcroft_karp(left_at, [index[v] for v in right])
    if missing is not None:
        raise KeyError(G.nodes[missing])
    # Left nodes are NetworkX's top_nodes objects, right nodes G's own.
    objects = list(G.nodes)
    for v, at in zip(left, left_at):
        objects[at] = v
    return {objects[k]: objects[v] for k, v in zip(keys, values)}
