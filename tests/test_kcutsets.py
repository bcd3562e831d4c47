"""all_node_cuts against NetworkX: every cut in order, each cut's own
iteration order (also under other hash seeds), k given by the caller, the
errors and shortcuts, graphs changed before or while the generator runs,
and the calls left to NetworkX."""

import itertools
import os
import subprocess
import sys

import networkx as nx
import pytest
from networkx.algorithms.flow import edmonds_karp, shortest_augmenting_path
from zoo import _relabelled, _shuffled

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _outcome(G, **kwargs):
    try:
        return ("returned", [list(c) for c in nx.all_node_cuts(G, **kwargs)])
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(G, **kwargs):
    """fennel's cuts equal NetworkX's on the same graph object; whether fennel ran."""
    expected = _outcome(G, backend="networkx", **kwargs)
    before = calls["ran", "all_node_cuts"]
    got = _outcome(G, backend="fennel", **kwargs)
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(G, **kwargs)
    assert got == expected
    return calls["ran", "all_node_cuts"] > before


def _several_minimum_cuts():
    G = nx.cycle_graph(9)
    G.add_edges_from([(0, 4), (2, 6)])
    return G


GRAPHS = {
    "grid": nx.grid_2d_graph(5, 5),
    "cycle": nx.cycle_graph(8),
    "barbell": nx.barbell_graph(4, 2),
    "petersen": nx.petersen_graph(),
    "path": nx.path_graph(6),
    "star": nx.star_graph(5),
    "several": _several_minimum_cuts(),
    "ladder": nx.circular_ladder_graph(7),
    "str": _relabelled(nx.connected_watts_strogatz_graph(16, 4, 0.3, seed=5), {i: f"v{i}" for i in range(16)}),
    "tuple": _relabelled(nx.cycle_graph(10), {i: ("t", i % 3, i) for i in range(10)}),
    "mixed": _relabelled(nx.grid_2d_graph(3, 4), {(i, j): (i if j == 0 else f"{i}-{j}") for i in range(3) for j in range(4)}),
    "shuffled": _shuffled(nx.connected_watts_strogatz_graph(18, 4, 0.4, seed=2), 7),
    "loops": nx.Graph(list(nx.cycle_graph(7).edges) + [(0, 0), (3, 3)]),
}
for seed in range(12):
    GRAPHS[f"ws{seed}"] = nx.connected_watts_strogatz_graph(22, 4, 0.3, seed=seed)
    gnp = nx.gnp_random_graph(16, 0.3, seed=seed)
    if nx.is_connected(gnp):
        GRAPHS[f"gnp{seed}"] = gnp


@pytest.mark.parametrize("name", GRAPHS)
def test_every_cut_in_order(name):
    assert same(GRAPHS[name])
    assert same(GRAPHS[name], flow_func=edmonds_karp)


@pytest.mark.parametrize("name", ["ladder", "cycle", "several", "str", "ws3", "loops"])
@pytest.mark.parametrize("shift", [-2, -1, 1, 2])
def test_k_given(name, shift):
    """A k other than the connectivity changes X and the flows that count."""
    G = GRAPHS[name]
    assert same(G, k=nx.node_connectivity(G) + shift)


@pytest.mark.parametrize("G, k", [
    (nx.complete_graph(6), None),               # density 1: nothing
    (nx.Graph([(0, 1), (2, 3)]), None),         # disconnected
    (nx.path_graph(4), 100),                    # X is every node: the null graph's error
    (nx.path_graph(4), 0),
    (nx.Graph([(0, 0)]), 0),                    # one node: X = set() separates
])
def test_shortcuts_and_errors(G, k):
    assert same(G, k=k)


@pytest.mark.parametrize("G, kwargs", [
    (nx.cycle_graph(6, create_using=nx.DiGraph), {}),
    (nx.MultiGraph(nx.cycle_graph(6)), {}),
    (nx.cycle_graph(6), {"flow_func": shortest_augmenting_path}),
    (nx.cycle_graph(6), {"k": 2.0}),
])
def test_left_to_networkx(G, kwargs):
    assert not same(G, **kwargs)


def test_lazy_first_cut():
    """A cycle of 60 has 1710 cuts: the first ten come without the rest."""
    G = nx.cycle_graph(60)
    head = list(itertools.islice(nx.all_node_cuts(G, backend="fennel"), 10))
    assert head == list(itertools.islice(nx.all_node_cuts(G), 10))


@pytest.mark.parametrize("when", [0, 1, 3])
def test_graph_changed_while_running(when):
    """Changed before the first step, NetworkX's own generator runs; later, G is read where NetworkX reads it."""
    def run(backend):
        G = nx.circular_ladder_graph(6)
        cuts = nx.all_node_cuts(G, backend=backend)
        out = [list(c) for c in itertools.islice(cuts, when)]
        G.add_edge(0, 3)
        G.remove_edge(1, 2)
        return out + [list(c) for c in cuts]

    assert run("fennel") == run("networkx")


_SEEDED = """
import networkx as nx
from fennel.backend import calls
G = nx.relabel_nodes(nx.connected_watts_strogatz_graph(24, 4, 0.3, seed=11), lambda i: f"node-{i}")
G.add_edges_from([("x", "node-1"), ("x", "node-5"), ("y", "node-9"), ("y", "node-14")])
expected = [list(c) for c in nx.all_node_cuts(G)]
got = [list(c) for c in nx.all_node_cuts(G, backend="fennel")]
print(got == expected and calls["ran", "all_node_cuts"] == 1, expected)
"""

# Int nodes that share their slot in small set tables: each cut's order is
# its insertion order, the order of S NetworkX's insertions give S (from the
# names' hashes, so from the seed) on the way.
_COLLIDING = """
import networkx as nx
graphs = [nx.circulant_graph(n, [1, s]) for n in (10, 11, 12, 13) for s in (2, 3)]
graphs += [nx.random_regular_graph(4, 14, seed=seed) for seed in range(10)]
same = []
for G in graphs:
    if nx.is_connected(G):
        G = nx.relabel_nodes(G, {v: 64 * i for i, v in enumerate(G)})
        same.append([list(c) for c in nx.all_node_cuts(G, backend="fennel")] == [list(c) for c in nx.all_node_cuts(G)])
print(all(same), len(same))
"""


def _under_seeds(script):
    """``script``'s first word and the rest of its output under three hash seeds."""
    outputs = []
    for seed in ("1", "2", "3"):
        out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True,
                             env={**os.environ, "PYTHONHASHSEED": seed}).stdout.split(" ", 1)
        outputs.append((out[0], out[1]))
    return outputs


def test_orders_follow_the_hash_seed():
    outputs = _under_seeds(_SEEDED)
    assert all(agreed == "True" for agreed, _ in outputs)
    assert len({answer for _, answer in outputs}) > 1


def test_colliding_nodes_under_hash_seeds():
    assert all(agreed == "True" for agreed, _ in _under_seeds(_COLLIDING))
