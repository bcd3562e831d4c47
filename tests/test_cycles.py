"""The cycles room against NetworkX: cycles and their nodes in order (the
cycle basis from every root, find_cycle from every orientation, the
simple cycles in the order CPython's sets give them), on graphs with
self-loops, parallel edges and several components."""

import inspect
import random
import sys
from itertools import islice

import networkx as nx
import pytest
from test_backend_traversal import always_run, outcome, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

from fennel import _core
from fennel.backend import RELEASE_REFUSALS, calls
from fennel.backend.cycles import _without_loops
from fennel.backend.native import compact_form

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

SIMPLE_UNDIRECTED = [g for g in ZOO_IDS if not ZOO[g].is_directed() and not ZOO[g].is_multigraph()]


@pytest.mark.parametrize("gid", SIMPLE_UNDIRECTED)
def test_zoo(gid):
    G = ZOO[gid]
    assert same_as_networkx("cycle_basis", G)
    for root in list(G)[:: max(1, len(G) // 5)]:
        assert same_as_networkx("cycle_basis", G, root)


@pytest.mark.parametrize("seed", range(20))
def test_dense_components_with_loops(seed):
    """Many non-tree edges per node: each cycle ends at the first node its closing neighbour has seen."""
    rng = random.Random(seed)
    G = nx.Graph()
    G.add_nodes_from(rng.sample(range(40), 40))
    for lo in (0, 20):
        G.add_edges_from(nx.gnp_random_graph(20, rng.uniform(0.1, 0.6), seed=seed + lo).edges if lo == 0 else
                         ((u + 20, v + 20) for u, v in nx.gnp_random_graph(20, 0.3, seed=seed).edges))
    G.add_edges_from((v, v) for v in rng.sample(range(40), 3))
    assert same_as_networkx("cycle_basis", G)
    assert same_as_networkx("cycle_basis", G, rng.randrange(40))


@pytest.mark.parametrize("root", ["equal_float", "missing", "unhashable"])
def test_roots_left_to_networkx(root):
    """NetworkX's cycles hold the root object given: only G's own node objects are served."""
    G = nx.cycle_graph(5)
    given = {"equal_float": 2.0, "missing": 9, "unhashable": [1]}[root]
    with pytest.raises(NotImplementedError):
        nx.cycle_basis(G, given, backend="fennel")


ORIENTATIONS = [None, "original", "reverse", "ignore"]


def find_cycle_sources(G):
    nodes = list(G)
    return [None] + nodes[len(nodes) // 2 : len(nodes) // 2 + 1] + ([nodes[::3] + ["absent"]] if nodes else [])


@pytest.mark.parametrize("orientation", ORIENTATIONS, ids=str)
@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_multigraph()])
def test_find_cycle_zoo(gid, orientation):
    G = ZOO[gid]
    for source in find_cycle_sources(G):
        assert same_as_networkx("find_cycle", G, source, orientation)


def random_dag_with_back_edges(seed, backs):
    rng = random.Random(seed)
    G = nx.DiGraph()
    G.add_nodes_from(rng.sample(range(30), 30))
    G.add_edges_from((u, v) for u in range(30) for v in range(u + 1, 30) if rng.random() < 0.1)
    G.add_edges_from((rng.randrange(15, 30), rng.randrange(15)) for _ in range(backs))
    return G


@pytest.mark.parametrize("orientation", ORIENTATIONS, ids=str)
@pytest.mark.parametrize("seed", range(12))
def test_find_cycle_backtracks(seed, orientation):
    """Walks that backtrack past explored nodes before a cycle closes, or never close one."""
    G = random_dag_with_back_edges(seed, seed % 3)
    assert same_as_networkx("find_cycle", G, None, orientation)
    assert same_as_networkx("find_cycle", G.to_undirected(), None, orientation)


@pytest.mark.parametrize("gid", SIMPLE_UNDIRECTED)
def test_girth_zoo(gid):
    assert same_as_networkx("girth", ZOO[gid])


@pytest.mark.parametrize("name", ["petersen_graph", "heawood_graph", "tutte_graph", "hypercube_graph"])
def test_girth_named(name):
    G = getattr(nx, name)(4) if name == "hypercube_graph" else getattr(nx, name)()
    assert same_as_networkx("girth", G)


SIMPLE_CYCLE_GRAPHS = [g for g in ZOO_IDS if len(ZOO[g]) <= 12 or ZOO[g].number_of_edges() <= 2 * len(ZOO[g])]


@pytest.mark.parametrize("bound", [None, 0, 1, 2, 3, 5], ids=str)
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_simple_cycles_zoo(gid, bound):
    """All cycles where they are few; otherwise the first thousand, whose order follows the set orders."""
    G = ZOO[gid]
    if gid in SIMPLE_CYCLE_GRAPHS or bound in (0, 1, 2, 3):
        assert same_as_networkx("simple_cycles", G, bound)
    nx_first = list(islice(nx.simple_cycles(G, bound, backend="networkx"), 1000))
    assert list(islice(nx.simple_cycles(G, bound, backend="fennel"), 1000)) == nx_first


def sparse_hub_digraph(seed, kind):
    """A hub whose row is much longer than the small strongly connected part around it, and an acyclic rest:
    each search starts at the first node of a component set in CPython's order, and the subgraph views
    filter long rows by the component set."""
    rng = random.Random(seed)
    names = {"int": lambda i: i, "str": lambda i: f"n{i}", "tuple": lambda i: (i % 7, str(i))}[kind]
    G = nx.DiGraph()
    G.add_nodes_from(names(i) for i in rng.sample(range(80), 80))
    for i in range(1, 80):
        G.add_edge(names(0), names(i))
    for _ in range(30):  # a small strongly connected part around the hub
        G.add_edge(names(rng.randrange(1, 12)), names(rng.randrange(0, 12)))
    for _ in range(30):
        u, v = sorted(rng.sample(range(12, 80), 2))
        G.add_edge(names(v), names(u))
    return G


@pytest.mark.parametrize("bound", [None, 2, 4], ids=str)
@pytest.mark.parametrize("kind", ["int", "str", "tuple"])
@pytest.mark.parametrize("seed", range(3))
def test_simple_cycles_set_orders(seed, kind, bound):
    G = sparse_hub_digraph(seed, kind)
    assert same_as_networkx("simple_cycles", G, bound)
    assert same_as_networkx("simple_cycles", G.to_undirected(), bound)


@pytest.mark.parametrize("bound", [None, 2, 3], ids=str)
def test_simple_cycles_parallel_edges_and_loops(bound):
    G = nx.MultiGraph([(0, 1), (1, 0), (1, 2), (2, 0), (2, 2), (3, 4), (3, 4), (3, 4)])
    assert same_as_networkx("simple_cycles", G, bound)
    assert same_as_networkx("simple_cycles", nx.MultiDiGraph(G), bound)


def test_simple_cycles_stays_lazy():
    """The first cycle of a complete digraph, which holds about 10**22 cycles, comes at once."""
    G = nx.complete_graph(24, create_using=nx.DiGraph)
    with nx.config(backend_priority=["fennel"]):
        found = nx.simple_cycles(G)
        assert inspect.isgenerator(found)
        assert next(found) == next(nx.simple_cycles(G, backend="networkx"))


@pytest.mark.parametrize("bound", [-1, 2.5], ids=str)
def test_simple_cycles_bounds_networkx_answers(bound):
    """A negative bound raises on the first step; a float bound is left to NetworkX."""
    G = nx.cycle_graph(4, create_using=nx.DiGraph)
    assert same_as_networkx("simple_cycles", G, bound) is (bound == -1)


@pytest.mark.parametrize("bound", [None, 1, 2, 3, 5], ids=str)
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_chordless_cycles_zoo(gid, bound):
    G = ZOO[gid]
    if gid in SIMPLE_CYCLE_GRAPHS or bound in (1, 2, 3):
        assert same_as_networkx("chordless_cycles", G, bound)
    if "chordless_cycles" in RELEASE_REFUSALS:
        return  # this release builds its working graph another way: NetworkX answers
    nx_first = list(islice(nx.chordless_cycles(G, bound, backend="networkx"), 1000))
    assert list(islice(nx.chordless_cycles(G, bound, backend="fennel"), 1000)) == nx_first


@pytest.mark.parametrize("bound", [None, 4], ids=str)
@pytest.mark.parametrize("kind", ["int", "str", "tuple"])
@pytest.mark.parametrize("seed", range(6))
def test_chordless_cycles_set_orders(seed, kind, bound):
    G = sparse_hub_digraph(seed, kind)
    assert same_as_networkx("chordless_cycles", G, bound)
    assert same_as_networkx("chordless_cycles", G.to_undirected(), bound)


@pytest.mark.parametrize("bound", [None, 2, 3], ids=str)
def test_chordless_cycles_parallel_edges_and_loops(bound):
    G = nx.MultiGraph([(0, 1), (1, 0), (1, 2), (2, 3), (3, 0), (2, 2), (3, 4), (3, 4), (3, 4), (4, 5), (5, 3)])
    assert same_as_networkx("chordless_cycles", G, bound)
    assert same_as_networkx("chordless_cycles", nx.MultiDiGraph(G), bound)
    assert same_as_networkx("chordless_cycles", nx.MultiDiGraph(G.edges), bound)


def same_recursive_cycles(make):
    """recursive_simple_cycles on two graphs made alike: the same answer, and the caller's graph changed
    alike (NetworkX removes the self-loops it reports); whether fennel ran."""
    theirs, ours = make(), make()
    before = calls["ran", "recursive_simple_cycles"]
    expected = outcome("recursive_simple_cycles", theirs, backend="networkx")
    got = outcome("recursive_simple_cycles", ours, backend="fennel")
    if got[0][:2] == ("raised at call", NotImplementedError) and expected[0][1] is not NotImplementedError:
        ours = make()
        got = outcome("recursive_simple_cycles", ours)  # NetworkX runs for a call that changes its input
    assert got == expected
    assert list(ours.edges) == list(theirs.edges) and ours.number_of_edges() == theirs.number_of_edges()
    served = calls["ran", "recursive_simple_cycles"] > before
    if served:
        # A second call reads the changed graph, not a conversion of the first.
        again = outcome("recursive_simple_cycles", ours, backend="fennel")
        assert again == outcome("recursive_simple_cycles", theirs, backend="networkx")
    return served


RECURSIVE_GRAPHS = [g for g in SIMPLE_CYCLE_GRAPHS if ZOO[g].is_directed() or len(ZOO[g]) <= 12]


@pytest.mark.parametrize("gid", RECURSIVE_GRAPHS)
def test_recursive_simple_cycles_zoo(gid):
    G = ZOO[gid]
    assert same_recursive_cycles(G.copy) is (G.is_directed() and not G.is_multigraph())


@pytest.mark.parametrize("kind", ["int", "str", "tuple", "colliding"])
@pytest.mark.parametrize("seed", range(8))
def test_recursive_simple_cycles_random(seed, kind):
    """Dense digraphs with self-loops, nodes inserted shuffled: the start order, rows filtered to each
    component and the blocking lists decide the order of the cycles."""
    rng = random.Random(seed)
    name = {"int": int, "str": str, "tuple": lambda i: (i % 3, i), "colliding": lambda i: 64 * i - 2}[kind]
    nodes = [name(i) for i in rng.sample(range(11), 11)]
    edges = [(u, v) for u in nodes for v in nodes if rng.random() < 0.3]
    rng.shuffle(edges)
    assert same_recursive_cycles(lambda: nx.DiGraph(edges))


@pytest.mark.parametrize("loops", [1, 2])
def test_recursive_simple_cycles_multigraph_loops(loops):
    """NetworkX removes one self-loop per node: a second loop stays in its search, which fennel leaves to it."""
    edges = [(0, 1), (1, 0), (1, 2), (2, 0), (2, 0)] + [(1, 1)] * loops
    assert same_recursive_cycles(lambda: nx.MultiDiGraph(edges)) is (loops == 1)


@pytest.mark.parametrize("outside, served", [(4, True), (5, False)])
def test_recursive_simple_cycles_multigraph_long_rows(outside, served):
    """A multigraph's component view lists a row in its node set's order once the row holds more than
    twice the component's nodes (parallel edges counted once): those rows are NetworkX's to walk."""
    edges = [(0, k) for k in range(outside + 2, 2, -1)] + [(0, 2), (0, 2), (0, 1), (1, 0), (2, 0), (2, 0)]
    assert same_recursive_cycles(lambda: nx.MultiDiGraph(edges)) is served


def test_recursive_simple_cycles_multigraph_subgraph_view():
    """A subgraph view's components filter the underlying graph, whose row of 0 is long where the view's
    is not: NetworkX answers."""
    edges = [(0, k) for k in range(9, 2, -1)] + [(0, 2), (0, 1), (1, 0), (2, 0)]
    assert not same_as_networkx("recursive_simple_cycles", nx.MultiDiGraph(edges).subgraph([0, 1, 2, 3, 4, 5]))


@pytest.mark.parametrize("length, served", [(250, True), (480, False), (1500, False)])
def test_recursive_simple_cycles_recursion_limit(length, served):
    """A cycle as long as NetworkX's recursion could go is NetworkX's to walk (or to raise RecursionError on)."""
    assert length * 2 + 200 < sys.getrecursionlimit() or not served
    assert same_recursive_cycles(lambda: nx.cycle_graph(length, create_using=nx.DiGraph)) is served


def test_recursive_simple_cycles_on_a_native_graph():
    """A graph in fennel's compact form loses its self-loops as the plain graph does under NetworkX."""
    edges = [(u, v) for u in range(9) for v in range(9) if (u * 7 + v * 3) % 5 == 0]
    native = nx.from_edgelist(edges, create_using=nx.DiGraph, backend="fennel")
    plain = nx.from_edgelist(edges, create_using=nx.DiGraph)
    assert compact_form(native) is not None and nx.number_of_selfloops(plain) > 0
    got = nx.recursive_simple_cycles(native, backend="fennel")
    assert got == nx.recursive_simple_cycles(plain, backend="networkx")
    assert list(native.edges) == list(plain.edges) and nx.number_of_selfloops(native) == 0


def basis_graph(seed, kind, weights):
    """Several components (some under half the graph, some dense), self-loops, isolated nodes, weights of
    one flavour, nodes inserted shuffled."""
    rng = random.Random(seed)
    name = {"int": int, "str": lambda i: f"s{i}", "tuple": lambda i: (i % 3, str(i)),
            "mixed": lambda i: i if i % 2 else str(i), "colliding": lambda i: 64 * i if i % 3 else -1 - i % 2}[kind]
    G, edges, first = nx.Graph(), [], 0
    for _ in range(rng.randrange(1, 5)):
        k = rng.randrange(2, 13)
        part = nx.gnp_random_graph(k, rng.uniform(0.3, 1.0), seed=rng.randrange(10**6))
        edges += [(name(first + u), name(first + v)) for u, v in part.edges]
        edges += [(name(first + i), name(first + i)) for i in range(k) if rng.random() < 0.1]
        first += k
    nodes = list(dict.fromkeys(name(i) for i in range(first + rng.randrange(0, 25))))
    rng.shuffle(nodes)
    rng.shuffle(edges)
    G.add_nodes_from(nodes)
    G.add_edges_from(edges)
    return G if weights is None else add_weights(G, weights, seed)


@pytest.mark.parametrize("weights", [None, "int", "float", "mixed", "missing", "tied", "zero"], ids=str)
@pytest.mark.parametrize("kind", ["int", "str", "tuple", "mixed", "colliding"])
@pytest.mark.parametrize("seed", range(4))
def test_minimum_cycle_basis(seed, kind, weights):
    G = basis_graph(seed, kind, weights)
    assert same_as_networkx("minimum_cycle_basis", G)
    assert same_as_networkx("minimum_cycle_basis", G, "weight")


BASIS_GRAPHS = [g for g in SIMPLE_UNDIRECTED if ZOO[g].number_of_edges() <= 100]


@pytest.mark.parametrize("gid", BASIS_GRAPHS)
def test_minimum_cycle_basis_zoo(gid):
    assert same_as_networkx("minimum_cycle_basis", ZOO[gid])


def lifted_clash():
    return nx.Graph([(0, 1), (1, 2), (2, 0), ((0, 1), 0)])


@pytest.mark.parametrize("case", ["negative", "strings", "hidden", "none_key", "lifted_name", "directed", "multigraph",
                                  "subgraph_view"])
@pytest.mark.skipif("minimum_cycle_basis" in RELEASE_REFUSALS, reason="the installed NetworkX answers every call")
def test_minimum_cycle_basis_left_to_networkx(case):
    """What fennel cannot follow exactly is NetworkX's to answer (or to reject)."""
    G = nx.cycle_graph(5, create_using=nx.MultiGraph if case == "multigraph" else
                       nx.DiGraph if case == "directed" else nx.Graph)
    G.add_edge(0, 2)
    value = {"negative": -1, "strings": "1", "hidden": None}.get(case, 2)
    nx.set_edge_attributes(G, {(0, 1): value} if not G.is_multigraph() else {(0, 1, 0): value}, "weight")
    if case == "none_key":
        G.edges[1, 2][None] = 5
    if case == "lifted_name":
        G = lifted_clash()
    if case == "subgraph_view":
        # The triangle's component holds under half of the underlying graph's nodes, which NetworkX's
        # subgraph of it then lists in the order of the component's set.
        G = nx.empty_graph(10)
        G.add_edges_from([(0, 2), (0, 4), (1, 8), (1, 9), (2, 4), (3, 7), (3, 8), (6, 8), (7, 8)])
        G = G.subgraph([9, 4, 7, 8, 0, 3])
        assert not same_as_networkx("minimum_cycle_basis", G)
    assert not same_as_networkx("minimum_cycle_basis", G, "weight")


@pytest.mark.parametrize("a, b", [(1, 2), (-2, 3), ("x", (1, 2)), (2**63 - 1, -(2**61)), (64, 128)])
def test_pair_hash_is_pythons(a, b):
    """The chords' set order follows hash((u, v)), made in C++ from the nodes' hashes."""
    assert _core._pair_hash(hash(a), hash(b)) == hash((a, b))


def _rows_of(H):
    rows = [list(H._node.items())]
    for u in H:
        rows.append(list(H._adj[u]))
        if H.is_directed():
            rows.append(list(H._pred[u]))
    return rows


@pytest.mark.parametrize("cls", [nx.Graph, nx.DiGraph, nx.MultiGraph, nx.MultiDiGraph])
@pytest.mark.parametrize("labels", ["ints", "strs", "mixed", "bool"])
def test_loop_free_copy_is_networkx_own(cls, labels):
    rnd = random.Random(7)
    names = {"ints": lambda i: 9 - i, "strs": lambda i: f"n{i}", "mixed": lambda i: i if i % 2 else str(i),
             "bool": lambda i: True if i == 1 else i}[labels]
    G = cls()
    G.add_nodes_from(names(i) for i in rnd.sample(range(10), 10))
    for _ in range(30):
        G.add_edge(names(rnd.randrange(10)), names(rnd.randrange(10)))
    directed = G.is_directed()
    edges = ((u, v) for u, Gu in G.adj.items() for v in Gu if v != u)
    want = nx.DiGraph(edges) if directed else nx.Graph(edges)
    got = _without_loops(G, directed)
    assert type(got) is type(want) and _rows_of(got) == _rows_of(want)
    # add_edges_from's one data dict per edge, in both of its rows
    assert all(got._adj[u][v] is (got._pred if directed else got._adj)[v][u] for u in got for v in got._adj[u])
