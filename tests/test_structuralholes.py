"""Structural holes against NetworkX: effective_size and constraint for
given nodes (NetworkX's loops, whose float sums follow its sets of
neighbours), local_constraint for adjacent and distant pairs, each weight
flavour, nodes whose hashes collide, and both thread counts."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import FLAVOURS, ZOO, _relabelled, add_weights, two_weight_view

from fennel.backend import RELEASE_REFUSALS
from fennel.backend.structuralholes import _HAS_SCIPY as HAS_SCIPY
from fennel.backend.structuralholes import _MATRIX_PATH as MATRIX_PATH
from fennel.backend.structuralholes import _core_constraints, _scipy_constraints, core_forms_scipys_sums

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GRAPHS = {gid: G for gid, G in ZOO.items() if not G.is_multigraph()}
_dense = nx.gnp_random_graph(30, 0.2, seed=8, directed=True)
_dense.add_edges_from([(v, v) for v in range(0, 30, 4)] + [(60, 60)])
GRAPHS["dense_digraph_loops"] = _dense
GRAPHS["collisions"] = _relabelled(_dense, {i: i * 64 for i in _dense})
GRAPHS["ba"] = nx.barabasi_albert_graph(80, 3, seed=3)

MEASURES = ["effective_size", "constraint"]



# Hop counts on every graph, weights on a few of each kind.
CASES = [(gid, None) for gid in GRAPHS] + [
    (gid, flavour) for gid in ("karate", "digraph_loops_isolates", "collisions", "str_nodes")
    for flavour in ("int", "float", "missing")]


@pytest.mark.parametrize(("gid", "flavour"), CASES)
@pytest.mark.parametrize("name", MEASURES)
def test_measures_of_given_nodes(gid, flavour, name):
    G = GRAPHS[gid] if flavour is None else add_weights(GRAPHS[gid], flavour, seed=4)
    weight = None if flavour is None else "weight"
    nodes = list(G)
    assert same_as_networkx(name, G, nodes, weight=weight)
    same_as_networkx(name, G, nodes[-3::-3], weight=weight)


@pytest.mark.parametrize("gid", ["karate", "digraph_loops_isolates", "mixed_nodes"])
@pytest.mark.parametrize("flavour", [None, *FLAVOURS])
def test_local_constraint(gid, flavour):
    G = GRAPHS[gid] if flavour is None else add_weights(GRAPHS[gid], flavour, seed=5)
    weight = None if flavour is None else "weight"
    nodes = list(G)
    for u in nodes[:3]:
        for v in nodes[::5]:
            ran = same_as_networkx("local_constraint", G, u, v, weight=weight)
            assert ran != (flavour in ("none", "mixed"))


@pytest.mark.parametrize("n_jobs", [1, 2])
@pytest.mark.parametrize("name", MEASURES)
def test_thread_counts(n_jobs, name):
    G = add_weights(GRAPHS["collisions"], "float", seed=6)
    with nx.config.backends.fennel(n_jobs=n_jobs):
        assert same_as_networkx(name, G, list(G), weight="weight")


# The whole graph: NetworkX's sparse-matrix path from 3.5 on.
@pytest.mark.parametrize("gid", [g for g in GRAPHS if g not in ("empty",)] + ["empty"])
@pytest.mark.parametrize("flavour", [None, "int", "float", "missing"])
@pytest.mark.parametrize("name", MEASURES)
def test_whole_graph(gid, flavour, name):
    G = GRAPHS[gid] if flavour is None else add_weights(GRAPHS[gid], flavour, seed=7)
    assert same_as_networkx(name, G, weight=None if flavour is None else "weight")


@pytest.mark.parametrize("name, args", [("effective_size", ()), ("constraint", ()), ("local_constraint", (0, 1))])
def test_rows_with_two_weights_are_left_to_networkx(name, args):
    """NetworkX reads each end's own row (G[u][v] and G[v][u] differ here)."""
    assert not same_as_networkx(name, two_weight_view(), *args, weight="weight") or name in RELEASE_REFUSALS


@pytest.mark.parametrize("name", MEASURES)
def test_multigraphs_are_left_to_networkx(name):
    assert not same_as_networkx(name, ZOO["multigraph"], list(ZOO["multigraph"])) or name in RELEASE_REFUSALS


# The whole graph's constraint sums formed by the core: rows past numpy's
# pairwise blocks (a hub of 400), weights over twelve orders of magnitude,
# negative and zero weights, rows whose weights cancel (left to scipy).
def _hub_graph(seed, directed, weights, n=600, m=3000, hub=400):
    G = nx.gnm_random_graph(n, m, seed=seed, directed=directed)
    G.add_edges_from((0, v) for v in range(1, hub))
    G.add_nodes_from(range(n, n + 5))
    rng = random.Random(seed)
    for *_, d in G.edges(data=True):
        d["weight"] = {"spread": lambda: 10 ** rng.uniform(-6, 6), "signed": lambda: rng.choice([-1.5, 0.0, 2.0, 1e-300]),
                       "ints": lambda: rng.randint(1, 50)}[weights]()
    return G


# Signed weights over a hub: normalised weights near 1e300, whose squares
# overflow; NetworkX's float ** raises OverflowError(34, ...), and so must the core.
@pytest.mark.parametrize("seed", range(3))
def test_squares_out_of_range_raise(seed):
    G = _hub_graph(seed, True, "signed", n=120, m=500, hub=60)
    raised = []
    for backend in ("networkx", "fennel"):  # fennel named: a refusal would raise NotImplementedError
        with pytest.raises(OverflowError) as info:
            nx.constraint(G, list(G), weight="weight", backend=backend)
        raised.append(info.value.args)
    assert raised[0] == raised[1] == (34, "Numerical result out of range")
    for u in range(5):
        for v in range(0, 60, 3):
            same_as_networkx("local_constraint", G, u, v, weight="weight")


# Before NetworkX 3.5 the whole graph takes the loops, which need minutes for a
# hub of 400 in Python.
@pytest.mark.skipif(not (HAS_SCIPY and MATRIX_PATH), reason="the sparse path is NetworkX 3.5's, with scipy")
@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("directed", [False, True])
@pytest.mark.parametrize("weights", ["spread", "signed", "ints"])
def test_whole_graph_long_rows(seed, directed, weights):
    G = _hub_graph(seed, directed, weights)
    assert same_as_networkx("constraint", G, weight="weight")
    assert same_as_networkx("constraint", G)


@pytest.mark.skipif(not HAS_SCIPY, reason="the sparse path needs scipy")
def test_core_forms_this_scipys_sums():
    assert core_forms_scipys_sums()


@pytest.mark.skipif(not HAS_SCIPY, reason="the sparse path needs scipy")
@pytest.mark.parametrize("scale", [1.0, 1e60, float("inf")])
def test_core_sums_match_scipy_or_step_aside(scale):
    import numpy as np
    import scipy as sp

    P = nx.to_scipy_sparse_array(_hub_graph(1, True, "spread"), format="csr") * scale
    M = P + P.T
    with np.errstate(all="ignore"):
        M /= M.sum(axis=1)[:, np.newaxis]
        M = sp.sparse.csr_array(M) * scale
        theirs = _scipy_constraints(M)
        ours = _core_constraints(M)
    if scale == 1.0:
        assert ours.tobytes() == theirs.tobytes()
    else:
        assert ours is None
