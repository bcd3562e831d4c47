"""Centrality: betweenness, closeness, harmonic, eigenvector and Katz (NetworkX's centrality).

Betweenness accumulates in parallel in C++ and is rescaled here as
NetworkX's ``_rescale`` does, operation by operation. Closeness and harmonic
centrality come from the bit-parallel breadth-first statistics or from
per-source Dijkstra searches, their totals added as NetworkX's ``sum()``
adds them. Eigenvector and Katz centrality iterate in C++; this side reads
the caller's vectors exactly as NetworkX reads them, raises NetworkX's
errors and maps positions back to the keys NetworkX returns.
"""

import functools
import inspect
import math
import random

import networkx as nx
from networkx.algorithms.centrality import betweenness as _nx_betweenness

from .. import _core, _remote

from . import executor, progress
from .checks import (
    COMPENSATED_SUM, argument_rule, data_rule, flag, int_max_iter, none_key, one_kind, product_weights, reals,
    start_vector, weights,
)
from .kinds import NP_FLOAT, NUMPY_BIT, NUMPY_KINDS, typed
from .serve import EXACT, STATS_DOCS, WORK_BETWEENNESS, WORK_LINK, WORK_STATS, served
from .shared import bfs_lengths, compensated, dijkstra_lengths, dijkstra_searches, distance_kind, iterations

_BETWEENNESS_LEFT = (
    " Falls back to NetworkX for callable weights and for weights that are None, non-numeric or numbers other "
    "than Python's and numpy's float64, int64 and bool_."
)
_ITERATION = " Falls back to NetworkX for None weights and for numbers other than Python ints and floats."

# Older NetworkX releases rescaled sampled betweenness differently (their
# _rescale had no `sampled_nodes`), and some that have the newer _rescale
# still scale edge betweenness with _rescale_e, which ignores the sample size
# k. fennel reproduces the newer arithmetic, so each function is left to
# NetworkX on the releases whose arithmetic differs.
_nx_rescale = getattr(_nx_betweenness, "_rescale", None)
_RESCALE_MATCHES = _nx_rescale is not None and "sampled_nodes" in inspect.signature(_nx_rescale).parameters
_EDGE_RESCALE_MATCHES = _RESCALE_MATCHES and not hasattr(_nx_betweenness, "_rescale_e")


def _harmonic_adds_by_set():
    """Whether the installed release adds a transposed harmonic sum in a set's order.

    NetworkX 3.4 walked ``nbunch.intersection(dist)``, whose order is the new
    set's; later releases walk the search's distances in order.
    """
    try:
        return "intersection(dist)" in inspect.getsource(nx.harmonic_centrality.orig_func)
    except (OSError, TypeError):
        return True


_HARMONIC_BY_SET = _harmonic_adds_by_set()


def _selections(fg, nbunch, sources):
    """harmonic_centrality's targets and sources as sets, by NetworkX's own selection (its errors included)."""
    H = fg.source
    targets = set(H.nbunch_iter(nbunch) if nbunch is not None else fg.nodes)
    starts = set(H.nbunch_iter(sources) if sources is not None else fg.nodes)
    return targets, starts


@argument_rule("harmonic_transposed")
def _harmonic_transposed(a):
    if not _HARMONIC_BY_SET:
        return None
    G, nbunch, sources = a["G"], a["nbunch"], a["sources"]
    try:
        targets = len(set(G.nbunch_iter(nbunch))) if nbunch is not None else len(G)
        starts = len(set(G.nbunch_iter(sources))) if sources is not None else len(G)
    except Exception:
        return None  # NetworkX's own error comes from the call
    if targets < starts:
        return "this NetworkX version adds the transposed sums in a set's order"
    return None


@data_rule("harmonic_weights")
def _harmonic_weights(fg, a):
    """Harmonic sums 1 / d, a float whatever the Python kinds: only numpy's kinds,
    mixed with others, type its values path by path, which a search against the
    edges (fewer targets than sources, on a digraph) cannot follow."""
    distance = a["distance"]
    numpy = distance is not None and bool(fg.weight_facts(distance).kinds & NUMPY_KINDS)
    if reason := weights(fg, distance, hidden_allowed=True, typed=numpy):
        return reason
    if not (numpy and fg.directed and distance_kind(fg, distance) is None):
        return None
    try:
        targets, starts = _selections(fg, a["nbunch"], a["sources"])
    except Exception:
        return None  # NetworkX's own error comes from the call
    return one_kind(fg, distance, "runs backward") if len(targets) < len(starts) else None


@data_rule("closeness_weights")
def _closeness_weights(fg, a):
    """Closeness is typed numpy.float64 where NetworkX's total is positive, which its value tells
    unless the total is infinite or so large that the value underflows."""
    distance = a["distance"]
    if reason := weights(fg, distance, hidden_allowed=True, typed=True):
        return reason
    if distance is None:
        return None
    facts = fg.weight_facts(distance)
    if fg.directed and (reason := one_kind(fg, distance, "searches the reversed graph")):
        return reason
    if not facts.kinds & NUMPY_KINDS:
        return None
    if facts.pos_inf or (facts.max_finite or 0.0) * max(len(fg.nodes), 1) ** 2 > 1e300:
        return f"numpy {distance!r} weights are infinite or too large for closeness's types"
    return None


# NetworkX's betweenness fails on None weights and only compares its sums.
data_rule("betweenness_weights", lambda fg, a: weights(fg, a["weight"], hidden_allowed=False, typed=False))


@data_rule("edge_key_clash")
def _edge_key_clash(fg, a):
    """Whether a node equals an edge tuple.

    NetworkX keeps node and edge sums in one dict, so such an edge would share
    its entry with the node (and be deleted with it).
    """
    clash = fg.__dict__.get("_edge_key_clash")
    if clash is None:
        index, core = fg.index, fg.core
        clash = False
        for v in fg.nodes:
            if isinstance(v, tuple) and len(v) == 2:
                x, y = v
                try:
                    if x in index and y in index and core.has_edge(index[x], index[y]):
                        clash = True
                        break
                except TypeError:
                    continue
        fg._edge_key_clash = clash
    return "a node equals an edge tuple" if clash else None


argument_rule("wf_improved", flag("wf_improved"))
argument_rule(
    "eigenvector_args",
    lambda a: reals("tol")(a) or int_max_iter(a) or start_vector((int, float, bool), "ints or floats")(a),
)
argument_rule(
    "katz_args", lambda a: reals("alpha", "tol")(a) or int_max_iter(a) or start_vector((float,), "floats")(a)
)
# eigenvector_centrality ignores a false weight; Katz looks it up.
data_rule("eigenvector_weights", lambda fg, a: product_weights(fg, a["weight"] or None, symmetric=False))
data_rule(
    "katz_weights", lambda fg, a: none_key(fg, a["weight"]) or product_weights(fg, a["weight"], symmetric=False)
)


@argument_rule("scalar_beta")
def _scalar_beta(a):
    try:
        b = float(a["beta"])
    except Exception:
        return "beta dictionaries are left to NetworkX"
    if type(a["alpha"]) is not float and a["alpha"] < 0 and b == 0:
        # The first step adds int alpha * int 0 (an int zero) to beta: no signed zero as in a float product.
        return "a negative int alpha with a zero beta"
    return None


def _rescale(raw, n, *, normalized, directed, endpoints, sources):
    """NetworkX's betweenness._rescale, operation by operation."""
    k = None if sources is None else len(sources)
    N = n if endpoints else n - 1
    if N < 2:
        return raw
    K_source = N if k is None else k
    if k is None or endpoints:
        if normalized:
            scale = 1 / (K_source * (N - 1))
        else:
            correction = 2 if not directed else 1
            scale = N / (K_source * correction)
        if scale != 1:
            return [b * scale for b in raw]
        return raw
    if normalized:
        scale_source = 1 / ((K_source - 1) * (N - 1)) if K_source > 1 else math.nan
        scale_nonsource = 1 / (K_source * (N - 1))
    else:
        correction = 1 if directed else 2
        scale_source = N / ((K_source - 1) * correction) if K_source > 1 else math.nan
        scale_nonsource = N / (K_source * correction)
    sampled = set(sources)
    return [b * (scale_source if i in sampled else scale_nonsource) for i, b in enumerate(raw)]


def _sample_positions(fg, k, seed):
    """Positions of the sources NetworkX samples, in sample order."""
    rng = nx.utils.create_py_random_state(seed)
    sample = rng.sample(list(fg.nodes), k)
    index = fg.index
    return [index[v] for v in sample]


@served(docs="Brandes' accumulation runs in parallel in C++; sampled sources (`k`, `seed`) are drawn exactly as "
        "NetworkX draws them. " + EXACT + _BETWEENNESS_LEFT, weight="weight", rules=("weight_name",),
        data_rules=("betweenness_weights",), per_source=True, min_work=WORK_BETWEENNESS,
        release=None if _RESCALE_MATCHES else "this NetworkX version rescales betweenness differently")
def betweenness_centrality(G, k=None, normalized=True, weight=None, endpoints=False, seed=None):
    """Betweenness centrality, equal to NetworkX's bit for bit."""
    n = len(G.nodes)
    if k == n:
        k = None
    sources = None if k is None else _sample_positions(G, k, seed)
    starts = range(n) if sources is None else sources
    if cl := executor.cluster(G, len(starts), "betweenness_centrality"):
        raw = executor.betweenness(cl, G, weight, bool(endpoints), starts, False, n)
    else:
        with progress.counted(G, len(starts)):
            raw = G.core.betweenness(weight, bool(endpoints), sources)
    values = _rescale(raw, n, normalized=normalized, directed=G.directed, endpoints=endpoints, sources=sources)
    return dict(zip(G.nodes, values))


@served(docs="Per-edge Brandes' accumulation in parallel in C++; multigraph keys are shared out as NetworkX does. "
        + EXACT + _BETWEENNESS_LEFT, weight="weight", rules=("weight_name",),
        data_rules=("betweenness_weights", "edge_key_clash", "keys"), per_source=True, min_work=WORK_BETWEENNESS,
        release=None if _EDGE_RESCALE_MATCHES else "this NetworkX version rescales edge betweenness differently")
def edge_betweenness_centrality(G, k=None, normalized=True, weight=None, seed=None):
    """Edge betweenness centrality, equal to NetworkX's bit for bit."""
    core = G.core
    n = len(G.nodes)
    sources = None if k is None else _sample_positions(G, k, seed)
    starts = range(n) if sources is None else sources
    if cl := executor.cluster(G, len(starts), "edge_betweenness_centrality"):
        raw = executor.betweenness(cl, G, weight, False, starts, True, core.number_of_edges())
    else:
        with progress.counted(G, len(starts)):
            raw = core.edge_betweenness(weight, sources)
    values = _rescale(raw, n, normalized=normalized, directed=G.directed, endpoints=True, sources=sources)
    nodes = G.nodes
    us, vs, _ = core.edges_in_order()
    result = dict(zip(zip(map(nodes.__getitem__, us), map(nodes.__getitem__, vs)), values))
    if G.multigraph:
        result = _nx_betweenness._add_edge_keys(G.source, result, weight=weight)
    return result


@served(docs=STATS_DOCS, weight="distance", rules=("distance_name", "wf_improved", "sp"),
        data_rules=("closeness_weights",), per_source=True, min_work=WORK_STATS)
def closeness_centrality(G, u=None, distance=None, wf_improved=True, *, sp=None):
    if u is None:
        sources = None
    else:
        if distance is not None:
            {u}  # noqa: B018 - an unhashable node raises TypeError, as NetworkX's Dijkstra does
        if u not in G:
            missing = f"Source {u} is not in G" if distance is None else f"Node {u} not found in graph"
            raise nx.NodeNotFound(missing)
        sources = [G.index[u]]
    kind = distance_kind(G, distance)
    if kind is None:
        values = _typed_closeness(G, distance, wf_improved, sources)
    else:
        summed = compensated(G, distance)
        if sources is None and (cl := executor.cluster(G, len(G), "closeness_centrality",
                                                       per_pass=64 if distance is None else 1)):
            values = executor.per_source(cl, G, _remote.closeness, lambda b: (distance, wf_improved, b, summed),
                                         range(len(G)))
        else:
            with progress.counted(G, len(G) if sources is None else 1):
                values = G.core.closeness(distance, wf_improved, sources, compensated_sum=summed)
        if kind & NUMPY_BIT:
            # A numpy total makes the value numpy.float64; NetworkX's 0.0 for a
            # node reaching nothing at a positive distance stays a float (the
            # data rules keep totals finite and values from underflowing).
            values = [typed(NP_FLOAT)(x) if x > 0 else x for x in values]
    return values[0] if u is not None else dict(zip(G.nodes, values))


def _typed_closeness(fg, distance, wf_improved, sources):
    """NetworkX's closeness formula over typed distances (weights of several kinds, undirected)."""
    n = len(fg)
    values = []
    for _, order, dist in dijkstra_searches(fg, distance, sources=sources):
        totsp = sum(dist)
        value = 0.0
        if totsp > 0.0 and n > 1:
            value = (len(order) - 1.0) / totsp
            if wf_improved:
                value *= (len(order) - 1.0) / (n - 1)
        values.append(value)
    return values


@served(docs=STATS_DOCS, weight="distance", rules=("distance_name", "harmonic_transposed"),
        data_rules=("harmonic_weights",), per_source=True, min_work=WORK_STATS)
def harmonic_centrality(G, nbunch=None, distance=None, sources=None):
    targets, starts = _selections(G, nbunch, sources)
    if len(targets) < len(starts):
        # NetworkX then searches from each target over the reversed graph and
        # adds 1/d per target in the order that search reached the sources;
        # its result keeps the targets' order.
        values = dict.fromkeys(targets, 0)
        for v in targets:
            values[v] = _harmonic_from(G, v, starts, distance)
        return values
    index = G.index
    if distance is not None and distance_kind(G, distance) is None and G.weight_facts(distance).kinds & NUMPY_KINDS:
        # numpy weights mixed with others: NetworkX's loop over typed lengths.
        centrality = {u: 0 for u in targets}
        for v in starts:
            (dist,) = G.core.dijkstra_many([index[v]], distance).length_dicts(G.node_tuple)
            if dist is None:
                raise ValueError("Contradictory paths found:", "negative weights?")
            for u, d_uv in dist.items():
                if d_uv != 0 and u in targets:
                    centrality[u] += 1 / d_uv
        return centrality
    in_nbunch = [False] * len(G)
    for u in targets:
        in_nbunch[index[u]] = True
    positions = [index[v] for v in starts]
    if cl := executor.cluster(G, len(positions), "harmonic_centrality", per_pass=64 if distance is None else 1):
        sums, hit = executor.harmonic(cl, G, positions, in_nbunch, distance)
    else:
        with progress.counted(G, len(starts)):
            sums, hit = G.core.harmonic(positions, in_nbunch, distance)
    # Over numpy weights (of one kind, the data rules say) every 1 / d is numpy.float64.
    kind = float if distance is None or (distance_kind(G, distance) or 0) & NUMPY_BIT == 0 else typed(NP_FLOAT)
    return {u: kind(sums[index[u]]) if hit[index[u]] else 0 for u in targets}


def _harmonic_from(fg, v, starts, distance):
    """The running ``+= 1 / d`` over the sources reached from ``v`` against the edges.

    Over Python ints and floats mixed, 1 / d is the same float whether d is
    typed or not (integer distances stay below 2**53), so untyped reversed
    distances serve.
    """
    s = fg.index[v]
    core = fg.load_exact_pred() if fg.directed else fg.core
    if distance is None:
        lengths = bfs_lengths(fg, core, v, s, None, fg.directed)
    else:
        lengths = dijkstra_lengths(fg, core, v, s, distance, None, fg.directed)
    total = 0
    for u, d in lengths.items():
        if d != 0 and u in starts:
            total += 1 / d
    return total


def _start_vector(fg, nstart):
    """The positions of nstart's keys, in its order: NetworkX iterates the
    nodes in that order and returns those keys (the ``nstart_keys`` rule
    made sure they are exactly the graph's nodes)."""
    index = fg.index
    return [index[k] for k in nstart]


def _keyed(keys, scores, order):
    """{key: score} for keys in order, scores by position (``order``: their positions, None: position order)."""
    return dict(zip(keys, scores if order is None else map(scores.__getitem__, order)))


def _typed_scores(scores, numpy):
    """Scores by position, numpy.float64 where NetworkX's value is (``numpy``: per position, or None)."""
    if numpy is None:
        return scores
    as_numpy = typed(NP_FLOAT)
    return [as_numpy(x) if is_numpy else x for x, is_numpy in zip(scores, numpy)]


@functools.cache
def own_hypot():
    """Whether the core's math.hypot is this interpreter's, bit for bit, on a spread of vectors (2 to 2,000
    values over magnitudes from 1e-300 to 1e300). Checked once; where they differ, math.hypot is called."""
    rng = random.Random(5)
    for size in (2, 3, 7, 16, 100, 2000):
        for magnitude in (1e-300, 1e-8, 1.0, 1e8, 1e300):
            values = [rng.random() * magnitude * rng.choice((1, -1, 0.5, 1e-20)) for _ in range(size)]
            length = _core._hypot(values)
            if length is not None and length != math.hypot(*values):
                return False
    return True


@served(docs="Power iteration in C++, normalised by math.hypot as CPython computes it. " + EXACT + _ITERATION,
        weight="weight",
        rules=("weight_name", "eigenvector_args", "tolerance", "nstart_keys"), data_rules=("eigenvector_weights",),
        min_work=WORK_LINK)
def eigenvector_centrality(G, max_iter=100, tol=1e-06, nstart=None, weight=None):
    """Eigenvector centrality, equal to NetworkX's bit for bit."""
    n = len(G.nodes)
    if n == 0:
        raise nx.NetworkXPointlessConcept("cannot compute centrality for the null graph")
    if nstart is None:
        keys, order, x0 = G.nodes, None, [1 / n] * n
    else:
        order = _start_vector(G, nstart)
        if all(v == 0 for v in nstart.values()):
            raise nx.NetworkXError("initial vector cannot have all zero values")
        # NetworkX's own normalisation, its errors included.
        nstart_sum = sum(nstart.values())
        start = {k: v / nstart_sum for k, v in nstart.items()}
        keys, x0 = list(start), [0.0] * n
        for position, value in zip(order, start.values()):
            x0[position] = value
    with progress.counted(G, iterations(max_iter), "iterations"):
        found = G.core.eigenvector(order, x0, weight or None, iterations(max_iter), float(tol), math.hypot,
                                   COMPENSATED_SUM, kinds=True, own_hypot=own_hypot(),
                                   objects=G.node_tuple if order is None else None)
    if found is None:
        raise nx.PowerIterationFailedConvergence(max_iter)
    if type(found) is dict:  # keyed by the core: every node, no numpy values
        return found
    return _keyed(keys, _typed_scores(*found), order)


@served(docs="Power iteration in C++. " + EXACT + " Falls back to NetworkX for a beta dict and for an nstart whose "
        "values are not all floats." + _ITERATION, weight="weight",
        rules=("weight_name", "katz_args", "tolerance", "scalar_beta", "nstart_keys"), data_rules=("katz_weights",),
        min_work=WORK_LINK)
def katz_centrality(G, alpha=0.1, beta=1.0, max_iter=1000, tol=1e-06, nstart=None, normalized=True, weight=None):
    """Katz centrality with a scalar beta, equal to NetworkX's bit for bit."""
    n = len(G.nodes)
    if n == 0:
        return {}
    b = float(beta)  # a scalar: the scalar_beta rule
    if nstart is None:
        keys, order, x0 = G.nodes, None, None
    else:
        order = _start_vector(G, nstart)
        keys, x0 = list(nstart), [0.0] * n
        for position, value in zip(order, nstart.values()):
            x0[position] = value
    with progress.counted(G, iterations(max_iter), "iterations"):
        found = G.core.katz(order, float(alpha), b, weight, iterations(max_iter), float(tol), COMPENSATED_SUM,
                            x0=x0, kinds=True)
    if found is None:
        raise nx.PowerIterationFailedConvergence(max_iter)
    x = _keyed(keys, _typed_scores(*found), order)
    if not normalized:
        return x  # NetworkX multiplies each value by the int 1: the same value, of the same type
    try:
        s = 1.0 / math.hypot(*x.values())
    except ZeroDivisionError:
        s = 1.0
    # NetworkX's `x[key] *= s`, key by key: each value times s (a float or
    # numpy.float64 times a float), the keys' order kept.
    return dict(zip(x, [v * s for v in x.values()]))


# Degrees are one pass over the rows: converting a graph costs more than
# NetworkX's whole run. On a converted graph fennel's call (dispatch included)
# beats NetworkX's degree view from about this much work (nodes plus adjacency
# entries: 9,000 on gnp graphs of average degree 8, against 2,000 not yet).
_WORK_DEGREE = (5000, math.inf)
_DEGREE_DOCS = "Degrees counted in C++. " + EXACT + " Falls back to NetworkX for multigraphs with parallel edges."


def _degree_centrality(G, kind):
    """NetworkX's ``{n: d * s for n, d in G.degree()}`` (``kind`` 0; 1 in-degrees, 2 out-degrees)."""
    if not G.directed and kind:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    nodes = G.nodes
    if len(nodes) <= 1:
        return {v: 1 for v in nodes}
    return G.core.degree_centrality(G.node_tuple, kind)


@served(docs=_DEGREE_DOCS, data_rules=("parallel_edges",), min_work=_WORK_DEGREE)
def degree_centrality(G):
    return _degree_centrality(G, 0)


@served(docs=_DEGREE_DOCS, data_rules=("parallel_edges",), min_work=_WORK_DEGREE)
def in_degree_centrality(G):
    return _degree_centrality(G, 1)


@served(docs=_DEGREE_DOCS, data_rules=("parallel_edges",), min_work=_WORK_DEGREE)
def out_degree_centrality(G):
    return _degree_centrality(G, 2)
