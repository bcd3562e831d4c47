"""The index of the served functions, generated from their declarations.

Importing this module imports every room (the modules whose functions carry
``@served``, found by ``fennel._info``'s reading of their source) and
gathers the declarations: ``SERVED`` (every ``serve.Served``), ``BY_NAME``,
the thresholds ``should_run`` reads (a dict, so that tests can lower them),
the release refusals and the served names the installed NetworkX does not
dispatch. It checks that the declarations are exactly what ``get_info``
read from the source, docs included.
"""

import importlib

from .. import _info
from . import serve

_DECLARED = _info.declared()
for _room in dict.fromkeys(room for room, _ in _DECLARED.values()):
    importlib.import_module(f"{__package__}.{_room}")

BY_NAME = {served.name: served for served in serve.DECLARED}
SERVED = tuple(BY_NAME[name] for name in _DECLARED if name in BY_NAME)

_read = {name: docs for name, (_, docs) in _DECLARED.items()}
_made = {served.name: served.docs for served in serve.DECLARED}
if _read != _made:
    raise RuntimeError(
        "the declarations read from the source differ from those made: "
        f"{sorted(set(_read.items()) ^ set(_made.items()))}"
    )

# Thresholds of should_run, by function: (graph converted, graph to convert).
SHOULD_RUN_MIN_WORK = {served.name: served.min_work for served in SERVED}
# Functions the installed NetworkX keeps for itself, with the reason.
RELEASE_REFUSALS = {served.name: served.release for served in SERVED if served.release is not None}
# Served names the installed NetworkX does not dispatch (never called).
UNDISPATCHED = {served.name for served in SERVED if not served.dispatched}
