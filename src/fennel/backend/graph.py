"""The converted graph, NetworkX's cache of it, and the call log."""

import contextlib
import functools
import gc
import os
import threading
from collections import Counter

import networkx as nx

from .. import _core

# ---------------------------------------------------------------------------
# Call accounting

calls = Counter()
_calls_lock = threading.Lock()
# Read once: the log is meant for whole runs such as NetworkX's test suite.
_CALL_LOG = os.environ.get("FENNEL_CALL_LOG")


def record(event, name, detail=""):
    with _calls_lock:
        calls[event, name] += 1
    path = _CALL_LOG
    if path:
        line = f"{event}\t{name}\t{detail}".rstrip("\t") + "\n"
        with open(path, "a", encoding="utf-8") as f:
            f.write(line)


def refuse(name, reason):
    """Logs the refusal and raises the NotImplementedError that makes NetworkX answer."""
    record("refused", name, reason)
    raise NotImplementedError(reason)


@contextlib.contextmanager
def no_gc_pauses():
    """Builds large results without the cyclic collector's passes.

    Results such as a path per node create hundreds of thousands of lists;
    each batch of allocations would trigger a collection that walks every
    container alive, so building them costs more than NetworkX's whole
    search. The results hold no cycles, so pausing the collector changes
    nothing but the time.
    """
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if was_enabled:
            gc.enable()


# ---------------------------------------------------------------------------
# Converted graph


class FennelGraph:
    """A NetworkX graph converted for fennel.

    Holds the C++ ``CoreGraph`` (node ``i`` is ``nodes[i]``), the node index,
    the converted edge attributes with their defaults, and the source graph,
    which multigraph edge betweenness needs to share values among parallel
    edges. Pickling and deep copies drop the ``CoreGraph``; it is rebuilt from
    the (copied) source graph on first use.
    """

    __networkx_backend__ = "fennel"

    def __init__(self, G, edge_attrs=(), *, all_attributes=False):
        self.source = G
        # Stands for every attribute of the source graph, as NetworkX's cache
        # records it: attributes are converted when a call first needs them.
        self.all_attributes = all_attributes
        self._columns_lock = threading.Lock()
        self.nodes = list(G)
        self.index = dict(zip(self.nodes, range(len(self.nodes))))
        self.directed = G.is_directed()
        self.multigraph = G.is_multigraph()
        self.graph = G.graph
        self.columns = dict(edge_attrs)
        self._core = self._build()

    def _build(self):
        G = self.source
        try:
            core = _core.build_graph(
                self.nodes,
                self.index,
                G._adj,
                self.directed,
                list(self.columns.items()),
                self.multigraph,
            )
        except NotImplementedError as exc:
            record("unconvertible", type(G).__name__, str(exc))
            raise
        record("converted", type(G).__name__, f"{len(self.nodes)} nodes")
        return core

    def add_columns(self, attrs):
        """Converts the attributes ``attrs`` too (default 1); the columns only ever grow."""
        with self._columns_lock:
            missing = _missing_columns(self, attrs)
            if not missing:
                return
            columns = dict(self.columns)
            columns.update((a, 1) for a in missing)
            self.columns, self._core = columns, None
            self._core = self._build()

    @functools.cached_property
    def node_tuple(self):
        """The nodes as a tuple, which path results read their objects from."""
        return tuple(self.nodes)

    @property
    def core(self):
        core = self._core
        if core is None:
            core = self._core = self._build()
        return core

    def load_exact_pred(self):
        """The core, with G._pred's own order loaded (once) for backward searches.

        Every converted attribute is loaded with it, so any later backward
        weighted search finds its column.
        """
        core = self.core
        if self.directed and not core.has_exact_pred():
            core.load_exact_pred(
                self.nodes, self.index, self.source._pred, list(self.columns.items()), self.multigraph
            )
        return core

    def __getstate__(self):
        state = self.__dict__.copy()
        state["_core"] = None
        del state["_columns_lock"]
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        self._columns_lock = threading.Lock()

    def __len__(self):
        return len(self.nodes)

    def __iter__(self):
        return iter(self.nodes)

    def __contains__(self, node):
        try:
            return node in self.index
        except TypeError:
            return False

    def is_directed(self):
        return self.directed

    def is_multigraph(self):
        return self.multigraph

    def number_of_nodes(self):
        return len(self.nodes)

    def number_of_edges(self):
        return self.core.number_of_edges()

    def __repr__(self):
        kind = ("Multi" if self.multigraph else "") + ("DiGraph" if self.directed else "Graph")
        return f"<FennelGraph {kind} with {len(self.nodes)} nodes>"


def _missing_columns(fg, attrs):
    """Attributes fg lacks, or holds with another default than NetworkX's int 1."""
    return [a for a in attrs if not (type(fg.columns.get(a)) is int and fg.columns[a] == 1)]


def cached_conversion(G, attrs):
    """A conversion of ``G`` already in NetworkX's cache that holds ``attrs``.

    Returns a FennelGraph, a string (the reason none can serve) or None.
    """
    if isinstance(G, FennelGraph):
        return _with_columns(G, attrs)
    if not nx.config.cache_converted_graphs:
        return None
    cache = getattr(G, "__networkx_cache__", None)
    if not cache:
        return None
    entries = cache.get("backends", {}).get("fennel")
    if not entries:
        return None
    failed = False
    for (edge_key, _), value in list(entries.items()):
        if isinstance(value, FennelGraph):
            if not _missing_columns(value, attrs) or value.all_attributes:
                return _with_columns(value, attrs)
        elif edge_key is False or (
            isinstance(edge_key, frozenset) and {a for a, _ in edge_key} <= set(attrs)
        ):
            # NetworkX's marker of a failed conversion that needed no more
            # than these attributes: converting again would fail too.
            failed = True
    return "converting this graph failed before" if failed else None


def _with_columns(fg, attrs):
    """fg holding ``attrs`` (converted now if fg stands for every attribute), or the reason it cannot."""
    if missing := _missing_columns(fg, attrs):
        if not fg.all_attributes:
            return f"graph was not converted with edge attribute {missing[0]!r} (default 1)"
        fg.add_columns(missing)
    return fg


def as_fennel(G, attrs):
    """The FennelGraph to run on, converting a plain NetworkX graph directly."""
    if isinstance(G, FennelGraph):
        fg = _with_columns(G, attrs)
        if isinstance(fg, str):
            raise NotImplementedError(fg)
        return fg
    if isinstance(G, nx.Graph):
        return FennelGraph(G, [(a, 1) for a in attrs])
    raise NotImplementedError(f"cannot convert {type(G).__name__} for fennel")


# Functions whose results are cut from the source graph itself (attributes
# and all), with the attribute they read by default.
KEEPS_SOURCE_ATTRIBUTES = {
    "k_core": None,
    "k_shell": None,
    "k_crust": None,
    "k_corona": None,
    "minimum_spanning_edges": "weight",
    "maximum_spanning_edges": "weight",
    "minimum_spanning_tree": "weight",
    "maximum_spanning_tree": "weight",
}


def convert_from_nx(
    G,
    edge_attrs=None,
    node_attrs=None,
    preserve_edge_attrs=False,
    preserve_node_attrs=False,
    preserve_graph_attrs=False,
    name=None,
    graph_name=None,
):
    """Convert a NetworkX graph with the edge attributes ``edge_attrs`` (name -> default).

    Only named numeric edge attributes are converted: preserving all edge
    attributes (NetworkX asks for it with callable weights) and node
    attributes (no fennel function uses them) is refused.
    """
    if isinstance(G, FennelGraph):
        return G
    if name in KEEPS_SOURCE_ATTRIBUTES:
        # NetworkX asks to preserve every attribute: these functions hand out
        # the source graph's own data, so only the attribute they sort by is
        # converted (a call with another one converts it then).
        attrs = dict(edge_attrs or {})
        default = KEEPS_SOURCE_ATTRIBUTES[name]
        if default is not None and not attrs:
            try:
                return FennelGraph(G, [(default, 1)], all_attributes=True)
            except NotImplementedError:
                pass
        return FennelGraph(G, attrs.items(), all_attributes=True)
    if preserve_edge_attrs:
        raise NotImplementedError("fennel converts only named numeric edge attributes")
    if node_attrs or preserve_node_attrs:
        raise NotImplementedError("fennel does not convert node attributes")
    return FennelGraph(G, () if edge_attrs is None else edge_attrs.items())


def convert_to_nx(result, *, name=None):
    """Results are already NetworkX objects; a FennelGraph gives back its source graph."""
    if isinstance(result, FennelGraph):
        return result.source
    return result
