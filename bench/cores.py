"""core_number, topological_sort and triangles: fennel against NetworkX and
the peer libraries, in one run.

Graphs: BA, a preferential-attachment graph (50,000 nodes, 5 edges per new
node, seed 1); M, nx.from_edgelist of 1,000,000 random pairs over 250,000
nodes (numpy seed 1), its few self-loops removed; DAG, 500,000 random pairs
over 100,000 nodes (numpy seed 2), each oriented from its smaller to its
larger node; U, a G(n, m) graph of 20,000 nodes and 100,000 edges (seed 1).
--quick divides every size by 20.

Each row: NetworkX once (its answer the reference), then the median of
several runs of fennel through NetworkX's dispatch on the graph whose
conversion is already cached (its answer checked equal to NetworkX's, with
key order and types), and of each peer on the same graph, one thread:
igraph's coreness, topological_sorting and list_triangles (all triangles,
not counted per node), NetworKit's CoreDecomposition,
graphtools.topologicalSort and TriangleEdgeScore (per edge, not per node), rustworkx's core_number and
topological_sort. Ratios are fennel's time over the peer's.

    python bench/cores.py [--quick] [--repeats N] [--threads N]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
import numpy as np

import cli


def graphs(scale):
    ba = nx.barabasi_albert_graph(50_000 // scale, 5, seed=1)
    n = 250_000 // scale
    m_graph = nx.from_edgelist(np.random.default_rng(1).integers(0, n, (1_000_000 // scale, 2)).tolist())
    m_graph.remove_edges_from(list(nx.selfloop_edges(m_graph)))  # core_number refuses self-loops
    rng = np.random.default_rng(2)
    n_dag = 100_000 // scale
    pairs = rng.integers(0, n_dag, (500_000 // scale, 2))
    dag = nx.DiGraph()
    dag.add_nodes_from(range(n_dag))
    dag.add_edges_from((min(u, v), max(u, v)) for u, v in pairs.tolist() if u != v)
    u_graph = nx.gnm_random_graph(20_000 // scale, 100_000 // scale, seed=1)
    return {"BA": ba, "M": m_graph, "DAG": dag, "U": u_graph}


CASES = [
    ("core_number", "BA", lambda G, **kw: nx.core_number(G, **kw)),
    ("core_number", "M", lambda G, **kw: nx.core_number(G, **kw)),
    ("topological_sort", "DAG", lambda G, **kw: list(nx.topological_sort(G, **kw))),
    ("triangles", "U", lambda G, **kw: nx.triangles(G, **kw)),
]


def exact(result):
    """A result with its order and types: dict items or list items, with each value's type."""
    items = result.items() if isinstance(result, dict) else enumerate(result)
    return [(k, type(v), v) for k, v in items]


def peer_calls(name, G, igraph, nk, rx):
    """(peer label, call) pairs for case `name` on G, each on a graph built from G's edge list."""
    directed = G.is_directed()
    index = {v: i for i, v in enumerate(G)}
    edges = [(index[u], index[v]) for u, v in G.edges]
    calls = []
    if igraph is not None:
        g = igraph.Graph(n=len(G), edges=edges, directed=directed)
        fn = {"core_number": g.coreness, "topological_sort": g.topological_sorting,
              "triangles": g.list_triangles}[name]
        calls.append(("igraph", fn))
    if nk is not None:
        h = nk.Graph(len(G), directed=directed)
        for u, v in edges:
            h.addEdge(u, v)
        h.indexEdges()
        fn = {"core_number": lambda: nk.centrality.CoreDecomposition(h).run().scores(),
              "topological_sort": lambda: nk.graphtools.topologicalSort(h),
              "triangles": lambda: nk.sparsification.TriangleEdgeScore(h).run().scores()}[name]
        calls.append(("NetworKit", fn))
    if rx is not None and name != "triangles":
        r = (rx.PyDiGraph if directed else rx.PyGraph)()
        r.add_nodes_from(range(len(G)))
        r.add_edges_from_no_data(edges)
        fn = {"core_number": lambda: rx.core_number(r), "topological_sort": lambda: rx.topological_sort(r)}[name]
        calls.append(("rustworkx", fn))
    return calls


def main():
    p = cli.parser(__doc__, "sizes divided by 20", optional=("igraph", "networkit", "rustworkx"))
    p.add_argument("--repeats", type=int, default=7, help="runs per timing; the median is shown (default 7)")
    p.add_argument("--threads", type=int, default=1, help="fennel's and NetworKit's thread count (default 1)")
    args = p.parse_args()
    import fennel._core as core

    nx.config.warnings_to_ignore.add("cache")
    core.set_num_threads(args.threads)
    igraph, nk, rx = cli.peer("igraph"), cli.peer("networkit"), cli.peer("rustworkx")
    if nk is not None:
        nk.setNumberOfThreads(args.threads)
    gs = graphs(20 if args.quick else 1)
    print(f"fennel threads: {args.threads}; median of {args.repeats} runs; times in ms")
    print(f"{'case':<22}{'graph':>6}{'NetworkX':>10}{'fennel':>9}   peers (time, fennel/peer)")
    for name, key, call in CASES:
        G = gs[key]
        t0 = time.perf_counter()
        expected = exact(call(G, backend="networkx"))
        t_nx = time.perf_counter() - t0
        if exact(call(G, backend="fennel")) != expected:
            raise SystemExit(f"{name} on {key}: fennel's answer differs from NetworkX's")
        t_fennel = cli.median_time(lambda: call(G, backend="fennel"), args.repeats)
        peers = []
        for label, fn in peer_calls(name, G, igraph, nk, rx):
            fn()
            t = cli.median_time(fn, args.repeats)
            peers.append(f"{label} {1e3 * t:.2f} ({t_fennel / t:.2f})")
        print(f"{name:<22}{key:>6}{1e3 * t_nx:>10.1f}{1e3 * t_fennel:>9.2f}   " + ", ".join(peers))


if __name__ == "__main__":
    main()
