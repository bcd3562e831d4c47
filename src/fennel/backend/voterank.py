"""VoteRank (NetworkX's centrality.voterank_alg).

NetworkX recounts every vote in every round; the core recounts only the
scores whose voters lost ability, each in the order NetworkX's pass over
``G.edges()`` adds it, and picks the first highest score in node order as
``max(G.nodes, key=...)`` does.
"""

from .checks import argument_rule
from .serve import EXACT, WORK_CORES, served


@argument_rule("voterank_count")
def _voterank_count(a):
    k = a["number_of_nodes"]
    return None if k is None or type(k) in (int, bool) else "number_of_nodes must be None or an int"


@served(docs="Incremental recounts in C++ over a max-tree of the scores. " + EXACT,
        rules=("voterank_count",), data_rules=("parallel_edges",), min_work=WORK_CORES)
def voterank(G, number_of_nodes=None):
    n = len(G)
    if n == 0:
        return []
    k = number_of_nodes
    if k is None or k > n:
        k = n
    if k <= 0:
        return []
    node = G.nodes
    return [node[v] for v in G.core.voterank(k)]
