"""Inputs built to break the conversion, the pool or the backend's exactness.

Each test is named after the fault it guards against. Node objects that run
Python code while fennel reads the graph, dict subclasses, odd weights,
lying lengths, resource limits and signals.
"""

import copy
import os
import pickle
import signal
import subprocess
import sys
import textwrap
from collections import OrderedDict

import networkx as nx
import numpy as np
import pytest
from zoo import convert, dijkstra_lengths

import fennel._core as core
from fennel import backend
from fennel.backend import registry

pytestmark = [pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs"), pytest.mark.every_case]

SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")


def run_python(code, timeout=120, **env):
    """Runs `code` in a fresh interpreter; returns (returncode, stdout, stderr)."""
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
        env={**os.environ, **env},
    )
    return proc.returncode, proc.stdout, proc.stderr


def weighted_graph(n, m):
    """Code for a child interpreter that converts a random graph with small int weights "w" into `g`."""
    return f"""
        import resource
        import networkx as nx
        from fennel import _core
        G = nx.gnm_random_graph({n}, {m}, seed=1)
        for u, v, d in G.edges(data=True):
            d["w"] = (u * 7 + v) % 5 + 1
        nodes = list(G)
        g = _core.build_graph(nodes, {{v: i for i, v in enumerate(nodes)}}, G._adj, False, [("w", 1)])
    """


def exact(result):
    """Keys with their reprs and types, values with their types and bits, in order."""
    return [(repr(k), type(k), type(v), v.hex() if type(v) is float else v) for k, v in result.items()]


def answers(name, *args, **kwargs):
    """fennel's answer (NetworkX's when fennel refuses) and NetworkX's own."""
    with nx.config(backend_priority=["fennel"]):
        ours = getattr(nx, name)(*args, **kwargs)
    return exact(ours), exact(getattr(nx, name)(*args, backend="networkx", **kwargs))


# Edge data freed by Python code that runs while an edge is read


class Rebinding:
    """A node key equal to `name` whose hashing runs `action` once."""

    def __init__(self, name, action=None):
        self.name, self.action = name, action

    def __hash__(self):
        if self.action is not None:
            action, self.action = self.action, None
            action()
        return hash(self.name)

    def __eq__(self, other):
        return isinstance(other, Rebinding) and other.name == self.name


class RebindingIndex:
    """An integer weight whose __index__ runs `action` once."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __index__(self):
        if self.action is not None:
            action, self.action = self.action, None
            action()
        return self.value


def churn():
    """Fresh dicts of the size just freed, so freed memory is reused."""
    return [{"w": 99, "a": 99} for _ in range(50)]


@pytest.mark.parametrize("multigraph", [False, True], ids=["graph", "multigraph"])
def test_edge_data_freed_by_neighbour_hashing(multigraph):
    a, b = Rebinding("a"), Rebinding("b")
    adj = {a: {}, b: {}}
    keep = []

    def rebind():
        adj[a][b_alias] = {0: {"w": 77}} if multigraph else {"w": 77}
        keep.append(churn())

    b_alias = Rebinding("b")  # equal to b, but not the node object
    adj[a][b_alias] = {0: {"w": 5}} if multigraph else {"w": 5}
    b_alias.action = rebind  # armed once inserted: inserting hashes the key
    g = core.build_graph([a, b], {a: 0, b: 1}, adj, True, [("w", 1)], multigraph)
    assert b_alias.action is None and keep  # the lookup ran the rebinding
    # The walk handed us the first data object: its weight, never freed memory.
    assert (g.neighbors(0), dijkstra_lengths(g, 0, "w")) == ([1], ([0, 1], [0.0, 5.0]))
    assert not g.keys_are_nodes()


@pytest.mark.parametrize("via", ["index", "get"])
def test_edge_data_freed_by_an_earlier_attribute(via):
    adj = {0: {}, 1: {}}
    keep = []

    def rebind():
        adj[0][1] = {"a": 1, "w": 99}
        keep.append(churn())

    if via == "index":
        adj[0][1] = {"a": RebindingIndex(1, rebind), "w": 5}
    else:

        class Data(dict):
            def get(self, key, default=None):
                if key == "a":
                    rebind()
                return super().get(key, default)

        adj[0][1] = Data(a=1, w=5)
    g = core.build_graph([0, 1], {0: 0, 1: 1}, adj, True, [("a", 1), ("w", 1)])
    assert dijkstra_lengths(g, 0, "w") == ([0, 1], [0.0, 5.0])


# C++ exceptions: lying lengths, thread limits


class LyingLength:
    """Two items behind a huge __len__."""

    def __init__(self, length):
        self.length = length

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        if i < 2:
            return i
        raise IndexError(i)


@pytest.mark.parametrize("length", [2**40, 2**62])
def test_huge_sequence_length_is_only_a_hint(length):
    g = convert(nx.path_graph(3))
    assert g.betweenness(sources=LyingLength(length)) == g.betweenness(sources=[0, 1])


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's shadow memory needs the address space")
def test_thread_creation_failure_degrades_the_pool():
    # 2000 threads of 8 MiB stacks do not fit in the address space left.
    code = """
        import resource
        import networkx as nx
        from fennel import _core
        G = nx.karate_club_graph()
        nodes = list(G)
        g = _core.build_graph(nodes, {v: i for i, v in enumerate(nodes)}, G._adj, False, [])
        with open("/proc/self/status") as f:
            vm = next(int(line.split()[1]) for line in f if line.startswith("VmSize"))
        limit = vm * 1024 + (512 << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        print(sum(g.betweenness()))
    """
    code_, out, err = run_python(code, RAYON_NUM_THREADS="2000")
    assert code_ == 0, err
    G = nx.karate_club_graph()
    assert float(out) == sum(convert(G).betweenness())


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's shadow memory needs the address space")
@pytest.mark.parametrize("threads", ["2", "8"])
def test_workers_out_of_memory_raise_memory_error(threads):
    # Barely more address space than in use when the pool starts: workers
    # fail to allocate their scratch (and the runtime state an exception
    # needs), and the call must raise MemoryError, never end the process.
    code = weighted_graph(20_000, 60_000) + """
        with open("/proc/self/status") as f:
            vm = next(int(line.split()[1]) for line in f if line.startswith("VmSize"))
        limit = vm * 1024 + (32 << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            g.betweenness("w", False, list(range(0, 20_000, 500)))
            print("answered")
        except MemoryError:
            print("MemoryError")
    """
    code_, out, err = run_python(code, RAYON_NUM_THREADS=threads)
    assert code_ == 0, err
    assert out.strip() in ("answered", "MemoryError"), out


# Dict subclasses read through the protocol NetworkX uses


class OwnGet(dict):
    def get(self, key, default=None):
        return 7 if key == "weight" else super().get(key, default)


class ReversedIter(dict):
    def __iter__(self):
        return reversed(list(super().__iter__()))


class ReversedItems(dict):
    def items(self):
        return list(reversed(list(super().items())))


class Doubling(dict):
    """Edge data answering get() and [] with twice the stored number (defaults included)."""

    def get(self, key, default=None):
        return 2 * dict.get(self, key, default)

    def __getitem__(self, key):
        return 2 * dict.__getitem__(self, key)


def graph_with(cls_attrs, edges):
    G = type("G", (nx.Graph,), cls_attrs)()
    G.add_weighted_edges_from(edges)
    return G


EDGES = [(0, 1, 2), (0, 2, 1), (2, 3, 5), (1, 3, 1), (3, 4, 2), (0, 4, 9)]


def ordered_after_move_to_end():
    G = graph_with({"adjlist_inner_dict_factory": OrderedDict}, EDGES)
    for u in list(G):
        for v in list(G._adj[u])[:2]:
            G._adj[u].move_to_end(v, last=False)
    return G


def outer_ordered_after_move_to_end():
    G = graph_with({"adjlist_outer_dict_factory": OrderedDict, "node_dict_factory": OrderedDict}, EDGES)
    G._adj.move_to_end(2, last=False)
    return G


@pytest.mark.parametrize(
    "make",
    [
        lambda: graph_with({"edge_attr_dict_factory": OwnGet}, EDGES),
        ordered_after_move_to_end,
        lambda: graph_with({"adjlist_inner_dict_factory": ReversedIter}, EDGES),
        lambda: graph_with({"edge_attr_dict_factory": Doubling}, EDGES),
        lambda: graph_with({"node_dict_factory": ReversedIter}, EDGES),
        lambda: graph_with({"adjlist_outer_dict_factory": ReversedItems}, EDGES),
        outer_ordered_after_move_to_end,
    ],
    ids=["edge_data_with_own_get", "ordered_dict_rows_reordered", "rows_with_own_iteration",
         "edge_data_with_own_lookups", "node_dict_with_own_iteration", "adjacency_with_own_items",
         "ordered_adjacency_reordered"],
)
@pytest.mark.parametrize(
    "name, kwargs",
    [
        ("single_source_dijkstra_path_length", {"source": 0}),
        ("single_source_dijkstra_path_length", {"source": 0, "weight": None}),
        ("single_source_shortest_path_length", {"source": 0}),
        ("betweenness_centrality", {"weight": "weight"}),
        ("edge_betweenness_centrality", {}),
        ("pagerank", {}),
        ("core_number", {}),
    ],
    ids=["dijkstra", "dijkstra_weight_none", "bfs", "betweenness", "edge_betweenness", "pagerank", "cores"],
)
def test_dict_subclasses_answer_as_networkx(make, name, kwargs, monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    ours, theirs = answers(name, make(), **kwargs)
    assert ours == theirs


def test_rows_with_own_iteration_are_refused():
    G = graph_with({"adjlist_inner_dict_factory": ReversedIter}, EDGES)
    with pytest.raises(NotImplementedError, match="iterate in an order of their own"):
        convert(G)


# Result keys are NetworkX's key objects, not list(G)'s


def numpy_keys():
    G = nx.path_graph(4)
    G.add_edges_from(np.array([[1, 2], [3, 4]]))  # keys np.int64 in some rows
    return G


def false_for_zero():
    G = nx.Graph()
    G.add_edge(0, 1)
    G.add_edge(2, False)  # False == 0: row 2 holds the key False
    return G


@pytest.mark.parametrize("make", [numpy_keys, false_for_zero], ids=["numpy_int64", "false_for_0"])
@pytest.mark.parametrize(
    "name, kwargs",
    [
        ("single_source_shortest_path_length", {"source": 3}),
        ("single_source_dijkstra_path_length", {"source": 2}),
        ("edge_betweenness_centrality", {}),
    ],
    ids=["bfs", "dijkstra", "edge_betweenness"],
)
def test_result_keys_are_networkx_key_objects(make, name, kwargs, monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    G = make()
    if name == "single_source_shortest_path_length" and make is false_for_zero:
        kwargs = {"source": 1}
    assert not convert(G).keys_are_nodes()
    ours, theirs = answers(name, G, **kwargs)
    assert ours == theirs


def test_equal_fresh_tuples_and_strings_are_the_same_keys():
    G = nx.grid_2d_graph(3, 3)  # every edge holds fresh tuples
    H = nx.Graph([("".join(["a", "b"]), "c"), ("c", "".join(["a", "b"]))])
    assert convert(G).keys_are_nodes() and convert(H).keys_are_nodes()


class Label(str):
    pass


class Number(int):
    pass


def true_for_1():
    G = nx.Graph()
    G.add_nodes_from([True, 500, 700])
    G.add_edges_from([(500, 1), (500, 700)])  # 1 == True: row 500 holds the key 1
    return G


def subclass_keys(kind, nodes):
    G = nx.Graph()
    G.add_nodes_from(nodes)
    G.add_edges_from((nodes[0], kind(v)) for v in nodes[1:])
    return G


@pytest.mark.parametrize(
    "make",
    [true_for_1, lambda: subclass_keys(Number, [500, 700, 900]), lambda: subclass_keys(Label, ["a5", "b7", "c9"])],
    ids=["int_for_true", "int_subclass", "str_subclass"],
)
def test_equal_keys_of_another_type_are_found_but_not_the_nodes(make, monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    G = make()
    index = {v: i for i, v in enumerate(G)}
    g = convert(G)
    assert [g.neighbors(u) for u in range(len(G))] == [[index[v] for v in G._adj[u]] for u in G]
    assert not g.keys_are_nodes()
    source = list(G)[1]
    ours, theirs = answers("single_source_shortest_path_length", G, source)
    assert ours == theirs


class OwnEquality:
    """A node hashing like the int `value`, compared by Python code (counted)."""

    compared = 0

    def __init__(self, value):
        self.value = value

    def __hash__(self):
        return hash(self.value)

    def __eq__(self, other):
        OwnEquality.compared += 1
        return other is self


def test_int_keys_beside_a_node_with_own_equality_go_through_the_dict(monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    x = OwnEquality(1007)
    G = nx.Graph()
    G.add_nodes_from([x, 1007, 2000])  # x first: looking 1007 up compares it with x
    G.add_edges_from([(x, 2000), (int("2000"), int("1007"))])
    nodes = list(G)
    index = {v: i for i, v in enumerate(nodes)}
    OwnEquality.compared = 0
    g = core.build_graph(nodes, index, G._adj, False, [])
    # NetworkX's lookups ask x about every key hashing like it: so must ours.
    assert OwnEquality.compared > 0
    assert [g.neighbors(u) for u in range(3)] == [[index[v] for v in G._adj[u]] for u in nodes]
    ours, theirs = answers("single_source_shortest_path_length", G, 2000)
    assert ours == theirs


# Weights on which a search forms NaN


@pytest.mark.parametrize(
    "weights",
    [[-1e308, -1e308, float("inf")], [1e308, 1e308, -1e308, -1e308], [float("-inf"), 1e308, 1e308]],
    ids=["overflow_to_minus_inf", "both_overflow", "overflow_to_inf"],
)
def test_nan_distances_are_refused(weights, monkeypatch):
    monkeypatch.setattr(registry, "SHOULD_RUN_MIN_WORK", dict.fromkeys(registry.SHOULD_RUN_MIN_WORK, (0, 0)))
    G = nx.DiGraph()
    nx.add_path(G, range(len(weights) + 1))
    for (u, v), w in zip(G.edges, weights):
        G[u][v]["weight"] = w
    G.add_edge(0, len(weights), weight=0.5)
    with pytest.raises(NotImplementedError):
        nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    ours, theirs = answers("single_source_dijkstra_path_length", G, 0)
    assert ours == theirs


def test_large_weights_of_one_sign_are_served():
    G = nx.path_graph(4, create_using=nx.DiGraph)
    nx.set_edge_attributes(G, 1e308, "weight")
    nx.single_source_dijkstra_path_length(G, 0, backend="fennel")
    assert backend.calls["ran", "single_source_dijkstra_path_length"] > 0


# Arguments and data NetworkX reads in its own way


def canon(result):
    """A result with every key's and value's type and repr, in order; a graph as its nodes and edges."""
    if isinstance(result, nx.Graph):
        return canon(list(result.nodes)), canon(list(result.edges(data=True)))
    if isinstance(result, dict):
        return exact(result)
    if isinstance(result, set | list | tuple):
        return [(type(x), repr(x)) for x in result]
    return type(result), repr(result)


def outcome(fn, *args, **kwargs):
    try:
        return canon(fn(*args, **kwargs))
    except Exception as exc:  # NetworkX's own error must come back too
        return type(exc), str(exc)


def fennel_or_refused(fn):
    """fn run by fennel, or NotImplementedError's class when fennel refuses."""

    def run(*args, **kwargs):
        try:
            return fn(*args, backend="fennel", **kwargs)
        except NotImplementedError:
            return NotImplementedError

    return run


class FloatsBig(int):
    def __float__(self):
        return 10.0


def none_keyed():
    G = nx.Graph()
    G.add_edges_from([(0, 1, {None: 5}), (1, 2, {None: 7}), (0, 2)])
    return G


def float_twin():
    G = nx.Graph()
    G.add_nodes_from([0, 1, 2])
    G.add_edges_from([(0, 1.0), (1, 2)])  # G._adj[0] holds the key 1.0 for node 1
    return G


def view_of_many():
    H = nx.Graph()
    H.add_nodes_from(range(20, 0, -1))
    H.add_edges_from([(5, 3), (3, 1), (1, 5)])
    return H.subgraph([5, 3, 1, 7, 9, 11])


@pytest.mark.parametrize(
    "fn, make, kwargs",
    [
        (nx.single_source_dijkstra_path_length, none_keyed, {"source": 0, "weight": None}),
        (nx.pagerank, none_keyed, {"weight": None}),
        (nx.katz_centrality, none_keyed, {"weight": None}),
        (nx.harmonic_diameter, none_keyed, {"weight": None}),
        (nx.single_source_shortest_path_length, lambda: nx.path_graph(6), {"source": 0, "cutoff": FloatsBig(1)}),
        (nx.pagerank, lambda: nx.path_graph(3), {"weight": "\udc80"}),
        (nx.clustering, nx.karate_club_graph, {"weight": 3}),
        (nx.ancestors, float_twin, {"source": 0}),
        (nx.node_connected_component, lambda: nx.path_graph(3), {"n": 99}),
        (nx.k_crust, view_of_many, {"k": 0}),
        (nx.k_shell, view_of_many, {"k": 0}),
    ],
    ids=["none_key_dijkstra", "none_key_pagerank", "none_key_katz", "none_key_harmonic_diameter",
         "cutoff_subclass", "unencodable_weight_name", "clustering_odd_weight", "ancestors_key_twin",
         "component_of_missing_node", "k_crust_of_view", "k_shell_of_view"],
)
def test_odd_arguments_and_data_answer_as_networkx(fn, make, kwargs):
    ours = outcome(fennel_or_refused(fn), make(), **kwargs)
    assert ours in (outcome(fn, make(), **kwargs), (type, repr(NotImplementedError)))


@pytest.mark.parametrize("fn", [nx.eccentricity, nx.average_shortest_path_length, nx.wiener_index, nx.radius])
def test_native_graph_lacking_the_weight_weighs_one(fn):
    edges = [(0, 1), (1, 2), (2, 0), (2, 3)]
    G = nx.from_edgelist(edges, backend="fennel")
    assert canon(fn(G, weight="cost", backend="fennel")) == canon(fn(nx.from_edgelist(edges), weight="cost"))
    ours = nx.closeness_centrality(G, distance="cost", backend="fennel")
    assert exact(ours) == exact(nx.closeness_centrality(nx.from_edgelist(edges), distance="cost"))


# Exceptions from Python code propagate unchanged


class Boom(Exception):
    def __init__(self, code, detail):
        super().__init__(code, detail)


def raising(exc):
    class Raising:
        def __index__(self):
            raise exc

        __float__ = __index__

    return Raising()


EXCEPTIONS = [KeyboardInterrupt("mine"), SystemExit("mine"), MemoryError("mine"), ZeroDivisionError("mine"),
              Boom(7, "mine")]


@pytest.mark.parametrize("exc", EXCEPTIONS, ids=lambda e: type(e).__name__)
@pytest.mark.parametrize(
    "call",
    [
        lambda w: convert(nx.DiGraph([(0, 1, {"weight": w})]), [("weight", 1)]),
        lambda w: core.build_native([(0, 1, {"weight": w})], None, False, "weight"),
        lambda w: convert(nx.path_graph(3)).bfs(w, 1.0),
        lambda w: convert(nx.path_graph(3)).bfs(0, w),
        lambda w: convert(nx.path_graph(3)).betweenness(sources=[0, w]),
    ],
    ids=["weight", "native_attribute", "position", "float", "position_item"],
)
def test_exception_raised_by_an_argument_propagates(call, exc):
    with pytest.raises(type(exc)) as info:
        call(raising(exc))
    assert info.value is exc


# Exact predecessor order from another graph


def test_load_exact_pred_of_another_graph_is_refused():
    G = nx.DiGraph([(0, 1), (1, 2), (2, 0)])
    other = nx.DiGraph([(0, 2), (2, 1), (1, 0)])  # as many edges, other rows
    g = convert(G)
    nodes = list(G)
    with pytest.raises(ValueError, match="predecessors do not match this graph"):
        g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, other._pred, [])
    assert not g.has_exact_pred()
    g.load_exact_pred(nodes, {v: i for i, v in enumerate(nodes)}, G._pred, [])
    assert g.has_exact_pred()


# Pickling and copying a graph fennel has touched


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_after_a_weighted_call(protocol):
    G = nx.karate_club_graph()
    expected = nx.single_source_dijkstra_path_length(G, 0, backend="networkx")
    assert nx.single_source_dijkstra_path_length(G, 0, backend="fennel") == expected
    assert G.__networkx_cache__  # the conversion is cached with the graph
    for H in (pickle.loads(pickle.dumps(G, protocol=protocol)), copy.deepcopy(G)):
        assert exact(nx.single_source_dijkstra_path_length(H, 0, backend="fennel")) == exact(expected)


# Memory and signals


def peak_rss_growth(threads):
    code = weighted_graph(100_000, 300_000) + """
        del G
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        g.betweenness("w", False, list(range(0, 100_000, 2_500)))  # 40 sources: one or more for each of 32 threads
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
    """
    code_, out, err = run_python(code, timeout=600, RAYON_NUM_THREADS=str(threads))
    assert code_ == 0, err
    return int(out) * 1024


@pytest.mark.skipif(SANITIZED, reason="the sanitizer changes what memory is resident")
def test_scratch_memory_does_not_grow_with_threads():
    one, many = peak_rss_growth(1), peak_rss_growth(32)
    assert many < one + (300 << 20), (one >> 20, many >> 20)


@pytest.mark.parametrize(
    "call",
    [
        "g.betweenness()",
        "nx.eigenvector_centrality(G, max_iter=10**9, tol=0, backend='fennel')",
        # Searches run beside the thread that makes their dicts, call after call.
        "_core._beside_nodes(2); [g.bfs_length_dict(0, 1e9, tuple(nodes)) for _ in iter(int, 1)]",
    ],
    ids=["betweenness", "eigenvector", "length_dicts"],
)
def test_ctrl_c_stops_a_long_call(call):
    # The signal comes from another Python thread, which must get to run.
    code = """
        import os, signal, threading, time
        import networkx as nx
        from fennel import _core
        G = nx.gnm_random_graph(30_000, 150_000, seed=2)
        nodes = list(G)
        g = _core.build_graph(nodes, {v: i for i, v in enumerate(nodes)}, G._adj, False, [])
        # A shell that starts us in the background leaves SIGINT ignored.
        signal.signal(signal.SIGINT, signal.default_int_handler)
        threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
        start = time.monotonic()
        try:
            CALL
            print("finished")
        except KeyboardInterrupt:
            print("interrupted", time.monotonic() - start)
        small = _core.build_graph([0, 1, 2], {0: 0, 1: 1, 2: 2}, {0: {1: {}}, 1: {0: {}, 2: {}}, 2: {1: {}}}, False, [])
        print(small.betweenness(), len(g), g.number_of_edges())
    """
    code = code.replace("CALL", call)
    code_, out, err = run_python(code, RAYON_NUM_THREADS="2")
    assert code_ == 0, err
    first, second = out.splitlines()
    word, seconds = first.split()
    assert word == "interrupted" and float(seconds) < 2.0, first
    # The pool still works and the graph is intact.
    assert second == "[0.0, 2.0, 0.0] 30000 150000"
