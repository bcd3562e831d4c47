"""build_graph / load_exact_pred against NetworkX's own view of the same graph."""

import math
import random
from types import MappingProxyType

import networkx as nx
import numpy as np
import pytest

import fennel._core as core
from zoo import FLAVOURS, ZOO, ZOO_IDS, add_weights, convert, dijkstra_lengths, shape

from fennel.backend.registry import RELEASE_REFUSALS
from fennel.backend.kinds import register_numpy

register_numpy()  # numpy's float64, int64 and bool_ values convert from here on


def outcome(fn):
    """fn()'s result, or the message of the NotImplementedError it raised."""
    try:
        return fn()
    except NotImplementedError as e:
        return str(e)


def expected_flags(G, name, default):
    """(all_int, has_hidden, mixed) as NetworkX's weight function sees the edge data."""
    kinds = set()
    for row in G._adj.values():
        for data in row.values():
            if G.is_multigraph():
                vals = [d.get(name, default) for d in data.values()]
                if len(vals) > 1 and any(x is None for x in vals):
                    return "None weights among parallel edges"
                x = min(vals)  # NetworkX's multigraph weight: the first minimum wins
            else:
                x = data.get(name, default)
            kinds.add("none" if x is None else "float" if isinstance(x, (float, np.floating)) else "int")
    all_int = "float" not in kinds
    return (all_int, "none" in kinds), "int" in kinds and not all_int


def flags(g, name):
    facts = g.weight_facts(name)
    return (facts["all_int"], facts["has_hidden"]), facts["mixed"]


@pytest.mark.parametrize("gid", ZOO_IDS)
def test_structure_matches_networkx(gid):
    G = ZOO[gid]
    nodes = list(G)
    index = {v: i for i, v in enumerate(nodes)}
    n = len(nodes)
    simple = (nx.DiGraph if G.is_directed() else nx.Graph)(G) if G.is_multigraph() else G
    g = convert(G)
    assert (len(g), g.directed, g.native_edges()) == (n, G.is_directed(), None)
    rows = [[index[v] for v in G._adj[x]] for x in nodes]
    assert [g.neighbors(u) for u in range(n)] == rows
    preds = [sorted(index[u] for u in G._pred[x]) for x in nodes] if G.is_directed() else rows
    assert [g.predecessors(v) for v in range(n)] == preds
    edges = [(index[u], index[v]) for u, v in dict.fromkeys(G.edges())]
    us, vs, ids = g.edges_in_order()
    assert (list(zip(us, vs)), ids) == (edges, None)
    assert g.degrees() == [simple.degree(v) for v in nodes]
    assert g.number_of_edges() == simple.number_of_edges()
    assert [[g.has_edge(i, j) for j in range(n)] for i in range(n)] == [
        [G.has_edge(a, b) for b in nodes] for a in nodes
    ]
    assert g.attribute_names() == []


@pytest.mark.parametrize("default", [1, 0.5, None], ids=["default_int", "default_float", "default_none"])
@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ZOO_IDS)
def test_weight_flags_match_edge_data(gid, flavour, default):
    G = add_weights(ZOO[gid], flavour, seed=len(gid))
    attrs = [("weight", default), ("other", 2.5)]
    expected = expected_flags(G, "weight", default)
    got = outcome(lambda: convert(G, attrs))
    if isinstance(expected, str):
        assert got == expected
        return
    assert (flags(got, "weight"), flags(got, "other")) == (expected, expected_flags(G, "other", 2.5))
    assert got.attribute_names() == ["other", "weight"]
    assert got.edges_in_order() == convert(G).edges_in_order()


class BadIndex:
    def __init__(self, exc=RuntimeError("no index")):
        self.exc = exc

    def __index__(self):
        raise self.exc


class NoFloat:  # looks like a numpy scalar (has a dtype) but has no float value
    dtype = "O"


class LookupFails:
    def __getattr__(self, name):
        raise LookupError(name)


TOO_LARGE = (NotImplementedError, "integer edge weight is too large")

# (values of the parallel edges 0 -> 1, multigraph, expected kind or (exception, message))
VALUES = {
    "int": ((7,), False, "int"),
    "negative_int": ((-3,), False, "int"),
    "true_is_int_1": ((True,), False, "int"),
    "float": ((2.5,), False, "float"),
    "inf": ((float("inf"),), False, "float"),
    "none": ((None,), False, "none"),
    "two_pow_53": ((2**53,), False, "int"),
    "minus_two_pow_53": ((-(2**53),), False, "int"),
    "two_pow_53_plus_1": ((2**53 + 1,), False, TOO_LARGE),
    "minus_two_pow_53_minus_1": ((-(2**53) - 1,), False, TOO_LARGE),
    "two_pow_53_plus_2": ((2**53 + 2,), False, TOO_LARGE),
    "beyond_64_bits": ((2**64,), False, TOO_LARGE),
    "np_float64": ((np.float64(0.1),), False, "float"),
    "np_float32": ((np.float32(0.1),), False, "float"),
    "np_int64": ((np.int64(9),), False, "int"),
    "np_int64_too_large": ((np.int64(2**53 + 1),), False, TOO_LARGE),
    "index_raises_propagates": ((BadIndex(),), False, (RuntimeError, "no index")),
    "index_overflow_is_too_large": ((BadIndex(OverflowError("big")),), False, TOO_LARGE),
    "dtype_without_float": ((NoFloat(),), False, (NotImplementedError, "unsupported edge weight type: NoFloat")),
    "attribute_lookup_raises": ((LookupFails(),), False, (LookupError, "__index__")),
    "nan": ((float("nan"),), False, (NotImplementedError, "NaN edge weights are not supported")),
    "np_float32_nan": ((np.float32("nan"),), False, (NotImplementedError, "NaN edge weights are not supported")),
    "str": (("3",), False, (NotImplementedError, "unsupported edge weight type: str")),
    "multi_first_minimum_wins": ((3, 1.0, 1), True, "float"),
    "multi_int_minimum": ((2.5, 1, 1.0), True, "int"),
    "multi_single_none": ((None,), True, "none"),
    "multi_none_among_parallel": ((2, None), True, (NotImplementedError, "None weights among parallel edges")),
    "multi_none_first": ((None, 2), True, (NotImplementedError, "None weights among parallel edges")),
}


@pytest.mark.parametrize("values, multigraph, expected", VALUES.values(), ids=VALUES.keys())
def test_value_parsing(values, multigraph, expected):
    G = nx.MultiDiGraph() if multigraph else nx.DiGraph()
    G.add_nodes_from([0, 1])
    for w in values:
        G.add_edge(0, 1, w=w)
    if isinstance(expected, tuple):
        with pytest.raises(expected[0]) as info:
            convert(G, [("w", 1)])
        assert str(info.value).strip("'") == expected[1]
        return
    g = convert(G, [("w", 1)])
    assert flags(g, "w")[0] == {"int": (True, False), "float": (False, False), "none": (True, True)}[expected]
    # The converted value, read back through a search, is the one NetworkX uses.
    ref = nx.single_source_dijkstra_path_length(G, 0, weight="w")
    assert dijkstra_lengths(g, 0, "w") == (list(ref), list(ref.values()))


class Label(str):
    """A str subclass: the conversion never compares it itself."""


class Number(int):
    """An int subclass: the conversion never compares it itself."""


BIG = 10**20
MISSING = "adjacency refers to a node missing from G"
# (nodes, adjacency, error); neighbours that are equal to but not the node objects go through `index`
NODE_LOOKUP = {
    "identity_positions": ([0, 1, 2], {0: {2: {}, 1: {}}, 1: {0: {}}, 2: {2: {}}}, None),
    "permuted_ints": ([1, 0, 2], {1: {2: {}, 0: {}}, 0: {1: {}}, 2: {}}, None),
    "bool_for_1": ([0, 1, 2], {0: {True: {}}, 1: {False: {}}, 2: {}}, None),
    "float_for_1": ([1, 0, 2], {1: {}, 0: {1.0: {}}, 2: {0.0: {}}}, None),
    "big_int_copies": ([BIG, BIG + 1], {BIG: {int(str(BIG + 1)): {}}, BIG + 1: {int(str(BIG)): {}, BIG + 1: {}}}, None),
    "tuple_copies": ([(0, 1), (1, 2)], {(0, 1): {tuple([1, 2]): {}}, (1, 2): {tuple([0, 1]): {}}}, None),
    "identity_beyond_n": ([0, 1], {0: {2: {}}, 1: {}}, MISSING),
    "identity_negative": ([0, 1], {0: {-1: {}}, 1: {}}, MISSING),
    "identity_str": ([0, 1], {0: {"1": {}}, 1: {}}, MISSING),
    "table_absent": ([1, 0], {1: {5: {}}, 0: {}}, MISSING),
    "equal_copy_absent": ([BIG], {BIG: {int(str(BIG + 1)): {}}}, MISSING),
    # Keys of one plain type for nodes of another: CPython's equality decides.
    "int_for_true": ([True, 500, 700], {True: {500: {}}, 500: {1: {}, 700: {}}, 700: {}}, None),
    "int_for_float": ([2.0, 500, 700], {2.0: {}, 500: {2: {}}, 700: {int("500"): {}}}, None),
    "float_for_int": ([300, 500, 700], {300: {}, 500: {300.0: {}}, 700: {}}, None),
    # Ints whose hash is not their value (-1; 2^61 - 1 and beyond), sparse and dense.
    "hash_not_value_sparse": (
        [-1, -2, 2**61 - 1, 2**61, 2**63 - 1, -(2**63), 2**64],
        {-2: {int(str(-1)): {}, int(str(2**61 - 1)): {}, int(str(2**64)): {}},
         -1: {int(str(2**63 - 1)): {}, int(str(-(2**63))): {}, int(str(2**61)): {}, -2: {}},
         2**61 - 1: {}, 2**61: {}, 2**63 - 1: {}, -(2**63): {}, 2**64: {}},
        None,
    ),
    "dense_negative": ([-1, -3, -2], {-3: {-1: {}, -2: {}}, -1: {}, -2: {-3: {}}}, None),
    "dense_absent": ([300, 302, 301], {300: {303: {}}, 302: {}, 301: {}}, MISSING),
    "sparse_absent": ([300, 10**12], {300: {10**12 + 1: {}}, 10**12: {}}, MISSING),
    "str_absent": (["ab", "cd"], {"ab": {"ce": {}}, "cd": {}}, MISSING),
    "str_hash_of_int": (["ab", 7], {"ab": {hash("ab"): {}}, 7: {}}, MISSING),
    "str_subclass_key": (["ab", "cd"], {"ab": {Label("cd"): {}}, "cd": {Label("ab"): {}}}, None),
    "int_subclass_key": ([300, 500], {300: {Number(500): {}}, 500: {Number(300): {}}}, None),
    "mixed_plain_copies": (
        [(1, "a"), "xy", 1.5, None, 900, (2, (3.0, "b"))],
        {(1, "a"): {"".join(["x", "y"]): {}, (int("2"), (3, "b")): {}}, "xy": {(1, "".join("a")): {}, None: {}},
         1.5: {float("1.5"): {}, int("900"): {}}, None: {}, 900: {}, (2, (3.0, "b")): {}},
        None,
    ),
}


@pytest.mark.parametrize("nodes, adj, error", NODE_LOOKUP.values(), ids=NODE_LOOKUP.keys())
def test_neighbour_lookup(nodes, adj, error):
    index = {v: i for i, v in enumerate(nodes)}
    try:
        g = core.build_graph(nodes, index, adj, True, [])
    except ValueError as e:
        assert str(e) == error
        return
    assert error is None
    assert [g.neighbors(u) for u in range(len(nodes))] == [[index[v] for v in adj[x]] for x in nodes]


class Items:  # a row mapping with nothing but .items()
    def __init__(self, d):
        self.items = lambda: iter(list(d.items()))


class Data:  # edge data with nothing but .get()
    def __init__(self, d):
        self.get = d.get


def _wrap(adj, row, data, keys=None):
    inner = (lambda kd: keys({k: data(d) for k, d in kd.items()})) if keys else data
    return MappingProxyType({u: row({v: inner(d) for v, d in r.items()}) for u, r in adj.items()})


WRAPPERS = {
    "mappingproxy": dict(row=MappingProxyType, data=MappingProxyType, keys=MappingProxyType),
    "custom_objects": dict(row=Items, data=Data, keys=MappingProxyType),
    "dict_subclass_rows": dict(row=type("Row", (dict,), {}), data=Data, keys=type("Keys", (dict,), {})),
}


@pytest.mark.parametrize("gid", ["digraph_shuffled", "multidigraph", "gnp_loops_isolates", "mixed_nodes"])
@pytest.mark.parametrize("wrapper", WRAPPERS.values(), ids=WRAPPERS.keys())
def test_non_dict_mappings_convert_alike(gid, wrapper):
    G = add_weights(ZOO[gid], "mixed" if gid != "multidigraph" else "float", seed=3)
    nodes, multi = list(G), G.is_multigraph()
    index = {v: i for i, v in enumerate(nodes)}
    succ = _wrap(G._adj, keys=wrapper["keys"] if multi else None, row=wrapper["row"], data=wrapper["data"])

    def build(adj):
        return core.build_graph(nodes, index, adj, G.is_directed(), [("weight", 1)], multi)

    g, ref = build(succ), build(G._adj)
    assert [g.neighbors(u) for u in range(len(G))] == [ref.neighbors(u) for u in range(len(G))]
    assert (flags(g, "weight"), g.edges_in_order()) == (flags(ref, "weight"), ref.edges_in_order())
    assert dijkstra_lengths(g, 0, "weight") == dijkstra_lengths(ref, 0, "weight")


def test_attribute_names_sorted_bytewise_and_replaced():
    G = nx.path_graph(3)
    G.edges[0, 1]["w"] = 1.5
    names = ["b", "a", "B", "\u00e9", "z", "\U0001f600", "A b"]
    g = convert(G, [(s, 1) for s in names] + [("w", 1), ("w", None)])
    assert g.attribute_names() == sorted(set(names + ["w"]), key=str.encode)
    # A repeated name keeps the last column.
    assert flags(g, "w") == expected_flags(G, "w", None) != expected_flags(G, "w", 1)
    assert flags(convert(G, [("w", None), ("w", 1)]), "w") == expected_flags(G, "w", 1)


def _pred_graph():
    G = nx.DiGraph()
    G.add_nodes_from([0, 1, 2])
    G.add_edges_from([(2, 0, {"w": 1}), (1, 0, {"w": 2}), (0, 1, {"w": 3}), (2, 1, {"w": 4})])
    return G, list(G), {v: i for i, v in enumerate(G)}


def test_exact_pred_lifecycle():
    G, nodes, index = _pred_graph()
    g = convert(G, [("w", 1)])
    assert g.predecessors(0) == [1, 2] != [index[u] for u in G._pred[0]]
    assert not g.has_exact_pred()
    fewer = {v: dict(r) for v, r in G._pred.items()}
    del fewer[0][1]
    bad_weight = {v: {u: {"w": "x"} for u in r} for v, r in G._pred.items()}
    failures = [
        (ValueError, "node list does not match this graph", (nodes[:-1], index, G._pred)),
        (ValueError, "predecessors do not match this graph", (nodes, index, fewer)),
        (NotImplementedError, "unsupported edge weight type: str", (nodes, index, bad_weight)),
        (KeyError, "2", (nodes, index, {0: {}, 1: {}})),
    ]
    for exc, message, args in failures:
        with pytest.raises(exc) as info:
            g.load_exact_pred(*args, [("w", 1)])
        assert str(info.value) == message and not g.has_exact_pred()
    assert g.load_exact_pred(nodes, index, G._pred, [("w", 1)]) is None
    assert g.has_exact_pred()
    # Once loaded, later loads are ignored without reading their arguments.
    assert g.load_exact_pred([], {}, None, [("v", 1)]) is None
    assert g.has_exact_pred() and g.predecessors(0) == [1, 2]
    # Undirected graphs always have their exact order; loading reads nothing.
    u = convert(G.to_undirected())
    assert u.has_exact_pred() and u.load_exact_pred(None, None, None, []) is None


@pytest.mark.parametrize("gid", [k for k in ZOO_IDS if ZOO[k].is_directed()])
def test_exact_pred_loads_from_zoo(gid):
    G = add_weights(ZOO[gid], "float")
    nodes = list(G)
    g = convert(G, [("weight", 1)])
    g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, G._pred, [("weight", 1)], G.is_multigraph())
    assert g.has_exact_pred()


def test_predecessor_rows_of_a_graph_large_enough_to_sort_in_parallel():
    # Over 2**17 slots the counting sort is split over source ranges; rows
    # must still list predecessors by ascending position.
    G = nx.gnm_random_graph(3000, 150_000, seed=5, directed=True)
    g = convert(G)
    index = {v: i for i, v in enumerate(G)}
    for v in G:
        assert g.predecessors(index[v]) == sorted(index[u] for u in G._pred[v])
    assert g.degrees() == [G.degree(v) for v in G]


def scanned_facts(G, name, default):
    """What weight_facts reports, by a Python scan of every value read."""
    values = [
        d.get(name, default)
        for row in G._adj.values()
        for data in row.values()
        for d in (data.values() if G.is_multigraph() else [data])
    ]
    plain = all(type(x) in (int, float, bool, type(None), np.float64, np.int64, np.bool_) for x in values)
    numbers = [float(x) for x in values if x is not None]
    finite = [x for x in numbers if math.isfinite(x)]
    lo, hi = (min(finite), max(finite)) if finite else (None, None)
    return {"plain": plain, "min_finite": lo, "max_finite": hi, "pos_inf": math.inf in numbers,
            "neg_inf": -math.inf in numbers, "numpy_bool": any(type(x) is np.bool_ for x in values)}


def value_facts(g, name):
    """The facts weight_facts reports of every value read (not of the slots)."""
    facts = g.weight_facts(name)
    return facts and {key: facts[key] for key in ("plain", "min_finite", "max_finite", "pos_inf", "neg_inf",
                                                  "numpy_bool")}


SPECIAL_WEIGHTS = {
    "numpy_scalars": [np.float64(0.5), np.int64(3), 2, np.bool_(True)],
    "other_numpy_scalars": [np.float32(0.5), np.int32(3), 2],
    "bounds_of_exact_ints": [2**53, -(2**53), 1],
    "both_infinities": [math.inf, -math.inf, 1.5],
    "nones_and_bools": [None, True, False],
    "only_none": [None, None],
    "float_subclass": [type("F", (float,), {})(2.5), 1.0],
}


@pytest.mark.parametrize("values", SPECIAL_WEIGHTS.values(), ids=SPECIAL_WEIGHTS.keys())
@pytest.mark.parametrize("multigraph", [False, True], ids=["graph", "multigraph"])
def test_weight_facts_match_a_python_scan(values, multigraph):
    G = nx.MultiDiGraph() if multigraph else nx.DiGraph()
    for i, x in enumerate(values):
        G.add_edge(i, i + 1, weight=x)
        if multigraph and x is not None:
            G.add_edge(i, i + 1, weight=7)  # a parallel edge: its value is read too
    g = convert(G, [("weight", 1), ("absent", -2.5)])
    assert value_facts(g, "weight") == scanned_facts(G, "weight", 1)
    assert value_facts(g, "absent") == scanned_facts(G, "absent", -2.5)
    assert g.weight_facts("never_converted") is None


@pytest.mark.parametrize("flavour", FLAVOURS)
@pytest.mark.parametrize("gid", ["gnp", "digraph", "multigraph", "multidigraph", "empty"])
def test_weight_facts_over_the_zoo(gid, flavour):
    G = add_weights(ZOO[gid], flavour, seed=3)
    got = outcome(lambda: value_facts(convert(G, [("weight", None)]), "weight"))
    if isinstance(got, str):
        assert got == "None weights among parallel edges"
    else:
        assert got == scanned_facts(G, "weight", None)


# Neighbour keys equal to the nodes but not the node objects (edge lists of
# ints, read_edgelist, DataFrame rows): found by value, as the objects are


def _copy_of(x):
    """An object equal to `x`, of its type, that is not `x` where CPython allows it."""
    if type(x) is int:
        return int(str(x))
    if type(x) is str:
        return (x + ".")[:-1]
    if type(x) is float:
        return float(repr(x))
    if type(x) is tuple:
        return tuple(map(_copy_of, x))
    return x


LABELLINGS = {
    "dense_ints": lambda i: 1000 + 3 * i,
    "sparse_ints": lambda i: (i - 30) * 2**57 + 12345,  # beyond 2^61 an int's hash is not its value
    "strs": lambda i: f"node-{i}",
    "tuples": lambda i: (300 + i // 8, f"c{i % 8}"),
    "mixed": lambda i: [1000 + i, f"s{i}", (i, "t"), i + 0.5, -1 - i][i % 5],
}
FRESH_BASES = ["gnp_loops_isolates", "digraph_loops_isolates", "multigraph_loops", "multidigraph"]


def identical_and_fresh(base, label, seed):
    """Two copies of `base` relabelled by `label`, nodes and edges inserted in
    one shuffled order: one names edge ends by the node objects, the other by
    a new equal object at every end."""
    rng = random.Random(seed)
    name = {v: label(i) for i, v in enumerate(base)}
    nodes = list(base)
    rng.shuffle(nodes)
    edges = list(base.edges(keys=True, data=True) if base.is_multigraph() else base.edges(data=True))
    rng.shuffle(edges)
    graphs = []
    for copy in (lambda x: x, _copy_of):
        G = base.__class__()
        G.add_nodes_from(name[v] for v in nodes)
        for u, v, *key, data in edges:
            G.add_edge(copy(name[u]), copy(name[v]), *key, **data)
        graphs.append(G)
    return graphs


def fennel_and_networkx(name, G, *args, **kwargs):
    def run(backend):
        result = getattr(nx, name)(G, *args, backend=backend, **kwargs)
        return shape(result if isinstance(result, dict) else list(result))

    return run("fennel"), run("networkx")


@pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")
@pytest.mark.parametrize("labelling", LABELLINGS)
@pytest.mark.parametrize("gid", FRESH_BASES)
def test_fresh_neighbour_keys_read_as_the_node_objects(gid, labelling):
    same, fresh = identical_and_fresh(add_weights(ZOO[gid], "int", seed=5), LABELLINGS[labelling], seed=len(gid))
    by_value = {v: v for v in fresh}
    assert any(k is not by_value[k] for row in fresh._adj.values() for k in row)
    attrs = [("weight", 1)]
    g, ref = convert(fresh, attrs), convert(same, attrs)
    n = len(fresh)
    assert [g.neighbors(u) for u in range(n)] == [ref.neighbors(u) for u in range(n)]
    assert g.edges_in_order() == ref.edges_in_order()
    assert dijkstra_lengths(g, 0, "weight") == dijkstra_lengths(ref, 0, "weight")
    assert g.keys_are_nodes() and ref.keys_are_nodes()
    source = next(iter(fresh))
    calls = [("single_source_shortest_path_length", source), ("single_source_dijkstra_path_length", source)]
    if fresh.is_directed():
        nodes, index = list(fresh), {v: i for i, v in enumerate(fresh)}
        g.load_exact_pred(nodes, index, fresh._pred, attrs, fresh.is_multigraph())
        assert g.has_exact_pred() and g.keys_are_nodes(True)
        calls += [("single_target_shortest_path_length", source), ("weakly_connected_components",)]
    else:
        calls += [("connected_components",)]
    for name, *args in calls:
        if name in RELEASE_REFUSALS:
            continue
        ours, theirs = fennel_and_networkx(name, fresh, *args)
        assert ours == theirs, name
