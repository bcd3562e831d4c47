"""Local structure measures: fennel against NetworkX.

Graphs: a random graph G(n, m) of 20,000 nodes and 100,000 edges and a
preferential-attachment graph (Barabási-Albert, 20,000 nodes, 5 edges per
new node); the directed measures (reciprocity, the triad census) run on the
directed G(n, m) of the same size and on the preferential-attachment graph
with each edge oriented at random and a fifth of them both ways. Weighted
clustering reads random float weights. `--quick`: 2,000 nodes.

Rows: clustering (weighted), average_clustering (weighted),
square_clustering, generalized_degree, local_efficiency,
global_reaching_centrality, reciprocity (all nodes), overall_reciprocity and
triadic_census. Columns: fennel's first call (conversion included, the
thread count in force), its cached calls at 1 and 2 worker threads
(`nx.config.backends.fennel.n_jobs`), NetworkX's time and the ratios
NetworkX / fennel cached 1 thread and fennel 1 thread / 2 threads, each from
one run. Every fennel answer is checked equal to NetworkX's (dicts in order,
floats bit for bit).

Where NetworkX would take minutes, it runs on a fixed sample of nodes and
its time is scaled to the whole graph (marked "~"): local_efficiency's terms
are global_efficiency(G.subgraph(G[v])) per sampled node, and
global_reaching_centrality's are local_reaching_centrality per sampled node
over that node's paths (NetworkX's global measure stores every shortest path
of the graph first, then takes them node by node);
the sampled terms are checked against fennel's.

    python bench/local_structure.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

SAMPLE = 200


def graphs(quick):
    n = 2_000 if quick else 20_000
    rng = random.Random(7)
    gnm = nx.gnm_random_graph(n, 5 * n, seed=42)
    pa = nx.barabasi_albert_graph(n, 5, seed=42)
    for G in (gnm, pa):
        for _, _, d in G.edges(data=True):
            d["weight"] = rng.random()
    dgnm = nx.gnm_random_graph(n, 5 * n, seed=43, directed=True)
    dpa = nx.DiGraph()
    dpa.add_nodes_from(pa)
    for u, v in pa.edges():
        u, v = (u, v) if rng.random() < 0.5 else (v, u)
        dpa.add_edge(u, v)
        if rng.random() < 0.2:
            dpa.add_edge(v, u)
    return [(f"G(n, m) {n:,}/{5 * n:,}", gnm, dgnm), (f"pref. attachment {n:,}", pa, dpa)]


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def bits(x):
    """A comparable picture: dict order, value types and float bits."""
    if isinstance(x, dict):
        return [(k, bits(v)) for k, v in x.items()]
    if isinstance(x, float):
        return ("float", x.hex())
    return (type(x), x)


def with_threads(threads, fn):
    with nx.config.backends.fennel(n_jobs=threads):
        return timed(fn)


def sampled(G, term):
    """NetworkX's per-node terms over a fixed sample, and the time scaled to every node."""
    nodes = list(G)[:: max(1, len(G) // SAMPLE)]
    t, values = timed(lambda: [term(v) for v in nodes])
    return t * len(G) / len(nodes), dict(zip(nodes, values))


def rows(G, D):
    calls = [
        ("clustering weighted", G, lambda b: nx.clustering(G, weight="weight", backend=b)),
        ("average_clustering weighted", G, lambda b: nx.average_clustering(G, weight="weight", backend=b)),
        ("square_clustering", G, lambda b: nx.square_clustering(G, backend=b)),
        ("generalized_degree", G, lambda b: nx.generalized_degree(G, backend=b)),
        ("reciprocity (all nodes)", D, lambda b: nx.reciprocity(D, D, backend=b)),
        ("overall_reciprocity", D, lambda b: nx.overall_reciprocity(D, backend=b)),
        ("triadic_census", D, lambda b: nx.triadic_census(D, backend=b)),
    ]
    for name, H, call in calls:
        first, ours = with_threads(1, lambda: call("fennel"))  # noqa: B023 - called at once
        one, ours = with_threads(1, lambda: call("fennel"))  # noqa: B023
        two, ours2 = with_threads(2, lambda: call("fennel"))  # noqa: B023
        t_nx, theirs = timed(lambda: call("networkx"))  # noqa: B023
        if not bits(ours) == bits(ours2) == bits(theirs):
            raise SystemExit(f"fennel's {name} differs from NetworkX's")
        yield name, first, one, two, t_nx, ""
    # The sampled rows: fennel's whole answer against NetworkX's sampled terms.
    from fennel.backend.clique import node_hashes
    from fennel.backend.graph import as_fennel

    first, _ = with_threads(1, lambda: nx.local_efficiency(G, backend="fennel"))
    one, _ = with_threads(1, lambda: nx.local_efficiency(G, backend="fennel"))
    two, _ = with_threads(2, lambda: nx.local_efficiency(G, backend="fennel"))
    fg = as_fennel(G, ())
    terms = dict(zip(fg.nodes, fg.core.local_efficiencies(node_hashes(fg), len(fg))))
    t_nx, theirs = sampled(G, lambda v: nx.global_efficiency(G.subgraph(G[v]), backend="networkx"))
    if any(bits(terms[v]) != bits(x) for v, x in theirs.items()):
        raise SystemExit("fennel's local efficiency terms differ from NetworkX's")
    yield "local_efficiency", first, one, two, t_nx, "~"
    first, _ = with_threads(1, lambda: nx.global_reaching_centrality(G, backend="fennel"))
    one, _ = with_threads(1, lambda: nx.global_reaching_centrality(G, backend="fennel"))
    two, _ = with_threads(2, lambda: nx.global_reaching_centrality(G, backend="fennel"))
    # NetworkX's global measure: each node's breadth-first paths, then its local measure over them.
    t_nx, theirs = sampled(G, lambda v: nx.local_reaching_centrality(
        G, v, paths=nx.single_source_shortest_path(G, v, backend="networkx"), backend="networkx"))
    ours = {v: nx.local_reaching_centrality(G, v, backend="fennel") for v in theirs}
    if bits(ours) != bits(theirs):
        raise SystemExit("fennel's local reaching centralities differ from NetworkX's")
    yield "global_reaching_centrality", first, one, two, t_nx, "~"


def main():
    args = cli.parser(__doc__, "graphs of 2,000 nodes").parse_args()
    nx.overall_reciprocity(nx.DiGraph([(0, 1)]), backend="fennel")  # loads the backend before any timing
    print(f"{'graph':28} {'call':30} {'first s':>8} {'1t s':>8} {'2t s':>8} {'NetworkX s':>11} "
          f"{'nx/1t':>8} {'2t x':>6}")
    for name, G, D in graphs(args.quick):
        for call, first, one, two, t_nx, mark in rows(G, D):
            print(f"{name:28} {call:30} {first:8.3f} {one:8.3f} {two:8.3f} {mark:>1}{t_nx:10.3f} "
                  f"{t_nx / one:8.1f} {one / two:6.2f}")


if __name__ == "__main__":
    main()
