"""Subset and load betweenness and the group centralities: fennel against NetworkX.

Graphs: a random graph G(n, m) of 20,000 nodes and 100,000 edges and a
preferential-attachment graph of 20,000 nodes (Barabási-Albert, 5 edges per
new node); `--quick`: 2,000 nodes. fennel's calls run on the graph already
converted (one conversion beforehand, cached on the graph), at 1 and at 2
worker threads (`nx.config.backends.fennel.n_jobs`); ratios come from one
run of each.

NetworkX would take hours on some rows, so it runs on a fixed sample and is
scaled (marked "est." in the table):
- subset betweenness (node and edge): fennel from 200 sources to every third
  node; NetworkX from the first 10 of those sources, its time times 20. The
  two answers for those 10 sources are checked equal.
- load_centrality and edge_load_centrality: NetworkX's per-source helpers
  (_node_betweenness, _edge_betweenness: the whole work of one source of the
  call) on 5 sources, the time times n / 5. The answers are checked equal on
  the subgraph of the first 1,500 nodes (300 with --quick), where NetworkX
  runs whole.
- group_betweenness_centrality (a group of 10 nodes): NetworkX keeps every
  source's sigma and distances for every node (n^2 dict entries: out of
  memory at 20,000 nodes), so its time is estimated by its preprocessing
  searches alone (_single_source_shortest_path_basic and
  _accumulate_endpoints, on 5 sources, times n), which leaves out its
  path-betweenness sums and copies: the real ratio is higher. The answers
  are checked equal on the 1,500-node subgraph (300 with --quick).
- group_closeness_centrality (a group of 100 nodes) and
  group_degree_centrality (a tenth of the nodes) run whole on both sides.

    python bench/group_betweenness.py [--quick] [--only CALL]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
from networkx.algorithms.centrality import betweenness as nx_betweenness
from networkx.algorithms.centrality import load as nx_load

import cli

SUBSET_SOURCES, NX_SUBSET_SOURCES, NX_LOAD_SOURCES = 200, 10, 5


def graphs(quick):
    n = 2_000 if quick else 20_000
    return ((f"G(n, m) {n:,} / {5 * n:,}", nx.gnm_random_graph(n, 5 * n, seed=1)),
            (f"pref. attachment {n:,}", nx.barabasi_albert_graph(n, 5, seed=1)))


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def fennel_times(call):
    """(1-thread time, 2-thread time, the 1-thread answer)."""
    out = []
    for threads in (1, 2):
        with nx.config.backends.fennel(n_jobs=threads):
            out.append(timed(call))
    if out[0][1] != out[1][1]:
        raise SystemExit("fennel's answers at 1 and 2 threads differ")
    return out[0][0], out[1][0], out[0][1]


def same(name, ours, theirs):
    if ours != theirs or (isinstance(ours, dict) and list(ours) != list(theirs)):
        raise SystemExit(f"fennel's {name} differs from NetworkX's")


def rows(G, quick, only):
    def want(call):
        return only is None or call.startswith(only)

    nodes = list(G)
    n = len(G)
    sources, targets = nodes[:SUBSET_SOURCES], nodes[::3]
    for name in ("betweenness_centrality_subset", "edge_betweenness_centrality_subset"):
        if not want(name):
            continue
        fn = getattr(nx, name)
        sample = sources[:NX_SUBSET_SOURCES]
        t_nx, theirs = timed(lambda: fn(G, sample, targets, backend="networkx"))  # noqa: B023
        same(name, fn(G, sample, targets, backend="fennel"), theirs)
        t1, t2, _ = fennel_times(lambda: fn(G, sources, targets, backend="fennel"))  # noqa: B023
        yield f"{name} ({SUBSET_SOURCES} sources)", t_nx * SUBSET_SOURCES / NX_SUBSET_SOURCES, True, t1, t2
    small = nx.Graph(G.subgraph(nodes[: 300 if quick else 1_500]))
    for name, helper in (("load_centrality", lambda s: nx_load._node_betweenness(G, s, None, False, None)),
                         ("edge_load_centrality", lambda s: nx_load._edge_betweenness(G, s, cutoff=False))):
        if not want(name):
            continue
        fn = getattr(nx, name)
        same(name, fn(small, backend="fennel"), fn(small, backend="networkx"))
        t_nx, _ = timed(lambda: [helper(s) for s in nodes[:NX_LOAD_SOURCES]])  # noqa: B023
        t1, t2, _ = fennel_times(lambda: fn(G, backend="fennel"))  # noqa: B023
        yield name, t_nx * n / NX_LOAD_SOURCES, True, t1, t2
    if want("group_betweenness_centrality"):
        yield group_betweenness_row(G, small)
    for name, group in (("group_closeness_centrality", nodes[:100]), ("group_degree_centrality", nodes[: n // 10])):
        if not want(name):
            continue
        fn = getattr(nx, name)
        t_nx, theirs = timed(lambda: fn(G, group, backend="networkx"))  # noqa: B023
        t1, t2, ours = fennel_times(lambda: fn(G, group, backend="fennel"))  # noqa: B023
        same(name, ours, theirs)
        yield f"{name} ({len(group)} nodes)", t_nx, False, t1, t2


def group_betweenness_row(G, small):
    nodes = list(G)
    group = nodes[:10]
    same("group_betweenness_centrality", nx.group_betweenness_centrality(small, group, backend="fennel"),
         nx.group_betweenness_centrality(small, group, backend="networkx"))

    def preprocessing(s):
        S, P, sigma, _ = nx_betweenness._single_source_shortest_path_basic(G, s)
        return nx_betweenness._accumulate_endpoints(dict.fromkeys(G, 0), S, P, sigma, s)

    t_nx, _ = timed(lambda: [preprocessing(s) for s in nodes[:NX_LOAD_SOURCES]])
    t1, t2, _ = fennel_times(lambda: nx.group_betweenness_centrality(G, group, backend="fennel"))
    return "group_betweenness_centrality (10 nodes)", t_nx * len(G) / NX_LOAD_SOURCES, True, t1, t2


def main():
    p = cli.parser(__doc__, "graphs of 2,000 nodes")
    p.add_argument("--only", help="run only the calls whose name starts with this")
    args = p.parse_args()
    nx.config.warnings_to_ignore.add("cache")
    print(f"{'graph':26} {'call':50} {'NetworkX s':>12} {'1 thread s':>11} {'x NX':>7} {'2 threads s':>12} "
          f"{'x NX':>7} {'2t/1t':>6}")
    for gname, G in graphs(args.quick):
        nx.load_centrality(G, cutoff=1, backend="fennel")  # converts G once, cached on it
        for call, t_nx, estimated, t1, t2 in rows(G, args.quick, args.only):
            nx_col = f"{t_nx:8.2f}" + (" est" if estimated else "    ")
            print(f"{gname:26} {call:50} {nx_col:>12} {t1:11.3f} {t_nx / t1:7.0f} {t2:12.3f} {t_nx / t2:7.0f} "
                  f"{t1 / t2:6.2f}", flush=True)


if __name__ == "__main__":
    main()
