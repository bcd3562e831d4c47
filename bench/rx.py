"""fennel.rx against rustworkx itself, in one run.

Graphs: 100,000 nodes and 500,000 random edges (a directed graph with one
giant strongly connected component, the same edges undirected, and a
directed acyclic graph whose edges run from the lower to the higher index),
each edge carrying a float in [0, 1) as its payload.

Every fennel time includes reading the rustworkx graph and laying out the
rows: by default every node's edge lists and the edge list, from which an
insertion order every row agrees with is derived; with ``index_order=True``
(the caller vouching that no edge was ever removed) the edge list alone.
Dijkstra adds one call of ``edge_cost_fn`` per edge. The second table splits
fennel's time into its steps. Times are the best
of REPEATS runs; every answer is checked equal to rustworkx's.

    python bench/rx.py [--quick]
"""

import gc
import platform
import random
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import numpy as np

import cli
from fennel import _core

rx = cli.peer("rustworkx", "nothing to compare with")
if rx is not None:
    import fennel.rx as frx  # needs rustworkx

N, M = 100_000, 500_000
REPEATS = 5


def timed(fn):
    best, result = float("inf"), None
    for _ in range(REPEATS):
        gc.collect()
        t = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t)
    return best, result


def graphs(n, m):
    rng = random.Random(1)
    edges = [(rng.randrange(n), rng.randrange(n), rng.random()) for _ in range(m)]
    out = {}
    for name, cls, ends in [
        ("directed", rx.PyDiGraph, edges),
        ("undirected", rx.PyGraph, edges),
        ("acyclic", rx.PyDiGraph, [(min(u, v), max(u, v) + (u == v), w) for u, v, w in edges if max(u, v) + 1 < n]),
    ]:
        G = cls()
        G.add_nodes_from(range(n))
        G.add_edges_from(ends)
        out[name] = G
    return out


def main(quick):
    if rx is None:
        return  # nothing to compare with
    n, m = (N // 10, M // 10) if quick else (N, M)
    print(f"CPython {platform.python_version()}, rustworkx {rx.__version__}, {n:,} nodes, {m:,} edges")
    G = graphs(n, m)
    cost = lambda w: w  # noqa: E731  a Python callable per edge, as users write it
    cases = [
        ("strongly_connected_components (directed)", "strongly_connected_components", (G["directed"],)),
        ("topological_sort (acyclic)", "topological_sort", (G["acyclic"],)),
        ("dijkstra lengths, edge_cost_fn=float (directed)", "dijkstra_shortest_path_lengths",
         (G["directed"], 0, float)),
        ("dijkstra lengths, edge_cost_fn=lambda (directed)", "dijkstra_shortest_path_lengths",
         (G["directed"], 0, cost)),
        ("dijkstra lengths, edge_cost_fn=lambda (undirected)", "dijkstra_shortest_path_lengths",
         (G["undirected"], 0, cost)),
        ("dijkstra lengths to a goal (directed)", "dijkstra_shortest_path_lengths",
         (G["directed"], 0, cost, n // 2)),
    ]
    print()
    print(f"{'case':<52}{'rustworkx':>12}{'fennel.rx':>12}{'ratio':>9}{'index_order':>13}{'ratio':>9}  equal")
    for label, name, args in cases:
        t_rx, want = timed(lambda: getattr(rx, name)(*args))
        t_fn, got = timed(lambda: getattr(frx, name)(*args))
        t_ix, got_ix = timed(lambda: getattr(frx, name)(*args, index_order=True))
        equal = plain(got) == plain(want) == plain(got_ix)
        print(f"{label:<52}{t_rx * 1e3:>10.1f}ms{t_fn * 1e3:>10.1f}ms{t_rx / t_fn:>8.2f}x"
              f"{t_ix * 1e3:>11.1f}ms{t_rx / t_ix:>8.2f}x  {equal}")

    # Where fennel's time goes, directed graph.
    D = G["directed"]
    print()
    print("fennel.rx step by step (directed graph)")
    n_d, src_d, _, indices_d = frx._edges(D)
    steps = [
        ("edge list read into two arrays", lambda: np.asarray(D.edge_list(), dtype=np.uint32)),
        ("every node's edge lists read, insertion order derived",
         lambda: frx._insertion_order(D, n_d, src_d, indices_d, True)),
        ("edge_cost_fn called on every edge (lambda)", lambda: frx._costs(D, cost)),
        ("edge_cost_fn called on every edge (float)", lambda: frx._costs(D, float)),
    ]
    ends = np.asarray(D.edge_list(), dtype=np.uint32)
    src, dst = np.ascontiguousarray(ends[:, 0]), np.ascontiguousarray(ends[:, 1])
    costs = frx._costs(D, cost)
    steps.append(("build_rx (rows, no costs)", lambda: _core.build_rx(n, True, src, dst)))
    steps.append(("build_rx (rows and costs)", lambda: _core.build_rx(n, True, src, dst, costs)))
    g = _core.build_rx(n, True, src, dst, costs)
    steps.append(("rx_scc", g.rx_scc))
    steps.append(("rx_dijkstra", lambda: g.rx_dijkstra(0)))
    dist = g.rx_dijkstra(0)
    steps.append(("PathLengthMapping built", lambda: frx_mapping(dist)))
    for label, fn in steps:
        t, _ = timed(fn)
        print(f"{label:<52}{t * 1e3:>10.1f}ms")


def plain(result):
    """A result as plain Python values, for comparison."""
    if hasattr(result, "items"):
        return list(result.items())
    return [list(c) if isinstance(c, list) else c for c in result]


def frx_mapping(dist):
    out = rx.PathLengthMapping()
    out.__setstate__({v: d for v, d in enumerate(dist) if d == d and v != 0})
    return out


if __name__ == "__main__":
    main(cli.parser(__doc__, "10,000 nodes and 50,000 edges", ["rustworkx"]).parse_args().quick)
