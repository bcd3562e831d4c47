"""The dispatch hooks NetworkX calls, generated from the registry."""

import importlib
import inspect
from typing import Any

from . import registry
from .checks import argument_problem, attributes, data_problem
from .graph import FennelGraph, cached_conversion, convert_from_nx, convert_to_nx, record
from .native import compact_form

# The body of every served function, from its topic module.
FUNCTIONS = {
    served.name: getattr(importlib.import_module(f"{__package__}.{served.topic}"), served.name)
    for served in registry.SERVED
}
_PARAMETERS = {
    name: tuple((p.name, p.default) for p in inspect.signature(f).parameters.values())
    for name, f in FUNCTIONS.items()
}


def _bound_arguments(name, args, kwargs):
    """Arguments by parameter name, defaults filled in (inspect's bind, but cheap)."""
    params = _PARAMETERS[name]
    if len(args) > len(params):
        raise TypeError("too many positional arguments")
    bound = {p: v for (p, _), v in zip(params, args)}
    for key, value in kwargs.items():
        if key in bound or all(key != p for p, _ in params):
            raise TypeError(f"unexpected argument {key!r}")
        bound[key] = value
    for p, default in params:
        if p not in bound:
            if default is inspect.Parameter.empty:
                raise TypeError(f"missing argument {p!r}")
            bound[p] = default
    return bound


def can_run(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bool | str:
    """Whether fennel reproduces NetworkX exactly for this call.

    Refuses (returning the reason) functions fennel does not serve, arguments
    NetworkX's signature does not accept, and whatever the function's
    refusal rules find (see ``fennel.backend.checks``): argument rules always,
    data rules when NetworkX's cache already holds a converted graph. On a
    graph not yet converted the data rules run inside the function, which
    raises NotImplementedError.
    """
    if name not in FUNCTIONS:
        return False
    if registry.BY_NAME[name].constructor:
        return True  # builds NetworkX's own graph where it cannot build an identical one
    try:
        a = _bound_arguments(name, args, kwargs)
    except TypeError:
        reason = "arguments do not match NetworkX's signature"
    else:
        reason = argument_problem(name, a)
        if not reason:
            fg = cached_conversion(a["G"], attributes(name, a))
            reason = fg if isinstance(fg, str) else fg and data_problem(name, fg, a)
    if reason:
        record("refused", name, reason)
        return reason
    return True


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
    The thresholds (``registry._WORK_*``) are the crossovers
    bench/thresholds.py measures, one representative call per family.

    A call whose work NetworkX bounds by what it reaches (a source and a
    target, a cutoff, a depth limit: ``Served.bounded``) may touch a handful
    of nodes, so on a graph not converted yet it stays with NetworkX:
    converting alone walks the whole graph.
    """
    if name not in FUNCTIONS:
        return False
    served = registry.BY_NAME[name]
    if served.constructor:
        return True
    try:
        a = _bound_arguments(name, args, kwargs)
    except TypeError:
        return True
    G = a["G"]
    if isinstance(G, FennelGraph) or compact_form(G) is not None:
        # NetworkX's own run on a native graph would first build its dicts.
        return True
    fg = cached_conversion(G, attributes(name, a))
    converted = isinstance(fg, FennelGraph)
    if not converted and served.bounded is not None and served.bounded(a):
        return _declined(name, "a search bounded by what it reaches: NetworkX answers it without converting")
    min_work = registry.SHOULD_RUN_MIN_WORK[name][0 if converted else 1]
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


def _declined(name, reason):
    record("declined", name, reason)
    return reason


BackendInterface: type = type(
    "BackendInterface",
    (),
    {
        "__doc__": "The object NetworkX loads from the ``networkx.backends`` entry point.",
        "convert_from_nx": staticmethod(convert_from_nx),
        "convert_to_nx": staticmethod(convert_to_nx),
        "can_run": staticmethod(can_run),
        "should_run": staticmethod(should_run),
        **{name: staticmethod(f) for name, f in FUNCTIONS.items()},
    },
)

# Its attributes are made from the registry at import time, which no static
# type can list.
backend_interface: Any = BackendInterface()
