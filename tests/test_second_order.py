"""Second order centrality against NetworkX, bit for bit."""

import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, ZOO_IDS, add_weights

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

# Python 3.12's sum() compensates float sums, which fennel leaves to NetworkX.
_FLOATS_SERVED = sys.version_info < (3, 12)


@pytest.mark.parametrize("flavour", [None, "int", "float", "mixed", "missing", "none"])
@pytest.mark.parametrize("gid", [gid for gid in ZOO_IDS if not ZOO[gid].is_directed()])
def test_zoo(gid, flavour):
    G = ZOO[gid] if flavour is None else add_weights(ZOO[gid], flavour, seed=len(gid))
    floats = any(type(d.get("weight", 1)) is not int for *_, d in G.edges(data=True))
    hidden = flavour == "none" and G.number_of_edges() > 0
    served = not G.is_multigraph() and not hidden and (_FLOATS_SERVED or not floats)
    assert same_as_networkx("second_order_centrality", G) is served
    # weight=None: unit in-degrees, while the matrix still reads "weight".
    assert same_as_networkx("second_order_centrality", G, weight=None) is (not G.is_multigraph() and not hidden)


@pytest.mark.parametrize(
    "G",
    [
        nx.Graph([(0, 1, {"weight": -1}), (1, 2)]),
        nx.Graph([(0, 1, {"weight": 0.5}), (1, 1, {"weight": 4}), (1, 2, {"weight": 2})]),
        nx.Graph([(0, 1, {"w": 3}), (1, 2, {"weight": 2.5}), (2, 0, {"w": 1})]),
        nx.Graph([(0, 1, {"weight": float("inf")}), (1, 2)]),
        nx.empty_graph(1),
    ],
)
@pytest.mark.parametrize("weight", ["weight", "w", None])
def test_edge_cases(G, weight):
    same_as_networkx("second_order_centrality", G, weight=weight)
