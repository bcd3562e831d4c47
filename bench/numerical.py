"""Numerical centralities: fennel against NetworkX, in one run.

hits on a 20,000-node, 100,000-edge random digraph (G(n, m)) and on a
20,000-node preferential-attachment graph (Barabási-Albert, 5 edges per new
node), with a start vector of ones (NetworkX 3.6's SVD draws a random start
otherwise, and its answers then vary from call to call); the current-flow
centralities on a 1,000-node, 5,000-edge random graph (its largest
component: NetworkX takes minutes there); laplacian_centrality on a
1,000-node, 5,000-edge random graph, unweighted and with float weights.
fennel runs on a fresh copy of the graph (conversion included)
with 1 and with 2 worker threads (``n_jobs``), NetworkX on another copy;
every fennel answer is checked to equal NetworkX's, bit for bit and in
order, before its row is printed. Ratios come from one run of each.

    python bench/numerical.py            # the sizes above
    python bench/numerical.py --quick    # 2,000-node graphs, current flow and laplacian on 300 nodes
"""

import random
import sys
import time
import warnings

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def graphs(quick):
    n = 2_000 if quick else 20_000
    flow = 300 if quick else 1_000
    D = nx.gnm_random_graph(n, 5 * n, seed=7, directed=True)
    B = nx.barabasi_albert_graph(n, 5, seed=7)
    R = nx.gnm_random_graph(flow, 5 * flow, seed=7)
    R = nx.Graph(R.subgraph(max(nx.connected_components(R), key=len)))
    ones = {"nstart": dict.fromkeys(D, 1.0)}
    cases = [(f"G(n, m) digraph {n:,}", D, "hits", ones), (f"pref. attachment {n:,}", B, "hits", ones)]
    for name in ("current_flow_betweenness_centrality", "edge_current_flow_betweenness_centrality",
                 "current_flow_closeness_centrality"):
        cases.append((f"G(n, m) {len(R):,} nodes", R, name, {}))
    W = nx.gnm_random_graph(flow, 5 * flow, seed=8)
    cases.append((f"G(n, m) {flow:,} nodes", W, "laplacian_centrality", {"weight": None}))
    rng = random.Random(8)
    for _, _, d in W.edges(data=True):
        d["weight"] = rng.choice([0.5, 1.25, 2.0, 3.1])
    cases.append((f"G(n, m) {flow:,} nodes, float weights", W, "laplacian_centrality", {}))
    return cases


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def main():
    cli.parser(__doc__, "2,000-node graphs, current flow and laplacian on 300 nodes").parse_args()
    args = sys.argv[1:]
    warnings.simplefilter("ignore")
    nx.pagerank(nx.path_graph(3), backend="fennel")  # loads the backend before any timing
    print(f"{'graph':36} {'call':42} {'NetworkX s':>11} {'1 thread s':>11} {'2 threads s':>12} {'x (1)':>7} "
          f"{'x (2)':>7} {'2 vs 1':>7}")
    for graph, G, name, kwargs in graphs("--quick" in args):
        fn = getattr(nx, name)
        t_nx, theirs = timed(lambda: fn(G.copy(), backend="networkx", **kwargs))  # noqa: B023 - called at once
        times = []
        for threads in (1, 2):
            with nx.config.backends.fennel(n_jobs=threads):
                t, ours = timed(lambda: fn(G.copy(), backend="fennel", **kwargs))  # noqa: B023
            if ours != theirs or [list(x) for x in _parts(ours)] != [list(x) for x in _parts(theirs)]:
                raise SystemExit(f"fennel's {name} differs from NetworkX's on {graph}")
            times.append(t)
        print(f"{graph:36} {name:42} {t_nx:11.3f} {times[0]:11.3f} {times[1]:12.3f} {t_nx / times[0]:7.1f} "
              f"{t_nx / times[1]:7.1f} {times[0] / times[1]:7.2f}")


def _parts(result):
    return result if isinstance(result, tuple) else (result,)


if __name__ == "__main__":
    main()
