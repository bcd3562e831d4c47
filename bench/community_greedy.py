"""Greedy modularity, randomised label propagation and fluid communities:
fennel against NetworkX.

Preferential-attachment graphs (3 edges per new node), with and without int
weights 1..9. Each function is first timed against NetworkX: NetworkX, then
fennel on its first call (conversion included, on the same graph built
afresh) and cached, fennel's answer checked to equal NetworkX's (each set in
iteration order) before its time is shown. That comparison runs on 20,000
nodes, but for greedy modularity on 5,000: NetworkX's greedy modularity
takes minutes on 20,000 nodes. Then fennel alone on larger graphs (20,000
and 50,000 nodes), the table saying where NetworkX was not run. (Greedy
modularity's cost grows with the rows of the communities merged, which grow
with the graph: fennel takes minutes on 200,000 nodes.)

    python bench/community_greedy.py            # as above
    python bench/community_greedy.py --quick    # compared on 1,000 and 2,000 nodes, fennel alone on 20,000
"""

import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

CASES = [
    ("greedy_modularity_communities", lambda G, w, **kw: nx.community.greedy_modularity_communities(G, weight=w, **kw)),
    ("asyn_lpa_communities", lambda G, w, **kw: list(
        nx.community.asyn_lpa_communities(G, weight=w, seed=random.Random(1), **kw))),
    ("fast_label_propagation", lambda G, w, **kw: list(
        nx.community.fast_label_propagation_communities(G, weight=w, seed=random.Random(1), **kw))),
    ("asyn_fluidc (k=20)", lambda G, w, **kw: list(nx.community.asyn_fluidc(G, 20, seed=random.Random(1), **kw))),
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
    compared = (1_000, 2_000) if args.quick else (5_000, 20_000)  # greedy modularity, the others
    alone = (20_000,) if args.quick else (20_000, 50_000)
    print(f"{'function':<30} {'weight':<7} {'nodes':>8} {'NetworkX s':>11} {'fennel 1st s':>13} "
          f"{'cached s':>9} {'speed-up':>9}")
    graphs = {}
    for name, _ in CASES:
        n = compared[0] if name.startswith("greedy") else compared[1]
        for weight in (None, "weight") if not name.startswith("asyn_fluidc") else (None,):
            G = graphs.setdefault(n, build(n))
            nx_time, first, cached = row(name, weight, G, n, True)
            print(f"{name:<30} {str(weight):<7} {n:>8,} {nx_time:>11.3f} {first:>13.3f} {cached:>9.3f} "
                  f"{nx_time / cached:8.1f}x")
            for big in alone:
                if big == n:
                    continue
                _, first, cached = row(name, weight, None, big, False)
                print(f"{name:<30} {str(weight):<7} {big:>8,} {'not run':>11} {first:>13.3f} {cached:>9.3f} "
                      f"{'-':>9}")


if __name__ == "__main__":
    main(cli.parser(__doc__, "2,000 and 20,000 nodes").parse_args())
