"""Components: connected, weakly and strongly connected, attracting, semiconnected, and the condensation.

The C++ core returns node positions in NetworkX's orders; this side turns
them into NetworkX's shapes. A component set is built by inserting the same
objects in the same order as NetworkX (so it iterates in the same order);
generators stay generators and follow a graph changed while they run as
NetworkX's do.
"""

import functools
import inspect

import networkx as nx
from networkx.algorithms.components import connected as _nx_connected
from networkx.algorithms.components import weakly_connected as _nx_weakly

from .checks import NX_VERSION, absent, argument_rule
from .serve import BFS_DOCS, EXACT, WORK_BFS, WORK_COMPONENTS, WORK_DIRECTED, served
from .shared import RowIterator, changed, first_step, no_gc_pauses, reached, reached_set, watch

_COMPONENTS = (
    "Breadth-first search or Tarjan's algorithm in C++; each component is a set built in NetworkX's insertion "
    "order, so it iterates in NetworkX's order. " + EXACT
)
# Generators that follow a graph changed while they run.
_FOLLOWS = ("sees_changes", "dict_rows")
_NULL_GRAPH = "Connectivity is undefined for the null graph."

argument_rule("scc", absent("scc", "given components"))


def _parts(fg, method, sets=False):
    """The components by the core's ``method``: position lists, or (``sets``) sets
    of node objects filled in NetworkX's insertion order."""
    if method == "weakly_connected":
        fg.load_exact_pred()
    kwargs = {"nodes": fg.node_tuple} if sets else {}
    if method == "strongly_connected":
        # NetworkX 3.7 stops its search once the last component is known and
        # inserts that component's members in another order.
        kwargs["shortcut"] = NX_VERSION >= (3, 7)
    with no_gc_pauses():
        return getattr(fg.core, method)(**kwargs)


def _component_sets(networkx, fg, watched, weak):
    """connected_components or weakly_connected_components: one search per
    component, made when that component is asked for."""
    if changed(watched):
        yield from networkx.orig_func(fg.source)
        return
    cursor = fg.core.component_cursor(weak, nodes=fg.node_tuple, watch=watched)
    yield from cursor
    if not cursor.changed():
        return
    seen_at, start = cursor.state()
    G = fg.source
    seen = set(map(fg.nodes.__getitem__, seen_at))
    # NetworkX's `for v in G`, made on the first step, stands after `start`.
    nodes = RowIterator(G._node, len(fg), start + 1)
    yield from _components_resume(networkx, G, seen, len(fg), nodes)


@functools.cache
def _remaining_count(networkx):
    """Whether the installed release bounds each component search by the nodes
    not yet in a component (newer releases) rather than by all nodes."""
    return "n - len(seen)" in inspect.getsource(networkx.orig_func)


def _components_resume(networkx, G, seen, n, nodes):
    """NetworkX's component loop continued with its own search."""
    module = _nx_weakly if networkx is nx.weakly_connected_components else _nx_connected
    remaining = _remaining_count(networkx)
    for v in nodes:
        if v not in seen:
            c = module._plain_bfs(G, n - len(seen) if remaining else n, v)
            if not isinstance(c, set):
                c = set(c)  # older releases search with a node generator
            seen.update(c)
            yield c


def _connected(fg, method):
    if not fg.nodes:
        raise nx.NetworkXPointlessConcept(_NULL_GRAPH)
    return len(_parts(fg, method)[0]) == len(fg.nodes)


@served(docs=_COMPONENTS, rules=_FOLLOWS, data_rules=("keys",), min_work=WORK_COMPONENTS)
def connected_components(G):
    return _component_sets(nx.connected_components, G, watch(G), weak=False)


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_COMPONENTS)
def number_connected_components(G):
    return len(_parts(G, "connected"))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_COMPONENTS)
def is_connected(G):
    return _connected(G, "connected")


@served(docs=BFS_DOCS, data_rules=("keys",), min_work=WORK_BFS)
def node_connected_component(G, n):
    if n not in G:
        G.source._adj[n]  # NetworkX's walk meets G._adj[n] first: its error, a view's own included
        raise KeyError(n)
    if G.nodes[G.index[n]] is n:
        return reached_set(G, n, with_source=True)
    seen = {n}  # the caller's object, equal to G's node
    seen.update(reached(G, n))
    return seen


@served(docs=_COMPONENTS, rules=_FOLLOWS, data_rules=("keys", "pred_keys"), min_work=WORK_COMPONENTS)
def weakly_connected_components(G):
    G.load_exact_pred()
    return _component_sets(nx.weakly_connected_components, G, watch(G), weak=True)


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_COMPONENTS)
def number_weakly_connected_components(G):
    return len(_parts(G, "weakly_connected"))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_COMPONENTS)
def is_weakly_connected(G):
    return _connected(G, "weakly_connected")


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def strongly_connected_components(G):
    # Tarjan's search is one linear pass: all of it runs on the first step,
    # as NetworkX's first component needs most of it too.
    return first_step(nx.strongly_connected_components, G, watch(G),
                       lambda: _parts(G, "strongly_connected", sets=True))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def number_strongly_connected_components(G):
    return len(_parts(G, "strongly_connected"))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def is_strongly_connected(G):
    return _connected(G, "strongly_connected")


def _condensation_of(fg):
    """(component sets, inter-component edges in G.edges order) of the strongly connected components."""
    parts = _parts(fg, "strongly_connected")
    component_of = [0] * len(fg.nodes)
    for i, part in enumerate(parts):
        for p in part:
            component_of[p] = i
    nodes = fg.nodes
    with no_gc_pauses():
        sets = [set(map(nodes.__getitem__, part)) for part in parts]
    us, vs, _ = fg.core.edges_in_order()
    of = component_of.__getitem__
    edges = [(cu, cv) for cu, cv in zip(map(of, us), map(of, vs)) if cu != cv]
    return sets, edges


@served(docs=_COMPONENTS + " Given components (`scc=`) are left to NetworkX.", rules=("scc",), data_rules=("keys",),
        min_work=WORK_DIRECTED)
def condensation(G, scc=None):
    components, edges = _condensation_of(G)
    mapping = {}
    members = {}
    C = nx.DiGraph()
    C.graph["mapping"] = mapping
    if not G.nodes:
        return C
    for i, component in enumerate(components):
        members[i] = component
        mapping.update((n, i) for n in component)
    with no_gc_pauses():
        C.add_nodes_from(range(len(components)))
        C.add_edges_from(edges)
        nx.set_node_attributes(C, members, "members")
    return C


def _attracting(fg):
    components, edges = _condensation_of(fg)
    leaving = {cu for cu, _ in edges}
    return [c for i, c in enumerate(components) if i not in leaving]


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def attracting_components(G):
    # NetworkX finds every strongly connected component and the condensation
    # on its first step, then yields from them alone.
    return first_step(nx.attracting_components, G, watch(G), lambda: _attracting(G))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def number_attracting_components(G):
    return len(_attracting(G))


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def is_attracting_component(G):
    ac = _attracting(G)
    return len(ac) == 1 and len(ac[0]) == len(G)


@served(docs=_COMPONENTS, data_rules=("keys",), min_work=WORK_DIRECTED)
def is_semiconnected(G):
    """Weakly connected, with a condensation whose topological order is a path.

    A DAG's topological order has an edge between every consecutive pair
    exactly when that order is unique, that is when every generation of
    Kahn's layering holds one node, whichever order NetworkX picks.
    """
    if not G.nodes:
        raise nx.NetworkXPointlessConcept(_NULL_GRAPH)
    if len(_parts(G, "weakly_connected")) != 1:
        return False
    components, edges = _condensation_of(G)
    successors = [set() for _ in components]
    indegree = [0] * len(components)
    for cu, cv in edges:
        if cv not in successors[cu]:
            successors[cu].add(cv)
            indegree[cv] += 1
    generation = [c for c, d in enumerate(indegree) if d == 0]
    while generation:
        if len(generation) > 1:
            return False
        following = []
        for c in generation:
            for w in successors[c]:
                indegree[w] -= 1
                if indegree[w] == 0:
                    following.append(w)
        generation = following
    return True
