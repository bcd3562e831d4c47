"""PageRank, eigenvector and Katz centrality.

The C++ core iterates; this side reads the caller's vectors exactly as
NetworkX reads them (numpy's float conversion for PageRank, Python's own
division for eigenvector's start vector), raises NetworkX's errors and maps
positions back to the keys NetworkX returns.
"""

import math
import operator

import networkx as nx

from .checks import COMPENSATED_SUM, NX_VERSION, checked_graph
from .graph import record, refuse
from .kinds import NP_FLOAT, typed

_EXACT_INT_LIMIT = 2**53
# The core counts iterations in 64 bits; more would never finish anyway.
_MAX_ITER_LIMIT = 2**63


def _iterations(max_iter):
    """range(max_iter)'s length, for the core."""
    return min(max(operator.index(max_iter), 0), _MAX_ITER_LIMIT)


def _threshold_problem(tol, n):
    """NetworkX compares with n * tol; an int product must stay exact as a float."""
    if type(tol) is not float and abs(tol) * n > _EXACT_INT_LIMIT:
        return "tol times the node count is not exactly a float"
    return None


def _failed(name, max_iter):
    record("ran", name)
    raise nx.PowerIterationFailedConvergence(max_iter)


def _start_vector(name, fg, nstart):
    """The keys of NetworkX's vector dict and its values by position.

    NetworkX iterates the nodes in the key order of ``nstart`` and returns
    those keys; they must be exactly the graph's nodes.
    """
    index = fg.index
    n = len(fg.nodes)
    try:
        order = [index[k] for k in nstart]
    except (KeyError, TypeError):
        refuse(name, "nstart's keys are not the graph's nodes")
    if len(order) != n or len(set(order)) != n:
        refuse(name, "nstart's keys are not the graph's nodes")
    return order


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
    if reason := _threshold_problem(tol, n):
        refuse(name, reason)
    import numpy as np

    def vector(values):
        if values is None:
            return None
        try:
            return np.array([values.get(v, 0) for v in nodes], dtype=float)
        except Exception as exc:  # NetworkX raises it itself
            refuse(name, f"reading a vector failed ({type(exc).__name__})")

    # NetworkX's order: start vector, personalization (and its check), dangling.
    x = vector(nstart)
    p = vector(personalization)
    if p is not None and p.sum() == 0:
        record("ran", name)
        raise ZeroDivisionError
    d = vector(dangling)
    scores = fg.core.pagerank(
        float(alpha),
        None if p is None else p.tolist(),
        _iterations(max_iter),
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
    if reason := _threshold_problem(tol, n):
        refuse(name, reason)
    if nstart is None:
        keys, order, x0 = fg.nodes, range(n), [1 / n] * n
    else:
        order = _start_vector(name, fg, nstart)
        if all(v == 0 for v in nstart.values()):
            record("ran", name)
            raise nx.NetworkXError("initial vector cannot have all zero values")
        try:
            nstart_sum = sum(nstart.values())
            start = {k: v / nstart_sum for k, v in nstart.items()}
        except ArithmeticError as exc:
            refuse(name, f"normalising nstart failed ({type(exc).__name__})")
        keys, x0 = list(start), [0.0] * n
        for position, value in zip(order, start.values()):
            x0[position] = value
    found = fg.core.eigenvector(list(order), x0, weight or None, _iterations(max_iter), float(tol), math.hypot,
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
    if reason := _threshold_problem(tol, n):
        refuse(name, reason)
    try:
        b = float(beta)
    except Exception:
        refuse(name, "beta dictionaries are left to NetworkX")
    if type(alpha) is not float and alpha < 0 and b == 0:
        # The first step adds int alpha * int 0 (an int zero) to beta: no signed zero as in a float product.
        refuse(name, "a negative int alpha with a zero beta")
    if nstart is None:
        keys, order, x0 = fg.nodes, range(n), None
    else:
        order = _start_vector(name, fg, nstart)
        keys, x0 = list(nstart), [0.0] * n
        for position, value in zip(order, nstart.values()):
            x0[position] = value
    found = fg.core.katz(list(order), float(alpha), b, weight, _iterations(max_iter), float(tol), COMPENSATED_SUM,
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
