"""Structural holes, dispersion, VoteRank, percolation and closeness vitality: fennel against NetworkX.

Graphs: a random graph of 20,000 nodes and 100,000 edges (G(n, m)) and a
preferential-attachment graph of 20,000 nodes (Barabási-Albert, 5 edges per
new node); `--quick`: 2,000 nodes. Every call runs on the same graph object
for fennel (`backend="fennel"`, its conversion cached by the first row) and
NetworkX, fennel at 1 and 2 threads (`nx.config.backends.fennel.n_jobs`),
and fennel's answer is checked to equal NetworkX's (values and key order;
NaN equal to NaN). Ratios come from one run of each.

Where NetworkX would take many minutes its time is measured on a fixed
sample and scaled, and the row says so:
  - effective_size and constraint: both libraries on the same 30 nodes
    (`nodes=`; NetworkX's loops cost the cube of a node's degree);
  - voterank: the first 30 picks (`number_of_nodes=30`), both libraries;
  - percolation_centrality: NetworkX's own per-source steps (its search and
    `_accumulate_percolation`) for 60 sources, scaled to every source;
    fennel's full call, compared against NetworkX's full call in `--quick` only;
  - closeness_vitality(G, node=v): NetworkX's Wiener index of G - v from 40
    sources, scaled to every source; fennel's full call; the answer compared
    in `--quick` only.

    python bench/structural.py [--quick]
"""

import math
import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
from networkx.algorithms.centrality import percolation as _perc

import cli


def graphs(quick):
    n = 2_000 if quick else 20_000
    return ((f"G(n, m) {n:,}/{5 * n:,}", nx.gnm_random_graph(n, 5 * n, seed=42)),
            (f"pref. attachment {n:,}", nx.barabasi_albert_graph(n, 5, seed=42)))


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def same(a, b):
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(x, y) for x, y in zip(a.values(), b.values()))
    if isinstance(a, float) and isinstance(b, float) and math.isnan(a):
        return math.isnan(b)
    return type(a) is type(b) and a == b


def fennel_times(G, call):
    config = nx.config.backends.fennel
    out = []
    for threads in (1, 2):
        config.n_jobs = threads
        nx.voterank(G, 1, backend="fennel")  # the pool takes its new size outside the timing
        out.append(timed(lambda: call("fennel")))  # noqa: B023 - called at once
    config.n_jobs = None
    return out


def percolation_sample(G, sources):
    states = nx.get_node_attributes(G, "percolation", default=1)
    total = 0.0
    for v in states.values():
        total += v
    percolation = dict.fromkeys(G, 0.0)
    for s in sources:
        S, P, sigma, _ = _perc.shortest_path(G, s)
        _perc._accumulate_percolation(percolation, S, P, sigma, s, states, total)


def wiener_sample(H, sources):
    return sum(sum(nx.single_source_shortest_path_length(H, s).values()) for s in sources)


def rows(G, quick):
    nodes = random.Random(7).sample(list(G), 30)
    exact = [
        ("effective_size, 30 nodes", lambda b: nx.effective_size(G, nodes, backend=b)),
        ("constraint, 30 nodes", lambda b: nx.constraint(G, nodes, backend=b)),
        ("dispersion, every pair", lambda b: nx.dispersion(G, backend=b)),
        ("voterank, 30 picks", lambda b: nx.voterank(G, 30, backend=b)),
    ]
    for name, call in exact:
        t_nx, expected = timed(lambda: call("networkx"))  # noqa: B023
        times = fennel_times(G, call)
        for _, got in times:
            if not same(got, expected):
                raise SystemExit(f"fennel's {name} differs from NetworkX's")
        yield name, t_nx, [t for t, _ in times]
    n = len(G)
    sample = random.Random(8).sample(list(G), 60)
    t_sample, _ = timed(lambda: percolation_sample(G, sample))
    call = lambda b: nx.percolation_centrality(G, backend=b)  # noqa: E731
    times = fennel_times(G, call)
    if quick:
        expected = call("networkx")
        if not all(same(got, expected) for _, got in times):
            raise SystemExit("fennel's percolation_centrality differs from NetworkX's")
    yield "percolation_centrality (NetworkX: 60 sources, scaled)", t_sample * n / 60, [t for t, _ in times]
    v = next(iter(G))
    H = G.subgraph(set(G) - {v})
    sample = random.Random(9).sample(list(H), 40)
    t_sample, _ = timed(lambda: wiener_sample(H, sample))
    call = lambda b: nx.closeness_vitality(G, v, backend=b)  # noqa: E731
    times = fennel_times(G, call)
    if quick:
        expected = call("networkx")
        if not all(same(got, expected) for _, got in times):
            raise SystemExit("fennel's closeness_vitality differs from NetworkX's")
    # NetworkX's call takes wiener_index twice: of G and of G - v.
    yield "closeness_vitality node=v (NetworkX: 40 sources, scaled)", 2 * t_sample * (n - 1) / 40, [t for t, _ in times]


def main():
    args = cli.parser(__doc__, "graphs of 2,000 nodes; sampled rows also checked against NetworkX's full call").parse_args()
    nx.voterank(nx.path_graph(3), backend="fennel")  # loads the backend before any timing
    print(f"{'graph':26} {'call':56} {'NetworkX s':>11} {'fennel 1t':>10} {'fennel 2t':>10} {'x 1t':>8} {'x 2t':>8} "
          f"{'2t/1t':>6}")
    for label, G in graphs(args.quick):
        nx.voterank(G, 1, backend="fennel")  # converts (and caches) the graph once, outside the timings
        for name, t_nx, (t1, t2) in rows(G, args.quick):
            print(f"{label:26} {name:56} {t_nx:11.3f} {t1:10.3f} {t2:10.3f} {t_nx / t1:8.1f} {t_nx / t2:8.1f} "
                  f"{t1 / t2:6.2f}", flush=True)


if __name__ == "__main__":
    main()
