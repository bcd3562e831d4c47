"""PageRank (NetworkX's link_analysis).

The C++ core iterates with scipy's summation order and numpy's pairwise
sums; this side reads the caller's vectors exactly as NetworkX reads them
(numpy's float conversion), raises NetworkX's errors and maps positions back
to the nodes.
"""

import networkx as nx

from . import progress
from .checks import NX_VERSION, argument_rule, data_rule, int_max_iter, none_key, product_weights, reals
from .serve import EXACT, WORK_LINK, served
from .shared import iterations


def _scipy_missing():
    # Asked at every call (an import that failed once, under a memory limit
    # say, may succeed later; a loaded module is found at once).
    try:
        import numpy  # noqa: F401
        import scipy  # noqa: F401
    except ImportError:
        return True
    return False


def _pagerank_vectors(a):
    for param in ("personalization", "nstart", "dangling"):
        if a[param] is not None and not isinstance(a[param], dict):
            return f"{param} must be None or a dict"
    return None


argument_rule(
    "pagerank_args",
    lambda a: ("NetworkX needs numpy and scipy here" if _scipy_missing() else None)
    or reals("alpha", "tol")(a) or int_max_iter(a) or _pagerank_vectors(a),
)
data_rule(
    "pagerank_weights",
    lambda fg, a: none_key(fg, a["weight"]) or product_weights(fg, a["weight"], symmetric=not fg.directed),
)


@served(docs="Power iteration in C++ (in parallel from 20,000 nodes) with scipy's summation order and numpy's "
        "pairwise sums. " + EXACT + " Falls back to NetworkX for multigraphs with parallel edges. Falls back to "
        "NetworkX for None weights and for numbers other than Python's and numpy's float64, int64 and bool_.",
        weight="weight", rules=("weight_name", "pagerank_args", "tolerance"),
        data_rules=("parallel_edges", "pagerank_weights", "mirrored_weights"), min_work=WORK_LINK,
        answers=(ZeroDivisionError,))
def pagerank(G, alpha=0.85, personalization=None, max_iter=100, tol=1e-06, nstart=None, weight="weight",
             dangling=None):
    """PageRank, equal to NetworkX's (scipy) implementation bit for bit."""
    nodes = G.nodes
    if not nodes:
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
        raise ZeroDivisionError
    d = vector(dangling)
    with progress.counted(G, iterations(max_iter), "iterations"):
        scores = G.core.walk_ranks(
            float(alpha),
            None if p is None else p.tolist(),
            iterations(max_iter),
            float(tol),
            None if x is None else x.tolist(),
            weight,
            None if d is None else d.tolist(),
            numpy_dangling=NX_VERSION >= (3, 7),
            objects=G.node_tuple,
        )
    if scores is None:
        raise nx.PowerIterationFailedConvergence(max_iter)
    return scores


# HITS. NetworkX reads the "weight" attribute (default 1) into a canonical
# sparse adjacency matrix. Up to NetworkX 3.6 it takes scipy's sparse SVD of
# that matrix; from 3.7 on a power iteration by default (the SVD as
# method="svd").
_NX37 = NX_VERSION >= (3, 7)
_UNSET = object()
_HITS_METHOD = "power_iteration" if _NX37 else "svd"


def _hits_method(a):
    method = a["method"]
    if method is _UNSET:
        return _HITS_METHOD
    return method if _NX37 else None


@argument_rule("hits_args")
def _hits_args(a):
    if _scipy_missing():
        return "NetworkX needs numpy and scipy here"
    if a["method"] is not _UNSET and not _NX37:
        return "method is not a parameter before NetworkX 3.7"
    if a["nstart"] is not None and type(a["nstart"]) is not dict:
        return "nstart must be None or a dict"
    if _hits_method(a) == "power_iteration":
        if reason := reals("tol")(a) or int_max_iter(a):
            return reason
        nstart = a["nstart"]
        if nstart is not None and not all(type(v) in (int, float) and 1e-100 <= v <= 1e100 for v in nstart.values()):
            return "start values outside [1e-100, 1e100] can make NetworkX divide by a zero maximum"
    return None


@data_rule("hits_weights")
def _hits_weights(fg, a):
    # hits has no weight parameter: a conversion made for another call may
    # lack the column NetworkX reads, which is added to it then.
    try:
        fg.add_columns(("weight",))
    except NotImplementedError as exc:
        return str(exc)
    if fg.has_parallel_edges():
        return "parallel edges (NetworkX adds their weights in scipy's unordered sort)"
    if reason := product_weights(fg, "weight", symmetric=not fg.directed):
        return reason
    if not fg.directed and not fg.core.weight_symmetric("weight"):
        return "the two rows of some edges hold different 'weight' values"
    if _hits_method(a) == "power_iteration" and len(fg.nodes):
        # Positive weights and start values keep every maximum positive:
        # NetworkX's numpy divisions by a zero maximum warn, fennel's do not.
        facts = fg.weight_facts("weight")
        if fg.core.number_of_edges() == 0:
            return "a graph without edges makes NetworkX divide by a zero maximum"
        if facts.pos_inf or not (1e-100 <= facts.min_finite and facts.max_finite <= 1e100):
            return "weights outside [1e-100, 1e100] can make NetworkX divide by a zero maximum"
    return None


def csr_from(arrays, n):
    """A scipy CSR array from the core's (indptr, indices, data) bytes."""
    import numpy as np
    import scipy as sp

    indptr, indices, data = arrays
    return sp.sparse.csr_array(
        (np.frombuffer(data, dtype=float), np.frombuffer(indices, dtype=np.int64),
         np.frombuffer(indptr, dtype=np.int64)), shape=(n, n))


def _adjacency(fg):
    """NetworkX's adjacency_matrix(G, nodelist=list(G), dtype=float), entry for entry."""
    return csr_from(fg.core.adjacency_csr("weight"), len(fg.nodes))


@served(docs="NetworkX 3.7's power iteration in C++ (in parallel from 4,000 nodes) with scipy's sums and numpy's "
        "pairwise sums: " + EXACT + " The SVD (NetworkX 3.6's method, method='svd' from 3.7) runs scipy's svds on "
        "the same matrix, built in C++; without nstart scipy starts it from a random vector, so its answers, like "
        "NetworkX's, vary in the last digits from call to call. Falls back to NetworkX for parallel edges, "
        "and, in the power iteration, for weights outside [1e-100, 1e100] and for start values that are not all "
        "positive.",
        rules=("hits_args",), data_rules=("hits_weights",), min_work=WORK_LINK, answers=(ValueError,))
def hits(G, max_iter=100, tol=1.0e-8, nstart=None, normalized=True, *, method=_UNSET):
    """HITS hubs and authorities, as NetworkX computes them."""
    method = _hits_method({"method": method})
    if method == "power_iteration":
        return _hits_power(G, max_iter, tol, nstart, normalized)
    if method == "svd":
        return _hits_svd(G, max_iter, tol, nstart, normalized)
    raise ValueError(f"method not supported: {method}")


def _hits_power(G, max_iter, tol, nstart, normalized):
    import numpy as np

    N = len(G)
    if N == 0:
        return {}, {}
    nodelist = G.nodes
    if nstart is None:
        h = np.full(N, 1.0 / N)
    else:
        # (a set grown in node order, as NetworkX's NodeView difference grows it)
        missing = {v for v in nodelist if v not in nstart.keys()}
        if missing:
            raise nx.NetworkXError(f"nstart must have a value for every node; missing: {missing}")
        h = np.array([nstart[node] for node in nodelist], dtype=float)
        s = h.sum()
        if s == 0:
            raise nx.NetworkXError("nstart values must not sum to zero")
        h = h / s
    if max_iter <= 0:
        raise nx.PowerIterationFailedConvergence(max_iter)
    with progress.counted(G, iterations(max_iter), "iterations"):
        scores = G.core.hits_scores("weight", h.tolist(), iterations(max_iter), float(tol), bool(normalized))
    if scores is None:
        raise nx.PowerIterationFailedConvergence(max_iter)
    hubs, authorities = scores
    return dict(zip(nodelist, hubs)), dict(zip(nodelist, authorities))


def _hits_svd(G, max_iter, tol, nstart, normalized):
    import numpy as np
    import scipy as sp

    if len(G) == 0:
        return {}, {}
    A = _adjacency(G)
    if nstart is not None:
        nstart = np.array(list(nstart.values()))
    if max_iter <= 0:
        raise nx.PowerIterationFailedConvergence(max_iter)
    try:
        _, _, vt = sp.sparse.linalg.svds(A, k=1, v0=nstart, maxiter=max_iter, tol=tol)
    except sp.sparse.linalg.ArpackNoConvergence as exc:
        raise nx.PowerIterationFailedConvergence(max_iter) from exc
    a = vt.flatten().real
    h = A @ a
    if normalized:
        h /= h.sum()
        a /= a.sum()
    hubs = dict(zip(G.nodes, map(float, h)))
    authorities = dict(zip(G.nodes, map(float, a)))
    return hubs, authorities
