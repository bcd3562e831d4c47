"""Louvain communities: fennel against NetworkX, igraph and NetworKit, in one run.

Graphs: a random graph of 100,000 nodes and 500,000 edges and a
preferential-attachment graph of 20,000 nodes (Barabási-Albert, 5 edges per
new node), each unweighted and with random int weights 1..9 (`--quick`:
a tenth of the sizes). fennel's call is `louvain_communities(G, seed=1,
backend="fennel")`, the graph's conversion included; its answer is checked
to equal NetworkX's wherever NetworkX is timed. NetworkX's own Louvain takes
minutes on the largest graph: there it runs on a fixed sample (the subgraph
of the first 20,000 nodes) and the table says so, fennel timed again on the
same sample for the ratio. igraph's `community_multilevel` and NetworKit's
PLM (one thread, no refinement) run where installed on the same graph;
their answers differ from NetworkX's (other visiting orders) and are not
compared. Ratios come from one run of each.

Leiden (under NetworkX 3.7, the first release that runs it): a random graph
of 20,000 nodes and 100,000 edges and the preferential-attachment graph,
modularity unweighted and weighted, CPM (resolution 0.05) unweighted
(`--quick`: a tenth of the sizes). fennel's `leiden_communities(G, seed=1,
metric=..., backend="fennel")`, conversion included, is checked to equal
NetworkX's on the whole graph; igraph's `community_leiden` with the same
objective runs where installed, its answer not compared. Louvain's rows are
left out where fennel leaves Louvain to the installed NetworkX.

    python bench/community.py [--quick]
"""

import gc
import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

SAMPLE = 20_000  # NetworkX's sample of the 100,000-node graph


def graphs(quick):
    scale = 10 if quick else 1
    big = nx.gnm_random_graph(100_000 // scale, 500_000 // scale, seed=42)
    pa = nx.barabasi_albert_graph(20_000 // scale, 5, seed=42)
    for name, G in (("random 100k/500k", big), ("pref. attachment 20k", pa)):
        for weighted in (False, True):
            H = G.copy()
            if weighted:
                rng = random.Random(7)
                for _, _, d in H.edges(data=True):
                    d["weight"] = rng.randint(1, 9)
            yield f"{name}{' weighted' if weighted else ''}", H, weighted


def timed(fn):
    # A full collection owed by the previous call's garbage (a 500,000-edge
    # graph's dicts) would land in this one.
    gc.collect()
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def fennel(G, weighted):
    H = G.copy()  # a fresh graph: conversion included
    return timed(lambda: nx.community.louvain_communities(H, weight="weight" if weighted else None, seed=1,
                                                          backend="fennel"))


def networkx(G, weighted):
    return timed(lambda: nx.community.louvain_communities(G, weight="weight" if weighted else None, seed=1,
                                                          backend="networkx"))


def igraph_time(ig, G, weighted):
    index = {v: i for i, v in enumerate(G)}
    g = ig.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges()])
    weights = [d["weight"] for _, _, d in G.edges(data=True)] if weighted else None
    return timed(lambda: g.community_multilevel(weights=weights))[0]


def networkit_time(nk, G, weighted):
    nk.setNumberOfThreads(1)
    index = {v: i for i, v in enumerate(G)}
    g = nk.Graph(len(G), weighted=weighted)
    for u, v, d in G.edges(data=True):
        if weighted:
            g.addEdge(index[u], index[v], d["weight"])
        else:
            g.addEdge(index[u], index[v])
    return timed(lambda: nk.community.PLM(g, refine=False).run().getPartition())[0]


def leiden_graphs(quick):
    scale = 10 if quick else 1
    big = nx.gnm_random_graph(20_000 // scale, 100_000 // scale, seed=42)
    pa = nx.barabasi_albert_graph(20_000 // scale, 5, seed=42)
    rng = random.Random(7)
    for name, G in ((f"random {len(big) // 1000}k/{big.number_of_edges() // 1000}k", big),
                    (f"pref. attachment {len(pa) // 1000}k", pa)):
        H = G.copy()
        for _, _, d in H.edges(data=True):
            d["weight"] = rng.randint(1, 9)
        yield f"{name} modularity", G, "modularity", None, 1
        yield f"{name} modularity weighted", H, "modularity", "weight", 1
        yield f"{name} CPM 0.05", G, "cpm", None, 0.05


def igraph_leiden_time(ig, G, metric, weight, resolution):
    index = {v: i for i, v in enumerate(G)}
    g = ig.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges()])
    weights = [d[weight] for _, _, d in G.edges(data=True)] if weight else None
    objective = "modularity" if metric == "modularity" else "CPM"
    return timed(lambda: g.community_leiden(objective_function=objective, weights=weights,
                                            resolution=resolution, n_iterations=-1))[0]


def leiden_rows(quick, ig):
    rows = []
    for name, G, metric, weight, resolution in leiden_graphs(quick):
        kwargs = {"metric": metric, "weight": weight, "resolution": resolution, "seed": 1}
        H = G.copy()
        t_fennel, ours = timed(lambda: nx.community.leiden_communities(H, backend="fennel", **kwargs))
        t_nx, theirs = timed(lambda: nx.community.leiden_communities(G, backend="networkx", **kwargs))
        if [list(c) for c in ours] != [list(c) for c in theirs]:
            raise SystemExit(f"{name}: fennel's Leiden communities differ from NetworkX's")
        t_ig = igraph_leiden_time(ig, G, metric, weight, resolution) if ig else None
        rows.append((name, t_fennel, t_nx / t_fennel, t_ig))
    print(f"{'Leiden graph':60} {'fennel s':>9} {'x NetworkX':>11} {'igraph s':>9} {'/ igraph':>9}")
    for name, t, vs_nx, t_ig in rows:
        ig_cols = f"{t_ig:9.3f} {t / t_ig:9.2f}" if t_ig else f"{'-':>9} {'-':>9}"
        print(f"{name:60} {t:9.3f} {vs_nx:11.1f} {ig_cols}")


def main():
    args = cli.parser(__doc__, "a tenth of the sizes", optional=("igraph", "networkit")).parse_args()
    ig = cli.peer("igraph")
    nk = cli.peer("networkit")
    from fennel.backend import RELEASE_REFUSALS
    from fennel.backend.checks import NX_VERSION

    if NX_VERSION >= (3, 7):  # NetworkX runs Leiden itself from 3.7 on
        leiden_rows(args.quick, ig)
    if "louvain_communities" in RELEASE_REFUSALS:
        return
    rows = []
    for name, G, weighted in graphs(args.quick):
        t_fennel, ours = fennel(G, weighted)
        sample = G if len(G) <= SAMPLE else G.subgraph(list(G)[:SAMPLE]).copy()
        if sample is G:
            t_nx, theirs = networkx(G, weighted)
            t_fennel_nx = t_fennel
            nx_note = ""
        else:
            t_nx, theirs = networkx(sample, weighted)
            t_fennel_nx, ours = fennel(sample, weighted)
            nx_note = f" (NetworkX on the first {SAMPLE:,} nodes)"
        if [list(c) for c in ours] != [list(c) for c in theirs]:
            raise SystemExit(f"{name}: fennel's communities differ from NetworkX's")
        t_ig = igraph_time(ig, G, weighted) if ig else None
        t_nk = networkit_time(nk, G, weighted) if nk else None
        rows.append((name + nx_note, t_fennel, t_nx / t_fennel_nx, t_ig, t_nk))
    print(f"{'graph':60} {'fennel s':>9} {'x NetworkX':>11} {'igraph s':>9} {'/ igraph':>9} {'NetworKit s':>12}")
    for name, t, vs_nx, t_ig, t_nk in rows:
        ig_cols = f"{t_ig:9.3f} {t / t_ig:9.2f}" if t_ig else f"{'-':>9} {'-':>9}"
        nk_col = f"{t_nk:12.3f}" if t_nk else f"{'-':>12}"
        print(f"{name:60} {t:9.3f} {vs_nx:11.1f} {ig_cols} {nk_col}")


if __name__ == "__main__":
    main()
