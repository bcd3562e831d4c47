"""Assortativity and the rich-club coefficient: fennel against NetworkX.

Graphs: a random graph G(n, m) of 20,000 nodes and 100,000 edges and a
preferential-attachment graph of 20,000 nodes (Barabási-Albert, 5 edges per
new node); `--quick`: 2,000 nodes. Every node carries a small int attribute
`group` and a float attribute `size` for the attribute functions; the
directed rows run on the G(n, m) graph's edges as a DiGraph. fennel's calls
run on the same graph object as NetworkX's, its conversion cached by
NetworkX after a first call (the conversion's time is its own row); each
time is the best of 3 (calls taking over 5 s: one run), with 1 and 2
worker threads (`nx.config.backends.fennel.n_jobs`), and every fennel
answer is checked to equal NetworkX's (dicts in order, floats and arrays bit
for bit).

rich_club_coefficient(normalized=True) makes Q * E double-edge swaps in
Python: NetworkX's time at the default Q = 100 is extrapolated from runs at
Q = 1 and Q = 3 (its cost is a fixed part plus a part linear in Q; the two
runs give both), and the row says so; fennel runs Q = 100 itself, and its
answers at Q = 1 and 3 are checked against NetworkX's. Ratios come from one
run of each.

    python bench/assortativity.py [--quick]
"""

import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
import numpy as np

import cli


def graphs(quick):
    n = 2_000 if quick else 20_000
    gnm = nx.gnm_random_graph(n, 5 * n, seed=42)
    pa = nx.barabasi_albert_graph(n, 5, seed=42)
    di = nx.DiGraph(gnm.edges)
    di.add_nodes_from(gnm)
    for G in (gnm, pa, di):
        for v in G:
            G.nodes[v]["group"] = v % 7
            G.nodes[v]["size"] = (v * 13) % 17 + 0.5
    return ((f"G(n, m) {n:,}/{5 * n:,}", gnm), (f"pref. attachment {n:,}", pa), (f"directed G(n, m) {n:,}", di))


def bits(x):
    if isinstance(x, np.ndarray):
        return ("ndarray", x.dtype.str, x.shape, x.tobytes())
    if isinstance(x, dict):
        return [(bits(k), bits(v)) for k, v in x.items()]
    if type(x) is float:
        return x.hex()
    return (type(x), x)


def answer(fn):
    """fn's result, or the exception it raised as (type, args)."""
    try:
        return fn()
    except Exception as exc:  # compared like an answer
        return (type(exc), exc.args)


def best(fn, runs=3):
    times, result = [], None
    for _ in range(runs):
        t = time.perf_counter()
        result = answer(fn)
        times.append(time.perf_counter() - t)
        if min(times) > 5:
            break
    return min(times), result


CALLS = [
    ("average_neighbor_degree", {}),
    ("average_degree_connectivity", {}),
    ("degree_mixing_dict", {}),
    ("degree_mixing_matrix", {}),
    ("degree_assortativity_coefficient", {}),
    ("degree_pearson_correlation_coefficient", {}),
    ("attribute_mixing_dict", {"attribute": "group"}),
    ("attribute_mixing_matrix", {"attribute": "group"}),
    ("attribute_assortativity_coefficient", {"attribute": "group"}),
    ("numeric_assortativity_coefficient", {"attribute": "size"}),
    ("rich_club_coefficient", {"normalized": False}),
]


def fennel_times(run):
    with nx.config.backends.fennel(n_jobs=1):
        t1, ours = best(lambda: run("fennel"))
    with nx.config.backends.fennel(n_jobs=2):
        t2, ours2 = best(lambda: run("fennel"))
    return t1, t2, ours, ours2


def rows(G):
    t = time.perf_counter()
    nx.average_neighbor_degree(G, backend="fennel")  # converts and caches G's fennel form
    yield "conversion (first call)", time.perf_counter() - t, None, None, ""
    for name, kwargs in CALLS:
        if name == "rich_club_coefficient" and G.is_directed():
            continue
        fn = getattr(nx, name)
        run = lambda b: fn(G, backend=b, **kwargs)  # noqa: E731, B023 - called at once
        t1, t2, ours, ours2 = fennel_times(run)
        t_nx, theirs = best(lambda: run("networkx"))  # noqa: B023
        if not (bits(ours) == bits(theirs) == bits(ours2)):
            raise SystemExit(f"fennel's {name} differs from NetworkX's")
        yield name, t1, t2, t_nx, ""
    if G.is_directed():
        return
    small = {}
    for Q in (1, 3):
        t_nx, theirs = best(lambda: nx.rich_club_coefficient(G, Q=Q, seed=1, backend="networkx"), runs=1)  # noqa: B023
        ours = answer(lambda: nx.rich_club_coefficient(G, Q=Q, seed=1, backend="fennel"))  # noqa: B023
        if bits(ours) != bits(theirs):
            raise SystemExit(f"fennel's normalised rich_club_coefficient (Q={Q}) differs from NetworkX's")
        small[Q] = t_nx
    per_q = (small[3] - small[1]) / 2
    t_nx = small[1] + 99 * per_q
    t1, t2, _, _ = fennel_times(lambda b: nx.rich_club_coefficient(G, Q=100, seed=1, backend=b))
    yield "rich_club_coefficient Q=100", t1, t2, t_nx, " (NetworkX extrapolated from Q=1, 3)"


def main():
    args = cli.parser(__doc__, "graphs of 2,000 nodes").parse_args()
    nx.config.warnings_to_ignore.add("cache")
    nx.average_neighbor_degree(nx.path_graph(3), backend="fennel")  # loads the backend before any timing
    import scipy.stats  # noqa: F401 - and scipy's pearsonr
    print(f"{'graph':28} {'call':42} {'fennel 1t s':>11} {'fennel 2t s':>11} {'NetworkX s':>11} "
          f"{'x NX (1t)':>10} {'2t/1t':>6}")
    for graph, G in graphs(args.quick):
        for call, t1, t2, t_nx, note in rows(G):
            if t2 is None:
                print(f"{graph:28} {call:42} {t1:11.4f}")
                continue
            print(f"{graph:28} {call:42} {t1:11.4f} {t2:11.4f} {t_nx:11.4f} {t_nx / t1:10.1f} {t1 / t2:6.2f}{note}")


if __name__ == "__main__":
    main()
