"""Flow-based connectivity against NetworkX: values with their types, cut sets
in iteration order (their insertions decide it, over colliding hashes too),
all-pairs dicts in key order, and NetworkX's errors; with NetworkX's default
flow function and with edmonds_karp and preflow_push given explicitly."""

import networkx as nx
import pytest
from networkx.algorithms import connectivity as conn
from networkx.algorithms.flow import edmonds_karp, preflow_push
from test_clique import same_under_hash_seeds
from test_flow import same
from zoo import _relabelled, _shuffled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GLOBAL = [nx.node_connectivity, nx.edge_connectivity, nx.minimum_node_cut, nx.minimum_edge_cut]
ALL_PAIRS = [nx.average_node_connectivity, nx.all_pairs_node_connectivity]
LOCAL = [conn.local_node_connectivity, conn.local_edge_connectivity, conn.minimum_st_edge_cut,
         conn.minimum_st_node_cut]


def _graphs():
    und = nx.connected_watts_strogatz_graph(30, 4, 0.3, seed=1)
    dig = nx.gnp_random_graph(25, 0.2, seed=2, directed=True)
    loops = nx.gnp_random_graph(20, 0.3, seed=3)
    loops.add_edges_from([(0, 0), (4, 4)])
    both_ways = nx.DiGraph(nx.gnp_random_graph(18, 0.3, seed=5))  # every arc with its reverse
    both_ways.remove_edges_from(list(both_ways.edges)[::7])
    loops_digraph = nx.gnp_random_graph(16, 0.3, seed=6, directed=True)
    loops_digraph.add_edges_from((v, v) for v in list(loops_digraph)[::3])
    return {
        "graph": und,
        "digraph": dig,
        "loops": loops,
        "both_ways": both_ways,
        "loops_digraph": loops_digraph,
        "shuffled": _shuffled(und, 4),
        "str_nodes": _relabelled(und, {i: f"v{i}" for i in und}),
        "tuple_nodes": _relabelled(dig, {i: ("t", i % 5, i) for i in dig}),
        "hash_colliding": _relabelled(und, {i: i * 64 for i in und}),
        "complete": nx.complete_graph(7),
        "path_digraph": nx.path_graph(8, nx.DiGraph),
        "disconnected": nx.disjoint_union(nx.cycle_graph(5), nx.path_graph(4)),
        "one_node": nx.empty_graph(1),
        "one_node_digraph": nx.empty_graph(1, nx.DiGraph),
    }


GRAPHS = _graphs()
FLOW_FUNCS = [{}, {"flow_func": edmonds_karp}, {"flow_func": preflow_push}]


@pytest.mark.parametrize("kwargs", FLOW_FUNCS, ids=["default", "edmonds_karp", "preflow_push"])
@pytest.mark.parametrize("gid", GRAPHS)
def test_global_against_networkx(gid, kwargs):
    G = GRAPHS[gid]
    for f in GLOBAL + ALL_PAIRS:
        assert same(f, G, **kwargs)
    # A caller's cutoff is followed with Edmonds–Karp only (preflow_push ignores it or raises).
    served_cutoff = kwargs.get("flow_func") is not preflow_push
    assert same(nx.edge_connectivity, G, cutoff=2, **kwargs) == served_cutoff
    assert same(nx.edge_connectivity, G, cutoff=1.5, **kwargs) == served_cutoff
    assert same(nx.all_pairs_node_connectivity, G, nbunch=list(G)[::3], **kwargs)


@pytest.mark.parametrize("gid", [g for g in GRAPHS if len(GRAPHS[g]) > 1])
def test_pairs_against_networkx(gid):
    G = GRAPHS[gid]
    nodes = list(G)
    pairs = [(nodes[0], nodes[-1]), (nodes[1], nodes[len(nodes) // 2]), (nodes[-1], nodes[1]), (nodes[0], nodes[0])]
    for s, t in pairs:
        for f in LOCAL:
            assert same(f, G, s, t) or f is conn.minimum_st_edge_cut and s == t
        for f in (nx.node_connectivity, nx.edge_connectivity, nx.minimum_node_cut, nx.minimum_edge_cut):
            assert same(f, G, s, t) or (s == t and f in (nx.minimum_edge_cut, nx.edge_connectivity))
        assert same(conn.local_edge_connectivity, G, s, t, cutoff=1) or s == t
        assert same(conn.local_node_connectivity, G, s, t, cutoff=2)
        assert same(conn.minimum_st_node_cut, G, s, t, flow_func=preflow_push)
        assert same(conn.minimum_st_edge_cut, G, s, t, flow_func=preflow_push) or s == t


@pytest.mark.parametrize(
    ("f", "args", "kwargs"),
    [
        (nx.node_connectivity, (0,), {}),  # both ends or neither
        (nx.minimum_edge_cut, (None, 3), {}),
        (nx.node_connectivity, (0, "absent"), {}),
        (nx.minimum_node_cut, ("absent", 1), {}),
        (conn.local_node_connectivity, (0, "absent"), {}),  # NetworkX's mapping raises KeyError
        (nx.edge_connectivity, (), {"flow_func": preflow_push, "cutoff": 2}),
        (conn.local_edge_connectivity, (0, 5), {"residual": nx.DiGraph()}),
        (conn.minimum_st_node_cut, (0, 5), {"auxiliary": nx.DiGraph()}),
        (nx.edge_connectivity, (), {"cutoff": float("nan")}),
    ],
)
def test_errors_and_refusals_as_networkx(f, args, kwargs):
    G = GRAPHS["graph"]
    ran = same(f, G, *args, **kwargs)
    assert ran == (not kwargs and f is not conn.local_node_connectivity)


def test_null_and_multigraphs_left_to_networkx():
    for f in GLOBAL:
        assert not same(f, nx.Graph())
    M = nx.MultiGraph(GRAPHS["graph"])
    M.add_edges_from([(0, 1), (0, 1)])
    for f in GLOBAL + ALL_PAIRS:
        assert not same(f, M)


@pytest.mark.parametrize("threads", [1, 2])
def test_pairs_on_any_thread_count(threads):
    G = nx.connected_watts_strogatz_graph(40, 4, 0.4, seed=7)
    D = nx.gnp_random_graph(20, 0.25, seed=8, directed=True)
    with nx.config.backends.fennel(n_jobs=threads):
        for H in (G, D):
            for f in ALL_PAIRS + [nx.minimum_node_cut, nx.minimum_edge_cut]:
                assert same(f, H)


_SEEDED = """
import networkx as nx
from networkx.algorithms import connectivity as conn
from networkx.algorithms.flow import edmonds_karp
G = nx.relabel_nodes(nx.connected_watts_strogatz_graph(60, 6, 0.3, seed=9), lambda i: f"n{i}")
nx.set_edge_attributes(G, 1, "capacity")
calls = [(nx.minimum_node_cut, (G,), {}), (nx.minimum_edge_cut, (G,), {}),
         (conn.minimum_st_node_cut, (G, "n0", "n30"), {}), (conn.minimum_st_edge_cut, (G, "n0", "n30"), {}),
         (nx.minimum_cut, (G, "n0", "n30"), {"flow_func": edmonds_karp})]
def picture(x):
    return [picture(v) for v in x] if isinstance(x, (set, tuple)) else x
got = [picture(f(*a, backend="fennel", **k)) for f, a, k in calls]
expected = [picture(f(*a, **k)) for f, a, k in calls]
print(got == expected, expected)
"""


def test_cut_orders_follow_the_hash_seed():
    """The node auxiliary digraph's names and str nodes hash by the seed: every cut set's order with them."""
    same_under_hash_seeds(_SEEDED)
