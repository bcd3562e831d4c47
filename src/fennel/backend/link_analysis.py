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
# NetworkX lists an undirected edge once, with the data of its earlier
# endpoint's row; a view may hold another dict in the other row.
data_rule(
    "mirrored_weights",
    lambda fg, a: None if fg.directed or a["weight"] is None or fg.core.weight_symmetric(a["weight"])
    else f"the two rows of some edges hold different {a['weight']!r} values",
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
        )
    if scores is None:
        raise nx.PowerIterationFailedConvergence(max_iter)
    return dict(zip(nodes, scores))
