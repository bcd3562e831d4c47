"""Cycles (NetworkX's cycles module): the cycle basis.

The walk and its cycles come from C++ over G's rows; the lists hold G's own
node objects.
"""

from .checks import data_rule
from .serve import EXACT, WORK_DFS, served


@data_rule("own_root")
def _own_root(fg, a):
    """A given root is G's own node: NetworkX's cycles hold the object given."""
    root = a["root"]
    if root is None:
        return None
    try:
        i = fg.index.get(root)
    except TypeError:
        return "an unhashable root"
    if i is None:
        return "a root not in G"
    return None if fg.nodes[i] is root else "a root equal to a node of G but not the node itself"


@served(docs="Paton's spanning-tree walk in C++, in NetworkX's order of components, stack pops and "
        "neighbours. " + EXACT, rules=("undirected_only", "no_multigraph"), data_rules=("keys", "own_root"),
        min_work=WORK_DFS)
def cycle_basis(G, root=None):
    nodes, bounds = G.core.paton_cycles(None if root is None else G.index[root])
    names = list(map(G.nodes.__getitem__, nodes))
    return [names[bounds[c] : bounds[c + 1]] for c in range(len(bounds) - 1)]
