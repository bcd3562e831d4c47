"""Second order centrality (NetworkX's centrality.second_order), undirected.

NetworkX balances G's weighted in-degrees with self-loops on a directed
copy, reads that copy's "weight" attributes into a dense matrix and solves
one linear system per node with numpy. fennel builds the same matrix from
the core's CSR arrays (the balancing loops as array operations) and runs
NetworkX's own numpy lines on it: the n solves, which dominate, are
LAPACK's either way.
"""

import sys

import networkx as nx

from .checks import argument_rule, data_rule, none_key, product_weights
from .link_analysis import _scipy_missing, csr_from
from .serve import EXACT, served

_MAX_NODES = 2000
# Measured crossover (NetworkX dispatch included): about 100 nodes and 400 edges.
WORK_SECOND_ORDER = (600, 600)
# Python's sum() over floats is compensated from 3.12 on, and then depends
# on which terms are ints; before, it adds from left to right.
_PLAIN_SUM = sys.version_info < (3, 12)


argument_rule("second_order_args", lambda a: "NetworkX needs numpy and scipy here" if _scipy_missing() else None)


def _finite_entries(fg, column):
    import numpy as np

    data = np.frombuffer(fg.core.adjacency_csr(column)[2], dtype=float)
    return bool(np.isfinite(data).all())


@data_rule("second_order_weights")
def _second_order_weights(fg, a):
    if len(fg.nodes) > _MAX_NODES:
        return f"graphs of more than {_MAX_NODES} nodes are left to NetworkX"
    weight = a["weight"]
    # The balanced copy's matrix reads "weight", whatever the parameter.
    try:
        fg.add_columns(("weight",))
    except NotImplementedError as exc:
        return str(exc)
    for column in dict.fromkeys((weight, "weight")):
        if column is None:
            if reason := none_key(fg, column):
                return reason
            continue
        if reason := product_weights(fg, column, symmetric=False):
            return reason
        facts = fg.weight_facts(column)
        if facts.has_hidden:
            return f"some {column!r} weights are None"
        if not fg.core.weight_symmetric(column):
            return f"the two rows of some edges hold different {column!r} values"
        if not _finite_entries(fg, column):
            return f"some {column!r} weights are not finite"
        if column == weight:
            if not facts.all_int and not _PLAIN_SUM:
                return "Python's compensated sum of in-degrees mixing ints and floats is left to NetworkX"
            lo, hi = facts.min_finite, facts.max_finite
            if (facts.all_int or facts.mixed) and lo is not None and max(-lo, hi) * len(fg.nodes) >= 2.0**53:
                return f"int in-degree sums over {column!r} could pass 2**53"
    return None


@served(docs="NetworkX's balanced transition matrix built from the core's arrays, then NetworkX's numpy solves on it. "
        + EXACT + " The n solves are LAPACK's, as in NetworkX, and take nearly all the time. Falls back to "
        "NetworkX for parallel edges, weights that are not finite plain numbers, float weights under Python 3.12 "
        "and later, and graphs of more than 2,000 nodes.",
        weight="weight", rules=("weight_name", "second_order_args"),
        data_rules=("parallel_edges", "second_order_weights"), min_work=WORK_SECOND_ORDER)
def second_order_centrality(G, weight="weight"):
    import numpy as np
    import scipy as sp

    n = len(G)
    if n == 0:
        raise nx.NetworkXException("Empty graph.")
    us, vs, _ = G.core.edges_in_order()
    pattern = sp.sparse.csr_array((np.ones(len(us), dtype=np.int8), (us, vs)), shape=(n, n))
    if sp.sparse.csgraph.connected_components(pattern, directed=False, return_labels=False) != 1:
        raise nx.NetworkXException("Non connected graph.")
    if weight is not None:
        facts = G.weight_facts(weight)
        if facts.min_finite is not None and facts.min_finite < 0:
            raise nx.NetworkXException("Graph has negative edge weights.")
    # dict(G.in_degree(weight=weight)) of nx.DiGraph(G): each node's
    # neighbours in node order, which is the CSR row order.
    if weight is None:
        in_deg = np.diff(csr_from(G.core.adjacency_csr(None), n).indptr).astype(float)
    else:
        A = csr_from(G.core.adjacency_csr(weight), n)
        if G.weight_facts(weight).all_int:
            in_deg = A.sum(axis=1)  # exact: int sums below 2**53
        else:
            data, indptr = A.data.tolist(), A.indptr.tolist()
            in_deg = np.array([sum(data[indptr[i]:indptr[i + 1]]) for i in range(n)], dtype=float)
    d_max = in_deg.max()
    # G.add_edge(i, i, weight=d_max - deg) where deg < d_max, then
    # nx.to_numpy_array(G) over "weight".
    P = csr_from(G.core.adjacency_csr("weight"), n).toarray()
    short = np.flatnonzero(in_deg < d_max)
    P[short, short] = d_max - in_deg[short]
    # NetworkX's lines.
    P /= P.sum(axis=1)[:, np.newaxis]  # to transition probability matrix

    def _Qj(P, j):
        P = P.copy()
        P[:, j] = 0
        return P

    M = np.empty([n, n])
    for i in range(n):
        M[:, i] = np.linalg.solve(np.identity(n) - _Qj(P, i), np.ones([n, 1])[:, 0])  # eq 3
    return dict(zip(G.node_tuple, (float(np.sqrt(2 * np.sum(M[:, i]) - n * (n + 1))) for i in range(n))))
