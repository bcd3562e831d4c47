"""Kernighan-Lin bisection against NetworkX: both blocks as sets in iteration
order, the errors, the caller's generator after the call, and whether fennel ran."""

import random

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights, shape

from fennel.backend import calls
from fennel.backend.checks import NX_VERSION

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

KL = "kernighan_lin_bisection"
served_release = pytest.mark.skipif(NX_VERSION < (3, 6), reason="NetworkX before 3.6 bisects otherwise")

SEEDS = {
    "int": lambda: 7,
    "random.Random": lambda: random.Random(11),
    "global": lambda: None,
    "numpy.Generator": lambda: np.random.default_rng(2),
    "numpy.RandomState": lambda: np.random.RandomState(4),
}


def state(seed):
    if seed is None:
        return random.getstate()
    if isinstance(seed, np.random.Generator):
        return seed.bit_generator.state
    if isinstance(seed, np.random.RandomState):
        return str(seed.get_state())
    return seed.getstate() if isinstance(seed, random.Random) else seed


def outcome(G, backend, make_seed=lambda: 3, **kwargs):
    seed = make_seed()
    random.seed(5)
    try:
        found = ("returned", shape(nx.community.kernighan_lin_bisection(G, seed=seed, backend=backend, **kwargs)))
    except Exception as exc:  # the error itself is compared
        found = ("raised", type(exc), str(exc))
    return found, state(seed)


def ran_as_networkx(G, make_seed=lambda: 3, make_partition=None, **kwargs):
    """fennel answers as NetworkX does and leaves the generator where NetworkX does; whether fennel ran.

    make_partition(G): a fresh partition argument per call (iterators are consumed).
    """
    fresh = (lambda: {}) if make_partition is None else (lambda: {"partition": make_partition(G)})
    before = calls["ran", KL]
    expected = outcome(G, "networkx", make_seed, **fresh(), **kwargs)
    with nx.config(backend_priority=["fennel"]):
        got = outcome(G, None, make_seed, **fresh(), **kwargs)
    assert got == expected
    return calls["ran", KL] > before


@served_release
@pytest.mark.parametrize("seed", list(SEEDS))
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid, seed):
    G = ZOO[gid]
    ran = ran_as_networkx(G, SEEDS[seed])
    assert ran == (not G.is_directed())


@served_release
@pytest.mark.parametrize("flavour", ["int", "float", "none", "mixed", "missing", "zero", "tied"])
@pytest.mark.parametrize("gid", ["karate", "gnp_loops_isolates", "gnp_shuffled", "str_nodes", "tuple_nodes",
                                 "multigraph", "multigraph_loops", "les_miserables"])
def test_weights(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    for seed in range(3):
        ran = ran_as_networkx(G, lambda: seed, weight="weight")
        # A None among a multigraph pair's keys is NetworkX's TypeError, left to it.
        assert ran == (flavour != "none" or not G.is_multigraph())


@served_release
@pytest.mark.parametrize("signed", ["ints", "floats"])
def test_negative_weights(signed):
    for trial in range(20):
        rng = random.Random(trial)
        G = nx.gnp_random_graph(40, 0.15, seed=trial)
        for u, v, d in G.edges(data=True):
            d["weight"] = rng.randint(-4, 6) if signed == "ints" else rng.uniform(-2, 3)
        assert ran_as_networkx(G, lambda: trial)


@served_release
@pytest.mark.parametrize("max_iter", [0, 1, 2, -3, np.int64(4), True, 10**30])
def test_max_iter(max_iter):
    G = add_weights(ZOO["les_miserables"], "float", seed=1)
    assert ran_as_networkx(G, max_iter=max_iter)


def blocks(G, k):
    nodes = list(G)
    return nodes[:k], nodes[k:]


@served_release
@pytest.mark.parametrize(
    "partition",
    [
        lambda G: tuple(map(set, blocks(G, 10))),
        lambda G: blocks(G, 3),
        lambda G: [set(list(G)[1::2]), set(list(G)[::2])],
        lambda G: (set(), set(G)),
        lambda G: (set(G), set()),
        lambda G: (set(list(G)[:5]), set(list(G)[4:])),
        lambda G: (set(list(G)[:5]), set(list(G)[6:])),
        lambda G: (set(G),),
        lambda G: 3,
        lambda G: (iter(list(G)[:7]), iter(list(G)[7:])),
    ],
    ids=["sets", "lists", "alternate", "empty_first", "empty_second", "overlap", "missing_node", "one_block",
         "not_iterable", "iterators"],
)
@pytest.mark.parametrize("gid", ["karate", "str_nodes", "multigraph_loops", "single"])
def test_partitions(gid, partition, request):
    G = ZOO[gid]
    ran = ran_as_networkx(G, make_partition=partition)
    # is_partition's TypeError (len() of a consumed iterator) is no answer about the graph.
    assert ran or request.node.callspec.id.endswith("iterators")


@served_release
def test_one_node_has_no_move():
    """NetworkX's min() of a sweep without moves raises ValueError: fennel raises the same."""
    expected = outcome(nx.empty_graph(1), "networkx")
    assert expected[0][1] is ValueError
    assert ran_as_networkx(nx.empty_graph(1))


@served_release
def test_parallel_float_keys_sum_in_key_order():
    G = nx.MultiGraph()
    rng = random.Random(3)
    for _ in range(400):
        G.add_edge(rng.randrange(30), rng.randrange(30), weight=rng.choice([0.1, 0.2, 0.7, 1e16, -1e16, 3.0]))
    for seed in range(5):
        assert ran_as_networkx(G, lambda: seed)


@served_release
def test_stale_heap_pairs_with_the_current_value_pop_early():
    """Unit weights on dense graphs bring costs back to earlier values, whose older heap pairs then pop first."""
    for n in (8, 13, 21):
        G = nx.complete_graph(n)
        G.remove_edges_from(list(G.edges)[::3])
        for seed in range(8):
            assert ran_as_networkx(G, lambda: seed)


@served_release
@pytest.mark.parametrize("weights", ["callable", "numpy", "inf", "huge_int"])
def test_left_to_networkx(weights):
    G = add_weights(ZOO["karate"], "int", seed=1)
    kwargs = {}
    if weights == "callable":
        kwargs["weight"] = lambda u, v, d: d["weight"] * 2
    else:
        value = {"numpy": np.float64(2.5), "inf": float("inf"), "huge_int": 2**60}[weights]
        G.add_edge(0, 1, weight=value)
    assert not ran_as_networkx(G, **kwargs)


@pytest.mark.skipif(NX_VERSION >= (3, 6), reason="served from NetworkX 3.6 on")
def test_older_releases_are_left_to_networkx():
    assert not ran_as_networkx(ZOO["karate"])


LUKES = "lukes_partitioning"


def lukes_outcome(G, backend, **kwargs):
    random.seed(9)  # NetworkX draws the root from the global generator
    try:
        found = ("returned", shape(nx.community.lukes_partitioning(G, backend=backend, **kwargs)))
    except Exception as exc:  # the error itself is compared
        found = ("raised", type(exc), str(exc))
    return found, random.getstate()


def lukes_ran_as_networkx(G, **kwargs):
    before = calls["ran", LUKES]
    expected = lukes_outcome(G, "networkx", **kwargs)
    with nx.config(backend_priority=["fennel"]):
        assert lukes_outcome(G, None, **kwargs) == expected
    return calls["ran", LUKES] > before


def weighted_tree(n, seed, kind):
    rng = random.Random(seed)
    G = nx.random_labeled_tree(n, seed=seed) if hasattr(nx, "random_labeled_tree") else nx.random_tree(n, seed=seed)
    if kind == "str":
        G = nx.relabel_nodes(G, {i: f"v{i}" for i in G})
    elif kind == "tuple":
        G = nx.relabel_nodes(G, {i: (i % 3, str(i)) for i in G})
    elif kind == "directed":
        G = nx.bfs_tree(G, 0)
    elif kind == "shuffled":
        nodes = list(G)
        rng.shuffle(nodes)
        H = G.__class__()
        H.add_nodes_from(nodes)
        H.add_edges_from(rng.sample(list(G.edges), G.number_of_edges()))
        G = H
    for _, _, d in G.edges(data=True):
        d["w"] = rng.choice([0.1, 0.7, 1.3, 2, 5, 1e16])
    for _, d in G.nodes(data=True):
        d["nw"] = rng.choice([1, 2, 3, True])
    return G


@pytest.mark.parametrize("kwargs", [dict(max_size=4), dict(max_size=7, edge_weight="w"),
                                    dict(max_size=6, node_weight="nw", edge_weight="w"),
                                    dict(max_size=5, node_weight="nw")], ids=repr)
@pytest.mark.parametrize("kind", ["int", "str", "tuple", "directed", "shuffled"])
def test_lukes_trees(kind, kwargs):
    for seed, n in enumerate([2, 3, 9, 25, 60]):
        assert lukes_ran_as_networkx(weighted_tree(n, seed, kind), **kwargs)


@pytest.mark.parametrize("case", ["single", "null", "cycle", "forest", "two_roots", "float_node_weight",
                                  "missing_node_weight", "missing_edge_weight", "float_max_size"])
def test_lukes_errors(case):
    G = weighted_tree(12, 3, "int")
    kwargs = dict(max_size=5)
    if case == "single":
        G = nx.empty_graph(1)
    elif case == "null":
        G = nx.Graph()
    elif case == "cycle":
        G = nx.cycle_graph(5)
    elif case == "forest":
        G = nx.disjoint_union(nx.path_graph(3), nx.path_graph(3))
    elif case == "two_roots":
        G = nx.DiGraph([(0, 1), (2, 1), (1, 3)])
    elif case == "float_node_weight":
        G.nodes[4]["nw"] = 2.0
        kwargs["node_weight"] = "nw"
    elif case == "missing_node_weight":
        del G.nodes[4]["nw"]
        kwargs["node_weight"] = "nw"
    elif case == "missing_edge_weight":
        del G.edges[next(iter(G.edges))]["w"]
        kwargs["edge_weight"] = "w"
    elif case == "float_max_size":
        kwargs["max_size"] = 5.0
    lukes_ran_as_networkx(G, **kwargs)


def test_lukes_leaves_custom_nodes_to_networkx():
    G = nx.relabel_nodes(nx.path_graph(5), {i: frozenset([i]) for i in range(5)})
    assert not lukes_ran_as_networkx(G, max_size=3)


@pytest.mark.parametrize("view", [
    lambda T: T.subgraph(list(T)[:6]),
    lambda T: T.reverse(copy=False).reverse(copy=False),
    lambda T: nx.freeze(T.copy()),
    lambda T: nx.Graph(T).subgraph(list(T)[:6]),
], ids=["directed_subgraph", "directed_reverse_of_reverse", "frozen_directed", "undirected_subgraph"])
def test_lukes_frozen_trees(view):
    """NetworkX removes settled nodes from a deep copy of a directed tree, which stays frozen: it raises there."""
    T = view(weighted_tree(12, 4, "directed"))
    assert lukes_ran_as_networkx(T, max_size=4) is not T.is_directed()
