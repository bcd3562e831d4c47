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
