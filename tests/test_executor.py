"""The per-source families on a real Dask cluster (``executor`` setting).

A ``LocalCluster`` of two worker processes, whose hash seeds differ from
this process's, answers as NetworkX does; a killed worker, a cluster without
workers, workers without fennel or of another version, and Ctrl-C are met
as a user would meet them.
"""

import array
import contextlib
import os
import random
import signal
import sys
import threading
import time
import _thread

import networkx as nx
import pytest

from fennel import _core, _remote
from fennel.backend import executor
from fennel.backend.graph import as_fennel

distributed = pytest.importorskip("distributed")

# The graphs are converted once and reused from NetworkX's cache, on purpose.
pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs are saved to cache")

SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")

# Dask's profiler samples the other threads' frames from a thread of its own,
# which a free-threaded CPython 3.13 does not make safe (it has crashed the
# test process while a cluster started): off there, here and in the workers.
GIL_OFF = not getattr(sys, "_is_gil_enabled", lambda: True)()
if GIL_OFF:
    import dask

    dask.config.set({"distributed.worker.profile.enabled": False})
cluster_only = pytest.mark.skipif(SANITIZED, reason="no Dask worker processes in the sanitized run (its time is "
                                  "kept for fennel's own code); the kernels they run are checked below without them")


def _weighted(G, seed, values=(1.0, 2.5, 0.5, 3.0, 0.25)):
    rnd = random.Random(seed)
    for _, _, d in G.edges(data=True):
        d["weight"] = rnd.choice(values)
    return G


def _graphs():
    U = _weighted(nx.gnm_random_graph(120, 420, seed=4), 1)
    D = _weighted(nx.gnm_random_graph(120, 480, seed=5, directed=True), 2)
    D.add_node(-1)  # reached by none: harmonic keeps its int 0
    S = nx.relabel_nodes(U, {v: f"n{v}" for v in U})  # str nodes: set orders differ between processes
    Z = _weighted(nx.gnm_random_graph(80, 240, seed=6), 3, values=(0.0, 1.0, 2.0))  # zero weights
    I = _weighted(nx.gnm_random_graph(90, 300, seed=7), 4, values=(1, 2, 3))  # int weights
    return {"undirected": U, "directed": D, "str-nodes": S, "zero-weights": Z, "int-weights": I}


GRAPHS = _graphs()

CALLS = {
    "betweenness": lambda G: nx.betweenness_centrality(G),
    "betweenness-weighted-k": lambda G: nx.betweenness_centrality(G, k=40, weight="weight", seed=3),
    "betweenness-endpoints": lambda G: nx.betweenness_centrality(G, endpoints=True, normalized=False),
    "edge-betweenness": lambda G: nx.edge_betweenness_centrality(G, weight="weight"),
    "edge-betweenness-k": lambda G: nx.edge_betweenness_centrality(G, k=30, seed=1),
    "closeness": lambda G: nx.closeness_centrality(G),
    "closeness-weighted": lambda G: nx.closeness_centrality(G, distance="weight"),
    "harmonic": lambda G: nx.harmonic_centrality(G),
    "harmonic-weighted": lambda G: nx.harmonic_centrality(G, distance="weight"),
    "eccentricity": lambda G: nx.eccentricity(G) if _connected(G) else None,
    "periphery-weighted": lambda G: nx.periphery(G, weight="weight") if _connected(G) else None,
    "average-shortest-path-length": lambda G: nx.average_shortest_path_length(G) if _connected(G) else None,
    "wiener-index": lambda G: nx.wiener_index(G),
    "wiener-index-weighted": lambda G: nx.wiener_index(G, weight="weight"),
    "average-shortest-path-length-weighted":
        lambda G: nx.average_shortest_path_length(G, weight="weight") if _connected(G) else None,
    "all-pairs-lengths": lambda G: list(nx.all_pairs_shortest_path_length(G)),
    "all-pairs-dijkstra-lengths": lambda G: list(nx.all_pairs_dijkstra_path_length(G, cutoff=4.0)),
}


def _connected(G):
    return nx.is_strongly_connected(G) if G.is_directed() else nx.is_connected(G)


def _local_cluster():
    # Worker processes start with hash seeds of their own (and fennel's pool
    # on one thread each, as a cluster's workers share a machine here).
    return distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0",
        env={"PYTHONHASHSEED": "random", "FENNEL_NUM_THREADS": "1",
             **({"DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED": "False"} if GIL_OFF else {})},
    )


@pytest.fixture(scope="module")
def client():
    if SANITIZED:
        pytest.skip("no Dask worker processes in the sanitized run")
    with _local_cluster() as cluster, distributed.Client(cluster) as c:
        yield c


@contextlib.contextmanager
def _executor(client, log):
    """The executor set to ``client`` for every call, logging calls to ``log``."""
    config = nx.config.backends.fennel
    old = (config.executor, config.executor_min_work, config.call_log)
    config.executor, config.executor_min_work, config.call_log = client, 0, str(log)
    try:
        yield log
    finally:
        config.executor, config.executor_min_work, config.call_log = old


@pytest.fixture
def on_cluster(client, tmp_path):
    """The executor set to the cluster for every call; yields the call log's path."""
    with _executor(client, tmp_path / "calls.log") as log:
        yield log


@pytest.fixture
def own_cluster(tmp_path):
    """A cluster of its own, for tests that kill its workers; yields the client and the call log's path."""
    with _local_cluster() as cluster, distributed.Client(cluster) as c, _executor(c, tmp_path / "calls.log") as log:
        yield c, log


def _cluster_runs(log):
    return [line.split("\t")[1] for line in log.read_text().splitlines() if line.startswith("cluster\t")] \
        if log.exists() else []


def _refused(log):
    """The calls left to NetworkX (some releases compute them differently)."""
    return [line.split("\t")[1] for line in log.read_text().splitlines() if line.startswith("refused\t")] \
        if log.exists() else []


def _fennel(call, G):
    with nx.config(backend_priority=["fennel"]):
        return call(G)


@cluster_only
def test_workers_hash_differently(client):
    # Without this the differential tests below could not catch an order made on a worker.
    seeds = set(client.run(hash, "fennel").values())
    assert hash("fennel") not in seeds or len(seeds) > 1


@cluster_only
@pytest.mark.parametrize("graph", list(GRAPHS))
@pytest.mark.parametrize("call", list(CALLS))
def test_answers_equal_networkx(on_cluster, call, graph):
    G = GRAPHS[graph]
    want = CALLS[call](G)
    got = _fennel(CALLS[call], G)
    assert got == want
    if want is not None and want != float("inf") and not _refused(on_cluster):
        assert _cluster_runs(on_cluster), "the call did not run on the cluster"
        assert type(got) is type(want)
        if isinstance(want, dict):
            assert list(got) == list(want)
            assert [type(x) for x in got.values()] == [type(x) for x in want.values()]
        elif isinstance(want, list) and want and isinstance(want[0], tuple):
            assert [list(d.items()) for _, d in got] == [list(d.items()) for _, d in want]
            assert [[type(x) for x in d.values()] for _, d in got] == [[type(x) for x in d.values()] for _, d in want]


@cluster_only
@pytest.mark.parametrize("blocks_per_slot", [1, 7, 200])
def test_any_block_size_gives_one_answer(on_cluster, monkeypatch, blocks_per_slot):
    monkeypatch.setattr(executor, "BLOCKS_PER_SLOT", blocks_per_slot)
    monkeypatch.setattr(executor, "AHEAD_PER_SLOT", 1)
    G = GRAPHS["zero-weights"]
    for call in ("betweenness-weighted-k", "edge-betweenness", "harmonic-weighted", "wiener-index-weighted"):
        assert _fennel(CALLS[call], G) == CALLS[call](G)
    served = {"betweenness_centrality", "edge_betweenness_centrality", "harmonic_centrality"} - set(
        _refused(on_cluster))
    assert "harmonic_centrality" in served and served <= set(_cluster_runs(on_cluster))


@cluster_only
def test_small_calls_stay_local_and_the_graph_ships_once(client, on_cluster, monkeypatch):
    G = GRAPHS["undirected"]
    nx.config.backends.fennel.executor_min_work = 10**12
    _fennel(CALLS["closeness"], G)
    assert _cluster_runs(on_cluster) == []
    nx.config.backends.fennel.executor_min_work = 0
    scattered = []
    real = client.scatter
    monkeypatch.setattr(client, "scatter", lambda *a, **k: scattered.append(1) or real(*a, **k))
    H = G.copy()  # converted afresh, and kept in its cache from call to call
    for call in ("betweenness", "closeness", "eccentricity"):
        assert _fennel(CALLS[call], H) == CALLS[call](H)
    assert len(scattered) == 1


@cluster_only
@pytest.mark.parametrize("killed", ["the graph's holder", "the other worker", "every worker"])
def test_workers_killed_during_a_call(own_cluster, monkeypatch, killed):
    client, on_cluster = own_cluster
    # Many small blocks keep the call running while worker processes die.
    monkeypatch.setattr(executor, "BLOCKS_PER_SLOT", 150)
    G = _weighted(nx.gnm_random_graph(700, 3500, seed=9), 5)
    want = nx.harmonic_centrality(G, distance="weight")
    client.wait_for_workers(2, timeout=60)
    call = lambda H: nx.harmonic_centrality(H, distance="weight")  # noqa: E731
    assert _fennel(call, G) == want  # ships the graph
    # Between calls Dask keeps one copy of the graph; the call must survive losing it.
    (fg,) = G.__networkx_cache__["backends"]["fennel"].values()
    graph = fg._shipped[2]
    deadline = time.monotonic() + 30
    while len(client.who_has([graph])[graph.key]) > 1 and time.monotonic() < deadline:
        client.amm.run_once()
        time.sleep(0.1)
    holders = client.who_has([graph])[graph.key]
    assert len(holders) == 1
    pids = client.run(os.getpid)
    victims = {"the graph's holder": holders, "the other worker": set(pids) - set(holders),
               "every worker": pids}[killed]

    def kill_once_busy():
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if any(client.processing().values()):
                doomed = set(victims)
                if killed == "the graph's holder":
                    # A worker whose task fetched the graph since holds a copy too: the copies go with it.
                    doomed |= set(client.who_has([graph])[graph.key])
                for victim in doomed:
                    os.kill(pids[victim], signal.SIGKILL)
                return
            time.sleep(0.01)

    killer = threading.Thread(target=kill_once_busy)
    killer.start()
    got = _fennel(call, G)
    killer.join()
    assert got == want
    if killed != "the other worker":
        assert "the workers holding the graph were lost: run again" in on_cluster.read_text()


@cluster_only
def test_ctrl_c_cancels_the_calls_tasks(client, on_cluster, monkeypatch):
    monkeypatch.setattr(executor, "BLOCKS_PER_SLOT", 150)
    G = _weighted(nx.gnm_random_graph(700, 3500, seed=10), 6)
    # Ctrl-C pressed every half second until it lands, then again only if the
    # call is still running 10 s later (the cleanup after a Ctrl-C is the
    # code under test, not a second one). The handler is the test's own: a
    # process a shell starts in the background inherits SIGINT ignored, and
    # Python then leaves it ignored.
    stopped, landed = threading.Event(), threading.Event()

    def handler(signum, frame):
        if not stopped.is_set():
            landed.set()
            raise KeyboardInterrupt

    def keep_pressing():
        while not stopped.wait(10 if landed.is_set() else 0.5):
            landed.clear()
            _thread.interrupt_main()

    old = signal.signal(signal.SIGINT, handler)
    presser = threading.Thread(target=keep_pressing)
    presser.start()
    ended = interrupted = False
    try:
        _fennel(lambda H: nx.harmonic_centrality(H, distance="weight"), G)
        ended = True
        time.sleep(5)
    except KeyboardInterrupt:
        stopped.set()
        interrupted = True
    finally:
        stopped.set()
        presser.join()
        signal.signal(signal.SIGINT, old)
    assert interrupted and not ended, "the call ended before the interrupt: nothing was cancelled"
    # A block's task that was still searching when its call was cancelled then
    # waits for the hand-over its predecessor's release deleted, at most
    # HANDOVER_TIMEOUT seconds (seceded: it holds no worker thread meanwhile).
    deadline = time.monotonic() + _remote.HANDOVER_TIMEOUT + 15
    while any(client.processing().values()) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert not any(client.processing().values())


@cluster_only
def test_a_version_mismatch_is_named(on_cluster, monkeypatch):
    monkeypatch.setattr(executor, "__version__", "0.0.1")
    monkeypatch.setattr(executor, "_checked", {})
    G = GRAPHS["undirected"]
    with pytest.raises(executor.ClusterError, match=r"runs fennel .*; this process runs fennel 0\.0\.1"):
        _fennel(CALLS["closeness"], G)
    with nx.config(fallback_to_nx=True):
        assert _fennel(CALLS["closeness"], G) == CALLS["closeness"](G)
    assert "closeness_centrality" not in _cluster_runs(on_cluster)


@cluster_only
def test_a_cluster_without_workers_or_without_fennel(tmp_path):
    preload = tmp_path / "no_fennel.py"
    preload.write_text("import sys\nsys.modules['fennel'] = None\n")
    G = GRAPHS["undirected"]
    config = nx.config.backends.fennel
    old = (config.executor, config.executor_min_work)
    try:
        for workers, kwargs, cause in [
            (0, {}, "has no workers"),
            (1, {"preload": [str(preload)]}, "fennel cannot run on the cluster's workers"),
        ]:
            with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                          dashboard_address=":0", **kwargs) as cluster, \
                    distributed.Client(cluster) as c:
                config.executor, config.executor_min_work = c, 0
                with pytest.raises(executor.ClusterError, match=cause):
                    _fennel(CALLS["harmonic"], G)
    finally:
        config.executor, config.executor_min_work = old


def test_settings_are_checked():
    config = nx.config.backends.fennel
    with pytest.raises(TypeError, match="executor must be None or a dask.distributed.Client"):
        config.executor = "tcp://127.0.0.1:8786"
    with pytest.raises(TypeError, match="executor_min_work"):
        config.executor_min_work = -1
    assert config.executor is None


@pytest.mark.parametrize("edges", [False, True])
@pytest.mark.parametrize("graph", ["directed", "zero-weights"])
@pytest.mark.parametrize("weight", [None, "weight"])
def test_term_rows_add_up_to_the_local_sums(graph, weight, edges):
    # The kernels the workers run, without a cluster: rows of several
    # blocks added in order give the sums of one local run, bit for bit.
    core = as_fennel(GRAPHS[graph], ("weight",)).core
    n = len(core)
    sources = list(range(n))
    want = core.edge_betweenness(weight, sources) if edges else core.betweenness(weight, True, sources)
    totals = bytearray(8 * len(want))
    for first in range(0, n, 17):
        rows, extra, hit = core.betweenness_rows(weight, True, sources[first:first + 17], edges=edges)
        assert hit == b""
        _core._add_rows(totals, rows, extra)
    assert array.array("d", totals).tolist() == want
    sums, hit = core.harmonic(sources, [True] * n, weight)
    totals = bytearray(8 * n)
    for first in range(0, n, 70):  # more than one bit-parallel chunk per block
        rows, extra, _ = core.harmonic_rows(sources[first:first + 70], [True] * n, weight)
        _core._add_rows(totals, rows, extra)
    assert array.array("d", totals).tolist() == sums


@pytest.mark.parametrize("totals, rows, extra", [
    (bytes(16), bytes(16), b""),  # read-only totals
    (bytearray(16), bytes(24), b""),  # not whole rows
    (bytearray(16), bytes(16), bytes(8)),  # a torn extra
    (bytearray(16), bytes(16), array.array("I", [1, 0]).tobytes() + bytes(8)),  # extra of a missing row
])
def test_add_rows_rejects_bad_buffers(totals, rows, extra):
    with pytest.raises((TypeError, ValueError, BufferError)):
        _core._add_rows(totals, rows, extra)


@pytest.mark.parametrize("compensated", [False, True])
def test_a_float_sum_resumed_at_any_split_is_one_sum(compensated):
    rnd = random.Random(5)
    values = [rnd.choice([1e16, -1e16, 0.1, 3.3, 1e-3, 7.0]) * rnd.random() for _ in range(400)]
    splits = sorted(rnd.sample(range(1, 400), 9))
    state = (0.0, 0.0)
    for lo, hi in zip([0, *splits], [*splits, 400]):
        state = _core._py_sum_resume(*state, compensated, array.array("d", values[lo:hi]).tobytes())
    partial, compensation = state
    total = partial + compensation if compensation != 0.0 else partial
    assert total == _core._py_sum(values, compensated)
    with pytest.raises(ValueError, match="whole float64"):
        _core._py_sum_resume(0.0, 0.0, compensated, bytes(9))
