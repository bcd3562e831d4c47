"""Dispersion (NetworkX's centrality.dispersion).

The core counts, for each pair, NetworkX's passing pairs of common
neighbours and the common neighbours themselves; which of two neighbours
comes first follows CPython's set table of NetworkX's set of common
neighbours, replayed from the nodes' hashes. The normalisation is
NetworkX's own expression, evaluated here once per distinct pair of counts
in the order the pairs first appear, so its types, values and exceptions
are Python's.
"""

from .checks import data_rule
from .clique import node_hashes
from .serve import EXACT, WORK_TRIANGLES, served


@data_rule("dispersion_nodes")
def _dispersion_nodes(fg, a):
    for name in ("u", "v"):
        x = a[name]
        if x is None:
            continue
        try:
            if x in fg:
                continue
        except TypeError:
            pass
        return f"{name} not in G is left to NetworkX"
    return None


def _value_of(normalized, alpha, b, c):
    """NetworkX's value of a pair's counts."""
    if not normalized:
        return lambda total, embeddedness: total

    def value(total, embeddedness):
        x = (total + b) ** alpha
        if embeddedness + c != 0:
            x /= embeddedness + c
        return x

    return value


@served(docs="Per-pair counts in C++ on the worker pool, common neighbours in CPython's set order. " + EXACT,
        data_rules=("keys", "dispersion_nodes"), min_work=WORK_TRIANGLES,
        answers=(ZeroDivisionError, OverflowError))
def dispersion(G, u=None, v=None, normalized=True, alpha=1.0, b=0.0, c=0.0):
    hashes = node_hashes(G)
    index = G.index
    value = _value_of(normalized, alpha, b, c)
    if u is not None and v is not None:
        return value(*G.core.dispersion_pair(hashes, index[u], index[v]))
    # With u or v alone NetworkX computes _dispersion(G, x, w) for w in G[x] either way.
    x = u if u is not None else v
    return G.core.dispersion_dicts(hashes, None if x is None else [index[x]], tuple(G.nodes), value)
