"""prominent_group: fennel against NetworkX.

NetworkX keeps every source's sigma and distances for every node and sums
its path-betweenness table over all node triples (n^3 Python steps), then
copies a pandas DataFrame at every step of its branch and bound: at 20,000
nodes it would need n^2 dict entries (out of memory) and days, and fennel
refuses graphs whose n x n tables pass 30 million entries. So this script
runs both sides whole on smaller graphs: a random graph G(n, 5n) and a
preferential-attachment graph (Barabási-Albert, 5 edges per new node) of
150 nodes (`--quick`: 50), for k = 3 (branch and bound) and k = 6 greedy.
fennel's calls run on the graph already converted, at 1 and at 2 worker
threads (`nx.config.backends.fennel.n_jobs`); ratios come from one run of
each; the answers are checked equal.

    python bench/prominent_group.py [--quick]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def graphs(quick):
    n = 50 if quick else 150
    return ((f"G(n, m) {n} / {5 * n}", nx.gnm_random_graph(n, 5 * n, seed=1)),
            (f"pref. attachment {n}", nx.barabasi_albert_graph(n, 5, seed=1)))


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def main():
    p = cli.parser(__doc__, "graphs of 50 nodes")
    args = p.parse_args()
    nx.config.warnings_to_ignore.add("cache")
    print(f"{'graph':24} {'call':28} {'NetworkX s':>11} {'1 thread s':>11} {'x NX':>7} {'2 threads s':>12} "
          f"{'x NX':>7} {'2t/1t':>6}")
    for gname, G in graphs(args.quick):
        nx.group_degree_centrality(G, list(G)[:1], backend="fennel")  # converts G once, cached on it
        for call, kwargs in (("k=3", dict(k=3)), ("k=6, greedy", dict(k=6, greedy=True))):
            t_nx, theirs = timed(lambda: nx.prominent_group(G, backend="networkx", **kwargs))  # noqa: B023
            times = []
            for threads in (1, 2):
                with nx.config.backends.fennel(n_jobs=threads):
                    t, ours = timed(lambda: nx.prominent_group(G, backend="fennel", **kwargs))  # noqa: B023
                if ours != theirs:
                    raise SystemExit(f"fennel's prominent_group ({call}) differs from NetworkX's")
                times.append(t)
            t1, t2 = times
            print(f"{gname:24} {'prominent_group ' + call:28} {t_nx:11.2f} {t1:11.4f} {t_nx / t1:7.0f} {t2:12.4f} "
                  f"{t_nx / t2:7.0f} {t1 / t2:6.2f}", flush=True)


if __name__ == "__main__":
    main()
