"""The byte format of CoreGraph: pickle and deepcopy round trips, the reader's
refusals, and a fuzz of the reader that must never crash the interpreter.

The layout is parsed and written here independently of the C++, so that a
mutation can change one fact of a valid graph and keep the rest consistent.
"""

import copy
import faulthandler
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
from types import SimpleNamespace as NS

import networkx as nx
import pytest
from zoo import ZOO, add_weights, convert, dijkstra_lengths

import fennel._core as core

read = core._core_graph_from_bytes
MALFORMED = "malformed fennel graph data"
NAN, ONE = 0x7FF8000000000000, 0x3FF0000000000000  # bits of a None weight and of an absent native one
INF = math.inf
# OverflowError: int distances asked for over sums that reach infinity
ALLOWED = (ValueError, NotImplementedError, IndexError, TypeError, OverflowError)


def data_of(g):
    rebuild, (data,) = g.__reduce__()
    assert rebuild is read
    return data


def f2b(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


# The layout, float arrays kept as bit patterns. The cursor records where
# every count and flag is, for the fuzz.


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
        return list(self.take(f"{self.u64()}{code}"))

    def name(self):
        k = self.u64()
        self.pos += k
        return self.data[self.pos - k:self.pos]

    def csr(self):
        return self.array("Q"), self.array("I")


def parse(data, r=None):
    r = r or Cursor(data)
    F = NS(magic=data[:4], n=r.u64(), directed=r.flag(), succ=r.csr())
    F.pred = r.csr() if r.flag() else None
    F.weights = []
    for _ in range(r.u64()):
        w = NS(name=r.name(), values=r.array("Q"))
        w.pred_values = r.array("Q") if r.flag() else None
        w.all_int, w.has_hidden = r.flag(), r.flag()
        w.has_int = r.flag() if F.magic == b"FNL3" else True
        F.weights.append(w)
    F.exact = (r.csr(), [(r.name(), r.array("Q")) for _ in range(r.u64())]) if r.flag() else None
    F.pred_exact = r.flag()
    F.native = NS(src=r.array("I"), dst=r.array("I"), ids=r.array("I")) if r.flag() else None
    if F.native:
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

    def opt(x, write):
        return b"\0" if x is None else b"\1" + write(x)

    v3 = F.magic == b"FNL3"
    out = [F.magic, struct.pack("<QB", F.n, F.directed), csr(F.succ), opt(F.pred, csr)]
    out.append(struct.pack("<Q", len(F.weights)))
    for w in F.weights:
        out += [name(w.name), array("Q", w.values), opt(w.pred_values, lambda xs: array("Q", xs)),
                bytes([w.all_int, w.has_hidden] + [w.has_int] * v3)]
    out.append(opt(F.exact, lambda e: csr(e[0]) + struct.pack("<Q", len(e[1])) + b"".join(
        name(s) + array("Q", xs) for s, xs in e[1])))
    out.append(bytes([F.pred_exact]))
    out.append(opt(F.native, lambda e: array("I", e.src) + array("I", e.dst) + array("I", e.ids) + struct.pack(
        "<Q", len(e.attrs)) + b"".join(name(s) + array("Q", xs) + array("B", k) for s, xs, k in e.attrs)))
    return b"".join(out)


def version_2(data):
    F = parse(data)
    F.magic = b"FNL2"
    return dump(F)


def rows_of(rows):
    offsets, targets = rows
    return [targets[offsets[u]:offsets[u + 1]] for u in range(len(offsets) - 1)]


def csr(rows):
    return [sum(map(len, rows[:u])) for u in range(len(rows) + 1)], [v for row in rows for v in row]


def transpose(F):
    """Predecessor rows by ascending source (a source's repeats in slot order)
    with the columns gathered into them, as conversion lays them out."""
    slots = [[] for _ in range(F.n)]
    for u, row in enumerate(rows_of(F.succ)):
        for k, v in enumerate(row):
            slots[v].append((u, F.succ[0][u] + k))
    F.pred = csr([[u for u, _ in row] for row in slots])
    for w in F.weights:
        w.pred_values = [w.values[s] for row in slots for _, s in row]


def native_columns(F):
    """The weight columns a native graph derives from its edge list."""
    e = F.native
    into = [i for v in range(F.n) for i in range(len(e.dst)) if e.dst[i] == v]  # pred slots, edge-id order
    for attr, values, kinds in e.attrs:
        per_edge = [NAN if k == 3 else ONE if k == 0 else x for x, k in zip(values, kinds)]
        w = next(w for w in F.weights if w.name == attr)
        w.values = [per_edge[i] for i in e.ids]
        w.pred_values = [per_edge[i] for i in into] if F.directed else None
        w.all_int, w.has_hidden, w.has_int = 2 not in kinds, 3 in kinds, bool(set(kinds) & {0, 1, 4})


def shuffle_rows(rng, rows, *columns):
    """Each row in a random order, the repeats of a target keeping their relative order."""
    offsets, targets = rows
    order = []
    for u in range(len(offsets) - 1):
        slots = range(offsets[u], offsets[u + 1])
        keys = rng.sample([targets[s] for s in slots], len(slots))
        queues = {}
        for s in slots:
            queues.setdefault(targets[s], []).append(s)
        order += [queues[k].pop(0) for k in keys]
    return (offsets, [targets[s] for s in order]), [[xs[s] for s in order] for xs in columns]


# Graphs of every builder and kind


def with_exact(G, attrs):
    g = convert(G, attrs)
    g.load_exact_pred(list(G), {v: i for i, v in enumerate(G)}, G._pred, attrs, G.is_multigraph())
    return g


def native_edges(rng, n, nodes):
    """3n edges over `nodes`, some repeated, with int, float, None, bool and mixed attributes."""
    kinds = {"w": lambda: rng.randint(0, 9), "f": lambda: rng.choice([0.5, 2.25, 3.0]), "n": lambda: None,
             "b": lambda: rng.random() < 0.5, "mix": lambda: rng.choice([True, 4, 0.5])}
    edges = [(rng.choice(nodes), rng.choice(nodes), {a: f() for a, f in kinds.items() if rng.random() < 0.7})
             for _ in range(3 * n)]
    return [e if e[2] else e[:2] for e in edges]


def arrays(seed, m, n, weights=None):
    rng = random.Random(seed)
    ends = [struct.pack(f"<{m}q", *(rng.randrange(n) for _ in range(m))) for _ in "uv"]
    return *ends, weights and struct.pack(f"<{m}d", *(weights[i % len(weights)] for i in range(m)))


BUILDERS = {
    "empty": lambda: convert(nx.Graph()),
    "graph_float_loops": lambda: convert(add_weights(ZOO["gnp_loops_isolates"], "float"), [("weight", 1)]),
    "graph_str_nodes_3_attrs": lambda: convert(
        add_weights(add_weights(ZOO["str_nodes"], "int"), "mixed", seed=3, attr="\u00e9t\u00e9"),
        [("weight", 1), ("\u00e9t\u00e9", 0.5), ("absent", None)]),
    "graph_mixed_nodes_none": lambda: convert(add_weights(ZOO["mixed_nodes"], "missing"), [("weight", None)]),
    "multigraph_loops_int": lambda: convert(add_weights(ZOO["multigraph_loops"], "int"), [("weight", 1)]),
    "digraph_none": lambda: convert(add_weights(ZOO["digraph_loops_isolates"], "none"), [("weight", 1)]),
    "digraph_mixed_exact": lambda: with_exact(add_weights(ZOO["digraph_shuffled"], "mixed"), [("weight", 1)]),
    "multidigraph_exact": lambda: with_exact(add_weights(ZOO["multidigraph"], "float"), [("weight", 1)]),
    "native_graph": lambda: core.build_native(
        native_edges(random.Random(1), 12, [f"n{i}" for i in range(12)] + [(1, 2)]), ["first", 5], False, "w")[0],
    "native_digraph": lambda: core.build_native(native_edges(random.Random(2), 15, range(15)), None, True, "w")[0],
    "arrays_float": lambda: core.build_native_arrays(*arrays(3, 80, 30, [0.5, 1.0, 2.75]), 40, True, "weight"),
    "arrays_int": lambda: core.build_native_arrays(*arrays(4, 60, 25, range(7)), None, False, "w",
                                                   weight_kind=core.KIND_INT),
    "arrays_unweighted": lambda: core.build_native_arrays(*arrays(5, 50, 20), None, True, "weight"),
}


@cache
def graph(gid):
    return BUILDERS[gid]()


def outcome(fn):
    try:
        return fn()
    except ALLOWED as e:
        return type(e).__name__, str(e)


def bits(x):
    if isinstance(x, float):
        return "f", f2b(x)
    return [type(x).__name__, *map(bits, x)] if isinstance(x, (list, tuple)) else x


def picture(g):
    """Every query a clone must answer as the original does, floats bit for bit."""
    n, attrs = len(g), g.attribute_names()
    p = [n, g.directed, g.has_exact_pred(), g.number_of_edges(), g.degrees(), g.edges_in_order(),
         [(g.neighbors(v), g.predecessors(v)) for v in range(n)], bits(g.native_edges()),
         [(a, *map(g.weight_facts(a).get, ("all_int", "has_hidden", "mixed"))) for a in attrs], outcome(lambda: g.bfs(n - 1, n, reverse=True).edges())]
    for w in [None, *attrs, "not_an_attribute"]:
        p += bits([outcome(lambda: g.betweenness(w)), outcome(lambda: g.walk_ranks(0.85, None, 100, 1e-9, None, w, None)),
                   outcome(lambda: dijkstra_lengths(g, 0, w)),  # clones drop per-slot kinds
                   outcome(lambda: g.dijkstra(n - 1, w, reverse=True).tree())])  # exact predecessor order
    return p


CLONES = {f"pickle{p}": (lambda g, p=p: pickle.loads(pickle.dumps(g, protocol=p)))
          for p in range(pickle.HIGHEST_PROTOCOL + 1)}
CLONES.update(deepcopy=copy.deepcopy, from_bytes=lambda g: read(data_of(g)))


@pytest.mark.parametrize("gid", BUILDERS)
def test_layout_reads_back_as_written(gid):
    g = graph(gid)
    F = parse(data := data_of(g))
    assert dump(F) == data
    assert (F.magic, F.n, F.directed, F.native is not None) == (b"FNL3", len(g), g.directed, g.native_edges() is not None)
    assert rows_of(F.succ) == [g.neighbors(v) for v in range(len(g))]
    assert [w.name.decode() for w in F.weights] == g.attribute_names() == sorted(g.attribute_names(), key=str.encode)
    assert [(w.all_int, w.has_hidden) for w in F.weights] == [
        (f["all_int"], f["has_hidden"]) for f in map(g.weight_facts, g.attribute_names())]
    assert all(w.has_hidden == (NAN in w.values) for w in F.weights)  # None is stored as the quiet NaN
    # The helpers that mutations rely on reproduce the writer's layout.
    G = copy.deepcopy(F)
    if F.native:
        native_columns(G)
        assert [F.native.src, F.native.dst] == list(map(list, g.native_edges()[:2]))
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
    assert pickle.dumps(h) == pickle.dumps(g)


@pytest.mark.parametrize("loaded", [False, True], ids=["not_loaded", "loaded"])
def test_exact_predecessor_order_stays_as_it_was(loaded):
    G = add_weights(ZOO["digraph_shuffled"], "int")
    g = pickle.loads(pickle.dumps(with_exact(G, []) if loaded else convert(G)))
    assert g.has_exact_pred() is loaded
    # Loaded, a reverse BFS meets predecessors in G._pred's order, not by position.
    index = {v: i for i, v in enumerate(G)}
    want = [(index[u], index[v]) for u, v in nx.bfs_edges(G, 0, reverse=True)] if loaded else (
        "NotImplementedError", "exact predecessor order not loaded")
    assert outcome(lambda: list(zip(*g.bfs(index[0], len(G), reverse=True).edges()))) == want


def test_spawned_process_receives_the_graph():
    g = graph("digraph_mixed_exact")
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        there = pool.apply(core.CoreGraph.betweenness, (g, "weight"))
        data = pool.apply(core.CoreGraph.__reduce__, (g,))[1][0]
    assert (bits(there), data) == (bits(g.betweenness("weight")), data_of(g))


@pytest.mark.parametrize(("build", "tail", "size"), [
    (lambda: convert(nx.Graph()), b"\0\0\0", 49),
    (lambda: core.build_native_arrays(b"", b"", None, None, False, "weight"), b"\0\1\1" + bytes(32), 81),
], ids=["converted", "native"])
def test_empty_graph_layout(build, tail, size):
    # magic, n = 0, undirected, offsets [0], no targets, no pred, no columns; the
    # exact, pred_exact and native flags, and a native graph's four empty counts
    want = b"FNL3" + struct.pack("<QBQQQBQ", 0, 0, 1, 0, 0, 0, 0) + tail
    assert (data_of(build()), len(want)) == (want, size)
    assert len(read(want)) == 0


def test_version_2_reads_has_int_as_true():
    F = parse(data_of(graph("graph_str_nodes_3_attrs")))
    assert [w.name for w in F.weights] == [b"absent", b"weight", "\u00e9t\u00e9".encode()]
    floats = F.weights[2]  # only floats now: mixed only if has_int reads as true
    floats.values, floats.all_int, floats.has_int = [f2b(0.5)] * len(floats.values), False, False
    mixed = [[g.weight_facts(a)["mixed"] for a in g.attribute_names()] for g in (read(dump(F)), read(version_2(dump(F))))]
    assert mixed == [[False, False, False], [False, False, True]]


@pytest.mark.parametrize("gid", BUILDERS)
def test_version_2_writes_back_as_readable_version_3(gid):
    g = graph(gid)
    old = read(version_2(data_of(g)))
    assert picture(old)[:7] == picture(g)[:7]
    again = data_of(old)
    assert data_of(read(again)) == again
    if g.native_edges() is None:
        F = parse(data_of(g))
        for w in F.weights:
            w.has_int = True
        assert again == dump(F)


# The reader's refusals: each case changes one fact of a small valid graph


@cache
def small(kind):
    if kind == "native":
        edges = [(0, 1, {"w": 2, "f": 0.5, "b": True}), (1, 2, {"w": None, "f": 1.5}), (2, 0, {"b": False}),
                 (0, 1, {"w": 3}), (2, 2, {"w": 1, "f": 2.5, "b": True}), (3, 1, {"f": 4.0})]
        return core.build_native(edges, None, True, "w")[0]
    G = nx.Graph([(0, 1), (1, 2), (2, 0), (2, 3)]) if kind == "graph" else nx.DiGraph(
        [(3, 1), (0, 1), (0, 2), (2, 1), (1, 3), (2, 2)])
    for k, (u, v, d) in enumerate(G.edges(data=True)):
        d.update(w=[0.5, 2.0, 1.5, 3.0, 1.0, 2.5][k], i=k)
    attrs = [("w", 1), ("i", 1), ("h", None)]  # "h" is on no edge: every value None
    return with_exact(G, attrs) if kind == "exact" else convert(G, attrs)


H, I, W = 0, 1, 2  # F.weights of the small converted graphs


def edit(kind, change):
    """small(kind)'s bytes after change(F), or the bytes change returns."""
    F = parse(data_of(small(kind)))
    out = change(F)
    return out if isinstance(out, bytes) else dump(F)


def swap_pred(F):
    """Swaps the first two entries of a predecessor row, with their values."""
    a = next(F.pred[0][u] for u in range(F.n) if F.pred[0][u + 1] - F.pred[0][u] >= 2)
    for xs in [F.pred[1]] + [w.pred_values for w in F.weights]:
        xs[a], xs[a + 1] = xs[a + 1], xs[a]


def repeat_target(F):
    rows = rows_of(F.succ)
    u = next(u for u, row in enumerate(rows) if len(row) >= 2)
    rows[u] = [rows[u][0]] * len(rows[u])
    F.succ = csr(rows)
    transpose(F)


def set_kind(e, kind, value):
    """Gives edge e of the first native attribute `kind` and `value`, its columns following."""
    def change(F):
        attr, values, kinds = F.native.attrs[0]
        values[e] = f2b(value)
        F.native.attrs[0] = (attr, values, kinds[:e] + bytes([kind]) + kinds[e + 1:])
        native_columns(F)
    return change


def shuffle_exact(F):
    rows, columns = shuffle_rows(random.Random(0), F.exact[0], *[xs for _, xs in F.exact[1]])
    return rows, [(name, xs) for (name, _), xs in zip(F.exact[1], columns)]


def rename(name):
    return lambda F: setattr(F.weights[-1], "name", name)


REFUSED = {
    "eleven_bytes": ("graph", lambda F: b"FNL3" + bytes(7)),
    "unknown_magic": ("graph", lambda F: b"FNL5" + dump(F)[4:]),
    "trailing_byte": ("graph", lambda F: dump(F) + b"\0"),
    "last_byte_missing": ("native", lambda F: dump(F)[:-1]),
    "flag_byte_2": ("graph", lambda F: dump(F)[:12] + b"\2" + dump(F)[13:]),
    "directed_without_pred": ("digraph", lambda F: setattr(F, "pred", None)),
    "undirected_with_pred": ("graph", lambda F: setattr(F, "pred", F.succ)),
    "offsets_decrease": ("graph", lambda F: F.succ[0].__setitem__(1, F.succ[0][2] + 1)),
    "first_offset_not_0": ("graph", lambda F: F.succ[0].__setitem__(0, 1)),
    "one_offset_short": ("graph", lambda F: F.succ[0].pop()),
    "target_equals_n": ("graph", lambda F: F.succ[1].__setitem__(0, F.n)),
    "not_symmetric": ("graph", lambda F: F.succ[1].__setitem__(-1, 0)),  # 3 lists 0, 0 does not list 3
    "row_repeats_target": ("digraph", repeat_target),
    "pred_not_ascending": ("digraph", swap_pred),
    "pred_not_transpose": ("digraph", lambda F: F.pred[1].__setitem__(0, (F.pred[1][0] + 1) % F.n)),
    "pred_values_not_gathered": ("digraph", lambda F: F.weights[W].pred_values.__setitem__(0, f2b(9.0))),
    "pred_values_undirected": ("graph", lambda F: setattr(F.weights[W], "pred_values", F.weights[W].values)),
    "pred_values_missing": ("digraph", lambda F: setattr(F.weights[W], "pred_values", None)),
    "values_one_short": ("graph", lambda F: F.weights[W].values.pop()),
    "exact_undirected": ("graph", lambda F: setattr(F, "exact", (F.succ, []))),
    "exact_not_pred_rows": ("exact", lambda F: F.exact[0][1].__setitem__(0, (F.exact[0][1][0] + 1) % F.n)),
    "exact_column_short": ("exact", lambda F: F.exact[1][0][1].pop()),
    "hidden_claimed": ("graph", lambda F: setattr(F.weights[W], "has_hidden", True)),
    "hidden_denied": ("digraph", lambda F: setattr(F.weights[H], "has_hidden", False)),
    # has_int as well, so that only the check that an all-int column holds integers can refuse it.
    "all_int_with_fraction": ("graph", lambda F: (setattr(F.weights[W], "all_int", True),
                                                 setattr(F.weights[W], "has_int", True))),
    "all_int_without_int": ("graph", lambda F: setattr(F.weights[I], "has_int", False)),
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
    "column_without_attribute": ("native", lambda F: F.weights.append(NS(**{**vars(F.weights[-1]), "name": b"z"}))),
    "attribute_without_column": ("native", lambda F: F.weights.pop(0)),
    # Never written by a builder: names out of order or twice (the reader would keep
    # one), a native graph claiming no predecessor order of its own
    "names_unsorted": ("graph", lambda F: F.weights.reverse()),
    "name_repeated": ("graph", lambda F: setattr(F.weights[I], "name", F.weights[W].name)),
    "attribute_repeated": ("native", lambda F: F.native.attrs.append(F.native.attrs[0])),
    "exact_names_unsorted": ("exact", lambda F: F.exact[1].reverse()),
    "exact_name_repeated": ("exact", lambda F: F.exact[1].__setitem__(1, (F.exact[1][0][0], F.exact[1][1][1]))),
    "native_pred_exact_0": ("native", lambda F: setattr(F, "pred_exact", False)),
}


@pytest.mark.parametrize("case", REFUSED)
def test_refused(case):
    with pytest.raises(ValueError) as info:
        read(edit(*REFUSED[case]))
    assert str(info.value) == MALFORMED


ACCEPTED = {  # the twins of refused cases that the format allows
    "repeats_with_pred_exact": ("digraph", lambda F: (repeat_target(F), setattr(F, "pred_exact", True))),
    "pred_in_any_order_with_pred_exact": ("digraph", lambda F: (swap_pred(F), setattr(F, "pred_exact", True))),
    "exact_rows_reordered": ("exact", lambda F: setattr(F, "exact", shuffle_exact(F))),
    "four_byte_utf8_name": ("graph", rename("\U0001f642".encode())),
    "int_kind_2_53": ("native", set_kind(0, 1, 2.0**53)),
    "kind_float": ("native", set_kind(0, 2, 2.0)),
}


@pytest.mark.parametrize("case", ACCEPTED)
def test_accepted(case):
    g = read(data := edit(*ACCEPTED[case]))
    F = parse(data)
    assert data_of(g) == data and data != data_of(small(ACCEPTED[case][0]))
    assert [g.neighbors(v) for v in range(F.n)] == rows_of(F.succ)
    assert g.attribute_names() == [w.name.decode() for w in F.weights]


HEADS = {"offsets": struct.pack("<QB", 2**32 - 2, 0), "targets": struct.pack("<QBQQ", 0, 0, 1, 0),
         "names": struct.pack("<QBQQQB", 0, 0, 1, 0, 0, 0)}
HUGE = {f"n_{n:#x}": struct.pack("<QB", n, 0) for n in [2**32 - 1, 2**32, 2**64 - 1]}
HUGE.update({f"{where}_{count:#x}": head + struct.pack("<Q", count) for where, head in HEADS.items()
             for count in [2**32 - 1, 2**61 + 1, 2**64 - 1]})


@pytest.mark.parametrize("case", HUGE)
def test_40_bytes_claiming_a_huge_size(case):
    start = time.monotonic()
    with pytest.raises(ValueError, match=f"^{MALFORMED}$"):
        read((b"FNL3" + HUGE[case]).ljust(40, b"\0"))
    assert time.monotonic() - start < 1  # allocating what the count claims would take far longer


# Fuzz: each input is refused with the one message, or gives a graph on which
# every method runs. A child process runs the inputs, so a crash fails the test.

VALUES = [*map(f2b, [0.0, -0.0, 1.0, 2.0, -3.0, 0.5, 2.0**53, 2.0**60, 1e308, -1e308, 5e-324, INF, -INF]),
          NAN, 0xFFF8000000000000, 0x7FF0000000000001]  # NaNs: quiet, negative, signalling
NAMES = [b"", b"w", b"weight", "\u00e9".encode(), b"z"]
BOUNDARY = [0, 1, 2, 3, 7, 8, 2**31, 2**32 - 2, 2**32 - 1, 2**32, 2**61 + 1, 2**63, 2**64 - 1]
# Method calls over positions s, t (and every v), each weight w, node objects `nodes`, a node `order`.
CALLS = {key: [compile(f"g.{c}", c, "eval") for c in calls.split()] for key, calls in {
    "any": "degrees() edges_in_order() number_of_edges() has_exact_pred() native_edges() "
           "data_in_column_order() keys_are_nodes() keys_are_nodes(True) core_numbers() triangle_counts() "
           "triangle_counts(None,True) connected() strongly_connected() "
           "strongly_connected(shortcut=False) weakly_connected() generations() "
           "two_colorable() largest_first_colors() bfs_stats() dfs_forward(None,n) betweenness(sources=[]) "
           "component_cursor(nodes=nodes) component_cursor(True,nodes=nodes) "
           "dfs_cursor(None,n,nodes=nodes,events='preorder') dfs_cursor(None,2,nodes=nodes,events='postorder')",
    "attr": "weight_facts(w)",
    "v": "neighbors(v) predecessors(v) has_edge(v,t)",
    "s": "bfs(s,INF).lengths() bfs(s,1.0).length_dict(nodes) bfs_many([s,t],INF).lengths() "
         "bfs_many([s,t],INF).length_dicts(nodes) bfs(s,INF).paths(nodes,s) "
         "bfs(s,2.0,reverse=True).paths(nodes,s,toward=True) bfs_many([s,t],INF).paths(nodes) "
         "bfs_stats([s,t],True) bfs(s,INF).tree() bfs(s,INF,reverse=True).tree() bfs_many([s,t],INF).trees() "
         "bfs(s,n).edges() bfs(s,1,reverse=True).edges() bidirectional_bfs(s,t) dfs_forward([s,t],2) "
         "indegrees_after([s]) triangle_counts([s,t]) connected(nodes=nodes) "
         "weakly_connected(nodes=nodes) strongly_connected(nodes=nodes) "
         "bfs_cursor([s],n,nodes=nodes) bfs_cursor([s],1,True,nodes=nodes,items='flipped') dfs_cursor([s,t],2,nodes=nodes) "
         "bfs_cursor([s],0,True,nodes=nodes,items='layers').next_layer()",
    "undirected": "label_propagation(order)",  # on directed rows the labels may never settle
    "w": "betweenness(w) betweenness(w,True,[s]) edge_betweenness(w) edge_betweenness(w,[t]) closeness(w) "
         "closeness(w,False,[s],compensated_sum=True) harmonic([s,t],[True]*n,w) "
         "dijkstra_many([s],w,2.0).lengths() dijkstra_many([s,t],w).lengths() dijkstra(s,w,target=t).path(t) "
         "dijkstra(s,w).paths(nodes,s) dijkstra(s,w).length_dict(nodes) "
         "dijkstra(t,w,3.0,reverse=True).paths(nodes,t,toward=True,settle_keys=False) "
         "dijkstra_many([s,t],w).paths(nodes) dijkstra(s,w).tree() dijkstra(s,w,target=t,reverse=True).tree() "
         "dijkstra_many([s,t],w).trees() dijkstra_many([s,t],w).length_dicts(nodes) dijkstra_stats(w,[s,t]) "
         "dijkstra_stats(w,compensated_sum=True) shortest_path_predecessors(s,w) kruskal(w) kruskal(w,True) "
         "walk_ranks(0.85,None,30,1e-6,None,w,None) walk_ranks(0.85,[1.0]*n,30,1e-6,[1.0]*n,w,[1.0]*n) "
         "katz(order,0.1,1.0,w,30,1e-6,False) eigenvector(order,[1/n]*n,w,30,1e-6,hypot,True) "
         "bidirectional_weighted(s,t,w) path_walk(s,t,w)",
}.items()}


def exercise(g, rng, verbose=False):
    """Runs every call; an ordinary exception is an answer too."""
    n, attrs = len(g), g.attribute_names()
    env = {"g": g, "n": n, "INF": INF, "hypot": math.hypot, "nodes": tuple(range(n)), "order": rng.sample(range(n), n)}
    runs = [("any", {})] + [("attr", {"w": w}) for w in [None, *attrs, "absent"]]
    if n:
        env.update(s=rng.randrange(n), t=rng.randrange(n))
        runs += [("v", {"v": v}) for v in range(n)] + [("s", {})] + [("undirected", {})] * (not g.directed)
        runs += [("w", {"w": w}) for w in [None, *attrs]]
    for key, more in runs:
        for code in CALLS[key]:
            if verbose:
                print(code.co_filename, more, flush=True)
            try:
                result = eval(code, {**env, **more})
                for _ in range(5 * isinstance(result, core.AllPaths)):
                    result.next_path()
                if isinstance(result, core.Cursor):
                    list(result)
                    result.state()
            except ALLOWED:
                pass


def random_layout(rng):
    """A small graph within the reader's rules but beyond what builders make:
    repeated targets, infinite, negative and NaN weights, reordered rows."""
    n, directed, pred_exact = rng.choice([rng.randint(0, 7)] * 5 + [40]), rng.random() < 0.5, rng.random() < 0.3
    seen, rows = set(), [[] for _ in range(n)]
    for u, v in [(rng.randrange(n), rng.randrange(n)) for _ in range(rng.randint(0, 3 * n))]:
        key = (u, v) if directed else (min(u, v), max(u, v))
        if pred_exact or key not in seen:  # only pred_exact graphs may repeat an edge
            seen.add(key)
            rows[u].append(v)
            rows[v] += [u] if not directed and u != v else []
    F = NS(magic=b"FNL3", n=n, directed=directed, succ=csr([rng.sample(r, len(r)) for r in rows]), pred=None,
           weights=[], exact=None, pred_exact=pred_exact, native=None)
    for name in sorted(rng.sample(NAMES, rng.randint(0, 3))):
        values = [rng.choice(VALUES) for _ in F.succ[1]]
        xs = [struct.unpack("<d", struct.pack("<Q", b))[0] for b in values]
        all_int = rng.random() < 0.8 and all(math.isnan(x) or (math.isfinite(x) and x == int(x)) for x in xs)
        has_int = (all_int and not all(map(math.isnan, xs))) or rng.random() < 0.5
        F.weights.append(NS(name=name, values=values, pred_values=None, all_int=all_int,
                            has_hidden=any(map(math.isnan, xs)), has_int=has_int))
    if directed:
        transpose(F)
        if pred_exact:
            F.pred, columns = shuffle_rows(rng, F.pred, *[w.pred_values for w in F.weights])
            for w, xs in zip(F.weights, columns):
                w.pred_values = xs
        elif rng.random() < 0.5:
            rows, columns = shuffle_rows(rng, F.pred, *[w.pred_values for w in F.weights])
            F.exact = (rows, [(w.name, xs) for w, xs in zip(F.weights, columns) if rng.random() < 0.8])
    return F


def mutate(rng, data):
    cursor = Cursor(data)
    try:
        parse(data, cursor)
    except (AssertionError, struct.error):
        pass  # no field positions: mutate bytes only
    data = bytearray(data)
    for _ in range(rng.choice([1, 1, 1, 2, 3, 6])):
        i, op = rng.randrange(len(data) + 1), rng.randrange(8)
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
        elif op == 6 and cursor.counts and (p := rng.choice(cursor.counts)) + 8 <= len(data):
            (was,) = struct.unpack_from("<Q", data, p)
            now = rng.choice(BOUNDARY + [was - 1, was + 1, was * 2, len(data), len(data) // 8]) % 2**64
            data[p:p + 8] = struct.pack("<Q", now)
        elif op == 7 and cursor.flags and (p := rng.choice(cursor.flags)) < len(data):
            data[p] ^= 1
    return bytes(data)


def fuzz_input(rng, corpus):
    r = rng.random()
    if r < 0.1:
        return rng.choice([b"FNL3", b"FNL2", b""]) + rng.randbytes(rng.randint(0, 64))
    if r < 0.45:
        data = dump(random_layout(rng))
    elif r < 0.6:
        n = rng.randint(1, 8)
        data = data_of(core.build_native(native_edges(rng, n, range(n)), None, rng.random() < 0.5, "w")[0])
    else:
        data = rng.choice(corpus)
        return mutate(rng, version_2(data) if rng.random() < 0.2 else data)
    return mutate(rng, data) if rng.random() < 0.4 else data


def fuzz(first, seconds):
    """Seeds first, first + 1, ... until `seconds` have passed (one seed, verbose, for 0).
    Prints each seed before its input, so a crash or a hang names it; exits with
    the rules broken, each with its seeds."""
    corpus = [data_of(graph(gid)) for gid in BUILDERS] + [data_of(small(k)) for k in ("graph", "exact", "native")]
    deadline, seed, accepted, broken = time.monotonic() + seconds, first, 0, {}
    while True:
        print(seed, flush=True)
        faulthandler.dump_traceback_later(120, exit=True)
        rng = random.Random(seed)
        data = fuzz_input(rng, corpus)
        try:
            g = read(data)
        except ValueError as e:
            if str(e) != MALFORMED:
                broken.setdefault(f"refused with {e!r}", []).append(seed)
        else:
            accepted += 1
            kind = f"{data[:4].decode()} {'converted' if g.native_edges() is None else 'native'} graph"
            try:
                exercise(g, rng, verbose=seconds <= 0)
                again = data_of(g)
                if again != data and kind[:4] == "FNL3":
                    broken.setdefault(f"{kind} accepted, written back otherwise", []).append(seed)
                if (back := outcome(lambda: data_of(read(again)))) != again:
                    broken.setdefault(f"{kind}: its own bytes read back as {str(back)[:60]}", []).append(seed)
            except Exception as e:  # noqa: BLE001 - any other exception is a finding
                broken.setdefault(f"{kind}: {type(e).__name__}: {e}", []).append(seed)
        seed += 1
        if time.monotonic() >= deadline:
            break
    faulthandler.cancel_dump_traceback_later()
    print(f"done: {seed - first} inputs, {accepted} accepted", flush=True)
    sys.exit("\n".join(f"{rule}: {len(seeds)} inputs, seeds {seeds[:6]}" for rule, seeds in broken.items()) or None)


def test_reader_fuzz():
    seconds = float(os.environ.get("FENNEL_FUZZ_SECONDS", "30"))
    first = int(os.environ.get("FENNEL_FUZZ_FIRST_SEED", "0"))
    here = os.path.dirname(os.path.abspath(__file__))
    script = f"import sys; sys.path[:0] = [{here!r}]; import test_bytes; test_bytes.fuzz({first}, {seconds})"
    proc = subprocess.run([sys.executable, "-X", "faulthandler", "-c", script], capture_output=True, text=True,
                          timeout=seconds + 900)
    lines = proc.stdout.splitlines() or [str(first)]
    if not lines[-1].startswith("done"):
        pytest.fail(f"crashed or hung after printing {lines[-1]} (exit {proc.returncode}); to rerun that seed "
                    f"alone: FENNEL_FUZZ_FIRST_SEED={lines[-1]} FENNEL_FUZZ_SECONDS=0\n{proc.stderr[-4000:]}")
    rc, broken = proc.returncode, proc.stderr[-4000:]
    assert rc == 0, f"{lines[-1]}; inputs that broke a rule:\n{broken}"
