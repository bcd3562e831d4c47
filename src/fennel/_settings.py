"""fennel's runtime settings, which NetworkX keeps as ``nx.config.backends.fennel``.

``n_jobs``
    Threads that work on each call, the calling thread included (None: one
    per online processor). Applied from the next call on; answers never
    depend on it.
``call_log``
    Path of a file that receives one line per event (``ran``, ``refused``,
    ``declined``, ``converted``, ``unconvertible``), or None.
``progress``
    Progress bar (tqdm) for calls that run longer than a couple of seconds:
    None draws it when stderr is a terminal, True always, False never.
``executor``
    None (the worker threads of this process), or a ``dask.distributed.Client``:
    the per-source families (betweenness, closeness, harmonic, eccentricity
    and what is built on it, average shortest path length, Wiener index, the
    all-pairs lengths) then run on its cluster once their work reaches
    ``executor_min_work``.
``executor_min_work``
    Searches times (nodes + adjacency entries) from which a call goes to the
    executor's cluster (default 2,000,000,000: about a minute of one core).

The defaults come from the environment: ``FENNEL_NUM_THREADS``, else
``RAYON_NUM_THREADS`` (either 0: every processor), else a positive
``RAYON_RS_NUM_CPUS``; ``FENNEL_CALL_LOG``. The C++ pool reads the same
variables in the same order, for programs that use ``fennel._core`` alone.

NetworkX reads these defaults through ``get_info`` while importing itself,
so this module imports neither NetworkX nor the extension: NetworkX's
``Config`` is taken from ``sys.modules``, where NetworkX has put it by then.
"""

import functools
import os
import sys

# The largest thread count accepted (as by the C++ pool).
MAX_THREADS = 1 << 20

# executor_min_work's default.
DEFAULT_MIN_WORK = 2_000_000_000

# Environment variables that set the thread count, by precedence.
THREAD_VARIABLES = ("FENNEL_NUM_THREADS", "RAYON_NUM_THREADS", "RAYON_RS_NUM_CPUS")


def _env_count(name):
    """The variable's value as the pool reads it: decimal digits up to MAX_THREADS, else None."""
    text = os.environ.get(name, "")
    if not (text.isascii() and text.isdigit()) or int(text) > MAX_THREADS:
        return None
    return int(text)


def thread_source():
    """``(n_jobs, variable)``: the thread count the environment asks for (None: every
    processor) and the variable it comes from (None: none set)."""
    for name in THREAD_VARIABLES:
        value = _env_count(name)
        if value is None or (value == 0 and name == "RAYON_RS_NUM_CPUS"):
            continue
        return (value or None), name
    return None, None


def defaults():
    """The settings' default values, from the environment."""
    return {
        "n_jobs": thread_source()[0],
        "call_log": os.environ.get("FENNEL_CALL_LOG") or None,
        "progress": None,
        "executor": None,
        "executor_min_work": DEFAULT_MIN_WORK,
    }


def check(key, value):
    """The value to store for setting ``key``, or TypeError/ValueError."""
    if key == "n_jobs":
        if value is None:
            return None
        if type(value) is bool or not isinstance(value, int):
            raise TypeError(f"n_jobs must be None or an int; got {value!r}")
        if not 1 <= value <= MAX_THREADS:
            raise ValueError(f"n_jobs must be None (every processor) or from 1 to {MAX_THREADS}; got {value!r}")
        return int(value)
    if key == "call_log":
        if value is None:
            return None
        if not isinstance(value, str | os.PathLike):
            raise TypeError(f"call_log must be None or a path; got {value!r}")
        path = os.fspath(value)
        if not isinstance(path, str):
            raise TypeError(f"call_log must be a str path; got {value!r}")
        return path or None
    if key == "executor":
        if value is not None and not all(callable(getattr(value, m, None)) for m in ("submit", "scatter", "run", "cancel")):
            raise TypeError(f"executor must be None or a dask.distributed.Client; got {value!r}")
        return value
    if key == "executor_min_work":
        if type(value) is bool or not isinstance(value, int) or value < 0:
            raise TypeError(f"executor_min_work must be an int >= 0; got {value!r}")
        return int(value)
    if key == "progress":
        if value is not None and type(value) is not bool:
            raise TypeError(f"progress must be None (when stderr is a terminal), True or False; got {value!r}")
        return value
    return value


@functools.cache
def _config_class(base):
    class FennelConfig(base):
        """fennel's settings (see ``fennel._settings``): ``n_jobs``, ``call_log``, ``progress``,
        ``executor``, ``executor_min_work``."""

        __qualname__ = "FennelConfig"

        n_jobs: int | None
        call_log: str | None
        progress: bool | None
        executor: object
        executor_min_work: int

        def _on_setattr(self, key, value):
            return check(key, value)

    return FennelConfig


def __getattr__(name):
    # Pickle finds the settings' class by name (nx.config pickles): it is
    # made on first use, once NetworkX is imported.
    if name == "FennelConfig":
        from networkx.utils.configs import Config

        return _config_class(Config)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def default_config():
    """``get_info``'s ``default_config``: a validating NetworkX ``Config`` while
    NetworkX imports itself, the plain defaults when read outside it."""
    configs = sys.modules.get("networkx.utils.configs")
    values = defaults()
    if configs is None:
        return values
    return _config_class(configs.Config)(**values)
