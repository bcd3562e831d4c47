"""Components, topological generations, core numbers and triangles against
NetworkX: sets in iteration order, generators with their lazy errors,
returned graphs and every number, compared exactly."""

import os
import pickle
import random
import subprocess
import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights, convert

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

UNDIRECTED = ["connected_components", "number_connected_components", "is_connected"]
DIRECTED = [
    "weakly_connected_components", "number_weakly_connected_components", "is_weakly_connected",
    "strongly_connected_components", "number_strongly_connected_components", "is_strongly_connected",
    "condensation", "attracting_components", "number_attracting_components", "is_attracting_component",
    "is_semiconnected",
]
ANY = ["topological_generations", "topological_sort", "is_directed_acyclic_graph", "transitivity",
       "clustering", "average_clustering", "is_bipartite", "is_tree", "is_forest"]
SIMPLE = ["core_number", "k_core", "k_shell", "k_crust", "greedy_color"]


def communities(G, backend):
    """label_propagation_communities (not in nx's namespace) as lists, in iteration order."""
    result = nx.community.label_propagation_communities(G, backend=backend)
    return type(result), [list(c) for c in result]


def check_all(G):
    """Every served function that NetworkX accepts for G runs in fennel and answers as NetworkX does."""
    names = ANY + (DIRECTED if G.is_directed() else UNDIRECTED + ["triangles"])
    if not G.is_multigraph():
        names += SIMPLE
        if not G.is_directed():
            before = calls["ran", "label_propagation_communities"]
            assert communities(G, "fennel") == communities(G, "networkx")
            assert calls["ran", "label_propagation_communities"] == before + 1
    for name in names:
        refusable = G.is_multigraph() and name in ("transitivity", "clustering", "average_clustering")
        assert same_as_networkx(name, G) or refusable, name


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid):
    G = ZOO[gid]
    check_all(G)
    D = G if G.is_directed() else G.to_directed()
    check_all(D)
    if len(G):
        some = list(G)[::3]
        assert same_as_networkx("clustering", G, some) or G.is_multigraph()
        assert same_as_networkx("clustering", G, list(G)[-1]) or G.is_multigraph()
        if not G.is_directed() and not G.is_multigraph():
            assert same_as_networkx("triangles", G, some)
            assert same_as_networkx("triangles", G, list(G)[0])
            assert same_as_networkx("k_corona", G, 1)
            assert same_as_networkx("average_clustering", G, count_zeros=False)


def random_digraph(seed):
    rng = random.Random(seed)
    n = rng.randint(0, 40)
    labels = rng.choice([lambda i: i, lambda i: f"s{i * 7 % 41}", lambda i: (i % 3, str(i))])
    G = nx.DiGraph()
    G.add_nodes_from(labels(i) for i in rng.sample(range(n), n))
    p = rng.random() * 0.15
    for u in range(n):
        for v in range(n):
            if rng.random() < p:
                G.add_edge(labels(u), labels(v))
    return G


@pytest.mark.parametrize("seed", range(60))
def test_random(seed):
    D = random_digraph(seed)
    check_all(D)
    check_all(D.to_undirected())
    # Acyclic graphs reach the end of the generations without an error.
    A = nx.DiGraph((u, v) for u, v in D.edges if str(u) < str(v))
    A.add_nodes_from(D)
    assert same_as_networkx("topological_generations", A)
    assert same_as_networkx("is_directed_acyclic_graph", A)


HASH_SEEDS = """
import random, sys, networkx as nx, warnings
warnings.simplefilter("ignore")
from test_structure import random_digraph
out = []
for seed in range(40):
    D = random_digraph(seed)
    for name in ("strongly_connected_components", "weakly_connected_components", "topological_generations"):
        for backend in ("networkx", "fennel"):
            out.append(repr([list(c) for c in getattr(nx, name)(D if name[0] != "t" else nx.DiGraph(
                (u, v) for u, v in D.edges if str(u) < str(v)), backend=backend)]))
    U = D.to_undirected()
    for backend in ("networkx", "fennel"):
        out.append(repr([list(c) for c in nx.connected_components(U, backend=backend)]))
print(all(out[i] == out[i + 1] for i in range(0, len(out), 2)), len(out))
"""


@pytest.mark.parametrize("hash_seed", ["0", "4242"])
def test_set_order_under_other_hash_seeds(hash_seed):
    env = dict(os.environ, PYTHONHASHSEED=hash_seed, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", HASH_SEEDS], env=env, capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["True", "320"]


def _connected_on(labels, seed, directed):
    """A strongly connected graph on the int labels (a path both ways plus chords), inserted shuffled."""
    rng = random.Random(seed)
    order = list(labels)
    rng.shuffle(order)
    G = nx.DiGraph() if directed else nx.Graph()
    G.add_nodes_from(order)
    G.add_edges_from(zip(order, order[1:]))
    G.add_edges_from(zip(order[1:], order))
    G.add_edges_from(rng.sample(order, 2) for _ in range(len(order)))
    return G


@pytest.mark.parametrize(
    "labels",
    [
        range(6000),  # every value below the finished table's mask: added by value
        random.Random(1).sample(range(18000), 4500),  # past the finished table's 8,192 slots: colliding values
        [v * 8192 for v in range(5000)],
        range(-3000, 3000),
        [2**40 + v for v in range(5000)],
    ],
    ids=["dense", "past-mask", "spread", "negative", "large"],
)
@pytest.mark.parametrize("directed", [False, True])
def test_large_int_component_sets_iterate_as_networkx(labels, directed):
    G = _connected_on(labels, 5, directed)
    names = ("strongly_connected_components", "weakly_connected_components") if directed else ("connected_components",)
    for name in names:
        got = [list(c) for c in getattr(nx, name)(G, backend="fennel")]
        assert got == [list(c) for c in getattr(nx, name)(G, backend="networkx")]
    source = next(iter(G))
    for name in ("descendants", "ancestors") if directed else ("node_connected_component",):
        got = getattr(nx, name)(G, source, backend="fennel")
        assert list(got) == list(getattr(nx, name)(G, source, backend="networkx"))


@pytest.mark.parametrize(
    "name, G, args",
    [
        ("is_connected", nx.Graph(), ()),
        ("is_weakly_connected", nx.DiGraph(), ()),
        ("is_strongly_connected", nx.DiGraph(), ()),
        ("topological_generations", nx.path_graph(3), ()),
        ("topological_sort", nx.DiGraph([(0, 1), (1, 0), (2, 0)]), ()),
        ("core_number", nx.Graph([(0, 0), (0, 1)]), ()),
        ("k_core", nx.Graph(), ()),
        ("k_core", nx.path_graph(5), (2,)),
        ("average_clustering", nx.Graph(), ()),
        ("clustering", nx.path_graph(4), ([0, "missing", 2, 0],)),
        ("is_tree", nx.Graph(), ()),
        ("is_forest", nx.DiGraph(), ()),
        ("is_semiconnected", nx.DiGraph(), ()),
        ("condensation", nx.DiGraph(), ()),
        ("greedy_color", nx.Graph(), ()),
        ("is_forest", nx.MultiGraph([(0, 1), (0, 1)]), ()),
        ("is_tree", nx.MultiDiGraph([(0, 1), (1, 2)]), ()),
    ],
)
def test_networkx_errors_and_edges(name, G, args):
    assert same_as_networkx(name, G, *args)


def test_condensation_graph():
    G = random_digraph(5)
    C, expected = nx.condensation(G, backend="fennel"), nx.condensation(G, backend="networkx")
    assert list(C.nodes(data=True)) == list(expected.nodes(data=True))
    assert list(C.edges) == list(expected.edges) and list(C.pred.items()) == list(expected.pred.items())
    assert C.graph == expected.graph and list(C.graph["mapping"]) == list(expected.graph["mapping"])


def ordered(edges, n, cls=nx.DiGraph):
    G = cls()
    G.add_nodes_from(range(n))
    G.add_edges_from(edges)
    return convert(G)


def test_core_methods_contract():
    g = ordered([(0, 2), (1, 2), (2, 3)], 4)
    assert g.generations() == ([[0, 1], [2], [3]], False)
    assert g.indegrees_after([0]) == [0, 0, 1, 1]
    with pytest.raises(IndexError, match="^node index out of range$"):
        g.indegrees_after([4])
    with pytest.raises(ValueError, match="twice"):
        g.indegrees_after([0, 0])
    with pytest.raises(IndexError, match="^node index out of range$"):
        g.triangle_counts([4])
    assert ordered([(0, 1), (1, 2), (2, 1), (3, 3)], 4).generations() == ([[0]], True)
    cycle = convert(nx.DiGraph([(0, 1), (1, 2), (2, 0)]))
    assert cycle.strongly_connected() == [[0, 1, 2]]
    assert convert(nx.DiGraph([(0, 1), (1, 0), (1, 2)])).strongly_connected() == [[2], [0, 1]]
    assert [convert(G).two_colorable() for G in (nx.cycle_graph(3), nx.cycle_graph(4), nx.Graph([(0, 0)]))] == [
        False, True, False]
    assert ordered([(0, 1), (1, 2), (2, 0), (2, 3)], 4, nx.Graph).core_numbers() == [2, 2, 2, 1]
    assert convert(nx.DiGraph([(0, 1), (1, 0)])).triangle_counts([0, 0]) == [(0, 2, 1)] * 2
    star = ordered([(3, 0), (3, 1), (3, 2)], 4, nx.Graph)
    assert star.largest_first_colors() == ([3, 0, 1, 2], [1, 1, 1, 0])
    path = ordered([(0, 1), (1, 2)], 3, nx.Graph)
    for order in ([0, 1], [0, 1, 1], [0, 1, 2, 0]):  # would loop forever on the missing node
        with pytest.raises(ValueError, match="^order must list every node once$"):
            path.label_propagation(order)
    with pytest.raises(IndexError, match="^node index out of range$"):
        path.label_propagation([0, 1, 3])
    assert convert(nx.empty_graph(3)).label_propagation([2, 0, 1]) == [0, 1, 2]
    assert path.connected(nodes=("a", "b", "c")) == [{"a", "b", "c"}]
    with pytest.raises(ValueError, match="^nodes must hold one object per node$"):
        path.connected(nodes=("a", "b"))
    with pytest.raises(TypeError):
        path.weakly_connected(nodes=["a", "b", "c"])


def test_strongly_connected_shortcut_changes_the_last_component():
    """The two insertion orders differ on some graphs (the installed release picks one, checked above)."""
    rng = random.Random(3)
    graphs = (convert(nx.gnp_random_graph(12, 0.25, seed=rng.randrange(10**6), directed=True)) for _ in range(100))
    assert any(g.strongly_connected() != g.strongly_connected(shortcut=False) for g in graphs)


MUTATIONS = {
    "add_edge": lambda G, x: G.add_edge(5 - x, 5),
    "remove_last": lambda G, x: G.remove_node(4),
    "remove_second": lambda G, x: G.remove_node(2),
    "add_isolated": lambda G, x: G.add_node(9),
}


@pytest.mark.parametrize("name", ["topological_sort", "topological_generations"])
@pytest.mark.parametrize("mutation", list(MUTATIONS))
def test_graph_changed_during_iteration(name, mutation):
    """After a change the generator goes on from NetworkX's own state, with NetworkX's errors."""

    def run(backend):
        G = nx.DiGraph([(1, 2), (2, 3), (3, 4)])
        seen = []
        try:
            for x in getattr(nx, name)(G, backend=backend):
                if not seen:
                    MUTATIONS[mutation](G, x if name == "topological_sort" else x[0])
                seen.append(x)
        except Exception as exc:  # the error is compared
            return seen, type(exc), str(exc)
        return seen, None

    assert run("fennel") == run("networkx")


SPANNING = ["minimum_spanning_edges", "maximum_spanning_edges", "minimum_spanning_tree", "maximum_spanning_tree"]


@pytest.mark.parametrize("flavour", ["int", "float", "mixed", "tied", "missing", "none"])
@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_directed() and not ZOO[g].is_multigraph()])
def test_kruskal(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    for name in SPANNING:
        assert same_as_networkx(name, G) or flavour == "none"
        assert same_as_networkx(name, G, weight=None)
    assert same_as_networkx("minimum_spanning_edges", G, data=False) or flavour == "none"
    if flavour != "none":
        edges = list(nx.maximum_spanning_edges(G, backend="fennel"))
        assert all(d is G[u][v] for u, v, d in edges)  # the graph's own data dicts


def test_graph_converted_for_all_attributes_serves_weighted_calls_later():
    """k_core asks NetworkX to preserve every attribute; the cached graph must not turn weighted calls away."""
    G = add_weights(nx.path_graph(6), "float", seed=1)
    nx.k_core(G, backend="fennel")
    assert same_as_networkx("single_source_dijkstra_path", G, 0)
    assert same_as_networkx("minimum_spanning_tree", G, weight="weight")
    assert same_as_networkx("pagerank", G)
    H = pickle.loads(pickle.dumps(G))
    assert same_as_networkx("betweenness_centrality", H, weight="weight")


def weighted_dag(seed, acyclic=True):
    """A random digraph (acyclic by label order unless asked otherwise) with mixed weights, some missing."""
    rng = random.Random(seed)
    D = random_digraph(seed)
    A = nx.DiGraph()
    A.add_nodes_from(D)
    for u, v in D.edges:
        if not acyclic or str(u) < str(v):
            A.add_edge(u, v, **({} if rng.random() < 0.2 else {"weight": rng.choice([1, 2, -1, 0.5, 3, -2.5, 0, 2.0])}))
    return A


@pytest.mark.parametrize("seed", range(40))
def test_dag_longest_path(seed):
    """First-longest tie-breaks, negative lengths restarting at 0, missing weights, cycles raising at the end."""
    for G in (weighted_dag(seed), weighted_dag(seed, acyclic=False), nx.MultiDiGraph(weighted_dag(seed))):
        for kwargs in ({}, {"weight": None}, {"default_weight": 1.0}):
            assert same_as_networkx("dag_longest_path", G, **kwargs)
            assert same_as_networkx("dag_longest_path_length", G, **kwargs)
    A = weighted_dag(seed)
    order = list(nx.lexicographical_topological_sort(A, key=str))
    for given in (order, tuple(order), order[::-1], order + order[:3]):
        assert same_as_networkx("dag_longest_path", A, topo_order=given)
    # Equal objects of other identities (fresh strs, floats for ints): the path ends at the order's own.
    copies = [float(v) if type(v) is int else (v + " ")[:-1] if type(v) is str else v for v in order]
    assert same_as_networkx("dag_longest_path", A, topo_order=copies)
    got = nx.dag_longest_path(A, topo_order=copies, backend="fennel")
    expected = nx.dag_longest_path(A, topo_order=copies, backend="networkx")
    assert [(id(v), type(v)) for v in got[-1:]] == [(id(v), type(v)) for v in expected[-1:]]


@pytest.mark.parametrize("case", ["default_weight", "foreign_order", "iterator_order", "parallel_edges",
                                  "none_weight"])
def test_dag_longest_path_left_to_networkx(case):
    G = weighted_dag(3)
    kwargs = {}
    if case == "default_weight":
        kwargs["default_weight"] = 2
    elif case == "foreign_order":
        kwargs["topo_order"] = [*nx.topological_sort(G), "elsewhere"]
    elif case == "iterator_order":
        kwargs["topo_order"] = iter(list(nx.topological_sort(G)))
    elif case == "parallel_edges":
        G = nx.MultiDiGraph(G)
        u, v = next(iter(G.edges()))
        G.add_edge(u, v, weight=9)
    else:
        nx.set_edge_attributes(G, {next(iter(G.edges)): None}, "weight")
    with pytest.raises(NotImplementedError):
        nx.dag_longest_path(G, backend="fennel", **kwargs)


@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_directed() and not ZOO[g].is_multigraph()])
def test_onion_layers_and_k_truss(gid):
    """Layers in NetworkX's order of assignment; trusses as NetworkX's copies, rows and data included."""
    G = ZOO[gid]
    H = nx.Graph(G)
    H.remove_edges_from(list(nx.selfloop_edges(H)))
    for graph in (G, H):
        assert same_as_networkx("onion_layers", graph)
        for k in (-3, 2, 3, 4, 5, 2.5, True):
            assert same_as_networkx("k_truss", graph, k)


@pytest.mark.parametrize("seed", range(12))
def test_onion_layers_of_random_graphs(seed):
    """Layers whose degrees fall to or below the core while the layer is peeled, and cores that jump."""
    rng = random.Random(seed)
    G = nx.Graph()
    G.add_nodes_from(rng.sample(range(60), 60))
    G.add_edges_from(nx.gnm_random_graph(60, rng.randrange(30, 400), seed=seed).edges)
    G.add_edges_from(nx.complete_graph(range(60, 60 + rng.randrange(3, 9))).edges)
    assert same_as_networkx("onion_layers", G)
    assert same_as_networkx("k_truss", G, rng.randrange(3, 7))


def cycle_of_cycles(seed):
    """A strongly connected digraph whose period is a chosen k (1 to 4), with chords that keep or break it."""
    rng = random.Random(seed)
    k, laps = rng.randint(1, 4), rng.randint(1, 5)
    nodes = [f"v{i}" for i in rng.sample(range(k * laps), k * laps)]
    G = nx.DiGraph(zip(nodes, nodes[1:] + nodes[:1]))
    for _ in range(rng.randrange(4)):
        u = rng.randrange(len(nodes))
        # a chord u -> u + 1 + k*j keeps every cycle a multiple of k; + 2 may not
        step = 1 + k * rng.randrange(laps) + (rng.random() < 0.3)
        G.add_edge(nodes[u], nodes[(u + step) % len(nodes)])
    return G


@pytest.mark.parametrize("seed", range(30))
def test_is_aperiodic(seed):
    G = cycle_of_cycles(seed)
    for graph in (G, nx.DiGraph(list(G.edges)[1:]), nx.DiGraph(), nx.MultiDiGraph(G)):
        assert same_as_networkx("is_aperiodic", graph)
    # NetworkX 3.7 rejects undirected graphs before dispatching.
    same_as_networkx("is_aperiodic", G.to_undirected())
