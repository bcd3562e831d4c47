"""Isolates (NetworkX's isolate module): the nodes of degree zero.

NetworkX reads each node's degree as its generator reaches the node; fennel
finds every isolate in one pass over the rows on the first step. A graph
changed while the generator runs is read from there on by NetworkX's own
loop, over G's node dict as NetworkX's degree view holds it.

Converting a graph costs more than NetworkX's one pass over its degrees:
under automatic dispatch fennel takes these only for a graph already
converted (or its own native graphs, which NetworkX would first expand).
"""

import math

from .checks import data_rule
from .serve import EXACT, served
from .shared import RowIterator, changed, watch

# A converted graph's pass beats NetworkX's degree view from a few thousand
# nodes; is_isolate is one dict lookup in NetworkX.
_WORK_ISOLATES = (2000, math.inf)
_WORK_IS_ISOLATE = (math.inf, math.inf)

# Checked on the converted graph: a native graph would build its dicts to answer `in`.
data_rule("isolate_node", lambda fg, a: None if a["n"] in fg else "a node not in G")

_DOCS = "One pass over the rows in C++. " + EXACT


def _degree_zero(G, n):
    """NetworkX's G.degree(n) == 0 for a node of G, without the degree's sum."""
    if G.is_directed():
        return not G._succ[n] and not G._pred[n]
    return not G._adj[n]


def _isolates(fg, watched):
    if changed(watched):
        # NetworkX reads the degrees only from its first step on.
        yield from (n for n in fg.source if _degree_zero(fg.source, n))
        return
    nodes = fg.nodes
    done = 0
    for i in fg.core.degree_zero_nodes():
        if changed(watched):
            break
        yield nodes[i]
        done = i + 1
    if not changed(watched):
        return
    # The degree view's dict iterator stands after the last node yielded.
    G = fg.source
    yield from (n for n in RowIterator(G._adj, len(fg), done) if _degree_zero(G, n))


@served(docs=_DOCS, rules=("sees_changes",), data_rules=("keys",), min_work=_WORK_ISOLATES)
def isolates(G):
    return _isolates(G, watch(G))


@served(docs=_DOCS, min_work=_WORK_ISOLATES)
def number_of_isolates(G):
    return len(G.core.degree_zero_nodes())


@served(docs="A look at the node's rows. " + EXACT + " Nodes not in G are left to NetworkX.",
        data_rules=("isolate_node",), min_work=_WORK_IS_ISOLATE)
def is_isolate(G, n):
    i = G.index[n]
    return not G.core.neighbors(i) and not (G.directed and G.core.predecessors(i))
