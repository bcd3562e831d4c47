"""Backend metadata read by NetworkX at import time.

NetworkX calls :func:`get_info` through the ``networkx.backend_info`` entry
point while it is still importing, so this module must stay cheap: it imports
neither NetworkX nor the compiled extension.
"""

_EXACT = (
    "Results are identical to NetworkX's, bit for bit: same values, value "
    "types and key order."
)

_FUNCTIONS = {
    "betweenness_centrality": {
        "additional_docs": (
            "Brandes' accumulation runs in parallel in C++; sampled sources "
            "(`k`, `seed`) are drawn exactly as NetworkX draws them. "
            + _EXACT
            + " Falls back to NetworkX for callable weights and for weights "
            "that are None, non-numeric or not plain Python numbers."
        ),
        "additional_parameters": {},
    },
    "edge_betweenness_centrality": {
        "additional_docs": (
            "Per-edge Brandes' accumulation in parallel in C++; multigraph "
            "keys are shared out as NetworkX does. "
            + _EXACT
            + " Falls back to NetworkX for callable weights and for weights "
            "that are None, non-numeric or not plain Python numbers."
        ),
        "additional_parameters": {},
    },
    "single_source_shortest_path_length": {
        "additional_docs": "Breadth-first search in C++. " + _EXACT,
        "additional_parameters": {},
    },
    "single_source_dijkstra_path_length": {
        "additional_docs": (
            "Dijkstra search in C++, returning ints where NetworkX does. "
            + _EXACT
            + " Falls back to NetworkX for callable weights and for attributes "
            "that mix ints and floats (NetworkX's distances would then mix "
            "types along each path)."
        ),
        "additional_parameters": {},
    },
}


def get_info():
    """Return the metadata NetworkX shows for the ``fennel`` backend."""
    return {
        "backend_name": "fennel",
        "project": "fennel",
        "package": "fennel",
        "short_summary": "Exact, multi-threaded C++ acceleration for NetworkX.",
        "functions": {name: dict(info) for name, info in _FUNCTIONS.items()},
    }
