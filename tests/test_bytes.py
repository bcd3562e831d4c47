"""The byte format of CoreGraph: pickle and deepcopy round trips, the reader's
refusals, and a fuzz of the reader that must never crash the interpreter.

The layout is parsed and written here independently of the C++, so that
mutations can change one fact of a valid graph and keep the rest consistent.
"""

import copy
import math
import multiprocessing
import os
import pickle
import random
import struct
import subprocess
import sys
import time
from functools import cache
from types import SimpleNamespace

import networkx as nx
import pytest
from zoo import ZOO, add_weights, convert

import fennel._core as core

read = core._core_graph_from_bytes
MALFORMED = "malformed fennel graph data"
NAN = 0x7FF8000000000000  # the quiet NaN a None weight is stored as
ONE = 0x3FF0000000000000  # 1.0, the weight of an absent native attribute
INF = math.inf


def data_of(g):
    rebuild, (data,) = g.__reduce__()
    assert rebuild is read
    return data


def f2b(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


# ---------------------------------------------------------------------------
# The layout: parse(data) -> namespace, dump(namespace) -> data. Float arrays
# are kept as their 64-bit patterns, so NaN payloads survive.


class Cursor:
    def __init__(self, data):
        self.data, self.pos, self.counts, self.flags = data, 4, [], []

    def take(self, fmt):
        out = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return out

    def u64(self):
        self.counts.append(self.pos)
        return self.take("Q")[0]

    def flag(self):
        self.flags.append(self.pos)
        (x,) = self.take("B")
        assert x in (0, 1)
        return x == 1

    def array(self, code):
        k = self.u64()
        return list(self.take(f"{k}{code}"))

    def name(self):
        k = self.u64()
        self.pos += k
        return self.data[self.pos - k:self.pos]

    def csr(self):
        return self.array("Q"), self.array("I")


def parse(data, cursor=None):
    r = cursor or Cursor(data)
    F = SimpleNamespace(magic=data[:4], n=r.u64(), directed=r.flag(), succ=r.csr())
    F.pred = r.csr() if r.flag() else None
    F.weights = []
    for _ in range(r.u64()):
        w = SimpleNamespace(name=r.name(), values=r.array("Q"))
        w.pred_values = r.array("Q") if r.flag() else None
        w.all_int, w.has_hidden = r.flag(), r.flag()
        w.has_int = r.flag() if F.magic == b"FNL3" else True
        F.weights.append(w)
    F.exact = None
    if r.flag():
        rows = r.csr()
        F.exact = (rows, [(r.name(), r.array("Q")) for _ in range(r.u64())])
    F.pred_exact = r.flag()
    F.native = None
    if r.flag():
        F.native = SimpleNamespace(src=r.array("I"), dst=r.array("I"), ids=r.array("I"))
        F.native.attrs = [(r.name(), r.array("Q"), bytes(r.array("B"))) for _ in range(r.u64())]
    assert r.pos == len(data)
    return F


def dump(F):
    def array(code, xs):
        return struct.pack(f"<Q{len(xs)}{code}", len(xs), *xs)

    def name(s):
        return struct.pack("<Q", len(s)) + s

    def csr(rows):
        return array("Q", rows[0]) + array("I", rows[1])

    flag = [b"\0", b"\1"].__getitem__
    out = [F.magic, struct.pack("<Q", F.n), flag(F.directed), csr(F.succ), flag(F.pred is not None)]
    out += [csr(F.pred)] if F.pred is not None else []
    out.append(struct.pack("<Q", len(F.weights)))
    for w in F.weights:
        out += [name(w.name), array("Q", w.values), flag(w.pred_values is not None)]
        out += [array("Q", w.pred_values)] if w.pred_values is not None else []
        out += [flag(w.all_int), flag(w.has_hidden)] + ([flag(w.has_int)] if F.magic == b"FNL3" else [])
    out.append(flag(F.exact is not None))
    if F.exact is not None:
        out += [csr(F.exact[0]), struct.pack("<Q", len(F.exact[1]))]
        out += [name(s) + array("Q", xs) for s, xs in F.exact[1]]
    out += [flag(F.pred_exact), flag(F.native is not None)]
    if F.native is not None:
        e = F.native
        out += [array("I", e.src), array("I", e.dst), array("I", e.ids), struct.pack("<Q", len(e.attrs))]
        out += [name(s) + array("Q", xs) + array("B", kinds) for s, xs, kinds in e.attrs]
    return b"".join(out)


def rows_of(rows):
    offsets, targets = rows
    return [targets[offsets[u]:offsets[u + 1]] for u in range(len(offsets) - 1)]


def csr(rows):
    offsets = [0]
    for row in rows:
        offsets.append(offsets[-1] + len(row))
    return offsets, [v for row in rows for v in row]


def transpose(F):
    """Predecessor rows by ascending source (a source's repeats in slot order),
    with each column's values gathered into them, as conversion lays them out."""
    slots = [[] for _ in range(F.n)]
    for u, row in enumerate(rows_of(F.succ)):
        for k, v in enumerate(row):
            slots[v].append((u, F.succ[0][u] + k))
    F.pred = csr([[u for u, _ in row] for row in slots])
    order = [s for row in slots for _, s in row]
    for w in F.weights:
        w.pred_values = [w.values[s] for s in order]


def native_columns(F):
    """The weight columns a native graph derives from its edge list."""
    e = F.native
    into = [i for v in range(F.n) for i in range(len(e.dst)) if e.dst[i] == v]  # pred slots in edge-id order
    by_name = {w.name: w for w in F.weights}
    for attr, values, kinds in e.attrs:
        per_edge = [NAN if k == 3 else ONE if k == 0 else x for x, k in zip(values, kinds)]
        w = by_name[attr]
        w.values = [per_edge[i] for i in e.ids]
        w.pred_values = [per_edge[i] for i in into] if F.directed else None
        w.all_int, w.has_hidden, w.has_int = 2 not in kinds, 3 in kinds, bool(set(kinds) & {0, 1, 4})


# ---------------------------------------------------------------------------
# Graphs of every builder and kind


def with_exact(G, attrs):
    g = convert(G, attrs)
    nodes = list(G)
    g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, G._pred, attrs, G.is_multigraph())
    return g


def native_edges(rng, n, nodes):
    kinds = [lambda: rng.randint(0, 9), lambda: rng.choice([0.5, 2.25, 3.0]), lambda: None,
             lambda: rng.random() < 0.5, lambda: rng.choice([True, 4, 0.5])]
    edges = []
    for _ in range(3 * n):
        u, v = rng.choice(nodes), rng.choice(nodes)
        data = {name: kinds[k]() for k, name in enumerate(["w", "f", "n", "b", "mix"]) if rng.random() < 0.7}
        edges.append((u, v, data) if data else (u, v))
    return edges


def arrays(rng, m, n, weights):
    src, dst = [rng.randrange(n) for _ in range(m)], [rng.randrange(n) for _ in range(m)]
    w = struct.pack(f"<{m}d", *weights(m)) if weights else None
    return struct.pack(f"<{m}q", *src), struct.pack(f"<{m}q", *dst), w


BUILDERS = {
    "empty": lambda: convert(nx.Graph()),
    "graph_float_loops": lambda: convert(add_weights(ZOO["gnp_loops_isolates"], "float"), [("weight", 1)]),
    "graph_str_nodes_two_attrs": lambda: convert(
        add_weights(add_weights(ZOO["str_nodes"], "int"), "mixed", seed=3, attr="\u00e9t\u00e9"),
        [("weight", 1), ("\u00e9t\u00e9", 0.5), ("absent", None)]),
    "graph_mixed_nodes_none": lambda: convert(add_weights(ZOO["mixed_nodes"], "missing"), [("weight", None)]),
    "multigraph_loops_int": lambda: convert(add_weights(ZOO["multigraph_loops"], "int"), [("weight", 1)]),
    "digraph_none_no_exact": lambda: convert(add_weights(ZOO["digraph_loops_isolates"], "none"), [("weight", 1)]),
    "digraph_mixed_exact": lambda: with_exact(add_weights(ZOO["digraph_shuffled"], "mixed"), [("weight", 1)]),
    "multidigraph_float_exact": lambda: with_exact(add_weights(ZOO["multidigraph"], "float"), [("weight", 1)]),
    "native_graph_kinds": lambda: core.build_native(
        native_edges(random.Random(1), 12, [f"n{i}" for i in range(12)] + [(1, 2)]), ["first", 5], False, "w")[0],
    "native_digraph_kinds": lambda: core.build_native(native_edges(random.Random(2), 15, range(15)), None, True,
                                                      "w")[0],
    "native_arrays_float": lambda: core.build_native_arrays(
        *arrays(random.Random(3), 80, 30, lambda m: [random.Random(m).choice([0.5, 1.0, 2.75]) for _ in range(m)]),
        40, True, "weight"),
    "native_arrays_int": lambda: core.build_native_arrays(
        *arrays(random.Random(4), 60, 25, lambda m: [float(i % 7) for i in range(m)]), None, False, "weight",
        weight_kind=1),
    "native_arrays_unweighted": lambda: core.build_native_arrays(*arrays(random.Random(5), 50, 20, None), None,
                                                                 True, "weight"),
}


@cache
def graph(gid):
    return BUILDERS[gid]()


def outcome(fn):
    try:
        return fn()
    except (ValueError, NotImplementedError, IndexError, TypeError) as e:
        return type(e).__name__, str(e)


def exact(x):
    """x with every float as its bit pattern."""
    if isinstance(x, float):
        return "f", f2b(x)
    if isinstance(x, (list, tuple)):
        return type(x).__name__, [exact(v) for v in x]
    return x


def picture(g):
    """Every query a clone must answer as the original does, floats bit for bit."""
    n, attrs = len(g), g.attribute_names()
    p = {
        "size": (n, g.directed, g.is_native(), g.has_exact_pred(), g.number_of_edges(), g.degrees()),
        "rows": [(g.neighbors(v), g.predecessors(v)) for v in range(n)],
        "edges": g.edges_in_order(),
        "attrs": [(a, g.weight_info(a), g.weight_mixed(a)) for a in attrs],
        "native": exact(g.native_edges()),
    }
    for w in [None, *attrs, "not_an_attribute"]:
        p[w, "betweenness"] = exact(outcome(lambda: g.betweenness(w)))
        p[w, "pagerank"] = exact(outcome(lambda: g.pagerank(0.85, None, 100, 1e-9, None, w, None)))
        if n:
            p[w, "dijkstra"] = exact(outcome(lambda: g.dijkstra_lengths(0, w)))
            # Follows the exact predecessor order of directed graphs.
            p[w, "reverse"] = exact(outcome(lambda: g.dijkstra_tree(n - 1, w, None, None, True)))
    if n:
        p["reverse_bfs"] = outcome(lambda: g.bfs_edges(n - 1, n, True))
    return p


CLONES = {f"pickle{p}": (lambda g, p=p: pickle.loads(pickle.dumps(g, protocol=p)))
          for p in range(pickle.HIGHEST_PROTOCOL + 1)}
CLONES.update(deepcopy=copy.deepcopy, from_bytes=lambda g: read(data_of(g)))


@pytest.mark.parametrize("gid", BUILDERS)
def test_layout_reads_back_as_written(gid):
    g = graph(gid)
    data = data_of(g)
    F = parse(data)
    assert dump(F) == data
    assert (F.magic, F.n, F.directed, F.native is not None) == (b"FNL3", len(g), g.directed, g.is_native())
    assert rows_of(F.succ) == [g.neighbors(v) for v in range(len(g))]
    assert [w.name.decode() for w in F.weights] == g.attribute_names()
    assert [w.name for w in F.weights] == sorted(w.name for w in F.weights)
    for w in F.weights:
        assert (w.all_int, w.has_hidden) == g.weight_info(w.name.decode())
        assert w.has_hidden == (NAN in w.values)  # None is stored as the quiet NaN
    # The helpers that mutations rely on reproduce what the writer laid out.
    G = copy.deepcopy(F)
    if F.native is not None:
        native_columns(G)
        assert (F.native.src, F.native.dst) == tuple(map(list, g.native_edges()[:2]))
    elif F.directed:
        transpose(G)
        assert rows_of(F.pred) == [g.predecessors(v) for v in range(len(g))]
    assert dump(G) == data


@pytest.mark.parametrize("clone", CLONES)
@pytest.mark.parametrize("gid", BUILDERS)
def test_clone_answers_as_the_original(gid, clone):
    g = graph(gid)
    h = CLONES[clone](g)
    assert type(h) is core.CoreGraph and h is not g
    assert picture(h) == picture(g)
    assert data_of(h) == data_of(g)
    assert pickle.dumps(g, protocol=4) == pickle.dumps(h, protocol=4)


@pytest.mark.parametrize("loaded", [False, True], ids=["not_loaded", "loaded"])
def test_exact_predecessor_order_survives_as_it_was(loaded):
    G = add_weights(ZOO["digraph_shuffled"], "int")
    g = with_exact(G, [("weight", 1)]) if loaded else convert(G, [("weight", 1)])
    h = pickle.loads(pickle.dumps(g))
    assert h.has_exact_pred() is loaded
    # With the order loaded, reverse BFS meets predecessors in G._pred's order.
    index = {v: i for i, v in enumerate(G)}
    want = [(index[u], index[v]) for u, v in nx.bfs_edges(G, 0, reverse=True)]
    got = outcome(lambda: list(zip(*h.bfs_edges(index[0], len(G), True))))
    assert got == (want if loaded else ("NotImplementedError", "exact predecessor order not loaded"))


def test_multiprocessing_spawn_receives_the_graph():
    g = graph("digraph_mixed_exact")
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        there = pool.apply(core.CoreGraph.betweenness, (g, "weight"))
        data = pool.apply(core.CoreGraph.__reduce__, (g,))[1][0]
    assert exact(there) == exact(g.betweenness("weight"))
    assert data == data_of(g)


@pytest.mark.parametrize(("build", "tail"), [
    (lambda: convert(nx.Graph()), b"\0\0\0"),
    (lambda: core.build_native_arrays(b"", b"", None, None, False, "weight"), b"\0\1\1" + bytes(32)),
], ids=["converted", "native"])
def test_empty_graph_layout(build, tail):
    # magic, n, undirected, offsets [0], no targets, no pred, no columns; then the
    # exact, pred_exact and native flags, and a native graph's four empty counts
    want = b"FNL3" + struct.pack("<QBQQQBQ", 0, 0, 1, 0, 0, 0, 0) + tail
    assert data_of(build()) == want
    assert len(want) == (49 if len(tail) == 3 else 81)
    assert len(read(want)) == 0


def version_2(data):
    F = parse(data)
    F.magic = b"FNL2"
    return dump(F)


def test_version_2_reads_has_int_as_true():
    g = graph("graph_str_nodes_two_attrs")  # "absent" all None, "weight" int, "été" mixed
    F = parse(data_of(g))
    assert [w.name for w in F.weights] == [b"absent", b"weight", "\u00e9t\u00e9".encode()]
    floats = F.weights[2]  # only floats: not mixed, unless has_int reads as true
    floats.values = [f2b(0.5)] * len(floats.values)
    floats.all_int, floats.has_int = False, False
    h = read(dump(F))
    assert [h.weight_mixed(a) for a in h.attribute_names()] == [False, False, False]
    old = read(version_2(dump(F)))
    assert [old.weight_mixed(a) for a in old.attribute_names()] == [False, False, True]


@pytest.mark.parametrize("gid", BUILDERS)
def test_version_2_writes_back_as_readable_version_3(gid):
    g = graph(gid)
    old = read(version_2(data_of(g)))
    assert picture(old)["rows"] == picture(g)["rows"]
    again = data_of(old)
    assert data_of(read(again)) == again
    if not g.is_native():
        F = parse(data_of(g))
        for w in F.weights:
            w.has_int = True
        assert again == dump(F)


# ---------------------------------------------------------------------------
# The reader's refusals: each case changes one fact of a small valid graph


def small(kind):
    if kind == "native":
        edges = [(0, 1, {"w": 2, "f": 0.5, "b": True}), (1, 2, {"w": None, "f": 1.5}), (2, 0, {"b": False}),
                 (0, 1, {"w": 3}), (2, 2, {"w": 1, "f": 2.5, "b": True}), (3, 1, {"f": 4.0})]
        return core.build_native(edges, None, True, "w")[0]
    G = nx.DiGraph() if kind != "graph" else nx.Graph()
    G.add_edges_from([(3, 1), (0, 1), (0, 2), (2, 1), (1, 3), (2, 2)] if G.is_directed() else [(0, 1), (1, 2), (2, 0),
                                                                                                   (2, 3)])
    for k, (u, v, d) in enumerate(G.edges(data=True)):
        d.update(w=[0.5, 2.0, 1.5, 3.0, 1.0, 2.5][k], i=k)
    attrs = [("w", 1), ("i", 1), ("h", None)]  # "h" is on no edge: every value None
    return with_exact(G, attrs) if kind == "exact" else convert(G, attrs)


def edit(kind, change):
    """The bytes of small(kind) after `change(F)`, or what `change` returns."""
    F = parse(data_of(small(kind)))
    out = change(F)
    return out if isinstance(out, bytes) else dump(F)


def swap_pred(F):
    """Swaps the first two entries of a predecessor row, with their values."""
    offsets, targets = F.pred
    u = next(u for u in range(F.n) if offsets[u + 1] - offsets[u] >= 2)
    a = offsets[u]
    for xs in [targets] + [w.pred_values for w in F.weights]:
        xs[a], xs[a + 1] = xs[a + 1], xs[a]


def repeat_target(F):
    rows = rows_of(F.succ)
    u = next(u for u, row in enumerate(rows) if len(row) >= 2)
    rows[u] = [rows[u][0]] * len(rows[u])
    F.succ = csr(rows)
    transpose(F)


def set_kind(e, kind, value):
    def change(F):
        attr, values, kinds = F.native.attrs[0]
        values[e] = f2b(value)
        F.native.attrs[0] = (attr, values, kinds[:e] + bytes([kind]) + kinds[e + 1:])
        native_columns(F)

    return change


def rename(name):
    return lambda F: setattr(F.weights[-1], "name", name)


def reverse_rows(rows, *columns):
    offsets, targets = rows
    flip = [s for u in range(len(offsets) - 1) for s in reversed(range(offsets[u], offsets[u + 1]))]
    return (offsets, [targets[s] for s in flip]), [[xs[s] for s in flip] for xs in columns]


def reverse_exact(F):
    (rows, columns) = F.exact
    rows, values = reverse_rows(rows, *[xs for _, xs in columns])
    F.exact = (rows, [(name, xs) for (name, _), xs in zip(columns, values)])


W, I, H = 2, 1, 0  # F.weights of the small converted graphs: "h", "i", "w"
REFUSED = {
    "eleven_bytes": ("graph", lambda F: b"FNL3" + bytes(7)),
    "unknown_magic": ("graph", lambda F: b"FNL4" + dump(F)[4:]),
    "trailing_byte": ("graph", lambda F: dump(F) + b"\0"),
    "last_byte_missing": ("native", lambda F: dump(F)[:-1]),
    "flag_byte_2": ("graph", lambda F: dump(F)[:12] + b"\2" + dump(F)[13:]),
    "directed_without_pred": ("digraph", lambda F: setattr(F, "pred", None)),
    "undirected_with_pred": ("graph", lambda F: setattr(F, "pred", F.succ)),
    "offsets_decrease": ("graph", lambda F: F.succ[0].__setitem__(1, F.succ[0][2] + 1)),
    "first_offset_not_0": ("graph", lambda F: F.succ[0].__setitem__(0, 1)),
    "one_offset_short": ("graph", lambda F: setattr(F, "succ", (F.succ[0][:-1], F.succ[1]))),
    "target_equals_n": ("graph", lambda F: F.succ[1].__setitem__(0, F.n)),
    "not_symmetric": ("graph", lambda F: F.succ[1].__setitem__(-1, 0)),  # 3 lists 0, 0 does not list 3
    "row_repeats_target": ("digraph", repeat_target),
    "pred_not_ascending": ("digraph", swap_pred),
    "pred_not_transpose": ("digraph", lambda F: F.pred[1].__setitem__(0, (F.pred[1][0] + 1) % F.n)),
    "pred_values_not_gathered": ("digraph", lambda F: F.weights[W].pred_values.__setitem__(0, f2b(99.0))),
    "pred_values_undirected": ("graph", lambda F: setattr(F.weights[W], "pred_values", F.weights[W].values)),
    "pred_values_missing": ("digraph", lambda F: setattr(F.weights[W], "pred_values", None)),
    "values_one_short": ("graph", lambda F: F.weights[W].values.pop()),
    "exact_undirected": ("graph", lambda F: setattr(F, "exact", (F.succ, []))),
    "exact_not_pred_rows": ("exact", lambda F: F.exact[0][1].__setitem__(0, (F.exact[0][1][0] + 1) % F.n)),
    "exact_column_short": ("exact", lambda F: F.exact[1][0][1].pop()),
    "hidden_claimed": ("graph", lambda F: setattr(F.weights[W], "has_hidden", True)),
    "hidden_denied": ("digraph", lambda F: setattr(F.weights[H], "has_hidden", False)),
    "all_int_with_fraction": ("graph", lambda F: setattr(F.weights[W], "all_int", True)),
    "all_int_without_int": ("graph", lambda F: setattr(F.weights[I], "has_int", False)),
    "names_unsorted": ("graph", lambda F: F.weights.reverse()),
    "name_repeated": ("graph", lambda F: setattr(F.weights[I], "name", F.weights[W].name)),
    "name_0xff": ("graph", rename(b"w\xff")),
    "name_overlong": ("graph", rename(b"\xc0\xaf")),
    "name_surrogate": ("graph", rename(b"\xed\xa0\x80")),
    "name_beyond_10ffff": ("graph", rename(b"\xf4\x90\x80\x80")),
    "name_cut_short": ("graph", rename(b"w\xe2\x82")),
    "kind_5": ("native", set_kind(0, 5, 2.0)),
    "int_kind_beyond_2_53": ("native", set_kind(0, 1, 2.0**53 + 2)),
    "int_kind_fraction": ("native", set_kind(0, 1, 2.5)),
    "bool_kind_2": ("native", set_kind(0, 4, 2.0)),
    "absent_kind_with_value": ("native", set_kind(2, 0, 1.0)),
    "none_kind_with_number": ("native", set_kind(1, 3, 1.0)),
    "float_kind_nan": ("native", set_kind(0, 2, math.nan)),
    "edge_list_reordered": ("native", lambda F: (F.native.src.reverse(), F.native.dst.reverse())),
    "slot_ids_changed": ("native", lambda F: F.native.ids.__setitem__(0, F.native.ids[1])),
    "endpoint_is_n": ("native", lambda F: F.native.src.__setitem__(0, F.n)),
    "kinds_one_short": ("native", lambda F: F.native.attrs.__setitem__(0, (*F.native.attrs[0][:2], b""))),
    "column_not_derived": ("native", lambda F: F.weights[0].values.__setitem__(0, f2b(7.0))),
    "column_without_attribute": ("native", lambda F: F.weights.append(
        SimpleNamespace(**{**vars(F.weights[-1]), "name": b"z"}))),
    "attribute_without_column": ("native", lambda F: F.weights.pop(0)),
    "attribute_repeated": ("native", lambda F: F.native.attrs.append(F.native.attrs[0])),
    "native_pred_exact_0": ("native", lambda F: setattr(F, "pred_exact", False)),
    "exact_names_unsorted": ("exact", lambda F: F.exact[1].reverse()),
    "exact_name_repeated": ("exact", lambda F: F.exact[1].__setitem__(1, (F.exact[1][0][0], F.exact[1][1][1]))),
}


@pytest.mark.parametrize("case", REFUSED)
def test_refused(case):
    data = edit(*REFUSED[case])
    with pytest.raises(ValueError) as info:
        read(data)
    assert str(info.value) == MALFORMED


@pytest.mark.parametrize("n", [2**32 - 1, 2**32, 2**64 - 1])
def test_node_count_beyond_positions(n):
    with pytest.raises(ValueError, match=f"^{MALFORMED}$"):
        read(b"FNL3" + struct.pack("<QB", n, 0) + bytes(27))


@pytest.mark.parametrize("count", [2**32 - 1, 2**61 + 1, 2**64 - 1], ids=hex)
@pytest.mark.parametrize("where", ["offsets", "targets", "names"])
def test_counts_beyond_the_input_allocate_nothing(where, count):
    n = 2**32 - 2 if where == "offsets" else 0
    head = b"FNL3" + struct.pack("<QB", n, 0)
    data = {
        "offsets": head + struct.pack("<Q", count),
        "targets": head + struct.pack("<QQQ", 1, 0, count),
        "names": head + struct.pack("<QQQBQ", 1, 0, 0, 0, 1) + struct.pack("<Q", count),
    }[where]
    data = data.ljust(40, b"\0")[:40] if len(data) <= 40 else data
    start = time.monotonic()
    with pytest.raises(ValueError, match=f"^{MALFORMED}$"):
        read(data)
    assert time.monotonic() - start < 1.0  # n + 1 offsets would be 32 GiB


ACCEPTED = {
    "repeats_with_pred_exact": ("digraph", lambda F: (repeat_target(F), setattr(F, "pred_exact", True))),
    "pred_in_any_order_with_pred_exact": ("digraph", lambda F: (swap_pred(F), setattr(F, "pred_exact", True))),
    "exact_rows_reordered": ("exact", reverse_exact),
    "four_byte_utf8_name": ("graph", rename("\U0001f642".encode())),
    "int_kind_2_53": ("native", set_kind(0, 1, 2.0**53)),
}


@pytest.mark.parametrize("case", ACCEPTED)
def test_accepted_twins(case):
    data = edit(*ACCEPTED[case])
    F = parse(data)
    g = read(data)
    assert data_of(g) == data
    assert [g.neighbors(v) for v in range(F.n)] == rows_of(F.succ)
    assert g.attribute_names() == [w.name.decode() for w in F.weights]


# ---------------------------------------------------------------------------
# Fuzz: every input is refused with the one message, or gives a graph on which
# every method runs; a child process runs the inputs, so a crash fails the test.

VALUES = [0.0, -0.0, 1.0, 2.0, -3.0, 0.5, 2.0**53, 2.0**60, 1e308, -1e308, 5e-324, INF, -INF, math.nan]
NAMES = [b"", b"w", b"weight", "\u00e9".encode(), b"z"]
BOUNDARY = [0, 1, 2, 3, 7, 8, 2**31, 2**32 - 2, 2**32 - 1, 2**32, 2**61 + 1, 2**63, 2**64 - 1]
# OverflowError: int distances asked for over sums that reach infinity
ALLOWED = (ValueError, NotImplementedError, IndexError, TypeError, OverflowError)


def shuffle_rows(rng, rows, *columns):
    """Each row in a random order, repeats of one target keeping their relative order."""
    offsets, targets = rows
    order = []
    for u in range(len(offsets) - 1):
        slots = range(offsets[u], offsets[u + 1])
        keys = [targets[s] for s in slots]
        rng.shuffle(keys)
        queues = {}
        for s in slots:
            queues.setdefault(targets[s], []).append(s)
        order += [queues[k].pop(0) for k in keys]
    return (offsets, [targets[s] for s in order]), [[xs[s] for s in order] for xs in columns]


def random_layout(rng):
    """A small graph within the reader's rules but beyond what builders make:
    repeated targets, negative, infinite and NaN weights, reordered rows."""
    n = rng.randint(0, 7)
    directed, pred_exact = rng.random() < 0.5, rng.random() < 0.3
    seen, rows = set(), [[] for _ in range(n)]
    for _ in range(rng.randint(0, 3 * n)):
        u, v = rng.randrange(n), rng.randrange(n)
        key = (u, v) if directed else (min(u, v), max(u, v))
        if pred_exact or key not in seen:
            seen.add(key)
            rows[u].append(v)
            if not directed and u != v:
                rows[v].append(u)
    for row in rows:
        rng.shuffle(row)
    F = SimpleNamespace(magic=b"FNL3", n=n, directed=directed, succ=csr(rows), pred=None, weights=[], exact=None,
                        pred_exact=pred_exact, native=None)
    for name in sorted(rng.sample(NAMES, rng.randint(0, 3))):
        xs = [rng.choice(VALUES) for _ in F.succ[1]]
        integral = all(math.isnan(x) or (math.isfinite(x) and x == int(x)) for x in xs)
        all_int = integral and rng.random() < 0.8
        has_int = (all_int and not all(map(math.isnan, xs))) or rng.random() < 0.5
        F.weights.append(SimpleNamespace(name=name, values=[f2b(x) for x in xs], pred_values=None, all_int=all_int,
                                         has_hidden=any(map(math.isnan, xs)), has_int=has_int))
    if directed:
        transpose(F)
        if pred_exact:
            F.pred, columns = shuffle_rows(rng, F.pred, *[w.pred_values for w in F.weights])
            for w, xs in zip(F.weights, columns):
                w.pred_values = xs
        if rng.random() < 0.5:
            rows, columns = shuffle_rows(rng, F.pred, *[w.pred_values for w in F.weights])
            F.exact = (rows, [(w.name, xs) for w, xs in zip(F.weights, columns) if rng.random() < 0.8])
    return F


def fields(data):
    """Positions of the counts and flags of valid data (none if it does not parse)."""
    cursor = Cursor(data)
    try:
        parse(data, cursor)
    except (AssertionError, struct.error):
        return [], []
    return cursor.counts, cursor.flags


def mutate(rng, data):
    counts, flags = fields(data)
    data = bytearray(data)
    for _ in range(rng.choice([1, 1, 1, 2, 3, 6])):
        i = rng.randrange(len(data) + 1)
        op = rng.randrange(8)
        if op == 0 and i < len(data):
            data[i] ^= 1 << rng.randrange(8)
        elif op == 1 and i < len(data):
            data[i] = rng.choice([0, 1, 2, 0x7F, 0x80, 0xFF, rng.randrange(256)])
        elif op == 2:
            del data[i:]
        elif op == 3:
            data[i:i] = data[i:i + rng.randint(1, 32)]
        elif op == 4:
            del data[i:i + rng.randint(1, 16)]
        elif op == 5:
            data[i:i] = rng.randbytes(rng.randint(1, 8))
        elif op == 6 and counts and (p := rng.choice(counts)) + 8 <= len(data):
            (was,) = struct.unpack_from("<Q", data, p)
            now = rng.choice(BOUNDARY + [was - 1, was + 1, was * 2, len(data), len(data) // 8]) % 2**64
            data[p:p + 8] = struct.pack("<Q", now)
        elif op == 7 and flags and (p := rng.choice(flags)) < len(data):
            data[p] ^= 1
    return bytes(data)


def fuzz_input(rng, corpus):
    r = rng.random()
    if r < 0.1:
        return rng.choice([b"FNL3", b"FNL2", b""]) + rng.randbytes(rng.randint(0, 64))
    if r < 0.5:
        data = dump(random_layout(rng))
        return mutate(rng, data) if rng.random() < 0.3 else data
    data = rng.choice(corpus)
    return mutate(rng, version_2(data) if rng.random() < 0.2 else data)


def exercise(g, rng):
    """Calls every public method with valid positions; ordinary exceptions are fine."""
    n, attrs = len(g), g.attribute_names()
    calls = [g.degrees, g.edges_in_order, g.number_of_edges, g.has_exact_pred, g.is_native, g.native_edges,
             g.data_in_column_order, g.keys_are_nodes, lambda: g.keys_are_nodes(True), g.core_number,
             g.triangle_counts, lambda: g.triangle_counts(None, True), g.connected_components,
             g.strongly_connected_components, lambda: g.strongly_connected_components(shortcut=False),
             g.weakly_connected_components, g.topological_generations, g.is_bipartite, g.greedy_color,
             g.bfs_stats, lambda: g.dfs_forward(None, n), lambda: g.betweenness(sources=[])]
    for a in [None, *attrs]:
        calls += [lambda a=a: (g.weight_info(a), g.weight_mixed(a), a is None or g.weight_facts(a))]
    if n:
        s, t = rng.randrange(n), rng.randrange(n)
        nodes, order = tuple(range(n)), rng.sample(range(n), n)
        calls += [lambda v=v: (g.neighbors(v), g.predecessors(v), g.has_edge(v, t)) for v in range(n)]
        calls += [
            lambda: g.bfs_lengths(s, INF), lambda: g.bfs_lengths(s, 1.0), lambda: g.bfs_many([s, t], INF),
            lambda: g.bfs_length_dicts([s, t], INF, nodes), lambda: g.bfs_paths(s, INF, nodes, s),
            lambda: g.bfs_paths(s, 2.0, nodes, s, True, True), lambda: g.bfs_paths_many([s, t], INF, nodes),
            lambda: g.bfs_stats([s, t], True), lambda: g.bfs_tree(s, INF), lambda: g.bfs_tree(s, INF, True),
            lambda: g.bfs_tree_many([s, t], INF), lambda: g.bfs_edges(s, n), lambda: g.bfs_edges(s, 1, True),
            lambda: g.bidirectional_bfs(s, t), lambda: g.dfs_forward([s, t], 2), lambda: g.reachable(s),
            lambda: g.reachable(s, True), lambda: g.indegrees_after([s]), lambda: g.triangle_counts([s, t]),
            lambda: g.connected_components(nodes=nodes), lambda: g.weakly_connected_components(nodes=nodes),
            lambda: g.strongly_connected_components(nodes=nodes),
        ]
        if not g.directed:  # on directed rows the labels may never settle
            calls.append(lambda: g.label_propagation(order))
        for w in [None, *attrs]:
            calls += [
                lambda w=w: g.betweenness(w), lambda w=w: g.betweenness(w, True, [s]),
                lambda w=w: g.edge_betweenness(w), lambda w=w: g.edge_betweenness(w, [t]),
                lambda w=w: g.closeness(w), lambda w=w: g.closeness(w, False, [s], compensated_sum=True),
                lambda w=w: g.harmonic([s, t], [True] * n, w), lambda w=w: g.dijkstra_lengths(s, w),
                lambda w=w: g.dijkstra_lengths(s, w, 2.0), lambda w=w: g.dijkstra_many([s, t], w),
                lambda w=w: g.dijkstra_path(s, t, w), lambda w=w: g.dijkstra_paths(s, nodes, s, w),
                lambda w=w: g.dijkstra_paths(t, nodes, t, w, 3.0, True, True, False, True),
                lambda w=w: g.dijkstra_paths_many([s, t], nodes, w), lambda w=w: g.dijkstra_tree(s, w),
                lambda w=w: g.dijkstra_tree(s, w, None, t, True), lambda w=w: g.dijkstra_tree_many([s, t], w),
                lambda w=w: g.dijkstra_length_dicts([s, t], nodes, w, None, True),
                lambda w=w: g.dijkstra_stats(w, [s, t]), lambda w=w: g.dijkstra_stats(w, compensated_sum=True),
                lambda w=w: g.shortest_path_predecessors(s, w), lambda w=w: g.kruskal(w),
                lambda w=w: g.kruskal(w, True), lambda w=w: g.pagerank(0.85, None, 30, 1e-6, None, w, None),
                lambda w=w: g.pagerank(0.85, [1.0] * n, 30, 1e-6, [1.0] * n, w, [1.0] * n, True),
                lambda w=w: g.katz(order, 0.1, 1.0, w, 30, 1e-6, False),
                lambda w=w: g.eigenvector(order, [1.0 / n] * n, w, 30, 1e-6, math.hypot, True),
                lambda w=w: s != t and g.bidirectional_dijkstra(s, t, w),
                lambda w=w: [p.next_path() for p in [g.all_shortest_paths(s, t, w)] if p for _ in range(5)],
            ]
    for call in calls:
        try:
            call()
        except ALLOWED:
            pass


def fuzz(first, seconds):
    """Seeds first, first + 1, ... until `seconds` have passed; prints each seed before its input."""
    import faulthandler

    corpus = [data_of(graph(gid)) for gid in BUILDERS] + [data_of(small(k)) for k in ["graph", "digraph", "exact",
                                                                                      "native"]]
    deadline, seed, accepted = time.monotonic() + seconds, first, 0
    while True:
        print(seed, flush=True)
        faulthandler.dump_traceback_later(120, exit=True)  # a hang fails too, with its stack
        rng = random.Random(seed)
        data = fuzz_input(rng, corpus)
        try:
            g = read(data)
        except ValueError as e:
            assert str(e) == MALFORMED, (seed, e)
        else:
            accepted += 1
            exercise(g, rng)
            again = data_of(g)
            assert again == data or data[:4] == b"FNL2", (seed, "accepted data that does not write back the same")
            assert data_of(read(again)) == again, seed
        seed += 1
        if time.monotonic() >= deadline:
            break
    print(f"done: {seed - first} inputs, {accepted} accepted", flush=True)


def test_reader_fuzz():
    seconds = float(os.environ.get("FENNEL_FUZZ_SECONDS", "30"))
    first = int(os.environ.get("FENNEL_FUZZ_FIRST_SEED", "0"))
    here = os.path.dirname(os.path.abspath(__file__))
    script = f"import sys; sys.path[:0] = [{here!r}]; import test_bytes; test_bytes.fuzz({first}, {seconds})"
    try:
        proc = subprocess.run([sys.executable, "-X", "faulthandler", "-c", script], capture_output=True, text=True,
                              timeout=seconds + 600)
        out, err, rc = proc.stdout, proc.stderr, proc.returncode
    except subprocess.TimeoutExpired as e:
        out, err, rc = e.stdout or "", e.stderr or "", "timeout"
        out, err = (x.decode() if isinstance(x, bytes) else x for x in (out, err))
    seeds = out.split()
    assert rc == 0 and "done" in out, (
        f"fuzz input {seeds[-1] if seeds else first} failed ({rc}); rerun it alone with "
        f"FENNEL_FUZZ_FIRST_SEED={seeds[-1] if seeds else first} FENNEL_FUZZ_SECONDS=0\n{err[-4000:]}")
    print(out.splitlines()[-1])
