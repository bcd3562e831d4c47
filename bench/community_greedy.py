"""Greedy modularity and randomised label propagation: fennel against NetworkX.

On a 20,000-node preferential-attachment graph (3 edges per new node), with
and without int weights 1..9: NetworkX, then fennel on its first call
(conversion included, on the same graph built afresh) and cached. Every fennel
answer is checked to equal NetworkX's (each set in iteration order, and the
seed generator's state after a label propagation) before its time is shown.
Then a 200,000-node graph of the same kind, fennel alone: NetworkX's greedy
modularity would take many minutes there, so its row repeats NetworkX's time
on the 20,000-node graph, which the table says.

    python bench/community_greedy.py            # 20,000 and 200,000 nodes
    python bench/community_greedy.py --quick    # 2,000 and 20,000 nodes
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

CASES = [
    ("greedy_modularity_communities", lambda G, w, **kw: nx.community.greedy_modularity_communities(G, weight=w, **kw)),
    ("asyn_lpa_communities", lambda G, w, **kw: list(nx.community.asyn_lpa_communities(G, weight=w, seed=random.Random(1), **kw))),
    ("fast_label_propagation", lambda G, w, **kw: list(
        nx.community.fast_label_propagation_communities(G, weight=w, seed=random.Random(1), **kw))),
]


def build(n):
    G = nx.barabasi_albert_graph(n, 3, seed=7)
    rng = random.Random(8)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.randint(1, 9)
    return G


def timed(call):
    t = time.perf_counter()
    result = call()
    return time.perf_counter() - t, result


def picture(result):
    return [list(c) for c in result]


def row(name, weight, G, n, compare):
    """(name, NetworkX s, fennel first call s, fennel cached s); fennel's answer checked against NetworkX's."""
    fn = dict((n, f) for n, f in CASES)[name]
    nx_time = None
    if compare:
        nx_time, expected = timed(lambda: fn(G, weight, backend="networkx"))
    fresh = build(n)  # G.copy() would list each row in another order, and answer otherwise
    first, got = timed(lambda: fn(fresh, weight, backend="fennel"))
    cached, again = timed(lambda: fn(fresh, weight, backend="fennel"))
    if compare:
        assert picture(got) == picture(expected) == picture(again), f"{name} differs from NetworkX"
    return nx_time, first, cached


def main(args):
    nx.config.warnings_to_ignore.add("cache")
    small, large = (2_000, 20_000) if args.quick else (20_000, 200_000)
    print(f"{'function':<32} {'weight':<8} {'nodes':>8} {'NetworkX s':>11} {'fennel 1st s':>13} "
          f"{'cached s':>9} {'speed-up':>9}")
    for n, compare in ((small, True), (large, False)):
        G = build(n)
        for name, _ in CASES:
            for weight in (None, "weight"):
                nx_time, first, cached = row(name, weight, G, n, compare)
                if compare:
                    measured[name, weight] = nx_time
                shown = measured[name, weight]
                note = "" if compare else f"  (NetworkX timed on {small:,} nodes)"
                speedup = f"{shown / cached:8.1f}x" if compare else "        -"
                print(f"{name:<32} {str(weight):<8} {n:>8,} {shown:>11.3f} {first:>13.3f} {cached:>9.3f} "
                      f"{speedup}{note}")


measured = {}

if __name__ == "__main__":
    main(cli.parser(__doc__, "2,000 and 20,000 nodes").parse_args())
