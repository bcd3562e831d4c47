"""Laplacian centrality against NetworkX, bit for bit."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

from fennel.backend import RELEASE_REFUSALS

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")


@pytest.mark.parametrize("flavour", [None, "int", "float", "mixed"])
# (NetworkX's directed Laplacian starts scipy's eigensolver from a random vector.)
@pytest.mark.parametrize("gid", [gid for gid in ZOO_IDS if not ZOO[gid].is_directed()])
def test_zoo(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=len(gid))
    served = not G.is_multigraph() or "laplacian_centrality" in RELEASE_REFUSALS
    for kwargs in ({}, {"normalized": False}, {"weight": None}, {"nodelist": list(G)[::-3]}):
        assert same_as_networkx("laplacian_centrality", G, **kwargs) is served or len(G) == 0


@pytest.mark.parametrize("threads", [1, 2])
def test_threads(threads):
    G = add_weights(nx.gnm_random_graph(150, 600, seed=4), "float", seed=4)
    G.add_edge(3, 3, weight=2.5)
    with nx.config.backends.fennel(n_jobs=threads):
        assert same_as_networkx("laplacian_centrality", G)
        assert same_as_networkx("laplacian_centrality", G, normalized=False, nodelist=[5, 3, 9])


@pytest.mark.parametrize(
    "G, kwargs",
    [
        (nx.Graph([(0, 1, {"weight": 0.0}), (1, 2, {"weight": 1.0})]), {}),
        (nx.Graph([(0, 1, {"weight": -1}), (1, 2)]), {}),
        (nx.path_graph(4), {"nodelist": [0, 0]}),
        (nx.path_graph(4), {"nodelist": (0, 1)}),
        (nx.empty_graph(3), {"normalized": False}),
    ],
)
def test_refused_or_raised(G, kwargs):
    """Refused calls answer as NetworkX; a graph without edges is fennel's own answer."""
    ran = same_as_networkx("laplacian_centrality", G, **kwargs)
    assert ran is (G.number_of_edges() == 0 or "laplacian_centrality" in RELEASE_REFUSALS)
