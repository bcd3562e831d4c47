import os
import zlib

import networkx as nx
import pytest


@pytest.fixture(autouse=True)
def _backend_priority_restored():
    # NetworkX 3.4's `with nx.config(backend_priority=[...])` changes the
    # priority object in place and "restores" that same object, so a priority
    # set for one call would outlive its block; each test starts from the
    # lists it found.
    priority = nx.config.backend_priority
    algos, generators = list(priority.algos), list(getattr(priority, "generators", []))
    yield
    nx.config.backend_priority.algos = algos
    if hasattr(nx.config.backend_priority, "generators"):
        nx.config.backend_priority.generators = generators


def pytest_collection_modifyitems(config, items):
    """FENNEL_TEST_SAMPLE=N keeps one case in N of every parametrized test
    (chosen by a stable hash of its id; tests without parameters, and those
    marked every_case, all run), and FENNEL_TEST_THIN=K one in K of those
    others too.
    CI's secondary legs (other releases, sanitizers, the free-threaded build)
    run such a sample, thinned when the machine runs behind CI's schedule; the
    default run keeps every case."""
    n = int(os.environ.get("FENNEL_TEST_SAMPLE", "1"))
    k = int(os.environ.get("FENNEL_TEST_THIN", "1"))
    if n <= 1 and k <= 1:
        return
    kept, dropped = [], []
    for item in items:
        h = zlib.crc32(item.nodeid.encode())
        whole = "[" not in item.nodeid or item.get_closest_marker("every_case")
        picked = (k <= 1 or h % k == 0) if whole else (n <= 1 or h % n == 0)
        (kept if picked else dropped).append(item)
    if dropped:
        config.hook.pytest_deselected(items=dropped)
        items[:] = kept
