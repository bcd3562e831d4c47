"""Bridges, has_bridges, chain_decomposition and local_bridges against NetworkX:
chains and bridges compared in order with their objects' types, for every
root (absent, in a large or a small component, equal to a node but another
object, missing, unhashable), spans with their types, generators as
generators, exceptions alike."""

import inspect
import os
import random
import subprocess
import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run, outcome  # noqa: F401 - the fixture applies here too
from test_biconnected import GRAPHS
from zoo import add_weights

from fennel.backend import calls
from fennel.backend.interface import refusal

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

FUNCTIONS = ["bridges", "has_bridges", "chain_decomposition"]
UNDIRECTED = [name for name, G in GRAPHS.items() if not G.is_directed()]
SIMPLE = [name for name in UNDIRECTED if not GRAPHS[name].is_multigraph()]
MULTI = [name for name in UNDIRECTED if GRAPHS[name].is_multigraph()]
ROOTED = [name for name in SIMPLE if len(GRAPHS[name])]


def _smallest_component_node(G):
    return min(nx.connected_components(G), key=len).pop()


def _roots(G):
    """Roots by kind: the first node (the largest component, usually), a node
    of the smallest component, the last node."""
    nodes = list(G)
    return {"first": nodes[0], "small": _smallest_component_node(G), "last": nodes[-1]}


def _ran(function, G, **kwargs):
    before = calls["ran", function]
    got = outcome(function, G, backend="fennel", **kwargs)
    assert calls["ran", function] == before + 1
    return got


@pytest.mark.parametrize("name", SIMPLE)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_same_as_networkx(function, name):
    G = GRAPHS[name]
    assert _ran(function, G) == outcome(function, G, backend="networkx")


@pytest.mark.parametrize("root", ["first", "small", "last"])
@pytest.mark.parametrize("name", ROOTED)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_root(function, name, root):
    G = GRAPHS[name]
    root = _roots(G)[root]
    assert _ran(function, G, root=root) == outcome(function, G, backend="networkx", root=root)


@pytest.mark.parametrize("name", ["blocks", "sparse_forest", "disconnected", "unordered_ints"])
@pytest.mark.parametrize("function", FUNCTIONS)
def test_root_equal_to_a_node_but_another_object(function, name):
    """NetworkX's search starts from the root as given: its object appears where NetworkX hands it out."""
    G = GRAPHS[name]
    for node in [_smallest_component_node(G), next(iter(G))]:
        root = float(node)
        got = _ran(function, G, root=root)
        assert got == outcome(function, G, backend="networkx", root=root)


def _small_component(seed, bits):
    """A 40-cycle beside a small component of scattered int labels (a tree and
    one more edge), inserted in a shuffled order: the component's set iterates
    neither in G's order nor in the order its search built it."""
    rng = random.Random(seed)
    k = rng.randint(6, 14)
    labels = [rng.randrange(2**bits) for _ in range(k)]
    tree = nx.random_labeled_tree(k, seed=seed) if hasattr(nx, "random_labeled_tree") else nx.random_tree(k, seed=seed)
    edges = [(labels[u], labels[v]) for u, v in tree.edges()] + [(labels[0], labels[k - 1])]
    rng.shuffle(edges)
    G = nx.cycle_graph(40)
    G.add_edges_from(edges)
    return G, labels


SMALL_COMPONENTS = {f"seed{seed}_bits{bits}": _small_component(seed, bits) for seed in range(6) for bits in (40, 62)}


@pytest.mark.parametrize("case", SMALL_COMPONENTS)
@pytest.mark.parametrize("function", FUNCTIONS)
def test_root_in_small_component(function, case):
    """The subgraph NetworkX lists bridges from iterates its own set of the component."""
    G, labels = SMALL_COMPONENTS[case]
    for root in labels[:3] + [float(v) for v in labels[:3] if float(v) == v]:
        assert _ran(function, G, root=root) == outcome(function, G, backend="networkx", root=root)


@pytest.mark.parametrize("root", [-1, "absent", ["unhashable"]], ids=["missing", "missing_str", "unhashable"])
@pytest.mark.parametrize("function", FUNCTIONS)
def test_missing_root_raises_on_first_step(function, root):
    G = GRAPHS["blocks"]
    expected = outcome(function, G, backend="networkx", root=root)
    assert expected[0][-2] is nx.NodeNotFound
    assert outcome(function, G, backend="fennel", root=root) == expected


@pytest.mark.parametrize("name", MULTI)
@pytest.mark.parametrize("function", ["bridges", "has_bridges"])
def test_multigraphs(function, name):
    """Parallel edges are never bridges; NetworkX lists the rest in G's edge order."""
    G = GRAPHS[name]
    assert _ran(function, G) == outcome(function, G, backend="networkx")


@pytest.mark.parametrize("function", FUNCTIONS)
def test_refused_before_dispatch_as_networkx(function):
    for name in ["digraph", "multidigraph"] + (["multigraph"] if function == "chain_decomposition" else []):
        G = GRAPHS[name]
        expected = outcome(function, G, backend="networkx")
        assert nx.NetworkXNotImplemented in expected[0]
        assert outcome(function, G, backend="fennel") == expected


@pytest.mark.parametrize("root", ["first", "small", "last"])
@pytest.mark.parametrize("name", MULTI)
@pytest.mark.parametrize("function", ["bridges", "has_bridges"])
def test_multigraph_roots(function, name, root):
    """NetworkX searches root's component in nx.Graph(G), whose rows list each
    node's earlier neighbours first."""
    G = GRAPHS[name]
    root = _roots(G)[root]
    assert _ran(function, G, root=root) == outcome(function, G, backend="networkx", root=root)


@pytest.mark.parametrize("case", SMALL_COMPONENTS)
def test_multigraph_root_in_small_component(case):
    G, labels = SMALL_COMPONENTS[case]
    M = nx.MultiGraph()
    M.add_nodes_from(G)
    rng = random.Random(case)
    for u, v in rng.sample(list(G.edges()), G.number_of_edges()):  # rows unlike nx.Graph(M)'s
        for _ in range(rng.choice([1, 1, 2])):
            M.add_edge(*rng.sample([u, v], 2))
    for root in labels[:3]:
        assert _ran("bridges", M, root=root) == outcome("bridges", M, backend="networkx", root=root)


@pytest.mark.parametrize("function", ["bridges", "has_bridges"])
def test_roots_in_subgraph_views_left_to_networkx(function):
    view = GRAPHS["blocks"].subgraph(range(30))
    assert "subgraph view" in refusal(function, (view,), {"root": 0})
    assert refusal(function, (view,), {}) is None
    with nx.config(backend_priority=["fennel"]):
        assert outcome(function, view, root=0) == outcome(function, view, backend="networkx", root=0)


@pytest.mark.parametrize("function", FUNCTIONS)
def test_generators_stay_generators(function):
    G = GRAPHS["blocks"]
    assert inspect.isgenerator(getattr(nx, function)(G, backend="fennel")) == inspect.isgenerator(
        getattr(nx, function)(G, backend="networkx"))


@pytest.mark.parametrize("function", ["bridges", "chain_decomposition"])
def test_graph_changed_before_first_step(function):
    def run(backend):
        G = GRAPHS["blocks"].copy()
        gen = getattr(nx, function)(G, backend=backend)
        G.add_edges_from([(0, 50), (50, 60), (3, 3), (60, 7)])
        return list(gen)

    assert run("fennel") == run("networkx")


# NetworkX finds each span with a search of its own, one per edge: on the
# graphs of thousands of nodes that alone takes minutes, so spans are compared
# on the others (which include the blocks' every node type and order).
SPAN_GRAPHS = [name for name in SIMPLE if len(GRAPHS[name]) <= 1000]


@pytest.mark.parametrize(
    ("name", "with_span"),
    [pytest.param(name, span, id=f"{name}-{key}") for key, span in [("span", True), ("no_span", False), ("truthy_one", 1)]
     for name in (SPAN_GRAPHS if span is True else SIMPLE)])
def test_local_bridges(name, with_span):
    """Spans are ints (NetworkX's Dijkstra over unit weights) or float('inf'); a
    with_span other than True itself lists pairs, as NetworkX's `is not True`."""
    G = GRAPHS[name]
    assert _ran("local_bridges", G, with_span=with_span) == outcome(
        "local_bridges", G, backend="networkx", with_span=with_span)


def test_local_bridges_weights():
    G = add_weights(GRAPHS["blocks"], "float")
    assert _ran("local_bridges", G, with_span=False, weight="weight") == outcome(
        "local_bridges", G, backend="networkx", with_span=False, weight="weight")
    assert "weights" in refusal("local_bridges", (G,), {"weight": "weight"})
    with nx.config(backend_priority=["fennel"]):
        assert outcome("local_bridges", G, weight="weight") == outcome(
            "local_bridges", G, backend="networkx", weight="weight")


def test_local_bridges_span_reads_the_none_key():
    """weight=None reads data.get(None, 1): an edge keyed None weighs what it holds."""
    G = nx.cycle_graph(6)
    G[2][3][None] = 5
    assert outcome("local_bridges", G, backend="fennel")[0][:2] == ("raised at call", NotImplementedError)
    with nx.config(backend_priority=["fennel"]):
        assert outcome("local_bridges", G) == outcome("local_bridges", G, backend="networkx")
    assert (0, 1, 9) in list(nx.local_bridges(G))
    assert _ran("local_bridges", G, with_span=False) == outcome("local_bridges", G, backend="networkx",
                                                                with_span=False)


def test_local_bridges_refused_before_dispatch_as_networkx():
    for name in ["digraph", "multigraph"]:
        expected = outcome("local_bridges", GRAPHS[name], backend="networkx")
        assert nx.NetworkXNotImplemented in expected[0]
        assert outcome("local_bridges", GRAPHS[name], backend="fennel") == expected


def test_local_bridges_generator_and_changes_before_first_step():
    def run(backend):
        G = GRAPHS["blocks"].copy()
        gen = nx.local_bridges(G, backend=backend)
        G.add_edges_from([(0, 50), (50, 60), (60, 7), (3, 3)])
        return inspect.isgenerator(gen), list(gen)

    assert run("fennel") == run("networkx")


def _remove_first_end(G, item):
    G.remove_node(item[0])


CHANGES = {
    "add_far_edge": lambda G, item: G.add_edge(-1, -2),  # two new nodes: G._adj changes size
    "add_inner_edge": lambda G, item: G.add_edge(item[0], -1),  # the row being read grows
    "remove_far_edge": lambda G, item: G.remove_edge(*list(G.edges)[-1]),  # same sizes: read on
    "remove_first_end": _remove_first_end,
    "new_weight": lambda G, item: G.add_edge(*list(G.edges)[0], weight=3),
}


def _fresh_keys(G):
    """G relabelled past the small ints, every edge end a new int object: rows keyed by objects of their own."""
    H = nx.Graph()
    H.add_nodes_from(v + 1000 for v in G)
    H.add_edges_from((int(str(u + 1000)), int(str(v + 1000))) for u, v in G.edges)
    return H


@pytest.mark.parametrize("fresh", [False, True], ids=["nodes", "fresh_keys"])
@pytest.mark.parametrize("after", [1, 3])
@pytest.mark.parametrize("change", CHANGES)
@pytest.mark.parametrize("call", [("bridges", {}), ("bridges", {"root": "first"}), ("local_bridges", {}),
                                  ("local_bridges", {"with_span": False}), ("multi_bridges", {})],
                         ids=["bridges", "rooted", "local", "local_no_span", "multi"])
def test_graph_changed_between_items(call, change, after, fresh):
    """NetworkX's loops read G.edges (and a multigraph's parallel edges) while they
    yield: a change between two items is read on from there, as they read it."""
    name, kwargs = call[0], dict(call[1])

    def run(backend):
        G = _fresh_keys(GRAPHS["blocks"]) if fresh else GRAPHS["blocks"].copy()
        if name == "multi_bridges":
            G = nx.MultiGraph(G)
            G.add_edges_from(list(G.edges)[:3:2])
        if "root" in kwargs:
            kwargs["root"] = next(iter(G))
        gen = getattr(nx, name.replace("multi_", ""))(G, backend=backend, **kwargs)
        out = []
        try:
            for i, item in enumerate(gen):
                out.append(item)
                if i + 1 == after:
                    CHANGES[change](G, item)
        except Exception as e:  # noqa: BLE001 - NetworkX's own error is part of the answer
            out.append((type(e), str(e)))
        return out

    got = run("fennel")
    assert got == run("networkx")
    assert len(got) > after


def test_spans_do_not_depend_on_the_pool_size():
    """Each span lands at its bridge's index, whichever worker measures it."""
    code = ("import networkx as nx; G = nx.gnm_random_graph(600, 1500, seed=5); "
            "print(list(nx.local_bridges(G, backend='fennel')))")
    runs = [subprocess.run([sys.executable, "-W", "ignore", "-c", code], env={**os.environ, "FENNEL_NUM_THREADS": t},
                           capture_output=True, text=True, check=True).stdout for t in ("1", "4")]
    expected = list(nx.local_bridges(nx.gnm_random_graph(600, 1500, seed=5)))
    assert len(expected) > 1000
    assert runs == [f"{expected}\n"] * 2


def _random_graph(seed):
    """Up to 25 nodes of mixed label types inserted in a shuffled order, edges
    given in either direction, self-loops; a fifth are multigraphs."""
    rng = random.Random(seed)
    n = rng.randint(1, 25)
    labels = [rng.choice([i, f"s{i}", (i, "t"), 2**40 + 97 * i]) for i in range(n)]
    G = nx.MultiGraph() if rng.random() < 0.2 else nx.Graph()
    G.add_nodes_from(rng.sample(labels, n))
    p = rng.choice([0.05, 0.1, 0.2, 0.4])
    for i in range(n):
        for j in range(i, n):
            if rng.random() < (p if i != j else 0.1):
                for _ in range(rng.choice([1, 1, 2]) if G.is_multigraph() else 1):
                    G.add_edge(*rng.sample([labels[i], labels[j]], 2))
    return G, rng.choice(labels)


@pytest.mark.parametrize("chunk", range(8))
def test_random_small_graphs(chunk):
    for seed in range(chunk * 40, chunk * 40 + 40):
        G, root = _random_graph(seed)
        calls = [(f, {}) for f in ("biconnected_components", "biconnected_component_edges", "articulation_points",
                                   "is_biconnected", "bridges", "has_bridges")]
        calls += [(f, {"root": root}) for f in ("bridges", "has_bridges")]
        if not G.is_multigraph():
            calls += [("chain_decomposition", {}), ("local_bridges", {}), ("local_bridges", {"with_span": False}),
                      ("chain_decomposition", {"root": root})]
        for function, kwargs in calls:
            assert outcome(function, G, backend="fennel", **kwargs) == outcome(
                function, G, backend="networkx", **kwargs), (seed, function, kwargs)
