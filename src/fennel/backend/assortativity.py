"""Assortativity (NetworkX's assortativity package).

The core walks the rows: the average degree of neighbours and the degree
connectivity per node on the worker pool, and the (degree or attribute)
pairs of node_degree_xy / node_attribute_xy, counted into mixing_dict's rows
in the order its dicts take their keys. node_degree_xy walks a set of the
nodes: set(G)'s order is replayed by the core from the nodes' hashes
(CPython's set table filled node by node), a set of given nodes is Python's
own, built here by the same call.
Everything NetworkX then computes with numpy (the mixing matrix, its sums,
the coefficients, scipy's pearsonr) is NetworkX's own code on identical
dicts and arrays, but for degree_assortativity_coefficient over every node:
there the core forms the matrix and _numeric_ac's arithmetic term for term
as numpy does (pairwise sums, row sums added in turn, pow() for the
squares), and hands the calls numpy would warn on to numpy.

Degrees are unweighted: weighted degrees are left to NetworkX. The core's
rows hold each neighbour once; a multigraph's keys per row slot are handed
over beside them, for its degrees and its walks over G.edges.
"""

import itertools
from array import array

import networkx as nx
from networkx.algorithms.assortativity.correlation import _numeric_ac, attribute_ac
from networkx.utils import dict_to_numpy_array

from .. import _core
from .checks import NX_VERSION, absent, argument_rule, data_rule
from .clique import node_hashes
from .serve import EXACT, WORK_MIXING, WORK_NEIGHBOUR_DEGREES, served

_NX37 = NX_VERSION >= (3, 7)
# Degree sides as the core codes them.
_OUT, _IN, _BOTH = 0, 1, 2
_SIDES = {"out": _OUT, "in": _IN, "in+out": _BOTH}
# node_degree_xy's lookup of x and y on a directed graph.
_XY = {"out": _OUT, "in": _IN}

_DOCS = "Rows walked in C++ in NetworkX's order"
_PAIRS_DOCS = (
    "node_degree_xy's pairs counted in C++ into mixing_dict's rows, over set(G)'s order replayed from the nodes' "
    "hashes (or Python's own set of the given nodes). " + EXACT
)
_ATTRIBUTE_DOCS = (
    "node_attribute_xy's pairs of attribute codes counted in C++ into mixing_dict's rows, keyed by the "
    "attribute values themselves. " + EXACT
)
_NUMPY_DOCS = " The matrix and the coefficient are NetworkX's own numpy code on an identical dict."
_LEFT = " Weighted degrees are left to NetworkX."

argument_rule("unweighted_degrees", absent("weight", "weighted degrees"))


@argument_rule("attribute_name")
def _attribute_name(a):
    try:
        hash(a["attribute"])
    except TypeError:
        return "an unhashable attribute name is left to NetworkX"
    return None


def _keys(fg):
    """A multigraph's keys per row slot, or None when every pair has one key."""
    return _core.parallel_counts(fg.source._adj) if fg.has_parallel_edges() else None


def _is_node(fg, nodes):
    # DegreeView's `nbunch in G` check: unhashable bunches are not nodes.
    try:
        return nodes in fg.index
    except TypeError:
        return False


def _bunch(fg, nodes):
    """(node objects, positions) of DegreeView(nbunch): NetworkX's own nbunch_iter, in its order (positions None:
    every node)."""
    if nodes is None:
        return fg.nodes, None
    objects = list(fg.source.nbunch_iter(nodes))
    return objects, list(map(fg.index.__getitem__, objects))


@served(docs=_DOCS + ", the per-node sums on the worker pool. " + EXACT + _LEFT,
        rules=("unweighted_degrees",), min_work=WORK_NEIGHBOUR_DEGREES)
def average_neighbor_degree(G, source="out", target="out", nodes=None, weight=None):
    if G.directed:
        if source not in ("in", "out", "in+out"):
            raise nx.NetworkXError(f"source argument {source} must be 'in', 'out' or 'in+out'")
        if target not in ("in", "out", "in+out"):
            raise nx.NetworkXError(f"target argument {target} must be 'in', 'out' or 'in+out'")
        s, t = _SIDES[source], _SIDES[target]
    else:
        if source != "out" or target != "out":
            raise nx.NetworkXError("source and target arguments are only supported for directed graphs")
        s = t = _BOTH
    if nodes is not None and _is_node(G, nodes):
        # NetworkX's loop unpacks the single node's degree, an int: TypeError.
        iter(G.core.side_degrees(s, _keys(G))[G.index[nodes]])
    objects, positions = _bunch(G, nodes)
    if positions is None:
        return G.core.neighbor_degree_averages(s, t, None, _keys(G), objects=G.node_tuple)
    return dict(zip(objects, G.core.neighbor_degree_averages(s, t, positions, _keys(G))))


@served(docs=_DOCS + ", the per-node sums on the worker pool. " + EXACT + _LEFT,
        rules=("unweighted_degrees",), min_work=WORK_NEIGHBOUR_DEGREES)
def average_degree_connectivity(G, source="in+out", target="in+out", nodes=None, weight=None):
    if G.directed:
        if source not in ("in", "out", "in+out"):
            raise nx.NetworkXError('source must be one of "in", "out", or "in+out"')
        if target not in ("in", "out", "in+out"):
            raise nx.NetworkXError('target must be one of "in", "out", or "in+out"')
        s, t = _SIDES[source], _SIDES[target]
    else:
        if source != "in+out" or target != "in+out":
            raise nx.NetworkXError("source and target arguments are only supported for directed graphs")
        s = t = _BOTH
    if nodes is not None and _is_node(G, nodes):
        positions = [G.index[nodes]]
    else:
        positions = _bunch(G, nodes)[1]
    ks, dsum, dnorm = G.core.connectivity_tally(s, t, positions, _keys(G))
    return {k: avg if norm == 0 else avg / norm for k, avg, norm in zip(ks, dsum, dnorm)}


def _node_set(fg, nodes):
    """node_degree_xy's ``set(G)`` or ``set(nodes)``: (its walk as positions, membership flags, hashes); set(G)'s
    walk is the core's replay of its table from the nodes' hashes."""
    if nodes is None:
        return None, None, node_hashes(fg)
    S = set(nodes)
    index = fg.index
    order = [index[v] for v in S if v in index]
    member = [False] * len(fg.nodes)
    for p in order:
        member[p] = True
    return order, member, None


def _degree_sides(fg, x, y):
    if fg.directed:
        return _XY[x], _XY[y]
    return _BOTH, _BOTH


def _mixing(rows, normalized, key=None):
    """mixing_dict's dict from the core's rows (with ``key`` mapping codes to values)."""
    if key is not None:
        rows = [(key[k], [key[j] for j in inner], counts) for k, inner, counts in rows]
    if normalized:
        # psum counts the pairs one float addition at a time: exact.
        psum = float(sum(sum(counts) for _, _, counts in rows))
        return {k: {j: c / psum for j, c in zip(inner, counts)} for k, inner, counts in rows}
    return {k: dict(zip(inner, counts)) for k, inner, counts in rows}


def _degree_rows(fg, x, y, nodes):
    """mixing_dict's rows of degree pairs: (x degree, y degrees, counts), in its order."""
    order, member, hashes = _node_set(fg, nodes)
    xs, ys = _degree_sides(fg, x, y)
    return fg.core.degree_xy(xs, ys, order, member, hashes, _keys(fg), counted=True)


def _degree_mixing(fg, x, y, nodes, normalized):
    return _mixing(_degree_rows(fg, x, y, nodes), normalized)


@served(docs=_PAIRS_DOCS + _LEFT, rules=("unweighted_degrees",), min_work=WORK_MIXING)
def degree_mixing_dict(G, x="out", y="in", weight=None, nodes=None, normalized=False):
    return _degree_mixing(G, x, y, nodes, normalized)


def _degree_array(rows, mapping=None):
    """dict_to_numpy_array(mixing dict, mapping) from the dict's rows, ``mapping`` None or onto 0..len-1.
    NetworkX tries every pair of keys; the pairs the rows hold are placed at once. Degrees and counts are
    non-negative ints, so the indices and float values are NetworkX's."""
    import numpy as np

    if mapping is None:
        # NetworkX's own mapping, from the set of every key in the dict's order.
        keys = {k for k, _, _ in rows}
        for _, inner, _ in rows:
            keys.update(inner)
        mapping = dict(zip(keys, range(len(keys))))
    a = np.zeros((len(mapping), len(mapping)))
    if not rows:
        return a
    xs = np.fromiter(itertools.chain.from_iterable(itertools.repeat(k, len(inner)) for k, inner, _ in rows), np.int64)
    ys = np.fromiter(itertools.chain.from_iterable(inner for _, inner, _ in rows), np.int64)
    counts = np.fromiter(itertools.chain.from_iterable(c for _, _, c in rows), np.int64)
    # Degree -> index, -1 for degrees the mapping leaves out (NetworkX skips their pairs).
    index = np.full(max(int(xs.max()), int(ys.max()), max(mapping, default=0)) + 1, -1, dtype=np.intp)
    index[np.fromiter(mapping, np.int64, len(mapping))] = np.fromiter(mapping.values(), np.intp, len(mapping))
    i, j = index[xs], index[ys]
    kept = (i >= 0) & (j >= 0)
    a[i[kept], j[kept]] = counts[kept]
    return a


@served(docs=_PAIRS_DOCS + _NUMPY_DOCS + _LEFT, rules=("unweighted_degrees",), min_work=WORK_MIXING)
def degree_mixing_matrix(G, x="out", y="in", weight=None, nodes=None, normalized=True, mapping=None):
    # A caller's mapping may map anywhere: NetworkX's own conversion places it.
    if mapping is None:
        a = _degree_array(_degree_rows(G, x, y, nodes))
    else:
        a = dict_to_numpy_array(_degree_mixing(G, x, y, nodes, False), mapping=mapping)
    if normalized:
        a = a / a.sum()
    return a


def _degrees_of(fg, side, nodes):
    """The values of G.<side>_degree(nodes), as NetworkX iterates them."""
    degrees = fg.core.side_degrees(side, _keys(fg))
    if nodes is not None and _is_node(fg, nodes):
        return degrees[fg.index[nodes]]  # an int: iterating it raises NetworkX's TypeError
    positions = _bunch(fg, nodes)[1]
    return degrees if positions is None else [degrees[p] for p in positions]


def _degree_set(fg, side, nodes):
    """{d for _, d in <side>_degree(nodes)}: over every node, built from each degree's first occurrence (a
    degree met again leaves a set's table as it was)."""
    if nodes is None:
        return set(fg.core.side_degrees(side, _keys(fg), distinct=True))
    return {d for d in _degrees_of(fg, side, nodes)}


@served(docs=_PAIRS_DOCS + " Over every node, the matrix and _numeric_ac's arithmetic are formed in C++ term for "
        "term as numpy forms them (its pairwise sums); where numpy would warn, they are NetworkX's own numpy code."
        + _LEFT, rules=("unweighted_degrees",), min_work=WORK_MIXING)
def degree_assortativity_coefficient(G, x="out", y="in", weight=None, nodes=None):
    # NetworkX walks G.nodes when nodes is None: every node, in order. Each
    # degree view walks `nodes` anew (a generator only once).
    if G.directed:
        indeg = _degree_set(G, _IN, nodes) if "in" in (x, y) else set()
        outdeg = _degree_set(G, _OUT, nodes) if "out" in (x, y) else set()
        degrees = set.union(indeg, outdeg)
    else:
        degrees = _degree_set(G, _BOTH, nodes)
    mapping = {d: i for i, d in enumerate(degrees)}
    if nodes is None:
        # Every node's pairs: their counts, placed by the core (the order
        # the pairs come in does not change a count).
        import numpy as np

        xs, ys = _degree_sides(G, x, y)
        keys, known = _keys(G), array("q", mapping).tobytes()
        r = G.core.degree_coefficient(xs, ys, known, keys)
        if r is not None:
            return r
        counts = G.core.degree_matrix(xs, ys, known, keys)
        M = np.frombuffer(counts, dtype=np.float64).reshape(len(mapping), len(mapping))
    else:
        M = _degree_array(_degree_rows(G, x, y, nodes), mapping)
    M = M / M.sum()
    return _numeric_ac(M, mapping=mapping)


@served(docs="node_degree_xy's pairs walked in C++ over set(G)'s order replayed from the nodes' hashes (or "
        "Python's own set of the given nodes), handed to scipy's pearsonr as the same integer arrays. " + EXACT + _LEFT,
        rules=("unweighted_degrees",), min_work=WORK_MIXING)
def degree_pearson_correlation_coefficient(G, x="out", y="in", weight=None, nodes=None):
    import numpy as np
    import scipy as sp

    order, member, hashes = _node_set(G, nodes)
    xs, ys = _degree_sides(G, x, y)
    bx, by = G.core.degree_xy(xs, ys, order, member, hashes, _keys(G))
    if _NX37 and len(bx) < 2 * 8:  # fewer than two int64 pairs
        return float("nan")
    if not bx:
        x, y = zip(*())  # NetworkX's unpacking of no pairs raises here
    return float(sp.stats.pearsonr(np.frombuffer(bx, dtype=np.int64), np.frombuffer(by, dtype=np.int64))[0])


def _node_data(fg):
    """G._node as a dict in node order: a view's node dict is a mapping (listed in list(G)'s order)."""
    node = fg.source._node
    return node if isinstance(node, dict) else dict(node.items())


@data_rule("attribute_values")
def _attribute_values(fg, a):
    # The codes stand for the first value of each dict key in node order;
    # NetworkX's dicts keep the first its walk of the pairs meets.
    return _core._attribute_codes(_node_data(fg), a["attribute"])[2]


def _attribute_mixing(fg, attribute, nodes, normalized):
    if nodes is None or nodes is fg.source.nodes:  # set(G.nodes): every node
        member = [True] * len(fg.nodes)
    else:
        S = set(nodes)
        member = [v in S for v in fg.nodes]
    codes, values, _ = _core._attribute_codes(_node_data(fg), attribute)
    return _mixing(fg.core.attribute_xy(codes, member, _keys(fg)), normalized, values)


@served(docs=_ATTRIBUTE_DOCS,
        rules=("attribute_name",), data_rules=("attribute_values",), keeps_attributes=True,
        min_work=WORK_MIXING)
def attribute_mixing_dict(G, attribute, nodes=None, normalized=False):
    return _attribute_mixing(G, attribute, nodes, normalized)


def _attribute_matrix(fg, attribute, nodes, mapping, normalized):
    a = dict_to_numpy_array(_attribute_mixing(fg, attribute, nodes, False), mapping=mapping)
    if normalized:
        a = a / a.sum()
    return a


@served(docs=_ATTRIBUTE_DOCS + _NUMPY_DOCS,
        rules=("attribute_name",), data_rules=("attribute_values",), keeps_attributes=True,
        min_work=WORK_MIXING)
def attribute_mixing_matrix(G, attribute, nodes=None, mapping=None, normalized=True):
    return _attribute_matrix(G, attribute, nodes, mapping, normalized)


@served(docs=_ATTRIBUTE_DOCS + _NUMPY_DOCS,
        rules=("attribute_name",), data_rules=("attribute_values",), keeps_attributes=True,
        min_work=WORK_MIXING)
def attribute_assortativity_coefficient(G, attribute, nodes=None):
    return attribute_ac(_attribute_matrix(G, attribute, nodes, None, True))


@served(docs=_ATTRIBUTE_DOCS + _NUMPY_DOCS,
        rules=("attribute_name",), data_rules=("attribute_values",), keeps_attributes=True,
        min_work=WORK_MIXING)
def numeric_assortativity_coefficient(G, attribute, nodes=None):
    Gnodes = G.source.nodes
    if nodes is None:
        nodes = Gnodes
        vals = {dd[attribute] for dd in G.source._node.values()}  # Gnodes[n] for every node n, in order
    else:
        vals = {Gnodes[n][attribute] for n in nodes}
    mapping = {d: i for i, d in enumerate(vals)}
    M = _attribute_matrix(G, attribute, nodes, mapping, True)
    return _numeric_ac(M, mapping)
