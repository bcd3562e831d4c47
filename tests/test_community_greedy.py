"""Greedy modularity communities against NetworkX: every community in
iteration order (frozensets whose order follows the nodes' hashes), the
order of the communities, the errors, and whether fennel ran."""

import os
import random
import subprocess
import sys

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights, shape

from fennel.backend import calls
from fennel.backend.checks import NX_VERSION

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GREEDY = "greedy_modularity_communities"
NAIVE = "naive_greedy_modularity_communities"


def outcome(name, G, **kwargs):
    try:
        return ("returned", shape(getattr(nx.community, name)(G, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def ran_as_networkx(name, G, **kwargs):
    """fennel answers as NetworkX does; whether fennel itself ran."""
    before = calls["ran", name]
    expected = outcome(name, G, backend="networkx", **kwargs)
    with nx.config(backend_priority=["fennel"]):
        got = outcome(name, G, **kwargs)
    assert got == expected
    return calls["ran", name] > before


def simple(G):
    return not G.is_multigraph() or not any(len(keys) > 1 for nbrs in G._adj.values() for keys in nbrs.values())


@pytest.mark.parametrize("gid", ZOO_IDS)
@pytest.mark.parametrize("resolution", [1, 0.5, 2.5])
def test_greedy_zoo(gid, resolution):
    G = ZOO[gid]
    ran = ran_as_networkx(GREEDY, G, resolution=resolution)
    # Only parallel edges and node objects that do not compare are left to NetworkX.
    assert ran or not simple(G) or gid == "mixed_nodes"


@pytest.mark.parametrize("gid", ["karate", "gnp_loops_isolates", "digraph_loops_isolates", "str_nodes",
                                 "tuple_nodes", "multigraph_loops", "disconnected"])
@pytest.mark.parametrize("flavour", ["int", "float", "none", "mixed", "missing", "zero"])
def test_greedy_weighted(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    ran = ran_as_networkx(GREEDY, G, weight="weight")
    assert ran == (flavour != "none" and simple(G) and not (flavour == "mixed" and G.is_directed()))


@pytest.mark.parametrize("args", [dict(cutoff=3), dict(best_n=4), dict(cutoff=5, best_n=5), dict(best_n=1),
                                  dict(cutoff=2.5), dict(cutoff=0), dict(best_n=99), dict(cutoff=4, best_n=3)],
                         ids=repr)
@pytest.mark.parametrize("gid", ["karate", "disconnected", "digraph", "les_miserables"])
def test_greedy_stopping(gid, args):
    assert ran_as_networkx(GREEDY, ZOO[gid], **args)


def test_exhausted_components_merge_the_largest_sets():
    """No adjacent pair left: NetworkX takes symmetric differences of the two largest sets."""
    G = nx.disjoint_union_all([nx.complete_graph(4), nx.path_graph(3), nx.empty_graph(3)])
    for best_n in (1, 2, 3, 5):
        assert ran_as_networkx(GREEDY, G, resolution=0.01, best_n=best_n) or best_n == 1


def test_colliding_int_hashes():
    """Ints that hash alike probe the same set slots: the frozensets' orders follow each union's history."""
    p = 2**61 - 1
    G = nx.relabel_nodes(nx.les_miserables_graph(), {v: k * p + (k % 3) for k, v in enumerate(nx.les_miserables_graph())})
    assert ran_as_networkx(GREEDY, G)
    assert ran_as_networkx(NAIVE, nx.relabel_nodes(nx.karate_club_graph(), lambda v: v * p))


@pytest.mark.parametrize("seed", ["0", "1", "12345"])
def test_str_nodes_under_other_hash_seeds(seed):
    code = (
        "import networkx as nx\n"
        "G = nx.relabel_nodes(nx.les_miserables_graph(), lambda v: v + '!')\n"
        "a = nx.community.greedy_modularity_communities(G, weight='weight', backend='networkx')\n"
        "b = nx.community.greedy_modularity_communities(G, weight='weight', backend='fennel')\n"
        "assert [list(c) for c in a] == [list(c) for c in b], 'differs'\n"
        "K = nx.relabel_nodes(nx.karate_club_graph(), str)\n"
        "a = nx.community.naive_greedy_modularity_communities(K, backend='networkx')\n"
        "b = nx.community.naive_greedy_modularity_communities(K, backend='fennel')\n"
        "assert [list(c) for c in a] == [list(c) for c in b], 'differs'\n"
    )
    env = dict(os.environ, PYTHONHASHSEED=seed)
    done = subprocess.run([sys.executable, "-W", "ignore", "-c", code], env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


# NetworkX's naive search is quartic: graphs of a few dozen nodes at most.
_LOOPS = nx.path_graph(12)
_LOOPS.add_edges_from([(0, 0), (5, 5), (6, 6)])
_LOOPS.add_nodes_from([20, 21])
NAIVE_GRAPHS = {gid: ZOO[gid] for gid in ["empty", "single", "path", "cycle", "star", "complete", "barbell", "karate",
                                          "str_nodes", "tuple_nodes", "unordered_ints", "disconnected"]}
NAIVE_GRAPHS["loops_isolates"] = _LOOPS


@pytest.mark.parametrize("gid", NAIVE_GRAPHS)
@pytest.mark.parametrize("resolution", [1, 0.25, 1.75])
def test_naive_zoo(gid, resolution):
    assert ran_as_networkx(NAIVE, NAIVE_GRAPHS[gid], resolution=resolution)


@pytest.mark.parametrize("flavour", ["int", "zero", "float", "none"])
def test_naive_weighted(flavour):
    G = add_weights(ZOO["barbell"], flavour, seed=2)
    assert ran_as_networkx(NAIVE, G, weight="weight") == (flavour in ("int", "zero"))


@pytest.mark.parametrize(
    "make, args",
    [
        (lambda: ZOO["mixed_nodes"], {}),
        (lambda: nx.relabel_nodes(nx.path_graph(4), {0: frozenset([0]), 1: frozenset([1])}), {}),
        (lambda: nx.path_graph(4), {"resolution": 2.0**1000}),
        (lambda: nx.path_graph(4), {"cutoff": float("nan")}),
    ],
    ids=["mixed_nodes", "set_nodes", "huge_resolution", "nan_cutoff"],
)
def test_refused(make, args):
    G = make()
    with pytest.raises(NotImplementedError):
        getattr(nx.community, GREEDY)(G, backend="fennel", **args)


@pytest.mark.parametrize("weights", [[1, -1, 2], [0, 0, 0], [1.0, float("inf"), 2.0], [1e-320, 1e-320, 1e-320]])
def test_weights_left_to_networkx(weights):
    G = nx.path_graph(4)
    for (u, v), w in zip(G.edges, weights):
        G[u][v]["weight"] = w
    assert not ran_as_networkx(GREEDY, G, weight="weight")


LABELS = ["asyn_lpa_communities", "fast_label_propagation_communities"]
SEEDS = {
    "int": lambda: 7,
    "random.Random": lambda: random.Random(3),
    "numpy.Generator": lambda: np.random.default_rng(2),
    "numpy.RandomState": lambda: np.random.RandomState(4),
}


def generator_state(seed):
    if isinstance(seed, np.random.Generator):
        return seed.bit_generator.state
    if isinstance(seed, np.random.RandomState):
        return shape(seed.get_state())
    if isinstance(seed, int):
        return None  # a fresh generator each call
    return (seed or random).getstate()


def drawn(name, G, backend, seed, **kwargs):
    """The result's type, its sets in order, and the generator's state afterwards
    (fennel's refusals answered by NetworkX)."""
    if seed is None:
        random.seed(5)
    with nx.config(backend_priority=[backend]):
        result = getattr(nx.community, name)(G, seed=seed, **kwargs)
        kind = type(result)
        return kind, shape(list(result)), generator_state(seed)


@pytest.mark.parametrize("gid", ["karate", "les_miserables", "gnp_loops_isolates", "digraph_loops_isolates",
                                 "str_nodes", "mixed_nodes", "multigraph", "multidigraph", "disconnected", "empty"])
@pytest.mark.parametrize("seed", [*SEEDS, "None"])
@pytest.mark.parametrize("name", LABELS)
def test_label_propagation_draws(name, seed, gid):
    G = ZOO[gid]
    make = SEEDS.get(seed, lambda: None)
    before = calls["ran", name]
    expected = drawn(name, G, "networkx", make())
    assert drawn(name, G, "fennel", make()) == expected
    assert calls["ran", name] > before or (name == LABELS[1] and "multi" in gid)


@pytest.mark.parametrize("hidden, served", [((0, 4, 0), False), ((1, 2, 1), True)], ids=["only_edge", "parallel_edge"])
def test_asyn_lpa_multigraph_view_hiding_edges(hidden, served):
    """A multigraph view's row counts (len) a neighbour whose edges it hides: NetworkX finds no label for a node
    whose only edges are hidden (ValueError)."""
    G = nx.restricted_view(nx.MultiGraph([(0, 1), (1, 2), (2, 0), (0, 4), (1, 2)]), [], [hidden])

    def communities(**kwargs):
        try:
            return shape(list(nx.community.asyn_lpa_communities(G, seed=3, **kwargs)))
        except ValueError as exc:
            return exc.args

    before = calls["ran", LABELS[0]]
    expected = communities(backend="networkx")
    with nx.config(backend_priority=["fennel"]):
        assert communities() == expected
    assert (calls["ran", LABELS[0]] > before) is served


@pytest.mark.parametrize("flavour", ["int", "float", "mixed", "missing", "zero"])
@pytest.mark.parametrize("gid", ["karate", "gnp_loops_isolates", "digraph_shuffled", "tuple_nodes"])
@pytest.mark.parametrize("name", LABELS)
def test_label_propagation_weighted(name, gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=3)
    before = calls["ran", name]
    assert drawn(name, G, "fennel", random.Random(1), weight="weight") == drawn(
        name, G, "networkx", random.Random(1), weight="weight"
    )
    assert calls["ran", name] == before + 1


def test_label_propagation_is_lazy():
    """Nothing is drawn before the generator is first advanced."""
    for name in LABELS:
        rng = random.Random(9)
        state = rng.getstate()
        communities = getattr(nx.community, name)(ZOO["karate"], seed=rng, backend="fennel")
        assert rng.getstate() == state
        assert sum(map(len, communities)) == 34 and rng.getstate() != state


class Picky(random.Random):
    """A generator whose choice is its own: always the last label."""

    def choice(self, seq):
        super().choice(seq)
        return seq[-1]


def test_label_propagation_calls_the_generators_own_methods():
    for name in LABELS:
        assert drawn(name, ZOO["les_miserables"], "fennel", Picky(2)) == drawn(
            name, ZOO["les_miserables"], "networkx", Picky(2)
        )


def fluid(G, backend, seed, **kwargs):
    try:
        return drawn("asyn_fluidc", G, backend, seed, **kwargs)
    except Exception as exc:  # the error itself is compared, with the draws made before it
        return type(exc), exc.args, generator_state(seed)


CONNECTED = {gid: ZOO[gid] for gid in ["karate", "les_miserables", "cycle", "complete", "barbell", "star",
                                        "tuple_nodes", "unordered_ints", "single"]}
CONNECTED["loops"] = _LOOPS.subgraph(range(12)).copy()


@pytest.mark.skipif(NX_VERSION < (3, 6), reason="this NetworkX bounds the rounds otherwise (left to it)")
@pytest.mark.parametrize("k", [1, 2, 3, 7])
@pytest.mark.parametrize("seed", [*SEEDS, "None"])
@pytest.mark.parametrize("gid", CONNECTED)
def test_fluid_communities(gid, seed, k):
    make = SEEDS.get(seed, lambda: None)
    G = CONNECTED[gid]
    before = calls["ran", "asyn_fluidc"]
    assert fluid(G, "fennel", make(), k=k) == fluid(G, "networkx", make(), k=k)
    assert calls["ran", "asyn_fluidc"] > before


@pytest.mark.skipif(NX_VERSION < (3, 6), reason="this NetworkX bounds the rounds otherwise (left to it)")
@pytest.mark.parametrize(
    "G, args",
    [(ZOO["disconnected"], {"k": 2}), (ZOO["empty"], {"k": 1}), (ZOO["karate"], {"k": 2.0}),
     (ZOO["karate"], {"k": 0}), (ZOO["karate"], {"k": 35}), (ZOO["karate"], {"k": 2, "max_iter": 0}),
     (ZOO["karate"], {"k": 4, "max_iter": 1}), (nx.star_graph(8), {"k": 9})],
    ids=["disconnected", "null", "float_k", "zero_k", "large_k", "no_rounds", "one_round", "star_all"],
)
def test_fluid_communities_errors_and_bounds(G, args):
    assert fluid(G, "fennel", random.Random(5), **args) == fluid(G, "networkx", random.Random(5), **args)
