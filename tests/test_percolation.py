"""Percolation centrality against NetworkX over the zoo: default states,
a states attribute of ints and floats, a states dict with extra keys, each
weight flavour, and both thread counts (sources run on the worker pool,
each node's sum still in NetworkX's order)."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import FLAVOURS, ZOO, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _with_states(G, seed):
    H = G.copy()
    rng = random.Random(seed)
    for v in H:
        if rng.random() < 0.8:
            H.nodes[v]["state"] = rng.choice([0.1, 0.35, 0.9, 1, 2])
    return H


@pytest.mark.parametrize("gid", ZOO)
def test_percolation_centrality(gid):
    G = _with_states(ZOO[gid], 1)
    ran = same_as_networkx("percolation_centrality", G)
    assert ran != (len(G) == 2)
    same_as_networkx("percolation_centrality", G, attribute="state")
    states = {v: 0.25 + (i % 5) / 7 for i, v in enumerate(G)}
    states["extra"] = 3.5
    same_as_networkx("percolation_centrality", G, states=states)


@pytest.mark.parametrize("gid", ["karate", "digraph_loops_isolates", "multigraph_loops", "disconnected"])
@pytest.mark.parametrize("flavour", [f for f in FLAVOURS if f != "none"])
def test_weighted(gid, flavour):
    G = _with_states(add_weights(ZOO[gid], flavour, seed=2), 3)
    assert same_as_networkx("percolation_centrality", G, attribute="state", weight="weight")


@pytest.mark.parametrize("n_jobs", [1, 2])
@pytest.mark.parametrize("weight", [None, "weight"])
def test_thread_counts(n_jobs, weight):
    G = _with_states(add_weights(nx.barabasi_albert_graph(400, 3, seed=4), "tied", seed=5), 6)
    with nx.config.backends.fennel(n_jobs=n_jobs):
        assert same_as_networkx("percolation_centrality", G, attribute="state", weight=weight)


@pytest.mark.parametrize("states", [{0: 1.0}, {v: (0 if v else 5) for v in range(6)}])
def test_states_networkx_fails_on_are_left_to_it(states):
    # a node without a state (KeyError); a state equal to the total (ZeroDivisionError)
    assert not same_as_networkx("percolation_centrality", nx.path_graph(6), states=states)
