"""Matchings (NetworkX's matching module): the greedy maximal matching.

The C++ pass picks the edges; the set is filled here with the same tuples in
the same order, so it iterates as NetworkX's does.
"""

from .serve import EXACT, WORK_COMPONENTS, served


@served(docs="The greedy pass over G.edges() in C++; NetworkX's set filled in the same order. " + EXACT,
        rules=("undirected_only", "no_multigraph"), data_rules=("keys",), min_work=WORK_COMPONENTS)
def maximal_matching(G):
    nodes = G.nodes
    pairs = G.core.greedy_matching()
    matching = set()
    for i in range(0, len(pairs), 2):
        matching.add((nodes[pairs[i]], nodes[pairs[i + 1]]))
    return matching
