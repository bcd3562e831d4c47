"""gomory_hu_tree against NetworkX: the tree compared in full (node and edge
orders, each label's value, type and float bits) over capacities of every
flavour, where float flows follow R's rows as each minimum cut reorders
them; NetworkX's errors, and the flow functions left to it."""

import networkx as nx
import pytest
from networkx.algorithms.flow import edmonds_karp, preflow_push
from test_flow import with_capacities
from zoo import _relabelled, _shuffled, shape

from fennel.backend import RELEASE_REFUSALS, calls

pytestmark = [
    pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs"),
    pytest.mark.skipif("gomory_hu_tree" in RELEASE_REFUSALS, reason="the installed NetworkX keeps it for itself"),
]


def _outcome(G, kwargs):
    try:
        return ("returned", shape(nx.gomory_hu_tree(G, **kwargs)))
    except Exception as exc:  # the error itself is compared
        return ("raised", type(exc), exc.args)


def same(G, **kwargs):
    """fennel's answer equals NetworkX's; whether fennel ran."""
    expected = _outcome(G, {**kwargs, "backend": "networkx"})
    before = calls["ran", "gomory_hu_tree"]
    got = _outcome(G, {**kwargs, "backend": "fennel"})
    if got[:2] == ("raised", NotImplementedError):
        with nx.config(backend_priority=["fennel"]):  # refused: NetworkX answers
            got = _outcome(G, kwargs)
    assert got == expected
    return calls["ran", "gomory_hu_tree"] > before


def _graphs():
    und = nx.gnp_random_graph(30, 0.15, seed=2)
    loops = nx.gnp_random_graph(25, 0.2, seed=3)
    loops.add_edges_from([(0, 0), (5, 5)])
    loops.add_nodes_from(["lone", 99])
    return {
        "graph": und,
        "loops_isolates": loops,
        "complete": nx.complete_graph(8),
        "shuffled": _shuffled(und, 4),
        "str_nodes": _relabelled(und, {i: f"v{i}" for i in und}),
        "mixed_nodes": _relabelled(und, {i: (i if i % 3 else ("t", i)) if i % 2 else f"s{i}" for i in und}),
        "hash_colliding": _relabelled(und, {i: i * 64 for i in und}),
        "two_parts": nx.disjoint_union(nx.path_graph(6), nx.cycle_graph(5)),
    }


GRAPHS = _graphs()


@pytest.mark.parametrize("flavour", ["int", "float", "mixed", "missing", "dropped"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_against_networkx(gid, flavour):
    G = with_capacities(GRAPHS[gid].copy(), flavour, hash(gid) % 1000)
    assert same(G)
    assert same(G, flow_func=edmonds_karp)


@pytest.mark.parametrize(
    "G",
    [nx.Graph(), nx.empty_graph(1), nx.empty_graph(4), nx.path_graph(3), nx.MultiGraph([(0, 1)])],
    ids=["empty", "one", "edgeless", "uncapacitated", "multigraph"],
)
def test_errors_and_small_graphs(G):
    assert same(G) or G.is_multigraph()  # a multigraph's conversion may be refused before the body


def test_other_flow_functions_left_to_networkx():
    G = with_capacities(GRAPHS["graph"].copy(), "int", 1)
    assert not same(G, flow_func=preflow_push)
    assert not same(G, capacity=None)


def _views():
    G = with_capacities(nx.connected_watts_strogatz_graph(30, 6, 0.3, seed=5), "mixed", 1)
    return {"subgraph": G.subgraph(range(3, 28)), "restricted": nx.restricted_view(G, [4], [(0, 1)]),
            "to_undirected": G.to_directed().to_undirected(as_view=True)}


@pytest.mark.parametrize("V", _views().values(), ids=_views().keys())
def test_graph_views(V):
    """Views list their edges (and capacities) through NetworkX's filters, in its orders."""
    assert same(V)
