"""One-off queries with fennel switched on for the whole program.

A graph read from an edge-list file (so every endpoint is an int object of
its own, as `nx.read_edgelist(..., nodetype=int)` makes them), then
two-ended queries under `nx.config.backend_priority` against NetworkX
alone: first on the fresh graph (fennel leaves them to NetworkX rather than
convert the whole graph), then after a whole-graph call converted it (fennel
runs them). Each figure is the median of several query pairs; every answer
is checked to equal NetworkX's.

    python bench/one_off.py [--quick]
"""

import os
import random
import statistics
import sys
import tempfile
import time
import warnings

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx

import cli

QUERIES = [
    ("shortest_path", lambda G, s, t: nx.shortest_path(G, s, t)),
    ("shortest_path_length", lambda G, s, t: nx.shortest_path_length(G, s, t)),
    ("has_path", lambda G, s, t: nx.has_path(G, s, t)),
    ("bidirectional_shortest_path", lambda G, s, t: nx.bidirectional_shortest_path(G, s, t)),
    ("dijkstra_path (weight)", lambda G, s, t: nx.dijkstra_path(G, s, t)),
    ("shortest_path (weight)", lambda G, s, t: nx.shortest_path(G, s, t, weight="weight")),
]


def read_graph(n, m, seed):
    """A random graph written to an edge-list file and read back with int node types."""
    rng = random.Random(seed)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "edges.txt")
        with open(path, "w") as f:
            for _ in range(m):
                u, v = rng.randrange(n), rng.randrange(n)
                f.write(f"{u} {v} {{'weight': {rng.randint(1, 9)}}}\n")
        return nx.read_edgelist(path, nodetype=int)


def timed(query, G, pairs, backends):
    times, answers = [], []
    for s, t in pairs:
        with nx.config(backend_priority=backends):
            start = time.perf_counter()
            try:
                answers.append(query(G, s, t))
            except nx.NetworkXNoPath as exc:
                answers.append(str(exc))
            times.append(time.perf_counter() - start)
    return statistics.median(times), answers


def main():
    args = cli.parser(__doc__, "a 5,000-node, 20,000-edge graph instead of 50,000 and 200,000").parse_args()
    n, m = (5_000, 20_000) if args.quick else (50_000, 200_000)
    warnings.filterwarnings("ignore", message="Note: conversions to backend graphs")
    G = read_graph(n, m, 1)
    rng = random.Random(2)
    nodes = list(G)
    # Endpoints as a user types them: ints equal to, but not the same objects as, G's.
    pairs = [(int(str(rng.choice(nodes))), int(str(rng.choice(nodes)))) for _ in range(15)]
    print(f"read_edgelist graph: {len(G):,} nodes, {G.number_of_edges():,} edges; median of {len(pairs)} queries")
    print(f"{'query':30s} {'NetworkX':>10s} {'fresh':>10s} {'ratio':>7s} {'converted':>10s} {'ratio':>7s}")
    for name, query in QUERIES:
        G.__networkx_cache__.clear()  # fresh: not converted
        nx_time, expected = timed(query, G, pairs, [])
        fresh, got = timed(query, G, pairs, ["fennel"])
        assert got == expected, name
        # A whole-graph call (with the weights) converts the graph.
        with nx.config(backend_priority=["fennel"]):
            nx.single_source_dijkstra_path_length(G, nodes[0])
        converted, got = timed(query, G, pairs, ["fennel"])
        assert got == expected, name
        print(f"{name:30s} {nx_time * 1e3:8.2f}ms {fresh * 1e3:8.2f}ms {fresh / nx_time:6.2f}x "
              f"{converted * 1e3:8.2f}ms {converted / nx_time:6.2f}x")


if __name__ == "__main__":
    main()
