"""Link prediction: fennel against NetworkX, with 1 and 2 worker threads.

Graphs: a random graph G(n, m) of 20,000 nodes and 100,000 edges and a
preferential-attachment graph (Barabási-Albert, 20,000 nodes, 5 edges per
new node), scored over a fixed ebunch of 100,000 pairs (half of them edges,
half random non-edges, shuffled); and the same two kinds of graph with 2,000
nodes scored over all their non-edges (ebunch None: about 2 million pairs,
in nx.non_edges' order). `--quick`: 2,000-node graphs with 10,000 pairs,
and 300-node graphs for the non-edges.

Every call is consumed whole (`list(...)`). fennel's calls run on a graph
converted once beforehand (`backend="fennel"`; the conversion is cached on
the graph), at 1 and at 2 threads (`nx.config.backends.fennel.n_jobs`);
NetworkX's on the same graph. Each community index reads a `community` node
attribute (node mod 7). fennel's answers are checked to equal NetworkX's,
floats bit for bit.

`common_neighbor_centrality` with its default alpha makes NetworkX compute
every pair's distance (`dict(nx.shortest_path_length(G))`) before the first
pair: on 20,000 nodes that is 4e8 entries, beyond memory. There NetworkX's
time is estimated, marked "~": its breadth-first searches from 20 sampled
sources scaled to all 20,000, plus its own run with alpha=1 (the per-pair
part without the distance); fennel's answers are checked on 2,000 pairs
against NetworkX's formula with nx.shortest_path_length per pair.
Ratios come from one run of each.

    python bench/link_prediction.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

NAMES = ["jaccard_coefficient", "adamic_adar_index", "resource_allocation_index", "preferential_attachment",
         "common_neighbor_centrality", "cn_soundarajan_hopcroft", "ra_index_soundarajan_hopcroft",
         "within_inter_cluster"]


def graphs(n, m):
    g = nx.gnm_random_graph(n, m, seed=42)
    pa = nx.barabasi_albert_graph(n, 5, seed=42)
    for G in (g, pa):
        for v in G:
            G.nodes[v]["community"] = v % 7
    return ((f"G(n, m) {n:,}/{m:,}", g), (f"pref. attachment {n:,}", pa))


def ebunch(G, k, seed=7):
    rnd = random.Random(seed)
    pairs = rnd.sample(list(G.edges), k // 2)
    nodes = list(G)
    while len(pairs) < k:
        u, v = rnd.choice(nodes), rnd.choice(nodes)
        if u != v and not G.has_edge(u, v):
            pairs.append((u, v))
    rnd.shuffle(pairs)
    return pairs


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def fennel_times(name, G, pairs):
    out = []
    for threads in (1, 2):
        with nx.config.backends.fennel(n_jobs=threads):
            out.append(timed(lambda: list(getattr(nx, name)(G, pairs, backend="fennel"))))
    if out[0][1] != out[1][1]:
        raise SystemExit(f"{name}: fennel's answers differ between 1 and 2 threads")
    return out[0][0], out[1][0], out[0][1]


def estimated_centrality(G, pairs, ours):
    """NetworkX's time for common_neighbor_centrality where it cannot run, and a sampled check."""
    rnd = random.Random(3)
    sources = rnd.sample(list(G), 20)
    t_bfs, _ = timed(lambda: [nx.single_source_shortest_path_length(G, s) for s in sources])
    t_pairs, _ = timed(lambda: list(nx.common_neighbor_centrality(G, pairs, alpha=1, backend="networkx")))
    n = len(G)
    for i in rnd.sample(range(len(pairs)), min(2000, len(pairs))):
        u, v, p = ours[i]
        try:
            d = nx.shortest_path_length(G, u, v)
        except nx.NetworkXNoPath:
            d = float("inf")
        want = 0.8 * len(nx.common_neighbors(G, u, v)) + (1 - 0.8) * n / d
        if (u, v) != pairs[i] or p != want or type(p) is not type(want):
            raise SystemExit(f"common_neighbor_centrality differs from NetworkX's formula at {pairs[i]}")
    return t_bfs * n / len(sources) + t_pairs


def rows(G, pairs, feasible):
    for name in NAMES:
        t1, t2, ours = fennel_times(name, G, pairs)
        if name == "common_neighbor_centrality" and not feasible:
            yield name, t1, t2, estimated_centrality(G, pairs, ours), True
            continue
        t_nx, theirs = timed(lambda: list(getattr(nx, name)(G, pairs, backend="networkx")))  # noqa: B023
        if ours != theirs or [type(p) for *_, p in ours] != [type(p) for *_, p in theirs]:
            raise SystemExit(f"fennel's {name} differs from NetworkX's")
        yield name, t1, t2, t_nx, False


def main():
    args = cli.parser(__doc__, "2,000-node graphs with 10,000 pairs; 300-node graphs for the non-edges").parse_args()
    nx.config.warnings_to_ignore.add("cache")
    big, m, k, small = (2_000, 10_000, 10_000, 300) if args.quick else (20_000, 100_000, 100_000, 2_000)
    print(f"{'graph':28} {'pairs':>10} {'call':32} {'NetworkX s':>11} {'fennel 1t s':>12} {'fennel 2t s':>12} "
          f"{'x NX 1t':>8} {'x NX 2t':>8} {'2t/1t':>6}")
    cases = [(name, G, ebunch(G, k), len(G) <= 5_000) for name, G in graphs(big, m)]
    cases += [(name, G, None, True) for name, G in graphs(small, 5 * small)]
    for label, G, pairs, feasible in cases:
        list(nx.jaccard_coefficient(G, [next(iter(G.edges))], backend="fennel"))  # converts G once, untimed
        count = len(pairs) if pairs is not None else len(G) * (len(G) - 1) // 2 - G.number_of_edges()
        for name, t1, t2, t_nx, estimated in rows(G, pairs, feasible):
            mark = "~" if estimated else " "
            print(f"{label:28} {count:>10,} {name:32} {mark}{t_nx:10.3f} {t1:12.3f} {t2:12.3f} "
                  f"{t_nx / t1:8.1f} {t_nx / t2:8.1f} {t1 / t2:6.2f}", flush=True)


if __name__ == "__main__":
    main()
