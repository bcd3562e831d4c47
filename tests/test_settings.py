"""Runtime settings (nx.config.backends.fennel), refusal reasons, the fennel logger and progress bars."""

import json
import logging
import os
import pickle
import subprocess
import sys

import networkx as nx
import numpy as np
import pytest

import fennel._core as core
from fennel.backend import RELEASE_REFUSALS, interface, progress
from zoo import ZOO, add_weights, convert, shape

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

CONFIG = nx.config.backends.fennel
DIJKSTRA = "single_source_dijkstra_path_length"


@pytest.fixture(autouse=True)
def restore_settings():
    saved = {key: getattr(CONFIG, key) for key in CONFIG}
    threads = core.num_threads()
    yield
    for key, value in saved.items():
        setattr(CONFIG, key, value)
    core.set_num_threads(threads)
    interface._threads_applied = -1  # the pool was set directly: the next call hands n_jobs over again


def outcome(name, *args, **kwargs):
    try:
        return ("ok", shape(getattr(nx, name)(*args, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def fennel_records(caplog):
    return [r for r in caplog.records if r.name == "fennel"]


def run_python(script, env_vars):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("RAYON_", "FENNEL_"))}
    env.update(env_vars, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    return proc


# Validation


@pytest.mark.parametrize(
    ("key", "value", "error"),
    [("n_jobs", 0, ValueError), ("n_jobs", -1, ValueError), ("n_jobs", 2**20 + 1, ValueError),
     ("n_jobs", True, TypeError), ("n_jobs", 2.0, TypeError), ("call_log", 3, TypeError),
     ("call_log", b"calls.log", TypeError), ("progress", 1, TypeError), ("progress", "yes", TypeError)],
    ids=lambda v: repr(v) if not isinstance(v, type) else v.__name__,
)
def test_invalid_settings_are_rejected(key, value, error):
    before = getattr(CONFIG, key)
    with pytest.raises(error, match=key):
        setattr(CONFIG, key, value)
    with pytest.raises(error, match=key), CONFIG(**{key: value}):
        pass
    assert getattr(CONFIG, key) == before


def test_path_objects_are_kept_as_strings(tmp_path):
    CONFIG.call_log = tmp_path / "calls.log"
    assert CONFIG.call_log == str(tmp_path / "calls.log")


def test_networkx_config_still_pickles():
    CONFIG.n_jobs = 3
    copy = pickle.loads(pickle.dumps(nx.config)).backends.fennel
    assert copy == CONFIG and copy.n_jobs == 3
    with pytest.raises(ValueError, match="n_jobs"):
        copy.n_jobs = 0


# Threads


def test_n_jobs_sets_the_threads_that_work_on_the_next_call():
    G = ZOO["karate"]
    for n_jobs in (2, 1, 3, 2):  # growing and shrinking
        CONFIG.n_jobs = n_jobs
        nx.single_source_shortest_path_length(G, 0, backend="fennel")  # applies the setting
        assert core.num_threads() == n_jobs
        # Every allowed thread takes part, and no other does, though idle workers are there.
        assert core._pool_probe(4 * n_jobs, n_jobs, 30.0) == n_jobs
        assert core._pool_probe(4 * n_jobs, n_jobs + 1, 0.2) == n_jobs


CALLS = {
    "betweenness_centrality": lambda G, **kw: nx.betweenness_centrality(G, weight="weight", **kw),
    "edge_betweenness_centrality": lambda G, **kw: nx.edge_betweenness_centrality(G, weight="weight", **kw),
    "closeness_centrality": lambda G, **kw: nx.closeness_centrality(G, distance="weight", **kw),
    "harmonic_centrality": lambda G, **kw: nx.harmonic_centrality(G, **kw),
    "all_pairs_dijkstra_path_length": lambda G, **kw: list(nx.all_pairs_dijkstra_path_length(G, weight="weight", **kw)),
    "pagerank": lambda G, **kw: nx.pagerank(G, **kw),
}


@pytest.mark.parametrize("gid", ["les_miserables", "digraph_loops_isolates", "gnp_shuffled"])
@pytest.mark.parametrize("call", CALLS)
def test_answers_do_not_depend_on_n_jobs(call, gid):
    if call in RELEASE_REFUSALS:
        pytest.skip(f"this NetworkX release keeps {call}")
    G = add_weights(ZOO[gid], "float", seed=1)
    expected = shape(CALLS[call](G, backend="networkx"))
    for n_jobs in (1, 2):
        CONFIG.n_jobs = n_jobs
        assert shape(CALLS[call](G, backend="fennel")) == expected
        assert core.num_threads() == n_jobs


def long_call_graph():
    """Searches from every node of it last past the first progress report; betweenness runs
    several batches of sources."""
    return add_weights(nx.gnm_random_graph(2500, 10000, seed=3), "float", seed=4)


def test_thread_count_raised_during_a_call_applies_from_the_next():
    # Betweenness sizes its scratch by the call's thread count, then splits
    # each batch of sources by it: a count changed mid-call must not reach it.
    g = convert(long_call_graph())
    core.set_num_threads(2)
    expected = g.betweenness()
    raised = []
    core._progress_hook(lambda done: raised.append(core.set_num_threads(8)))
    try:
        got = g.betweenness()
    finally:
        core._progress_hook(None)
    assert raised and got == expected
    assert core.num_threads() == 8 and core._pool_probe(16, 8, 30.0) == 8


ENVIRONMENTS = {
    "fennel_wins": ({"FENNEL_NUM_THREADS": "3", "RAYON_NUM_THREADS": "1", "RAYON_RS_NUM_CPUS": "2"}, 3),
    "fennel_0_is_every_processor": ({"FENNEL_NUM_THREADS": "0", "RAYON_NUM_THREADS": "1"}, None),
    "unparsable_fennel_skipped": ({"FENNEL_NUM_THREADS": "three", "RAYON_NUM_THREADS": "2"}, 2),
    "rayon_before_rs": ({"RAYON_NUM_THREADS": "1", "RAYON_RS_NUM_CPUS": "3"}, 1),
    "rs_num_cpus": ({"RAYON_RS_NUM_CPUS": "3"}, 3),
    "rs_num_cpus_0_skipped": ({"RAYON_RS_NUM_CPUS": "0"}, None),
    "none": ({}, None),
}

READ_SETTINGS = """
import json, os
from fennel import _core
pool = _core.num_threads()  # read before NetworkX (and fennel's settings) are imported
import networkx as nx
config = nx.config.backends.fennel
print(json.dumps({"pool": pool, "n_jobs": config.n_jobs, "call_log": config.call_log,
                  "progress": config.progress, "cpus": os.sysconf("SC_NPROCESSORS_ONLN")}))
"""


@pytest.mark.parametrize("case", ENVIRONMENTS)
def test_defaults_from_the_environment(case, tmp_path):
    env, n_jobs = ENVIRONMENTS[case]
    log = str(tmp_path / "calls.log")
    found = json.loads(run_python(READ_SETTINGS, {**env, "FENNEL_CALL_LOG": log}).stdout)
    assert (found["n_jobs"], found["call_log"], found["progress"]) == (n_jobs, log, None)
    assert found["pool"] == (n_jobs or found["cpus"])


# Call log, refusal reasons, logging


def test_call_log_set_at_run_time(tmp_path):
    G = ZOO["karate"]
    log = tmp_path / "calls.log"
    callable_weight = {"weight": lambda u, v, d: 1}
    nx.single_source_shortest_path_length(G, 0, backend="fennel")  # converts; nothing logged yet
    CONFIG.call_log = log
    nx.single_source_shortest_path_length(G, 0, backend="fennel")
    with pytest.raises(NotImplementedError):
        nx.betweenness_centrality(G, backend="fennel", **callable_weight)
    CONFIG.call_log = None
    nx.single_source_shortest_path_length(G, 0, backend="fennel")
    reason = interface.refusal("betweenness_centrality", (G,), callable_weight)
    assert log.read_text().splitlines() == [
        "ran\tsingle_source_shortest_path_length",
        f"refused\tbetweenness_centrality\t{reason}",
    ]


REFUSED = {
    "callable_weight": ("betweenness_centrality", (ZOO["karate"],), {"weight": lambda u, v, d: 1}),
    "numpy_cutoff": ("single_source_shortest_path_length", (ZOO["karate"], 0), {"cutoff": np.float32(2)}),
    "inexact_cutoff": (DIJKSTRA, (ZOO["karate"], 0), {"cutoff": 2**53 + 1}),
    "signature": ("closeness_centrality", (ZOO["karate"],), {"no_such_argument": 1}),
}


@pytest.mark.parametrize("case", REFUSED)
def test_refusals_name_their_reason(case, caplog, monkeypatch):
    name, args, kwargs = REFUSED[case]
    reason = interface.refusal(name, args, kwargs)
    assert isinstance(reason, str) and reason
    caplog.set_level(logging.INFO, logger="fennel")
    with pytest.raises(NotImplementedError) as info:
        interface.can_run(name, args, kwargs)
    assert str(info.value).endswith(f"because: {reason}")
    with pytest.raises(NotImplementedError) as info:
        getattr(nx, name)(*args, backend="fennel", **kwargs)
    assert str(info.value).endswith(f"because: {reason}")
    with nx.config(backend_priority=["fennel"]):  # NetworkX answers instead, or raises as it would
        assert outcome(name, *args, **kwargs) == outcome(name, *args, backend="networkx", **kwargs)
    records = fennel_records(caplog)
    assert records and {(r.levelno, r.event, r.function, r.reason) for r in records} == {
        (logging.INFO, "refused", name, reason)
    }
    # NetworkX's test-suite mode asks can_run without catching: there the reason is returned.
    monkeypatch.setattr(nx.utils.backends._dispatchable, "_is_testing", True)
    assert interface.can_run(name, args, kwargs) == reason


def test_refusal_found_after_conversion_is_chained(caplog):
    caplog.set_level(logging.INFO, logger="fennel")
    G = nx.path_graph(6)
    for u, v in G.edges():
        G[u][v]["weight"] = np.float32(0.5)  # converts, then refused: numpy's other float widths
    with pytest.raises(NotImplementedError) as first:
        nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    # The conversion is cached now, so can_run finds the same reason up front.
    reason = interface.refusal(DIJKSTRA, (G, 0), {})
    assert isinstance(first.value.__cause__, NotImplementedError) and str(first.value.__cause__) == reason
    with pytest.raises(NotImplementedError) as second:
        nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    assert str(second.value).endswith(f"because: {reason}")
    assert [(r.function, r.reason) for r in fennel_records(caplog)] == [(DIJKSTRA, reason)] * 2


def test_declines_are_logged_at_debug(caplog):
    caplog.set_level(logging.DEBUG, logger="fennel")
    G = nx.path_graph(4)
    name = "single_source_shortest_path_length"
    with nx.config(backend_priority=["fennel"]):
        assert getattr(nx, name)(G, 0) == getattr(nx, name)(G, 0, backend="networkx")
    [record] = fennel_records(caplog)
    assert (record.levelno, record.event, record.function) == (logging.DEBUG, "declined", name)
    assert record.reason == interface.should_run(name, (G, 0), {})


def test_refusals_are_silent_without_logging_configured():
    script = (
        "import networkx as nx\n"
        "with nx.config(backend_priority=['fennel']):\n"
        "    nx.betweenness_centrality(nx.karate_club_graph(), weight=lambda u, v, d: 1)\n"
    )
    proc = run_python(script, {})
    assert (proc.stdout, proc.stderr) == ("", "")


# Progress


@pytest.fixture
def forced(monkeypatch):
    """Every call counts as long."""
    monkeypatch.setattr(progress, "WATCH_FROM", 0.0)
    monkeypatch.setattr(progress, "DRAW_FROM", 0.0)
    CONFIG.progress = True


def test_no_bar_for_short_calls(capsys):
    CONFIG.progress = True
    G = ZOO["les_miserables"]
    assert nx.closeness_centrality(G, backend="fennel") == nx.closeness_centrality(G, backend="networkx")
    assert len(list(nx.all_pairs_shortest_path_length(G, backend="fennel"))) == len(G)
    assert capsys.readouterr().err == ""


def many_batches():
    return nx.gnp_random_graph(600, 0.006, seed=4)  # more sources than one batch


def test_generator_bar_changes_nothing(forced, capsys):
    G = many_batches()
    expected = shape(list(nx.all_pairs_shortest_path_length(G, backend="networkx")))
    capsys.readouterr()
    assert shape(list(nx.all_pairs_shortest_path_length(G, backend="fennel"))) == expected
    err = capsys.readouterr().err
    assert "all_pairs_shortest_path_length" in err and f"/{len(G)}" in err


def test_bar_of_a_long_call_changes_nothing(forced, capsys):
    G = long_call_graph()
    with_bar = nx.closeness_centrality(G, distance="weight", backend="fennel")
    err = capsys.readouterr().err
    assert "closeness_centrality" in err and f"/{len(G)}" in err
    for setting in (False, None):  # never; and not on a stream that is no terminal
        CONFIG.progress = setting
        assert nx.closeness_centrality(G, distance="weight", backend="fennel") == with_bar
        assert capsys.readouterr().err == ""


def test_without_tqdm_no_bar_and_no_error(forced, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)  # import fails
    G = many_batches()
    expected = shape(list(nx.all_pairs_shortest_path_length(G, backend="networkx")))
    assert shape(list(nx.all_pairs_shortest_path_length(G, backend="fennel"))) == expected
    assert nx.closeness_centrality(G, backend="fennel") == nx.closeness_centrality(G, backend="networkx")
    assert capsys.readouterr().err == ""


def test_a_failing_bar_is_dropped(forced, monkeypatch):
    def broken(*args, **kwargs):
        raise RuntimeError("display failed")

    monkeypatch.setattr(progress, "_tqdm", lambda: broken)
    G = many_batches()
    expected = shape(list(nx.all_pairs_shortest_path_length(G, backend="networkx")))
    assert shape(list(nx.all_pairs_shortest_path_length(G, backend="fennel"))) == expected


def test_progress_hook_counts_every_unit():
    core.set_num_threads(1)  # the calling thread runs every item and reports between them
    seen = []
    core._progress_hook(seen.append)
    core._pool_probe(16, 2, 0.3)  # the first item waits 0.3 s: reports are due after it
    assert core._progress_hook(None) == 16
    assert seen and seen == sorted(seen) and 0 < seen[-1] <= 16


def test_progress_hook_exceptions(monkeypatch):
    core.set_num_threads(1)
    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    failures = []

    def fails(done):
        failures.append(done)
        raise ValueError("display failed")

    core._progress_hook(fails)
    core._pool_probe(16, 2, 0.3)
    assert core._progress_hook(None) == 16  # the call went on to the end
    assert len(failures) == 1 and isinstance(unraisable[0].exc_value, ValueError)

    def stops(done):
        raise KeyboardInterrupt

    core._progress_hook(stops)
    try:
        with pytest.raises(KeyboardInterrupt):
            core._pool_probe(16, 2, 0.3)
    finally:
        core._progress_hook(None)
    core.set_num_threads(2)
    assert core._pool_probe(4, 2, 30.0) == 2  # the pool is still usable
