"""Reciprocity (NetworkX's reciprocity module).

The sizes of each node's predecessor and successor sets and of their
overlap are counted in C++; NetworkX's formula forms the ratio.
"""

import networkx as nx

from .checks import argument_rule
from .serve import EXACT, WORK_TRIANGLES, served, with_one_node

_DOCS = "Neighbour sets counted in parallel in C++, the ratios formed by NetworkX's own formulas. " + EXACT


@argument_rule("reciprocity_graph")
def _reciprocity_graph(a):
    """NetworkX rejects undirected multigraphs, counts a directed multigraph's
    parallel edges, and has no predecessors to read in an undirected graph."""
    G = a["G"]
    if G.is_multigraph():
        return "multigraphs are left to NetworkX (it counts parallel edges, or rejects undirected ones)"
    if not G.is_directed() and a.get("nodes") is not None:
        return "per-node reciprocity of an undirected graph is NetworkX's to reject"
    return None


def _overall(G):
    n_all_edge = G.core.number_of_edges()
    # An undirected graph is its own to_undirected(): no edge is reciprocated.
    n_overlap_edge = G.core.reciprocated_pairs() if G.directed else 0
    if n_all_edge == 0:
        raise nx.NetworkXError("Not defined for empty graphs")
    return n_overlap_edge / n_all_edge


@served(docs=_DOCS, rules=("reciprocity_graph",), min_work=WORK_TRIANGLES, bounded=with_one_node)
def reciprocity(G, nodes=None):
    if nodes is None:
        return _overall(G)
    if nodes in G:
        value = G.core.reciprocity_counts([G.index[nodes]])[0]
        if value is None:
            raise nx.NetworkXError("Not defined for isolated nodes.")
        return value
    source = G.source
    if nodes is source or nodes is source.nodes:
        # Every node, in G's order, as nbunch_iter would list them.
        return dict(zip(G.nodes, G.core.reciprocity_counts(None)))
    objects = list(source.nbunch_iter(nodes))
    return dict(zip(objects, G.core.reciprocity_counts(list(map(G.index.__getitem__, objects)))))


@served(docs=_DOCS, rules=("reciprocity_graph",), min_work=WORK_TRIANGLES)
def overall_reciprocity(G):
    return _overall(G)
