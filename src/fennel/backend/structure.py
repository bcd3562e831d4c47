"""Components, topological generations, core numbers and triangles.

The C++ core returns node positions in NetworkX's orders; this side turns
them into NetworkX's shapes. A component set is built by inserting the same
objects in the same order as NetworkX (so it iterates in the same order);
generators stay generators and raise NetworkX's errors where NetworkX raises
them (on first iteration, or after the last item); counts become NetworkX's
numbers through NetworkX's own formulas.
"""

import functools
import inspect
from collections import defaultdict

import networkx as nx
from networkx.algorithms.components import connected as _connected_module
from networkx.algorithms.components import weakly_connected as _weakly

from .. import _core
from . import native
from .checks import NX_VERSION, checked_graph
from .graph import no_gc_pauses, record, refuse
from .native import compact_form
from .traversal import RowIterator, _raising, changed, watch

_NULL_GRAPH = "Connectivity is undefined for the null graph."


def _components(name, a, method, sets=False):
    """The components as position lists, or (``sets``) as sets of node objects
    filled in NetworkX's insertion order."""
    fg = checked_graph(name, a)
    if method == "weakly_connected_components":
        fg.load_exact_pred()
    record("ran", name)
    return fg, _component_parts(fg, method, sets)


def _component_parts(fg, method, sets=False):
    kwargs = {"nodes": fg.node_tuple} if sets else {}
    if method == "strongly_connected_components":
        # NetworkX 3.7 stops its search once the last component is known and
        # inserts that component's members in another order.
        kwargs["shortcut"] = NX_VERSION >= (3, 7)
    with no_gc_pauses():
        return getattr(fg.core, method)(**kwargs)


def _first_step(name, fg, watched, compute):
    """A generator whose NetworkX counterpart reads the whole graph on its first
    step: computed then, or NetworkX's own if the graph changed before."""
    if changed(watched):
        yield from getattr(nx, name).orig_func(fg.source)
        return
    yield from compute()


def _searched_components(name, a, weak):
    """connected_components or weakly_connected_components: one search per
    component, made when that component is asked for."""
    fg = checked_graph(name, a)
    if weak:
        fg.load_exact_pred()
    record("ran", name)
    return _component_sets(name, fg, watch(fg), weak)


def _component_sets(name, fg, watched, weak):
    if changed(watched):
        yield from getattr(nx, name).orig_func(fg.source)
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
    yield from _components_resume(name, G, seen, len(fg), nodes)


@functools.cache
def _remaining_count(name):
    """Whether the installed release bounds each component search by the nodes
    not yet in a component (newer releases) rather than by all nodes."""
    return "n - len(seen)" in inspect.getsource(getattr(nx, name).orig_func)


def _components_resume(name, G, seen, n, nodes):
    """NetworkX's component loop continued with its own search."""
    module = _weakly if name == "weakly_connected_components" else _connected_module
    remaining = _remaining_count(name)
    for v in nodes:
        if v not in seen:
            c = module._plain_bfs(G, n - len(seen) if remaining else n, v)
            if not isinstance(c, set):
                c = set(c)  # older releases search with a node generator
            seen.update(c)
            yield c


def _connected(name, a, method):
    fg, parts = _components(name, a, method)
    if not fg.nodes:
        raise nx.NetworkXPointlessConcept(_NULL_GRAPH)
    return len(parts[0]) == len(fg.nodes)


def connected_components(G):
    return _searched_components("connected_components", locals().copy(), weak=False)


def number_connected_components(G):
    return len(_components("number_connected_components", locals().copy(), "connected_components")[1])


def is_connected(G):
    return _connected("is_connected", locals().copy(), "connected_components")


def weakly_connected_components(G):
    return _searched_components("weakly_connected_components", locals().copy(), weak=True)


def number_weakly_connected_components(G):
    return len(_components("number_weakly_connected_components", locals().copy(), "weakly_connected_components")[1])


def is_weakly_connected(G):
    return _connected("is_weakly_connected", locals().copy(), "weakly_connected_components")


def strongly_connected_components(G):
    # Tarjan's search is one linear pass: all of it runs on the first step,
    # as NetworkX's first component needs most of it too.
    name = "strongly_connected_components"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return _first_step(name, fg, watch(fg), lambda: _component_parts(fg, name, sets=True))


def number_strongly_connected_components(G):
    return len(_components("number_strongly_connected_components", locals().copy(), "strongly_connected_components")[1])


def is_strongly_connected(G):
    return _connected("is_strongly_connected", locals().copy(), "strongly_connected_components")


# ---------------------------------------------------------------------------
# Topological generations


_UNDIRECTED_SORT = "Topological sort not defined on undirected graphs."
_CYCLE = "Graph contains a cycle or graph changed during iteration"


# A key of G.__networkx_cache__, which NetworkX clears whenever G changes.
_UNCHANGED = "fennel: unchanged since"


def _changed(G, marker):
    # A native graph cannot change before its dicts are built: its compact
    # form is the marker until then.
    if marker is compact_form(G):
        return False
    cache = getattr(G, "__networkx_cache__", None)
    return cache is None or cache.get(_UNCHANGED) is not marker


def _generations(name, a, flat):
    """NetworkX's topological_generations generator (flattened for topological_sort)."""
    fg = checked_graph(name, a)
    marker = compact_form(fg.source)
    cache = fg.source.__networkx_cache__
    record("ran", name)
    if not fg.directed:
        return _raising(nx.NetworkXError(_UNDIRECTED_SORT))
    if marker is None:
        marker = cache.setdefault(_UNCHANGED, object())
    parts, has_cycle = fg.core.topological_generations()
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


def topological_generations(G):
    return _generations("topological_generations", locals().copy(), flat=False)


def topological_sort(G):
    return _generations("topological_sort", locals().copy(), flat=True)


def is_directed_acyclic_graph(G):
    fg = checked_graph("is_directed_acyclic_graph", locals().copy())
    record("ran", "is_directed_acyclic_graph")
    return fg.directed and not fg.core.topological_generations()[1]


# ---------------------------------------------------------------------------
# Core numbers

_SELF_LOOPS = (
    "Input graph has self loops which is not permitted; "
    "Consider using G.remove_edges_from(nx.selfloop_edges(G))."
)


def _core_numbers(name, fg):
    core = fg.core.core_number()
    record("ran", name)
    if core is None:
        raise nx.NetworkXNotImplemented(_SELF_LOOPS)
    return dict(zip(fg.nodes, core))


def core_number(G):
    return _core_numbers("core_number", checked_graph("core_number", locals().copy()))


# Classes whose dicts are NetworkX's own (dict factories and all).
_PLAIN_CLASSES = (nx.Graph, nx.DiGraph, native.Graph, native.DiGraph)


def _new_graph(G, nodes, edges):
    """What ``H = G.__class__(); H.graph.update(G.graph); H.add_nodes_from((n, G._node[n]) for n in
    nodes); H.add_edges_from(edges)`` builds, dict for dict: node data and edge data copied,
    rows filled in the same order. Graph and DiGraph themselves are filled directly; subclasses,
    whose factories may differ, through their own methods.
    """
    H = G.__class__()
    H.graph.update(G.graph)
    if type(G) not in _PLAIN_CLASSES:
        H.add_nodes_from((n, G._node[n]) for n in nodes)
        H.add_edges_from(edges)
        return H
    node, succ, pred = G._node, H._adj, H._pred if H.is_directed() else H._adj
    for n in nodes:
        succ[n] = {}
        pred[n] = {}
        H._node[n] = dict(node[n])
    for u, v, data in edges:
        row = succ[u]
        shared = row.get(v)
        if shared is None:
            shared = row[v] = {}
            pred[v][u] = shared
        shared.update(data)
    return H


def _induced(G, keep):
    """``G.subgraph(keep).copy()``, built directly: the subgraph view lists its nodes in
    the order of the set of kept nodes when that set holds under half of G's nodes, else in
    G's order; its rows keep G's order."""
    kept = set(keep)
    base, edge_ok = G, None
    if hasattr(G, "_NODE_OK"):
        # A subgraph view's subgraph filters the graph the view filters (with
        # the view's edge filter), so its shortcut compares with that graph.
        base, edge_ok = G._graph, G._EDGE_OK
    node = base._node
    order = [n for n in kept if n in node] if 2 * len(kept) < len(node) else [n for n in node if n in kept]
    adj = base._adj
    edges = ((u, v, d) for u in order for v, d in adj[u].items() if v in kept and (edge_ok is None or edge_ok(u, v)))
    return _new_graph(G, order, edges)


def _core_subgraph(name, a, keep):
    """NetworkX's _core_subgraph on the source graph, from fennel's core numbers."""
    fg = checked_graph(name, a)
    core = _core_numbers(name, fg)
    k = a["k"]
    if k is None:
        k = max(core.values()) - (name == "k_crust")
    adj = fg.source._adj
    with no_gc_pauses():
        return _induced(fg.source, [v for v in core if keep(adj, v, k, core)])


def k_core(G, k=None, core_number=None):
    return _core_subgraph("k_core", locals().copy(), lambda adj, v, k, c: c[v] >= k)


def k_shell(G, k=None, core_number=None):
    return _core_subgraph("k_shell", locals().copy(), lambda adj, v, k, c: c[v] == k)


def k_crust(G, k=None, core_number=None):
    return _core_subgraph("k_crust", locals().copy(), lambda adj, v, k, c: c[v] <= k)


def k_corona(G, k, core_number=None):
    return _core_subgraph(
        "k_corona", locals().copy(), lambda adj, v, k, c: c[v] == k and k == sum(1 for w in adj[v] if c[w] >= k)
    )


# ---------------------------------------------------------------------------
# Triangles and clustering


def _counts(name, a, *, successors_only=False):
    """(graph, node objects, (t, d, db) per node) for the nodes NetworkX walks.

    Given nodes are walked by NetworkX's own nbunch_iter (its errors, and
    the caller's objects as keys).
    """
    fg = checked_graph(name, a)
    nodes = a.get("nodes")
    if nodes is None:
        objects, positions = fg.nodes, None
    else:
        objects = list(fg.source.nbunch_iter(nodes))
        positions = list(map(fg.index.__getitem__, objects))
    counts = fg.core.triangle_counts(positions, successors_only)
    record("ran", name)
    return fg, objects, counts


def triangles(G, nodes=None):
    name = "triangles"
    a = locals().copy()
    fg = checked_graph(name, a)
    if nodes is not None and fg.multigraph:
        # NetworkX's per-node count rejects multigraphs.
        record("ran", name)
        raise nx.NetworkXNotImplemented("not implemented for multigraph type")
    if nodes is not None and nodes in fg:
        counts = fg.core.triangle_counts([fg.index[nodes]])
        record("ran", name)
        return counts[0][0] // 2
    _, objects, counts = _counts(name, a)
    return {v: t // 2 for v, (t, _, _) in zip(objects, counts)}


def _clustering_values(fg, objects, counts):
    if fg.directed:
        return {v: 0 if t == 0 else t / ((dt * (dt - 1) - 2 * db) * 2) for v, (t, dt, db) in zip(objects, counts)}
    return {v: 0 if t == 0 else t / (d * (d - 1)) for v, (t, d, _) in zip(objects, counts)}


def clustering(G, nodes=None, weight=None):
    name = "clustering"
    a = locals().copy()
    fg, objects, counts = _counts(name, a)
    values = _clustering_values(fg, objects, counts)
    if nodes in fg:
        return values[nodes]
    return values


def average_clustering(G, nodes=None, weight=None, count_zeros=True):
    name = "average_clustering"
    a = locals().copy()
    fg, objects, counts = _counts(name, a)
    c = _clustering_values(fg, objects, counts)
    # NetworkX asks clustering(), which answers a single node with its value.
    c = (c[nodes] if nodes in fg else c).values()
    if not count_zeros:
        c = [v for v in c if abs(v) > 0]
    return sum(c) / len(c)


def transitivity(G):
    name = "transitivity"
    fg = checked_graph(name, locals().copy())
    total, contri = fg.core.triangle_counts(None, True, totals=True)
    record("ran", name)
    if len(fg) == 0:
        return 0
    return 0 if total == 0 else total / contri


# ---------------------------------------------------------------------------
# Condensation and attracting components


def _condensed(name, a):
    """(graph, component sets, component index by position, inter-component edges in G.edges order)."""
    fg, parts = _components(name, a, "strongly_connected_components")
    return (fg, *_condensation_of(fg, parts))


def _condensation_of(fg, parts):
    component_of = [0] * len(fg.nodes)
    for i, part in enumerate(parts):
        for p in part:
            component_of[p] = i
    nodes = fg.nodes
    with no_gc_pauses():
        sets = [set(map(nodes.__getitem__, part)) for part in parts]
    us, vs, _ = fg.core.edges_in_order()
    edges = [(cu, cv) for cu, cv in zip(map(component_of.__getitem__, us), map(component_of.__getitem__, vs)) if cu != cv]
    return sets, edges


def condensation(G, scc=None):
    name = "condensation"
    fg, components, edges = _condensed(name, locals().copy())
    mapping = {}
    members = {}
    C = nx.DiGraph()
    C.graph["mapping"] = mapping
    if not fg.nodes:
        return C
    for i, component in enumerate(components):
        members[i] = component
        mapping.update((n, i) for n in component)
    with no_gc_pauses():
        C.add_nodes_from(range(len(components)))
        C.add_edges_from(edges)
        nx.set_node_attributes(C, members, "members")
    return C


def _attracting(name, a):
    _, components, edges = _condensed(name, a)
    return _without_leaving(components, edges)


def _without_leaving(components, edges):
    leaving = {cu for cu, _ in edges}
    return [c for i, c in enumerate(components) if i not in leaving]


def _attracting_of(fg):
    return _without_leaving(*_condensation_of(fg, _component_parts(fg, "strongly_connected_components")))


def attracting_components(G):
    # NetworkX finds every strongly connected component and the condensation
    # on its first step, then yields from them alone.
    name = "attracting_components"
    fg = checked_graph(name, locals().copy())
    record("ran", name)
    return _first_step(name, fg, watch(fg), lambda: _attracting_of(fg))


def number_attracting_components(G):
    return len(_attracting("number_attracting_components", locals().copy()))


def is_attracting_component(G):
    ac = _attracting("is_attracting_component", locals().copy())
    return len(ac) == 1 and len(ac[0]) == len(G)


def is_semiconnected(G):
    """Weakly connected, with a condensation whose topological order is a path.

    A DAG's topological order has an edge between every consecutive pair
    exactly when that order is unique, that is when every generation of
    Kahn's layering holds one node, whichever order NetworkX picks.
    """
    name = "is_semiconnected"
    a = locals().copy()
    fg = checked_graph(name, a)
    if not fg.nodes:
        record("ran", name)
        raise nx.NetworkXPointlessConcept(_NULL_GRAPH)
    fg.load_exact_pred()
    if len(fg.core.weakly_connected_components()) != 1:
        record("ran", name)
        return False
    _, components, edges = _condensed(name, a)
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


# ---------------------------------------------------------------------------
# Bipartiteness, trees and forests


def is_bipartite(G):
    fg = checked_graph("is_bipartite", locals().copy())
    result = fg.core.is_bipartite()
    record("ran", "is_bipartite")
    return result


def _forest_parts(name, a):
    fg = checked_graph(name, a)
    record("ran", name)
    if not fg.nodes:
        raise nx.exception.NetworkXPointlessConcept("G has no nodes.")
    if fg.directed:
        fg.load_exact_pred()
        parts = fg.core.weakly_connected_components()
    else:
        parts = fg.core.connected_components()
    # Parallel edges count: NetworkX's number_of_edges counts every key.
    return len(fg.nodes), fg.source.number_of_edges(), len(parts)


def is_tree(G):
    n, m, parts = _forest_parts("is_tree", locals().copy())
    return n - 1 == m and parts == 1


def is_forest(G):
    # Each component has at least nodes - 1 edges, so the totals decide.
    n, m, parts = _forest_parts("is_forest", locals().copy())
    return m == n - parts


# ---------------------------------------------------------------------------
# Colouring and label propagation


def greedy_color(G, strategy="largest_first", interchange=False):
    name = "greedy_color"
    a = locals().copy()
    fg = checked_graph(name, a)
    record("ran", name)
    if not fg.nodes:
        return {}
    order, colours = fg.core.greedy_color()
    nodes = fg.nodes
    return {nodes[u]: colours[u] for u in order}


def label_propagation_communities(G):
    name = "label_propagation_communities"
    fg = checked_graph(name, locals().copy())
    nodes = fg.nodes
    order, colours = fg.core.greedy_color()
    # NetworkX visits the nodes colour by colour, each colour's nodes as its set iterates.
    coloring = {}
    for u in order:
        if colours[u] in coloring:
            coloring[colours[u]].add(nodes[u])
        else:
            coloring[colours[u]] = {nodes[u]}
    index = fg.index
    labels = fg.core.label_propagation([index[v] for members in coloring.values() for v in members])
    record("ran", name)
    clusters = defaultdict(set)
    for node, label in zip(nodes, labels):
        clusters[label].add(node)
    return clusters.values()


# ---------------------------------------------------------------------------
# Kruskal spanning forests


def _spanning(name, a, maximum):
    """The kept edges as (u, v, data dict) of the source graph, in NetworkX's yield order."""
    fg = checked_graph(name, a)
    record("ran", name)
    return fg, _kept_edges(fg, a["weight"], maximum)


def _kept_edges(fg, weight, maximum):
    us, vs = fg.core.kruskal(weight, maximum)
    nodes, adj = fg.nodes, fg.source._adj
    with no_gc_pauses():
        return [(nodes[u], nodes[v], adj[nodes[u]][nodes[v]]) for u, v in zip(us, vs)]


def _spanning_edges(name, a, maximum):
    # NetworkX's Kruskal sorts every edge on its first step.
    fg = checked_graph(name, a)
    record("ran", name)
    return _spanning_items(name, a, fg, watch(fg), maximum)


def _spanning_items(name, a, fg, watched, maximum):
    if changed(watched):
        yield from getattr(nx, name).orig_func(
            fg.source, a["algorithm"], a["weight"], a["keys"], a["data"], a["ignore_nan"]
        )
        return
    edges = _kept_edges(fg, a["weight"], maximum)
    if a["data"]:
        yield from edges
    else:
        yield from ((u, v) for u, v, _ in edges)


def minimum_spanning_edges(G, algorithm="kruskal", weight="weight", keys=True, data=True, ignore_nan=False):
    return _spanning_edges("minimum_spanning_edges", locals().copy(), maximum=False)


def maximum_spanning_edges(G, algorithm="kruskal", weight="weight", keys=True, data=True, ignore_nan=False):
    return _spanning_edges("maximum_spanning_edges", locals().copy(), maximum=True)


def _spanning_tree(name, a, maximum):
    fg, edges = _spanning(name, a, maximum)
    G = fg.source
    with no_gc_pauses():
        return _new_graph(G, G._node, edges)


def minimum_spanning_tree(G, weight="weight", algorithm="kruskal", ignore_nan=False):
    return _spanning_tree("minimum_spanning_tree", locals().copy(), maximum=False)


def maximum_spanning_tree(G, weight="weight", algorithm="kruskal", ignore_nan=False):
    return _spanning_tree("maximum_spanning_tree", locals().copy(), maximum=True)
