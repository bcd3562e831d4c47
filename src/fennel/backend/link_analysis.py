"""PageRank, eigenvector and Katz centrality.

The C++ core iterates; this side reads the caller's vectors exactly as
NetworkX reads them (numpy's float conversion for PageRank, Python's own
division for eigenvector's start vector), raises NetworkX's errors and maps
positions back to the keys NetworkX returns.
"""

import math
import operator

import networkx as nx

from . import progress
from .checks import COMPENSATED_SUM, NX_VERSION, checked_graph
from .graph import record
from .kinds import NP_FLOAT, typed

# The core counts iterations in 64 bits; more would never finish anyway.
_MAX_ITER_LIMIT = 2**63


def _iterations(max_iter):
    """range(max_iter)'s length, for the core."""
    return min(max(operator.index(max_iter), 0), _MAX_ITER_LIMIT)


def _failed(name, max_iter):
    record("ran", name)
    raise nx.PowerIterationFailedConvergence(max_iter)


def _start_vector(fg, nstart):
    """The positions of nstart's keys, in its order: NetworkX iterates the
    nodes in that order and returns those keys (the ``nstart_keys`` rule
    made sure they are exactly the graph's nodes)."""
    index = fg.index
    return [index[k] for k in nstart]


def pagerank(G, alpha=0.85, personalization=None, max_iter=100, tol=1e-06, nstart=None, weight="weight",
             dangling=None):
    """PageRank, equal to NetworkX's (scipy) implementation bit for bit."""
    name = "pagerank"
    a = locals().copy()
    fg = checked_graph(name, a)
    nodes = fg.nodes
    n = len(nodes)
    if n == 0:
        record("ran", name)
        return {}
    import numpy as np

    def vector(values, normalise=True):
        """NetworkX's vector, read and normalised by the same numpy calls
        (their errors and warnings, such as 0/0 for an empty dict, are
        NetworkX's); the core normalises the raw values again itself."""
        if values is None:
            return None
        raw = np.array([values.get(v, 0) for v in nodes], dtype=float)
        if normalise:
            raw / raw.sum()
        return raw

    # NetworkX's order: start vector, personalization (and its check), dangling.
    x = vector(nstart)
    p = vector(personalization, normalise=False)
    if p is not None and p.sum() == 0:
        record("ran", name)
        raise ZeroDivisionError
    d = vector(dangling)
    iterations = _iterations(max_iter)
    with progress.counted(name, fg, iterations, "iterations"):
        scores = fg.core.pagerank(
            float(alpha),
            None if p is None else p.tolist(),
            iterations,
            float(tol),
            None if x is None else x.tolist(),
            weight,
            None if d is None else d.tolist(),
            numpy_dangling=NX_VERSION >= (3, 7),
        )
    if scores is None:
        _failed(name, max_iter)
    record("ran", name)
    return dict(zip(nodes, scores))


def _typed_scores(scores, numpy):
    """Scores by position, numpy.float64 where NetworkX's value is (`numpy`: per position, or None)."""
    if numpy is None:
        return scores
    as_numpy = typed(NP_FLOAT)
    return [as_numpy(x) if is_numpy else x for x, is_numpy in zip(scores, numpy)]


def eigenvector_centrality(G, max_iter=100, tol=1e-06, nstart=None, weight=None):
    """Eigenvector centrality, equal to NetworkX's bit for bit."""
    name = "eigenvector_centrality"
    a = locals().copy()
    fg = checked_graph(name, a)
    n = len(fg.nodes)
    if n == 0:
        record("ran", name)
        raise nx.NetworkXPointlessConcept("cannot compute centrality for the null graph")
    if nstart is None:
        keys, order, x0 = fg.nodes, range(n), [1 / n] * n
    else:
        order = _start_vector(fg, nstart)
        if all(v == 0 for v in nstart.values()):
            record("ran", name)
            raise nx.NetworkXError("initial vector cannot have all zero values")
        # NetworkX's own normalisation, its errors included.
        nstart_sum = sum(nstart.values())
        start = {k: v / nstart_sum for k, v in nstart.items()}
        keys, x0 = list(start), [0.0] * n
        for position, value in zip(order, start.values()):
            x0[position] = value
    iterations = _iterations(max_iter)
    with progress.counted(name, fg, iterations, "iterations"):
        found = fg.core.eigenvector(list(order), x0, weight or None, iterations, float(tol), math.hypot,
                                    COMPENSATED_SUM, kinds=True)
    if found is None:
        _failed(name, max_iter)
    record("ran", name)
    return dict(zip(keys, map(_typed_scores(*found).__getitem__, order)))


def katz_centrality(G, alpha=0.1, beta=1.0, max_iter=1000, tol=1e-06, nstart=None, normalized=True, weight=None):
    """Katz centrality with a scalar beta, equal to NetworkX's bit for bit."""
    name = "katz_centrality"
    a = locals().copy()
    fg = checked_graph(name, a)
    n = len(fg.nodes)
    if n == 0:
        record("ran", name)
        return {}
    b = float(beta)  # a scalar: the scalar_beta rule
    if nstart is None:
        keys, order, x0 = fg.nodes, range(n), None
    else:
        order = _start_vector(fg, nstart)
        keys, x0 = list(nstart), [0.0] * n
        for position, value in zip(order, nstart.values()):
            x0[position] = value
    iterations = _iterations(max_iter)
    with progress.counted(name, fg, iterations, "iterations"):
        found = fg.core.katz(list(order), float(alpha), b, weight, iterations, float(tol), COMPENSATED_SUM,
                             x0=x0, kinds=True)
    if found is None:
        _failed(name, max_iter)
    x = dict(zip(keys, map(_typed_scores(*found).__getitem__, order)))
    if normalized:
        try:
            s = 1.0 / math.hypot(*x.values())
        except ZeroDivisionError:
            s = 1.0
    else:
        s = 1
    for key in x:
        x[key] *= s
    record("ran", name)
    return x
