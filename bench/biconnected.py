"""Biconnected components, articulation points, bridges, chains and local
bridges: fennel against NetworkX, igraph and NetworKit.

Graphs: a random graph of 100,000 nodes and 500,000 edges (G(n, m)) and a
preferential-attachment graph of 20,000 nodes (Barabási-Albert, 5 edges per
new node); `--quick`: 10,000 nodes and 50,000 edges, and 2,000 nodes. Rows:
`list(biconnected_components(G))`, `list(articulation_points(G))`,
`list(bridges(G))`, `list(chain_decomposition(G))` and
`list(local_bridges(G, with_span=False))` on both graphs; local bridges with
their spans (a Dijkstra search per local bridge in NetworkX) on a 2,000-node
G(n, m) graph of 6,000 edges (500 nodes in `--quick`). fennel's calls run on
a fresh copy of the graph (`backend="fennel"`), conversion included,
NetworkX's on another copy; fennel's answers are checked to equal NetworkX's
(lists in order, each set in iteration order). igraph's
`biconnected_components`, `articulation_points` and `bridges`, and
NetworKit's `BiconnectedComponents` (one thread) run on the same edges where
installed; their answers come in other orders and are only counted. Ratios
come from one run of each.

    python bench/biconnected.py [--quick]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def graphs(quick):
    n, m = (10_000, 50_000) if quick else (100_000, 500_000)
    gnm = nx.gnm_random_graph(n, m, seed=42)
    pa = nx.barabasi_albert_graph(2_000 if quick else 20_000, 5, seed=42)
    return ((f"G(n, m) {n:,} / {m:,}", gnm), (f"pref. attachment {len(pa):,}", pa))


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def comparable(items):
    return [list(x) if isinstance(x, set) else x for x in items]


# call name -> (NetworkX function, keyword arguments, igraph call, NetworKit call); a peer call
# returns the count compared with NetworkX's.
CALLS = {
    "biconnected_components": (
        nx.biconnected_components, {},
        lambda g: len(g.biconnected_components()),
        lambda nk, g: nk.components.BiconnectedComponents(g).run().numberOfComponents(),
    ),
    "articulation_points": (nx.articulation_points, {}, lambda g: len(g.articulation_points()), None),
    "bridges": (nx.bridges, {}, lambda g: len(g.bridges()), None),
    "chain_decomposition": (nx.chain_decomposition, {}, None, None),
    "local_bridges (no span)": (nx.local_bridges, {"with_span": False}, None, None),
}


def igraph_graph(ig, G):
    index = {v: i for i, v in enumerate(G)}
    return ig.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges()])


def networkit_graph(nk, G):
    nk.setNumberOfThreads(1)
    index = {v: i for i, v in enumerate(G)}
    g = nk.Graph(len(G))
    for u, v in G.edges():
        g.addEdge(index[u], index[v])
    return g


def row(G, function, kwargs):
    H, G = G.copy(), G.copy()
    t_fennel, ours = timed(lambda: comparable(function(H, backend="fennel", **kwargs)))
    t_nx, theirs = timed(lambda: comparable(function(G, backend="networkx", **kwargs)))
    if ours != theirs:
        raise SystemExit(f"fennel's {function.__name__} differs from NetworkX's")
    return t_fennel, t_nx, len(theirs)


def peer_time(call, g, expected, who):
    if call is None or g is None:
        return None
    t, count = timed(lambda: call(g))
    if count != expected:
        raise SystemExit(f"{who} counts {count}, NetworkX {expected}")
    return t


def main():
    args = cli.parser(__doc__, "graphs of 10,000 and 2,000 nodes", optional=("igraph", "networkit")).parse_args()
    ig = cli.peer("igraph")
    nk = cli.peer("networkit")
    nx.config.warnings_to_ignore.add("cache")
    list(nx.bridges(nx.complete_graph(3), backend="fennel"))  # loads the backend before any timing
    print(f"{'graph':30} {'call':26} {'items':>8} {'fennel s':>9} {'NetworkX s':>11} {'x NetworkX':>11} "
          f"{'igraph s':>9} {'NetworKit s':>12}")

    def show(name, call, count, t, t_nx, t_ig=None, t_nk=None):
        ig_col = f"{t_ig:9.3f}" if t_ig is not None else f"{'-':>9}"
        nk_col = f"{t_nk:12.3f}" if t_nk is not None else f"{'-':>12}"
        print(f"{name:30} {call:26} {count:8,} {t:9.3f} {t_nx:11.3f} {t_nx / t:11.1f} {ig_col} {nk_col}", flush=True)

    for name, G in graphs(args.quick):
        g_ig = igraph_graph(ig, G) if ig else None
        g_nk = networkit_graph(nk, G) if nk else None
        for call, (function, kwargs, ig_call, nk_call) in CALLS.items():
            t, t_nx, count = row(G, function, kwargs)
            t_ig = peer_time(ig_call, g_ig, count, "igraph")
            t_nk = peer_time(nk_call and (lambda g: nk_call(nk, g)), g_nk, count, "NetworKit")  # noqa: B023
            show(name, call, count, t, t_nx, t_ig, t_nk)
    n = 500 if args.quick else 2_000
    G = nx.gnm_random_graph(n, 3 * n, seed=43)
    t, t_nx, count = row(G, nx.local_bridges, {})
    show(f"G(n, m) {n:,} / {3 * n:,}", "local_bridges (spans)", count, t, t_nx)


if __name__ == "__main__":
    main()
