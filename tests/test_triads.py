"""The triad census against NetworkX: whole graphs of the zoo, and partial
censuses over node lists, where NetworkX numbers the listed nodes by a
set's order and fennel by G's (the counts must not depend on it)."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, _relabelled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

DENSE = nx.gnp_random_graph(40, 0.2, seed=3, directed=True)
DENSE.add_edges_from([(1, 1), (2, 2), (1, 2), (2, 1)])
EXTRA = {"dense_loops": DENSE, "dense_str": _relabelled(DENSE, {i: f"s{i}" for i in DENSE})}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize("gid", ZOO_IDS + list(EXTRA))
def test_triadic_census(gid, threads):
    G = EXTRA.get(gid) or ZOO[gid]
    nodes = list(G)
    rng = random.Random(len(nodes))
    # (the self-loops of DENSE fall inside some lists and outside others)
    lists = [None, nodes[:1], nodes[::3], rng.sample(nodes, len(nodes) // 2), nodes[1:], nodes[3:]]
    with nx.config.backends.fennel(n_jobs=threads):
        ran = [same_as_networkx("triadic_census", G, nodelist) for nodelist in lists]
    assert all(ran) == G.is_directed()


@pytest.mark.parametrize(("nodelist", "answered"), [([0, 0, 1], True), ([0, "absent"], True), (iter([0, 1]), False)])
def test_bad_node_lists_raise_as_networkx(nodelist, answered):
    # An iterator has no len(): the caller's TypeError, not an answer about G.
    assert same_as_networkx("triadic_census", DENSE, nodelist) == answered
