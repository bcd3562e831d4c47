"""Maximal cliques and k-clique communities: fennel against NetworkX, igraph and NetworKit.

Graphs: a preferential-attachment graph of 20,000 nodes (Barabási-Albert,
5 edges per new node) and a dense random graph (G(n, p), 70 nodes,
p = 0.5: NetworkX's percolation grows with the square of its cliques); `--quick`: 2,000 nodes and 40 nodes. Rows: `list(find_cliques(G))`,
`list(k_clique_communities(G, k))` for k = 3 and 4, `list(enumerate_all_cliques(G))`,
`node_clique_number(G)`, and on the dense graph `max_weight_clique(G, None)`
(NetworkX's colouring bound is quadratic in the candidates: too slow on the
large graph). fennel's calls run
on a fresh copy of the graph (`backend="fennel"`), conversion included,
NetworkX's on another copy (a copy's rows may list neighbours in another
order than the original's, and the answers follow that order); fennel's
answers are checked to equal NetworkX's (cliques in order, each community's
nodes in iteration order). igraph's `maximal_cliques` and NetworKit's
`MaximalCliques` (one thread) run on the find_cliques rows where installed;
their cliques come in other orders and are only counted; igraph's `cliques()`
(every clique) and `clique_number()` stand beside enumerate_all_cliques and
max_weight_clique. Ratios come from
one run of each.

    python bench/clique.py [--quick]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def graphs(quick):
    pa = nx.barabasi_albert_graph(2_000 if quick else 20_000, 5, seed=42)
    dense = nx.gnp_random_graph(40 if quick else 70, 0.5, seed=42)
    return ((f"pref. attachment {len(pa):,}", pa), (f"G(n, p) {len(dense)} nodes, p = 0.5", dense))


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def igraph_time(ig, G):
    index = {v: i for i, v in enumerate(G)}
    g = ig.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges()])
    t, cliques = timed(lambda: g.maximal_cliques())
    return t, len(cliques)


def networkit_time(nk, G):
    nk.setNumberOfThreads(1)
    index = {v: i for i, v in enumerate(G)}
    g = nk.Graph(len(G))
    for u, v in G.edges():
        g.addEdge(index[u], index[v])
    t, cliques = timed(lambda: nk.clique.MaximalCliques(g).run().getCliques())
    return t, len(cliques)


def rows(G, ig, nk):
    G, H = G.copy(), G.copy()
    t_fennel, ours = timed(lambda: list(nx.find_cliques(H, backend="fennel")))
    t_nx, theirs = timed(lambda: list(nx.find_cliques(G, backend="networkx")))
    if ours != theirs:
        raise SystemExit("fennel's cliques differ from NetworkX's")
    peers = [igraph_time(ig, G) if ig else None, networkit_time(nk, G) if nk else None]
    for peer in peers:
        if peer and peer[1] != len(theirs):
            raise SystemExit(f"a peer counts {peer[1]} maximal cliques, NetworkX {len(theirs)}")
    yield f"find_cliques ({len(theirs):,} cliques)", t_fennel, t_nx, [p[0] if p else None for p in peers]
    for k in (3, 4):
        H = G.copy()
        G = G.copy()
        t_fennel, ours = timed(lambda: [list(c) for c in nx.community.k_clique_communities(H, k, backend="fennel")])
        t_nx, theirs = timed(lambda: [list(c) for c in nx.community.k_clique_communities(G, k, backend="networkx")])
        if ours != theirs:
            raise SystemExit(f"fennel's {k}-clique communities differ from NetworkX's")
        yield f"k_clique_communities k={k} ({len(theirs):,})", t_fennel, t_nx, [None, None]
    g = None
    if ig:
        index = {v: i for i, v in enumerate(G)}
        g = ig.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges()])
    calls = [("enumerate_all_cliques", lambda H, b: list(nx.enumerate_all_cliques(H, backend=b)),
              lambda: len(g.cliques())),
             ("node_clique_number", lambda H, b: list(nx.node_clique_number(H, backend=b).items()), None)]
    if len(G) < 1000:
        calls.append(("max_weight_clique", lambda H, b: nx.max_weight_clique(H, None, backend=b),
                      lambda: g.clique_number()))
    for call, run, peer in calls:
        H, G = G.copy(), G.copy()
        t_fennel, ours = timed(lambda: run(H, "fennel"))  # noqa: B023 - called at once
        t_nx, theirs = timed(lambda: run(G, "networkx"))  # noqa: B023
        if ours != theirs:
            raise SystemExit(f"fennel's {call} differs from NetworkX's")
        yield call, t_fennel, t_nx, [timed(peer)[0] if g is not None and peer else None, None]


def main():
    args = cli.parser(__doc__, "graphs of 2,000 and 40 nodes", optional=("igraph", "networkit")).parse_args()
    ig = cli.peer("igraph")
    nk = cli.peer("networkit")
    list(nx.find_cliques(nx.complete_graph(3), backend="fennel"))  # loads the backend before any timing
    print(f"{'graph':36} {'call':40} {'fennel s':>9} {'NetworkX s':>11} {'x NetworkX':>11} {'igraph s':>9} "
          f"{'NetworKit s':>12}")
    for name, G in graphs(args.quick):
        for call, t, t_nx, (t_ig, t_nk) in rows(G, ig, nk):
            ig_col = f"{t_ig:9.3f}" if t_ig is not None else f"{'-':>9}"
            nk_col = f"{t_nk:12.3f}" if t_nk is not None else f"{'-':>12}"
            print(f"{name:36} {call:40} {t:9.3f} {t_nx:11.3f} {t_nx / t:11.1f} {ig_col} {nk_col}")


if __name__ == "__main__":
    main()
