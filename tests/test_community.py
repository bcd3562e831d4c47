"""Louvain and modularity against NetworkX: the community sets compared
element by element in iteration order, modularity bit for bit, and the seed
generator's state after each call."""

import itertools
import random
import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from zoo import FLAVOURS, ZOO, ZOO_IDS, add_weights

from fennel.backend import calls

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

louvain_communities = nx.community.louvain_communities
louvain_partitions = nx.community.louvain_partitions


def listed(partition):
    return [list(c) for c in partition]


def same_louvain(G, seed=0, served=True, **kwargs):
    """fennel's louvain_communities equals NetworkX's, sets in order, and leaves the seed where NetworkX does."""
    ours, theirs = random.Random(seed), random.Random(seed)
    if not served:
        with pytest.raises(NotImplementedError):
            louvain_communities(G, seed=ours, backend="fennel", **kwargs)
        return
    before = calls["ran", "louvain_communities"]
    got = louvain_communities(G, seed=ours, backend="fennel", **kwargs)
    expected = louvain_communities(G, seed=theirs, backend="networkx", **kwargs)
    assert listed(got) == listed(expected)
    assert ours.getstate() == theirs.getstate()
    assert calls["ran", "louvain_communities"] == before + 1


def served_graph(G):
    """Whether fennel serves Louvain on G (parallel edges are left to NetworkX)."""
    return not G.is_multigraph() or all(len(keys) == 1 for nbrs in G._adj.values() for keys in nbrs.values())


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_zoo(gid):
    G = ZOO[gid]
    for seed, resolution in [(0, 1), (1, 0.5), (2, 2), (3, 1.5)]:
        same_louvain(G, seed, served_graph(G), resolution=resolution)


@pytest.mark.parametrize("flavour", [f for f in FLAVOURS if f != "none"])
@pytest.mark.parametrize("gid", ["les_miserables", "gnp_loops_isolates", "digraph_loops_isolates", "mixed_nodes"])
def test_weights(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    # Directed graphs mixing int and float weights are left to NetworkX.
    served = not (G.is_directed() and flavour == "mixed")
    for seed in range(3):
        same_louvain(G, seed, served)
        same_louvain(G, seed, weight=None)


def test_none_weights_refused():
    G = add_weights(ZOO["karate"], "none")
    with pytest.raises(TypeError):
        louvain_communities(G, seed=1, backend="networkx")
    with pytest.raises(NotImplementedError):
        louvain_communities(G, seed=1, backend="fennel")


@pytest.mark.parametrize("threshold", [0, 1e-7, 0.01, 0.2])
@pytest.mark.parametrize("max_level", [None, 1, 2, 3])
def test_threshold_and_levels(threshold, max_level):
    G = nx.connected_caveman_graph(12, 6)
    for seed in range(2):
        same_louvain(G, seed, threshold=threshold, max_level=max_level)


def test_partitions_are_lazy_generators():
    G = nx.les_miserables_graph()
    ours, theirs = random.Random(5), random.Random(5)
    got = louvain_partitions(G, seed=ours, backend="fennel")
    expected = louvain_partitions(G, seed=theirs, backend="networkx")
    assert type(got) is type(expected)
    assert ours.getstate() == theirs.getstate()  # nothing drawn before the first step
    for a, b in itertools.zip_longest(got, expected):
        assert listed(a) == listed(b)
        assert ours.getstate() == theirs.getstate()


@pytest.mark.parametrize("seed", [None, 7, "numpy_generator", "numpy_random_state"])
def test_seed_kinds(seed):
    G = nx.les_miserables_graph()
    if seed is None:
        random.seed(11)
        state = random.getstate()
        got = louvain_communities(G, backend="fennel")
        after = random.getstate()
        random.setstate(state)
        assert listed(got) == listed(louvain_communities(G, backend="networkx"))
        assert random.getstate() == after
        return
    if isinstance(seed, str):
        np = pytest.importorskip("numpy")
        make = np.random.default_rng if seed == "numpy_generator" else np.random.RandomState
        ours, theirs = make(3), make(3)
        got = louvain_communities(G, seed=ours, backend="fennel")
        assert listed(got) == listed(louvain_communities(G, seed=theirs, backend="networkx"))
        assert ours.random() == theirs.random()
        return
    assert listed(louvain_communities(G, seed=seed, backend="fennel")) == listed(
        louvain_communities(G, seed=seed, backend="networkx"))




def drifting(directed, weights, seed):
    """A few hundred nodes Louvain sweeps many times, with weights whose sums round."""
    rng = random.Random(seed)
    G = nx.gnm_random_graph(300, 1500, seed=seed, directed=directed)
    G.add_edges_from(nx.barabasi_albert_graph(300, 2, seed=seed).edges)
    for _, _, d in G.edges(data=True):
        d["weight"] = {"thirds": rng.randint(1, 30) / 3, "tenths": rng.randint(1, 9) / 10,
                       "ints": rng.randint(1, 9)}[weights]
    return G


@pytest.mark.parametrize("resolution", [0.5, 1, 3])
@pytest.mark.parametrize("weights", ["thirds", "tenths", "ints"])
@pytest.mark.parametrize("directed", [False, True], ids=["undirected", "directed"])
def test_skipped_visits_miss_no_total_that_drifted(directed, weights, resolution):
    """A pass skips nodes whose inputs did not change: a total that float rounding moved must still count as one."""
    G = drifting(directed, weights, seed=int(resolution * 10))
    for seed in range(2):
        ours, theirs = random.Random(seed), random.Random(seed)
        got = list(louvain_partitions(G, seed=ours, resolution=resolution, threshold=0, backend="fennel"))
        expected = list(louvain_partitions(G, seed=theirs, resolution=resolution, threshold=0, backend="networkx"))
        assert [listed(p) for p in got] == [listed(p) for p in expected]


@pytest.mark.parametrize("labels", ["multiples_of_8", "multiples_of_1024", "str", "tuple", "negative"])
def test_set_orders_with_colliding_hashes(labels):
    """Large communities grow and shrink their set tables; their orders depend on every removal."""
    G = nx.connected_caveman_graph(6, 40)
    G.add_edges_from((i, (i * 37) % 240) for i in range(0, 240, 3))
    mapping = {
        "multiples_of_8": lambda i: 8 * i,
        "multiples_of_1024": lambda i: 1024 * i + (i % 3),
        "str": lambda i: f"node-{i}",
        "tuple": lambda i: (i % 7, f"x{i}"),
        "negative": lambda i: -i,
    }[labels]
    H = nx.relabel_nodes(G, {i: mapping(i) for i in G})
    for seed in range(3):
        same_louvain(H, seed, resolution=0.3)
        same_louvain(H, seed, resolution=1.7)


def test_huge_int_weights_refused():
    G = nx.karate_club_graph()
    nx.set_edge_attributes(G, 10**7, "weight")
    with pytest.raises(NotImplementedError):
        louvain_communities(G, seed=1, backend="fennel")
    G2 = nx.karate_club_graph()
    nx.set_edge_attributes(G2, 1e7, "weight")
    same_louvain(G2, 1)


def test_max_level_errors_as_networkx():
    G = nx.karate_club_graph()
    for bad in (0, -1):
        with pytest.raises(ValueError, match="max_level"):
            louvain_communities(G, max_level=bad, backend="fennel")


def louvain_outcome(G, backend, seed, **kwargs):
    rng = random.Random(seed)
    try:
        value = listed(louvain_communities(G, seed=rng, backend=backend, **kwargs))
    except Exception as exc:  # noqa: BLE001 - the exception is the answer compared
        value = type(exc), str(exc)
    return value, rng.getstate()


@pytest.mark.parametrize("directed", [False, True], ids=["undirected", "directed"])
def test_weights_cancelling_to_zero(directed):
    """m == 0: NetworkX 3.6 divides by it, 3.7 scores moves by multiplying by it."""
    G = nx.barbell_graph(5, 2)
    G = G.to_directed() if directed else G
    for i, (u, v) in enumerate(G.edges):
        G[u][v]["weight"] = 1.5 if i % 2 else -1.5
    if G.number_of_edges() % 2:
        G.add_edge(0, 0, weight=1.5)
    assert G.size(weight="weight") == 0
    for seed in range(3):
        before = calls["ran", "louvain_communities"]
        got = louvain_outcome(G, "fennel", seed)
        assert calls["ran", "louvain_communities"] == before + 1
        assert got == louvain_outcome(G, "networkx", seed)


def test_m_summed_over_the_callers_rows():
    """NetworkX 3.7's m adds G's own rows, which list neighbours in another
    order than the graph Louvain builds from G.edges (3.6 adds those)."""
    rng = random.Random(22)
    G = nx.Graph()
    for _ in range(60):
        G.add_edge(rng.randrange(25), rng.randrange(25),
                   weight=rng.choice([1e32, 1.0, -1e32, 1e16, 3.3, -1e16, 0.1, 7e15, 2.0**-30, 1e-20, 5e31, -3e31]))
    H = nx.Graph()
    H.add_nodes_from(G)
    H.add_weighted_edges_from(G.edges(data="weight"))
    if sys.version_info >= (3, 12):  # sum()'s compensation keeps most orders equal
        assert G.size(weight="weight") != H.size(weight="weight")
    for seed in range(6):
        for resolution in (1, 0.5, 3):
            same_louvain(G, seed, resolution=resolution)


def modularity_outcome(G, communities, backend, **kwargs):
    try:
        value = nx.community.modularity(G, communities, backend=backend, **kwargs)
    except Exception as exc:  # noqa: BLE001 - the exception is the answer compared
        return type(exc), str(exc)
    return type(value), value


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_modularity_zoo(gid):
    G = ZOO[gid]
    rng = random.Random(len(gid))
    nodes = list(G)
    for flavour in ("int", "float", "mixed", "missing"):
        H = add_weights(G, flavour, seed=3)
        for parts in (1, 2, 5):
            labels = [rng.randrange(parts) for _ in nodes]
            communities = [{v for v, lab in zip(nodes, labels) if lab == p} for p in range(parts)]
            communities = [c for c in communities if c] or ([set()] if not nodes else [])
            for kwargs in ({}, {"weight": None}, {"resolution": 0.7}, {"resolution": 2}):
                expected = modularity_outcome(H, communities, "networkx", **kwargs)
                got = modularity_outcome(H, communities, "fennel", **kwargs)
                refusable = not served_graph(H) or (H.is_directed() and flavour == "mixed" and "weight" not in kwargs)
                if got[0] is NotImplementedError and refusable:
                    continue
                assert got == expected


def test_modularity_errors():
    G = nx.karate_club_graph()
    assert modularity_outcome(G, [{0, 1}], "fennel") == modularity_outcome(G, [{0, 1}], "networkx")
    assert modularity_outcome(G, [set(G), {0}], "fennel") == modularity_outcome(G, [set(G), {0}], "networkx")
    E = nx.empty_graph(4)
    assert modularity_outcome(E, [set(E)], "fennel") == modularity_outcome(E, [set(E)], "networkx")
    Z = nx.path_graph(4)
    nx.set_edge_attributes(Z, 0.0, "weight")
    assert modularity_outcome(Z, [set(Z)], "fennel") == modularity_outcome(Z, [set(Z)], "networkx")
    # an iterator of iterables, consumed once
    before = calls["ran", "modularity"]
    ours = nx.community.modularity(G, iter([set(range(17)), set(range(17, 34))]), backend="fennel")
    assert calls["ran", "modularity"] == before + 1
    assert ours == nx.community.modularity(G, iter([set(range(17)), set(range(17, 34))]), backend="networkx")


def test_modularity_float_order_matters():
    """Float weights whose sum depends on the order: each community's set order decides L_c."""
    G = nx.Graph()
    rng = random.Random(4)
    for i in range(300):
        G.add_edge(f"s{rng.randrange(80)}", f"s{rng.randrange(80)}", weight=rng.choice([1e16, 1.0, 0.1, -1e16, 3.3]))
    nodes = list(G)
    communities = [set(nodes[i::4]) for i in range(4)]
    for resolution in (1, 0.25):
        assert modularity_outcome(G, communities, "fennel", resolution=resolution) == modularity_outcome(
            G, communities, "networkx", resolution=resolution)


def quality_outcome(G, partition, backend):
    try:
        value = nx.community.partition_quality(G, partition, backend=backend)
    except Exception as exc:  # noqa: BLE001 - the exception is the answer compared
        return type(exc), exc.args
    return [(type(x), x) for x in value]


def random_partition(G, parts, seed):
    rng = random.Random(seed)
    nodes = list(G)
    labels = [rng.randrange(parts) for _ in nodes]
    return [{v for v, lab in zip(nodes, labels) if lab == p} for p in range(parts)]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_partition_quality_zoo(gid):
    G = ZOO[gid]
    cases = [random_partition(G, parts, seed) for seed, parts in enumerate((1, 2, 5, 40))]
    cases.append([{v} for v in G])
    for partition in cases:
        before = calls["ran", "partition_quality"]
        got = quality_outcome(G, partition, "fennel")
        assert calls["ran", "partition_quality"] == before + 1
        assert got == quality_outcome(G, partition, "networkx")


@pytest.mark.parametrize("case", ["edgeless", "one_node_loop", "consumed_iterator", "not_a_partition",
                                  "list_communities"])
def test_partition_quality_errors_and_shapes(case):
    G = nx.karate_club_graph()
    if case == "edgeless":
        G, partition = nx.empty_graph(5), [set(range(5))]
    elif case == "one_node_loop":
        G, partition = nx.Graph([(7, 7)]), [{7}]
    elif case == "consumed_iterator":
        # NetworkX's partition check lists an iterator, leaving none to the count.
        partition = None
    elif case == "not_a_partition":
        partition = [set(range(20)), set(range(19, 34))]
    else:
        partition = [sorted(c, reverse=True) for c in random_partition(G, 3, 1)]
    make = (lambda: iter(random_partition(G, 3, 2))) if partition is None else (lambda: partition)
    expected = quality_outcome(G, make(), "networkx")
    assert quality_outcome(G, make(), "fennel") == expected
    assert case == "list_communities" or expected[0] in (ZeroDivisionError, KeyError, nx.NetworkXError)


@pytest.mark.parametrize("directed", [False, True], ids=["multigraph", "multidigraph"])
def test_partition_quality_counts_parallel_edges(directed):
    G = (nx.MultiDiGraph if directed else nx.MultiGraph)(nx.les_miserables_graph())
    rng = random.Random(3)
    edges = list(G.edges())
    G.add_edges_from(rng.choice(edges) for _ in range(200))
    G.add_edges_from([("Valjean", "Valjean"), ("Valjean", "Valjean")])
    for seed in range(4):
        partition = random_partition(G, 4, seed)
        assert quality_outcome(G, partition, "fennel") == quality_outcome(G, partition, "networkx")


needs_overlapping = pytest.mark.skipif(not hasattr(nx.community, "overlapping_modularity"),
                                       reason="NetworkX before 3.7 has no overlapping modularity")


def overlapping_outcome(G, communities, backend, **kwargs):
    try:
        value = nx.community.overlapping_modularity(G, communities, backend=backend, **kwargs)
    except Exception as exc:  # noqa: BLE001 - the exception is the answer compared
        return type(exc), exc.args
    return type(value), value


def random_cover(G, parts, seed):
    """A partition into `parts`, then each node copied into up to two other communities."""
    rng = random.Random(seed)
    cover = random_partition(G, parts, seed)
    for v in list(G):
        for _ in range(rng.randrange(3)):
            cover[rng.randrange(parts)].add(v)
    return cover


@needs_overlapping
@pytest.mark.parametrize("gid", [g for g in ZOO_IDS if not ZOO[g].is_directed()])
def test_overlapping_modularity_zoo(gid):
    G = ZOO[gid]
    for flavour in ("int", "float", "mixed", "missing"):
        H = add_weights(G, flavour, seed=5)
        for seed, parts in enumerate((1, 3, 6)):
            cover = random_cover(H, parts, seed)
            for kwargs in ({}, {"weight": None}, {"resolution": 0.7}, {"resolution": 2}):
                before = calls["ran", "overlapping_modularity"]
                got = overlapping_outcome(H, cover, "fennel", **kwargs)
                if got[0] is NotImplementedError and not served_graph(H):
                    continue
                assert calls["ran", "overlapping_modularity"] == before + 1
                assert got == overlapping_outcome(H, cover, "networkx", **kwargs)


@needs_overlapping
@pytest.mark.parametrize("case", ["not_a_cover", "foreign_node", "foreign_node_edgeless", "unhashable_member",
                                  "consumed_iterator", "weights_cancel", "float_order", "directed"])
def test_overlapping_modularity_errors_and_shapes(case):
    """Each check at the step NetworkX makes it: the cover, the zero total, then community by community."""
    G = nx.karate_club_graph()
    cover = random_cover(G, 4, 1)
    make = lambda: cover  # noqa: E731
    if case == "not_a_cover":
        cover = [set(range(30))]
    elif case == "foreign_node":
        cover = [cover[0], {*cover[1], "elsewhere"}, *cover[2:], [{}]]
    elif case == "foreign_node_edgeless":
        G, cover = nx.empty_graph(3), [{0, 1, 2, "elsewhere"}, [[]]]
    elif case == "unhashable_member":
        cover = [*cover, [0, []]]
    elif case == "consumed_iterator":
        make = lambda: iter(random_cover(G, 3, 2))  # noqa: E731
    elif case == "weights_cancel":
        G = nx.cycle_graph(6)
        for i, (u, v) in enumerate(G.edges):
            G[u][v]["weight"] = 2.5 if i % 2 else -2.5
        cover = [{0, 1, 2, 3}, {3, 4, 5, 0}]
    elif case == "float_order":
        rng = random.Random(4)
        G = nx.Graph()
        for _ in range(300):
            G.add_edge(rng.randrange(60), rng.randrange(60), weight=rng.choice([1e16, 1.0, 0.1, -1e16, 3.3]))
        cover = random_cover(G, 4, 3)
    else:
        G = G.to_directed()
    expected = overlapping_outcome(G, make(), "networkx")
    assert overlapping_outcome(G, make(), "fennel") == expected
    assert expected[0] is float or case not in ("consumed_iterator", "weights_cancel", "float_order")


@pytest.mark.parametrize("name", ["is_partition", "is_cover"])
def test_partition_and_cover_checks(name):
    function = getattr(nx.community, name, None)
    if function is None:
        pytest.skip(f"NetworkX {nx.__version__} has no {name}")
    G = nx.karate_club_graph()
    G.add_node(("t", 1))
    cases = [random_partition(G, 3, 0), random_cover(G, 3, 1), [set(range(30))], [[v] for v in G] + [["x"]],
             [[0, 0], set(G) - {0}], iter([set(G)]), [[[]], set(G)]]
    for communities in cases:
        before = calls["ran", name]
        outcome = []
        for backend in ("fennel", "networkx"):
            given = communities if isinstance(communities, list) else iter([set(G)])
            try:
                outcome.append(function(G, given, backend=backend))
            except TypeError as exc:
                outcome.append(exc.args)
        assert calls["ran", name] == before + 1
        assert outcome[0] == outcome[1]
