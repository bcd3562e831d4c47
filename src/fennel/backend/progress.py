"""Progress bars for long calls (the ``progress`` setting; drawn with tqdm).

A watched call counts units of work: searches of the per-source families,
iterations of PageRank, eigenvector and Katz centrality, sources of the
all-pairs generators. The C++ kernels count theirs from any thread; the
call's own thread, which wakes a few times a second while it waits for the
workers, hands the count to the watch (``_core._progress_hook``). The
generators count their batches from Python.

A call's expected duration comes from its work (units times ``n + s``, the
nodes plus adjacency entries) and the rate last measured for its function.
A call expected to end within WATCH_FROM seconds is not watched at all (its
cost is that estimate); a watched one draws its bar once it is expected to
last DRAW_FROM seconds or more: from the estimate until a unit has finished,
then from its own pace. A C++ call that ends before the first report (about
100 ms) draws nothing. The setting ``None`` draws bars when stderr is a
terminal; without tqdm there is no bar and no error. The watch never touches
a result: a display that fails is dropped.
"""

import contextvars
import sys
import time

from .. import _core
from .graph import settings

# The served function running in this context (set around every body by
# ``serve``): bars are labelled, and rates measured, by its name.
CALL = contextvars.ContextVar("fennel_call", default="")

# Expected durations, in seconds, from which a call is watched and from which
# it draws a bar.
WATCH_FROM = 0.1
DRAW_FROM = 2.0
# Work units per second assumed for a function none of whose calls was
# measured yet (a slow path's pace, so that a long first call is expected long).
_ASSUMED_RATE = 2e7
# Calls shorter than this measure no rate: the timer's noise would dominate.
_MEASURE_FROM = 0.05
# Work units per second, by function, from the last call measured.
_rates = {}


def _is_terminal(stream):
    try:
        return stream is not None and stream.isatty()
    except (AttributeError, ValueError, OSError):
        return False


def _tqdm():
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm


def _unit_work(fg):
    """Work of one search or iteration over fg: its nodes plus adjacency entries."""
    edges = fg.core.number_of_edges()
    return len(fg) + (edges if fg.directed else 2 * edges)


class _Watch:
    """One call's units finished so far, drawn as a bar once the call is expected long."""

    def __init__(self, tqdm, name, total, unit, per_unit, expected):
        self._tqdm = tqdm
        self.name = name
        self.total = total
        self.unit = unit
        self.per_unit = per_unit
        self.expected = expected
        self.bar = None
        self.broken = False
        self.start = time.perf_counter()

    def __call__(self, done):
        if self.broken:
            return
        try:
            if self.bar is not None:
                self.bar.update(done - self.bar.n)
            elif self._long(done):
                self.bar = self._tqdm(
                    total=self.total, initial=done, desc=self.name, unit=self.unit, file=sys.stderr, leave=False
                )
        except Exception:
            self.broken = True

    def _long(self, done):
        elapsed = time.perf_counter() - self.start
        expected = elapsed * self.total / done if done else max(self.expected, elapsed)
        return expected >= DRAW_FROM

    def close(self, done, finished):
        """Ends the watch after `done` units; a call that `finished` measures its function's rate."""
        elapsed = time.perf_counter() - self.start
        if finished and done and elapsed >= _MEASURE_FROM:
            _rates[self.name] = done * self.per_unit / elapsed
        if self.bar is not None and not self.broken:
            try:
                self.bar.update(done - self.bar.n)
                self.bar.close()
            except Exception:
                self.broken = True


def _watch(name, fg, total, unit):
    if total <= 0:
        return None
    setting = settings().progress
    if setting is False:
        return None
    per_unit = _unit_work(fg)
    expected = total * per_unit / _rates.get(name, _ASSUMED_RATE)
    if expected < WATCH_FROM or (setting is None and not _is_terminal(sys.stderr)):
        return None
    tqdm = _tqdm()
    return None if tqdm is None else _Watch(tqdm, name, total, unit, per_unit, expected)


class counted:
    """Context of a C++ call whose kernels count `total` units (searches or iterations)."""

    __slots__ = ("_args", "_watch")

    def __init__(self, fg, total, unit="searches"):
        self._args = (CALL.get(), fg, total, unit)
        self._watch = None

    def __enter__(self):
        self._watch = watch = _watch(*self._args)
        if watch is not None:
            _core._progress_hook(watch)
        return self

    def __exit__(self, exc_type, exc, tb):
        watch = self._watch
        if watch is not None:
            watch.close(_core._progress_hook(None), exc_type is None)
        return False


def batches(fg, source_batches, total):
    """`source_batches` (lists of source positions, `total` sources in all), counted as they are searched."""
    watch = _watch(CALL.get(), fg, total, "sources")
    return source_batches if watch is None else _watched(watch, source_batches)


def _watched(watch, source_batches):
    # The pace counts from the first batch asked for, not from the call that
    # made the generator; a batch counts once the consumer asks for the next.
    watch.start = time.perf_counter()
    done = 0
    finished = False
    try:
        for batch in source_batches:
            yield batch
            done += len(batch)
            watch(done)
        finished = True
    finally:
        watch.close(done, finished)
