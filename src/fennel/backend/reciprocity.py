"""Reciprocity (NetworkX's reciprocity module).

The sizes of each node's predecessor and successor sets and of their
overlap are counted in C++; NetworkX's formula forms the ratio.
"""

import networkx as nx

from . import cycles  # noqa: F401 - registers the "directed_only" rule
from .serve import EXACT, WORK_TRIANGLES, served

_DOCS = "Neighbour sets counted in parallel in C++, the ratios formed by NetworkX's own formulas. " + EXACT


def _overall(G):
    n_all_edge = G.core.number_of_edges()
    n_overlap_edge = G.core.reciprocated_pairs()
    if n_all_edge == 0:
        raise nx.NetworkXError("Not defined for empty graphs")
    return n_overlap_edge / n_all_edge


@served(docs=_DOCS, rules=("directed_only", "no_multigraph"), min_work=WORK_TRIANGLES)
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


@served(docs=_DOCS, rules=("directed_only", "no_multigraph"), min_work=WORK_TRIANGLES)
def overall_reciprocity(G):
    return _overall(G)
