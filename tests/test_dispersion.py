"""Dispersion against NetworkX: every pair, one node's row (given as u or
as v), single pairs adjacent or not, and the normalisation's parameters of
several types (its errors included). Directed graphs and self-loops make
NetworkX's test depend on which common neighbour its set yields first;
nodes whose hashes collide make that order long probe chains."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, _relabelled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GRAPHS = dict(ZOO)
_dense = nx.gnp_random_graph(40, 0.35, seed=8, directed=True)
_dense.add_edges_from((v, v) for v in range(0, 40, 3))
GRAPHS["dense_digraph_loops"] = _dense
GRAPHS["collisions"] = _relabelled(_dense, {i: i * 64 for i in _dense})
GRAPHS["dense_str"] = _relabelled(nx.gnp_random_graph(35, 0.4, seed=9), {i: f"s{i}" for i in range(35)})

PARAMS = [{}, {"normalized": False}, {"alpha": 2, "b": 1, "c": 0}, {"alpha": 0.5, "b": 0.25, "c": -1}]


@pytest.mark.parametrize("gid", GRAPHS)
@pytest.mark.parametrize("params", PARAMS)
def test_dispersion(gid, params):
    G = GRAPHS[gid]
    nodes = list(G)
    assert same_as_networkx("dispersion", G, **params)
    for x in nodes[:2] + nodes[-1:]:
        assert same_as_networkx("dispersion", G, x, **params)
        assert same_as_networkx("dispersion", G, v=x, **params)
        for y in nodes[::7]:
            assert same_as_networkx("dispersion", G, x, y, **params)


@pytest.mark.parametrize("params", [{"alpha": -1.0}, {"b": -1.0, "alpha": 0.5}])
def test_normalisation_errors_and_complex_values(params):
    # 0.0 ** -1 raises ZeroDivisionError; (-1.0) ** 0.5 is complex.
    assert same_as_networkx("dispersion", GRAPHS["karate"], **params)


def test_node_not_in_graph_is_left_to_networkx():
    assert not same_as_networkx("dispersion", GRAPHS["karate"], "absent")
