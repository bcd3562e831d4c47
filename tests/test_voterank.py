"""VoteRank against NetworkX over the zoo: the picks in order, for every
count NetworkX distinguishes (none, fewer than n, more than n, zero)."""

import networkx as nx
import pytest
from test_backend_traversal import always_run, same_as_networkx  # noqa: F401 - the fixture applies here too
from zoo import ZOO, _relabelled

pytestmark = pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs")

GRAPHS = dict(ZOO)
# Many equal scores, ties decided by node order.
GRAPHS["grid_relabelled"] = _relabelled(nx.grid_2d_graph(9, 9), {(i, j): (j * 9 + i * 7) % 81 for i in range(9)
                                                                  for j in range(9)})
GRAPHS["ba"] = nx.barabasi_albert_graph(300, 3, seed=5)


@pytest.mark.parametrize("gid", GRAPHS)
@pytest.mark.parametrize("count", [None, 0, 3, 10**6])
def test_voterank(gid, count):
    G = GRAPHS[gid]
    ran = same_as_networkx("voterank", G, count)
    # Only graphs with parallel edges are refused.
    assert ran or (G.is_multigraph() and any(len(d) > 1 for _, nbrs in G.adj.items() for d in nbrs.values()))


def test_count_of_another_type_is_left_to_networkx():
    assert not same_as_networkx("voterank", GRAPHS["karate"], 2.5)
