"""Dense numerical centralities: fennel against NetworkX (trophic, second order).

NetworkX inverts (trophic) or solves n systems (second order) on a dense
matrix with numpy's LAPACK; fennel builds the same matrix from its converted
graph and calls the same numpy routines, so the LAPACK part costs the same
and the gain is only the Python around it (in-degrees, the basal search, the
matrix building, the per-edge differences).

Graphs: food webs (a random G(n, 5n) with its edges pointed down the node
order and one in ten pointed back up, float weights) for the trophic
functions; connected random graphs G(n, 4n) with float weights for second
order centrality. `--quick`: smaller sizes. fennel's calls run on a graph
converted once beforehand (untimed, `backend="fennel"`); NetworkX's on the
same graph. There is no per-node work on fennel's worker pool here, so one
thread count is shown. Answers are checked equal (floats bit for bit, key
order). Ratios come from one run of each.

    python bench/numerical_dense.py [--quick]
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

TROPHIC = [("trophic_levels", {}), ("trophic_differences", {}), ("trophic_incoherence_parameter", {})]


def food_web(n, seed):
    rnd = random.Random(seed)
    G = nx.DiGraph()
    G.add_nodes_from(range(n))
    for u, v in nx.gnm_random_graph(n, 5 * n, seed=seed).edges:
        u, v = min(u, v), max(u, v)
        G.add_edge(*((v, u) if rnd.random() < 0.1 else (u, v)), weight=rnd.uniform(0.5, 2.0))
    return G


def connected(n, seed):
    rnd = random.Random(seed)
    G = nx.gnm_random_graph(n, 4 * n, seed=seed)
    while not nx.is_connected(G):
        seed += 1
        G = nx.gnm_random_graph(n, 4 * n, seed=seed)
    for u, v in G.edges:
        G[u][v]["weight"] = rnd.uniform(0.5, 2.0)
    return G


def timed(fn):
    t = time.perf_counter()
    result = fn()
    return time.perf_counter() - t, result


def same(a, b):
    if isinstance(a, dict):
        return list(a.items()) == list(b.items()) and all(type(a[k]) is type(b[k]) for k in a)
    return a == b and type(a) is type(b)


def main():
    args = cli.parser(__doc__, "food webs of 200 and 500 nodes, second order on 60 and 120 nodes").parse_args()
    nx.config.warnings_to_ignore.add("cache")
    webs, rings = ((200, 500), (60, 120)) if args.quick else ((500, 1000, 2000), (100, 200, 300))
    cases = [(f"food web {n:,}", food_web(n, n), TROPHIC) for n in webs]
    cases += [(f"G(n, 4n) {n:,}", connected(n, n), [("second_order_centrality", {})]) for n in rings]
    print(f"{'graph':20} {'call':32} {'NetworkX s':>11} {'fennel s':>10} {'x NX':>7}")
    for label, G, calls in cases:
        getattr(nx, calls[0][0])(G, backend="fennel")  # converts G once, untimed
        for name, kwargs in calls:
            t_f, ours = timed(lambda: getattr(nx, name)(G, backend="fennel", **kwargs))  # noqa: B023
            t_nx, theirs = timed(lambda: getattr(nx, name)(G, backend="networkx", **kwargs))  # noqa: B023
            if not same(ours, theirs):
                raise SystemExit(f"fennel's {name} differs from NetworkX's on {label}")
            print(f"{label:20} {name:32} {t_nx:11.3f} {t_f:10.3f} {t_nx / t_f:7.2f}", flush=True)


if __name__ == "__main__":
    main()
