"""Cycles (NetworkX's cycles module): the cycle basis, find_cycle, the girth,
simple_cycles, chordless_cycles, recursive_simple_cycles and the minimum
cycle basis.

The cycle basis, find_cycle and the girth come from C++ over G's rows; their
lists hold G's own node objects. simple_cycles and chordless_cycles keep
NetworkX's own loop over components: the components are sets, and the
subgraph views of them list a row in the set's order whenever the component
is small beside the row, so the orders of components, of their first nodes
and of the rows are those of CPython's sets. That loop (a component search
per node or edge taken out) runs as NetworkX writes it over NetworkX's own
graphs and views; the loop-free copy it starts from is built in C++, each
split into components runs in C++ over the rows the view lists (returning
NetworkX's sets), and so does each depth-first search, where the cycles are
found, handing out its cycles in growing batches.
"""

import math
import sys
from itertools import accumulate, chain, combinations, product

import networkx as nx

from .. import _core
from .checks import EXACT_INT_LIMIT, NX_VERSION, argument_rule, data_rule, keys, numbers
from .clique import node_hashes
from .components import _parts
from .serve import EXACT, WORK_DFS, WORK_SPANNING, always, served
from .shared import no_gc_pauses


@data_rule("own_root")
def _own_root(fg, a):
    """A given root is G's own node: NetworkX's cycles hold the object given."""
    root = a["root"]
    if root is None:
        return None
    try:
        i = fg.index.get(root)
    except TypeError:
        return "an unhashable root"
    if i is None:
        return "a root not in G"
    return None if fg.nodes[i] is root else "a root equal to a node of G but not the node itself"


@served(docs="Paton's spanning-tree walk in C++, in NetworkX's order of components, stack pops and "
        "neighbours. " + EXACT, rules=("undirected_only", "no_multigraph"), data_rules=("keys", "own_root"),
        min_work=WORK_DFS)
def cycle_basis(G, root=None):
    nodes, bounds = G.core.paton_cycles(None if root is None else G.index[root])
    names = list(map(G.nodes.__getitem__, nodes))
    return [names[bounds[c] : bounds[c + 1]] for c in range(len(bounds) - 1)]


_ORIENTATIONS = (None, "original", "reverse", "ignore")


@argument_rule("orientation")
def _orientation(a):
    """Orientations other than NetworkX's four raise in NetworkX's edge_dfs."""
    o = a["orientation"]
    return None if (o is None or type(o) is str) and o in _ORIENTATIONS else "an orientation NetworkX rejects"


def _own_node(fg, node):
    """Whether ``node`` is hashable, in G and G's own object; None when hashable but not in G."""
    try:
        i = fg.index.get(node)
    except TypeError:
        return False
    return None if i is None else fg.nodes[i] is node


argument_rule("simple_find_cycle", lambda a: "multigraph edges are walked key by key in NetworkX" if
              a["G"].is_multigraph() else None)


@data_rule("own_source")
def _own_source(fg, a):
    """find_cycle's first edge starts at the object given (G.nbunch_iter hands it out): only G's own node
    objects, alone or in a list, are served."""
    source = a["source"]
    if source is None:
        return None
    if type(source) is list:
        if all(_own_node(fg, s) is not False for s in source):
            return None
    elif _own_node(fg, source):
        return None
    return "a source other than G's own nodes or a list of them"


@data_rule("walked_keys")
def _walked_keys(fg, a):
    """Edges hold the neighbour objects of G._adj, and of G._pred when walked backwards."""
    if not fg.directed or a["orientation"] in (None, "original"):
        return keys(fg, a)
    return keys(fg, a) or (None if fg.keys_are_nodes(True) else "some neighbour keys of G._pred are not the "
                           "node objects themselves")


@served(docs="NetworkX's find_cycle (one edge_dfs per start) in C++, edges walked in NetworkX's order. " + EXACT,
        rules=("orientation", "simple_find_cycle"), data_rules=("own_source", "walked_keys"), min_work=WORK_DFS,
        bounded=always)
def find_cycle(G, source=None, orientation=None):
    index = G.index
    if source is None:
        starts = range(len(G))
    elif type(source) is list:
        starts = [index[s] for s in source if s in index]
    else:
        starts = [index[source]]
    walk = 0
    if G.directed and orientation in ("reverse", "ignore"):
        walk = 1 if orientation == "reverse" else 2
        G.load_exact_pred()
    found = G.core.first_cycle(starts, walk)
    if not found:
        raise nx.NetworkXNoCycle("No cycle found.")
    nodes = G.nodes
    if orientation is None:
        return [(nodes[t], nodes[h]) for t, h, _ in found]
    return [(nodes[h], nodes[t], "reverse") if back else (nodes[t], nodes[h], "forward") for t, h, back in found]


@served(docs="A breadth-first search per node in C++, stopped where NetworkX's stops. " + EXACT,
        rules=("undirected_only", "no_multigraph"), min_work=WORK_DFS)
def girth(G):
    found = G.core.girth()
    return math.inf if found is None else found


@argument_rule("int_length_bound")
def _int_length_bound(a):
    """The searches count lengths in 64 bits: a bound is None or an int below 2**63."""
    bound = a["length_bound"]
    return None if bound is None or (type(bound) is int and bound < 1 << 63) else "a length bound other than an int"


def _networkx(name):
    return nx.utils.backends._registered_algorithms[name].orig_func


def _own_rows(view):
    """For the graphs the searches build and their subgraph views: a function
    giving ``list(view[v])``, else None. Such a view lists a row in its
    graph's order, keeping the view's nodes (the row's filter is a closure,
    without a node set of its own to iterate): a plain loop lists it without
    the view's call per neighbour."""
    if _plain(view):
        adj = view._adj
        return lambda v: list(adj[v])
    base = getattr(view, "_graph", None)
    if (_plain(base) and type(view) is type(base) and type(getattr(view, "_NODE_OK", None)) is nx.filters.show_nodes
            and view._EDGE_OK is nx.filters.no_filter):
        keep, adj = view._NODE_OK.nodes, base._adj
        return lambda v: [w for w in adj[v] if w in keep]
    return None


def _plain(G):
    """Whether G is a Graph or DiGraph holding its own dicts (views are
    instances of the same classes, over another graph's dicts)."""
    return type(G) in (nx.Graph, nx.DiGraph) and "_graph" not in G.__dict__


def _row_lister(view):
    """A function giving ``list(view[v])``."""
    return _own_rows(view) or (lambda v: list(view[v]))


def _separate(view):
    """NetworkX's strongly connected (directed) or biconnected components of
    ``view``, as a list of sets, computed in C++ over the rows NetworkX
    lists; NetworkX's own search for graphs other than the searches' own."""
    directed = view.is_directed()
    row_of = _own_rows(view)
    if row_of is None:
        name = "strongly_connected_components" if directed else "biconnected_components"
        return list(_networkx(name)(view))
    nodes = list(view)
    index = {v: i for i, v in enumerate(nodes)}
    if _plain(view):
        rows = view._adj
    else:
        empty = {}
        rows = {v: dict.fromkeys(row_of(v), empty) for v in nodes}
    core = _core.build_graph(nodes, index, rows, directed, [])
    with no_gc_pauses():
        if directed:
            return core.strongly_connected(nodes=tuple(nodes), shortcut=NX_VERSION >= (3, 7))
        return core.biconnected_sets(tuple(nodes))


def _rows(view, nodes, listed=None):
    """(offsets, targets, index) of the rows in ``view`` listed as NetworkX's neighbourhood cache lists them;
    ``listed``: the rows by node where only some are read (the others empty)."""
    index = {v: i for i, v in enumerate(nodes)}
    rows = list(map(_row_lister(view), nodes)) if listed is None else [listed.get(v, ()) for v in nodes]
    return [0, *accumulate(map(len, rows))], [index[w] for w in chain.from_iterable(rows)], index


def _reach(view, path, length_bound):
    """The rows a bounded search reads: those of nodes within ``length_bound - len(path)`` steps of the path's
    end (a node joins the path only while the path is shorter than the bound), and every node they name."""
    seen = dict.fromkeys(path)
    listed = {}
    frontier = [path[-1]]
    row_of = _row_lister(view)
    for _ in range(length_bound - len(path) + 1):
        ahead = []
        for v in frontier:
            if v not in listed:
                row = listed[v] = row_of(v)
                for w in row:
                    if w not in seen:
                        seen[w] = None
                        ahead.append(w)
        frontier = ahead
    return tuple(seen), listed


def _batches(search, nodes):
    """The search's cycles as lists of ``nodes``' objects, a batch at a time."""
    batch = 1
    while True:
        with no_gc_pauses():  # a batch's lists hold no cycles
            found = _core._cycle_next(search, batch, nodes)
        yield from found
        if len(found) < batch:
            return
        batch = min(batch * 4, 4096)


def _johnson(view, path, length_bound):
    if length_bound is None:
        nodes, listed = tuple(view), None
    else:
        # NetworkX lists a row when the search first reads it: a bounded
        # search reads those near the path alone.
        nodes, listed = _reach(view, path, length_bound)
    offsets, targets, index = _rows(view, nodes, listed)
    search = _core._johnson_search(offsets, targets, [index[v] for v in path], length_bound)
    return _batches(search, nodes)


def _without_loops(G, directed):
    """NetworkX's ``DiGraph((u, v) for u, Gu in G.adj.items() for v in Gu if v != u)``
    (``Graph`` when undirected), its dicts made in C++ where G's are plain."""
    plain = type(G) in (nx.Graph, nx.DiGraph, nx.MultiGraph, nx.MultiDiGraph) and type(G._adj) is dict
    with no_gc_pauses():  # dicts of empty dicts: no cycles to find
        made = _core._edges_copy(G._adj, directed) if plain else None
    if made is None:
        edges = ((u, v) for u, Gu in G.adj.items() for v in Gu if v != u)
        return nx.DiGraph(edges) if directed else nx.Graph(edges)
    H = nx.DiGraph() if directed else nx.Graph()
    H._node, H._adj = made[0], made[1]
    if directed:
        H._succ, H._pred = made[1], made[2]
    return H


def _simple_cycles(G, length_bound):
    # NetworkX's simple_cycles up to its searches, which run in C++.
    if length_bound is not None:
        if length_bound == 0:
            return
        elif length_bound < 0:
            raise ValueError("length bound must be non-negative")
    directed = G.is_directed()
    yield from ([v] for v, Gv in G.adj.items() if v in Gv)
    if length_bound is not None and length_bound == 1:
        return
    if G.is_multigraph() and not directed:
        visited = set()
        for u, Gu in G.adj.items():
            multiplicity = ((v, len(Guv)) for v, Guv in Gu.items() if v in visited)
            yield from ([u, v] for v, m in multiplicity if m > 1)
            visited.add(u)
    G = _without_loops(G, directed)
    if length_bound is not None and length_bound == 2:
        if directed:
            visited = set()
            for u, Gu in G.adj.items():
                yield from ([v, u] for v in visited.intersection(Gu) if G.has_edge(v, u))
                visited.add(u)
        return
    if directed:
        components = [c for c in _separate(G) if len(c) >= 2]
        while components:
            c = components.pop()
            Gc = G.subgraph(c)
            v = next(iter(c))
            yield from _johnson(Gc, [v], length_bound)
            G.remove_node(v)
            components.extend(c for c in _separate(Gc) if len(c) >= 2)
    else:
        components = [c for c in _separate(G) if len(c) >= 3]
        while components:
            c = components.pop()
            Gc = G.subgraph(c)
            uv = list(next(iter(Gc.edges)))
            G.remove_edge(*uv)
            yield from _johnson(Gc, uv, length_bound)
            components.extend(c for c in _separate(Gc) if len(c) >= 3)


_SEARCH_DOCS = (
    "NetworkX's loop over components (CPython's set orders included), with the graph's loop-free copy, each "
    "split into components and each depth-first search in C++ over the rows NetworkX's views list. " + EXACT
)


# Both searches walk NetworkX's own graph (its copies, views and removals):
# a native graph builds its dicts for them.
@served(docs=_SEARCH_DOCS, rules=("int_length_bound",), data_rules=("keys",), min_work=WORK_DFS,
        keeps_attributes=True)
def simple_cycles(G, length_bound=None):
    return _simple_cycles(G.source, length_bound)


def _chordless_rows(Fc, Bc, nodes):
    """The C++ rows of one component: Fc's rows, and Bc's to block along (Fc's when Bc is None)."""
    offsets, targets, index = _rows(Fc, nodes)
    if Bc is None:
        return _core._chordless_rows(offsets, targets, None, None), index
    b_offsets, b_targets, _ = _rows(Bc, nodes)
    return _core._chordless_rows(offsets, targets, b_offsets, b_targets), index


def _chordless_cycles(G, length_bound):
    # NetworkX's chordless_cycles up to its searches, which run in C++.
    if length_bound is not None:
        if length_bound == 0:
            return
        elif length_bound < 0:
            raise ValueError("length bound must be non-negative")
    directed = G.is_directed()
    multigraph = G.is_multigraph()
    if multigraph:
        yield from ([v] for v, Gv in G.adj.items() if len(Gv.get(v, ())) == 1)
    else:
        yield from ([v] for v, Gv in G.adj.items() if v in Gv)
    if length_bound is not None and length_bound == 1:
        return
    loops = {n for n, nbrs in G._adj.items() if n in nbrs}
    edges = ((u, v) for u in G if u not in loops for v in G._adj[u] if v not in loops)
    if directed:
        F = nx.DiGraph(edges)
        B = F.to_undirected(as_view=False)
    else:
        F = nx.Graph(edges)
        B = None
    if multigraph:
        if not directed:
            B = F.copy()
            visited = set()
        for u, Gu in G.adj.items():
            if u in loops:
                continue
            if directed:
                multiplicity = ((v, len(Guv)) for v, Guv in Gu.items())
                for v, m in multiplicity:
                    if m > 1:
                        F.remove_edges_from(((u, v), (v, u)))
            else:
                multiplicity = ((v, len(Guv)) for v, Guv in Gu.items() if v in visited)
                for v, m in multiplicity:
                    if m == 2:
                        yield [u, v]
                    if m > 1:
                        F.remove_edge(u, v)
                visited.add(u)
    if directed:
        for u, Fu in F.adj.items():
            digons = [[u, v] for v in Fu if F.has_edge(v, u)]
            yield from digons
            F.remove_edges_from(digons)
            F.remove_edges_from(e[::-1] for e in digons)
    if length_bound is not None and length_bound == 2:
        return
    if directed:
        def stems(C, v):
            for u, w in product(C.pred[v], C.succ[v]):
                if not G.has_edge(u, w):
                    yield [u, v, w], F.has_edge(w, u)

    else:
        def stems(C, v):
            yield from (([u, v, w], F.has_edge(w, u)) for u, w in combinations(C[v], 2))

    components = [c for c in _separate(F) if len(c) > 2]
    while components:
        c = components.pop()
        v = next(iter(c))
        Fc = F.subgraph(c)
        rows = None
        for S, is_triangle in stems(Fc, v):
            if is_triangle:
                yield S
            else:
                if rows is None:
                    nodes = tuple(Fc)
                    rows, index = _chordless_rows(Fc, None if B is None else B.subgraph(c), nodes)
                search = _core._chordless_search(rows, [index[x] for x in S], length_bound)
                yield from _batches(search, nodes)
        components.extend(c for c in _separate(F.subgraph(c - {v})) if len(c) > 2)


@served(docs=_SEARCH_DOCS, rules=("int_length_bound",), data_rules=("keys",), min_work=WORK_DFS,
        keeps_attributes=True, release="NetworkX before 3.6 builds chordless_cycles' graph another way" if NX_VERSION < (3, 6) else None)
def chordless_cycles(G, length_bound=None):
    return _chordless_cycles(G.source, length_bound)


argument_rule("directed_only",
              lambda a: None if a["G"].is_directed() else "undirected graphs are NetworkX's to reject")

# Frames NetworkX's call takes besides its recursion (the dispatcher's, the
# function's own, the unblocking's first), with room to spare.
_FRAMES_BESIDE = 64


def _stack_depth():
    frame, depth = sys._getframe(), 0
    while frame is not None:
        frame, depth = frame.f_back, depth + 1
    return depth


@data_rule("recursion_room")
def _recursion_room(fg, a):
    """NetworkX's circuit() recurses once per node of the path, and its _unblock once per node of a chain
    of blocked nodes, both within one strongly connected component: where the two could pass the
    interpreter's recursion limit, NetworkX runs (and raises RecursionError where it does)."""
    largest = max(map(len, _parts(fg, "strongly_connected")), default=0)
    if 2 * largest + _stack_depth() + _FRAMES_BESIDE <= sys.getrecursionlimit():
        return None
    return f"NetworkX's recursion over a strongly connected component of {largest} nodes could reach the recursion limit"


@data_rule("loops_once")
def _loops_once(fg, a):
    """NetworkX removes one self-loop per node; a multigraph's second loop stays in its search."""
    if fg.multigraph and any(len(nbrs.get(v, ())) > 1 for v, nbrs in fg.source._adj.items()):
        return "a node with several self-loops (NetworkX removes one and searches the others)"
    return None


@data_rule("caller_graph")
def _caller_graph(fg, a):
    """The self-loops are removed from the caller's graph, which a converted graph must still reach."""
    try:
        fg.source
    except NotImplementedError as exc:
        return str(exc)
    return None


argument_rule("multigraph_subgraph_view", lambda a: "a multigraph subgraph view's components filter the underlying "
              "graph's rows, listed in set order by their own lengths" if a["G"].is_multigraph() and
              hasattr(a["G"], "_NODE_OK") else None)


@served(docs="Johnson's circuits in C++, per start in node order over the strongly connected component of "
        "the nodes from it on; the self-loops are reported first and removed from the caller's graph, as "
        "NetworkX removes them. " + EXACT,
        rules=("directed_only", "multigraph_subgraph_view"),
        data_rules=("keys", "loops_once", "caller_graph", "recursion_room"),
        min_work=WORK_DFS)
def recursive_simple_cycles(G):
    nodes, bounds = G.core.recursive_cycles(G.multigraph)
    names = list(map(G.nodes.__getitem__, nodes))
    cycles = [names[bounds[c] : bounds[c + 1]] for c in range(len(bounds) - 1)]
    # NetworkX's first loop reports [v] for each self-loop and removes it
    # from the caller's graph (its dispatch marks the call mutating).
    loops = [c[0] for c in cycles[: _loop_count(bounds)]]
    if loops:
        source = G.source
        for v in loops:
            source.remove_edge(v, v)
        G.source_changed()
    return cycles


def _loop_count(bounds):
    """How many leading cycles are single nodes (the self-loops, which come first)."""
    count = 0
    while count + 1 < len(bounds) and bounds[count + 1] - bounds[count] == 1:
        count += 1
    return count


@data_rule("lifted_names")
def _lifted_names(fg, a):
    """NetworkX's lifted graph names the copy of v (v, 1): a node equal to such a pair would be merged."""
    index = fg.index
    for node in fg.nodes:
        if isinstance(node, tuple) and len(node) == 2:
            try:
                clash = node[1] == 1 and node[0] in index
            except TypeError:
                clash = False
            if clash:
                return f"node {node!r} is the name NetworkX gives a lifted copy of {node[0]!r}"
    return None


@argument_rule("components_of_view")
def _components_of_view(a):
    """NetworkX takes each component as G.subgraph(c): of a subgraph view, that filters the view's
    underlying graph, whose longer rows and node dict are listed in the order of the component's set
    where the view's own are not."""
    return "a subgraph view's components are left to NetworkX" if hasattr(a["G"], "_NODE_OK") else None


@data_rule("basis_weights")
def _basis_weights(fg, a):
    """Weights the lifted Dijkstra searches add exactly as doubles: numbers, none negative (NetworkX's
    searches may stop or raise on them) and integer sums below 2**53; Kruskal's pass reads the
    attribute keyed None (weight=None), which fennel takes as 1."""
    if fg.reads_none_key():
        return "some edges have an attribute keyed None, which NetworkX's spanning tree reads"
    weight = a["weight"]
    if weight is None:
        return None
    reason, facts = numbers(fg, weight, hidden_allowed=False)
    if reason:
        return reason
    if facts.neg_inf or (facts.min_finite is not None and facts.min_finite < 0):
        return f"some {weight!r} weights are negative"
    # A lifted path holds at most 2n edges; the bidirectional search adds two.
    if (facts.all_int or facts.mixed) and facts.max_finite is not None:
        if facts.max_finite * (2 * len(fg.nodes) + 2) >= EXACT_INT_LIMIT:
            return f"integer path lengths over {weight!r} could exceed 2**53"
    return None


@served(docs="Per connected component, the chords in the order of NetworkX's set of them and one lifted "
        "Dijkstra search per node and chord in C++, ties broken as NetworkX's searches break them. " + EXACT,
        rules=("undirected_only", "no_multigraph", "components_of_view"),
        data_rules=("keys", "lifted_names", "basis_weights"),
        weight="weight", min_work=WORK_SPANNING,
        release=None if NX_VERSION >= (3, 6) else "this NetworkX release's minimum cycle basis is not followed")
def minimum_cycle_basis(G, weight=None):
    nodes, bounds = G.core.min_cycle_basis(node_hashes(G), weight)
    names = list(map(G.nodes.__getitem__, nodes))
    return [names[bounds[c] : bounds[c + 1]] for c in range(len(bounds) - 1)]
