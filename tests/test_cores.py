"""core_number, topological_sort and triangles on graphs larger than the zoo's,
at one and two threads, against NetworkX: dicts in key order with int values,
generators item by item with their errors, compared exactly."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import convert

import fennel._core as core

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

LABELS = {"int": lambda i: i, "str": lambda i: f"n{i * 7919 % 100_003}", "tuple": lambda i: (i % 5, str(i))}


@pytest.fixture(params=[1, 2], ids=["1-thread", "2-threads"])
def threads(request):
    before = core.num_threads()
    core.set_num_threads(request.param)
    yield request.param
    core.set_num_threads(before)


def graph(kind, labels, seed):
    """A shuffled, relabelled graph of a few hundred nodes with varied degrees."""
    rng = random.Random(seed)
    n = rng.randint(200, 600)
    base = {
        "ba": lambda: nx.barabasi_albert_graph(n, rng.randint(1, 6), seed=seed),
        "gnm": lambda: nx.gnm_random_graph(n, 4 * n, seed=seed),
        "directed": lambda: nx.gnm_random_graph(n, 4 * n, seed=seed, directed=True),
        "multi": lambda: nx.MultiGraph(nx.gnm_random_graph(n, 3 * n, seed=seed).edges),
    }[kind]()
    base.add_edges_from(rng.sample(list(base.edges), min(50, base.number_of_edges())))  # parallels in a multigraph
    nodes, edges = list(base), list(base.edges)
    rng.shuffle(nodes)
    rng.shuffle(edges)
    G = base.__class__()
    G.add_nodes_from(nodes)
    G.add_edges_from(edges)
    return nx.relabel_nodes(G, LABELS[labels])


CASES = [(kind, labels, seed) for kind in ("ba", "gnm", "directed", "multi") for labels in LABELS for seed in (1, 2)]


@pytest.mark.parametrize(("kind", "labels", "seed"), CASES)
def test_cores_and_triangles(threads, kind, labels, seed):
    G = graph(kind, labels, seed)
    if not G.is_multigraph():
        for name in ("core_number", "k_core", "k_shell"):
            assert same_as_networkx(name, G)
    assert same_as_networkx("triangles", G) or G.is_directed()  # NetworkX refuses directed graphs
    # A self-loop anywhere, as NetworkX's check finds it before peeling.
    u = list(G)[seed * 97 % len(G)]
    G.add_edge(u, u)
    assert same_as_networkx("core_number", G) or G.is_multigraph()
    assert same_as_networkx("triangles", G) or G.is_directed()  # NetworkX refuses directed graphs


def dag(labels, seed, multi):
    rng = random.Random(seed)
    n = rng.randint(100, 400)
    rank = [LABELS[labels](i) for i in rng.sample(range(n), n)]
    D = nx.MultiDiGraph() if multi else nx.DiGraph()
    D.add_nodes_from(rng.sample(rank, n))
    D.add_edges_from((rank[i], rank[j]) for i, j in (sorted(rng.sample(range(n), 2)) for _ in range(3 * n)))
    return D


@pytest.mark.parametrize("multi", [False, True], ids=["digraph", "multidigraph"])
@pytest.mark.parametrize("labels", list(LABELS))
@pytest.mark.parametrize("at", [None, 0, 3, 40])
def test_topological_sort(labels, multi, at):
    """Many generations; a change after `at` items hands over to NetworkX's loop mid-way."""
    D = dag(labels, 7, multi)

    def run(backend):
        G = D.copy()
        seen = []
        try:
            for x in nx.topological_sort(G, backend=backend):
                seen.append(x)
                if len(seen) - 1 == at:
                    G.remove_node(list(G)[-1])
        except Exception as exc:  # the error is compared
            return seen, type(exc), str(exc)
        return seen, None

    assert run("fennel") == run("networkx")
    assert same_as_networkx("topological_generations", D)
    cyclic = D.copy()
    cyclic.add_edge(list(D)[-1], list(D)[0])
    cyclic.add_edge(list(D)[0], list(D)[-1])
    assert same_as_networkx("topological_sort", cyclic)


def test_node_objects_contract():
    D = nx.DiGraph([(0, 1), (1, 2), (0, 2)])
    g = convert(D)
    assert g.generations(nodes=("a", "b", "c")) == ([["abc"[v] for v in p] for p in nx.topological_generations(D)], False)
    assert list(g.core_numbers(nodes=("a", "b", "c")).items()) == list(zip("abc", nx.core_number(D).values()))
    for call in (lambda: g.generations(nodes=("a",)), lambda: g.core_numbers(nodes=("a",)),
                 lambda: g.triangles(("a", "b", "c"))):
        with pytest.raises(ValueError):
            call()
    U = nx.Graph([(0, 1), (1, 2), (0, 2), (2, 3)])
    u = convert(U)
    assert list(u.triangles(("a", "b", "c", "d")).items()) == list(zip("abcd", nx.triangles(U).values()))
    with pytest.raises(ValueError, match="^nodes must hold one object per node$"):
        u.triangles(("a", "b"))
