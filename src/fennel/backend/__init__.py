"""fennel as a NetworkX backend.

NetworkX finds this package through the ``networkx.backends`` entry point and
calls the object ``backend_interface``. A NetworkX graph is converted once
into a ``FennelGraph`` (the compact C++ ``CoreGraph`` plus the node list that
maps positions back to node objects); NetworkX keeps the converted graph in
``G.__networkx_cache__`` and reuses it until a mutation of ``G`` clears that
cache.

Every function returns exactly what NetworkX returns: same values (bit for
bit), same value types, same key order, same exceptions. Whatever cannot be
reproduced exactly is refused (``can_run`` returns a reason, or the function
raises ``NotImplementedError`` when the refusal depends on the converted data),
and NetworkX then runs its own implementation when it is allowed to fall back
(``nx.config.backend_priority`` / ``NETWORKX_BACKEND_PRIORITY``). With an
explicit ``backend="fennel"`` NetworkX does not fall back; it raises
``NotImplementedError`` instead, with fennel's reason.

The settings live in ``nx.config.backends.fennel`` (see ``fennel._settings``).
Its ``call_log`` (default: the environment variable ``FENNEL_CALL_LOG``), a
file path, receives one line per event: ``ran`` (a fennel function
returned), ``refused`` (can_run or a function declined the arguments or
data), ``declined`` (should_run left a small graph to NetworkX),
``converted`` and ``unconvertible`` (the C++ conversion raised
NotImplementedError). The in-process ``calls`` counter counts the same
events, and refusals and declines also go to the ``fennel`` logger.

Layout. The rooms, one module per NetworkX module (``shortest_paths``,
``traversal``, ``components``, ``dag``, ``core``, ``cluster``, ``coloring``,
``community``, ``tree``, ``bipartite``, ``centrality``, ``link_analysis``,
``distance_measures``, ``efficiency``, ``wiener``, ``convert``), hold the
function bodies, each under the ``@served`` declaration of everything its
dispatch needs, and the refusal rules only that room uses. What they share:
``serve`` (the declaration and the plumbing it does), ``checks`` (the rules
several rooms use, and the tables naming every rule), ``shared`` (searches
and generators several rooms use), ``graph`` (the converted graph, caching,
the settings in force, the call log), ``kinds`` (value kinds of weights),
``native`` (the NetworkX graphs fennel's constructors return, their dicts
built on first read) and ``progress`` (progress bars of long calls). Then
``registry`` (the index of the declarations) and ``interface`` (the
dispatch hooks, from the registry). This package imports them lazily;
``fennel._info`` lists the served functions without importing any.
"""

import importlib
from typing import TYPE_CHECKING

__all__ = ["FennelGraph", "backend_interface", "calls", "can_run", "should_run"]

if TYPE_CHECKING:  # what __getattr__ hands out, for type checkers
    from .graph import FennelGraph, calls
    from .interface import backend_interface, can_run, convert_from_nx, convert_to_nx, should_run
    from .registry import RELEASE_REFUSALS

# Public names and the module that defines each.
_HOME = {
    "FennelGraph": "graph",
    "calls": "graph",
    "convert_from_nx": "interface",
    "convert_to_nx": "interface",
    "backend_interface": "interface",
    "can_run": "interface",
    "should_run": "interface",
    "RELEASE_REFUSALS": "registry",
}


def __getattr__(name: str) -> object:
    if name in _HOME:
        value = getattr(importlib.import_module(f"{__package__}.{_HOME[name]}"), name)
        globals()[name] = value
        return value
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
