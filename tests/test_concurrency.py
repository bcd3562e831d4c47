"""Threads converting and querying at once, and adjacency mutated during conversion."""

import threading
from concurrent.futures import ThreadPoolExecutor

import networkx as nx
import pytest

import fennel._core as core
from zoo import ZOO, ZOO_IDS, add_weights, convert

pytestmark = pytest.mark.every_case

THREADS = 8


def run_threads(work):
    """work(i) on THREADS threads released together; their results in thread order."""
    barrier = threading.Barrier(THREADS)

    def start(i):
        barrier.wait()
        return work(i)

    with ThreadPoolExecutor(THREADS) as pool:
        return list(pool.map(start, range(THREADS)))


GRAPHS = {gid: add_weights(ZOO[gid], "mixed", seed=1) for gid in ZOO_IDS}


def snapshot(g):
    rows = [(g.neighbors(u), g.predecessors(u)) for u in range(len(g))]
    weights = g.weight_facts("weight")
    return rows, g.edges_in_order(), g.degrees(), g.number_of_edges(), weights, g.betweenness("weight")


def test_concurrent_conversions_agree_with_one_thread():
    expected = {gid: snapshot(convert(G, [("weight", 1)])) for gid, G in GRAPHS.items()}

    def work(i):
        # Each thread walks the zoo in a different order, so conversions overlap.
        ids = ZOO_IDS[i:] + ZOO_IDS[:i]
        return {gid: snapshot(convert(GRAPHS[gid], [("weight", 1)])) for gid in ids}

    assert run_threads(work) == [expected] * THREADS


def test_concurrent_queries_and_loads_on_one_graph():
    G = GRAPHS["digraph_shuffled"]
    nodes = list(G)
    index = {v: i for i, v in enumerate(nodes)}
    g = convert(G, [("weight", 1)])
    expected = snapshot(g)

    def work(i):
        loaded = g.load_exact_pred(nodes, index, G._pred, [("weight", 1)])
        return loaded, g.has_exact_pred(), snapshot(g)

    assert run_threads(work) == [(None, True, expected)] * THREADS


class Mutating:
    """Edge data whose .get rewrites the neighbour dict being walked."""

    def __init__(self, mutate):
        self.mutate = mutate

    def get(self, name, default):
        self.mutate()
        return default


def _grow(row):
    row[99] = {}


def _swap(row):
    del row[1]
    row[3] = {}


@pytest.mark.parametrize(
    "mutate, message",
    [(_grow, "dictionary changed size during iteration"), (_swap, "dictionary keys changed during iteration")],
    ids=["size_changed", "keys_changed"],
)
def test_neighbour_dict_mutated_during_conversion(mutate, message):
    row = {}
    row[1] = Mutating(lambda: mutate(row))
    row[2] = {}
    succ = {0: row, 1: {}, 2: {}, 3: {}}
    # NetworkX's own iteration raises RuntimeError with the same message.
    with pytest.raises(RuntimeError) as info:
        core.build_graph([0, 1, 2, 3], {0: 0, 1: 1, 2: 2, 3: 3}, succ, True, [("w", 1)])
    assert str(info.value) == message


class CollidingKey:
    """An edge-data key hashing like "w" whose comparison deletes later row entries."""

    def __init__(self, row):
        self.row = row

    def __hash__(self):
        return hash("w")

    def __eq__(self, other):
        for key in [k for k in self.row if k != 1]:
            del self.row[key]
        return False


def test_edge_data_lookup_running_python_code_stops_the_walk():
    row = {}
    row[1] = {CollidingKey(row): 0, "w": 5}
    for v in range(2, 40):
        row[v] = {"w": v}
    succ = {v: {} for v in range(40)}
    succ[0] = row
    with pytest.raises(RuntimeError) as info:
        core.build_graph(list(range(40)), {v: v for v in range(40)}, succ, True, [("w", 1)])
    assert str(info.value) == "dictionary changed size during iteration"


class Removing:
    """Nodes equal by value; the first comparison after `arm(G, victim)` removes `victim` from G."""

    pending = None

    def __init__(self, v):
        self.v = v

    def __hash__(self):
        return hash(self.v)

    def __eq__(self, other):
        if Removing.pending is not None:
            (G, victim), Removing.pending = Removing.pending, None
            G.remove_node(victim)
        return isinstance(other, Removing) and self.v == other.v


def test_graph_changed_by_a_node_comparison_is_not_read_half_changed():
    G = nx.Graph()
    nodes = [Removing(i) for i in range(40)]
    G.add_nodes_from(nodes)
    G.add_edges_from((Removing(i), Removing((i + 1) % 40)) for i in range(40))  # row keys: equal, not the nodes
    Removing.pending = (G, nodes[20])
    # The first neighbour lookup removes node 20, whose row was already read
    # ahead: NetworkX's RuntimeError, never rows of two different graphs.
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        core.build_graph(nodes, dict(zip(nodes, range(40))), G._adj, False, [])
    assert Removing.pending is None
