"""Trophic levels, differences and incoherence (NetworkX's centrality.trophic).

NetworkX inverts I - P, P its in-weight-normalised transposed adjacency
matrix, with numpy. fennel builds the identical dense matrix from the
core's CSR arrays (same node order, same values, Fortran order as scipy's
``.T.toarray()`` leaves it), runs NetworkX's own numpy lines on it, and
replaces the Python loops around them (in-degrees, the reachability test,
the per-edge differences) by array operations giving the same floats.
"""

import networkx as nx

from .checks import NX_VERSION, argument_rule, data_rule, none_key, product_weights
from .link_analysis import _scipy_missing, csr_from
from .serve import EXACT, served

# NetworkX 3.5 on tests for basal nodes first; 3.4 lets the inverse decide.
_BASAL_TESTS = NX_VERSION >= (3, 5)
# Dense n x n matrices: NetworkX's own size limits, and a cap fennel keeps.
_MAX_NODES = 6000
# Measured crossover (NetworkX dispatch included): a 100-node food web of 500 edges.
WORK_TROPHIC = (600, 600)
_DOCS = ("NetworkX's matrix built from the core's arrays, NetworkX's numpy inverse on it, the in-degrees, the "
         "reachability test and the per-edge differences as array operations. " + EXACT + " Falls back to NetworkX "
         "for parallel edges, weights that are not plain numbers, ints beyond 2**53 and graphs of more than 6,000 "
         "nodes. The inverse is LAPACK's, as in NetworkX: the gain is in the Python around it.")


argument_rule("trophic_args", lambda a: "NetworkX needs numpy and scipy here" if _scipy_missing() else None)
# NetworkX's differences loop unpacks each edge of G.edges into (u, v): a
# multigraph's edges come with their keys, and the loop raises ValueError.
argument_rule("edge_pairs", lambda a: "NetworkX unpacks a multigraph's (u, v, key) edges into two names"
              if a["G"].is_multigraph() else None)


@data_rule("trophic_weights")
def _trophic_weights(fg, a):
    n = len(fg.nodes)
    if n > _MAX_NODES:
        return f"graphs of more than {_MAX_NODES} nodes are left to NetworkX"
    weight = a["weight"]
    if weight is None:
        return none_key(fg, weight)
    if reason := product_weights(fg, weight, symmetric=False):
        return reason
    facts = fg.weight_facts(weight)
    lo, hi = facts.min_finite, facts.max_finite
    if (facts.all_int or facts.mixed) and lo is not None and max(-lo, hi) * n >= 2.0**53:
        # int64 row sums and float64 row sums agree while they stay exact.
        return f"int {weight!r} weights whose row sums could pass 2**53"
    return None


def _edges(G):
    import numpy as np

    us, vs, _ = G.core.edges_in_order()
    return np.asarray(us, dtype=np.int64), np.asarray(vs, dtype=np.int64)


def _levels(G, weight, us, vs, without_loops):
    """(basal mask, levels as float64 by position) as NetworkX's trophic_levels computes them."""
    import numpy as np
    import scipy as sp

    n = len(G.nodes)
    in_degree = np.bincount(vs, minlength=n)
    basal = in_degree == 0
    if n == 0 and not _BASAL_TESTS:
        raise nx.NetworkXError("Graph has no nodes or edges")  # from NetworkX's adjacency_matrix
    if _BASAL_TESTS:
        if not basal.any():
            raise nx.NetworkXError(
                "This graph has no basal nodes (nodes with no incoming edges)."
                "Trophic levels are not defined without at least one basal node."
            )
        # One search from an extra node n joined to every basal node.
        sources = np.flatnonzero(basal)
        rows = np.concatenate((us, np.full(len(sources), n, dtype=np.int64)))
        cols = np.concatenate((vs, sources))
        reach = sp.sparse.csr_array((np.ones(len(rows), dtype=np.int8), (rows, cols)), shape=(n + 1, n + 1))
        if len(sp.sparse.csgraph.breadth_first_order(reach, n, directed=True, return_predecessors=False)) != n + 1:
            raise nx.NetworkXError(
                "Trophic levels are only defined for graphs where every node has a path "
                "from a basal node (basal nodes are nodes with no incoming edges)."
            )
    # nx.adjacency_matrix(G, weight=weight).T.toarray(): float64 holds the
    # same values as NetworkX's int64 when the weights are ints (bounded
    # above), and the row sums and quotients below agree.
    a = csr_from(G.core.adjacency_csr(weight), n).T.toarray()
    if without_loops:
        np.fill_diagonal(a, 0)
    # NetworkX's lines.
    rowsum = np.sum(a, axis=1)
    p = a[rowsum != 0][:, rowsum != 0]
    p = p / rowsum[rowsum != 0][:, np.newaxis]
    nn = p.shape[0]
    i = np.eye(nn)
    try:
        inverse = np.linalg.inv(i - p)
    except np.linalg.LinAlgError as err:
        msg = (
            "Trophic levels are only defined for graphs where every "
            + "node has a path from a basal node (basal nodes are nodes "
            + "with no incoming edges)."
        )
        raise nx.NetworkXError(msg) from err
    y = inverse.sum(axis=1) + 1
    fed = ~basal
    count = int(fed.sum())
    if count > len(y):
        # (in-weights summing to zero: NetworkX's y.item(i) runs past the end)
        y.item(len(y))
    levels = np.ones(n)
    levels[fed] = y[:count]
    return basal, levels


@served(docs=_DOCS, weight="weight", rules=("weight_name", "trophic_args"),
        data_rules=("parallel_edges", "trophic_weights"), min_work=WORK_TROPHIC, answers=(IndexError,))
def trophic_levels(G, weight="weight"):
    us, vs = _edges(G)
    basal, levels = _levels(G, weight, us, vs, False)
    nodes = G.node_tuple
    # Basal nodes first (the int 1), then the others, each in node order.
    result = {nodes[k]: 1 for k in basal.nonzero()[0].tolist()}
    result.update(zip((nodes[k] for k in (~basal).nonzero()[0].tolist()), levels[~basal].tolist()))
    return result


def _differences(G, weight, without_loops):
    us, vs = _edges(G)
    if without_loops:
        keep = us != vs
        us, vs = us[keep], vs[keep]
    _, levels = _levels(G, weight, us, vs, without_loops)
    return us, vs, levels[vs] - levels[us]


@served(docs=_DOCS, weight="weight", rules=("weight_name", "trophic_args", "edge_pairs"),
        data_rules=("parallel_edges", "trophic_weights"), min_work=WORK_TROPHIC, answers=(IndexError,))
def trophic_differences(G, weight="weight"):
    us, vs, diffs = _differences(G, weight, False)
    nodes = G.node_tuple
    # (an edge's head is never basal: every difference is a float)
    node = nodes.__getitem__
    return dict(zip(zip(map(node, us.tolist()), map(node, vs.tolist())), diffs.tolist()))


@served(docs=_DOCS, weight="weight", rules=("weight_name", "trophic_args", "edge_pairs"),
        data_rules=("parallel_edges", "trophic_weights"), min_work=WORK_TROPHIC, answers=(IndexError,))
def trophic_incoherence_parameter(G, weight="weight", cannibalism=False):
    import numpy as np

    _, _, diffs = _differences(G, weight, not cannibalism)
    return float(np.std(diffs.tolist()))
