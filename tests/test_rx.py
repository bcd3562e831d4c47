"""The rustworkx-ordered graph: rows in rustworkx's neighbour order, and
strongly connected components and topological order as rustworkx gives them.

rustworkx itself is the oracle where it is installed; the documented small
cases run everywhere.
"""

import random

import pytest

import fennel._core as core


def test_rows_follow_rustworkx_order():
    g = core.build_rx(3, True, [0, 0], [1, 2])
    assert g.neighbors(0) == [2, 1]
    g = core.build_rx(3, False, [0, 2, 0], [1, 0, 0])
    assert g.neighbors(0) == [0, 1, 2]  # out-edges, newest first, then in-edges without the loop again
    g = core.build_rx(2, True, [0, 0], [1, 1], [1.0, 2.0])
    assert g.neighbors(0) == [1, 1] and g.predecessors(1) == [0, 0]
    assert g.weight_info("__rx_cost__") == (False, False) and not g.weight_mixed("__rx_cost__")


@pytest.mark.parametrize(
    "n, edges, scc, topo",
    [
        (4, [(0, 1), (1, 2), (2, 0), (3, 0)], [[0, 1, 2], [3]], None),
        (3, [(0, 1), (0, 2)], [[2], [1], [0]], [0, 2, 1]),
        (3, [(0, 1), (1, 2)], [[2], [1], [0]], [0, 1, 2]),
        (2, [(1, 1)], [[1], [0]], None),
        (0, [], [], []),
    ],
)
def test_scc_and_toposort(n, edges, scc, topo):
    g = core.build_rx(n, True, [u for u, _ in edges], [v for _, v in edges])
    assert g.rx_scc() == scc
    assert g.rx_toposort() == topo


@pytest.mark.parametrize(
    "args, message",
    [
        ((3, True, [0], [3]), "edge endpoint out of range"),
        ((3, True, [0], [1], [1.0, 2.0]), "edge arrays differ in length"),
        ((3, True, [0, 1], [1]), "edge arrays differ in length"),
        ((2**32, True, [], []), "too many nodes"),
    ],
)
def test_build_rx_errors(args, message):
    with pytest.raises(ValueError, match=message):
        core.build_rx(*args)


def test_round_trip_keeps_parallel_edges_and_nan_costs():
    import pickle

    g = core.build_rx(3, False, [0, 0, 1], [1, 1, 1], [float("nan"), -0.0, 2.5])
    h = pickle.loads(pickle.dumps(g))
    assert [h.neighbors(v) for v in range(3)] == [g.neighbors(v) for v in range(3)]
    assert h.__reduce__() == g.__reduce__()


@pytest.mark.parametrize("seed", range(40))
def test_against_rustworkx(seed):
    rx = pytest.importorskip("rustworkx")
    rng = random.Random(seed)
    n = rng.randint(0, 30)
    G = rx.PyDiGraph()
    G.add_nodes_from(range(n))
    for _ in range(rng.randint(0, 3 * n) if n else 0):
        u, v = rng.randrange(n), rng.randrange(n)
        if seed % 2 == 0 and u >= v:
            continue  # half the graphs acyclic
        G.add_edge(u, v, None)
    edges = G.edge_list()
    g = core.build_rx(n, True, [u for u, _ in edges], [v for _, v in edges])
    assert [g.neighbors(v) for v in range(n)] == [list(G.successor_indices(v)) for v in range(n)]
    assert g.rx_scc() == [list(c) for c in rx.strongly_connected_components(G)]
    try:
        expected = list(rx.topological_sort(G))
    except rx.DAGHasCycle:
        expected = None
    assert g.rx_toposort() == expected
