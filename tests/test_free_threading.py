"""Stress without the GIL: many threads converting, querying and running
betweenness at once, next to a thread that mutates a graph being converted.

Runs only on a free-threaded CPython with the GIL off (PYTHON_GIL=0); every
result on a shared graph must equal the one computed on one thread first.
"""

import math
import random
import sys
import sysconfig
import threading
import time

import networkx as nx
import pytest

import fennel._core as core
from zoo import ZOO, add_weights, convert, dijkstra_lengths


def _gil_state():
    if not sysconfig.get_config_var("Py_GIL_DISABLED"):
        return "not a free-threaded CPython build"
    if sys._is_gil_enabled():
        return "free-threaded build, but the GIL is enabled (run with PYTHON_GIL=0)"
    return None


pytestmark = [pytest.mark.skipif(_gil_state() is not None, reason=_gil_state() or ""), pytest.mark.every_case]

THREADS = 12
SECONDS = 2.5  # each stress test runs its workers for about this long
INF = float("inf")
ATTRS = [("weight", 1)]

SHARED = {
    name: add_weights(ZOO[name], flavour, seed=7)
    for name, flavour in [
        ("les_miserables", "float"),
        ("digraph_loops_isolates", "int"),
        ("multigraph_loops", "mixed"),
        ("mixed_nodes", "float"),
        ("multidigraph", "float"),
    ]
}


def structure(g):
    """Everything a conversion produced, read back through the queries."""
    return (
        len(g),
        [g.neighbors(u) for u in range(len(g))],
        [g.predecessors(u) for u in range(len(g))],
        g.degrees(),
        g.edges_in_order(),
        g.number_of_edges(),
        g.weight_facts("weight"),
    )


def searches(g, sources):
    return (
        [g.bfs(s, INF).lengths() for s in sources],
        [g.bfs(s, 2).lengths() for s in sources],
        [dijkstra_lengths(g, s, "weight") for s in sources],
        [dijkstra_lengths(g, s, None, 3.0) for s in sources],
    )


def centralities(g):
    return (
        g.betweenness(),
        g.betweenness("weight", True),
        g.edge_betweenness("weight"),
        g.edge_betweenness(None, list(range(0, len(g), 3))),
        g.walk_ranks(0.85, None, 100, 1e-9, None, "weight", None),
        g.katz(list(range(len(g))), 0.01, 1.0, "weight", 1000, 1e-9, True),
        g.eigenvector(list(range(len(g))), [1 / len(g)] * len(g), "weight", 50, 1e-9, math.hypot, True),
    )


def sources_of(g):
    return list(range(0, len(g), max(1, len(g) // 6)))


def run_together(workers, seconds):
    """Runs each worker(stop) on its own thread, released together; the
    workers loop until `stop` is set, `seconds` later. Returns their results
    and re-raises the first exception a worker raised."""
    barrier = threading.Barrier(len(workers) + 1)
    stop = threading.Event()
    results = [None] * len(workers)
    errors = []

    def run(i):
        try:
            barrier.wait()
            results[i] = workers[i](stop)
        except BaseException as e:  # noqa: BLE001 - reported below
            errors.append(e)
            stop.set()

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(workers))]
    for t in threads:
        t.start()
    barrier.wait()
    stop.wait(seconds)
    stop.set()
    for t in threads:
        t.join(timeout=120)
        assert not t.is_alive(), "a worker thread did not stop"
    if errors:
        raise errors[0]
    return results


def test_gil_stays_off_with_fennel_imported():
    import fennel.backend  # noqa: F401

    assert not sys._is_gil_enabled()


def test_shared_graphs_under_concurrent_conversion_queries_and_mutation():
    shared = {name: convert(G, ATTRS) for name, G in SHARED.items()}
    expected = {
        name: (structure(g), searches(g, sources_of(g)), centralities(g)) for name, g in shared.items()
    }
    names = list(SHARED)

    def reader(i):
        def work(stop):
            rounds = 0
            while not stop.is_set() or rounds == 0:
                name = names[(i + rounds) % len(names)]
                g = shared[name]
                want_structure, want_searches, want_centralities = expected[name]
                kind = (i + rounds) % 3
                if kind == 0:
                    # A fresh conversion of the same (unchanging) NetworkX graph.
                    fresh = convert(SHARED[name], ATTRS)
                    assert structure(fresh) == want_structure, (name, "conversion")
                    assert searches(fresh, sources_of(fresh)) == want_searches, (name, "fresh searches")
                elif kind == 1:
                    assert structure(g) == want_structure, (name, "queries")
                    assert searches(g, sources_of(g)) == want_searches, (name, "searches")
                else:
                    assert centralities(g) == want_centralities, (name, "betweenness")
                rounds += 1
            return rounds

        return work

    # The mutator changes a private copy of a graph while the converters
    # convert that same copy: a conversion may fail with the error CPython's
    # dict iteration gives (size or keys changed during iteration), with
    # ValueError, or on finding an edge in one of its rows only; never crash.
    H = add_weights(ZOO["gnp"], "float", seed=11).copy()
    nodes = list(H)
    index = {v: i for i, v in enumerate(nodes)}
    outcomes = {"converted": 0, "refused": 0, "mutations": 0}
    outcomes_lock = threading.Lock()

    def mutator(stop):
        rng = random.Random(12)
        while not stop.is_set():
            u, v = rng.sample(nodes, 2)
            if H.has_edge(u, v):
                H.remove_edge(u, v)
            else:
                H.add_edge(u, v, weight=rng.choice([0.5, 1.5, 2.0]))
            with outcomes_lock:
                outcomes["mutations"] += 1
        return None

    def changing_converter(stop):
        rounds = 0
        while not stop.is_set() or rounds == 0:
            try:
                g = core.build_graph(nodes, index, H._adj, False, ATTRS, False)
            except NotImplementedError as e:
                # Caught between the two rows of an undirected edge.
                assert str(e) == "the rows of this undirected graph do not hold every edge from both ends"
                outcome = "refused"
            except RuntimeError as e:
                assert str(e) in (
                    "dictionary changed size during iteration",
                    "dictionary keys changed during iteration",
                )
                outcome = "refused"
            except ValueError:
                outcome = "refused"
            else:
                # A conversion that succeeded may have read rows from before
                # and after a change (NetworkX writes an undirected edge into
                # two rows, one after the other), but it is a graph on the
                # same nodes whose queries run.
                assert len(g) == len(nodes)
                us, vs, _ = g.edges_in_order()
                assert len(us) == len(vs)
                for u, v in zip(us, vs):
                    assert v in g.neighbors(u)
                assert len(g.bfs(0, INF).lengths()[0]) <= len(nodes)
                assert len(dijkstra_lengths(g, 0, "weight")[0]) <= len(nodes)
                assert len(g.betweenness("weight")) == len(nodes)
                outcome = "converted"
            with outcomes_lock:
                outcomes[outcome] += 1
            rounds += 1
        return rounds

    workers = [reader(i) for i in range(THREADS)] + [mutator, changing_converter, changing_converter]
    started = time.monotonic()
    rounds = run_together(workers, SECONDS)
    assert time.monotonic() - started < SECONDS + 60
    assert all(r >= 1 for r in rounds[:THREADS]), rounds
    assert outcomes["mutations"] > 0 and outcomes["converted"] + outcomes["refused"] > 0, outcomes

    # Once the mutator has stopped, the mutated copy converts to exactly what
    # NetworkX holds.
    g = core.build_graph(nodes, index, H._adj, False, ATTRS, False)
    assert [g.neighbors(u) for u in range(len(g))] == [[index[v] for v in H._adj[u]] for u in nodes]
    assert g.number_of_edges() == H.number_of_edges()
    for name, g in shared.items():  # and the shared graphs are unchanged
        assert (structure(g), searches(g, sources_of(g)), centralities(g)) == expected[name], name
    assert not sys._is_gil_enabled()


@pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs are saved to cache")
def test_dispatched_betweenness_from_several_threads_on_one_graph():
    G = add_weights(nx.gnp_random_graph(150, 0.05, seed=21), "float", seed=22)
    want_nodes = nx.betweenness_centrality(G)
    want_weighted = nx.betweenness_centrality(G, weight="weight", normalized=False)
    want_edges = nx.edge_betweenness_centrality(G, weight="weight")

    def work(stop):
        rounds = 0
        while not stop.is_set() or rounds == 0:
            got = nx.betweenness_centrality(G, backend="fennel")
            assert got == want_nodes and list(got) == list(want_nodes)
            got = nx.betweenness_centrality(G, weight="weight", normalized=False, backend="fennel")
            assert got == want_weighted and list(got) == list(want_weighted)
            got = nx.edge_betweenness_centrality(G, weight="weight", backend="fennel")
            assert got == want_edges and list(got) == list(want_edges)
            rounds += 1
        return rounds

    rounds = run_together([work] * 8, SECONDS)
    assert all(r >= 1 for r in rounds)
    assert not sys._is_gil_enabled()
