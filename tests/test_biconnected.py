"""Biconnected components and articulation points against NetworkX: every
component compared in order, as edge lists and as sets in iteration order,
the points in yield order, generators as generators, exceptions alike."""

import inspect
import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, outcome  # noqa: F401 - the fixture applies here too
from zoo import ZOO, _relabelled, _shuffled

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

FUNCTIONS = ["biconnected_components", "biconnected_component_edges", "articulation_points", "is_biconnected"]


def _blocks(seed):
    """Random blocks (cycles, cliques, single edges) glued at shared nodes: many
    articulation points, some shared by several blocks."""
    rng = random.Random(seed)
    G = nx.Graph()
    G.add_node(0)
    for _ in range(25):
        at = rng.choice(list(G))
        size = rng.choice([2, 3, 4, 5])
        new = list(range(len(G), len(G) + size - 1))
        block = [at, *new]
        if rng.random() < 0.5:
            G.add_edges_from(zip(block, block[1:] + block[:1]))
        else:
            G.add_edges_from((u, v) for i, u in enumerate(block) for v in block[i + 1:])
    return G


def _ring_on(labels, seed):
    """A cycle through the labels in random order, with chords and a pendant path: one large block."""
    rng = random.Random(seed)
    order = list(labels)
    rng.shuffle(order)
    G = nx.Graph()
    nx.add_cycle(G, order)
    G.add_edges_from(rng.sample(order, 2) for _ in range(len(order) // 2))
    nx.add_path(G, [order[0], -1, -2])
    return G


def _graphs():
    cases = dict(ZOO)
    blocks = _blocks(31)
    cases.update({
        "tree": nx.random_labeled_tree(40, seed=32) if hasattr(nx, "random_labeled_tree") else nx.balanced_tree(2, 5),
        "balanced_tree": nx.balanced_tree(3, 3),
        "two_nodes": nx.path_graph(2),
        "triangle": nx.cycle_graph(3),
        "root_self_loop": nx.Graph([(0, 0), (0, 1), (1, 2), (2, 0), (2, 3)]),
        "self_loop_only": nx.Graph([(0, 0)]),
        "blocks": blocks,
        "blocks_shuffled": _shuffled(blocks, 33),
        "blocks_str": _relabelled(blocks, {i: f"b{i}" for i in blocks}),
        "blocks_tuple": _relabelled(blocks, {i: (i % 4, str(i)) for i in blocks}),
        "blocks_mixed": _relabelled(blocks, {i: i if i % 2 else f"m{i}" for i in blocks}),
        "blocks_loops": nx.Graph(list(blocks.edges) + [(v, v) for v in list(blocks)[::3]]),
        "blocks_multi": nx.MultiGraph(list(blocks.edges) * 2 + [(1, 1)]),
        "sparse_forest": nx.gnp_random_graph(80, 0.025, seed=34),
        "sparse_forest_str": _shuffled(_relabelled(nx.gnp_random_graph(80, 0.025, seed=34), lambda i: f"f{i}"), 36),
        "gnm": nx.gnm_random_graph(200, 260, seed=35),
        "barbell_chain": nx.barbell_graph(5, 3),
        # Blocks of thousands of int nodes: below the set's mask, and past it.
        "large_ints": _ring_on(range(6000), 37),
        "large_ints_past_mask": _ring_on(random.Random(38).sample(range(18000), 4500), 39),
    })
    return cases


GRAPHS = _graphs()
UNDIRECTED = [name for name, G in GRAPHS.items() if not G.is_directed()]
DIRECTED = [name for name, G in GRAPHS.items() if G.is_directed()]


@pytest.mark.parametrize("name", UNDIRECTED)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_same_as_networkx(function, name):
    G = GRAPHS[name]
    before = calls["ran", function]
    got = outcome(function, G, backend="fennel")
    assert calls["ran", function] == before + 1
    assert got == outcome(function, G, backend="networkx")


@pytest.mark.parametrize("function", FUNCTIONS)
def test_generators_stay_generators(function):
    G = GRAPHS["blocks"]
    assert inspect.isgenerator(getattr(nx, function)(G, backend="fennel")) == inspect.isgenerator(
        getattr(nx, function)(G, backend="networkx"))


@pytest.mark.parametrize("name", DIRECTED)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_directed_graphs_raise_as_networkx(function, name):
    G = GRAPHS[name]
    expected = outcome(function, G, backend="networkx")
    assert expected[0][1] is nx.NetworkXNotImplemented
    assert outcome(function, G, backend="fennel") == expected


@pytest.mark.parametrize("function", FUNCTIONS[:3])
def test_graph_changed_before_first_step(function):
    """The search reads the graph on its first step, as NetworkX's does."""

    def run(backend):
        G = GRAPHS["blocks"].copy()
        gen = getattr(nx, function)(G, backend=backend)
        G.add_edges_from([(0, 50), (50, 60), (3, 3)])
        G.remove_edge(*next(iter(G.edges(1))))
        return [list(c) if isinstance(c, set) else c for c in gen]

    assert run("fennel") == run("networkx")


def test_is_biconnected_stops_at_second_component():
    """A long tail after two small blocks: fennel answers from the first two, as NetworkX."""
    G = nx.Graph([(0, 1), (1, 2)])
    nx.add_path(G, range(2, 2000))
    assert nx.is_biconnected(G, backend="fennel") is False
    assert nx.is_biconnected(nx.cycle_graph(500), backend="fennel") is True
