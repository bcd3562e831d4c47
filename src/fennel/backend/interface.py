"""The dispatch hooks NetworkX calls, generated from the registry."""

import math
from typing import Any

import networkx as nx

from .. import _core
from . import registry
from .graph import FennelGraph, cached_conversion, record, settings
from .native import compact_form


def refusal(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> str | None:
    """Why fennel cannot reproduce NetworkX exactly for this call, or None.

    Applies the argument rules always and the data rules when NetworkX's
    cache already holds a converted graph; on a graph not yet converted the
    data rules run when the function converts it, which then raises
    NotImplementedError.
    """
    served = registry.BY_NAME[name]
    if served.constructor:
        return None  # builds NetworkX's own graph where it cannot build an identical one
    try:
        a = served.bind(args, kwargs)
    except TypeError:
        return "arguments do not match NetworkX's signature"
    if reason := served.argument_problem(a):
        return reason
    fg = cached_conversion(a[served.graph], served.attributes(a))
    return fg if isinstance(fg, str) else fg and served.data_problem(fg, a)


def _networkx_testing():
    """Whether NetworkX runs its own test suite through a backend (NETWORKX_TEST_BACKEND)."""
    return getattr(nx.utils.backends._dispatchable, "_is_testing", False)


_threads_applied = -1


def _apply_threads():
    """Hands a changed ``n_jobs`` setting to the pool; otherwise costs one comparison."""
    global _threads_applied
    n_jobs = settings().n_jobs
    if n_jobs != _threads_applied:
        _core.set_num_threads(n_jobs or 0)
        _threads_applied = n_jobs


def can_run(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bool | str:
    """Whether fennel reproduces NetworkX exactly for this call; raises the reason if not.

    NetworkX asks can_run before every call of a backend function, so the
    ``n_jobs`` setting is applied here. A refusal raises NotImplementedError
    naming the reason: with ``backend="fennel"`` NetworkX lets it reach the
    caller (a False or a string would give its own fixed message), and under
    automatic dispatch it logs it and runs its own code. NetworkX's test-suite
    mode calls can_run without catching, so there the reason is returned.
    Functions fennel does not serve give False.
    """
    if name not in registry.BY_NAME:
        return False
    _apply_threads()
    reason = refusal(name, args, kwargs)
    if not reason:
        return True
    record("refused", name, reason)
    if _networkx_testing():
        return reason
    raise NotImplementedError(
        f"'{name}' is not implemented by 'fennel' backend for the given arguments, because: {reason}"
    )


def should_run(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bool | str:
    """Whether handing this call to fennel is faster than NetworkX's own run.

    Asked only for automatic dispatch (``backend_priority``), never for an
    explicit ``backend="fennel"``. The work of a call is ``n + s`` for one
    search and ``sources * (n + s)`` for one search per source, where ``s`` is
    the number of adjacency entries (2m for undirected graphs) and
    ``sources`` is ``k`` or ``n``. Calls below the function's
    ``registry.SHOULD_RUN_MIN_WORK`` stay with NetworkX: at that size
    NetworkX's dispatch overhead (about 20 us per call) plus, for a graph not
    converted yet, the conversion cost more than NetworkX's pure-Python run.
    The thresholds (``serve.WORK_*``) are the crossovers bench/thresholds.py
    measures, one representative call per family.

    A call whose work NetworkX bounds by what it reaches (a source and a
    target, a cutoff, a depth limit: ``Served.bounded``) may touch a handful
    of nodes, so on a graph not converted yet it stays with NetworkX:
    converting alone walks the whole graph.
    """
    served = registry.BY_NAME.get(name)
    if served is None:
        return False
    if served.constructor:
        return True
    try:
        a = served.bind(args, kwargs)
    except TypeError:
        return True
    G = a[served.graph]
    if isinstance(G, FennelGraph) or compact_form(G) is not None:
        # NetworkX's own run on a native graph would first build its dicts.
        return True
    fg = cached_conversion(G, served.attributes(a))
    converted = isinstance(fg, FennelGraph)
    bound = served.bounded(a) if served.bounded is not None else None
    if not converted and bound:
        return _declined(name, "a search bounded by what it reaches: NetworkX answers it without converting")
    if converted and type(bound) is int and bound < FEW_ITEMS:
        # A count of the items asked for (pairs of an ebunch): each costs
        # NetworkX a few microseconds, fennel's call a fixed tens.
        return _declined(name, f"{bound} items: NetworkX is faster on so few")
    min_work = registry.SHOULD_RUN_MIN_WORK[name][0 if converted else 1]
    if min_work == math.inf:
        # Counting the graph's entries would cost more than NetworkX's answer.
        return _declined(name, "NetworkX answers it faster" + ("" if converted else " on a graph not converted yet"))
    n = len(G)
    sources = 1
    if served.per_source:
        k = a.get("k")  # sampled sources; the all-pairs functions search from every node
        sources = k if isinstance(k, int) and 0 <= k < n else n
    if sources * n >= min_work:
        return True
    if converted:
        edges = fg.core.number_of_edges()
        entries = edges if fg.directed else 2 * edges
    else:
        entries = sum(map(len, G._adj.values()))
    work = sources * (n + entries)
    if work >= min_work:
        return True
    return _declined(name, f"work {work} < {min_work}: NetworkX is faster on a graph this small")


# Below this many items of a bounded call (see ``Served.bounded``) NetworkX
# answers a converted graph faster than fennel's fixed cost per call.
FEW_ITEMS = 64


def _declined(name, reason):
    record("declined", name, reason)
    return reason


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
    if (fg := compact_form(G)) is not None:
        return fg  # a constructor's graph whose dicts were never built
    served = registry.BY_NAME.get(name)
    if served is not None and served.keeps_attributes:
        # NetworkX asks to preserve every attribute: these functions hand out
        # the source graph's own data, so only the attribute they sort by is
        # converted (a call with another one converts it then). Functions
        # without a weight parameter read every attribute from the source
        # graph, whatever attributes NetworkX names.
        attrs = dict(edge_attrs or {}) if served.weight is not None else {}
        default = served.default_attribute
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
    """Results are already NetworkX objects; a FennelGraph gives back its NetworkX graph.

    For a native graph that is the graph its constructor returned (or, alone,
    the one NetworkX's plain constructor would have built): the same nodes,
    adjacency order, edge order and edge data.
    """
    if isinstance(result, FennelGraph):
        return result.source
    return result


BackendInterface: type = type(
    "BackendInterface",
    (),
    {
        "__doc__": "The object NetworkX loads from the ``networkx.backends`` entry point.",
        "convert_from_nx": staticmethod(convert_from_nx),
        "convert_to_nx": staticmethod(convert_to_nx),
        "can_run": staticmethod(can_run),
        "should_run": staticmethod(should_run),
        **{served.name: staticmethod(served.run) for served in registry.SERVED},
    },
)

# Its attributes are made from the registry at import time, which no static
# type can list.
backend_interface: Any = BackendInterface()
