"""The tasks fennel runs on a Dask cluster's workers.

Every task reads a compact graph the caller scattered once (a ``CoreGraph``,
which travels as its byte form) and node positions, and returns plain bytes,
lists and tuples: nothing here makes a set or dict order, so an answer never
depends on a worker's hash seed. This module imports only the extension, so
a worker needs neither NetworkX's dispatch nor the backend loaded.
"""

import sys

from . import __version__, _core


# Seconds a block waits for the variable of the block before, which is set
# as soon as that block is submitted: only a variable deleted already (its
# block recomputed after a worker was lost, later than the caller kept it)
# takes longer.
HANDOVER_TIMEOUT = 60


# What a block's variable holds once the caller released its state.
RELEASED = "fennel: released"


class LostState(RuntimeError):
    """A block recomputed on a worker can no longer read the state it folds into."""


def identity():
    """What a caller checks before trusting a worker's answers (fennel's version)
    and shows when they differ (the interpreter's)."""
    return {"fennel": __version__, "python": "%d.%d.%d" % sys.version_info[:3]}


def betweenness_rows(core, weight, endpoints, sources, edges):
    """Each source's betweenness terms on a row of its own: (rows, extra, hit) as bytes."""
    return core.betweenness_rows(weight, endpoints, sources, edges=edges)


def harmonic_rows(core, sources, in_nbunch, weight):
    return core.harmonic_rows(sources, in_nbunch, weight)


def add_rows(state, rows, entries):
    """The running totals after a block's rows: ``state`` (None before the first
    block) and the result are (totals as float64 bytes, entries given any term
    as bytes, empty when the rows mark none)."""
    totals, hit = state if state is not None else (bytes(8 * entries), b"")
    data, extra, block_hit = rows
    totals = bytearray(totals)
    _core._add_rows(totals, data, extra)
    if block_hit:
        if hit:
            n = len(hit)
            hit = (int.from_bytes(hit, "little") | int.from_bytes(block_hit, "little")).to_bytes(n, "little")
        else:
            hit = block_hit
    return bytes(totals), hit


def folded(core, task, args, previous, add, add_args):
    """``task(core, *args)`` folded by ``add`` into the state of the previous
    block, which the Dask variable named ``previous`` hands over (None: the
    first block)."""
    found = task(core, *args)
    state = None
    if previous is not None:
        from distributed import Variable, get_client, secede

        # Out of the worker's pool for good: the wait and the fold (a pass over
        # memory) do not hold back the next block's search.
        secede()
        try:
            handed = Variable(previous, client=get_client()).get(timeout=HANDOVER_TIMEOUT)
        except TimeoutError:
            handed = RELEASED
        if isinstance(handed, str):
            raise LostState(f"the state of the block before was released ({previous})")
        state = handed.result()
    return add(state, found, *add_args)


def closeness(core, distance, wf_improved, sources, compensated_sum):
    return core.closeness(distance, wf_improved, sources, compensated_sum=compensated_sum)


def bfs_stats(core, sources):
    """(reached, total, farthest level) per source."""
    return core.bfs_stats(sources)


def dijkstra_stats(core, weight, sources, compensated_sum):
    """(reached, farthest distance) per source, None where a negative cycle was met."""
    return core.dijkstra_stats(weight, sources, compensated_sum=compensated_sum)[0]


def dijkstra_terms(core, weight, sources, compensated_sum):
    """A block's part of the sum of all distances: (its int total, None on a negative
    cycle; its float terms in order as float64 bytes; whether it met any)."""
    _, total, terms, any_float = core.dijkstra_stats(weight, sources, compensated_sum=compensated_sum, terms=True)
    return total, terms, any_float


def resume_sum(state, block, compensated):
    """The sum of all distances after a block: ``state`` (None before the first block)
    and the result are (int total or None, sum()'s running float pair, whether a
    float was met)."""
    int_total, partial, compensation, any_float = state if state is not None else (0, 0.0, 0.0, False)
    total, terms, block_float = block
    if int_total is None or total is None:
        return None, partial, compensation, any_float
    partial, compensation = _core._py_sum_resume(partial, compensation, compensated, terms)
    return int_total + total, partial, compensation, any_float or block_float


def bfs_lengths(core, sources, limit):
    """(positions, levels) per source, in discovery order."""
    return core.bfs_many(sources, limit).lengths()


def dijkstra_lengths(core, sources, weight, cut):
    """(positions, distances, kinds) per source in settle order, None where a negative cycle was met."""
    return core.dijkstra_many(sources, weight, cut).lengths()
