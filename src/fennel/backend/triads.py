"""The triad census (NetworkX's triads module).

Each triad type is counted in parallel in C++ by NetworkX's census; its
"003" count is formed here from the total, as NetworkX forms it.
"""

from networkx.algorithms import triads as nx_triads

from . import cycles  # noqa: F401 - registers the "directed_only" rule
from .serve import EXACT, WORK_TRIANGLES, served


@served(docs="NetworkX's census in parallel in C++ with exact integer counts. " + EXACT,
        rules=("directed_only",), min_work=WORK_TRIANGLES, answers=(ValueError,))
def triadic_census(G, nodelist=None):
    nodeset = set(G.source.nbunch_iter(nodelist))
    if nodelist is not None and len(nodelist) != len(nodeset):
        raise ValueError("nodelist includes duplicate nodes or nodes not in G")
    N = len(G)
    Nnot = N - len(nodeset)
    if Nnot:
        flags = [False] * N
        index = G.index
        for v in nodeset:
            flags[index[v]] = True
    else:
        flags = [True] * N
    counts = G.core.triad_counts(bytes(nx_triads.TRICODES), flags)
    census = dict(zip(nx_triads.TRIAD_NAMES, counts))
    total_triangles = N * (N - 1) * (N - 2) // 6
    triangles_without_nodeset = Nnot * (Nnot - 1) * (Nnot - 2) // 6
    total_census = total_triangles - triangles_without_nodeset
    census["003"] = total_census - sum(census.values())
    return census

