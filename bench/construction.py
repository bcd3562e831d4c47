"""Building graphs from arrays, and pickling them: NetworkX's constructors
against fennel's native graphs, in one run.

1. ``nx.from_edgelist`` of a 10,000,000-edge int64 numpy array (random
   endpoints over 1,000,000 nodes): the plain NetworkX graph against the
   native fennel graph, each built in a fresh process of its own, which
   reports its wall time and its peak memory (the growth of ru_maxrss past
   a baseline taken once the input array exists) and the memory still held
   once built. Then where the time of fennel's constructor goes.
2. Algorithms run on that native graph: betweenness (k=100, seed fixed) and
   single-source Dijkstra lengths, fennel only (NetworkX's betweenness on
   10,000,000 edges takes hours). NetworkX against fennel, answers checked
   equal, on a 100,000-edge graph, and Dijkstra on 1,000,000 edges.
3. Pickling a 1,000,000-edge graph: the NetworkX graph against the native
   graph and against a graph fennel converted from the NetworkX graph;
   dumps, loads and byte sizes, each round trip checked.
4. ``from_pandas_edgelist`` (integer columns, one float weight column) and
   ``from_scipy_sparse_array`` (csr) on 1,500,000 edges, plain against
   fennel, the graphs checked equal (nodes, adjacency order, edges with
   their data, value types included).

Times are the best of REPEATS runs except where the table says "1 run".

    python bench/construction.py            # 10,000,000 edges
    python bench/construction.py --small    # every size / 10
    python bench/construction.py --quick    # every size / 100

Part 4 needs pandas and scipy (both in the test and bench extras).
"""

import gc
import os
import pickle
import platform
import resource
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # sibling modules leave no __pycache__ in the checkout

import networkx as nx
import numpy as np

import cli

BIG = 10_000_000  # edges of the construction graph
MID = 1_000_000  # edges of the pickling graph
SMALL = 100_000  # edges of the graph NetworkX's betweenness runs on
FRAME = 1_500_000  # edges of the DataFrame and sparse-matrix graphs
EDGES_PER_NODE = 10  # node ids drawn from range(edges // 10)
REPEATS = 3
K = 100


def edge_array(m, seed):
    """m random edges over m // 10 node ids, as an (m, 2) int64 array."""
    return np.random.default_rng(seed).integers(0, m // EDGES_PER_NODE, size=(m, 2), dtype=np.int64)


def timed(fn, repeats=REPEATS):
    """Best time of fn() and its last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        result = None
        gc.collect()
        t = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t)
    return best, result


def rss_kib():
    """Resident memory of this process now, in KiB."""
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def peak_kib():
    """Peak resident memory of this process so far, in KiB (Linux reports KiB)."""
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def row(name, t_nx, t_fennel, unit="s"):
    if unit == "s":
        a, b = f"{t_nx:.3f}s", f"{t_fennel:.4f}s"
    else:
        a, b = f"{t_nx:,.1f} {unit}", f"{t_fennel:,.1f} {unit}"
    print(f"{name:<56}{a:>13}{b:>13}{t_nx / t_fennel:>9.1f}x")


def header(title):
    print()
    print(title)
    print(f"{'case':<56}{'NetworkX':>13}{'fennel':>13}{'ratio':>10}")


# 1. Construction time and memory, one fresh process per constructor


def release_free_memory():
    """Hands the allocator's free pages back to the system, so that resident memory counts live data only."""
    try:
        import ctypes

        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def child_setup(m):
    """The input array, once both constructors' imports are loaded; the memory baseline."""
    nx.config.warnings_to_ignore.add("cache")
    warm = edge_array(1000, 0)
    nx.from_edgelist(warm, backend="networkx")
    nx.from_edgelist(warm, backend="fennel")
    del warm
    arr = edge_array(m, 1)
    gc.collect()
    release_free_memory()
    return arr, peak_kib(), rss_kib()


def construct_child(which, m):
    """Builds one graph; prints its seconds, the peak and the held KiB past the baseline, and its node count."""
    from fennel.backend.native import compact_form

    arr, peak0, rss0 = child_setup(m)
    t = time.perf_counter()
    G = nx.from_edgelist(arr, backend=which)
    elapsed = time.perf_counter() - t
    peak = peak_kib() - peak0
    gc.collect()
    release_free_memory()
    held = rss_kib() - rss0
    if which == "fennel" and compact_form(G) is None:
        raise SystemExit("fennel's from_edgelist did not build a native graph")
    print(elapsed, peak, held, len(G))


def steps_child(m):
    """fennel's from_edgelist step by step: one tab-separated line per step with its
    seconds, then the peak and the resident memory past the baseline once it is done (KiB)."""
    from fennel import _core
    from fennel.backend import convert as c
    from fennel.backend.graph import FennelGraph
    from fennel.backend.native import native_graph

    arr, peak0, rss0 = child_setup(m)

    def step(name, fn):
        t = time.perf_counter()
        value = fn()
        elapsed = time.perf_counter() - t
        print(f"{name}\t{elapsed}\t{peak_kib() - peak0}\t{rss_kib() - rss0}")
        return value

    sb, db = step("edge columns to bytes (_le_bytes)",
                  lambda: (c._le_bytes(arr[:, 0], "<i8"), c._le_bytes(arr[:, 1], "<i8")))
    core, packed = step("_core.build_native_arrays (labels numbered in C++)",
                        lambda: _core.build_native_arrays(sb, db, None, None, False, "weight", labels=True))
    del sb, db
    nodes = step("node list: numpy scalars of the array's dtype",
                 lambda: list(np.frombuffer(packed, dtype="<i8").astype(arr.dtype)))
    step("checks (attributes, column order, keys)",
         lambda: (core.attribute_names(), core.data_in_column_order(), core.keys_are_nodes()))
    F = step("the native graph around the compact form", lambda: native_graph(FennelGraph.from_native(core, nodes)))
    del core, nodes
    gc.collect()
    release_free_memory()
    print(f"graph held once built\t0\t{peak_kib() - peak0}\t{rss_kib() - rss0}")
    del F


def in_fresh_process(*args):
    out = subprocess.run(
        [sys.executable, os.path.abspath(__file__), "--child", *map(str, args)],
        capture_output=True,
        text=True,
        check=True,
    )
    return out.stdout


def construction(big):
    header(f"from_edgelist, {big:,} edges over {big // EDGES_PER_NODE:,} node ids (fresh process each, 1 run)")
    t_nx, peak_nx, held_nx, n_nx = in_fresh_process("networkx", big).split()
    t_fn, peak_fn, held_fn, n_fn = in_fresh_process("fennel", big).split()
    if n_nx != n_fn:
        raise SystemExit(f"node counts differ: NetworkX {n_nx}, fennel {n_fn}")
    t_nx, t_fn = float(t_nx), float(t_fn)
    peak_nx, peak_fn, held_nx, held_fn = (int(x) / 1024 for x in (peak_nx, peak_fn, held_nx, held_fn))
    row(f"from_edgelist (numpy int64, {int(n_nx):,} nodes)", t_nx, t_fn)
    row("peak memory past the input array", peak_nx, peak_fn, "MiB")
    row("memory held by the built graph", held_nx, held_fn, "MiB")
    print(f"targets: time >= 20x ({t_nx / t_fn:.1f}x), peak memory >= 10x ({peak_nx / peak_fn:.1f}x)")

    print()
    print(f"fennel's from_edgelist on {big:,} edges, step by step (fresh process, 1 run; MiB past the input array)")
    print(f"  {'step':<48}{'time':>10}{'peak so far':>16}{'resident after':>18}")
    total = 0.0
    for line in in_fresh_process("steps", big).splitlines():
        name, t, peak, held = line.split("\t")
        total += float(t)
        shown = f"{float(t):.3f}s" if name != "graph held once built" else ""
        print(f"  {name:<48}{shown:>10}{int(peak) / 1024:>12.1f} MiB{int(held) / 1024:>14.1f} MiB")
    print(f"  {'sum of the steps':<48}{total:>9.3f}s")


# 2. Algorithms on native graphs


def same(a, b):
    """Equal dicts, in the same order, values of the same types."""
    return list(a.items()) == list(b.items()) and all(type(x) is type(y) for x, y in zip(a.values(), b.values()))


def algorithms_native(arr):
    F = nx.from_edgelist(arr, backend="fennel")
    source = arr[0, 0]
    header(f"on the native graph of {len(arr):,} edges ({len(F):,} nodes), fennel only, 1 run")
    t_bc, _ = timed(lambda: nx.betweenness_centrality(F, k=K, seed=1, backend="fennel"), 1)
    t_dj, _ = timed(lambda: nx.single_source_dijkstra_path_length(F, source, backend="fennel"), 1)
    print(f"{f'betweenness_centrality (k={K}, seed=1)':<56}{'-':>13}{t_bc:>12.3f}s")
    print(f"{'single_source_dijkstra_path_length':<56}{'-':>13}{t_dj:>12.3f}s")


def algorithms_compared(m, betweenness):
    arr = edge_array(m, 2)
    G = nx.from_edgelist(arr, backend="networkx")
    F = nx.from_edgelist(arr, backend="fennel")
    source = arr[0, 0]
    cases = [("single_source_dijkstra_path_length",
              lambda H, **kw: nx.single_source_dijkstra_path_length(H, source, **kw))]
    if betweenness:
        cases.insert(0, (f"betweenness_centrality (k={K}, seed=1)",
                         lambda H, **kw: nx.betweenness_centrality(H, k=K, seed=1, **kw)))
    for name, call in cases:
        t_nx, expected = timed(lambda: call(G, backend="networkx"), 1)
        t_fn, got = timed(lambda: call(F, backend="fennel"))
        if not same(got, expected):
            raise SystemExit(f"fennel's {name} on the native graph differs from NetworkX's")
        row(f"{name}, {m:,} edges", t_nx, t_fn)


# 3. Pickling


def graph_listing(G):
    """Nodes, adjacency order and edges with their data, value types included."""
    nodes = [(type(u), u) for u in G]
    adjacency = [list(G._adj[u]) for u in G]
    edges = [(u, v, [(k, type(x), x) for k, x in d.items()]) for u, v, d in G.edges(data=True)]
    return nodes, adjacency, edges


def networkx_pickling(G):
    """G's listing, and NetworkX's own pickle times and bytes, which fennel's rows are measured against."""
    expected = graph_listing(G)
    t_dumps, data = timed(lambda: pickle.dumps(G))
    t_loads, back = timed(lambda: pickle.loads(data))
    if graph_listing(back) != expected:
        raise SystemExit("NetworkX's graph does not survive pickling")
    return expected, t_dumps, data, t_loads


def pickling(mid):
    from fennel.backend.graph import FennelGraph

    arr = edge_array(mid, 3)
    G = nx.from_edgelist(arr, backend="networkx")
    F = nx.from_edgelist(arr, backend="fennel")
    header(f"pickle (protocol {pickle.DEFAULT_PROTOCOL}), {mid:,} edges ({len(G):,} nodes, numpy int64 node ids)")
    expected, t_dumps_nx, data_nx, t_loads_nx = networkx_pickling(G)

    def compare(label, H):
        t_dumps, data = timed(lambda: pickle.dumps(H))
        t_loads, back = timed(lambda: pickle.loads(data))
        if isinstance(back, FennelGraph) and not back.native:
            # A converted graph travels without its NetworkX graph: compare its contents.
            survived = back.nodes == H.nodes and back.core.__reduce__() == H.core.__reduce__()
        else:
            survived = graph_listing(back.source if isinstance(back, FennelGraph) else back) == expected
        if not survived:
            raise SystemExit(f"the {label} does not survive pickling")
        row(f"dumps: {label}", t_dumps_nx, t_dumps)
        row(f"loads: {label}", t_loads_nx, t_loads)
        row(f"size: {label}", len(data_nx) / 2**20, len(data) / 2**20, "MiB")
        return t_dumps

    t_native = compare("native graph (from_edgelist)", F)
    # A served call converts G and leaves the conversion in G's cache.
    nx.config.warnings_to_ignore.add("cache")
    nx.betweenness_centrality(G, k=1, seed=1, backend="fennel")
    (converted,) = G.__networkx_cache__["backends"]["fennel"].values()
    t_converted = compare("graph converted from NetworkX", converted)
    compare("NetworkX graph with its conversion cached", G)
    print(f"target: pickling the converted graph >= 10x faster: native {t_dumps_nx / t_native:.1f}x, "
          f"converted from NetworkX {t_dumps_nx / t_converted:.1f}x")

    # The same edges as Python ints, which NetworkX pickles faster than numpy scalars.
    print("the same edges as lists of Python ints (NetworkX column: that NetworkX graph)")
    pairs = arr.tolist()
    G = nx.from_edgelist(pairs, backend="networkx")
    F = nx.from_edgelist(pairs, backend="fennel")
    expected, t_dumps_nx, data_nx, t_loads_nx = networkx_pickling(G)
    compare("native graph, Python int nodes", F)
    del G, F, converted, pairs
    gc.collect()


# 4. DataFrames and sparse matrices


def compare_constructor(name, plain, native):
    from fennel.backend.native import compact_form

    t_nx, G = timed(plain)
    t_fn, F = timed(native)
    if compact_form(F) is None:
        raise SystemExit(f"fennel's {name} did not build a native graph")
    if graph_listing(F) != graph_listing(G):
        raise SystemExit(f"fennel's {name} builds another graph than NetworkX's")
    row(f"{name}, {len(G):,} nodes", t_nx, t_fn)
    del G, F
    gc.collect()


def frames(frame):
    import pandas as pd
    import scipy.sparse as sp

    arr = edge_array(frame, 4)
    weights = np.random.default_rng(5).random(frame)
    n = frame // EDGES_PER_NODE
    header(f"{frame:,} edges over {n:,} node ids, float weights; graphs checked equal")
    df = pd.DataFrame({"source": arr[:, 0], "target": arr[:, 1], "weight": weights})
    compare_constructor(
        "from_pandas_edgelist, edge_attr='weight'",
        lambda: nx.from_pandas_edgelist(df, edge_attr="weight", backend="networkx"),
        lambda: nx.from_pandas_edgelist(df, edge_attr="weight", backend="fennel"),
    )
    del df
    A = sp.csr_array((weights, (arr[:, 0], arr[:, 1])), shape=(n, n))
    compare_constructor(
        f"from_scipy_sparse_array, csr ({A.nnz:,} entries)",
        lambda: nx.from_scipy_sparse_array(A, backend="networkx"),
        lambda: nx.from_scipy_sparse_array(A, backend="fennel"),
    )
    del A


def main(args):
    if args.child is not None:
        which, m = args.child[0], int(args.child[1])
        steps_child(m) if which == "steps" else construct_child(which, m)
        return
    scale = 100 if args.quick else 10 if args.small else 1
    nx.config.warnings_to_ignore.add("cache")
    print(f"{os.cpu_count()} CPUs ({platform.machine()}), Python {platform.python_version()}, "
          f"NetworkX {nx.__version__}, numpy {np.__version__}")
    construction(BIG // scale)
    arr = edge_array(BIG // scale, 1)
    algorithms_native(arr)
    del arr
    gc.collect()
    header(f"NetworkX against fennel's native graph, answers checked equal (fennel best of {REPEATS}, NetworkX 1 run)")
    algorithms_compared(SMALL // scale, betweenness=True)
    algorithms_compared(MID // scale, betweenness=False)
    pickling(MID // scale)
    frames(FRAME // scale)


if __name__ == "__main__":
    parser = cli.parser(__doc__, "every size / 100 (100,000 edges to construct)")
    parser.add_argument("--small", action="store_true", help="every size / 10 (1,000,000 edges to construct)")
    main(parser.parse_args())
