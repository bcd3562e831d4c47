"""Directed acyclic graphs: topological generations and order, descendants and ancestors (NetworkX's dag).

Generators stay generators and raise NetworkX's errors where NetworkX raises
them (on first iteration, or after the last item); a graph changed while a
generator runs is read from there on by NetworkX's own loop.
"""

import networkx as nx

from .. import _core
from .checks import argument_rule
from .native import compact_form
from .serve import BFS_DOCS, EXACT, WORK_BFS, WORK_DIRECTED, served
from .shared import UNCHANGED, no_gc_pauses, raising, reached

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
    parts, has_cycle = fg.core.generations()
    nodes = fg.nodes
    with no_gc_pauses():
        generations = [list(map(nodes.__getitem__, part)) for part in parts]
    # A multigraph's in-degrees count parallel edges: their numbers now, for
    # a hand-over after the graph changed.
    counts = _core.parallel_counts(fg.source._adj) if fg.multigraph else None
    return _yield_generations(fg, marker, parts, generations, has_cycle, flat, counts)


def _yield_generations(fg, marker, parts, generations, has_cycle, flat, counts):
    for i, generation in enumerate(generations):
        # NetworkX reads the graph when first asked for a generation and
        # removes a generation's out-edges when it resumes after it: a graph
        # changed meanwhile is read from there on.
        if _changed(fg.source, marker):
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
    return set(reached(G, source))


@served(docs=BFS_DOCS, data_rules=("pred_keys",), min_work=WORK_BFS)
def ancestors(G, source):
    # NetworkX follows G._pred in its own order: the set's iteration order
    # depends on the order its members are inserted.
    return set(reached(G, source, reverse=True))
