"""Core numbers, the k-core family, onion layers and k-trusses (NetworkX's core).

Core numbers come from the bucket algorithm in C++; the subgraphs are cut
from the source graph as NetworkX cuts them, node data and edge data
included. A k-truss is NetworkX's copy of G less the edges the C++ rounds
drop and the nodes left without an edge, built from what remains.
"""

import networkx as nx

from .checks import absent, argument_rule
from .serve import EXACT, WORK_CORES, served
from .shared import new_graph, no_gc_pauses

_CORES = "The bucket algorithm in C++; subgraphs are cut from the source graph as NetworkX cuts them. " + EXACT
_SUBGRAPH_RULES = ("no_multigraph", "precomputed_cores")
_SELF_LOOPS = (
    "Input graph has self loops which is not permitted; "
    "Consider using G.remove_edges_from(nx.selfloop_edges(G))."
)

argument_rule("precomputed_cores", absent("core_number", "precomputed core numbers"))


def _core_numbers(fg):
    core = fg.core.core_numbers(nodes=fg.node_tuple)
    if core is None:
        raise nx.NetworkXNotImplemented(_SELF_LOOPS)
    return core


@served(docs=_CORES, rules=("no_multigraph",), min_work=WORK_CORES)
def core_number(G):
    return _core_numbers(G)


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
    return new_graph(G, order, edges)


def _core_subgraph(fg, k, keep, crust=False):
    """NetworkX's _core_subgraph on the source graph, from fennel's core numbers
    (with its ValueError for k=None on the null graph)."""
    core = _core_numbers(fg)
    if k is None:
        k = max(core.values()) - crust
    adj = fg.source._adj
    with no_gc_pauses():
        return _induced(fg.source, [v for v in core if keep(adj, v, k, core)])


@served(docs=_CORES, rules=_SUBGRAPH_RULES, min_work=WORK_CORES, keeps_attributes=True,
        answers=(ValueError,))
def k_core(G, k=None, core_number=None):
    return _core_subgraph(G, k, lambda adj, v, k, c: c[v] >= k)


@served(docs=_CORES, rules=_SUBGRAPH_RULES, min_work=WORK_CORES, keeps_attributes=True,
        answers=(ValueError,))
def k_shell(G, k=None, core_number=None):
    return _core_subgraph(G, k, lambda adj, v, k, c: c[v] == k)


@served(docs=_CORES, rules=_SUBGRAPH_RULES, min_work=WORK_CORES, keeps_attributes=True,
        answers=(ValueError,))
def k_crust(G, k=None, core_number=None):
    return _core_subgraph(G, k, lambda adj, v, k, c: c[v] <= k, crust=True)


@served(docs=_CORES, rules=_SUBGRAPH_RULES, min_work=WORK_CORES, keeps_attributes=True)
def k_corona(G, k, core_number=None):
    return _core_subgraph(G, k, lambda adj, v, k, c: c[v] == k and k == sum(1 for w in adj[v] if c[w] >= k))


_ONION_SELF_LOOPS = (
    "Input graph contains self loops which is not permitted; "
    "Consider using G.remove_edges_from(nx.selfloop_edges(G))."
)


@served(docs="The layers peeled in C++, each ordered as NetworkX's stable sort by degree orders it. " + EXACT,
        rules=("no_multigraph", "undirected_only"), data_rules=("keys",), min_work=WORK_CORES)
def onion_layers(G):
    found = G.core.onion_peel()
    if found is None:
        raise nx.NetworkXNotImplemented(_ONION_SELF_LOOPS)
    order, layers = found
    return dict(zip(map(G.nodes.__getitem__, order), layers))


@argument_rule("truss_k")
def _truss_k(a):
    k = a["k"]
    return None if type(k) in (int, float, bool) else f"k of type {type(k).__name__}"


@served(docs="The rounds in C++, each judging every edge on the graph as the round found it; the result is "
        "NetworkX's copy of G less the dropped edges and the nodes left bare. " + EXACT,
        rules=("no_multigraph", "undirected_only", "truss_k"), min_work=WORK_CORES, keeps_attributes=True)
def k_truss(G, k):
    need = k - 2
    if type(need) is int:
        need = max(-1, min(need, 2**53))  # the common neighbours of an edge number below 2**32
    kept = G.core.truss_edges(need)
    if kept is None:
        raise nx.NetworkXNotImplemented(_SELF_LOOPS)
    # NetworkX's G.copy() adds G's nodes, then G's edges row by row; the
    # removals leave what remains in that order, which adding only the kept
    # nodes and edges gives directly.
    S = G.source
    adj = S._adj
    nodes, edges = [], []
    slot = 0
    with no_gc_pauses():
        for name in G.nodes:
            row = adj[name]
            flags = kept[slot : slot + len(row)]
            slot += len(row)
            if any(flags):
                nodes.append(name)
                edges.extend((name, v, d) for (v, d), keep in zip(row.items(), flags) if keep)
        return new_graph(S, nodes, edges)
