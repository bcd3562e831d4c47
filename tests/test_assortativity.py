"""Assortativity and the rich-club coefficient against NetworkX, on the same
graph objects: dict orders and value types, float bits, numpy arrays byte for
byte, exceptions, and for the rich club the random generator's state after
the call. Set orders of the nodes walked follow the nodes' hashes, so graphs
with colliding and seed-dependent hashes are among the cases."""

import random
import warnings

import networkx as nx
import numpy as np
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from test_clique import same_under_hash_seeds
from zoo import ZOO, _relabelled, _shuffled

from fennel import _core
from fennel.backend import calls
from fennel.backend.interface import convert_from_nx
from fennel.backend.checks import NX_VERSION

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _graphs():
    cases = {gid: G.copy() for gid, G in ZOO.items()}  # attributes are added below
    ba = nx.barabasi_albert_graph(300, 3, seed=4)
    cases.update({
        "ba": ba,
        "ba_shuffled": _shuffled(ba, 5),
        # multiples of 64 share low hash bits: long probe chains in set(G)
        "collisions": _relabelled(ba, {i: i * 64 for i in ba}),
        "str_ba": _relabelled(ba, {i: f"v{i}" for i in ba}),
        "directed_ba": nx.DiGraph((u, v) if (u + v) % 3 else (v, u) for u, v in ba.edges),
        "simple_multi": nx.MultiGraph(nx.cycle_graph(8)),
    })
    for i, G in enumerate(cases.values()):
        for k, v in enumerate(G):
            if (k + i) % 7:  # some nodes lack the attributes
                G.nodes[v].update(colour=("red", "green", "blue")[k % 3], size=k % 4, weight=(k * 5) % 6 + 0.25)
    return cases


GRAPHS = _graphs()


def _bits(x):
    """x with floats as their bits, arrays as their bytes, dicts in order, types kept."""
    if isinstance(x, np.ndarray):
        return ("ndarray", x.dtype.str, x.shape, x.tobytes())
    if isinstance(x, dict):
        return ("dict", [(_bits(k), _bits(v)) for k, v in x.items()])
    if type(x) is float:
        return ("float", x.hex())
    return (type(x), repr(x))


def _run(name, args, kwargs):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return ("returned", _bits(getattr(nx, name)(*args, **kwargs)))
        except Exception as exc:  # the error itself is compared
            return ("raised", type(exc), exc.args)


def agree(name, *args, **kwargs):
    """fennel's answer is NetworkX's; whether fennel ran (or both raised)."""
    before = calls["ran", name]
    expected = _run(name, args, {**kwargs, "backend": "networkx"})
    with nx.config(backend_priority=["fennel"]):
        assert _run(name, args, kwargs) == expected
    return calls["ran", name] > before or expected[0] == "raised"


def _subset(G):
    nodes = list(G)
    return nodes[::3] + ["absent"]


DEGREE_FAMILY = ["degree_mixing_dict", "degree_mixing_matrix", "degree_assortativity_coefficient",
                 "degree_pearson_correlation_coefficient"]


@pytest.mark.parametrize("gid", GRAPHS)
def test_degree_family(gid):
    G = GRAPHS[gid]
    xys = [("out", "in"), ("in", "out"), ("out", "out"), ("in", "in")] if G.is_directed() else [("out", "in")]
    for name in DEGREE_FAMILY:
        for x, y in xys:
            for nodes in (None, _subset(G)):
                assert agree(name, G, x=x, y=y, nodes=nodes)
    assert agree("degree_mixing_dict", G, normalized=True)
    assert agree("degree_mixing_matrix", G, normalized=False, mapping={d: i for i, d in enumerate(range(40))})


def _hubs(directed, multi, seed):
    """A sparse graph with hubs of 1..220 extra neighbours: over 128 distinct degrees, so every branch of
    numpy's pairwise sums over the mixing matrix's rows, columns and cells is taken."""
    rng = random.Random(seed)
    G = (nx.MultiDiGraph if directed else nx.MultiGraph)() if multi else (nx.DiGraph if directed else nx.Graph)()
    G.add_nodes_from(rng.sample(range(2000), 2000))
    for h in range(220):
        G.add_edges_from((h, rng.randrange(2000)) for _ in range(h + 1))
    G.add_edges_from((rng.randrange(2000), rng.randrange(2000)) for _ in range(3000))
    G.add_edges_from((v, v) for v in range(0, 2000, 97))
    return G


@pytest.mark.parametrize("directed", [False, True], ids=["undirected", "directed"])
@pytest.mark.parametrize("multi", [False, True], ids=["simple", "multi"])
@pytest.mark.parametrize("seed", [0, 1])
def test_degree_coefficient_over_long_rows(directed, multi, seed):
    G = _hubs(directed, multi, seed)
    xys = [("out", "in"), ("in", "in"), ("out", "out"), ("in", "out")] if directed else [("out", "in")]
    for x, y in xys:
        assert agree("degree_assortativity_coefficient", G, x=x, y=y)
    # The core formed the coefficient itself rather than handing the matrix to numpy.
    fg = convert_from_nx(G)
    degrees = list({d for _, d in G.degree})
    assert len(degrees) > 128
    keys = _core.parallel_counts(G._adj) if fg.has_parallel_edges() else None
    sides = (0, 1) if directed else (2, 2)
    assert fg.core.degree_coefficient(*sides, np.array(degrees, np.int64).tobytes(), keys) is not None


@pytest.mark.parametrize("G", [nx.cycle_graph(9), nx.complete_graph(5), nx.DiGraph([(0, 1)]),
                               nx.star_graph(4), nx.empty_graph(3)],
                         ids=["cycle", "complete", "one_arc", "star", "no_edges"])
def test_degree_coefficient_warnings_are_numpys(G):
    """No variance or no pairs: NetworkX's numpy divides by zero, with its warnings."""
    def run(backend):
        with warnings.catch_warnings(record=True) as seen:
            warnings.simplefilter("always")
            try:
                r = ("returned", _bits(nx.degree_assortativity_coefficient(G, backend=backend)))
            except Exception as exc:
                r = ("raised", type(exc), exc.args)
        return r, [(w.category, str(w.message)) for w in seen if "conversions" not in str(w.message)]
    assert run("fennel") == run("networkx")


@pytest.mark.parametrize("gid", GRAPHS)
def test_neighbour_degrees(gid):
    G = GRAPHS[gid]
    sides = ["in", "out", "in+out"] if G.is_directed() else [None]
    for source in sides:
        for target in sides:
            kw = {} if source is None else {"source": source, "target": target}
            for nodes in (None, _subset(G)):
                assert agree("average_neighbor_degree", G, nodes=nodes, **kw)
                assert agree("average_degree_connectivity", G, nodes=nodes, **kw)
    if len(G):
        assert agree("average_degree_connectivity", G, nodes=next(iter(G)))


@pytest.mark.parametrize("gid", GRAPHS)
def test_attribute_family(gid):
    G = GRAPHS[gid]
    for attribute in ("colour", "size", "absent"):
        for nodes in (None, _subset(G)):
            assert agree("attribute_mixing_dict", G, attribute, nodes=nodes, normalized=True)
            assert agree("attribute_mixing_matrix", G, attribute, nodes=nodes)
            assert agree("attribute_assortativity_coefficient", G, attribute, nodes=nodes)
    assert agree("attribute_mixing_matrix", G, "size", mapping={0: 3, 1: 2, 2: 1, 3: 0}, normalized=False)
    agree("numeric_assortativity_coefficient", G, "weight")  # some nodes lack it: NetworkX's KeyError
    nodes = [v for v in G if "weight" in G.nodes[v]]
    assert agree("numeric_assortativity_coefficient", G, "weight", nodes=nodes)


@pytest.mark.parametrize("view", [
    lambda: GRAPHS["ba_shuffled"].subgraph(list(GRAPHS["ba_shuffled"])[:40]),  # listed in its node set's order
    lambda: GRAPHS["str_ba"].edge_subgraph(list(GRAPHS["str_ba"].edges)[::3]),
    lambda: GRAPHS["directed_ba"].to_undirected(as_view=True),
    lambda: GRAPHS["directed_ba"].reverse(copy=False).subgraph(range(0, 300, 2)),
], ids=["small_subgraph", "edge_subgraph", "undirected", "reversed_subgraph"])
def test_attribute_family_on_views(view):
    """A view's node dict is a mapping of its own, listed in the view's node order."""
    G = view()
    for name in ("attribute_mixing_dict", "attribute_mixing_matrix", "attribute_assortativity_coefficient"):
        assert agree(name, G, "colour")
    nodes = [v for v in G if "weight" in G.nodes[v]]
    assert agree("numeric_assortativity_coefficient", G, "weight", nodes=nodes)


@pytest.mark.parametrize("values", [
    [1, 1.0, True, 2, 1],  # equal keys of other types: NetworkX keeps the first met in its walk
    [0.0, -0.0, 0.5, 0.0],
    [float("nan"), float("nan"), 1.5, None],
    [(1, "a"), (1, "a"), ("b",), None],
    [[1], [2], 3, 4],  # unhashable
])
def test_attribute_values_of_every_kind(values):
    G = GRAPHS["ba"].copy()
    for k, v in enumerate(G):
        G.nodes[v]["mixed"] = values[k % len(values)]
    for name in ("attribute_mixing_dict", "attribute_mixing_matrix", "attribute_assortativity_coefficient"):
        agree(name, G, "mixed")


@pytest.mark.parametrize(("name", "args", "kwargs"), [
    ("average_neighbor_degree", ("ba",), {"source": "in"}),
    ("average_neighbor_degree", ("directed_ba",), {"target": "both"}),
    ("average_neighbor_degree", ("directed_ba",), {"source": ["unhashable"]}),
    ("average_neighbor_degree", ("ba",), {"nodes": 3}),
    ("average_degree_connectivity", ("directed_ba",), {"source": "all"}),
    ("average_degree_connectivity", ("ba",), {"target": "in"}),
    ("degree_mixing_dict", ("directed_ba",), {"x": "in+out"}),
    ("degree_assortativity_coefficient", ("ba",), {"nodes": 3}),
    ("degree_pearson_correlation_coefficient", ("ba",), {"nodes": [0]}),
    ("degree_pearson_correlation_coefficient", ("ba",), {"nodes": [0, 1, 2, 3, 4, 5]}),
    ("attribute_mixing_dict", ("ba", "colour"), {"nodes": 3}),
])
def test_errors_and_edge_cases(name, args, kwargs):
    assert agree(name, GRAPHS[args[0]], *args[1:], **kwargs)


@pytest.mark.parametrize("threads", [1, 2])
def test_per_node_values_at_any_worker_count(threads):
    G = GRAPHS["directed_ba"]
    with nx.config.backends.fennel(n_jobs=threads):
        assert agree("average_neighbor_degree", G, source="in+out", target="in")
        assert agree("average_degree_connectivity", G, source="in", target="out")


@pytest.mark.parametrize("weight", [None, "weight"])
def test_weighted_degrees_left_to_networkx(weight):
    G = nx.Graph([(0, 1, {"weight": 2.5}), (1, 2, {"weight": 1})])
    assert agree("average_neighbor_degree", G, weight=weight) == (weight is None)


_SEEDED = """
import networkx as nx
G = nx.relabel_nodes(nx.barabasi_albert_graph(200, 3, seed=8), lambda i: f"n{i}")
got = nx.degree_mixing_dict(G, backend="fennel")
print(list(got) == list(nx.degree_mixing_dict(G)) and got == nx.degree_mixing_dict(G), list(got))
"""


def test_string_orders_follow_the_hash_seed():
    same_under_hash_seeds(_SEEDED)


# The rich club: undirected graphs without self-loops.
RICH = {gid: G for gid, G in GRAPHS.items() if not G.is_directed() and not G.is_multigraph()
        and nx.number_of_selfloops(G) == 0}


def _state_after(seed_of, **kwargs):
    rng = seed_of()
    outcome = _run("rich_club_coefficient", (kwargs.pop("G"),), {**kwargs, "seed": rng})
    return outcome, rng.getstate()


@pytest.mark.parametrize("gid", RICH)
def test_rich_club(gid):
    G = RICH[gid]
    assert agree("rich_club_coefficient", G, normalized=False)
    for seed in (0, 7):
        assert agree("rich_club_coefficient", G, Q=3, seed=seed)
    # A Random given in is moved on as NetworkX moves it, exceptions included.
    for Q in (2, -1):
        expected = _state_after(lambda: random.Random(11), G=G, Q=Q, backend="networkx")
        with nx.config(backend_priority=["fennel"]):
            assert _state_after(lambda: random.Random(11), G=G, Q=Q) == expected


@pytest.mark.parametrize(("graph", "kwargs"), [
    (nx.complete_graph(6), {"Q": 2, "seed": 1}),  # no swap can be made: the tries run out
    (nx.path_graph(3), {"seed": 1}),  # fewer than four nodes
    (nx.empty_graph(5), {"seed": 1}),  # fewer than two edges
    (nx.Graph([(0, 0), (1, 2)]), {}),  # a self-loop
    (nx.star_graph(5), {"Q": 1, "seed": 2}),  # normalisation by zero
    (nx.barabasi_albert_graph(60, 2, seed=1), {"Q": 0}),
    (nx.karate_club_graph(), {"normalized": False, "seed": "not a seed"}),
])
def test_rich_club_errors(graph, kwargs):
    assert agree("rich_club_coefficient", graph, **kwargs)


@pytest.mark.parametrize("n_samples", [0, 1, 3])
def test_rich_club_samples(n_samples):
    # Before NetworkX 3.7, n_samples is its TypeError.
    assert agree("rich_club_coefficient", RICH["ba"], Q=2, seed=5, n_samples=n_samples) or NX_VERSION < (3, 7)


def test_global_random_state_is_moved_on_as_networkx_moves_it():
    G = RICH["karate"]
    random.seed(3)
    expected = nx.rich_club_coefficient(G, Q=2, backend="networkx"), random.getstate()
    random.seed(3)
    with nx.config(backend_priority=["fennel"]):
        got = nx.rich_club_coefficient(G, Q=2), random.getstate()
    assert _bits(got[0]) == _bits(expected[0]) and got[1] == expected[1]


@pytest.mark.parametrize("method", ["degree_matrix", "degree_coefficient"])
@pytest.mark.parametrize(("args", "message"), [
    ((3, 0, b"", None), "side must be"),
    ((0, -1, b"", None), "side must be"),
    ((2, 2, b"", [1, 2]), "keys must hold one count per row slot"),
], ids=["x", "y", "keys"])
def test_degree_matrix_arguments(method, args, message):
    fg = convert_from_nx(nx.path_graph(4))
    with pytest.raises(ValueError, match=message):
        getattr(fg.core, method)(*args)
