"""Structural holes (NetworkX's structuralholes): effective_size,
constraint and local_constraint.

For the nodes it is given NetworkX runs Python loops whose sums follow
``set(nx.all_neighbors(G, v))``, CPython's set table over G._pred's row
then G._adj's: the core replays those sets from the nodes' hashes and
forms every sum() in their order with Python's types (the int 0 of a zero
scale included). Without ``nodes`` NetworkX 3.5 on takes a sparse-matrix
path instead, whose sums scipy orders: the core builds NetworkX's adjacency
matrix (canonical CSR, NetworkX's dtype) and NetworkX's own scipy
expressions run on it here, except constraint's product and sums: the core
forms only the entries they read, in scipy's order, once a check has found
its result to be the installed scipy's bit for bit.
"""

import functools

import networkx as nx

from .. import _core
from .checks import COMPENSATED_SUM, NX_VERSION, argument_rule, data_rule
from .clique import node_hashes
from .serve import EXACT, WORK_TRIANGLES, served

# From NetworkX 3.5 on, nodes=None runs the sparse-matrix path, and a node
# with only a self-loop has no effective size.
_MATRIX_PATH = NX_VERSION >= (3, 5)
_CONTAINERS = (list, tuple, set, frozenset, dict, range)
try:
    import numpy as np
    import scipy as sp

    _HAS_SCIPY = True
except ImportError:
    _HAS_SCIPY = False


@argument_rule("holes_nodes")
def _holes_nodes(a):
    nodes = a["nodes"]
    if nodes is None:
        if _MATRIX_PATH and not _HAS_SCIPY:
            return "nodes=None without scipy is left to NetworkX"
        return None
    if type(nodes) not in _CONTAINERS:
        return "nodes must be a list, tuple, set, dict or range"
    return None


@data_rule("holes_members")
def _holes_members(fg, a):
    names = [a[k] for k in ("u", "v") if k in a] if "nodes" not in a else (a["nodes"] or ())
    try:
        if all(x in fg for x in names):
            return None
    except TypeError:
        pass
    return "nodes not in G are left to NetworkX"


@data_rule("holes_weights")
def _holes_weights(fg, a):
    weight = a["weight"]
    if weight is None:
        return None
    facts = fg.weight_facts(weight)
    if not facts.plain:
        return f"some {weight!r} weights are not plain numbers"
    if facts.has_hidden:
        return f"some {weight!r} weights are None (NetworkX fails adding them)"
    kind = facts.uniform_kind()
    if kind not in (0, 1):  # PY_INT, PY_FLOAT
        return f"{weight!r} weights of several kinds or numpy types are left to NetworkX"
    lo, hi = facts.min_finite, facts.max_finite
    if kind == 0 and lo is not None and max(-lo, hi) * 2 * max(len(fg), 1) >= 2**53:
        return f"integer sums over {weight!r} could exceed 2**53"
    return None


# Before 3.5 a node with only a self-loop goes through the loops and
# divides by zero: that release keeps effective_size.
_EFFECTIVE_SIZE_RELEASE = None if _MATRIX_PATH else "this NetworkX release divides by zero on self-loop-only nodes"


@argument_rule("holes_multigraph")
def _holes_multigraph(a):
    if a["G"].is_multigraph():
        return "on multigraphs NetworkX reads each pair's dict of keys as edge data"
    return None


@data_rule("holes_matrix_weights")
def _holes_matrix_weights(fg, a):
    """The sparse path's matrix: NetworkX's dtype must be int64 or float64, and its undirected
    self-loops (w + w - w, summed in an order scipy leaves open) exact."""
    weight = a["weight"]
    if not (_MATRIX_PATH and a.get("nodes", 0) is None) or weight is None:
        return None
    facts = fg.weight_facts(weight)
    largest = 0.0 if facts.min_finite is None else max(-facts.min_finite, facts.max_finite)
    if facts.pos_inf or facts.neg_inf or largest >= 2.0**1023:
        return f"some {weight!r} weights are infinite or too large to double"
    kinds = {type(d.get(weight)) for *_, d in fg.source.edges(data=True)} if facts.uniform_kind() == 0 else set()
    if kinds == {bool}:
        return f"{weight!r} weights that are all bools make a bool matrix"
    return None


_RULES = ("weight_name", "holes_multigraph")
_DATA_RULES = ("keys", "reads_none", "holes_members", "holes_weights", "holes_matrix_weights", "mirrored_weights")


def _adjacency(G, weight):
    """nx.adjacency_matrix(G, weight=weight), array for array."""
    n = len(G)
    if n == 0:
        raise nx.NetworkXError("Graph has no nodes or edges")
    indptr, indices, data = G.core.adjacency_rows(weight)
    data = np.frombuffer(data, dtype=np.float64)
    if weight is None or G.weight_facts(weight).uniform_kind() == 0:
        data = data.astype(np.int64)
    A = sp.sparse.csr_array((data, np.frombuffer(indices, np.int64), np.frombuffer(indptr, np.int64)), shape=(n, n))
    # scipy's own index dtype for this size, as its conversion from COO picks it.
    return sp.sparse.csr_array((data, np.frombuffer(indices, np.int64), np.frombuffer(indptr, np.int64)), shape=(n, n))


def _effective_size_matrix(G, weight):
    # NetworkX's expressions, verbatim, on its matrix.
    P = _adjacency(G, weight)
    mutual_weights1 = P + P.T
    mutual_weights2 = mutual_weights1.copy()
    with np.errstate(divide="ignore"):
        mutual_weights1 /= mutual_weights1.sum(axis=1)[:, np.newaxis]
        mutual_weights2 /= mutual_weights2.max(axis=1).toarray()
    r = 1 - (mutual_weights1 @ mutual_weights2.T).toarray()
    effective_size = ((mutual_weights1 > 0) * r).sum(axis=1)
    sum_mutual_weights = mutual_weights1.sum(axis=1) - mutual_weights1.diagonal()
    isolated_nodes = sum_mutual_weights == 0
    effective_size[isolated_nodes] = float("nan")
    return dict(zip(G.nodes, effective_size.tolist()))


def _scipy_constraints(mutual_weights):
    local_constraints = (mutual_weights + mutual_weights @ mutual_weights) ** 2
    return ((mutual_weights > 0) * local_constraints).sum(axis=1)


# Past this, a product of two values or a term could overflow, and an entry off
# the mutual weights' own pattern (which the core never forms) reach a sum.
_SAFE_MAGNITUDE = 1e50


def _core_constraints(mutual_weights):
    """_scipy_constraints(mutual_weights) by the core, which forms only the product's entries the sums read;
    None where it would not be scipy's answer."""
    rows = mutual_weights.tocsr()
    if rows.dtype != np.float64 or not rows.has_canonical_format:
        return None
    data = rows.data
    if data.size and not (np.isfinite(data).all() and np.abs(data).max() <= _SAFE_MAGNITUDE):
        return None
    found = _core._constraint_rows(rows.indptr.astype(np.int64).tobytes(), rows.indices.astype(np.int64).tobytes(),
                                   data.tobytes())
    return np.frombuffer(bytearray(found), dtype=np.float64)


@functools.cache
def core_forms_scipys_sums():
    """Whether the core's constraint sums are bit for bit those the installed scipy forms, tried once on
    matrices whose rows are long enough for every branch of numpy's pairwise sum and whose weights span
    twelve orders of magnitude, so that a sum in another order would show."""
    rng = np.random.default_rng(20261210)
    n, m = 300, 1500
    for ints in (False, True):
        rows = rng.integers(0, n, m)
        cols = rng.integers(0, n, m)
        rows[:200], cols[:200] = 7, rng.permutation(n)[:200]  # a hub past 128 entries
        cols[200:220] = rows[200:220]  # self-loops
        values = rng.integers(1, 1000, m) if ints else 10.0 ** rng.uniform(-6, 6, m)
        P = sp.sparse.coo_array((values, (rows, cols)), shape=(n + 3, n + 3)).tocsr()  # three isolated nodes
        mutual_weights = P + P.T
        with np.errstate(divide="ignore", invalid="ignore"):
            mutual_weights /= mutual_weights.sum(axis=1)[:, np.newaxis]
            theirs = _scipy_constraints(mutual_weights)
            ours = _core_constraints(mutual_weights)
        if ours is None or ours.shape != theirs.shape or ours.tobytes() != np.asarray(theirs, np.float64).tobytes():
            return False
    return True


def _constraint_matrix(G, weight):
    P = _adjacency(G, weight)
    mutual_weights = P + P.T
    sum_mutual_weights = mutual_weights.sum(axis=1)
    with np.errstate(divide="ignore"):
        mutual_weights /= sum_mutual_weights[:, np.newaxis]
    constraints = _core_constraints(mutual_weights) if core_forms_scipys_sums() else None
    if constraints is None:
        constraints = _scipy_constraints(mutual_weights)
    isolated_nodes = sum_mutual_weights - 2 * mutual_weights.diagonal() == 0
    constraints[isolated_nodes] = float("nan")
    return dict(zip(G.nodes, constraints.tolist()))


def _run(G, nodes, weight, measure):
    if nodes is None:
        nodes = G.nodes
    if G.directed:
        G.load_exact_pred()
    index = G.index
    positions = [index[v] for v in nodes]
    values = G.core.structural_holes(weight, node_hashes(G), positions, measure, compensated=COMPENSATED_SUM,
                                     loops_isolate=_MATRIX_PATH)
    return dict(zip(nodes, values))


@served(docs="NetworkX's loops in C++ on the worker pool, over CPython's set orders replayed from the nodes' "
        "hashes. " + EXACT, weight="weight", rules=(*_RULES, "holes_nodes"),
        data_rules=_DATA_RULES, min_work=WORK_TRIANGLES, release=_EFFECTIVE_SIZE_RELEASE)
def effective_size(G, nodes=None, weight=None):
    if nodes is None and _MATRIX_PATH:
        return _effective_size_matrix(G, weight)
    borgatti = not G.directed and weight is None
    return _run(G, nodes, weight, 2 if borgatti else 1)


@served(docs="NetworkX's loops in C++ on the worker pool, over CPython's set orders replayed from the nodes' "
        "hashes. " + EXACT, weight="weight", rules=(*_RULES, "holes_nodes"), data_rules=_DATA_RULES,
        min_work=WORK_TRIANGLES)
def constraint(G, nodes=None, weight=None):
    if nodes is None and _MATRIX_PATH:
        return _constraint_matrix(G, weight)
    return _run(G, nodes, weight, 0)


@served(docs="NetworkX's sums in C++ over CPython's set orders replayed from the nodes' hashes. " + EXACT,
        weight="weight", rules=_RULES, data_rules=_DATA_RULES, min_work=WORK_TRIANGLES)
def local_constraint(G, u, v, weight=None):
    if G.directed:
        G.load_exact_pred()
    index = G.index
    return G.core.local_constraint(weight, node_hashes(G), index[u], index[v], compensated=COMPENSATED_SUM)
