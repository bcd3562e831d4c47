"""Distance measures: fennel against NetworkX (and igraph's closeness), in one run.

Two connected random graphs: 2,000 nodes with 10,000 edges and 20,000 nodes
with 100,000 edges (a random spanning path plus random edges; integer weights
1..100). fennel runs every source, with 1 and 2 worker threads (each in a
process of its own: the pool's size is fixed when it starts), the conversion
cached. On the larger graph NetworkX times a fixed sample of 200 sources and
the time is scaled to all sources, as the table says. fennel's answers are
checked against NetworkX's: in full on the smaller graph, on the sampled
sources on the larger one.

    python bench/distance.py [--quick]
"""

import json
import os
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

SIZES = [(2_000, 10_000), (20_000, 100_000)]
QUICK_SIZES = [(300, 1_500), (2_000, 10_000)]
SAMPLE = 200
QUICK_SAMPLE = 20


def graph(n, m, seed=1):
    rng = random.Random(seed)
    G = nx.Graph()
    order = list(range(n))
    rng.shuffle(order)
    G.add_nodes_from(range(n))
    G.add_edges_from(zip(order, order[1:]))
    edges = n - 1
    while edges < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v and not G.has_edge(u, v):
            G.add_edge(u, v)
            edges += 1
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.randint(1, 100)
    return G


def best(fn, repeats=2):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t)
    return min(times), result


# name -> (fennel's call over all sources, NetworkX's call for a list of sources
# returning comparable per-source results, fennel's result restricted to them)
CASES = {
    "closeness, unweighted": (
        lambda G: nx.closeness_centrality(G, backend="fennel"),
        lambda G, S: {v: nx.closeness_centrality(G, v) for v in S},
    ),
    "closeness, weighted": (
        lambda G: nx.closeness_centrality(G, distance="weight", backend="fennel"),
        lambda G, S: {v: nx.closeness_centrality(G, v, distance="weight") for v in S},
    ),
    "eccentricity": (
        lambda G: nx.eccentricity(G, backend="fennel"),
        lambda G, S: {v: nx.eccentricity(G, v) for v in S},
    ),
    "average_shortest_path_length": (
        lambda G: nx.average_shortest_path_length(G, backend="fennel"),
        lambda G, S: sum(sum(nx.single_source_shortest_path_length(G, v).values()) for v in S),
    ),
    "all_pairs_shortest_path_length": (
        lambda G: sum(len(d) for _, d in nx.all_pairs_shortest_path_length(G, backend="fennel")),
        lambda G, S: sum(len(nx.single_source_shortest_path_length(G, v)) for v in S),
    ),
}


def child(quick):
    """fennel's times in this process (its pool size set by the parent)."""
    nx.config.warnings_to_ignore.add("cache")
    sizes = QUICK_SIZES if quick else SIZES
    out = {}
    for n, m in sizes:
        G = graph(n, m)
        nx.closeness_centrality(G, distance="weight", u=0, backend="fennel")  # convert once
        for name, (ours, _) in CASES.items():
            t, result = best(lambda: ours(G))
            out[f"{n}/{name}"] = (t, repr(result) if n == sizes[0][0] else repr(_restricted(G, result, quick)))
    print(json.dumps(out))


def _restricted(G, result, quick):
    """fennel's result on the sampled sources, comparable with NetworkX's sampled call."""
    S = sample(G, quick)
    if isinstance(result, dict):
        return {v: result[v] for v in S}
    return None  # totals over all sources: compared on the smaller graph only


def sample(G, quick):
    return random.Random(2).sample(list(G), QUICK_SAMPLE if quick else SAMPLE)


def fennel_times(threads, quick):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    args = [sys.executable, os.path.abspath(__file__), "--child"] + (["--quick"] if quick else [])
    proc = subprocess.run(args, env=env, capture_output=True, text=True, check=True)
    return json.loads(proc.stdout.splitlines()[-1])


def igraph_closeness(igraph, G):
    g = igraph.Graph(n=len(G), edges=list(G.edges()))
    return best(lambda: g.closeness())[0]


def main(quick):
    sizes = QUICK_SIZES if quick else SIZES
    igraph = cli.peer("igraph")
    ours = {k: fennel_times(k, quick) for k in (1, 2)}
    print(f"{'case':<64}{'NetworkX':>12}{'fennel 1t':>11}{'ratio':>8}{'fennel 2t':>11}{'ratio':>8}")
    for n, m in sizes:
        G = graph(n, m)
        scaled = n > sizes[0][0]
        for name, (_, theirs) in CASES.items():
            S = sample(G, quick) if scaled else list(G)
            t_nx, expected = best(lambda: theirs(G, S), 1)
            t_nx *= len(G) / len(S)
            one, _ = ours[1][f"{n}/{name}"]
            two, _ = ours[2][f"{n}/{name}"]
            got = ours[1][f"{n}/{name}"][1]
            # Totals (None on the larger graph) are checked by the tests, not here.
            if name != "average_shortest_path_length" and got != "None" and got != repr(expected):
                raise SystemExit(f"fennel's {name} differs from NetworkX's on {n} nodes")
            label = f"{name} ({n:,} nodes{f', NX scaled from {len(S)}' if scaled else ''})"
            print(f"{label:<64}{t_nx:>11.3f}s{one:>10.4f}s{t_nx / one:>7.0f}x{two:>10.4f}s{t_nx / two:>7.0f}x")
        if igraph is not None:
            t_ig = igraph_closeness(igraph, G)
            print(f"{f'igraph closeness, unweighted ({n:,} nodes)':<64}{'':>12}{t_ig:>10.4f}s")


if __name__ == "__main__":
    args = cli.parser(__doc__, "graphs of 300 and 2,000 nodes, NetworkX sampling 20 sources", ["igraph"]).parse_args()
    child(args.quick) if args.child is not None else main(args.quick)
