"""fennel's spanning trees against NetworkX, igraph, NetworKit and rustworkx, from one run.

Graphs (float weights random.Random(1).uniform(1, 100)):

* R: gnm_random_graph(20,000, 100,000, seed=1): a forest of a few trees;
* C: a random spanning path plus random edges, 20,000 nodes, 100,000 edges
  (connected).

Rows per graph: minimum_spanning_tree, maximum_spanning_tree and
list(minimum_spanning_edges(data=True)). Columns: NetworkX; fennel through
NetworkX's dispatch on the graph whose conversion is cached (called once
beforehand); igraph's Graph.spanning_tree(weights=...), NetworKit's
KruskalMSF (run and getForest) and rustworkx's minimum_spanning_tree
(weight_fn=float on a PyGraph whose edge payloads are the weights), each on
its own graph built beforehand, for the minimum tree rows only. Every time is
the median of --repeats runs (7 by default), each result freed after its
clock stops (a NetworkX graph of 20,000 nodes takes milliseconds to free);
the ratios are fennel's time
over each peer's from this run. "equal": fennel's answer compared with
NetworkX's: nodes, edges and their data in iteration order.

--quick uses 2,000 nodes and 10,000 edges and 3 repeats.
"""

import random
import statistics
import sys
import time

import cli
import networkx as nx

from fennel.backend import calls


def random_forest(n, m, seed=1):
    G = nx.gnm_random_graph(n, m, seed=seed)
    rng = random.Random(seed)
    for u, v, d in G.edges(data=True):
        d["weight"] = rng.uniform(1, 100)
    return G


def connected_graph(n, m, seed=1):
    rng = random.Random(seed)
    G = nx.Graph()
    order = list(range(n))
    rng.shuffle(order)
    G.add_nodes_from(range(n))
    for u, v in zip(order, order[1:]):
        G.add_edge(u, v, weight=rng.uniform(1, 100))
    edges = n - 1
    while edges < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v and v not in G._adj[u]:
            G.add_edge(u, v, weight=rng.uniform(1, 100))
            edges += 1
    return G


def median_time(call, repeats):
    """The median time of ``call()``, its result freed after the clock stops."""
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        result = call()
        times.append(time.perf_counter() - t)
        del result
    return statistics.median(times)


def same_graph(a, b):
    return (list(a.nodes(data=True)) == list(b.nodes(data=True))
            and list(a.edges(data=True)) == list(b.edges(data=True)))


def peers_of(G):
    """Callables timing each installed peer's minimum spanning tree of G."""
    edges = list(G.edges(data="weight"))
    found = {}
    ig = cli.peer("igraph")
    if ig is not None:
        g = ig.Graph(n=len(G), edges=[(u, v) for u, v, _ in edges])
        weights = [w for _, _, w in edges]
        found["igraph"] = lambda: g.spanning_tree(weights=weights)
    nk = cli.peer("networkit")
    if nk is not None:
        k = nk.Graph(len(G), weighted=True)
        for u, v, w in edges:
            k.addEdge(u, v, w)

        def networkit_msf():
            a = nk.graph.KruskalMSF(k)
            a.run()
            return a.getForest()
        found["NetworKit"] = networkit_msf
    rx = cli.peer("rustworkx")
    if rx is not None:
        r = rx.PyGraph()
        r.add_nodes_from(range(len(G)))
        r.add_edges_from(edges)
        found["rustworkx"] = lambda: rx.minimum_spanning_tree(r, weight_fn=float)
    return found


def main():
    p = cli.parser(__doc__, "2,000 nodes, 10,000 edges, 3 repeats", optional=("igraph", "networkit", "rustworkx"))
    p.add_argument("--repeats", type=int, default=None, help="runs per cell (median taken); 7, or 3 with --quick")
    args = p.parse_args()
    nx.config.warnings_to_ignore.add("cache")
    n, m = (2000, 10000) if args.quick else (20000, 100000)
    repeats = args.repeats or (3 if args.quick else 7)
    names = ("igraph", "NetworKit", "rustworkx")
    print(f"{n} nodes, {m} edges, float weights; median of {repeats} runs (seconds)")
    print(f"{'graph':<6}{'call':<30}{'NetworkX':>10}{'fennel':>10}" + "".join(f"{x:>10}" for x in names)
          + f"{'NX/fen':>8}" + "".join(f"{'fen/' + x[:2]:>8}" for x in names) + f"{'equal':>7}")
    rows = [
        ("minimum_spanning_tree", "minimum_spanning_tree", nx.minimum_spanning_tree, True),
        ("maximum_spanning_tree", "maximum_spanning_tree", nx.maximum_spanning_tree, False),
        ("list(minimum_spanning_edges)", "minimum_spanning_edges",
         lambda G, backend: list(nx.minimum_spanning_edges(G, backend=backend)), False),
    ]
    ok = True
    for label, G in (("R", random_forest(n, m)), ("C", connected_graph(n, m))):
        peers = peers_of(G)
        for call_label, name, call, with_peers in rows:
            expected = call(G, backend="networkx")
            before = calls["ran", name]
            got = call(G, backend="fennel")  # converts G and caches the conversion
            ran = calls["ran", name] - before == 1
            equal = ran and (same_graph(got, expected) if isinstance(got, nx.Graph) else got == expected)
            ok = ok and equal
            t_nx = median_time(lambda: call(G, backend="networkx"), repeats)
            t_fen = median_time(lambda: call(G, backend="fennel"), repeats)
            t_peers = [median_time(peers[x], repeats) if with_peers and x in peers else None for x in names]
            cells = "".join(f"{'-' if t is None else f'{t:.4f}':>10}" for t in t_peers)
            ratios = "".join(f"{'-' if t is None else f'{t_fen / t:.2f}':>8}" for t in t_peers)
            print(f"{label:<6}{call_label:<30}{t_nx:>10.4f}{t_fen:>10.4f}{cells}{t_nx / t_fen:>8.1f}{ratios}"
                  f"{'yes' if equal else 'NO':>7}", flush=True)
    if not ok:
        sys.exit(1)


if __name__ == "__main__":
    main()
