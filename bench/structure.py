"""Components, generations, longest paths, transitive closures and reductions,
lexicographical and all topological orders, antichains, lowest common ancestors, isolates, cores, onion layers, trusses,
colouring, label propagation, Kruskal, triangles and cycles: fennel against
NetworkX, in one run.

Graphs: a random 100,000-node, 500,000-edge graph (undirected, and directed
for the directed functions; a DAG for the topological ones) with int weights
1..100, a 3,000-node, 6,000-edge DAG for the closures and reductions, an 8x8
directed grid for antichains, a random 2,000-node tree and 300-node DAG for the
lowest common ancestors of all pairs, a 30-node, 40-edge DAG for the first 10,000
topological sorts, a 20,000-node preferential-attachment graph (5 edges per
new node), a 300-node, 600-edge random graph for the minimum cycle basis (60
and 120 with --quick) and a 25-node digraph holding 10,588 simple cycles for
recursive_simple_cycles. Each function: NetworkX, fennel on its first call (conversion
included, on a fresh copy) and cached. Every fennel answer is checked to
equal NetworkX's before its time is shown. Then igraph's and NetworKit's
counterparts on the same graphs, one thread, where installed (their answers
are not NetworkX's: other orders, other tie-breaks).

    python bench/structure.py [--quick]
"""

import sys
import time
from itertools import islice

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli
from conversion import random_graph


def listed(result):
    """Generators and views consumed, sets in iteration order."""
    if isinstance(result, nx.Graph):
        return ("graph", list(result.nodes(data=True)), list(result.edges(data=True)))
    if isinstance(result, dict):
        return list(result.items())
    if hasattr(result, "__iter__") and not isinstance(result, str | set | frozenset):
        return [listed(x) for x in result]
    if isinstance(result, set | frozenset):
        return list(result)
    return result


CASES = [
    ("connected_components", "und", lambda G, **kw: nx.connected_components(G, **kw)),
    ("number_connected_components", "und", lambda G, **kw: nx.number_connected_components(G, **kw)),
    ("weakly_connected_components", "dir", lambda G, **kw: nx.weakly_connected_components(G, **kw)),
    ("strongly_connected_components", "dir", lambda G, **kw: nx.strongly_connected_components(G, **kw)),
    ("condensation", "dir", lambda G, **kw: nx.condensation(G, **kw)),
    ("attracting_components", "dir", lambda G, **kw: nx.attracting_components(G, **kw)),
    ("topological_generations", "dag", lambda G, **kw: nx.topological_generations(G, **kw)),
    ("topological_sort", "dag", lambda G, **kw: nx.topological_sort(G, **kw)),
    ("is_directed_acyclic_graph", "dag", lambda G, **kw: nx.is_directed_acyclic_graph(G, **kw)),
    ("dag_longest_path", "dag", lambda G, **kw: nx.dag_longest_path(G, **kw)),
    ("dag_longest_path_length", "dag", lambda G, **kw: nx.dag_longest_path_length(G, **kw)),
    ("transitive_closure", "small_dag", lambda G, **kw: nx.transitive_closure(G, **kw)),
    ("transitive_closure (reflexive=None)", "small_dag",
     lambda G, **kw: nx.transitive_closure(G, reflexive=None, **kw)),
    ("transitive_closure_dag", "small_dag", lambda G, **kw: nx.transitive_closure_dag(G, **kw)),
    ("transitive_reduction", "small_dag", lambda G, **kw: nx.transitive_reduction(G, **kw)),
    ("lexicographical_topological_sort", "dag", lambda G, **kw: nx.lexicographical_topological_sort(G, **kw)),
    ("antichains (8x8 grid)", "grid", lambda G, **kw: nx.antichains(G, **kw)),
    ("all_topological_sorts (first 10,000)", "sorts_dag",
     lambda G, **kw: list(islice(nx.all_topological_sorts(G, **kw), 10_000))),
    ("tree_all_pairs_lowest_common_ancestor", "tree", lambda G, **kw: nx.tree_all_pairs_lowest_common_ancestor(G, **kw)),
    ("all_pairs_lowest_common_ancestor", "lca_dag", lambda G, **kw: nx.all_pairs_lowest_common_ancestor(G, **kw)),
    ("isolates", "und", lambda G, **kw: nx.isolates(G, **kw)),
    ("is_bipartite", "und", lambda G, **kw: nx.is_bipartite(G, **kw)),
    ("is_forest", "und", lambda G, **kw: nx.is_forest(G, **kw)),
    ("core_number", "und", lambda G, **kw: nx.core_number(G, **kw)),
    ("core_number (pref. attachment)", "ba", lambda G, **kw: nx.core_number(G, **kw)),
    ("k_core", "ba", lambda G, **kw: nx.k_core(G, **kw)),
    ("onion_layers", "ba", lambda G, **kw: nx.onion_layers(G, **kw)),
    ("k_truss", "ba", lambda G, **kw: nx.k_truss(G, 4, **kw)),
    ("greedy_color", "und", lambda G, **kw: nx.greedy_color(G, **kw)),
    ("label_propagation_communities", "ba",
     lambda G, **kw: nx.community.label_propagation_communities(G, **kw)),
    ("minimum_spanning_edges", "und", lambda G, **kw: nx.minimum_spanning_edges(G, **kw)),
    ("minimum_spanning_tree", "und", lambda G, **kw: nx.minimum_spanning_tree(G, **kw)),
    ("triangles", "und", lambda G, **kw: nx.triangles(G, **kw)),
    ("triangles (pref. attachment)", "ba", lambda G, **kw: nx.triangles(G, **kw)),
    ("clustering", "ba", lambda G, **kw: nx.clustering(G, **kw)),
    ("average_clustering", "ba", lambda G, **kw: nx.average_clustering(G, **kw)),
    ("transitivity", "ba", lambda G, **kw: nx.transitivity(G, **kw)),
    ("find_cycle", "dir", lambda G, **kw: nx.find_cycle(G, **kw)),
    ("girth (pref. attachment)", "ba", lambda G, **kw: nx.girth(G, **kw)),
    ("simple_cycles (first 1000)", "dir", lambda G, **kw: list(islice(nx.simple_cycles(G, **kw), 1000))),
    ("simple_cycles <= 4 (pref., first 1000)", "ba", lambda G, **kw: list(islice(nx.simple_cycles(G, 4, **kw), 1000))),
    ("chordless_cycles (pref., first 1000)", "ba", lambda G, **kw: list(islice(nx.chordless_cycles(G, **kw), 1000))),
    ("recursive_simple_cycles (10,588)", "cycles", lambda G, **kw: nx.recursive_simple_cycles(G, **kw)),
    ("minimum_cycle_basis", "basis", lambda G, **kw: nx.minimum_cycle_basis(G, **kw)),
    ("minimum_cycle_basis (weights)", "basis", lambda G, **kw: nx.minimum_cycle_basis(G, "weight", **kw)),
]


def graphs(scale):
    n, m = 100_000 // scale, 500_000 // scale
    und = random_graph(directed=False, n=n, m=m, seed=5)
    dig = random_graph(directed=True, n=n, m=m, seed=6)
    dag = nx.DiGraph()
    dag.add_nodes_from(dig)
    dag.add_edges_from((u, v) for u, v in dig.edges if u < v)
    ba = nx.barabasi_albert_graph(20_000 // scale, 5, seed=7)
    # Closures grow with the square of what each node reaches: a smaller DAG.
    few = random_graph(directed=True, n=3000 // min(scale, 5), m=6000 // min(scale, 5), seed=8)
    small_dag = nx.DiGraph()
    small_dag.add_nodes_from(few)
    small_dag.add_edges_from((u, v) for u, v in few.edges if u < v)
    # 12,870 antichains: the lattice paths of an 8x8 grid.
    grid = nx.DiGraph((u, v) for u, v in nx.grid_2d_graph(8, 8).edges if u < v)
    # The cycle basis costs NetworkX a Dijkstra search per node and chord.
    basis = random_graph(directed=False, n=300 // min(scale, 5), m=600 // min(scale, 5), seed=9)
    # No self-loops: recursive_simple_cycles would remove them from the graph.
    cycles = nx.gnp_random_graph(25, 0.135, seed=10, directed=True)
    # Lowest common ancestors of every pair: n(n + 1) / 2 answers.
    tree = nx.bfs_tree(nx.random_labeled_tree(2000 // scale, seed=9), 0)
    lca_dag = _dag_of(random_graph(directed=True, n=300 // min(scale, 5), m=3000 // min(scale, 5), seed=10))
    # Far more sorts than the 10,000 taken.
    sorts_dag = _dag_of(random_graph(directed=True, n=30, m=40, seed=11))
    return {"und": und, "dir": dig, "dag": dag, "ba": ba, "small_dag": small_dag, "grid": grid, "basis": basis,
            "cycles": cycles, "tree": tree, "lca_dag": lca_dag, "sorts_dag": sorts_dag}


def _dag_of(G):
    dag = nx.DiGraph()
    dag.add_nodes_from(G)
    dag.add_edges_from((u, v) for u, v in G.edges if u < v)
    return dag


def consumed(result):
    """What a caller takes: generators and views run to the end (sets, dicts and graphs as they come)."""
    if hasattr(result, "__next__") or type(result).__name__ == "dict_values":
        return list(result)
    return result


def timed(fn, repeats):
    """Best time of fn() with its result consumed; the result for the comparison."""
    best, result = float("inf"), None
    for _ in range(repeats):
        t = time.perf_counter()
        result = consumed(fn())
        best = min(best, time.perf_counter() - t)
    return best, result


def yardsticks(gs, igraph, nk):
    rows = []
    if igraph is not None:

        def ig(G, directed):
            g = igraph.Graph(n=len(G), edges=list(G.edges), directed=directed)
            if not directed:
                g.es["weight"] = [w for _, _, w in G.edges(data="weight")]
            return g

        und, dig, ba = ig(gs["und"], False), ig(gs["dir"], True), ig(gs["ba"], False)
        dag = ig(gs["dag"], True)
        rows += [
            ("igraph connected_components", timed(lambda: und.connected_components(), 3)[0]),
            ("igraph connected_components (strong)", timed(lambda: dig.connected_components("strong"), 3)[0]),
            ("igraph topological_sorting", timed(lambda: dag.topological_sorting(), 3)[0]),
            ("igraph coreness", timed(lambda: und.coreness(), 3)[0]),
            ("igraph coreness (pref. attachment)", timed(lambda: ba.coreness(), 3)[0]),
            ("igraph spanning_tree (weights)", timed(lambda: und.spanning_tree(weights="weight"), 3)[0]),
            ("igraph list_triangles", timed(lambda: und.list_triangles(), 3)[0]),
            ("igraph transitivity_local (pref. attachment)", timed(lambda: ba.transitivity_local_undirected(), 3)[0]),
            ("igraph community_label_propagation (pref.)", timed(lambda: ba.community_label_propagation(), 3)[0]),
            ("igraph girth (pref. attachment)", timed(lambda: ba.girth(), 3)[0]),
        ]
    if nk is not None:
        nk.setNumberOfThreads(1)
        und = nk.nxadapter.nx2nk(gs["und"])
        ba = nk.nxadapter.nx2nk(gs["ba"])
        rows += [
            ("NetworKit ConnectedComponents", timed(lambda: nk.components.ConnectedComponents(und).run(), 3)[0]),
            ("NetworKit CoreDecomposition", timed(lambda: nk.centrality.CoreDecomposition(und).run(), 3)[0]),
            ("NetworKit LocalClusteringCoefficient (pref.)",
             timed(lambda: nk.centrality.LocalClusteringCoefficient(ba).run(), 3)[0]),
        ]
    return rows


def main(quick):
    nx.config.warnings_to_ignore.add("cache")
    peers = cli.peer("igraph"), cli.peer("networkit")
    gs = graphs(20 if quick else 1)
    print(f"random graphs of {len(gs['und']):,} nodes and {gs['und'].number_of_edges():,} edges; "
          f"preferential attachment: {len(gs['ba']):,} nodes")
    print(f"{'case':<38}{'NetworkX':>10}{'first':>10}{'cached':>10}{'vs first':>10}{'vs cached':>11}")
    for name, key, call in CASES:
        G = gs[key]
        t_nx, expected = timed(lambda: call(G, backend="networkx"), 1)
        expected = listed(expected)
        fresh = G.copy()
        t_first, got = timed(lambda: call(fresh, backend="fennel"), 1)
        if listed(got) != expected:
            raise SystemExit(f"fennel's {name} differs from NetworkX's (first call)")
        t_cached, got = timed(lambda: call(G, backend="fennel"), 3)
        if listed(got) != expected:
            raise SystemExit(f"fennel's {name} differs from NetworkX's")
        print(f"{name:<38}{t_nx:>9.3f}s{t_first:>9.3f}s{t_cached:>9.4f}s{t_nx / t_first:>9.1f}x{t_nx / t_cached:>10.1f}x")
    print()
    for name, t in yardsticks(gs, *peers):
        print(f"{name:<46}{t:>9.4f}s")


if __name__ == "__main__":
    main(cli.parser(__doc__, "every graph 20 times smaller", ["igraph", "networkit"]).parse_args().quick)
