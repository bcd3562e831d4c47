"""Module frame: the CoreGraph type, signatures, argument handling and error messages."""

import inspect
import re

import networkx as nx
import numpy as np
import pytest

import fennel._core as core
from zoo import convert

CoreGraph = core.CoreGraph


@pytest.fixture(scope="module")
def g():
    G = nx.path_graph(4)
    for u, v in G.edges:
        G.edges[u, v]["w"] = u + 0.5
    return convert(G, [("w", 1)])


def test_core_graph_type():
    assert (CoreGraph.__module__, CoreGraph.__name__, CoreGraph.__doc__) == ("fennel._core", "CoreGraph", None)
    with pytest.raises(TypeError):
        CoreGraph()


def test_all_paths_type(g):
    AllPaths = core.AllPaths
    assert (AllPaths.__module__, AllPaths.__name__, AllPaths.__doc__) == (
        "fennel._core", "AllPaths", "Lazy iterator over `all_shortest_paths` results (node positions).")
    assert AllPaths.next_path.__text_signature__ == "($self)"
    ap = g.path_walk(0, 3)
    assert type(ap) is AllPaths and not hasattr(ap, "__iter__") and not hasattr(ap, "__next__")
    with pytest.raises(TypeError, match="takes no arguments"):
        ap.next_path(0)
    with pytest.raises(AttributeError):
        ap.extra = 1


def test_cursor_type(g):
    Cursor = core.Cursor
    assert (Cursor.__module__, Cursor.__name__) == ("fennel._core", "Cursor")
    assert [getattr(Cursor, m).__text_signature__ for m in ("next_layer", "state", "changed", "expanded")] == [
        "($self)"] * 4
    assert g.bfs_cursor.__text_signature__ == (
        "($self, roots, depth_limit, reverse=False, *, nodes=None, root=None, items='edges', watch=None)")
    cursor = g.bfs_cursor([0], 4, nodes=tuple("abcd"))
    assert type(cursor) is Cursor and iter(cursor) is cursor and cursor.state() is None
    with pytest.raises(TypeError):
        Cursor()
    with pytest.raises(AttributeError):
        cursor.extra = 1
    for bad in [dict(nodes=tuple("abc")), dict(nodes=tuple("abcd"), items="other"), dict(nodes=tuple("abcd"), watch=1)]:
        with pytest.raises((ValueError, TypeError)):
            g.bfs_cursor([0], 4, **bad)
    with pytest.raises(IndexError):
        g.dfs_cursor([4], 4, nodes=tuple("abcd"))


@pytest.mark.parametrize("drop_at", [0, 2, 5, None])
def test_while_unchanged_stops_where_a_cache_loses_its_marker(drop_at):
    items, caches = list("abcde"), ({"k": 1}, {"k": 2})
    watch = tuple((c, "k", c["k"]) for c in caches)
    it = core._while_unchanged(items, watch)
    got = []
    for i, item in enumerate(it):
        got.append(item)
        if i + 1 == drop_at:
            caches[1].clear()  # as a graph's methods clear its cache
    handed = len(items) if drop_at is None else max(drop_at, 1) if drop_at else 0
    if drop_at == 0:
        caches[1].clear()
        got = list(core._while_unchanged(items, watch))
    assert got == items[:handed] and next(it, None) is None
    with pytest.raises(TypeError, match="watch must be None"):
        core._while_unchanged(items, ({"k": 1}, "k"))


@pytest.mark.parametrize("name, value", [("directed", True), ("extra", 1), ("neighbors", None)])
def test_instances_are_immutable(g, name, value):
    with pytest.raises(AttributeError):
        setattr(g, name, value)
    assert g.directed is False and len(g) == 4


MODULE_ORDER = [
    "CoreGraph", "AllPaths", "Cursor", "WhileUnchanged", "BfsResult", "BfsResults", "DijkstraResult", "DijkstraResults",
    "build_graph", "edge_data_reads_none", "parallel_counts",
    "_core_graph_from_bytes",
    "build_native", "build_native_arrays", "int_labels", "build_rx", "_py_sum", "_py_sum_kinds", "_py_sum_resume", "_numpy_sum",
    "_clique_next", "_all_cliques_next", "_clique_percolation", "_antichain_next", "_topological_sorts_next",
    "_topological_sorts_state", "_node_cut_seen", "_node_cut_pair", "_node_cut_next", "_tree_lca_next", "_dag_lca_next", "_dag_lca_pairs", "_johnson_search",
    "_chordless_rows", "_chordless_search", "_cycle_next", "_pair_hash", "_edges_copy", "_network_simplex",
    "_flow_products", "_capacity_scaling",
    "_louvain_level", "_community_unions", "_louvain_modularity", "_louvain_aggregate", "_leiden_move", "_leiden_refine",
    "_leiden_refine_drawing", "_leiden_aggregate",
    "set_num_threads", "num_threads", "_progress_hook", "_pool_probe", "_parallel_frontier", "_beside_nodes", "register_numpy",
    "_link_pairs", "_link_batch", "_link_non_edges",
    "_attribute_codes",
    "_laplacian_energies", "_add_rows", "_hypot", "_constraint_rows", "_while_unchanged",
]


def test_module_contents_in_registration_order():
    public = [k for k, v in vars(core).items() if not k.startswith("__") and not isinstance(v, int)]
    assert {"CoreGraph", "AllPaths", "build_graph"} <= set(public)
    assert public == [k for k in MODULE_ORDER if k in public]


# Methods whose docstring is only their signature.
EMPTY_DOCS = {"closeness", "_core_graph_from_bytes"}

FUNCTIONS = [fn for fn in vars(core).values() if not isinstance(fn, type) and getattr(fn, "__text_signature__", None)]
ENTRY_POINTS = FUNCTIONS + [
    getattr(CoreGraph, name)
    for name in dir(CoreGraph)
    if not name.startswith("__") and getattr(getattr(CoreGraph, name), "__text_signature__", None)
]


@pytest.mark.parametrize("fn", ENTRY_POINTS, ids=[fn.__name__ for fn in ENTRY_POINTS])
def test_text_signature_is_what_the_parser_accepts(g, fn):
    params = [p for p in inspect.signature(fn).parameters.values() if p.name != "self"]
    required = [p.name for p in params if p.default is inspect.Parameter.empty]
    call = fn if fn in FUNCTIONS else lambda *a, **k: fn(g, *a, **k)
    assert (fn.__doc__ or "").strip() or fn.__name__ in EMPTY_DOCS
    with pytest.raises(TypeError, match=r"positional argument|takes no arguments"):
        call(*[None] * (len(params) + 1))
    with pytest.raises(TypeError, match=r"unexpected keyword argument|takes no keyword arguments"):
        call(not_a_parameter=1)
    if required:
        with pytest.raises(TypeError, match=rf"missing 1 required positional argument: '{required[-1]}'$"):
            call(*[None] * (len(required) - 1))
    # Every parameter is accepted by its name: whatever fails then is the
    # conversion of a dummy value, never the matching of names.
    try:
        call(**{p.name: None for p in params})
    except Exception as exc:  # noqa: BLE001 - only the kind of failure matters
        assert not re.search(r"missing|unexpected keyword|multiple values", str(exc)), exc


P = ([0, 1], {0: 0, 1: 1}, {0: {1: {}}, 1: {0: {}}})  # nodes, index, succ of a single edge

ARG_ERRORS = {
    "missing_one": (lambda g: g.neighbors(), TypeError, r"^neighbors\(\) missing 1 required positional argument: 'v'$"),
    "missing_three": (lambda g: core.build_graph([], {}), TypeError,
                      r"missing 3 required positional arguments: 'succ', 'directed', and 'weight_attrs'$"),
    "unexpected_keyword": (lambda g: g.weight_symmetric(name="w"), TypeError,
                           r"^weight_symmetric\(\) got an unexpected keyword argument 'name'$"),
    "duplicate": (lambda g: g.has_edge(0, u=1), TypeError, r"^has_edge\(\) got multiple values for argument 'u'$"),
    "too_many_positionals": (lambda g: g.dijkstra_many([0], None, None, 1), TypeError,
                             r"^dijkstra_many\(\) takes .* positional arguments but 4 were given$"),
    "too_many_exact": (lambda g: g.has_edge(0, 1, 2), TypeError, r" positional arguments but 3 were given$"),
    "no_arguments_taken": (lambda g: g.degrees(0), TypeError, r"degrees\(\) takes no arguments"),
    "str_position": (lambda g: g.neighbors("1"), TypeError, r"'v'"),
    "negative_position": (lambda g: g.neighbors(-1), OverflowError, r"'v'"),
    "position_beyond_64_bits": (lambda g: g.predecessors(2**64), OverflowError, r"'v'"),
    "position_beyond_n": (lambda g: g.neighbors(4), IndexError, r"^node index out of range$"),
    "position_beyond_32_bits": (lambda g: g.neighbors(2**40), IndexError, r"^node index out of range$"),
    "predecessors_beyond_n": (lambda g: g.predecessors(4), IndexError, r"^node index out of range$"),
    "has_edge_u_beyond_n": (lambda g: g.has_edge(4, 0), IndexError, r"^node index out of range$"),
    "has_edge_v_beyond_n": (lambda g: g.has_edge(0, 4), IndexError, r"^node index out of range$"),
    "sources_beyond_n": (lambda g: g.betweenness(sources=[0, 4]), IndexError, r"^node index out of range$"),
    "int_for_bool": (lambda g: g.betweenness(endpoints=1), TypeError, r"'endpoints'"),
    "none_for_bool_default_false": (lambda g: core.build_graph(*P, False, [], None), TypeError, r"'multigraph'"),
    "int_for_directed": (lambda g: core.build_graph(*P, 1, []), TypeError, r"'directed'"),
    "str_for_sources": (lambda g: g.betweenness(sources="01"), TypeError, r"'sources'"),
    "set_for_sources": (lambda g: g.edge_betweenness(sources={0, 1}), TypeError, r"'sources'"),
    "str_in_sources": (lambda g: g.betweenness(sources=[0, "1"]), TypeError, r"'sources'"),
    "negative_in_sources": (lambda g: g.betweenness(sources=(0, -1)), OverflowError, r"'sources'"),
    "non_str_attr": (lambda g: g.weight_symmetric(5), TypeError, r"'attr'"),
    "tuple_for_nodes": (lambda g: core.build_graph(tuple(P[0]), *P[1:], False, []), TypeError, r"'nodes'"),
    "list_for_index": (lambda g: core.build_graph(P[0], [0, 1], P[2], False, []), TypeError, r"'index'"),
    "int_for_weight_attrs": (lambda g: core.build_graph(*P, False, 5), TypeError, r"'weight_attrs'"),
    "weight_attrs_item_not_tuple": (lambda g: core.build_graph(*P, False, ["w"]), TypeError, r"tuple"),
    "weight_attrs_item_length": (lambda g: core.build_graph(*P, False, [("w", 1, 2)]), ValueError,
                                 r"^expected tuple of length 2, but got tuple of length 3$"),
    "load_weight_attrs_item_not_tuple": (lambda g: g.load_exact_pred(None, None, None, [["w", 1]]), TypeError, "tuple"),
    "attr_not_converted": (lambda g: g.dijkstra_many([0], "v\"\n"), NotImplementedError,
                           r'^edge attribute "v\\"\\n" was not converted$'),
}


@pytest.mark.parametrize("call, exc, pattern", ARG_ERRORS.values(), ids=ARG_ERRORS.keys())
def test_argument_errors(g, call, exc, pattern):
    with pytest.raises(exc, match=pattern):
        call(g)


SAME = {
    "keywords": (lambda g: g.has_edge(v=1, u=0), lambda g: g.has_edge(0, 1)),
    "numpy_position": (lambda g: g.neighbors(np.int64(1)), lambda g: g.neighbors(1)),
    "numpy_bool": (lambda g: g.betweenness(endpoints=np.bool_(True)), lambda g: g.betweenness(None, True)),
    "sources_none": (lambda g: g.betweenness(sources=None), lambda g: g.betweenness()),
    "sources_tuple": (lambda g: g.betweenness(None, False, (0, 2)), lambda g: g.betweenness(sources=[0, 2])),
    "sources_range": (lambda g: g.edge_betweenness(sources=range(2)), lambda g: g.edge_betweenness(None, [0, 1])),
    "weight_none": (lambda g: g.dijkstra_many([0], None, None).lengths(), lambda g: g.dijkstra_many(sources=[0]).lengths()),
    "attr_none": (lambda g: g.weight_symmetric(None), lambda g: g.weight_symmetric()),
    "unknown_attr": (lambda g: g.weight_symmetric("nope"), lambda g: g.weight_symmetric()),
    "numpy_bool_directed": (lambda g: core.build_graph(*P, np.bool_(True), []).directed, lambda g: True),
}


@pytest.mark.parametrize("call, reference", SAME.values(), ids=SAME.keys())
def test_equivalent_argument_forms(g, call, reference):
    assert call(g) == reference(g)


def _convert_data(data, attrs, multigraph=False):
    return core.build_graph([0, 1], {0: 0, 1: 1}, {0: {1: data}, 1: {}}, True, attrs, multigraph)


class Pairs:  # a row mapping whose .items() yields the given items
    def __init__(self, *items):
        self.items = lambda: iter(items)


CONVERT_ERRORS = {
    "non_str_name": (lambda: _convert_data({5: 1}, [(5, 1)]), TypeError, r"str"),
    "non_str_name_after_reading": (lambda: _convert_data({5: "x"}, [(5, 1)]), NotImplementedError,
                                   r"^unsupported edge weight type: str$"),
    "edge_without_keys": (lambda: _convert_data({}, [("w", 1)], True), NotImplementedError, r"^edge without keys$"),
    "row_lookup_fails": (lambda: core.build_graph([0, 1], {0: 0, 1: 1}, {0: {}}, True, []), KeyError, r"^1$"),
    "row_item_not_tuple": (lambda: core.build_graph([0], {0: 0}, {0: Pairs([0, {}])}, True, []), TypeError, r"tuple"),
    "row_item_length": (lambda: core.build_graph([0], {0: 0}, {0: Pairs((0, {}, 1))}, True, []), ValueError,
                        r"^expected tuple of length 2, but got tuple of length 3$"),
    "unhashable_neighbour": (lambda: core.build_graph([0], {0: 0}, {0: Pairs(([0], {}))}, True, []), TypeError,
                             r"unhashable"),
    "data_without_get": (lambda: _convert_data(object(), [("w", 1)]), AttributeError, r"get"),
}


@pytest.mark.parametrize("call, exc, pattern", CONVERT_ERRORS.values(), ids=CONVERT_ERRORS.keys())
def test_conversion_errors(call, exc, pattern):
    with pytest.raises(exc, match=pattern):
        call()


def test_attributes_ignored_without_request():
    # Key dictionaries and edge data are not read when no attribute is asked for.
    g = _convert_data({}, [], True)
    assert (g.neighbors(0), g.predecessors(1)) == ([1], [0])
    assert _convert_data(object(), []).number_of_edges() == 1
