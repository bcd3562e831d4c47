"""The NetworkX graphs fennel's constructors return, whose dicts are built on first read.

``Graph`` and ``DiGraph`` here subclass NetworkX's classes of the same names
(so messages that print ``type(G).__name__`` read as NetworkX's). A
constructor's graph starts out holding only fennel's compact form, a native
``FennelGraph``. Its dict-of-dicts (``_node``, ``_adj``, and ``_succ`` and
``_pred`` when directed) are built once, from the compact form, the first time
anything reads one of them; they are then exactly the dicts of the graph
NetworkX's plain constructor builds (same node order, adjacency order, edge
order and edge data), and the graph is an ordinary NetworkX graph from then on.

To NetworkX's dispatch the graph is a NetworkX graph
(``__networkx_backend__ == "networkx"``): every NetworkX function runs on it
under the default configuration, and builds the dicts. fennel finds the
compact form without them (``compact_form``): ``convert_from_nx`` returns it,
and ``can_run``, ``should_run`` and the refusal rules read it. Until the dicts
exist the graph has no ``__networkx_cache__`` (None, which NetworkX reads as
"do not cache"): NetworkX then calls ``convert_from_nx`` on every served
call, which costs nothing, and never warns about a cache hit. Building the
dicts gives the graph NetworkX's cache with the compact form in it, as a
conversion made by NetworkX would be kept; a change through the graph's
methods clears that cache, so the next served call converts the dicts.

New graphs NetworkX makes from one (``G.__class__()``: copies, subgraphs,
views, results) are plain ``nx.Graph`` or ``nx.DiGraph`` objects, as they are
from the plain graph. A graph whose dicts were never built pickles (and
deep-copies) as the compact form's byte string and its node list, and
unpickles without dicts; one whose dicts exist pickles them, as NetworkX
pickles its graphs.
"""

import inspect
import threading
import weakref

import networkx as nx

# The cache key under which NetworkX keeps a conversion that preserves every
# edge and node attribute; the compact form stands for all of a native
# graph's attributes (one it lacks weighs 1 on every edge).
_ALL_ATTRIBUTES = (True, True)


class _Built:
    """One of the graph's dicts, built with all the others on first read.

    A non-data descriptor: once the instance dict holds the attribute, Python
    reads it from there without calling this, so the built graph's dicts cost
    what a plain graph's cost.
    """

    def __set_name__(self, owner, name):
        self.name = name

    def __get__(self, obj, cls=None):
        if obj is None:
            return self
        obj._build_dicts()
        try:
            return obj.__dict__[self.name]
        except KeyError:
            raise AttributeError(f"{type(obj).__name__!r} object has no attribute {self.name!r}") from None


class _NodeIndex:
    """What NetworkX's ``nbunch_iter`` reads of a graph (``n in G``, ``G._adj``'s keys), from the node index.

    The index's keys are the node objects in the graph's order, as ``_adj``'s
    are, so NetworkX's own ``nbunch_iter`` run on this answers (errors
    included) as on the built graph.
    """

    __slots__ = ("_adj",)

    def __init__(self, index):
        self._adj = index

    def __contains__(self, n):
        try:
            return n in self._adj
        except TypeError:
            return False


class _Native:
    """The behaviour shared by the native ``Graph`` and ``DiGraph``."""

    # The compact form while the dicts do not exist; None once they do.
    _fennel = None
    # Instances get NetworkX's cache dict with their dicts.
    __networkx_cache__ = None
    # NetworkX's descriptors that keep cached views in step with these dicts;
    # assignments go through them (see __setattr__).
    _SETTERS = {}

    _node = _Built()
    _adj = _Built()

    def __new__(cls, *args, **kwargs):
        # NetworkX makes new graphs as G.__class__() (copies, subgraphs,
        # results): those get the plain class, as on the plain graph.
        return cls._PLAIN(*args, **kwargs)

    @classmethod
    def _from_compact(cls, fg):
        self = object.__new__(cls)
        d = self.__dict__
        d["graph"] = {}
        d["_lock"] = threading.Lock()
        d["_fennel"] = fg
        fg._owner = weakref.ref(self)
        return self

    def unchanged_marker(self, key):
        """(watch dict, key, marker) for a generator running over the compact
        form: building the dicts (the first step of any change) drops the
        marker, and the generator then goes on from NetworkX's own state over
        the built dicts."""
        watched = self.__dict__.get("_watched")
        if watched is None:
            watched = self.__dict__.setdefault("_watched", {})
        return watched, key, watched.setdefault(key, object())

    @property
    def dicts_built(self):
        """Whether the dict-of-dicts exist (they are built on first read)."""
        return self._fennel is None

    def _build_dicts(self):
        if self._fennel is None:
            return
        with self._lock:
            fg = self._fennel
            if fg is None:
                return  # another thread built them meanwhile
            G = fg._networkx_graph()
            d = self.__dict__
            cache = d.get("__networkx_cache__", {})
            if isinstance(cache, dict):
                cache.setdefault("backends", {}).setdefault("fennel", {})[_ALL_ATTRIBUTES] = fg
            d["__networkx_cache__"] = cache
            # Every dict is in place before the compact form goes: a reader that
            # finds one in the instance dict finds the others there or waits here.
            d["_node"] = G._node
            if self.is_directed():
                d["_pred"] = G._pred
                d["_succ"] = G._succ
            d["_adj"] = G._adj
            d["_fennel"] = None
            watched = d.get("_watched")
            if watched is not None:
                watched.clear()

    def __setattr__(self, name, value):
        setter = self._SETTERS.get(name)
        if setter is None:
            object.__setattr__(self, name, value)
            return
        # Replacing one dict of a graph whose others were never built would
        # leave them to be built from the compact form later: build all first.
        self._build_dicts()
        setter.__set__(self, value)

    def __len__(self):
        fg = self._fennel
        return len(fg.nodes) if fg is not None else len(self._node)

    def number_of_nodes(self):
        return len(self)

    def order(self):
        return len(self)

    def number_of_edges(self, u=None, v=None):
        fg = self._fennel
        if u is None and fg is not None:
            return fg.number_of_edges()
        return super().number_of_edges(u, v)

    def nbunch_iter(self, nbunch=None):
        fg = self._fennel
        if fg is None:
            return super().nbunch_iter(nbunch)
        return nx.Graph.nbunch_iter(_NodeIndex(fg.index), nbunch)

    def __copy__(self):
        # A shallow copy shares the dicts, as one of a plain graph does.
        self._build_dicts()
        other = object.__new__(type(self))
        other.__dict__.update(self.__dict__)
        return other

    def __reduce__(self):
        # Made again without __new__, which gives the plain class.
        return _restore, (type(self),), self.__getstate__()

    def __getstate__(self):
        state = dict(self.__dict__)
        state.pop("_lock", None)
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        self.__dict__["_lock"] = threading.Lock()
        fg = state.get("_fennel")
        if fg is not None:
            fg._owner = weakref.ref(self)


def _restore(cls):
    return object.__new__(cls)


def _setters(base, names):
    """NetworkX's assignment descriptors of ``base`` among ``names``."""
    found = {}
    for name in names:
        attr = inspect.getattr_static(base, name, None)
        if hasattr(type(attr), "__set__"):
            found[name] = attr
    return found


class Graph(_Native, nx.Graph):
    """An undirected graph built by a fennel constructor; see the module's docstring."""

    _PLAIN = nx.Graph
    _SETTERS = _setters(nx.Graph, ("_node", "_adj"))


class DiGraph(_Native, nx.DiGraph):
    """A directed graph built by a fennel constructor; see the module's docstring."""

    _PLAIN = nx.DiGraph
    _SETTERS = _setters(nx.DiGraph, ("_node", "_adj", "_succ", "_pred"))
    _succ = _Built()
    _pred = _Built()


def native_graph(fg):
    """The NetworkX graph standing for the native FennelGraph ``fg``, its dicts not built."""
    return (DiGraph if fg.directed else Graph)._from_compact(fg)


def compact_form(G):
    """The compact form of a native graph whose dicts were never built, else None."""
    return G._fennel if isinstance(G, _Native) else None
