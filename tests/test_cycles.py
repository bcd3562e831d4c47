"""The cycle basis against NetworkX: cycles and their nodes in order, from
every root, on graphs with self-loops and several components."""

import random

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

SIMPLE_UNDIRECTED = [g for g in ZOO_IDS if not ZOO[g].is_directed() and not ZOO[g].is_multigraph()]


@pytest.mark.parametrize("gid", SIMPLE_UNDIRECTED)
def test_zoo(gid):
    G = ZOO[gid]
    assert same_as_networkx("cycle_basis", G)
    for root in list(G)[:: max(1, len(G) // 5)]:
        assert same_as_networkx("cycle_basis", G, root)


@pytest.mark.parametrize("seed", range(20))
def test_dense_components_with_loops(seed):
    """Many non-tree edges per node: each cycle ends at the first node its closing neighbour has seen."""
    rng = random.Random(seed)
    G = nx.Graph()
    G.add_nodes_from(rng.sample(range(40), 40))
    for lo in (0, 20):
        G.add_edges_from(nx.gnp_random_graph(20, rng.uniform(0.1, 0.6), seed=seed + lo).edges if lo == 0 else
                         ((u + 20, v + 20) for u, v in nx.gnp_random_graph(20, 0.3, seed=seed).edges))
    G.add_edges_from((v, v) for v in rng.sample(range(40), 3))
    assert same_as_networkx("cycle_basis", G)
    assert same_as_networkx("cycle_basis", G, rng.randrange(40))


@pytest.mark.parametrize("root", ["equal_float", "missing", "unhashable"])
def test_roots_left_to_networkx(root):
    """NetworkX's cycles hold the root object given: only G's own node objects are served."""
    G = nx.cycle_graph(5)
    given = {"equal_float": 2.0, "missing": 9, "unhashable": [1]}[root]
    with pytest.raises(NotImplementedError):
        nx.cycle_basis(G, given, backend="fennel")
