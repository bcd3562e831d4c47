"""Laplacian centrality (NetworkX's centrality.laplacian), undirected.

The Laplacian is NetworkX's: the adjacency in nodelist order built in C++,
then the same scipy operations and numpy's full energy. Each node's new
energy, which NetworkX sums by fancy-indexing a copy of the matrix per node,
comes from C++: over floats numpy's pairwise sum over the same reduced
matrix (in parallel over the nodes); over ints (integer weights, or none),
whose int64 arithmetic wraps so that any order gives numpy's sum, in O(n)
per node.
"""

import networkx as nx

from .. import _core
from .checks import NX_VERSION, argument_rule, data_rule, none_key, numbers
from .link_analysis import _scipy_missing, csr_from
from .serve import EXACT, served

# Floats: n^3 steps and an (n - 1)^2 scratch matrix per thread.
_MAX_NODES = 4000
WORK_LAPLACIAN = (60, 60)
# NetworkX before 3.5 sums the squares of eigenvalues from scipy's eigh instead.
_RELEASE = "NetworkX before 3.5 takes the energies from eigenvalues" if NX_VERSION < (3, 5) else None


@argument_rule("laplacian_args")
def _laplacian_args(a):
    if _scipy_missing():
        return "NetworkX needs numpy and scipy here"
    G = a["G"]
    if G.is_directed():
        return "directed graphs (NetworkX's directed Laplacian and its walk) are left to NetworkX"
    if G.is_multigraph():
        return "multigraphs (scipy adds parallel edges in an order it leaves open) are left to NetworkX"
    nodelist = a["nodelist"]
    if nodelist is not None:
        if type(nodelist) is not list:
            return "nodelists other than a list are left to NetworkX"
        try:
            valid = len(set(nodelist)) == len(nodelist) and all(v in G for v in nodelist)
        except TypeError:
            valid = False
        if not valid:
            return "nodelists with duplicates or nodes not in G (NetworkX raises) are left to NetworkX"
    return None


@data_rule("laplacian_weights")
def _laplacian_weights(fg, a):
    n = len(fg.nodes)
    if n > _MAX_NODES:
        return f"graphs of more than {_MAX_NODES} nodes are left to NetworkX"
    weight = a["weight"]
    if weight is None:
        return none_key(fg, weight)
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    if facts.numpy_bool or not fg.core.weight_symmetric(weight):
        return f"{weight!r} weights that are numpy.bool_ or differ between an edge's two rows"
    lo, hi = facts.min_finite, facts.max_finite
    if facts.pos_inf or facts.neg_inf or (lo is not None and not (0 < lo and hi <= 2.0**40)):
        # NetworkX's test of G.size(weight) == 0 and the sizes below stay plain.
        return f"{weight!r} weights outside (0, 2**40]"
    if facts.all_int and lo is not None and 2 * n**3 * hi**2 >= 2**62:
        return f"int {weight!r} weights whose energies could pass 2**62"
    return None


@served(docs="NetworkX's Laplacian and full energy; each node's energy in C++ (numpy's pairwise sum over the same "
        "reduced matrix for float weights, in parallel; O(n) per node for int weights or none, whose int64 sums "
        "any order gives). " + EXACT + " Falls back to NetworkX for directed graphs, multigraphs, weights outside "
        "(0, 2**40] and graphs of more than 4,000 nodes.",
        weight="weight", rules=("weight_name", "laplacian_args"), data_rules=("laplacian_weights",),
        min_work=WORK_LAPLACIAN, answers=(ZeroDivisionError,), release=_RELEASE)
def laplacian_centrality(G, normalized=True, nodelist=None, weight="weight", walk_type=None, alpha=0.95):
    import numpy as np
    import scipy as sp

    if len(G) == 0:
        raise nx.NetworkXPointlessConcept("null graph has no centrality defined")
    if G.core.number_of_edges() == 0:
        # (positive weights: G.size(weight) is 0 only without edges)
        if normalized:
            raise ZeroDivisionError("graph with no edges has zero full energy")
        return {n: 0 for n in G.nodes}
    if nodelist is not None:
        nodeset = set(nodelist)
        nodes = nodelist + [n for n in G.nodes if n not in nodeset]
    else:
        nodelist = nodes = list(G.nodes)
    n = len(nodes)
    index = G.index
    A = csr_from(G.core.flow_adjacency(weight, [index[v] for v in nodes]), n)
    # nx.to_scipy_sparse_array types the matrix by the weights: int64 when all are ints.
    ints = weight is None or G.weight_facts(weight).all_int
    if ints:
        A = A.astype(np.int64)
    # nx.laplacian_matrix(G, nodes, weight).toarray()
    D = sp.sparse.dia_array((A.sum(axis=1), 0), shape=(n, n)).tocsr()
    lap_matrix = np.ascontiguousarray((D - A).toarray())
    full_energy = np.sum(lap_matrix**2)
    energies = np.frombuffer(_core._laplacian_energies(lap_matrix, n, len(nodelist), ints), dtype=lap_matrix.dtype)
    centralities = full_energy - energies
    if normalized:
        centralities = centralities / full_energy
    return dict(zip(nodelist, map(float, centralities)))
