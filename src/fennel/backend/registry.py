"""One record per NetworkX function that fennel serves.

Everything the dispatch hooks need is generated from these records:
``can_run`` (the refusal rules), ``should_run`` (the work estimate and its
thresholds), the interface object NetworkX calls and the function list of
``get_info``. Adding a served function takes one record here and one body in
its topic module. This module imports neither NetworkX nor the extension:
``get_info`` reads it while NetworkX itself is still importing.
"""

from dataclasses import dataclass

# Shapes of calls whose work NetworkX bounds by what they reach.
def _always(a):
    return True


def _cutoff(a):
    return a["cutoff"] is not None


def _depth(a):
    return a["depth_limit"] is not None


def _pair(a):
    return a["source"] is not None and a["target"] is not None


def _target_or_cutoff(a):
    return a["target"] is not None or a["cutoff"] is not None


_EXACT = "Results are identical to NetworkX's, bit for bit: same values, value types and key order."


@dataclass(frozen=True)
class Served:
    """How fennel serves one NetworkX function.

    ``rules`` name refusals decided from the arguments alone and
    ``data_rules`` refusals that need the converted graph, both defined once
    in ``fennel.backend.checks``. ``weight``: the call's ``weight`` (or the
    parameter named, when a string) names an edge attribute to convert. ``per_source``: the work is one search per
    source (``k`` of them, or every node) rather than one search.
    ``constructor``: a graph constructor (no graph argument); it serves any
    arguments, answering with NetworkX's own graph where it cannot build an
    identical fennel graph.
    ``min_work``: the smallest work (searches times ``n + adjacency entries``)
    worth handing to fennel, for a graph already converted and for one still
    to convert (measured crossovers; see ``should_run``).
    ``bounded``: given the call's arguments, whether NetworkX's work is bounded
    by the part of the graph the call reaches (a target, a cutoff, a depth
    limit) rather than the whole graph: such calls never pay for converting a
    graph, which is whole-graph work.
    """

    name: str
    topic: str
    docs: str
    weight: bool = False
    rules: tuple = ()
    data_rules: tuple = ()
    per_source: bool = False
    min_work: tuple = (0, 0)
    constructor: bool = False
    bounded: object = None


# The smallest work worth handing to fennel, per family: (graph already
# converted, graph still to convert). Measured by bench/thresholds.py as the
# crossover of fennel's call (NetworkX's dispatch included) with NetworkX's
# own run, on one representative call per family.
_WORK_BETWEENNESS = (1200, 1200)
_WORK_BFS = (400, 12000)
_WORK_DIJKSTRA = (200, 400)
_WORK_DFS = (200, 400)
_WORK_ALL_PAIRS = (5000, 5000)
_WORK_STATS = (250, 250)
_WORK_LINK = (0, 0)
_WORK_COMPONENTS = (1300, 20000)
_WORK_DIRECTED = (100, 200)
_WORK_CORES = (75, 150)
_WORK_TRIANGLES = (150, 150)
_WORK_COLOURING = (150, 300)
_WORK_SPANNING = (30, 75)


SERVED = (
    Served(
        "betweenness_centrality",
        "centrality",
        "Brandes' accumulation runs in parallel in C++; sampled sources (`k`, `seed`) are drawn "
        "exactly as NetworkX draws them. " + _EXACT + " Falls back to NetworkX for callable weights "
        "and for weights that are None, non-numeric or numbers other than Python's and numpy's float64, int64 and bool_.",
        weight=True,
        rules=("release", "weight_name"),
        data_rules=("betweenness_weights",),
        per_source=True,
        min_work=_WORK_BETWEENNESS,
    ),
    Served(
        "edge_betweenness_centrality",
        "centrality",
        "Per-edge Brandes' accumulation in parallel in C++; multigraph keys are shared out as "
        "NetworkX does. " + _EXACT + " Falls back to NetworkX for callable weights and for weights "
        "that are None, non-numeric or numbers other than Python's and numpy's float64, int64 and bool_.",
        weight=True,
        rules=("release", "weight_name"),
        data_rules=("betweenness_weights", "edge_key_clash", "keys"),
        per_source=True,
        min_work=_WORK_BETWEENNESS,
    ),
    Served(
        "single_source_shortest_path_length",
        "shortest_paths",
        "Breadth-first search in C++. " + _EXACT,
        rules=("bfs_cutoff",),
        data_rules=("keys",),
        min_work=_WORK_BFS,
        bounded=_cutoff,
    ),
    Served(
        "single_source_dijkstra_path_length",
        "shortest_paths",
        "Dijkstra search in C++, each distance typed as NetworkX's sum along its path (int, float, "
        "numpy.int64 or numpy.float64). " + _EXACT + " Falls back to NetworkX for callable weights.",
        weight=True,
        rules=("weight_name", "dijkstra_cutoff"),
        data_rules=("dijkstra_weights", "reads_none", "keys"),
        min_work=_WORK_DIJKSTRA,
        bounded=_cutoff,
    ),
)

_BFS = "Breadth-first search in C++, in NetworkX's order. " + _EXACT
_DFS = "Depth-first search in C++, in NetworkX's order. " + _EXACT
_BFS_RULES = ("depth_limit", "sort_neighbors")
_DFS_RULES = ("depth_limit", "sort_neighbors")
# Generators that follow a graph changed while they run.
_FOLLOWS = ("sees_changes", "dict_rows")
_KEYS = ("keys",)

SERVED += (
    Served("bfs_edges", "traversal", _BFS, rules=_BFS_RULES + _FOLLOWS, data_rules=("keys", "pred_keys"),
           min_work=_WORK_BFS, bounded=_depth),
    Served("generic_bfs_edges", "traversal", _BFS, rules=("neighbors", "depth_limit") + _FOLLOWS, data_rules=_KEYS,
           min_work=_WORK_BFS, bounded=_depth),
    Served("bfs_tree", "traversal", _BFS, rules=_BFS_RULES, data_rules=("keys", "pred_keys"), min_work=_WORK_BFS,
           bounded=_depth),
    Served("bfs_predecessors", "traversal", _BFS, rules=_BFS_RULES + _FOLLOWS, data_rules=_KEYS, min_work=_WORK_BFS,
           bounded=_depth),
    Served("bfs_successors", "traversal", _BFS, rules=_BFS_RULES + _FOLLOWS, data_rules=_KEYS, min_work=_WORK_BFS,
           bounded=_depth),
    Served("bfs_layers", "traversal", _BFS, rules=("sees_changes",), data_rules=_KEYS,
           min_work=_WORK_BFS),
    Served("descendants_at_distance", "traversal", _BFS, rules=("distance_value",), data_rules=_KEYS,
           min_work=_WORK_BFS, bounded=_always),
    Served("descendants", "traversal", _BFS, data_rules=_KEYS, min_work=_WORK_BFS),
    Served("ancestors", "traversal", _BFS, data_rules=("pred_keys",), min_work=_WORK_BFS),
    Served("node_connected_component", "traversal", _BFS, data_rules=_KEYS, min_work=_WORK_BFS),
    Served("dfs_edges", "traversal", _DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=_KEYS, min_work=_WORK_DFS,
           bounded=_depth),
    Served("dfs_tree", "traversal", _DFS, rules=_DFS_RULES, data_rules=_KEYS, min_work=_WORK_DFS, bounded=_depth),
    Served("dfs_predecessors", "traversal", _DFS, rules=_DFS_RULES, data_rules=_KEYS, min_work=_WORK_DFS,
           bounded=_depth),
    Served("dfs_successors", "traversal", _DFS, rules=_DFS_RULES, data_rules=_KEYS, min_work=_WORK_DFS,
           bounded=_depth),
    Served("dfs_preorder_nodes", "traversal", _DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=_KEYS, min_work=_WORK_DFS,
           bounded=_depth),
    Served("dfs_postorder_nodes", "traversal", _DFS, rules=_DFS_RULES + _FOLLOWS, data_rules=_KEYS,
           min_work=_WORK_DFS, bounded=_depth),
)

_PATHS = "Breadth-first search in C++; paths built as NetworkX builds them. " + _EXACT

SERVED += (
    Served("single_source_shortest_path", "shortest_paths", _PATHS, rules=("bfs_cutoff",), data_rules=_KEYS,
           min_work=_WORK_BFS, bounded=_cutoff),
    Served("single_target_shortest_path", "shortest_paths", _PATHS, rules=("bfs_cutoff",),
           data_rules=("keys", "pred_keys"), min_work=_WORK_BFS, bounded=_cutoff),
    Served("single_target_shortest_path_length", "shortest_paths", _PATHS, rules=("release", "bfs_cutoff"),
           data_rules=("keys", "pred_keys"), min_work=_WORK_BFS, bounded=_cutoff),
)

_WEIGHTED_PATHS = (
    "Dijkstra search in C++; paths and distances built as NetworkX builds them, each distance typed as "
    "NetworkX's sum along its path. " + _EXACT + " Falls back to NetworkX for callable weights."
)
_DIJKSTRA_RULES = ("weight_name", "dijkstra_cutoff")
_DIJKSTRA_DATA = ("dijkstra_weights", "keys")
# Functions that search by Dijkstra whatever the weight.
_ALWAYS_DIJKSTRA = ("dijkstra_weights", "reads_none", "keys")
# Paths alone do not depend on the types of the distances.
_DIJKSTRA_PATH_DATA = ("dijkstra_path_weights", "keys")
_ALWAYS_DIJKSTRA_PATHS = ("dijkstra_path_weights", "reads_none", "keys")

SERVED += (
    Served("single_source_dijkstra", "shortest_paths", _WEIGHTED_PATHS, weight=True, rules=_DIJKSTRA_RULES,
           data_rules=_ALWAYS_DIJKSTRA, min_work=_WORK_DIJKSTRA, bounded=_target_or_cutoff),
    Served("single_source_dijkstra_path", "shortest_paths", _WEIGHTED_PATHS, weight=True, rules=_DIJKSTRA_RULES,
           data_rules=_ALWAYS_DIJKSTRA_PATHS, min_work=_WORK_DIJKSTRA, bounded=_cutoff),
    Served("dijkstra_path", "shortest_paths", _WEIGHTED_PATHS, weight=True, rules=("weight_name",),
           data_rules=_ALWAYS_DIJKSTRA_PATHS, min_work=_WORK_DIJKSTRA, bounded=_always),
    Served("dijkstra_path_length", "shortest_paths", _WEIGHTED_PATHS, weight=True, rules=("weight_name",),
           data_rules=("dijkstra_weights", "reads_none"), min_work=_WORK_DIJKSTRA, bounded=_always),
)

SERVED += (
    Served("bidirectional_shortest_path", "shortest_paths", "Bidirectional breadth-first search in C++. " + _EXACT,
           data_rules=_KEYS, min_work=_WORK_BFS, bounded=_always),
    Served("has_path", "shortest_paths", "Bidirectional breadth-first search in C++. " + _EXACT,
           min_work=_WORK_BFS, bounded=_always),
)

_PAIRS = " All-pairs generators search a bounded batch of sources at a time, in parallel."
_ALL_PATHS = (
    "Predecessor search in C++; paths walked in NetworkX's order. " + _EXACT + " Falls back to NetworkX for "
    "methods other than Dijkstra with a weight."
)
_BOTH = "Breadth-first or Dijkstra search in C++, as NetworkX picks. " + _EXACT

SERVED += (
    Served("all_pairs_shortest_path", "shortest_paths", _PATHS + _PAIRS, rules=("bfs_cutoff",), data_rules=_KEYS,
           per_source=True, min_work=_WORK_ALL_PAIRS),
    Served("all_pairs_dijkstra", "shortest_paths", _WEIGHTED_PATHS + _PAIRS, weight=True, rules=_DIJKSTRA_RULES,
           data_rules=_ALWAYS_DIJKSTRA, per_source=True, min_work=_WORK_ALL_PAIRS),
    Served("all_pairs_dijkstra_path", "shortest_paths", _WEIGHTED_PATHS + _PAIRS, weight=True,
           rules=_DIJKSTRA_RULES, data_rules=_ALWAYS_DIJKSTRA_PATHS, per_source=True, min_work=_WORK_ALL_PAIRS),
    Served("bidirectional_dijkstra", "shortest_paths", "Bidirectional Dijkstra search in C++. " + _EXACT,
           weight=True, rules=("release", "weight_name"), data_rules=_ALWAYS_DIJKSTRA, min_work=_WORK_DIJKSTRA,
           bounded=_always),
    Served("shortest_path", "shortest_paths", _BOTH + " Falls back to NetworkX for Bellman-Ford.", weight=True,
           rules=("weight_name", "path_method", "path_pairs"), data_rules=_DIJKSTRA_PATH_DATA,
           min_work=_WORK_DIJKSTRA, bounded=_pair),
    Served("shortest_path_length", "shortest_paths", _BOTH + " All pairs (no source, no target) are left to "
           "NetworkX.", weight=True, rules=("weight_name", "path_method", "path_pairs"), data_rules=_DIJKSTRA_DATA,
           min_work=_WORK_DIJKSTRA, bounded=_pair),
    Served("all_shortest_paths", "shortest_paths", _ALL_PATHS, weight=True, rules=("weight_name", "weighted_method"),
           data_rules=_DIJKSTRA_PATH_DATA, min_work=_WORK_DIJKSTRA),
    Served("single_source_all_shortest_paths", "shortest_paths", _ALL_PATHS, weight=True,
           rules=("release", "weight_name", "weighted_method"), data_rules=_DIJKSTRA_PATH_DATA, min_work=_WORK_DIJKSTRA),
    Served("all_pairs_all_shortest_paths", "shortest_paths", _ALL_PATHS, weight=True,
           rules=("release", "weight_name", "weighted_method"), data_rules=_DIJKSTRA_PATH_DATA, per_source=True,
           min_work=_WORK_ALL_PAIRS),
)

_STATS = (
    "Bit-parallel breadth-first search (64 sources per pass) or parallel Dijkstra searches in C++. " + _EXACT
    + " Weighted totals are summed by Python's own sum() in NetworkX's order."
)
_EXTREMA_RULES = ("weight_name", "e", "null_graph", "usebounds")

SERVED += (
    Served("closeness_centrality", "distance", _STATS, weight="distance",
           rules=("distance_name", "wf_improved", "sp"), data_rules=("closeness_weights",), per_source=True,
           min_work=_WORK_STATS),
    Served("eccentricity", "distance", _STATS, weight=True, rules=("weight_name", "sp", "null_graph"),
           data_rules=("dijkstra_weights",), per_source=True, min_work=_WORK_STATS),
    Served("diameter", "distance", _STATS, weight=True, rules=_EXTREMA_RULES, data_rules=("dijkstra_weights",),
           per_source=True, min_work=_WORK_STATS),
    Served("radius", "distance", _STATS, weight=True, rules=_EXTREMA_RULES, data_rules=("dijkstra_weights",),
           per_source=True, min_work=_WORK_STATS),
    Served("center", "distance", _STATS + " Undirected unweighted trees are left to NetworkX.", weight=True,
           rules=_EXTREMA_RULES + ("tree_like",), data_rules=("dijkstra_path_weights",), per_source=True,
           min_work=_WORK_STATS),
    Served("periphery", "distance", _STATS, weight=True, rules=_EXTREMA_RULES, data_rules=("dijkstra_path_weights",),
           per_source=True, min_work=_WORK_STATS),
    Served("average_shortest_path_length", "distance", _STATS, weight=True, rules=("weight_name", "asp_method"),
           data_rules=("dijkstra_weights",), per_source=True, min_work=_WORK_STATS),
    Served("wiener_index", "distance", _STATS, weight=True, rules=("weight_name", "null_graph"),
           data_rules=("dijkstra_weights",), per_source=True, min_work=_WORK_STATS),
    Served("harmonic_centrality", "distance", _STATS, weight="distance",
           rules=("distance_name", "harmonic_transposed"), data_rules=("harmonic_weights",), per_source=True,
           min_work=_WORK_STATS),
    Served("global_efficiency", "distance", _STATS, rules=("undirected_only",), per_source=True,
           min_work=_WORK_STATS),
    Served("harmonic_diameter", "distance", _STATS, weight=True, rules=("weight_name", "sp", "harmonic_weight"),
           data_rules=("dijkstra_weights", "reads_none"), per_source=True, min_work=_WORK_STATS),
    # NetworkX 3.7 dispatches barycenter as centroid (its alias).
    Served("barycenter", "distance", _STATS, weight=True, rules=("release", "weight_name", "sp", "attr", "null_graph", "tree_like"),
           data_rules=("dijkstra_weights",), per_source=True, min_work=_WORK_STATS),
    Served("centroid", "distance", _STATS, weight=True, rules=("release", "weight_name", "sp", "attr", "null_graph", "tree_like"),
           data_rules=("dijkstra_weights",), per_source=True, min_work=_WORK_STATS),
    Served("all_pairs_shortest_path_length", "distance", _STATS + _PAIRS, rules=("bfs_cutoff",), data_rules=_KEYS,
           per_source=True, min_work=_WORK_ALL_PAIRS),
    Served("all_pairs_dijkstra_path_length", "distance", _STATS + _PAIRS, weight=True, rules=_DIJKSTRA_RULES,
           data_rules=_ALWAYS_DIJKSTRA, per_source=True, min_work=_WORK_ALL_PAIRS),
)

_ITERATION = " Falls back to NetworkX for None weights and for numbers other than Python ints and floats."
_PAGERANK_NUMBERS = (" Falls back to NetworkX for None weights and for numbers other than Python's and numpy's "
                     "float64, int64 and bool_.")

SERVED += (
    Served("pagerank", "link_analysis", "Power iteration in C++ (in parallel from 20,000 nodes) with scipy's "
           "summation order and numpy's pairwise sums. " + _EXACT + " Falls back to NetworkX for multigraphs "
           "with parallel edges." + _PAGERANK_NUMBERS, weight=True, rules=("weight_name", "pagerank_args", "tolerance"),
           data_rules=("parallel_edges", "pagerank_weights", "mirrored_weights"), min_work=_WORK_LINK),
    Served("eigenvector_centrality", "link_analysis", "Power iteration in C++, normalised by Python's "
           "math.hypot. " + _EXACT + _ITERATION, weight=True, rules=("weight_name", "eigenvector_args", "tolerance", "nstart_keys"),
           data_rules=("eigenvector_weights",), min_work=_WORK_LINK),
    Served("katz_centrality", "link_analysis", "Power iteration in C++. " + _EXACT + " Falls back to NetworkX "
           "for a beta dict and for an nstart whose values are not all floats." + _ITERATION, weight=True,
           rules=("weight_name", "katz_args", "tolerance", "scalar_beta", "nstart_keys"), data_rules=("katz_weights",), min_work=_WORK_LINK),
)

_COMPONENTS = (
    "Breadth-first search or Tarjan's algorithm in C++; each component is a set built in NetworkX's insertion "
    "order, so it iterates in NetworkX's order. " + _EXACT
)
_GENERATIONS = "Kahn's layering in C++; NetworkX's errors come where NetworkX raises them. " + _EXACT
_CORES = "The bucket algorithm in C++; subgraphs are cut from the source graph as NetworkX cuts them. " + _EXACT
_TRIANGLES = "Triangle counts in parallel in C++, formed into NetworkX's numbers by its own formulas. " + _EXACT
_STRUCTURE = dict(topic="structure", data_rules=_KEYS)

SERVED += (
    Served("connected_components", docs=_COMPONENTS, **_STRUCTURE, rules=_FOLLOWS, min_work=_WORK_COMPONENTS),
    Served("number_connected_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("is_connected", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("weakly_connected_components", docs=_COMPONENTS, topic="structure", rules=_FOLLOWS,
           data_rules=("keys", "pred_keys"), min_work=_WORK_COMPONENTS),
    Served("number_weakly_connected_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("is_weakly_connected", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("strongly_connected_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("number_strongly_connected_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("is_strongly_connected", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("topological_generations", docs=_GENERATIONS, **_STRUCTURE, rules=("generation_args",), min_work=_WORK_DIRECTED),
    Served("topological_sort", docs=_GENERATIONS, **_STRUCTURE, rules=("generation_args",), min_work=_WORK_DIRECTED),
    Served("is_directed_acyclic_graph", docs=_GENERATIONS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("core_number", "structure", _CORES, rules=("no_multigraph",), min_work=_WORK_CORES),
    Served("k_core", "structure", _CORES, rules=("no_multigraph", "core_number"), min_work=_WORK_CORES),
    Served("k_shell", "structure", _CORES, rules=("no_multigraph", "core_number"), min_work=_WORK_CORES),
    Served("k_crust", "structure", _CORES, rules=("no_multigraph", "core_number"), min_work=_WORK_CORES),
    Served("k_corona", "structure", _CORES, rules=("no_multigraph", "core_number"), min_work=_WORK_CORES),
    Served("triangles", "structure", _TRIANGLES, min_work=_WORK_TRIANGLES),
    Served("clustering", "structure", _TRIANGLES + " Weighted clustering is left to NetworkX.",
           rules=("no_multigraph", "unweighted"), min_work=_WORK_TRIANGLES),
    Served("average_clustering", "structure", _TRIANGLES + " Weighted clustering is left to NetworkX.",
           rules=("no_multigraph", "unweighted"), min_work=_WORK_TRIANGLES),
    Served("transitivity", "structure", _TRIANGLES, rules=("no_multigraph",), min_work=_WORK_TRIANGLES),
    Served("condensation", docs=_COMPONENTS + " Given components (`scc=`) are left to NetworkX.", **_STRUCTURE,
           rules=("scc",), min_work=_WORK_DIRECTED),
    Served("attracting_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("number_attracting_components", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("is_attracting_component", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("is_semiconnected", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_DIRECTED),
    Served("is_bipartite", "structure", "Two-colouring in C++. " + _EXACT, min_work=_WORK_COMPONENTS),
    Served("is_tree", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("is_forest", docs=_COMPONENTS, **_STRUCTURE, min_work=_WORK_COMPONENTS),
    Served("greedy_color", "structure", "NetworkX's largest-first greedy colouring in C++. " + _EXACT + " Other "
           "strategies, interchange and multigraphs (whose degrees count parallel edges) are left to NetworkX.",
           rules=("no_multigraph", "colouring_args"), min_work=_WORK_COLOURING),
    Served("label_propagation_communities", "structure", "Semi-synchronous label propagation in C++, visiting "
           "the nodes in NetworkX's colour order. " + _EXACT + " Multigraphs are left to NetworkX.",
           rules=("no_multigraph",), min_work=_WORK_COLOURING),
)

_KRUSKAL = (
    "Kruskal's algorithm in C++ (a stable sort by weight and a disjoint-set forest); the edges carry the "
    "graph's own data dicts. " + _EXACT + " Other algorithms, multigraphs and weights that are None, NaN or "
    "numbers other than Python's and numpy's float64, int64 and bool_ are left to NetworkX."
)
SERVED += tuple(
    Served(name, "structure", _KRUSKAL, weight=True, rules=("weight_name", "spanning_args"),
           data_rules=("keys", "kruskal_weights"),
           min_work=_WORK_SPANNING)
    for name in ("minimum_spanning_edges", "maximum_spanning_edges", "minimum_spanning_tree", "maximum_spanning_tree")
)

_CONSTRUCTOR = (
    "Builds fennel's compact graph, read in bulk from numeric arrays, and returns it as a NetworkX graph whose "
    "dicts are built on first read: the same nodes (the caller's own objects), neighbour order, edge order and "
    "edge data as NetworkX's graph. Served functions run on the compact graph without building them. "
    "Multigraphs, a `create_using` instance or subclass, and data that is not plain numbers get NetworkX's own "
    "graph."
)
SERVED += tuple(
    Served(name, "construction", _CONSTRUCTOR, constructor=True)
    for name in (
        "from_edgelist",
        "from_dict_of_lists",
        "from_dict_of_dicts",
        "from_pandas_edgelist",
        "from_scipy_sparse_array",
        "from_numpy_array",
    )
)

BY_NAME = {record.name: record for record in SERVED}

# Thresholds of should_run, by function; a dict so that tests can lower them.
SHOULD_RUN_MIN_WORK = {record.name: record.min_work for record in SERVED}
