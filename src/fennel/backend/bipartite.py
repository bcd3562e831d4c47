"""Bipartiteness (NetworkX's bipartite.basic)."""

from .serve import EXACT, WORK_COMPONENTS, served


@served(docs="Two-colouring in C++. " + EXACT, min_work=WORK_COMPONENTS)
def is_bipartite(G):
    return G.core.two_colorable()
