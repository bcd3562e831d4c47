"""``python -m fennel``: report the environment and check fennel against NetworkX.

Converts a few graphs and compares every graph query with NetworkX, then runs
betweenness centrality through NetworkX's dispatcher (``backend="fennel"``)
and compares the answers with NetworkX's own, bit for bit. Exits with status 1
if any check fails.
"""

import argparse
import sys
import sysconfig
import time
import warnings


def _settings(config):
    """The settings in force, each with where its value comes from."""
    from fennel import _core, _settings

    n_jobs, variable = _settings.thread_source()
    if config.n_jobs != n_jobs:
        origin = "set in nx.config.backends.fennel"
    elif variable is not None:
        origin = f"from {variable}"
    else:
        origin = "one per processor; set FENNEL_NUM_THREADS or nx.config.backends.fennel.n_jobs to change"
    threads = _core.num_threads() if config.n_jobs is None else config.n_jobs
    progress = {None: "when stderr is a terminal", True: "always", False: "never"}[config.progress]
    return [
        f"worker threads: n_jobs={config.n_jobs!r}, {threads} per call ({origin})",
        f"call log: {config.call_log or 'off (set FENNEL_CALL_LOG or call_log)'}",
        f"progress bars: {progress} (tqdm {'installed' if _has_tqdm() else 'not installed'})",
        "executor: " + ("this process's threads (set executor to a dask.distributed.Client for a cluster)"
                        if config.executor is None else f"{config.executor!r}, from "
                        f"{config.executor_min_work:,} units of work"),
    ]


def _has_tqdm():
    import importlib.util

    return importlib.util.find_spec("tqdm") is not None


def _interpreter():
    build = "free-threaded build" if sysconfig.get_config_var("Py_GIL_DISABLED") else "GIL build"
    is_gil_enabled = getattr(sys, "_is_gil_enabled", None)
    if is_gil_enabled is not None:
        build += ", GIL " + ("enabled" if is_gil_enabled() else "disabled") + " at run time"
    return f"Python {sys.version.split()[0]} ({sys.implementation.name}, {build})"


class _Checks:
    def __init__(self):
        self.failed = []

    def check(self, label, ok):
        if not ok:
            self.failed.append(label)
            print(f"    MISMATCH: {label}")
        return ok


def _exact(result):
    return [(repr(k), type(v), v.hex() if type(v) is float else v) for k, v in result.items()]


def _compare_queries(checks, label, G, fg):
    core, index = fg.core, fg.index
    nodes = fg.nodes
    ok = checks.check(f"{label}: node order", nodes == list(G))
    ok &= checks.check(
        f"{label}: neighbor rows",
        all(core.neighbors(i) == [index[w] for w in G._adj[v]] for i, v in enumerate(nodes)),
    )
    if G.is_directed():
        ok &= checks.check(
            f"{label}: predecessor rows",
            all(core.predecessors(i) == sorted(index[u] for u in G._pred[v]) for i, v in enumerate(nodes)),
        )
    us, vs, _ = core.edges_in_order()
    ok &= checks.check(
        f"{label}: edges_in_order",
        list(zip(us, vs)) == [(index[u], index[v]) for u, v in G.edges()],
    )
    ok &= checks.check(f"{label}: degrees", core.degrees() == [d for _, d in G.degree()])
    ok &= checks.check(f"{label}: number_of_edges", core.number_of_edges() == G.number_of_edges())
    return ok


def _duration(seconds):
    return f"{seconds:.2f} s" if seconds >= 1 else f"{seconds * 1e3:.3g} ms"


def _timed(call, fresh=None):
    """Best time of call() and its result: one run when that took a second or
    more, else three, each after fresh() (which clears fennel's cached
    conversion, so that every fennel time includes converting)."""
    best = None
    for _ in range(3):
        if fresh is not None:
            fresh()
        t = time.perf_counter()
        result = call()
        seconds = time.perf_counter() - t
        best = seconds if best is None else min(best, seconds)
        if seconds >= 1.0:
            break
    return best, result


def _compare_betweenness(checks):
    import networkx as nx

    runs = [
        ("karate club", nx.karate_club_graph(), {}),
        ("karate club, weighted", nx.karate_club_graph(), {"weight": "weight"}),
        ("random 2,000 nodes, 6,000 edges", nx.gnm_random_graph(2_000, 6_000, seed=1), {}),
    ]
    header = f"  {'graph':34s} {'networkx':>10s} {'fennel':>10s} {'speedup':>8s}  result"
    print(header)
    print("  " + "-" * (len(header) - 2))
    for label, G, kwargs in runs:
        t_nx, expected = _timed(lambda: nx.betweenness_centrality(G, backend="networkx", **kwargs))
        t_fennel, got = _timed(lambda: nx.betweenness_centrality(G, backend="fennel", **kwargs),
                               fresh=lambda: nx._clear_cache(G))
        same = checks.check(f"{label}: betweenness", _exact(got) == _exact(expected))
        print(
            f"  {label:34s} {_duration(t_nx):>10s} {_duration(t_fennel):>10s} {t_nx / t_fennel:7.1f}x"
            f"  {'identical' if same else 'DIFFERENT'}"
        )
    print("  (best of 3 runs, or 1 run where it took a second or more; fennel times include converting the graph)")


def _warm_up(nx, FennelGraph, betweenness_served):
    """Pays the one-time costs (NetworkX loading its backends, the first
    dispatch, fennel's worker pool starting) on a tiny graph, so that they
    do not land in the first timed row."""
    tiny = nx.path_graph(4)
    nx.set_edge_attributes(tiny, 2, "weight")
    FennelGraph(tiny, [("weight", 1)])
    for weight in (None, "weight"):
        nx.betweenness_centrality(tiny, weight=weight, backend="networkx")
        if betweenness_served:
            nx._clear_cache(tiny)
            nx.betweenness_centrality(tiny, weight=weight, backend="fennel")


def _parse_args(argv):
    parser = argparse.ArgumentParser(
        prog="python -m fennel",
        description="Show fennel at work and check it against NetworkX: print the interpreter "
        "(free-threaded or not) and the worker-thread count; convert three graphs (the karate club, "
        "a random 20,000-node graph, a random directed 5,000-node graph) and compare every graph "
        "query with NetworkX; then time betweenness centrality through NetworkX's dispatcher "
        "against NetworkX's own run and compare the answers bit for bit. One-time start-up costs "
        "are paid on a tiny graph before anything is timed. Takes about half a minute, most of it "
        "NetworkX's own betweenness on 2,000 nodes.",
        epilog="Environment: RAYON_NUM_THREADS sets fennel's worker threads (0: one per processor), "
        "read once when the pool starts. Exit status: 0 when every check passed, 1 when one failed, "
        "2 on bad arguments.",
    )
    return parser.parse_args(argv)


def main(argv=None):
    _parse_args(argv)
    import networkx as nx

    from fennel import __version__
    from fennel.backend import RELEASE_REFUSALS, FennelGraph

    warnings.simplefilter("ignore", RuntimeWarning)
    nx.config.warnings_to_ignore.add("cache")
    checks = _Checks()
    betweenness_refused = RELEASE_REFUSALS.get("betweenness_centrality")
    _warm_up(nx, FennelGraph, not betweenness_refused)

    print(f"fennel {__version__} with NetworkX {nx.__version__}")
    print(_interpreter())
    for line in _settings(nx.config.backends.fennel):
        print(line)
    print(f"fennel registered as a NetworkX backend: {'fennel' in nx.utils.backends.backends}")

    print("\nconversion (every query compared with NetworkX):")
    graphs = [
        ("karate club", nx.karate_club_graph()),
        ("random 20,000 nodes", nx.gnm_random_graph(20_000, 100_000, seed=42)),
        ("random directed 5,000 nodes", nx.gnm_random_graph(5_000, 25_000, seed=7, directed=True)),
    ]
    for label, G in graphs:
        t = time.perf_counter()
        fg = FennelGraph(G, [("weight", 1)])
        seconds = time.perf_counter() - t
        ok = _compare_queries(checks, label, G, fg)
        print(
            f"  {label:30s} {len(G):7,d} nodes {G.number_of_edges():8,d} edges"
            f"  converted in {seconds * 1e3:8.1f} ms  queries {'agree' if ok else 'DIFFER'}"
        )

    print("\nbetweenness centrality through NetworkX's dispatcher:")
    if betweenness_refused:
        print(f"  left to NetworkX {nx.__version__}: {betweenness_refused}")
    else:
        _compare_betweenness(checks)

    if checks.failed:
        print(f"\nFAILED: {len(checks.failed)} check(s): {', '.join(checks.failed)}")
        return 1
    print("\nall checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
