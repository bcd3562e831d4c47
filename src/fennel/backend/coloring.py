"""Greedy colouring (NetworkX's coloring)."""

import networkx as nx

from .checks import argument_rule
from .serve import EXACT, WORK_COLOURING, served


@argument_rule("colouring_args")
def _colouring_args(a):
    if a["strategy"] not in ("largest_first", nx.coloring.strategy_largest_first) or a["interchange"]:
        return "only the largest_first strategy without interchange is served"
    return None


@served(docs="NetworkX's largest-first greedy colouring in C++. " + EXACT + " Other strategies, interchange and "
        "multigraphs (whose degrees count parallel edges) are left to NetworkX.",
        rules=("no_multigraph", "colouring_args"), min_work=WORK_COLOURING)
def greedy_color(G, strategy="largest_first", interchange=False):
    if not G.nodes:
        return {}
    order, colours = G.core.largest_first_colors()
    nodes = G.nodes
    return {nodes[u]: colours[u] for u in order}
