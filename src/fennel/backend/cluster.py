"""Triangles, clustering and transitivity (NetworkX's cluster).

Triangle counts come from C++ in parallel; NetworkX's own formulas turn them
into its numbers, operation by operation.
"""

from collections import Counter

import networkx as nx

from .checks import NX_VERSION, data_rule, product_weights
from .clique import node_hashes
from .serve import EXACT, WORK_TRIANGLES, served, with_one_node

_TRIANGLES = "Triangle counts in parallel in C++, formed into NetworkX's numbers by its own formulas. " + EXACT


def _counts(fg, nodes):
    """(node objects, (t, d, db) per node) for the nodes NetworkX walks.

    Given nodes are walked by NetworkX's own nbunch_iter (its errors, and
    the caller's objects as keys).
    """
    if nodes is None:
        objects, positions = fg.nodes, None
    else:
        objects = list(fg.source.nbunch_iter(nodes))
        positions = list(map(fg.index.__getitem__, objects))
    return objects, fg.core.triangle_counts(positions)


@served(docs=_TRIANGLES, min_work=WORK_TRIANGLES)
def triangles(G, nodes=None):
    if nodes is not None and G.multigraph:
        # NetworkX's per-node count rejects multigraphs.
        raise nx.NetworkXNotImplemented("not implemented for multigraph type")
    if nodes is not None and nodes in G:
        return G.core.triangle_counts([G.index[nodes]])[0][0] // 2
    if nodes is None and not G.directed:
        return G.core.triangles(G.node_tuple)
    objects, counts = _counts(G, nodes)
    return {v: t // 2 for v, (t, _, _) in zip(objects, counts)}


def _clustering_values(fg, objects, counts):
    if fg.directed:
        return {v: 0 if t == 0 else t / ((dt * (dt - 1) - 2 * db) * 2) for v, (t, dt, db) in zip(objects, counts)}
    return {v: 0 if t == 0 else t / (d * (d - 1)) for v, (t, d, _) in zip(objects, counts)}


@data_rule("clustering_weights")
def _clustering_weights(fg, a):
    """Weights NetworkX divides by their maximum and multiplies as doubles."""
    weight = a["weight"]
    if weight is None or fg.core.number_of_edges() == 0:
        return None  # (no edge: NetworkX's largest weight is 1)
    if reason := product_weights(fg, weight, symmetric=False):
        return reason
    facts = fg.weight_facts(weight)
    if not facts.pos_inf and (facts.max_finite is None or facts.max_finite == 0):
        return f"the largest {weight!r} weight is 0 or not a number, and NetworkX divides by it"
    return None


def _weighted_values(fg, nodes, weight):
    """NetworkX's weighted clustering values."""
    import numpy as np  # as NetworkX imports it, for its weighted clustering only

    objects = fg.nodes if nodes is None else list(fg.source.nbunch_iter(nodes))
    positions = None if nodes is None else list(map(fg.index.__getitem__, objects))
    core = fg.load_exact_pred()
    products, sizes, degree, reciprocal = core.weighted_triangle_terms(weight, node_hashes(fg), positions)
    roots = np.cbrt(np.frombuffer(products, dtype=np.float64)).tobytes()
    totals = core.weighted_triangle_totals(roots, sizes, degree)
    if fg.directed:
        return {
            v: 0 if t == 0 else t / ((dt * (dt - 1) - 2 * db) * 2)
            for v, dt, db, t in zip(objects, degree, reciprocal, totals)
        }
    return {v: 0 if t == 0 else t / (d * (d - 1)) for v, d, t in zip(objects, degree, totals)}


def _values(fg, nodes, weight):
    if weight is None:
        return _clustering_values(fg, *_counts(fg, nodes))
    return _weighted_values(fg, nodes, weight)


_WEIGHTED = (
    " Weighted clustering: the products in C++ in NetworkX's set orders (replayed from the nodes' hashes), "
    "their cube roots by numpy's np.cbrt, summed as numpy sums them."
)


@served(docs=_TRIANGLES + _WEIGHTED, weight="weight",
        rules=("no_multigraph", "weight_name"), data_rules=("clustering_weights", "mirrored_weights"),
        min_work=WORK_TRIANGLES)
def clustering(G, nodes=None, weight=None):
    values = _values(G, nodes, weight)
    if nodes in G:
        return values[nodes]
    return values


@served(docs=_TRIANGLES + _WEIGHTED, weight="weight",
        rules=("no_multigraph", "weight_name"), data_rules=("clustering_weights", "mirrored_weights"),
        min_work=WORK_TRIANGLES, answers=(ZeroDivisionError,))
def average_clustering(G, nodes=None, weight=None, count_zeros=True):
    c = _values(G, nodes, weight)
    # NetworkX asks clustering(), which answers a single node with its value.
    c = (c[nodes] if nodes in G else c).values()
    if not count_zeros:
        c = [v for v in c if abs(v) > 0]
    return sum(c) / len(c)


@served(docs=_TRIANGLES, rules=("no_multigraph",), min_work=WORK_TRIANGLES)
def transitivity(G):
    total, contri = G.core.triangle_counts(None, True, totals=True)
    if len(G) == 0:
        return 0
    return 0 if total == 0 else total / contri


_SQUARES = "Square counts in parallel in C++, divided by NetworkX's own formula. " + EXACT


# Before 3.5 NetworkX summed squares over neighbour pairs by another formula.
_SQUARES_RELEASE = None if NX_VERSION >= (3, 5) else "this NetworkX version counts squares by pairs of neighbours"


@served(docs=_SQUARES, min_work=WORK_TRIANGLES, bounded=with_one_node, release=_SQUARES_RELEASE)
def square_clustering(G, nodes=None):
    if nodes is None:
        objects, positions = G.nodes, None
    else:
        objects = list(G.source.nbunch_iter(nodes))
        positions = list(map(G.index.__getitem__, objects))
    clustering = {}
    for v, terms in zip(objects, G.core.square_counts(positions)):
        if terms is None:
            clustering[v] = 0
            continue
        squares, potential = terms
        clustering[v] = squares / potential if potential > 0 else 0
    if nodes in G:
        return clustering[nodes]
    return clustering


_GENERALIZED = (
    "Neighbour counts in parallel in C++, each Counter's keys in the order of NetworkX's neighbour set, "
    "replayed from the nodes' hashes. " + EXACT
)


@served(docs=_GENERALIZED, rules=("undirected_only", "no_multigraph"), min_work=WORK_TRIANGLES,
        bounded=with_one_node)
def generalized_degree(G, nodes=None):
    single = nodes in G
    if single:
        objects, positions = [nodes], [G.index[nodes]]
    elif nodes is None:
        objects, positions = G.nodes, None
    else:
        objects = list(G.source.nbunch_iter(nodes))
        positions = list(map(G.index.__getitem__, objects))
    counters = G.core.generalized_degrees(node_hashes(G), Counter, positions)
    if single:
        return counters[0]
    return dict(zip(objects, counters))
