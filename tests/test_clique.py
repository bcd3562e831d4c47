"""Maximal cliques and clique percolation against NetworkX: cliques and
communities compared in order and element by element in iteration order
(set orders follow the nodes' hashes), exceptions by type, message and the
step that raises them."""

import itertools
import os
import subprocess
import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run, outcome  # noqa: F401 - the fixture applies here too
from zoo import ZOO, _relabelled, _shuffled, shape

from fennel.backend import calls, clique
from fennel.backend.interface import refusal

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


def _moon_moser(parts):
    """The complement of disjoint triangles: 3**parts maximal cliques."""
    return nx.complement(nx.disjoint_union_all([nx.complete_graph(3)] * parts))


def _graphs():
    cases = {name: G for name, G in ZOO.items() if not G.is_directed()}
    dense = nx.gnp_random_graph(45, 0.6, seed=21)
    cases.update({
        "dense": dense,
        "dense_shuffled": _shuffled(dense, 22),
        "dense_str": _relabelled(dense, {i: f"s{i}" for i in dense}),
        "dense_tuple": _relabelled(dense, {i: (i % 5, str(i)) for i in dense}),
        "dense_mixed": _relabelled(dense, {i: i if i % 2 else f"m{i}" for i in dense}),
        "complete_12": nx.complete_graph(12),
        "moon_moser_5": _moon_moser(5),
        "overlapping_k5": nx.compose(nx.complete_graph(5), nx.relabel_nodes(nx.complete_graph(5), lambda x: x + 3)),
        "collisions": _relabelled(nx.gnp_random_graph(40, 0.4, seed=23), {i: i * 64 for i in range(40)}),
        "big_ints": _relabelled(nx.gnp_random_graph(40, 0.5, seed=24), {i: 2**62 + 8 * i for i in range(40)}),
    })
    cases["dense_multi_loops"] = nx.MultiGraph(dense)
    cases["dense_multi_loops"].add_edges_from([(0, 0), (1, 1), (0, 1), (2, 3)])
    return cases


GRAPHS = _graphs()


def _ran(name, call):
    before = calls["ran", name]
    result = call()
    assert calls["ran", name] == before + 1
    return result


@pytest.mark.parametrize("name", GRAPHS)
def test_find_cliques(name):
    G = GRAPHS[name]
    expected = list(nx.find_cliques(G))
    assert _ran("find_cliques", lambda: list(nx.find_cliques(G, backend="fennel"))) == expected
    recursive = _ran("find_cliques_recursive", lambda: nx.find_cliques_recursive(G, backend="fennel"))
    assert type(recursive) is type(nx.find_cliques_recursive(G))
    assert list(recursive) == expected


# k=2 percolates every edge: NetworkX's pairwise clique overlaps make it slow on
# the dense graphs, so one of them stands for the rest.
@pytest.mark.parametrize("name, k", [(name, k) for k in (2, 3, 4, 6) for name in GRAPHS
                                     if not (k == 2 and name.startswith("dense_"))])
def test_k_clique_communities(name, k):
    G = GRAPHS[name]
    expected = [list(c) for c in nx.community.k_clique_communities(G, k)]
    got = _ran("k_clique_communities", lambda: nx.community.k_clique_communities(G, k, backend="fennel"))
    got = list(got)
    assert all(type(c) is frozenset for c in got)
    assert [list(c) for c in got] == expected


def _outcome(call):
    try:
        return [list(c) for c in call()]
    except Exception as e:  # noqa: BLE001 - the exception is the answer compared
        return type(e), str(e)


_G = GRAPHS["dense_mixed"]
_CLIQUE = next(nx.find_cliques(_G))
NODES = {
    "one": _CLIQUE[:1],
    "pair": _CLIQUE[:2],
    "whole_clique": _CLIQUE,
    "reversed": _CLIQUE[::-1],
    "not_adjacent": [u for u in _G if u not in _G[_CLIQUE[0]] and u != _CLIQUE[0]][:1] + _CLIQUE[:1],
    "repeated": [_CLIQUE[0], _CLIQUE[0]],
    "missing": [_CLIQUE[0], "absent"],
    "unhashable": [_CLIQUE[0], ["x"]],
    "unhashable_after_failure": [_CLIQUE[0], _CLIQUE[0], ["x"]],
    # The first clique's nodes follow str hashes, which change per process.
    "equal_float": [float(next(v for v in _G if type(v) is int))],
    "empty": [],
}


@pytest.mark.parametrize("nodes", NODES)
def test_nodes(nodes):
    given = NODES[nodes]
    for name in ("find_cliques", "find_cliques_recursive"):
        nx_func = getattr(nx, name)
        expected = _outcome(lambda: nx_func(_G, list(given)))  # noqa: B023 - called at once
        assert _outcome(lambda: nx_func(_G, list(given), backend="fennel")) == expected  # noqa: B023


def test_nodes_errors_raise_where_networkx_raises():
    bad = NODES["not_adjacent"]
    gen = nx.find_cliques(_G, bad, backend="fennel")  # a generator: raises on its first step
    with pytest.raises(ValueError, match="do not form a clique"):
        next(gen)
    with pytest.raises(ValueError, match="do not form a clique"):
        nx.find_cliques_recursive(_G, bad, backend="fennel")


def test_k_below_two_raises_on_first_step():
    gen = nx.community.k_clique_communities(_G, 1, backend="fennel")
    with pytest.raises(nx.NetworkXError, match=r"k=1, k must be greater than 1\."):
        next(gen)


@pytest.mark.parametrize("name", ["find_cliques", "k_clique_communities"])
def test_graph_changed_before_first_step(name):
    """Both generators read the graph on their first step, as NetworkX's do."""
    def run(backend):
        G = GRAPHS["dense"].copy()
        func = nx.community.k_clique_communities if name == "k_clique_communities" else nx.find_cliques
        gen = func(G, 3, backend=backend) if name == "k_clique_communities" else func(G, backend=backend)
        G.add_edges_from(itertools.combinations(range(30, 45), 2))
        return [list(c) for c in gen]

    assert run("fennel") == run("networkx")


def test_partial_consumption_matches():
    G = _moon_moser(6)
    head = list(itertools.islice(nx.find_cliques(G, backend="fennel"), 100))
    assert head == list(itertools.islice(nx.find_cliques(G), 100))


@pytest.mark.parametrize("name,args,kwargs", [
    ("k_clique_communities", (3,), {"cliques": [[0, 1, 2]]}),
    ("k_clique_communities", (3.0,), {}),
    ("find_cliques", ((0, 1),), {}),
    ("find_cliques", (), {}),
], ids=["cliques_given", "float_k", "tuple_nodes", "directed"])
def test_refusals(name, args, kwargs):
    G = nx.DiGraph(GRAPHS["dense"]) if not args and not kwargs else GRAPHS["dense"]
    assert refusal(name, (G, *args), kwargs)


@pytest.mark.parametrize("name", ["find_cliques", "k_clique_communities"])
def test_directed_answered_as_networkx(name):
    """Directed graphs are refused: NetworkX answers (raising from 3.5 on)."""
    G = nx.DiGraph(GRAPHS["dense"])
    func = nx.community.k_clique_communities if name == "k_clique_communities" else nx.find_cliques
    args = (3,) if name == "k_clique_communities" else ()
    expected = _outcome(lambda: func(G, *args))
    with nx.config(backend_priority=["fennel"]):
        assert _outcome(lambda: func(G, *args)) == expected


_SEEDED = """
import networkx as nx
from fennel.backend import calls
G = nx.relabel_nodes(nx.gnp_random_graph(40, 0.5, seed=5), lambda i: f"n{i}")
same = [list(nx.find_cliques(G, backend="fennel")) == list(nx.find_cliques(G))]
for k in (2, 3, 4):
    same.append([list(c) for c in nx.community.k_clique_communities(G, k, backend="fennel")]
                == [list(c) for c in nx.community.k_clique_communities(G, k)])
same.append(calls["ran", "find_cliques"] == 1 and calls["ran", "k_clique_communities"] == 3)
print(all(same), list(next(nx.community.k_clique_communities(G, 3))))
"""


def same_under_hash_seeds(script):
    """Runs ``script`` (printing whether fennel agreed, then NetworkX's answer)
    under three hash seeds: fennel agreed each time, and the seeds did give
    NetworkX different orders."""
    answers = set()
    for seed in ("1", "2", "3"):
        out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True,
                             env={**os.environ, "PYTHONHASHSEED": seed}).stdout.split(" ", 1)
        assert out[0] == "True"
        answers.add(out[1])
    assert len(answers) > 1


def test_string_orders_follow_the_hash_seed():
    """str hashes change with the seed, and with them every set order."""
    same_under_hash_seeds(_SEEDED)


@pytest.mark.parametrize("name", GRAPHS)
def test_enumerate_all_cliques(name):
    G = GRAPHS[name]
    got = _ran("enumerate_all_cliques", lambda: nx.enumerate_all_cliques(G, backend="fennel"))
    assert hasattr(got, "__next__")
    assert list(got) == list(nx.enumerate_all_cliques(G))


def test_enumerate_all_cliques_is_lazy():
    """K40 has 2**40 cliques: the first thousand come without walking them."""
    G = nx.complete_graph(40)
    head = list(itertools.islice(nx.enumerate_all_cliques(G, backend="fennel"), 1000))
    assert head == list(itertools.islice(nx.enumerate_all_cliques(G), 1000))


def test_enumerate_all_cliques_reads_the_graph_on_first_step():
    def run(backend):
        G = GRAPHS["dense"].copy()
        gen = nx.enumerate_all_cliques(G, backend=backend)
        G.add_edges_from(itertools.combinations(range(30, 45), 2))
        return list(gen)

    assert run("fennel") == run("networkx")


@pytest.mark.parametrize("name", GRAPHS)
def test_node_clique_number(name):
    G = GRAPHS[name]
    nodes = list(G)
    whole = _ran("node_clique_number", lambda: nx.node_clique_number(G, backend="fennel"))
    expected = nx.node_clique_number(G)
    assert type(whole) is type(expected) and list(whole.items()) == list(expected.items())
    for given in (nodes[::3], tuple(nodes[1::4]) + tuple(nodes[:2])):
        got = _ran("node_clique_number", lambda: nx.node_clique_number(G, given, backend="fennel"))  # noqa: B023
        assert list(got.items()) == list(nx.node_clique_number(G, given).items())
    for v in nodes[:5]:
        assert _ran("node_clique_number", lambda: nx.node_clique_number(G, v, backend="fennel")) == \
            nx.node_clique_number(G, v)  # noqa: B023


@pytest.mark.parametrize("nodes", [["absent"], (0, 1), "01", iter([0, 1])],
                         ids=["missing", "tuple_node", "string", "iterator"])
def test_node_clique_number_odd_nodes_answered_as_networkx(nodes):
    G = nx.Graph([(0, 1), (1, 2), ((0, 1), 0), ("0", "1")])
    expected = _outcome(lambda: [nx.node_clique_number(G, nodes if not hasattr(nodes, "__next__") else iter([0, 1]))])
    with nx.config(backend_priority=["fennel"]):
        got = _outcome(lambda: [nx.node_clique_number(G, nodes)])
    assert got == expected


def _weighted(G, seed, low=-2, high=6):
    H = G.copy()
    rnd = __import__("random").Random(seed)
    for v in H:
        H.nodes[v]["weight"] = rnd.randint(low, high)
    return H


@pytest.mark.parametrize("name", GRAPHS)
@pytest.mark.parametrize("weights", ["ties", "spread", "unit"])
def test_max_weight_clique(name, weights):
    G = GRAPHS[name]
    H = _weighted(G, 7, *((1, 2) if weights == "ties" else (-3, 1000))) if weights != "unit" else G
    weight = None if weights == "unit" else "weight"
    got = _ran("max_weight_clique", lambda: nx.max_weight_clique(H, weight, backend="fennel"))
    assert shape(got) == shape(nx.max_weight_clique(H, weight))


@pytest.mark.parametrize("value", [None, 2.0, 10**30, True], ids=["missing", "float", "huge", "bool"])
def test_max_weight_clique_weights_as_networkx(value):
    G = _weighted(GRAPHS["dense"], 3)
    if value is None:
        del G.nodes[5]["weight"]
    else:
        G.nodes[5]["weight"] = value
        G.nodes[9]["weight"] = value
    expected = outcome("max_weight_clique", G)
    with nx.config(backend_priority=["fennel"]):
        assert outcome("max_weight_clique", G) == expected


def test_max_weight_clique_deep_search_left_to_networkx(monkeypatch):
    monkeypatch.setattr(clique, "_DEEPEST", 4)
    G = _weighted(nx.complete_graph(9), 2, 1, 3)
    assert nx.max_weight_clique(G, backend="fennel") == nx.max_weight_clique(G)
