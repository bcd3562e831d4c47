"""The dispatch hooks NetworkX calls, generated from the registry."""

import importlib
import inspect
from typing import Any

import networkx as nx

from .. import _core
from . import registry
from .checks import argument_problem, attributes, data_problem
from .graph import FennelGraph, cached_conversion, convert_from_nx, convert_to_nx, record, settings
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


def refusal(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> str | None:
    """Why fennel cannot reproduce NetworkX exactly for this call, or None.

    Applies the argument rules always and the data rules when NetworkX's
    cache already holds a converted graph (see ``fennel.backend.checks``);
    on a graph not yet converted the data rules run inside the function,
    which raises NotImplementedError.
    """
    if registry.BY_NAME[name].constructor:
        return None  # builds NetworkX's own graph where it cannot build an identical one
    try:
        a = _bound_arguments(name, args, kwargs)
    except TypeError:
        return "arguments do not match NetworkX's signature"
    if reason := argument_problem(name, a):
        return reason
    fg = cached_conversion(a["G"], attributes(name, a))
    return fg if isinstance(fg, str) else fg and data_problem(name, fg, a)


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
    if name not in FUNCTIONS:
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
