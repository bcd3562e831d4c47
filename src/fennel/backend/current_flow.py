"""Current-flow betweenness and closeness (NetworkX's current_flow_betweenness,
current_flow_closeness and flow_matrix).

NetworkX relabels G by reverse Cuthill-McKee, builds the Laplacian with scipy,
solves it row by row ("full": numpy's inverse; "lu": scipy's factorized;
"cg": scipy's cg with an incomplete-LU preconditioner) and loops in Python
over the edges and the rows. Here the labelling and the labelled adjacency
come from C++; the same scipy operations build the identical Laplacian and
the same numpy or scipy routine solves every row once (NetworkX solves each
again for every edge that needs it, with the same result); the loops over
edges and rows run in C++ (rows sorted in parallel), in NetworkX's order of
every sum.
"""

import networkx as nx

from .. import _core

from .checks import argument_rule, data_rule, none_key, numbers
from .clique import node_hashes
from .link_analysis import _scipy_missing, csr_from
from .serve import EXACT, served

_SOLVERS = ("full", "lu", "cg")
# The inverse Laplacian is kept whole (n * n floats): up to 800 MB.
_MAX_NODES = 10000
# NetworkX's work is O(m n) Python steps; below this many (n + 2m) fennel's
# fixed costs (scipy's set-up, the labelling) are not won back.
WORK_CURRENT_FLOW = (40, 40)


@argument_rule("flow_args")
def _flow_args(a):
    if _scipy_missing():
        return "NetworkX needs numpy and scipy here"
    import numpy as np

    if not (a["dtype"] is float or a["dtype"] is np.float64):
        return "dtypes other than float are left to NetworkX"
    if type(a["solver"]) is not str or a["solver"] not in _SOLVERS:
        return "solvers other than 'full', 'lu' and 'cg' are left to NetworkX"
    return None


# reverse_cuthill_mckee_ordering starts from the first node of
# G.subgraph(c), c a component's set. A subgraph view's subgraph filters the
# graph under it, and lists c in the set's order while c is under half of
# that graph: the start is then the set's first node, not G's.
argument_rule(
    "rcm_start",
    lambda a: "a subgraph view's component subgraph lists its nodes in the component set's order"
    if hasattr(a["G"], "_NODE_OK") and 2 * len(a["G"]) < len(a["G"]._graph._node) else None,
)


@data_rule("flow_graph")
def _flow_graph(fg, a):
    n = len(fg.nodes)
    if n < 3:
        return "graphs of fewer than three nodes are left to NetworkX"
    if n > _MAX_NODES:
        return f"fennel keeps the whole inverse Laplacian: graphs of more than {_MAX_NODES} nodes are left to NetworkX"
    weight = a["weight"]
    if weight is None:
        if reason := none_key(fg, weight):
            return reason
    else:
        reason, facts = numbers(fg, weight, hidden_allowed=False)
        if reason:
            return reason
        if facts.numpy_bool or not fg.core.weight_symmetric(weight):
            return f"{weight!r} weights that are numpy.bool_ or differ between an edge's two rows"
    problem = fg.core.flow_problem(weight)
    if problem == 2:
        return (f"{weight!r} weights other than powers of two in [2**-20, 2**20] (NetworkX's B @ C goes through "
                "BLAS, whose fused multiply-adds fennel cannot know)")
    return None


_helpers = None


def _argsort(rows, n):
    """numpy's argsort of each row of n float64 (given as bytes), as int64 bytes.

    numpy sorts without the interpreter lock: with several worker threads
    the rows are split between as many Python threads.
    """
    global _helpers
    import numpy as np

    block = np.frombuffer(rows, dtype=np.float64).reshape(-1, n)
    threads = min(_core.num_threads(), len(block))
    if threads < 2 or block.size < 50000:
        return block.argsort(axis=1).astype(np.int64, copy=False).tobytes()
    if _helpers is None:
        from concurrent.futures import ThreadPoolExecutor

        _helpers = ThreadPoolExecutor(thread_name_prefix="fennel-argsort")
    parts = np.array_split(block, threads)
    pending = [_helpers.submit(np.argsort, part, axis=1) for part in parts[1:]]
    orders = [np.argsort(parts[0], axis=1)] + [p.result() for p in pending]
    return np.concatenate(orders).astype(np.int64, copy=False).tobytes()


def _prepared(G, weight, solver):
    """NetworkX's labelling (ordering[k]: the position labelled k) and the rows
    of its inverse Laplacian by label, as an n x n float64 array."""
    import numpy as np
    import scipy as sp

    ordering = G.core.rcm_ordering(node_hashes(G))
    if ordering is None:
        raise nx.NetworkXError("Graph not connected.")
    n = len(ordering)
    A = csr_from(G.core.flow_adjacency(weight, ordering), n)
    # nx.laplacian_matrix(H, nodelist=range(n), weight=weight), then flow_matrix's conversions.
    D = sp.sparse.dia_array((A.sum(axis=1), 0), shape=(n, n)).tocsr()
    L = (D - A).asformat("csc").astype(float)
    L1 = L[1:, 1:]
    rows = np.zeros((n, n), dtype=float)
    if solver == "full":
        rows[1:, 1:] = np.linalg.inv(L1.todense())
        return ordering, rows
    if solver == "lu":
        lusolve = sp.sparse.linalg.factorized(L1.tocsc())

        def solve(rhs):
            return lusolve(rhs)
    else:
        ilu = sp.sparse.linalg.spilu(L1.tocsc())
        M = sp.sparse.linalg.LinearOperator(shape=(n - 1, n - 1), matvec=ilu.solve)

        def solve(rhs):
            return sp.sparse.linalg.cg(L1, rhs, M=M, atol=0)[0]
    for r in range(n):
        rhs = np.zeros(n, dtype=float)
        rhs[r] = 1
        rows[r, 1:] = solve(rhs[1:])
    return ordering, rows


def _labels(ordering):
    label = [0] * len(ordering)
    for k, p in enumerate(ordering):
        label[p] = k
    return label


_DOCS = ("NetworkX's labelling, Laplacian and solver calls (numpy's inverse, scipy's factorized or cg), each row "
         "solved once, and its loops over edges and rows in C++ with every sum in NetworkX's order (rows ranked in "
         "parallel; rows with equal non-zero entries by numpy's own argsort). " + EXACT + " Falls back to NetworkX "
         "for multigraphs, weights other than powers of two, dtypes other than float, graphs of fewer "
         "than three or more than 10,000 nodes.")


@served(docs=_DOCS, weight="weight", rules=("weight_name", "no_multigraph", "flow_args", "rcm_start"),
        data_rules=("flow_graph",), min_work=WORK_CURRENT_FLOW)
def current_flow_betweenness_centrality(G, normalized=True, weight=None, dtype=float, solver="full"):
    ordering, rows = _prepared(G, weight, solver)
    N = len(ordering)
    sums = G.core.flow_betweenness(weight, ordering, rows, _argsort)
    nb = (N - 1.0) * (N - 2.0) if normalized else 2.0
    return {v: (sums[n] - n) * 2.0 / nb for v, n in zip(G.nodes, _labels(ordering))}


@served(docs=_DOCS, weight="weight", rules=("weight_name", "no_multigraph", "flow_args", "rcm_start"),
        data_rules=("flow_graph",), min_work=WORK_CURRENT_FLOW)
def edge_current_flow_betweenness_centrality(G, normalized=True, weight=None, dtype=float, solver="full"):
    ordering, rows = _prepared(G, weight, solver)
    N = len(ordering)
    nb = (N - 1.0) * (N - 2.0) if normalized else 2.0
    nodes = G.nodes
    return {(nodes[s], nodes[t]): b for s, t, b in G.core.flow_betweenness(weight, ordering, rows, _argsort, nb)}


@served(docs=_DOCS, weight="weight", rules=("weight_name", "no_multigraph", "flow_args", "rcm_start"),
        data_rules=("flow_graph",), min_work=WORK_CURRENT_FLOW, answers=(ZeroDivisionError,))
def current_flow_closeness_centrality(G, weight=None, dtype=float, solver="lu"):
    ordering, rows = _prepared(G, weight, solver)
    sums = G.core.flow_closeness(ordering, rows)
    return {v: 1 / sums[n] for v, n in zip(G.nodes, _labels(ordering))}
