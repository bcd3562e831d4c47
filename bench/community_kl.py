"""Kernighan-Lin bisection and Lukes partitioning: fennel against NetworkX.

Kernighan-Lin on preferential-attachment graphs (3 edges per new node) of
20,000 nodes, unweighted and with float weights, seed 1: NetworkX, then
fennel on its first call (conversion included, on the same graph built
afresh) and cached, fennel's blocks checked to equal NetworkX's (each set in
iteration order) before its time is shown. Lukes (max_size 10) on random
labelled trees: NetworkX's own search is quadratic (about 20 s on 800
nodes), so it is compared on 500 nodes and fennel runs alone on 3,000 and
10,000 (its own pick of the next node still scans the tree's nodes once
per step), the table saying where NetworkX was not run.

    python bench/community_kl.py            # as above
    python bench/community_kl.py --quick    # Kernighan-Lin on 2,000 nodes, Lukes on 200 and 2,000
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli


def pa_graph(n, weight):
    G = nx.barabasi_albert_graph(n, 3, seed=7)
    if weight:
        rng = random.Random(8)
        for _, _, d in G.edges(data=True):
            d["weight"] = rng.choice([0.5, 1.25, 2.0, 3.1, 0.1, 7.7])
    return G


def tree(n, weight):
    G = nx.random_labeled_tree(n, seed=3) if hasattr(nx, "random_labeled_tree") else nx.random_tree(n, seed=3)
    if weight:
        rng = random.Random(4)
        for _, _, d in G.edges(data=True):
            d["weight"] = rng.choice([0.5, 1.25, 2.0, 3.1])
    return G


def kl(G, weight, backend):
    return nx.community.kernighan_lin_bisection(G, weight=weight, seed=1, backend=backend)


def lukes(G, weight, backend):
    random.seed(5)  # NetworkX draws the root from the global generator
    return nx.community.lukes_partitioning(G, 10, edge_weight=weight, backend=backend)


def timed(call):
    t = time.perf_counter()
    result = call()
    return time.perf_counter() - t, result


def picture(result):
    return [list(c) for c in result]


def row(name, fn, build, n, weight, compare):
    """(NetworkX s or None, fennel first call s, fennel cached s); fennel's answer checked against NetworkX's."""
    nx_time = None
    if compare:
        nx_time, expected = timed(lambda: fn(build(n, weight), weight, "networkx"))
    fresh = build(n, weight)
    first, got = timed(lambda: fn(fresh, weight, "fennel"))
    cached, again = timed(lambda: fn(fresh, weight, "fennel"))
    assert picture(got) == picture(again), f"{name} differs between calls"
    if compare:
        assert picture(got) == picture(expected), f"{name} differs from NetworkX"
    nx_text = f"{nx_time:>11.3f}" if compare else f"{'not run':>11}"
    speed = f"{nx_time / cached:8.1f}x" if compare else f"{'-':>9}"
    wname = "float" if weight else "None"
    print(f"{name:<26} {wname:<7} {n:>8,} {nx_text} {first:>13.3f} {cached:>9.3f} {speed}")


def main(args):
    nx.config.warnings_to_ignore.add("cache")
    kl_nodes = 2_000 if args.quick else 20_000
    lukes_compared, lukes_alone = (200, (2_000,)) if args.quick else (500, (3_000, 10_000))
    print(f"{'function':<26} {'weight':<7} {'nodes':>8} {'NetworkX s':>11} {'fennel 1st s':>13} "
          f"{'cached s':>9} {'speed-up':>9}")
    for weight in (None, "weight"):
        row("kernighan_lin_bisection", kl, pa_graph, kl_nodes, weight, True)
    for weight in (None, "weight"):
        row("lukes_partitioning", lukes, tree, lukes_compared, weight, True)
        for n in lukes_alone:
            row("lukes_partitioning", lukes, tree, n, weight, False)


if __name__ == "__main__":
    main(cli.parser(__doc__, "Kernighan-Lin on 2,000 nodes, Lukes on 200 and 2,000").parse_args())
