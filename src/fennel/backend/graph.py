"""The converted graph, NetworkX's cache of it, the settings in force and the call log."""

import functools
import logging
import threading
import types
import weakref
from collections import Counter, OrderedDict
from collections.abc import Iterable, Iterator
from typing import Any

import networkx as nx

from .. import _core, _settings
from .._core import CoreGraph
from .kinds import UNIT_FACTS, WeightFacts, register_numpy
from .native import compact_form

# The settings when NetworkX has none for fennel (fennel imported from a
# source tree, without its entry points).
_UNREGISTERED = types.SimpleNamespace(**_settings.defaults())


def settings():
    """fennel's settings in force: ``nx.config.backends.fennel``, read at every use."""
    try:
        return nx.config.backends.fennel
    except AttributeError:
        return _UNREGISTERED


# (event, function or graph type) -> count; see record().
calls: Counter[tuple[str, str]] = Counter()
_calls_lock = threading.Lock()

# Why fennel did not run a call goes to the ``fennel`` logger; nothing is
# shown unless the program configures logging.
logger = logging.getLogger("fennel")
logger.addHandler(logging.NullHandler())
_LOG_LEVELS = {"refused": logging.INFO, "unconvertible": logging.INFO, "declined": logging.DEBUG}


def record(event, name, detail=""):
    """Counts an event, logs refusals and declines, and appends it to the call log.

    The log line is ``event<TAB>name<TAB>detail`` (the tab before an empty
    detail dropped); the path is the ``call_log`` setting at this moment.
    """
    with _calls_lock:
        calls[event, name] += 1
    level = _LOG_LEVELS.get(event)
    if level is not None and logger.isEnabledFor(level):
        extra = {"event": event, "function": name, "reason": detail}
        logger.log(level, "%s %s: %s", event, name, detail, extra=extra)
    path = settings().call_log
    if path:
        line = f"{event}\t{name}\t{detail}".rstrip("\t") + "\n"
        with open(path, "a", encoding="utf-8") as f:
            f.write(line)


_ITERATION = ("__iter__", "keys", "items", "values")


def _iterates_like(cls, base):
    return all(getattr(cls, name, None) is getattr(base, name) for name in _ITERATION)


def order_problem(G, nodes):
    """Why G's node and adjacency dicts may not all iterate in ``nodes``' order, or None.

    NetworkX lists nodes from ``G._node`` and edges from ``G._adj.items()``
    (``G._pred`` for in-edges); the conversion reads every row in
    ``list(G)``'s order. Plain dicts, and subclasses that keep dict's
    iteration, are kept in one order by the graph's methods. OrderedDicts
    can be reordered one at a time (``move_to_end``), so their orders are
    compared; other iteration of their own is refused. NetworkX's views
    iterate as the graph they show.
    """
    ordered = []
    for d in (G._node, G._adj, G._pred if G.is_directed() else None):
        cls = type(d)
        if d is None or cls is dict or (isinstance(d, dict) and _iterates_like(cls, dict)):
            continue
        if isinstance(d, OrderedDict) and _iterates_like(cls, OrderedDict):
            ordered.append(d)
        elif isinstance(d, dict) or not cls.__module__.startswith("networkx."):
            return f"graph dicts of type {cls.__name__} iterate in an order of their own"
    for d in ordered:
        if len(d) != len(nodes) or any(a is not b for a, b in zip(d, nodes)):
            return "the graph's node and adjacency dicts iterate in different orders"
    inner = getattr(G, "_graph", None)
    return order_problem(inner, list(inner)) if isinstance(inner, nx.Graph) else None


_LOOKUP = ("get", "__getitem__", "__contains__", "__missing__")


def lookup_problem(G):
    """Why G's edge data may answer an attribute lookup otherwise than a dict, or None.

    NetworkX reads attributes by ``data.get(name, default)`` in some
    functions and by ``name in data`` and ``data[name]`` in others; a data
    class that answers these its own way answers differently in each.
    """
    factory = getattr(G, "edge_attr_dict_factory", dict)
    if factory is dict or (
        isinstance(factory, type)
        and issubclass(factory, dict)
        and all(getattr(factory, name, None) is getattr(dict, name, None) for name in _LOOKUP)
    ):
        return None
    return f"edge data of type {getattr(factory, '__name__', factory)!s} looks attributes up its own way"


class FennelGraph:
    """A graph in fennel's compact form.

    Holds the C++ ``CoreGraph`` (node ``i`` is ``nodes[i]``), the node index
    and the converted edge attributes with their defaults. A graph converted
    from NetworkX keeps its source graph, which multigraph edge betweenness
    and the functions that hand out parts of the graph read. A native graph
    (built by fennel's constructors, never a dict of dicts) has no source: it
    builds the NetworkX graph the plain constructor would have built when a
    caller needs one, and any attribute it lacks weighs 1 everywhere.

    Pickling and deep copies carry the ``CoreGraph`` as its byte string, with
    what that format does not keep (which attributes hold plain Python
    numbers, whether neighbour keys are the node objects) recorded beside it.
    """

    __networkx_backend__ = "fennel"
    # A native graph's owner: a weak reference, so that dropping the owner
    # frees the graph at once (no reference cycle).
    _owner = None

    nodes: list[Any]
    native: bool
    directed: bool
    multigraph: bool
    columns: dict[str, Any]  # converted edge attribute -> its default
    _core: CoreGraph | None  # None while columns are being added
    _facts: dict[str, WeightFacts]
    _keys: dict[bool, bool]

    def __init__(
        self, G: nx.Graph, edge_attrs: Iterable[tuple[str, Any]] = (), *, all_attributes: bool = False
    ) -> None:
        self._source = G
        self.native = False
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
        self._facts = {}
        self._keys = {}
        self._core = self._build()

    @classmethod
    def from_native(
        cls, core: CoreGraph, nodes: list[Any], index: dict[Any, int] | None = None
    ) -> "FennelGraph":
        """A native graph: ``core`` built by fennel, position ``i`` standing for ``nodes[i]``."""
        self = cls.__new__(cls)
        self._source = None
        self.native = True
        self.all_attributes = True
        self._columns_lock = threading.Lock()
        self.nodes = nodes
        if index is not None:
            self.index = index  # otherwise made on first use
        self.directed = core.directed
        self.multigraph = False
        self.graph = {}
        self.columns = dict.fromkeys(core.attribute_names(), 1)
        self._facts = {}
        self._keys = {}
        self._core = core
        return self

    def _build(self, columns=None):
        """The core for the source graph with ``columns`` (the graph's own by default)."""
        columns = self.columns if columns is None else columns
        G = self.source
        if reason := order_problem(G, self.nodes) or (columns and lookup_problem(G)):
            record("unconvertible", type(G).__name__, reason)
            raise NotImplementedError(reason)
        register_numpy()
        try:
            core = _core.build_graph(
                self.nodes,
                self.index,
                G._adj,
                self.directed,
                list(columns.items()),
                self.multigraph,
            )
        except NotImplementedError as exc:
            record("unconvertible", type(G).__name__, str(exc))
            raise
        record("converted", type(G).__name__, f"{len(self.nodes)} nodes")
        return core

    def add_columns(self, attrs: Iterable[str]) -> None:
        """Converts the attributes ``attrs`` too (default 1); the columns only ever grow."""
        with self._columns_lock:
            missing = _missing_columns(self, attrs)
            if not missing:
                return
            columns = dict(self.columns)
            columns.update((a, 1) for a in missing)
            # Built before anything changes: a column that cannot be
            # converted leaves the graph serving what it served.
            core = self._build(columns)
            self.columns, self._core, self._facts = columns, core, {}

    @functools.cached_property
    def index(self) -> dict[Any, int]:
        """Node -> position (made on first use for graphs built from arrays)."""
        return dict(zip(self.nodes, range(len(self.nodes))))

    @functools.cached_property
    def node_tuple(self) -> tuple[Any, ...]:
        """The nodes as a tuple, which path results read their objects from."""
        return tuple(self.nodes)

    @property
    def core(self) -> CoreGraph:
        core = self._core
        if core is None:
            core = self._core = self._build()
        return core

    @property
    def source(self) -> nx.Graph:
        """The NetworkX graph: the one converted, or for a native graph its owner
        (or, for one pickled on its own, the graph NetworkX's plain constructor
        would have built, made on first use)."""
        G = self._source
        if G is None:
            owner = self._owner
            G = owner() if owner is not None else None
            if G is not None:
                return G
            if not self.native:
                # A converted graph pickled on its own: its source stayed behind.
                raise NotImplementedError("the NetworkX graph was not pickled with this converted graph")
            with self._columns_lock:
                G = self._source
                if G is None:
                    G = self._source = self._networkx_graph()
        return G

    def networkx_copy(self) -> nx.Graph:
        """A graph equal to ``self.source.copy()``, its dicts in the same orders;
        a native graph's own dicts stay unbuilt."""
        return self._networkx_graph() if self.native else self.source.copy()

    def _networkx_graph(self):
        G = nx.DiGraph() if self.directed else nx.Graph()
        G.add_nodes_from(self.nodes)
        src, dst, attrs = self.core.native_edges()
        nodes = self.nodes
        us = map(nodes.__getitem__, src)
        vs = map(nodes.__getitem__, dst)
        if not attrs:
            G.add_edges_from(zip(us, vs))
            return G
        datas = [{} for _ in src]
        for name, values, kinds in attrs:
            for data, value, kind in zip(datas, values, kinds):
                if kind:
                    data[name] = _VALUE_OF_KIND[kind](value)
        G.add_edges_from(zip(us, vs, datas))
        return G

    def source_changed(self) -> None:
        """The source graph was changed through NetworkX's methods by a function NetworkX lets change its
        input: a converted graph makes its core (and what it read of it) again from the source on next
        use. A native graph's owner has built its dicts to change them and no longer reads this one."""
        if self.native:
            return
        with self._columns_lock:
            self._core, self._facts, self._keys = None, {}, {}
            # And what was read from the source's edges beside the core.
            for kept in ("_none_key", "_parallel_edges", "_flow_capacities", "_flow_networks",
                         "_stoer_wagner_weights"):
                self.__dict__.pop(kept, None)

    def load_exact_pred(self) -> CoreGraph:
        """The core, with G._pred's own order loaded (once) for backward searches.

        Every converted attribute is loaded with it, so any later backward
        weighted search finds its column.
        """
        core = self.core
        if self.directed and not core.has_exact_pred():
            register_numpy()
            core.load_exact_pred(
                self.nodes, self.index, self.source._pred, list(self.columns.items()), self.multigraph
            )
        return core

    def weight_facts(self, weight: str) -> WeightFacts:
        """The ``WeightFacts`` of an attribute; an attribute a native graph lacks weighs 1 on every edge."""
        facts = self._facts.get(weight)
        if facts is None:
            found = self.core.weight_facts(weight)
            facts = UNIT_FACTS if found is None else WeightFacts(**found)
            self._facts[weight] = facts
        return facts

    def keys_are_nodes(self, reverse: bool = False) -> bool:
        """Whether the neighbour keys of G._adj (G._pred with ``reverse``) are the node objects."""
        found = self._keys.get(reverse)
        if found is None:
            core = self.load_exact_pred() if reverse else self.core
            found = self._keys[reverse] = core.keys_are_nodes(reverse)
        return found

    def reads_none_key(self) -> bool:
        """Whether some edge's data answers ``data.get(None, 1)`` with anything but the int 1.

        NetworkX's weight functions read that lookup for weight=None; a native
        graph's data never holds the key None. Found once, by a walk of the
        edge data in C.
        """
        if self.native:
            return False
        found = self.__dict__.get("_none_key")
        if found is None:
            found = self._none_key = _core.edge_data_reads_none(self.source._adj, self.multigraph)
        return found

    def has_parallel_edges(self) -> bool:
        """Whether a multigraph joins some pair by several keys (the compact rows hold each pair once)."""
        if not self.multigraph:
            return False
        found = self.__dict__.get("_parallel_edges")
        if found is None:
            found = self._parallel_edges = any(k > 1 for k in _core.parallel_counts(self.source._adj))
        return found

    def __getstate__(self) -> dict[str, Any]:
        # Record what the byte format of the core does not keep.
        core = self.core
        for name in core.attribute_names():
            self.weight_facts(name)
        self.keys_are_nodes()
        if self.directed and core.has_exact_pred():
            self.keys_are_nodes(True)
        if self._source is not None:
            # Facts read from the source, which is not pickled: settled now.
            self.reads_none_key()
            self.has_parallel_edges()
        state = self.__dict__.copy()
        del state["_columns_lock"]
        state.pop("_owner", None)  # set again by the owner, or by the cache that holds this
        # Made again on first use.
        state.pop("node_tuple", None)
        state.pop("index", None)
        # The flow functions' residual networks are C++ objects of their own,
        # built again from the kept capacities.
        state.pop("_flow_networks", None)
        state["_facts"] = dict(self._facts)
        state["_keys"] = dict(self._keys)
        # The source graph is not part of the converted graph: pickled with
        # the source's cache, the copy finds its own source again when the
        # cache is next read (see cached_conversion); a native graph makes its
        # NetworkX graph again when needed.
        state["_source"] = None
        return state

    def __setstate__(self, state: dict[str, Any]) -> None:
        self.__dict__.update(state)
        self._columns_lock = threading.Lock()
        # The byte format keeps per-slot kinds only of columns with numpy
        # values: the core's own word on them counts.
        core = self.__dict__.get("_core")
        if core is not None:
            for weight, facts in self._facts.items():
                found = core.weight_facts(weight)
                if found is not None:
                    self._facts[weight] = facts._replace(kinds=found["kinds"], slot_kinds=found["slot_kinds"])

    def __len__(self) -> int:
        return len(self.nodes)

    def __iter__(self) -> Iterator[Any]:
        return iter(self.nodes)

    def __contains__(self, node: object) -> bool:
        try:
            return node in self.index
        except TypeError:
            return False

    def is_directed(self) -> bool:
        return self.directed

    def is_multigraph(self) -> bool:
        return self.multigraph

    def number_of_nodes(self) -> int:
        return len(self.nodes)

    def number_of_edges(self) -> int:
        return self.core.number_of_edges()

    @property
    def edges(self) -> Any:
        """The source graph's edge view (NetworkX's checks of a function that changes its input read it)."""
        return self.source.edges

    def __repr__(self) -> str:
        kind = ("Multi" if self.multigraph else "") + ("DiGraph" if self.directed else "Graph")
        what = "native " if self.native else ""
        return f"<FennelGraph {what}{kind} with {len(self.nodes)} nodes>"


# Python values of a native graph's attribute kinds (0, absent, is never read).
_VALUE_OF_KIND = (None, int, float, lambda value: None, bool)


def _missing_columns(fg, attrs):
    """Attributes fg lacks, or holds with another default than NetworkX's int 1.

    A native graph lacks none: an attribute absent from it weighs 1 everywhere.
    """
    if fg.native:
        return []
    return [a for a in attrs if not (type(fg.columns.get(a)) is int and fg.columns[a] == 1)]


def cached_conversion(G, attrs):
    """A conversion of ``G`` already in NetworkX's cache that holds ``attrs``.

    Returns a FennelGraph, a string (the reason none can serve) or None.
    """
    if isinstance(G, FennelGraph):
        return _with_columns(G, attrs)
    if (fg := compact_form(G)) is not None:
        return _with_columns(fg, attrs)
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
        if isinstance(value, FennelGraph) and value._source is None and value._owner is None:
            # A copy of G (pickle, deepcopy) brought its conversion along; a
            # native graph's compact form is in its owner's cache.
            if value.native:
                value._owner = weakref.ref(G)
            else:
                value._source = G
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
        try:
            fg.add_columns(missing)
        except NotImplementedError as exc:
            return str(exc)
    return fg


def as_fennel(G, attrs):
    """The FennelGraph to run on, converting a plain NetworkX graph directly."""
    compact = G if isinstance(G, FennelGraph) else compact_form(G)
    if compact is not None:
        fg = _with_columns(compact, attrs)
        if isinstance(fg, str):
            raise NotImplementedError(fg)
        return fg
    if isinstance(G, nx.Graph):
        return FennelGraph(G, [(a, 1) for a in attrs])
    raise NotImplementedError(f"cannot convert {type(G).__name__} for fennel")
