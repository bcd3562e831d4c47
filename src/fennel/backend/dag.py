"""Directed acyclic graphs: topological generations and orders, descendants and ancestors, longest paths,
transitive closures and reductions, antichains (NetworkX's dag).

Generators stay generators and raise NetworkX's errors where NetworkX raises
them (on first iteration, or after the last item); a graph changed while a
generator runs is read from there on by NetworkX's own loop.
"""

import heapq
from array import array
from collections import deque

import networkx as nx

from .. import _core
from itertools import pairwise
from numbers import Real

from .checks import NX_VERSION, argument_rule, data_rule, none_key, weights
from .clique import node_hashes
from .native import compact_form
from .serve import BFS_DOCS, EXACT, WORK_BFS, WORK_DIRECTED, served
from .shared import UNCHANGED, changed, first_step, no_gc_pauses, raising, reached_set, watch

_GENERATIONS = "Kahn's layering in C++; NetworkX's errors come where NetworkX raises them. " + EXACT


@argument_rule("generation_args")
def _generation_args(a):
    G = a["G"]
    if isinstance(G, nx.Graph) and getattr(G, "__networkx_cache__", None) is None and compact_form(G) is None:
        # (A native graph's compact form shows that it never changed.)
        return "the graph has no cache that shows changes during iteration"
    return None


_UNDIRECTED_SORT = "Topological sort not defined on undirected graphs."
_CYCLE = "Graph contains a cycle or graph changed during iteration"


def _changed(G, marker):
    # A native graph cannot change before its dicts are built: its compact
    # form is the marker until then.
    if marker is compact_form(G):
        return False
    cache = getattr(G, "__networkx_cache__", None)
    return cache is None or cache.get(UNCHANGED) is not marker


def _generations(fg, flat):
    """NetworkX's topological_generations generator (flattened for topological_sort)."""
    marker = compact_form(fg.source)
    cache = fg.source.__networkx_cache__
    if not fg.directed:
        return raising(nx.NetworkXError(_UNDIRECTED_SORT))
    if marker is None:
        marker = cache.setdefault(UNCHANGED, object())
    generations, has_cycle = fg.core.generations(nodes=fg.node_tuple)
    # A multigraph's in-degrees count parallel edges: their numbers now, for
    # a hand-over after the graph changed.
    counts = _core.parallel_counts(fg.source._adj) if fg.multigraph else None
    return _yield_generations(fg, marker, generations, has_cycle, flat, counts)


def _yield_generations(fg, marker, generations, has_cycle, flat, counts):
    for i, generation in enumerate(generations):
        # NetworkX reads the graph when first asked for a generation and
        # removes a generation's out-edges when it resumes after it: a graph
        # changed meanwhile is read from there on.
        if _changed(fg.source, marker):
            index = fg.index
            parts = [[index[v] for v in part] for part in generations[: i + 1]]
            yield from _networkx_from(fg, parts, i, flat, counts)
            return
        if flat:
            yield from generation
        else:
            yield generation
    if has_cycle:
        raise nx.NetworkXUnfeasible(_CYCLE)


def _networkx_from(fg, parts, i, flat, counts):
    """NetworkX's loop, resumed on the current graph with generation i not yet processed.

    Before the first generation NetworkX has read nothing yet: it starts
    from the current graph's in-degrees.
    """
    G = fg.source
    multigraph = G.is_multigraph()
    if i == 0:
        degrees = list(G.in_degree())
        indegree_map = {v: d for v, d in degrees if d > 0}
        zero_indegree = [v for v, d in degrees if d == 0]
    else:
        nodes = fg.nodes
        done = [p for part in parts[:i] for p in part]
        if counts is None:
            indegrees = fg.core.indegrees_after(done)
        else:
            indegrees = _indegrees_after(fg, done, counts)
        indegree_map = {v: d for v, d in zip(nodes, indegrees) if d > 0}
        zero_indegree = list(map(nodes.__getitem__, parts[i]))
    while zero_indegree:
        this_generation = zero_indegree
        zero_indegree = []
        for node in this_generation:
            if node not in G:
                raise RuntimeError("Graph changed during iteration")
            for child in G.neighbors(node):
                try:
                    indegree_map[child] -= len(G[node][child]) if multigraph else 1
                except KeyError as err:
                    raise RuntimeError("Graph changed during iteration") from err
                if indegree_map[child] == 0:
                    zero_indegree.append(child)
                    del indegree_map[child]
        if flat:
            yield from this_generation
        else:
            yield this_generation
    if indegree_map:
        raise nx.NetworkXUnfeasible(_CYCLE)


def _indegrees_after(fg, done, counts):
    """In-degrees counting parallel edges (``counts`` per slot), once the nodes ``done`` lost their out-edges."""
    core = fg.core
    indegrees = [0] * len(fg.nodes)
    done = set(done)
    slot = 0
    for u in range(len(fg.nodes)):
        row = core.neighbors(u)
        if u not in done:
            for v, k in zip(row, counts[slot : slot + len(row)]):
                indegrees[v] += k
        slot += len(row)
    return indegrees


@served(docs=_GENERATIONS, rules=("generation_args",), data_rules=("keys",), min_work=WORK_DIRECTED)
def topological_generations(G):
    return _generations(G, flat=False)


@served(docs=_GENERATIONS, rules=("generation_args",), data_rules=("keys",), min_work=WORK_DIRECTED)
def topological_sort(G):
    return _generations(G, flat=True)


@served(docs=_GENERATIONS, data_rules=("keys",), min_work=WORK_DIRECTED)
def is_directed_acyclic_graph(G):
    return G.directed and not G.core.generations()[1]


@served(docs=BFS_DOCS, data_rules=("keys",), min_work=WORK_BFS)
def descendants(G, source):
    return reached_set(G, source)


@served(docs=BFS_DOCS, data_rules=("pred_keys",), min_work=WORK_BFS)
def ancestors(G, source):
    # NetworkX follows G._pred in its own order: the set's iteration order
    # depends on the order its members are inserted.
    return reached_set(G, source, reverse=True)


@argument_rule("unit_default_weight")
def _unit_default_weight(a):
    """A missing attribute converts as 1: the path is NetworkX's for any default of that value."""
    default = a["default_weight"]
    if isinstance(default, Real) and default == 1:
        return None
    return "default_weight other than 1"


@data_rule("topo_order")
def _topo_order(fg, a):
    """A given order is read as positions: a list or tuple of G's nodes."""
    order = a.get("topo_order")
    if order is None:
        return None
    if type(order) not in (list, tuple):
        return "topo_order other than a list or tuple"
    index = fg.index
    for v in order:
        try:
            if v not in index:
                return "topo_order holds an item that is not a node of G"
        except TypeError:
            return "topo_order holds an unhashable item"
    return None


# dist[u][0] + w and the comparisons of lengths depend on values alone: no kinds.
data_rule("longest_path_weights", lambda fg, a: none_key(fg, a["weight"])
          or weights(fg, a["weight"], hidden_allowed=False, typed=False))

_LONGEST = ("The distances in C++ along G._pred's rows, in NetworkX's visiting order and comparisons (the first "
            "longest wins). " + EXACT + " Falls back to NetworkX for parallel edges, None weights, a default_weight "
            "other than 1 and a topo_order that is not a list or tuple of G's nodes.")
_LONGEST_RULES = ("weight_name", "unit_default_weight")
_LONGEST_DATA = ("keys", "pred_keys", "parallel_edges", "longest_path_weights")


def _longest_path(G, weight, topo_order):
    if not G.directed:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    if not G.nodes:
        return []
    if topo_order is None:
        parts, has_cycle = G.core.generations()
        order = [v for part in parts for v in part]
    else:
        order, has_cycle = list(map(G.index.__getitem__, topo_order)), False
    path, missing = G.load_exact_pred().longest_path_over(weight, order)
    if path is None:
        raise KeyError(G.nodes[missing])
    if has_cycle:
        # NetworkX's topological_sort raises after the last node it yields.
        raise nx.NetworkXUnfeasible(_CYCLE)
    nodes = list(map(G.nodes.__getitem__, path))
    if path and topo_order is not None:
        # The path ends at a key of NetworkX's dist: the order's own object at
        # its first visit; the others are G._pred's keys.
        nodes[-1] = topo_order[order.index(path[-1])]
    return nodes


@served(docs=_LONGEST, weight="weight", rules=_LONGEST_RULES, data_rules=(*_LONGEST_DATA, "topo_order"),
        min_work=WORK_DIRECTED, answers=(KeyError,))
def dag_longest_path(G, weight="weight", default_weight=1, topo_order=None):
    return _longest_path(G, weight, topo_order)


@served(docs=_LONGEST + " The length is NetworkX's own sum along the path, over G's data dicts.", weight="weight",
        rules=_LONGEST_RULES, data_rules=_LONGEST_DATA, min_work=WORK_DIRECTED, keeps_attributes=True)
def dag_longest_path_length(G, weight="weight", default_weight=1):
    path = _longest_path(G, weight, None)
    S = G.source
    path_length = 0
    if S.is_multigraph():
        for u, v in pairwise(path):
            i = max(S[u][v], key=lambda x: S[u][v][x].get(weight, default_weight))
            path_length += S[u][v][i].get(weight, default_weight)
    else:
        for u, v in pairwise(path):
            path_length += S[u][v].get(weight, default_weight)
    return path_length


# Before 3.6 NetworkX judged graphs that are not strongly connected by their parts.
_APERIODIC_RELEASE = None if NX_VERSION >= (3, 6) else "NetworkX before 3.6 judges such graphs by their parts"


@served(docs="The period from one breadth-first search in C++: the gcd of level differences along the edges, "
        "the same for any search tree of a strongly connected graph. " + EXACT,
        min_work=WORK_DIRECTED, release=_APERIODIC_RELEASE)
def is_aperiodic(G):
    # NetworkX's checks in its order: 3.7 leaves an undirected graph to its
    # strong-connectivity test.
    if NX_VERSION < (3, 7) and not G.directed:
        raise nx.NetworkXError("is_aperiodic not defined for undirected graphs")
    if not G.nodes:
        raise nx.NetworkXPointlessConcept("Graph has no nodes.")
    if not G.directed:
        raise nx.NetworkXNotImplemented("not implemented for undirected type")
    if len(G.core.strongly_connected(shortcut=NX_VERSION >= (3, 7))) != 1:
        raise nx.NetworkXError("Graph is not strongly connected.")
    return G.core.period_divisor(0) == 1


def _add_edges(H, tails, heads):
    """H.add_edges_from(zip(tails, heads)) of new edges between H's nodes, dict for dict.

    A plain DiGraph's rows are filled directly (a fresh data dict per edge,
    shared by both rows, as add_edges_from makes it); other classes, whose
    factories may differ, through their own method.
    """
    if type(H) is not nx.DiGraph:
        H.add_edges_from(zip(tails, heads))
        return
    succ, pred = H._succ, H._pred
    with no_gc_pauses():
        for u, v in zip(tails, heads):
            succ[u][v] = pred[v][u] = {}


def _objects(fg, positions):
    return list(map(fg.nodes.__getitem__, positions))


# Measured by bench/thresholds.py ("transitive closures"): fennel's closure
# wins from the smallest graphs on, converted or not, as NetworkX's work
# grows with what each node reaches. The closure of a DAG and the reduction
# do the same per-node searches and take the same threshold.
WORK_CLOSURES = (10, 10)

# edge_bfs's heads for False, the descendants set for None, that set | {v} for True.
_CLOSURE_KINDS = {False: 0, None: 1, True: 2}

_CLOSURES = ("One search per node in C++; the sets NetworkX iterates (descendants, breadth-first layers) are "
             "replayed from the nodes' hashes, so edges are added in NetworkX's order, to a copy made by G.copy(). "
             + EXACT)


@served(docs=_CLOSURES, data_rules=("keys",), min_work=WORK_CLOSURES,
        keeps_attributes=True)
def transitive_closure(G, reflexive=False):
    TC = G.source.copy()
    if reflexive not in {None, True, False}:
        raise nx.NetworkXError("Incorrect value for the parameter `reflexive`")
    # NetworkX tells the three apart by identity: an equal value such as 1
    # passes its check and adds nothing.
    kind = next((k for value, k in _CLOSURE_KINDS.items() if value is reflexive), None)
    if kind is not None:
        tails, heads = G.core.closure_edges(node_hashes(G), kind)
        _add_edges(TC, _objects(G, tails), _objects(G, heads))
    return TC


@served(docs=_CLOSURES, data_rules=("keys", "topo_order"), min_work=WORK_CLOSURES, keeps_attributes=True)
def transitive_closure_dag(G, topo_order=None):
    if topo_order is None:
        parts, has_cycle = G.core.generations()
        if has_cycle:
            raise nx.NetworkXUnfeasible(_CYCLE)
        order = [v for part in parts for v in part]
        topo_order = _objects(G, order)
    else:
        order = list(map(G.index.__getitem__, topo_order))
    TC = G.source.copy()
    steps, heads = G.core.closure_dag_edges(node_hashes(G), order)
    # The tail is the order's own object: the key NetworkX stores in G._pred.
    _add_edges(TC, list(map(topo_order.__getitem__, steps)), _objects(G, heads))
    return TC


@served(docs="Each node's neighbour set less its neighbours' descendants, in C++, the set's table replayed from the "
        "nodes' hashes so that edges come in NetworkX's order. " + EXACT, data_rules=("keys",), min_work=WORK_CLOSURES)
def transitive_reduction(G):
    if G.core.generations()[1]:
        raise nx.NetworkXError("Directed Acyclic Graph required for transitive_reduction")
    TR = nx.DiGraph()
    TR.add_nodes_from(G.nodes)
    tails, heads = G.core.reduction_edges(node_hashes(G))
    _add_edges(TR, _objects(G, tails), _objects(G, heads))
    return TR


@argument_rule("no_key")
def _no_key(a):
    """NetworkX calls a key function as each node becomes ready, while it iterates."""
    return None if a["key"] is None else "a key function"


@data_rule("one_ordered_kind")
def _one_ordered_kind(fg, a):
    """Nodes all ints or all strs compare as a total order: the heap's pops are then its minima."""
    kinds = set(map(type, fg.nodes))
    if kinds <= {int} or kinds <= {str}:
        return None
    return "nodes other than all ints or all strs, whose comparisons may fail or not order them"


def _lexicographic(fg, watched):
    if not fg.directed:
        raise nx.NetworkXError(_UNDIRECTED_SORT)
    # NetworkX reads the graph on the generator's first step.
    if changed(watched):
        yield from nx.lexicographical_topological_sort.orig_func(fg.source)
        return
    nodes = fg.nodes
    rank = [0] * len(nodes)
    for r, p in enumerate(sorted(range(len(nodes)), key=nodes.__getitem__)):
        rank[p] = r
    order, has_cycle = fg.core.ranked_topological_order(rank)
    counts = _core.parallel_counts(fg.source._adj) if fg.multigraph else None
    for i, p in enumerate(order):
        # NetworkX pops a node and reads its edges when asked for it.
        if changed(watched):
            yield from _lexicographic_from(fg, order[:i], counts)
            return
        yield nodes[p]
    if has_cycle:
        raise nx.NetworkXUnfeasible(_CYCLE)


def _lexicographic_from(fg, done, counts):
    """NetworkX's loop, resumed on the current graph once the nodes ``done`` were popped and yielded."""
    G = fg.source
    nodes = fg.nodes
    nodeid_map = fg.index
    indegrees = fg.core.indegrees_after(done) if counts is None else _indegrees_after(fg, done, counts)
    popped = set(done)
    indegree_map = {v: d for v, d in zip(nodes, indegrees) if d > 0}
    zero_indegree = [(v, p, v) for p, (v, d) in enumerate(zip(nodes, indegrees)) if d == 0 and p not in popped]
    heapq.heapify(zero_indegree)
    while zero_indegree:
        _, _, node = heapq.heappop(zero_indegree)
        if node not in G:
            raise RuntimeError("Graph changed during iteration")
        for _, child in G.edges(node):
            try:
                indegree_map[child] -= 1
            except KeyError as err:
                raise RuntimeError("Graph changed during iteration") from err
            if indegree_map[child] == 0:
                heapq.heappush(zero_indegree, (child, nodeid_map[child], child))
                del indegree_map[child]
        yield node
    if indegree_map:
        raise nx.NetworkXUnfeasible(_CYCLE)


@served(docs="Kahn's order with a heap of the nodes' ranks in C++; NetworkX's errors come where NetworkX raises "
        "them, and a graph changed during iteration is read from there on by NetworkX's own loop. " + EXACT,
        rules=("no_key", "sees_changes"), data_rules=("keys", "one_ordered_kind"), min_work=WORK_DIRECTED)
def lexicographical_topological_sort(G, key=None):
    return _lexicographic(G, watch(G))


def _antichains(fg, topo_order):
    if topo_order is None:
        parts, has_cycle = fg.core.generations()
        if has_cycle:
            raise nx.NetworkXUnfeasible(_CYCLE)
        order = [v for part in parts for v in part]
        items = tuple(map(fg.nodes.__getitem__, order))
    else:
        order = list(map(fg.index.__getitem__, topo_order))
        items = tuple(topo_order)
    search, batch = fg.core.antichain_search(order), 1
    while True:
        found = _core._antichain_next(search, batch, items)
        yield from found
        if len(found) < batch:
            return
        batch = min(batch * 4, 4096)


@served(docs="The closure and NetworkX's stack of antichains in C++, handed out in growing batches. " + EXACT,
        rules=("sees_changes",), data_rules=("keys", "topo_order"), min_work=WORK_DIRECTED)
def antichains(G, topo_order=None):
    # NetworkX reads the graph (and the order) on the generator's first step.
    return first_step(nx.antichains, G, watch(G), lambda: _antichains(G, topo_order), topo_order=topo_order)


# Sorts per batch at most (each holds n nodes).
_SORTS_MOST = 4096


def _parallel(fg):
    """The edge count of each slot of G._adj's rows (int64 bytes), empty unless a multigraph."""
    return array("q", _core.parallel_counts(fg.source._adj)).tobytes() if fg.multigraph else b""


def _all_sorts(fg, watched):
    # NetworkX reads the in-degrees on the generator's first step.
    if changed(watched):
        yield from nx.all_topological_sorts.orig_func(fg.source)
        return
    if not fg.directed:
        raise nx.NetworkXError(_UNDIRECTED_SORT)
    parallel = _parallel(fg)
    state, nodes = fg.core.topological_sorts(parallel), fg.node_tuple
    handed, batch = 0, 1
    while True:
        sorts, cycle, done = _core._topological_sorts_next(state, batch, nodes)
        for found in sorts:
            # NetworkX reads G's out-edges as it resumes after each sort.
            if handed and changed(watched):
                yield from _all_sorts_from(fg, parallel, handed)
                return
            yield found
            handed += 1
        if cycle:
            raise nx.NetworkXUnfeasible("Graph contains a cycle.")
        if done:
            if handed and changed(watched):
                yield from _all_sorts_from(fg, parallel, handed)
            return
        batch = min(batch * 4, _SORTS_MOST)


def _all_sorts_from(fg, parallel, handed):
    """NetworkX's loop on the current graph, resumed right after it yielded sort number ``handed``.

    Its state there depends on the graph as it was: a fresh walk over the
    converted graph hands out that many sorts first.
    """
    state, nodes = fg.core.topological_sorts(parallel), fg.node_tuple
    while handed:
        step = min(handed, _SORTS_MOST)
        _core._topological_sorts_next(state, step, nodes)
        handed -= step
    counts, d, bases, current = _core._topological_sorts_state(state)
    node = fg.nodes.__getitem__
    G = fg.source
    count = dict(zip(fg.nodes, counts))
    D = deque(map(node, d))
    bases = list(map(node, bases))
    current_sort = list(map(node, current))
    resumed = True
    while True:
        if not resumed:
            assert all(count[v] == 0 for v in D)
        if resumed or len(current_sort) == len(G):
            if not resumed:
                yield list(current_sort)
            resumed = False
            while len(current_sort) > 0:
                assert len(bases) == len(current_sort)
                q = current_sort.pop()
                for _, j in G.out_edges(q):
                    count[j] += 1
                    assert count[j] >= 0
                while len(D) > 0 and count[D[-1]] > 0:
                    D.pop()
                D.appendleft(q)
                if D[-1] == bases[-1]:
                    bases.pop()
                else:
                    break
        else:
            if len(D) == 0:
                raise nx.NetworkXUnfeasible("Graph contains a cycle.")
            q = D.pop()
            for _, j in G.out_edges(q):
                count[j] -= 1
                assert count[j] >= 0
                if count[j] == 0:
                    D.append(j)
            current_sort.append(q)
            if len(bases) < len(current_sort):
                bases.append(q)
        if len(bases) == 0:
            break


@served(docs="Knuth and Szwarcfiter's walk in C++, step for step as NetworkX's loop, sorts handed out in growing "
        "batches; a graph changed during iteration is read from there on by NetworkX's own loop. " + EXACT,
        rules=("sees_changes",), data_rules=("keys", "self_equal_nodes"), min_work=WORK_DIRECTED)
def all_topological_sorts(G):
    return _all_sorts(G, watch(G))
