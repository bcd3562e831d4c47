"""fennel against NetworkX and against igraph, NetworKit and rustworkx, in one run.

One representative call per family fennel serves, on the same random graphs:

* B: undirected, 2,000 nodes, 10,000 edges (a random spanning path plus
  random edges, so connected), unweighted: betweenness (k=None), closeness,
  eccentricity, average_shortest_path_length and all_pairs_shortest_path_length
  (the generator consumed to the end);
* D: directed, 100,000 nodes, 500,000 edges, float weights 1..100: BFS and
  Dijkstra lengths from node 0, bfs_edges and dfs_preorder_nodes from node 0
  (listed), pagerank (weighted), strongly_connected_components;
* U: undirected, 20,000 nodes, 100,000 edges, unweighted: eigenvector and
  Katz centrality (alpha=0.05, below 1 / the largest eigenvalue),
  connected_components, biconnected_components, bridges, find_cliques,
  core_number, triangles, clustering, transitivity,
  louvain_communities and asyn_lpa_communities (seed=1; igraph's multilevel
  and label propagation, NetworKit's PLM and PLP);
* B also: greedy_modularity_communities (igraph's fastgreedy);
* W: undirected, 2,000 nodes, 10,000 edges (connected as B), float weights
  1..100: max_weight_matching (rustworkx's, the same blossom algorithm, on the
  weights times 1,000 as ints: it takes integer weights);
* A: directed acyclic, 2,000 nodes, 10,000 edges (every edge from the smaller
  node to the larger): transitive_closure_dag and transitive_reduction
  (rustworkx's reduction; no peer has a closure);
* flows: maximum_flow_value and minimum_cut_value from node 0 to node 1 of D
  with its weights as capacities (NetworkX's default flow function,
  preflow-push; igraph's maxflow_value and mincut_value, NetworKit's
  EdmondsKarp), and on F, undirected, 1,000 nodes, 4,000 edges (connected as
  B), float weights 1..100: node_connectivity (igraph's vertex_connectivity),
  and with the weights as capacities gomory_hu_tree (igraph's
  gomory_hu_tree) and stoer_wagner (igraph's mincut);
* neighbourhood measures: on U, hits with an nstart of ones (without one,
  scipy's SVD starts from a random vector; igraph's hub and authority scores),
  degree_centrality, square_clustering (NetworKit's
  LocalSquareClusteringCoefficient) and local_efficiency, and the link
  predictors jaccard_coefficient, adamic_adar_index,
  resource_allocation_index and preferential_attachment over 100,000 random
  pairs of distinct nodes (igraph's similarity_jaccard, NetworKit's
  link-prediction indices); on P, a preferential-attachment graph
  (nx.barabasi_albert_graph(20,000, 5)), degree_assortativity_coefficient,
  average_neighbor_degree (igraph's knn) and constraint; on D,
  overall_reciprocity;
* UW: U's sizes with float weights 1..100: minimum_spanning_tree (igraph's
  spanning_tree, NetworKit's KruskalMSF, rustworkx's minimum_spanning_tree);
* DAG: directed acyclic, 100,000 nodes, 500,000 edges (as A):
  topological_sort (listed);
* B also: harmonic_centrality (igraph's harmonic_centrality, NetworKit's
  HarmonicCloseness); U also: label_propagation_communities and
  greedy_color (largest_first);
* BA: nx.barabasi_albert_graph(50,000, 5): core_number, triangles,
  clustering; M: undirected, 250,000 nodes, 1,000,000 edges:
  connected_components, core_number and BFS lengths from node 0;
* E, constructors: from_edgelist of a 1,000,000 x 2 int64 numpy array (node ids
  drawn from range(100,000)) and from_pandas_edgelist of the same edges with
  a float weight column.

Columns: NetworkX; fennel's first call (the conversion of the NetworkX graph
included: the graph's conversion cache is cleared before it; constructors
have none); fennel's cached calls with 1 and with 2 worker threads; igraph,
NetworKit and rustworkx, each on its own graph built beforehand from the same
edges (not timed), calling its closest counterpart. "-" where a peer has no
such function or is not installed. Ratios: NetworkX / fennel cached 1 thread,
fastest peer / fennel cached 1 thread (above 1: fennel is faster), and fennel
1 thread / fennel 2 threads.

Threads: fennel's pool size is fixed when the process starts, so the work
runs in two subprocesses of this script. The first (RAYON_NUM_THREADS=1,
OMP_NUM_THREADS=1) times NetworkX, fennel at 1 thread and the peers, all
single-threaded: NetworKit through nk.setNumberOfThreads(1), rustworkx
through RAYON_NUM_THREADS=1 (its parallel paths use the same variable),
igraph being single-threaded. The second (RAYON_NUM_THREADS=2) times fennel
at 2 threads.

Times: fennel's cached calls are the best of 3. NetworkX's and the peers'
calls run once and, when that run took under a second, twice more, the best
being shown; a "*" marks a time from a single run. The first call is one run.
Every result is consumed (generators listed).

Checks: "equal" says that fennel's answer is NetworkX's exactly: in the
1-thread process the two answers are compared with == and their reprs
compared too (repr keeps the order of dicts and sets and the type of every
number: 1 and 1.0 differ), graphs by their node, adjacency and edge-data
listings; the 2-thread process sends the SHA-256 of the repr of its answer,
which must match that of NetworkX's answer. Every fennel call is checked to
have been served by fennel (its call counter records a run; an explicit
backend="fennel" never falls back to NetworkX but raises
NotImplementedError, which is reported as "not served"); constructors must
also return a native fennel graph. The peers' answers are not compared: their
orders, tie-breaks and convergence tests are not NetworkX's.

Answer floor ("answer"): for calls whose NetworkX answer is made of dicts
(a dict, a dict of dicts, or a list of (node, dict) pairs, like the listed
all-pairs lengths), the best of 3 times Python takes to build an answer of
the same shape from ready lists of its keys and values, dict(zip(keys,
values)) per dict; "ans/1t" divides it by fennel's 1-thread time. No call
can return such an answer faster than it can be built, so families whose
answer is n dicts of n entries are judged against this floor: the peers
return arrays.

Output: the table; with --json PATH the same numbers as JSON, with --png PATH
a bar chart of the speedups over NetworkX on a log scale (needs matplotlib;
the folder is made if missing). Nothing else is written: the subprocesses
hand their rows over in a temporary folder. The chart in the README,
docs/peers.png, comes from a full run with --png docs/peers.png.

    python bench/peers.py                      # full sizes, about 5-10 minutes on 2 cores
    python bench/peers.py --small              # every size / 10, about a minute
    python bench/peers.py --quick              # every size / 100, seconds
    python bench/peers.py --json out.json --png out.png
    python bench/peers.py --only bridges,cliques  # rows whose name or family holds one of the words
"""

import gc
import hashlib
import json
import os
import platform
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
import numpy as np

import cli

ONE_RUN_ABOVE = 1.0  # seconds: slower NetworkX and peer calls run once
FENNEL_REPEATS = 3
PEERS = ("igraph", "networkit", "rustworkx")
PEER_TITLES = {"igraph": "igraph", "networkit": "NetworKit", "rustworkx": "rustworkx"}


def sized(scale):
    """The graphs, name -> (nodes, edges, directed, weighted, connected), and the
    constructors' edge count, every size divided by `scale`."""
    graphs = {
        "B": (2_000 // scale, 10_000 // scale, False, False, True),
        "D": (100_000 // scale, 500_000 // scale, True, True, False),
        "U": (20_000 // scale, 100_000 // scale, False, False, False),
        "W": (2_000 // scale, 10_000 // scale, False, True, True),
        "A": (2_000 // scale, 10_000 // scale, True, False, False),
        "F": (1_000 // scale, 4_000 // scale, False, True, True),
        "P": (20_000 // scale, 100_000 // scale, False, False, False),
        "UW": (20_000 // scale, 100_000 // scale, False, True, False),
        "DAG": (100_000 // scale, 500_000 // scale, True, False, False),
        "BA": (50_000 // scale, 250_000 // scale, False, False, False),
        "M": (250_000 // scale, 1_000_000 // scale, False, False, False),
    }
    return graphs, 1_000_000 // scale


# Set from the command line: --small divides every size by 10, --quick by 100;
# --only keeps the rows whose name or family holds one of its words.
ONLY = None
QUICK = False
SCALE = 1
GRAPHS, ARRAY_EDGES = sized(SCALE)
# The constructors' inputs (an array, and a DataFrame of the same edges) are shown as E.
GRAPH_LABELS = {"B": "B", "D": "D", "U": "U", "W": "W", "A": "A", "F": "F", "P": "P", "UW": "UW", "DAG": "DAG",
                "BA": "BA", "M": "M", "array": "E", "frame": "E"}
# Graphs whose edges all run from the smaller node to the larger: acyclic.
ACYCLIC = {"A", "DAG"}
# Graphs grown by preferential attachment (Barabási-Albert, m / n edges per new node).
PREFERENTIAL = {"P", "BA"}
# The pairs the link-prediction rows score: this many random pairs of distinct nodes of U.
LINK_PAIRS = 100_000
KATZ_ALPHA = 0.05


# Graphs


def edge_columns(n, m, directed, connected, seed):
    """m distinct edges without self-loops over range(n): (sources, targets, float weights), as lists."""
    rng = np.random.default_rng(seed)
    src, dst, seen = [], [], set()

    def add(u, v):
        key = (u, v) if directed or u < v else (v, u)
        if u != v and key not in seen:
            seen.add(key)
            src.append(u)
            dst.append(v)

    if connected:
        order = rng.permutation(n).tolist()
        for u, v in zip(order, order[1:]):
            add(u, v)
    while len(src) < m:
        for u, v in rng.integers(0, n, size=(m, 2)).tolist():
            add(u, v)
            if len(src) == m:
                break
    weights = (1.0 + 99.0 * rng.random(m)).tolist()
    return src, dst, weights


def preferential_columns(n, m, seed):
    """The edges of nx.barabasi_albert_graph(n, m // n, seed), as edge_columns gives them."""
    edges = list(nx.barabasi_albert_graph(n, max(1, m // n), seed=seed).edges())
    rng = np.random.default_rng(seed)
    return [u for u, _ in edges], [v for _, v in edges], (1.0 + 99.0 * rng.random(len(edges))).tolist()


_PAIRS = []


def link_pairs():
    """LINK_PAIRS // SCALE random (u, v) pairs of distinct nodes of U, fixed by a seed (made once)."""
    if not _PAIRS:
        rng = np.random.default_rng(7)
        pairs = rng.integers(0, GRAPHS["U"][0], size=(LINK_PAIRS // SCALE, 2)).tolist()
        _PAIRS.extend((u, v) for u, v in pairs if u != v)
    return _PAIRS


def networkx_graph(n, directed, weighted, src, dst, weights):
    G = nx.DiGraph() if directed else nx.Graph()
    G.add_nodes_from(range(n))
    if weighted:
        G.add_edges_from(zip(src, dst, ({"weight": w} for w in weights)))
    else:
        G.add_edges_from(zip(src, dst))
    return G


def peer_graphs(n, directed, weighted, src, dst, weights):
    """Each installed peer's own graph of the same edges (node i is NetworkX's node i)."""
    out = {}
    try:
        import igraph

        g = igraph.Graph(n=n, edges=list(zip(src, dst)), directed=directed)
        if weighted:
            g.es["weight"] = weights
        out["igraph"] = g
    except ImportError:
        pass
    try:
        import networkit as nk

        nk.setNumberOfThreads(1)
        s, t = np.array(src, dtype=np.uint64), np.array(dst, dtype=np.uint64)
        data = (np.array(weights), (s, t)) if weighted else (s, t)
        h = nk.GraphFromCoo(data, n, weighted=weighted, directed=directed)
        h.indexEdges()
        out["networkit"] = h
    except ImportError:
        pass
    try:
        import rustworkx as rx

        r = rx.PyDiGraph() if directed else rx.PyGraph()
        r.add_nodes_from(range(n))
        if weighted:
            r.add_edges_from(list(zip(src, dst, weights)))
        else:
            r.add_edges_from_no_data(list(zip(src, dst)))
        out["rustworkx"] = r
    except ImportError:
        pass
    return out


def edge_array():
    """ARRAY_EDGES random int64 edges over ARRAY_EDGES // 10 node ids, and the same edges with weights as a DataFrame."""
    rng = np.random.default_rng(11)
    arr = rng.integers(0, ARRAY_EDGES // 10, size=(ARRAY_EDGES, 2), dtype=np.int64)
    frame = None
    try:
        import pandas as pd

        frame = pd.DataFrame({"source": arr[:, 0], "target": arr[:, 1], "weight": 1.0 + 99.0 * rng.random(ARRAY_EDGES)})
    except ImportError:
        pass
    return arr, frame


def inputs():
    """{graph name: (NetworkX graph, peer graphs)}, the constructors' inputs included."""
    out = {}
    for seed, (key, (n, m, directed, weighted, connected)) in enumerate(GRAPHS.items(), 1):
        if key in PREFERENTIAL:
            columns = preferential_columns(n, m, seed)
        else:
            columns = edge_columns(n, m, directed, connected, seed)
        if key in ACYCLIC:
            src, dst, weights = columns
            columns = ([min(e) for e in zip(src, dst)], [max(e) for e in zip(src, dst)], weights)
        out[key] = (networkx_graph(n, directed, weighted, *columns), peer_graphs(n, directed, weighted, *columns))
    arr, frame = edge_array()
    peers = installed_peers()
    out["array"] = (arr, dict.fromkeys(peers, arr))
    if frame is not None:
        out["frame"] = (frame, dict.fromkeys(peers, frame))
    return out


def installed_peers():
    found = []
    for peer in PEERS:
        try:
            __import__(peer)
            found.append(peer)
        except ImportError:
            pass
    return found


# Cases


def outcome(fn):
    """fn()'s result, or NetworkX's convergence failure as a value (fennel raises it where NetworkX does)."""
    try:
        return fn()
    except nx.PowerIterationFailedConvergence as exc:
        return ("PowerIterationFailedConvergence", str(exc))


def nk_apsp(h):
    import networkit as nk

    return nk.distance.APSP(h).run().getDistances()


def nk_bfs(h, s):
    import networkit as nk

    return nk.distance.BFS(h, s, False).run().getDistances()


def nk_dijkstra(h, s):
    import networkit as nk

    return nk.distance.Dijkstra(h, s, False).run().getDistances()


def nk_bfs_edges(h, s):
    import networkit as nk

    edges = []
    nk.graph.Traversal.BFSEdgesFrom(h, s, lambda u, v, w, e: edges.append((u, v)))
    return edges


def nk_dfs_nodes(h, s):
    import networkit as nk

    nodes = []
    nk.graph.Traversal.DFSfrom(h, s, nodes.append)
    return nodes


def nk_centrality(name, *args):
    def run(h):
        import networkit as nk

        return getattr(nk.centrality, name)(h, *args).run().scores()

    return run


def nk_components(name):
    def run(h):
        import networkit as nk

        return getattr(nk.components, name)(h).run().getComponents()

    return run


def nk_cliques(h):
    import networkit as nk

    return nk.clique.MaximalCliques(h).run().getCliques()


def nk_community(name):
    def run(h):
        import networkit as nk

        return getattr(nk.community, name)(h).run().getPartition()

    return run


def nk_closeness(h):
    import networkit as nk

    return nk.centrality.Closeness(h, True, nk.centrality.ClosenessVariant.GENERALIZED).run().scores()


def nk_eccentricity(h):
    import networkit as nk

    return [nk.distance.Eccentricity.getValue(h, v)[1] for v in range(h.numberOfNodes())]


def nk_triangles(h):
    import networkit as nk

    return nk.sparsification.TriangleEdgeScore(h).run().scores()


def nk_transitivity(h):
    import networkit as nk

    return nk.globals.ClusteringCoefficient.exactGlobal(h)


def nk_from_array(arr):
    import networkit as nk

    n = int(arr.max()) + 1
    return nk.GraphFromCoo((arr[:, 0].astype(np.uint64), arr[:, 1].astype(np.uint64)), n)


def nk_from_frame(df):
    import networkit as nk

    s, t = df["source"].to_numpy(np.uint64), df["target"].to_numpy(np.uint64)
    return nk.GraphFromCoo((df["weight"].to_numpy(), (s, t)), int(max(s.max(), t.max())) + 1, weighted=True)


def nk_spanning(h):
    import networkit as nk

    return nk.graph.KruskalMSF(h).run().getForest()


def nk_topological(h):
    import networkit as nk

    return nk.graphtools.topologicalSort(h)


def nk_max_flow(h):
    import networkit as nk

    algorithm = nk.flow.EdmondsKarp(h, 0, 1)
    algorithm.run()
    return algorithm.getMaxFlow()


def nk_link(name):
    def run(h):
        import networkit as nk

        return getattr(nk.linkprediction, name)(h).runOn(link_pairs())

    return run


def nk_assortativity(h):
    import networkit as nk

    degrees = [float(h.degree(v)) for v in range(h.numberOfNodes())]
    return nk.correlation.Assortativity(h, degrees).run().getCoefficient()


def rx_call(name, *args, **kwargs):
    def run(r):
        import rustworkx as rx

        return getattr(rx, name)(r, *args, **kwargs)

    return run


def rx_from_array(arr):
    import rustworkx as rx

    r = rx.PyGraph()
    r.add_nodes_from(range(int(arr.max()) + 1))
    r.extend_from_edge_list(list(map(tuple, arr.tolist())))
    return r


def rx_from_frame(df):
    import rustworkx as rx

    s, t = df["source"].tolist(), df["target"].tolist()
    r = rx.PyGraph()
    r.add_nodes_from(range(max(max(s), max(t)) + 1))
    r.extend_from_weighted_edge_list(list(zip(s, t, df["weight"].tolist())))
    return r


def ig_from_array(arr):
    import igraph

    return igraph.Graph(n=int(arr.max()) + 1, edges=arr)


def ig_from_frame(df):
    import igraph

    return igraph.Graph.DataFrame(df, directed=False, use_vids=True)


class Case:
    """One row: the NetworkX call, the fennel function that must serve it, and the peers' counterparts.

    ``call(G, **kw)`` returns the consumed result; ``peers`` maps a peer to a
    function of that peer's graph (absent: no counterpart).
    """

    def __init__(self, name, family, graph, served, call, peers, constructor=False):
        self.name, self.family, self.graph, self.served = name, family, graph, served
        self.call, self.peers, self.constructor = call, peers, constructor


CASES = [
    Case("betweenness_centrality", "betweenness", "B", "betweenness_centrality",
         lambda G, **kw: nx.betweenness_centrality(G, **kw),
         {"igraph": lambda g: g.betweenness(directed=False),
          "networkit": nk_centrality("Betweenness", True),
          "rustworkx": rx_call("betweenness_centrality")}),
    Case("single_source_shortest_path_length", "BFS lengths", "D", "single_source_shortest_path_length",
         lambda G, **kw: nx.single_source_shortest_path_length(G, 0, **kw),
         {"igraph": lambda g: g.distances(source=0, mode="out"),
          "networkit": lambda h: nk_bfs(h, 0),
          "rustworkx": lambda r: __import__("rustworkx").bfs_layers(r, [0])}),
    Case("single_source_dijkstra_path_length", "Dijkstra lengths", "D", "single_source_dijkstra_path_length",
         lambda G, **kw: nx.single_source_dijkstra_path_length(G, 0, **kw),
         {"igraph": lambda g: g.distances(source=0, weights="weight", mode="out"),
          "networkit": lambda h: nk_dijkstra(h, 0),
          "rustworkx": rx_call("digraph_dijkstra_shortest_path_lengths", 0, float)}),
    Case("all_pairs_shortest_path_length", "all pairs", "B", "all_pairs_shortest_path_length",
         lambda G, **kw: list(nx.all_pairs_shortest_path_length(G, **kw)),
         {"igraph": lambda g: g.distances(),
          "networkit": nk_apsp,
          "rustworkx": rx_call("distance_matrix")}),
    Case("bfs_edges (listed)", "traversal", "D", "bfs_edges",
         lambda G, **kw: list(nx.bfs_edges(G, 0, **kw)),
         {"igraph": lambda g: g.bfs(0, mode="out"),
          "networkit": lambda h: nk_bfs_edges(h, 0),
          "rustworkx": lambda r: list(__import__("rustworkx").bfs_successors(r, 0))}),
    Case("dfs_preorder_nodes (listed)", "traversal", "D", "dfs_preorder_nodes",
         lambda G, **kw: list(nx.dfs_preorder_nodes(G, 0, **kw)),
         {"igraph": lambda g: g.dfs(0, mode="out"),
          "networkit": lambda h: nk_dfs_nodes(h, 0),
          "rustworkx": lambda r: list(__import__("rustworkx").dfs_edges(r, 0))}),
    Case("closeness_centrality", "distance", "B", "closeness_centrality",
         lambda G, **kw: nx.closeness_centrality(G, **kw),
         {"igraph": lambda g: g.closeness(),
          "networkit": nk_closeness,
          "rustworkx": rx_call("closeness_centrality")}),
    Case("eccentricity", "distance", "B", "eccentricity",
         lambda G, **kw: nx.eccentricity(G, **kw),
         {"igraph": lambda g: g.eccentricity(),
          "networkit": nk_eccentricity}),
    Case("average_shortest_path_length", "distance", "B", "average_shortest_path_length",
         lambda G, **kw: nx.average_shortest_path_length(G, **kw),
         {"igraph": lambda g: g.average_path_length(directed=False),
          "rustworkx": rx_call("unweighted_average_shortest_path_length")}),
    Case("pagerank (weighted)", "link analysis", "D", "pagerank",
         lambda G, **kw: outcome(lambda: nx.pagerank(G, **kw)),
         {"igraph": lambda g: g.pagerank(weights="weight", directed=True),
          "networkit": nk_centrality("PageRank", 0.85, 1e-6),
          "rustworkx": rx_call("pagerank", weight_fn=float, tol=1e-6)}),
    Case("eigenvector_centrality", "link analysis", "U", "eigenvector_centrality",
         lambda G, **kw: outcome(lambda: nx.eigenvector_centrality(G, max_iter=1000, **kw)),
         {"igraph": lambda g: g.eigenvector_centrality(scale=False),
          "networkit": nk_centrality("EigenvectorCentrality", 1e-6),
          "rustworkx": rx_call("eigenvector_centrality", tol=1e-6)}),
    Case(f"katz_centrality (alpha={KATZ_ALPHA})", "link analysis", "U", "katz_centrality",
         lambda G, **kw: outcome(lambda: nx.katz_centrality(G, alpha=KATZ_ALPHA, max_iter=1000, **kw)),
         {"networkit": nk_centrality("KatzCentrality", KATZ_ALPHA, 1.0, 1e-6),
          "rustworkx": rx_call("katz_centrality", alpha=KATZ_ALPHA, beta=1.0, tol=1e-6)}),
    Case("connected_components (listed)", "components", "U", "connected_components",
         lambda G, **kw: list(nx.connected_components(G, **kw)),
         {"igraph": lambda g: g.connected_components(),
          "networkit": nk_components("ConnectedComponents"),
          "rustworkx": rx_call("connected_components")}),
    Case("strongly_connected_components (listed)", "components", "D", "strongly_connected_components",
         lambda G, **kw: list(nx.strongly_connected_components(G, **kw)),
         {"igraph": lambda g: g.connected_components("strong"),
          "networkit": nk_components("StronglyConnectedComponents"),
          "rustworkx": rx_call("strongly_connected_components")}),
    Case("core_number", "cores", "U", "core_number",
         lambda G, **kw: nx.core_number(G, **kw),
         {"igraph": lambda g: g.coreness(),
          "networkit": nk_centrality("CoreDecomposition"),
          "rustworkx": rx_call("core_number")}),
    Case("biconnected_components (listed)", "biconnectivity", "U", "biconnected_components",
         lambda G, **kw: list(nx.biconnected_components(G, **kw)),
         {"igraph": lambda g: g.biconnected_components(),
          "networkit": nk_components("BiconnectedComponents"),
          "rustworkx": rx_call("biconnected_components")}),
    Case("bridges (listed)", "biconnectivity", "U", "bridges",
         lambda G, **kw: list(nx.bridges(G, **kw)),
         {"igraph": lambda g: g.bridges(),
          "rustworkx": rx_call("bridges")}),
    Case("find_cliques (listed)", "cliques", "U", "find_cliques",
         lambda G, **kw: list(nx.find_cliques(G, **kw)),
         {"igraph": lambda g: g.maximal_cliques(),
          "networkit": nk_cliques}),
    Case("triangles", "triangles", "U", "triangles",
         lambda G, **kw: nx.triangles(G, **kw),
         {"igraph": lambda g: g.list_triangles(),
          "networkit": nk_triangles}),
    Case("clustering", "triangles", "U", "clustering",
         lambda G, **kw: nx.clustering(G, **kw),
         {"igraph": lambda g: g.transitivity_local_undirected(mode="zero"),
          "networkit": nk_centrality("LocalClusteringCoefficient")}),
    Case("transitivity", "triangles", "U", "transitivity",
         lambda G, **kw: nx.transitivity(G, **kw),
         {"igraph": lambda g: g.transitivity_undirected(),
          "networkit": nk_transitivity,
          "rustworkx": rx_call("transitivity")}),
    Case("louvain_communities (seed=1)", "community", "U", "louvain_communities",
         lambda G, **kw: nx.community.louvain_communities(G, seed=1, **kw),
         {"igraph": lambda g: g.community_multilevel(),
          "networkit": nk_community("PLM")}),
    Case("greedy_modularity_communities", "community", "B", "greedy_modularity_communities",
         lambda G, **kw: nx.community.greedy_modularity_communities(G, **kw),
         {"igraph": lambda g: g.community_fastgreedy()}),
    Case("asyn_lpa_communities (seed=1, listed)", "community", "U", "asyn_lpa_communities",
         lambda G, **kw: list(nx.community.asyn_lpa_communities(G, seed=1, **kw)),
         {"igraph": lambda g: g.community_label_propagation(),
          "networkit": nk_community("PLP")}),
    Case("max_weight_matching", "matching", "W", "max_weight_matching",
         lambda G, **kw: nx.max_weight_matching(G, **kw),
         {"rustworkx": rx_call("max_weight_matching", weight_fn=lambda w: int(w * 1000))}),
    Case("transitive_closure_dag", "DAGs", "A", "transitive_closure_dag",
         lambda G, **kw: nx.transitive_closure_dag(G, **kw),
         {}),
    Case("transitive_reduction", "DAGs", "A", "transitive_reduction",
         lambda G, **kw: nx.transitive_reduction(G, **kw),
         {"rustworkx": lambda r: __import__("rustworkx").transitive_reduction(r)}),
    Case("hits (nstart of ones)", "neighbourhood", "U", "hits",
         lambda G, **kw: outcome(lambda: nx.hits(G, nstart=dict.fromkeys(G, 1.0), **kw)),
         {"igraph": lambda g: (g.hub_score(), g.authority_score())}),
    Case("degree_centrality", "neighbourhood", "U", "degree_centrality",
         lambda G, **kw: nx.degree_centrality(G, **kw),
         {"igraph": lambda g: g.degree(),
          "networkit": nk_centrality("DegreeCentrality", True)}),
    Case("jaccard_coefficient (pairs, listed)", "neighbourhood", "U", "jaccard_coefficient",
         lambda G, **kw: list(nx.jaccard_coefficient(G, link_pairs(), **kw)),
         {"igraph": lambda g: g.similarity_jaccard(pairs=link_pairs()),
          "networkit": nk_link("JaccardIndex")}),
    Case("adamic_adar_index (pairs, listed)", "neighbourhood", "U", "adamic_adar_index",
         lambda G, **kw: list(nx.adamic_adar_index(G, link_pairs(), **kw)),
         {"networkit": nk_link("AdamicAdarIndex")}),
    Case("resource_allocation_index (pairs, listed)", "neighbourhood", "U", "resource_allocation_index",
         lambda G, **kw: list(nx.resource_allocation_index(G, link_pairs(), **kw)),
         {"networkit": nk_link("ResourceAllocationIndex")}),
    Case("preferential_attachment (pairs, listed)", "neighbourhood", "U", "preferential_attachment",
         lambda G, **kw: list(nx.preferential_attachment(G, link_pairs(), **kw)),
         {"networkit": nk_link("PreferentialAttachmentIndex")}),
    Case("degree_assortativity_coefficient", "neighbourhood", "P", "degree_assortativity_coefficient",
         lambda G, **kw: nx.degree_assortativity_coefficient(G, **kw),
         {"igraph": lambda g: g.assortativity_degree(directed=False),
          "networkit": nk_assortativity}),
    Case("average_neighbor_degree", "neighbourhood", "P", "average_neighbor_degree",
         lambda G, **kw: nx.average_neighbor_degree(G, **kw),
         {"igraph": lambda g: g.knn()}),
    Case("square_clustering", "neighbourhood", "U", "square_clustering",
         lambda G, **kw: nx.square_clustering(G, **kw),
         {"networkit": nk_centrality("LocalSquareClusteringCoefficient")}),
    Case("local_efficiency", "neighbourhood", "U", "local_efficiency",
         lambda G, **kw: nx.local_efficiency(G, **kw),
         {}),
    Case("constraint", "neighbourhood", "P", "constraint",
         lambda G, **kw: nx.constraint(G, **kw),
         {"igraph": lambda g: g.constraint()}),
    Case("reciprocity (whole graph)", "neighbourhood", "D", "overall_reciprocity",
         lambda G, **kw: nx.overall_reciprocity(G, **kw),
         {"igraph": lambda g: g.reciprocity()}),
    Case("maximum_flow_value (capacity=weight)", "flows", "D", "maximum_flow_value",
         lambda G, **kw: nx.maximum_flow_value(G, 0, 1, capacity="weight", **kw),
         {"igraph": lambda g: g.maxflow_value(0, 1, capacity="weight"),
          "networkit": nk_max_flow}),
    Case("minimum_cut_value (capacity=weight)", "flows", "D", "minimum_cut_value",
         lambda G, **kw: nx.minimum_cut_value(G, 0, 1, capacity="weight", **kw),
         {"igraph": lambda g: g.mincut_value(0, 1, capacity="weight")}),
    Case("node_connectivity", "flows", "F", "node_connectivity",
         lambda G, **kw: nx.node_connectivity(G, **kw),
         {"igraph": lambda g: g.vertex_connectivity()}),
    Case("gomory_hu_tree (capacity=weight)", "flows", "F", "gomory_hu_tree",
         lambda G, **kw: nx.gomory_hu_tree(G, capacity="weight", **kw),
         {"igraph": lambda g: g.gomory_hu_tree(capacity="weight")}),
    Case("stoer_wagner", "flows", "F", "stoer_wagner",
         lambda G, **kw: nx.stoer_wagner(G, **kw),
         {"igraph": lambda g: g.mincut(capacity="weight")}),
    Case("harmonic_centrality", "distance", "B", "harmonic_centrality",
         lambda G, **kw: nx.harmonic_centrality(G, **kw),
         {"igraph": lambda g: g.harmonic_centrality(normalized=False),
          "networkit": nk_centrality("HarmonicCloseness", False)}),
    Case("minimum_spanning_tree (weighted)", "spanning trees", "UW", "minimum_spanning_tree",
         lambda G, **kw: nx.minimum_spanning_tree(G, **kw),
         {"igraph": lambda g: g.spanning_tree(weights="weight"),
          "networkit": nk_spanning,
          "rustworkx": rx_call("minimum_spanning_tree", weight_fn=float)}),
    Case("topological_sort (listed)", "DAGs", "DAG", "topological_sort",
         lambda G, **kw: list(nx.topological_sort(G, **kw)),
         {"igraph": lambda g: g.topological_sorting(),
          "networkit": nk_topological,
          "rustworkx": rx_call("topological_sort")}),
    Case("label_propagation_communities (listed)", "community", "U", "label_propagation_communities",
         lambda G, **kw: list(nx.community.label_propagation_communities(G, **kw)),
         {"igraph": lambda g: g.community_label_propagation(),
          "networkit": nk_community("PLP")}),
    Case("greedy_color (largest_first)", "coloring", "U", "greedy_color",
         lambda G, **kw: nx.greedy_color(G, **kw),
         {"igraph": lambda g: g.vertex_coloring_greedy(),
          "rustworkx": rx_call("graph_greedy_color")}),
    Case("core_number", "cores", "BA", "core_number",
         lambda G, **kw: nx.core_number(G, **kw),
         {"igraph": lambda g: g.coreness(),
          "networkit": nk_centrality("CoreDecomposition"),
          "rustworkx": rx_call("core_number")}),
    Case("triangles", "triangles", "BA", "triangles",
         lambda G, **kw: nx.triangles(G, **kw),
         {"igraph": lambda g: g.list_triangles(),
          "networkit": nk_triangles}),
    Case("clustering", "triangles", "BA", "clustering",
         lambda G, **kw: nx.clustering(G, **kw),
         {"igraph": lambda g: g.transitivity_local_undirected(mode="zero"),
          "networkit": nk_centrality("LocalClusteringCoefficient")}),
    Case("connected_components (listed)", "components", "M", "connected_components",
         lambda G, **kw: list(nx.connected_components(G, **kw)),
         {"igraph": lambda g: g.connected_components(),
          "networkit": nk_components("ConnectedComponents"),
          "rustworkx": rx_call("connected_components")}),
    Case("core_number", "cores", "M", "core_number",
         lambda G, **kw: nx.core_number(G, **kw),
         {"igraph": lambda g: g.coreness(),
          "networkit": nk_centrality("CoreDecomposition"),
          "rustworkx": rx_call("core_number")}),
    Case("single_source_shortest_path_length", "BFS lengths", "M", "single_source_shortest_path_length",
         lambda G, **kw: nx.single_source_shortest_path_length(G, 0, **kw),
         {"igraph": lambda g: g.distances(source=0),
          "networkit": lambda h: nk_bfs(h, 0),
          "rustworkx": lambda r: __import__("rustworkx").bfs_layers(r, [0])}),
    Case("from_edgelist (numpy int64)", "constructors", "array", "from_edgelist",
         lambda A, **kw: nx.from_edgelist(A, **kw),
         {"igraph": ig_from_array, "networkit": nk_from_array, "rustworkx": rx_from_array},
         constructor=True),
    Case("from_pandas_edgelist (float weight)", "constructors", "frame", "from_pandas_edgelist",
         lambda A, **kw: nx.from_pandas_edgelist(A, edge_attr="weight", **kw),
         {"igraph": ig_from_frame, "networkit": nk_from_frame, "rustworkx": rx_from_frame},
         constructor=True),
]


# Timing and checking


def once(fn):
    gc.collect()
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def best_of(fn, repeats):
    """Best time of fn() over repeats runs, and the last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        result = None
        t, result = once(fn)
        best = min(best, t)
    return best, result


def adaptive(fn):
    """(best time, runs, result): one run if it took ONE_RUN_ABOVE seconds or more, else the best of 3."""
    t, result = once(fn)
    if t >= ONE_RUN_ABOVE:
        return t, 1, result
    more, result = best_of(fn, 2)
    return min(t, more), 3, result


def answer_form(result):
    """What is compared: the result itself, or a graph's nodes, adjacency order and edge data (types included)."""
    from fennel.backend.graph import FennelGraph

    if isinstance(result, FennelGraph):
        result = result.source
    if isinstance(result, nx.Graph):
        return (
            type(result).__name__,
            list(result),
            [list(result._adj[u]) for u in result],
            list(result.edges(data=True)),
        )
    return result


def answer_floor(result):
    """Best of 3 times to rebuild ``result``'s dicts from ready key and value lists, or None unless the answer is
    a dict, a dict of dicts or a list of (node, dict) pairs."""
    def flat(d):
        return list(d), list(d.values())

    if isinstance(result, dict) and result and all(isinstance(v, dict) for v in result.values()):
        parts = [(k, *flat(d)) for k, d in result.items()]
        build = lambda: {k: dict(zip(keys, values)) for k, keys, values in parts}  # noqa: E731
    elif isinstance(result, dict):
        keys, values = flat(result)
        build = lambda: dict(zip(keys, values))  # noqa: E731
    elif (isinstance(result, list) and result
          and all(isinstance(x, tuple) and len(x) == 2 and isinstance(x[1], dict) for x in result)):
        parts = [(k, *flat(d)) for k, d in result]
        build = lambda: [(k, dict(zip(keys, values))) for k, keys, values in parts]  # noqa: E731
    else:
        return None
    return best_of(build, 3)[0]


def fingerprint(form):
    return hashlib.sha256(repr(form).encode()).hexdigest()


def fennel_served(case, fn, times):
    """Runs fn `times` times through fennel: (best time, result, None) or (None, None, why fennel did not serve)."""
    from fennel.backend import calls
    from fennel.backend.native import compact_form

    before = calls["ran", case.served]
    try:
        t, result = best_of(fn, times)
    except NotImplementedError as exc:
        return None, None, f"NotImplementedError: {exc}"
    ran = calls["ran", case.served] - before
    if ran != times:
        return None, None, f"fennel's {case.served} ran {ran} of {times} calls"
    if case.constructor and compact_form(result) is None:
        return None, None, f"{case.served} gave NetworkX's own graph, not a fennel graph"
    return t, result, None


def clear_conversions(G):
    nx._clear_cache(G)


def fennel_row(case, G):
    """First and cached fennel times on G, fennel's answer, and why fennel did not serve (or None)."""
    first = None
    if not case.constructor:
        clear_conversions(G)
        first, _, why = fennel_served(case, lambda: case.call(G, backend="fennel"), 1)
        if why:
            return None, None, None, why
    cached, result, why = fennel_served(case, lambda: case.call(G, backend="fennel"), FENNEL_REPEATS)
    return first, cached, result, why


def spare_inputs():
    """Under --quick, keeps the inputs (alive to the end) out of the full
    collection before each timed call: at those sizes, walking them would
    take far longer than the calls."""
    if QUICK:
        gc.collect()
        gc.freeze()


def chosen_cases():
    if ONLY is None:
        return CASES
    return [case for case in CASES if any(word in case.name or word in case.family for word in ONLY)]


def reference_child(out_path):
    """NetworkX, fennel at this process's pool size (1) and the peers, one case after another."""
    nx.config.warnings_to_ignore.add("cache")
    data = inputs()
    spare_inputs()
    rows = []
    for case in chosen_cases():
        if case.graph not in data:  # from_pandas_edgelist without pandas
            continue
        print(f"  {case.name} ...", file=sys.stderr, flush=True)
        G, peer_inputs = data[case.graph]
        row = {"name": case.name, "family": case.family, "graph": case.graph}
        t_nx, runs, expected = adaptive(lambda: case.call(G, backend="networkx"))
        row["floor"] = answer_floor(expected)
        expected = answer_form(expected)
        row.update(networkx=t_nx, networkx_runs=runs, networkx_fingerprint=fingerprint(expected))
        first, cached, result, why = fennel_row(case, G)
        row.update(first_1=first, cached_1=cached, not_served_1=why)
        if why is None:
            got = answer_form(result)
            row["equal_1"] = bool(got == expected and repr(got) == repr(expected))
        del result, expected
        peers = {}
        for peer in PEERS:
            fn = case.peers.get(peer)
            if fn is None or peer not in peer_inputs:
                continue
            try:
                t, runs, _ = adaptive(lambda: fn(peer_inputs[peer]))
                peers[peer] = {"time": t, "runs": runs}
            except Exception as exc:  # a peer's failure is reported, not fatal
                peers[peer] = {"error": f"{type(exc).__name__}: {exc}"}
        row["peers"] = peers
        rows.append(row)
        gc.collect()
    with open(out_path, "w") as f:
        json.dump(rows, f)


def fennel_child(out_path):
    """fennel alone at this process's pool size (2): times and the fingerprints of its answers."""
    nx.config.warnings_to_ignore.add("cache")
    data = inputs()
    spare_inputs()
    rows = []
    for case in chosen_cases():
        if case.graph not in data:
            continue
        print(f"  {case.name} (fennel, 2 threads) ...", file=sys.stderr, flush=True)
        row = {"name": case.name}
        first, cached, result, why = fennel_row(case, data[case.graph][0])
        row.update(first_2=first, cached_2=cached, not_served_2=why)
        if why is None:
            row["fingerprint_2"] = fingerprint(answer_form(result))
        del result
        rows.append(row)
        gc.collect()
    with open(out_path, "w") as f:
        json.dump(rows, f)


def run_child(kind, threads):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    if threads == 1:
        env["OMP_NUM_THREADS"] = "1"
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "rows.json")
        size = ["--quick"] if QUICK else ["--small"] if SCALE > 1 else []
        only = ["--only", ",".join(ONLY)] if ONLY is not None else []
        args = [sys.executable, os.path.abspath(__file__), "--child", kind, path, *size, *only]
        subprocess.run(args, env=env, check=True)
        with open(path) as f:
            return json.load(f)


# Report


def versions():
    found = {"Python": platform.python_version(), "NetworkX": nx.__version__}
    for title, module in (("igraph", "igraph"), ("NetworKit", "networkit"), ("rustworkx", "rustworkx")):
        try:
            found[title] = __import__(module).__version__
        except ImportError:
            found[title] = "not installed"
    return found


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def seconds(t, runs=3):
    if t is None:
        return "-"
    text = f"{t:.2f}s" if t >= 0.9995 else f"{t * 1e3:.3g}ms" if t >= 0.01 else f"{t * 1e3:.2f}ms"
    return text + ("*" if runs == 1 else "")


def ratio(a, b):
    return f"{a / b:.1f}x" if a is not None and b else "-"


def merge(reference, two):
    rows = []
    for row, other in zip(reference, two):
        row = dict(row, **other)
        peers = row.get("peers", {})
        times = [p["time"] for p in peers.values() if "time" in p]
        row["best_peer"] = min(times) if times else None
        served = row.get("not_served_1") is None and row.get("not_served_2") is None and "networkx" in row
        row["served"] = served
        row["equal"] = (
            bool(row.get("equal_1")) and row.get("fingerprint_2") == row.get("networkx_fingerprint")
            if served else None
        )
        rows.append(row)
    return rows


def table(rows):
    head = (f"{'case':<42}{'NetworkX':>10}{'fennel':>10}{'fennel':>10}{'fennel':>10}"
            f"{'igraph':>10}{'NetworKit':>10}{'rustworkx':>10}{'answer':>10}{'nx/':>8}{'peer/':>8}{'ans/':>6}"
            f"{'2t':>6}  equal")
    print(head)
    print(f"{'':<52}{'first':>10}{'1t':>10}{'2t':>10}{'':<30}{'floor':>10}{'1t':>8}{'1t':>8}{'1t':>6}{'x':>6}")
    print("-" * len(head))
    family = None
    for row in rows:
        if row["family"] != family:
            family = row["family"]
            print(f"[{family}]")
        peers = row.get("peers", {})
        cells = []
        for peer in PEERS:
            p = peers.get(peer)
            cells.append("-" if p is None else ("error" if "error" in p else seconds(p["time"], p["runs"])))
        if not row["served"]:
            equal = "NOT SERVED"
        else:
            equal = "yes" if row["equal"] else "NO"
        t1, t2 = row.get("cached_1"), row.get("cached_2")
        name = f"{row['name']} [{GRAPH_LABELS[row['graph']]}]"
        print(f"{name:<42}{seconds(row.get('networkx'), row.get('networkx_runs')):>10}"
              f"{seconds(row.get('first_1')):>10}{seconds(t1):>10}{seconds(t2):>10}"
              f"{cells[0]:>10}{cells[1]:>10}{cells[2]:>10}{seconds(row.get('floor')):>10}"
              f"{ratio(row.get('networkx'), t1):>8}{ratio(row['best_peer'], t1):>8}{ratio(row.get('floor'), t1):>6}"
              f"{ratio(t1, t2):>6}  {equal}")
    print()
    print("* one run (it took over a second); other NetworkX and peer times best of 3; fennel: first call one run")
    print("  (conversion included), cached calls (1t, 2t: worker threads) best of 3. nx/1t = NetworkX / fennel 1t;")
    print("  peer/1t = fastest peer / fennel 1t; 2t x = fennel 1t / fennel 2t. Peers run single-threaded; their")
    print("  answers are not compared. equal: fennel's answers at 1t and 2t are NetworkX's exactly (values, order, types).")
    print("  answer floor: Python's time to build the answer's dicts from ready key and value lists (dict answers only);")
    print("  ans/1t = answer floor / fennel 1t.")
    for row in rows:
        for key in ("not_served_1", "not_served_2"):
            if row.get(key):
                print(f"NOT SERVED ({key[-1]} thread(s)) {row['name']}: {row[key]}")
        if row["served"] and not row["equal"]:
            print(f"DIFFERS {row['name']}: 1 thread equal={row.get('equal_1')}, "
                  f"2 threads fingerprint match={row.get('fingerprint_2') == row.get('networkx_fingerprint')}")
        for peer, p in row.get("peers", {}).items():
            if "error" in p:
                print(f"peer error {PEER_TITLES[peer]} on {row['name']}: {p['error']}")


def chart(matplotlib, rows, path, title):
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    series = [("fennel 1 thread", lambda r: r.get("cached_1")), ("fennel 2 threads", lambda r: r.get("cached_2"))]
    series += [(PEER_TITLES[p], lambda r, p=p: r.get("peers", {}).get(p, {}).get("time")) for p in PEERS]
    shown = [r for r in rows if r.get("networkx")]
    height = 0.8 / len(series)
    fig, ax = plt.subplots(figsize=(11, 0.45 * len(shown) + 1.5))
    for i, (label, get) in enumerate(series):
        ys, xs = [], []
        for j, r in enumerate(shown):
            t = get(r)
            if t:
                ys.append(j + (i - (len(series) - 1) / 2) * height)
                xs.append(r["networkx"] / t)
        ax.barh(ys, xs, height=height, label=label)
    ax.set_xscale("log")
    ax.axvline(1.0, color="black", linewidth=0.8)
    ax.set_yticks(range(len(shown)))
    ax.set_yticklabels([f"{r['name']} [{GRAPH_LABELS[r['graph']]}]" for r in shown], fontsize=8)
    ax.invert_yaxis()
    ax.set_xlabel("speedup over NetworkX (log scale; above 1: faster than NetworkX)")
    ax.set_title(title, fontsize=9)
    ax.grid(axis="x", which="both", alpha=0.3)
    ax.legend(fontsize=8, loc="upper center", bbox_to_anchor=(0.5, -0.05), ncol=len(series))
    fig.tight_layout()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    fig.savefig(path, dpi=120, bbox_inches="tight", metadata={"Software": None})
    plt.close(fig)


def main(args):
    if args.child is not None:
        kind, path = args.child
        reference_child(path) if kind == "reference" else fennel_child(path)
        return
    matplotlib = cli.peer("matplotlib", "no chart") if args.png else None
    missing = [p for p in PEERS if p not in installed_peers()]
    if missing:
        print(f"not installed, left out: {', '.join(missing)} (pip install \".[bench]\")", file=sys.stderr)
    found = versions()
    machine = f"{cpu_model()}, {os.cpu_count()} cores"
    print(f"machine: {machine}; load average at start {os.getloadavg()[0]:.2f}")
    print(", ".join(f"{k} {v}" for k, v in found.items()))
    sizes = "; ".join(f"{k}: {n:,} nodes, {m:,} edges, {'directed' if d else 'undirected'}"
                      for k, (n, m, d, _, _) in GRAPHS.items())
    print(f"graphs ({f'sizes / {SCALE}' if SCALE > 1 else 'full sizes'}): {sizes}; "
          f"E: {ARRAY_EDGES:,} int64 edges over {ARRAY_EDGES // 10:,} node ids")
    print()
    started = time.perf_counter()
    print("1 thread: NetworkX, fennel, peers", file=sys.stderr, flush=True)
    reference = run_child("reference", 1)
    print("2 threads: fennel", file=sys.stderr, flush=True)
    two = run_child("fennel", 2)
    rows = merge(reference, two)
    table(rows)
    elapsed = time.perf_counter() - started
    print(f"\ntotal {elapsed:.0f}s; load average at end {os.getloadavg()[0]:.2f}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"machine": machine, "versions": found, "scale": SCALE, "graphs": GRAPHS,
                       "array_edges": ARRAY_EDGES, "rows": rows}, f, indent=1)
        print(f"JSON written to {args.json}")
    if matplotlib is not None:
        chart(matplotlib, rows, args.png, f"fennel and peers against NetworkX ({machine}; NetworkX {nx.__version__}"
                                          f"{f'; sizes / {SCALE}' if SCALE > 1 else ''})")
        print(f"chart written to {args.png}")


if __name__ == "__main__":
    parser = cli.parser(__doc__, "every size / 100", ["igraph", "networkit", "rustworkx", "matplotlib"])
    parser.add_argument("--small", action="store_true", help="every size / 10")
    parser.add_argument("--json", metavar="PATH", help="write the numbers as JSON to PATH")
    parser.add_argument("--png", metavar="PATH", help="draw the chart to PATH (needs matplotlib); default: no chart")
    parser.add_argument("--only", metavar="WORDS", help="comma-separated words: only the rows whose name or family "
                                                         "holds one of them")
    args = parser.parse_args()
    ONLY = args.only.split(",") if args.only else None
    QUICK, SCALE = args.quick, 100 if args.quick else 10 if args.small else 1
    GRAPHS, ARRAY_EDGES = sized(SCALE)
    main(args)
