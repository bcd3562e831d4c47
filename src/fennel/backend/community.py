"""Label propagation communities (NetworkX's community.label_propagation)."""

from collections import defaultdict

from .serve import EXACT, WORK_COLOURING, served


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
