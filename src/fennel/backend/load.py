"""Load centrality (NetworkX's load module).

NetworkX serves ``load_centrality`` as ``newman_betweenness_centrality``.
Its per-source searches and share-outs run in parallel in C++, the totals
added source by source in NetworkX's order. NetworkX pops nodes in
descending (length, node) order, so the core takes each node's place in
Python's sorted order of the nodes; graphs whose nodes Python cannot sort
consistently are left to NetworkX.
"""

import math

import networkx as nx

from . import progress
from .checks import argument_rule, data_rule, exact_real, weights
from .serve import EXACT, WORK_BETWEENNESS, served

_UNLIMITED = 0xFFFFFFFF


def _max_level(cutoff):
    """The levels nx.predecessor finds: it stops after level L once ``cutoff <= L``."""
    if not cutoff or math.isnan(cutoff) or cutoff >= _UNLIMITED:
        return _UNLIMITED
    return 1 if cutoff < 1 else math.ceil(cutoff)


def _sortable(v):
    """Nodes whose comparisons form a total order: numbers, strings, and tuples of them."""
    if type(v) in (int, bool, str):
        return True
    if type(v) is float:
        return not math.isnan(v)
    if type(v) is tuple:
        return all(map(_sortable, v))
    return False


def _ranks(fg):
    """Each node's place in sorted(G), or None when Python cannot sort the nodes consistently."""
    cached = fg.__dict__.get("_load_ranks", False)
    if cached is not False:
        return cached
    nodes = fg.nodes
    ranks = None
    if all(map(_sortable, nodes)):
        try:
            order = sorted(range(len(nodes)), key=nodes.__getitem__)
        except TypeError:
            order = None
        if order is not None:
            ranks = [0] * len(nodes)
            for place, position in enumerate(order):
                ranks[position] = place
    fg._load_ranks = ranks
    return ranks


@argument_rule("load_cutoff")
def _load_cutoff(a):
    cutoff = a["cutoff"]
    if cutoff is None or exact_real(cutoff):
        return None
    return "cutoff must be None, a float or an int within 2**53"


@argument_rule("load_node")
def _load_node(a):
    try:
        hash(a["v"])
    except TypeError:
        return "an unhashable v is left to NetworkX"
    return None


@data_rule("load_order")
def _load_order(fg, a):
    if _ranks(fg) is None:
        return "nodes Python cannot sort into one order (NetworkX sorts them by length, then node)"
    return weights(fg, a["weight"], hidden_allowed=True, typed=False)


@served(docs="The searches and share-outs run in parallel in C++, the totals added in NetworkX's source order. "
        + EXACT + " Falls back to NetworkX for nodes Python cannot sort into one order, unhashable v and weights "
        "that are callable or non-numeric.", weight="weight", rules=("weight_name", "load_cutoff", "load_node"),
        data_rules=("load_order",), per_source=True, min_work=WORK_BETWEENNESS, answers=(ValueError,))
def newman_betweenness_centrality(G, v=None, cutoff=None, normalized=True, weight=None):
    n = len(G)
    if weight is None:
        max_level, limit = _max_level(cutoff), None
    else:
        max_level, limit = _UNLIMITED, None if cutoff is None else float(cutoff)
    with progress.counted(G, n):
        sums = G.core.load(weight, max_level, limit, _ranks(G))
    if sums is None:
        raise ValueError("Contradictory paths found:", "negative weights?")
    if v is not None:
        position = G.index.get(v)
        betweenness = 0.0 if position is None else sums[position]
        if normalized:
            if n <= 2:
                return betweenness
            betweenness *= 1.0 / ((n - 1) * (n - 2))
        return betweenness
    if normalized and n > 2:
        scale = 1.0 / ((n - 1) * (n - 2))
        sums = [b * scale for b in sums]
    return dict(zip(G.nodes, sums))


@argument_rule("edge_load_cutoff")
def _edge_load_cutoff(a):
    cutoff = a["cutoff"]
    if cutoff is None or type(cutoff) in (int, bool, float):
        return None
    return "cutoff must be None, an int or a float"


@served(docs="The searches and share-outs run in parallel in C++, the totals added in NetworkX's source order. "
        + EXACT, rules=("edge_load_cutoff",), data_rules=("keys",), per_source=True, min_work=WORK_BETWEENNESS)
def edge_load_centrality(G, cutoff=False):
    with progress.counted(G, len(G)):
        us, vs, sums = G.core.edge_load(_max_level(cutoff))
    nodes = G.nodes
    return dict(zip(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)), sums))
