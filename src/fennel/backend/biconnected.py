"""Biconnected components (NetworkX's components.biconnected module).

NetworkX's one depth-first search with an edge stack yields the components
(as edge lists, or as sets of their edges' ends), and the articulation
points; the core runs the same search over the same rows. A component set
is filled with its edges' ends in edge order, as NetworkX's set() of the
chained edges, so it iterates in NetworkX's order. NetworkX's generators
walk the whole search lazily; fennel's run it on their first step (or leave
a graph changed before that step to NetworkX).
"""

import networkx as nx

from .serve import EXACT, served
from .shared import first_step, no_gc_pauses, watch

# The smallest work (n + adjacency entries) worth handing to fennel, graph
# converted and graph to convert: bench/thresholds.py measured crossovers at
# 74 and 156 for biconnected_components.
WORK_BICONNECTED = (75, 150)

_DOCS = (
    "NetworkX's depth-first search with an edge stack, in C++; each component set is filled in NetworkX's "
    "insertion order, so it iterates in NetworkX's order. " + EXACT
)


def _positions_to_nodes(fg, positions):
    return list(map(fg.nodes.__getitem__, positions))


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BICONNECTED)
def biconnected_components(G):
    def compute():
        with no_gc_pauses():
            return G.core.biconnected_sets(G.node_tuple)

    return first_step(nx.biconnected_components, G, watch(G), compute)


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BICONNECTED)
def biconnected_component_edges(G):
    def compute():
        with no_gc_pauses():
            return G.core.biconnected_edges(G.node_tuple)

    return first_step(nx.biconnected_component_edges, G, watch(G), compute)


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BICONNECTED)
def articulation_points(G):
    return first_step(nx.articulation_points, G, watch(G),
                      lambda: _positions_to_nodes(G, G.core.cut_nodes()))


@served(docs=_DOCS, data_rules=("keys",), min_work=WORK_BICONNECTED)
def is_biconnected(G):
    return G.core.one_biconnected_component()
