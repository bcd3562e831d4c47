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
    facts = g.weight_facts("__rx_cost__")
    assert (facts["all_int"], facts["has_hidden"], facts["mixed"]) == (False, False, False)


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


NAN = float("nan")
INF = float("inf")


def same(a, b):
    return len(a) == len(b) and all(x == y or (x != x and y != y) for x, y in zip(a, b))


@pytest.mark.parametrize(
    "n, edges, costs, source, goal, expected",
    [
        (3, [(0, 1), (0, 2), (1, 2)], [1.0, 5.0, 1.0], 0, None, [0.0, 1.0, 2.0]),
        (3, [(0, 1), (0, 2), (1, 2)], [1.0, 5.0, 1.0], 0, 1, [0.0, 1.0, NAN]),
        (3, [(0, 1), (0, 2), (1, 2)], [1.0, 5.0, 1.0], 0, 7, [0.0, 1.0, 2.0]),  # goal beyond n: no stop
        (3, [(0, 1), (1, 2)], [INF, 1.0], 0, None, [0.0, INF, INF]),  # reached through infinite costs
        (3, [(0, 1), (2, 0)], [1.0, NAN], 0, None, [0.0, 1.0, NAN]),  # a bad cost out of an unreached node
        (2, [(0, 1), (1, 0)], [1.0, NAN], 0, None, [0.0, 1.0]),  # ... or into a node already expanded
    ],
)
def test_rx_dijkstra_cases(n, edges, costs, source, goal, expected):
    g = core.build_rx(n, True, [u for u, _ in edges], [v for _, v in edges], costs)
    assert same(g.rx_dijkstra(source, goal), expected)


@pytest.mark.parametrize(
    "costs, error, message",
    [
        ([-0.0], ValueError, "Negative weights not supported."),
        ([-NAN], ValueError, "Negative weights not supported."),
        ([NAN], ValueError, "NaN weights not supported."),
        ([-1.0], ValueError, "Negative weights not supported."),
        (None, NotImplementedError, "__rx_cost__"),
    ],
)
def test_rx_dijkstra_errors(costs, error, message):
    g = core.build_rx(2, False, [0], [1], costs)
    with pytest.raises(error, match=message):
        g.rx_dijkstra(1)
    with pytest.raises(IndexError, match="node index out of range"):
        g.rx_dijkstra(2)


@pytest.mark.parametrize("loop_cost", [-1.0, -0.0, NAN, 0.0], ids=["negative", "negative-zero", "nan", "zero"])
def test_rx_dijkstra_reads_self_loop_cost_of_expanded_node(loop_cost):
    # petgraph marks a node visited only after its row, so its own loop's
    # cost is checked although the node has left the heap.
    rx = pytest.importorskip("rustworkx")
    import fennel.rx as frx

    G = rx.PyDiGraph()
    G.add_nodes_from(range(3))
    G.add_edges_from([(0, 1, 1.0), (1, 1, loop_cost), (1, 0, -1.0), (1, 2, 2.0)])
    run = lambda lib: outcome(lambda: dict(lib.dijkstra_shortest_path_lengths(G, 0, lambda w: w)))
    assert run(frx) == run(rx)


def test_positions_read_from_integer_buffers():
    np = pytest.importorskip("numpy")
    src, dst = [0, 2, 1, 0], [1, 0, 2, 2]
    want = [core.build_rx(3, True, src, dst).neighbors(v) for v in range(3)]
    for dtype in (np.int64, np.uint32, np.int8, np.uint64):
        g = core.build_rx(3, True, np.array(src, dtype=dtype), np.array(dst, dtype=dtype))
        assert [g.neighbors(v) for v in range(3)] == want
    strided = np.array([src, dst]).T  # columns are not contiguous: read item by item
    g = core.build_rx(3, True, strided[:, 0], strided[:, 1])
    assert [g.neighbors(v) for v in range(3)] == want
    for bad, message in [(np.array([-1]), "negative"), (np.array([2**32], dtype=np.uint64), "32 bits")]:
        with pytest.raises(OverflowError, match=message):
            core.build_rx(3, True, bad, np.array([0]))


# fennel.rx against rustworkx itself: the same results, types and errors.

COSTS = [0.0, 1.0, 1.0, 2.0, 0.5, 3, True, INF, -1.0, NAN, -0.0, -NAN, 1e308, "x", None]


def outcome(call):
    try:
        r = call()
    except BaseException as e:  # rustworkx's panics derive from BaseException
        return "raised", type(e), str(e)
    items = list(r.items()) if hasattr(r, "items") else [list(c) if isinstance(c, list) else c for c in r]
    return type(r), items


def random_rx_graph(rng):
    rx = pytest.importorskip("rustworkx")
    n = rng.randint(0, 12)
    G = rx.PyDiGraph() if rng.random() < 0.6 else rx.PyGraph()
    G.add_nodes_from(range(n))
    pool = COSTS if rng.random() < 0.3 else COSTS[:8]
    for _ in range(rng.randint(0, 3 * n) if n else 0):
        G.add_edge(rng.randrange(n), rng.randrange(n), rng.choice(pool))
    if G.num_edges() and rng.random() < 0.3:
        # Removed edges' indices are taken again by later edges, which
        # rustworkx lists first: rows no longer follow index order.
        for _ in range(min(rng.randint(1, 3), G.num_edges())):
            G.remove_edge_from_index(rng.choice(list(G.edge_indices())))
        for _ in range(rng.randint(0, 4)):
            G.add_edge(rng.randrange(n), rng.randrange(n), rng.choice(pool))
    if n and rng.random() < 0.1:
        G.remove_node(rng.randrange(n))  # leaves gaps in the node indices: rustworkx answers
    return G


@pytest.mark.parametrize("batch", range(8))
def test_fennel_rx_matches_rustworkx(batch):
    rx = pytest.importorskip("rustworkx")
    import fennel.rx as frx

    for seed in range(batch * 100, batch * 100 + 100):
        rng = random.Random(seed)
        G = random_rx_graph(rng)
        calls = [("strongly_connected_components", (G,)), ("topological_sort", (G,))]
        for node in list(G.node_indices())[:3]:
            calls.append(("dijkstra_shortest_path_lengths", (G, node, lambda w: w)))
            calls.append(("dijkstra_shortest_path_lengths", (G, node, lambda w: w, rng.randrange(G.num_nodes() + 1))))
        for name, args in calls:
            assert outcome(lambda: getattr(frx, name)(*args)) == outcome(lambda: getattr(rx, name)(*args)), (seed, name)


def test_index_order_reads_the_edge_list_alone():
    rx = pytest.importorskip("rustworkx")
    import fennel.rx as frx

    G = rx.PyDiGraph()
    G.add_nodes_from(range(5))
    G.add_edges_from_no_data([(0, 1), (0, 2), (0, 3)])
    assert list(frx.topological_sort(G, index_order=True)) == list(rx.topological_sort(G)) == [4, 0, 3, 2, 1]
    G.remove_edge_from_index(1)
    G.add_edge(0, 4, None)  # takes index 1, yet rustworkx lists it first
    assert list(frx.topological_sort(G)) == list(rx.topological_sort(G)) == [2, 0, 4, 3, 1]
    assert list(frx.topological_sort(G, index_order=True)) == [2, 0, 3, 4, 1]  # as vouched: index order
