"""Per-source families on a Dask cluster (the ``executor`` setting).

With ``nx.config.backends.fennel.executor`` set to a ``dask.distributed.Client``,
a call of a per-source family whose work (searches times nodes plus
adjacency entries) reaches ``executor_min_work`` hands its sources to the
cluster in blocks. The compact graph goes to every worker once (scattered
in its byte form and kept while this graph's compact form lives); each task
names the graph and a block of source positions, and the workers run the
same kernels as this process, each on its own threads.

Answers do not depend on the cluster:
- per-source values (closeness, eccentricity, the all-pairs lengths, the
  unweighted pair totals, which are exact ints) come back by block and are
  placed by source;
- a total over sources (betweenness, harmonic sums, the float sum of all
  distances) is made in NetworkX's source order. A block's task keeps each
  of its sources' terms on a row of its own (block size x entries floats),
  then, on the same worker, takes the previous block's totals and adds its
  rows in order. The searches of all blocks run at once; only the totals
  (8 bytes per entry) move between workers.
Nothing on a worker makes a set or dict order, so workers' hash seeds do
not matter.

Faults: Dask reruns the tasks of a worker lost during a call (every task is
a pure function of the graph, its block and the totals before it), so the
answer is unchanged; a chain whose released totals a rerun would need runs
again from the start, and a call whose graph lost every copy with its
workers (between calls Dask keeps one) scatters it again first. A cluster
that cannot run the call (no workers, fennel missing on a worker or of
another version) raises ``ClusterError`` naming the cause, unless
``nx.config.fallback_to_nx`` is set: then this process's threads answer. An
exception or Ctrl-C while waiting cancels the call's tasks.
"""

import array
import collections
import itertools
import math
import threading
import time
import uuid

import networkx as nx

from .. import __version__, _remote
from .graph import record, settings
from .progress import CALL

# Bytes of term rows one block may hold on its worker until the running
# totals reach it; a block takes at least one source.
ROW_BYTES = 1 << 28
# Blocks per task slot of the cluster, for balance.
BLOCKS_PER_SLOT = 4
# Blocks in flight ahead of the running totals (and of the results handed
# out), per task slot: the term rows the cluster holds at once.
AHEAD_PER_SLOT = 2
# Values a block of the all-pairs streams brings back at most.
STREAM_VALUES = 1 << 22


class ClusterError(RuntimeError):
    """The executor's cluster cannot run a call: no workers, or fennel missing or of another version on one."""


class _Cluster:
    """The executor's client for one call, with its task slots."""

    __slots__ = ("client", "slots", "name")

    def __init__(self, client, slots, name):
        self.client = client
        self.slots = slots
        self.name = name


_checked = {}  # id(client) -> (client, frozenset of worker addresses) already checked
_checked_lock = threading.Lock()


def _workers(client):
    """The cluster's workers (address -> their info), or ClusterError."""
    try:
        return dict(client.scheduler_info(n_workers=-1).get("workers", {}))
    except TypeError:  # releases before n_workers
        return dict(client.scheduler_info().get("workers", {}))
    except Exception as exc:
        raise ClusterError(f"the Dask scheduler cannot be reached: {exc!r}") from exc


def _check(client, workers):
    """Raises ClusterError unless every worker runs this fennel release."""
    addresses = frozenset(workers)
    with _checked_lock:
        known = _checked.get(id(client))
        if known is not None and known[0] is client and known[1] == addresses:
            return
    try:
        found = client.run(_remote.identity)
    except Exception as exc:
        raise ClusterError(f"fennel cannot run on the cluster's workers (is nx-fennel installed there?): {exc!r}") \
            from exc
    for address, info in sorted(found.items()):
        if info.get("fennel") != __version__:
            raise ClusterError(
                f"worker {address} runs fennel {info.get('fennel')} (Python {info.get('python')}); "
                f"this process runs fennel {__version__}"
            )
    with _checked_lock:
        _checked[id(client)] = (client, frozenset(found))


def cluster(fg, searches, name=None, *, per_pass=1):
    """The cluster to run ``searches`` searches over ``fg`` on, or None for this process's threads
    (``name``: the call's, by default the one running; ``per_pass``: sources one pass over the
    graph serves, 64 for the bit-parallel breadth-first searches)."""
    name = name or CALL.get(None) or "?"
    config = settings()
    client = getattr(config, "executor", None)
    if client is None or searches == 0:
        return None
    edges = fg.core.number_of_edges()
    work = -(-searches // per_pass) * (len(fg) + (edges if fg.directed else 2 * edges))
    if work < config.executor_min_work:
        return None
    try:
        workers = _workers(client)
        if not workers:
            raise ClusterError("the Dask cluster has no workers")
        _check(client, workers)
    except ClusterError as exc:
        if not nx.config.fallback_to_nx:
            raise
        record("declined", name, f"the cluster: {exc}; this process's threads answer")
        return None
    slots = sum(max(int(w.get("nthreads", 1) or 1), 1) for w in workers.values())
    record("cluster", name, f"{searches} searches on {len(workers)} workers")
    return _Cluster(client, slots, name)


def _graph(cl, fg):
    """The future of ``fg``'s compact graph on every worker, scattered once per graph and client."""
    core = fg.core
    shipped = fg.__dict__.get("_shipped")
    # A graph lost since the last call (its workers gone) is scattered again.
    if shipped is not None and shipped[0] is cl.client and shipped[1] is core and shipped[2].status == "finished":
        return shipped[2]
    try:
        future = cl.client.scatter(core, broadcast=True, hash=False)
    except TimeoutError as exc:  # no worker came (back) within Dask's connect timeout
        raise ClusterError(f"the Dask cluster has no workers to take the graph: {exc}") from exc
    fg._shipped = (cl.client, core, future)
    return future


def _blocks(cl, sources, per_source_bytes, most=None):
    """``sources`` cut into blocks: enough for every task slot, each within the memory budget."""
    count = len(sources)
    wanted = max(BLOCKS_PER_SLOT * cl.slots, -(-count * per_source_bytes // ROW_BYTES))
    size = max(1, -(-count // wanted))
    if most is not None:
        size = max(1, min(size, most))
    return [list(sources[i:i + size]) for i in range(0, count, size)]


def _cancel(client, futures):
    """Cancels a call's futures still in flight (the call's own error matters more than one here)."""
    if futures:
        try:
            client.cancel(futures)
        except Exception:
            pass


def _ahead(cl):
    return max(AHEAD_PER_SLOT * cl.slots, 2)


# Times a call runs again after losing what a lost worker held: a state the
# chain had released, or every copy of the graph.
ATTEMPTS = 3


class _Lost(RuntimeError):
    """The scheduler dropped a task of the call (a worker lost the only copy of what it needed)."""


def _graph_lost(cl, fg):
    """Whether the cluster lost every copy of ``fg``'s graph (then forgotten, to be scattered again)."""
    shipped = fg.__dict__.get("_shipped")
    if shipped is None or shipped[0] is not cl.client:
        return False
    future = shipped[2]
    try:
        held = cl.client.who_has([future]).get(future.key)
    except Exception:
        held = None
    if future.status in ("lost", "cancelled", "error") or not held:
        fg._shipped = None
        return True
    return False


def _again(cl, fg, attempt, exc):
    """Whether to run again after ``exc`` (recorded in the call log), else False."""
    if attempt == ATTEMPTS - 1 or isinstance(exc, ClusterError):
        return False
    if isinstance(exc, _remote.LostState):
        cause = "a lost worker took a state the chain had released"
    elif _graph_lost(cl, fg):
        cause = "the workers holding the graph were lost"
    elif isinstance(exc, _Lost):
        cause = str(exc)
    else:
        return False
    record("cluster", cl.name, f"{cause}: run again")
    return True


def _ordered(cl, fg, task, args_of, blocks):
    """Each block's task result, in block order, a bounded number in flight;
    from the block it had reached when the graph was lost, again."""
    client = cl.client
    ahead = _ahead(cl)
    blocks = list(blocks)
    done = 0  # blocks handed out
    for attempt in range(ATTEMPTS):
        graph = _graph(cl, fg)
        pending = collections.deque()
        try:
            for block in blocks[done:]:
                pending.append(client.submit(task, graph, *args_of(block), pure=False))
                if len(pending) > ahead:
                    found = pending[0].result()
                    pending.popleft()
                    done += 1
                    yield found
            while pending:
                found = pending[0].result()
                pending.popleft()
                done += 1
                yield found
            return
        except Exception as exc:
            _cancel(client, list(pending))
            if not _again(cl, fg, attempt, exc):
                raise
        except BaseException:  # Ctrl-C, or the stream closed early
            _cancel(client, list(pending))
            raise


def _chain(cl, fg, task, args_of, blocks, add, *add_args):
    """``_chain_once``, run again from the start should a lost worker take a
    state the chain had released or every copy of the graph (every block is
    a pure function of the graph and the state before it: a second run gives
    the same answer)."""
    blocks = list(blocks)
    for attempt in range(ATTEMPTS):
        try:
            return _chain_once(cl, fg, task, args_of, blocks, add, *add_args)
        except Exception as exc:
            if not _again(cl, fg, attempt, exc):
                raise


def _chain_once(cl, fg, task, args_of, blocks, add, *add_args):
    """The state after every block: each block's task result folded into a
    running state by ``add(state, result, *add_args)`` in block order, the
    state starting as None.

    One task per block searches its sources and then, on the worker that
    holds its result, takes the previous block's state and folds its result
    in (``_remote.folded``): the blocks search at once, a bounded number
    ahead of the state, and only the state moves between workers.
    """
    from distributed import Variable, wait

    client, graph = cl.client, _graph(cl, fg)
    ahead = _ahead(cl)
    # The blocks' futures in order, each with the variable that hands it to
    # the next block; kept until the next one is done, which has read it.
    chain = collections.deque()
    call = uuid.uuid4().hex
    try:
        for i, block in enumerate(blocks):
            previous = chain[-1][1].name if chain else None
            handed = Variable(f"fennel-{call}-{i}", client=client)
            # In the chain before the hand-over: a Ctrl-C from here on cancels
            # the task and releases its variable.
            chain.append((client.submit(_remote.folded, graph, task, args_of(block), previous, add, add_args,
                                        pure=False), handed))
            _hand_over(handed, chain[-1][0], graph)
            # A state is released once the two blocks after it are done: one
            # more than reads need, so that a block recomputed after its
            # worker was lost finds the state before it.
            while len(chain) > ahead + 2:
                wait(chain[2][0])
                _release(chain.popleft()[1])
        return chain[-1][0].result() if chain else None
    except BaseException:
        _cancel(client, [future for future, _ in chain])
        raise
    finally:
        for _, handed in chain:
            try:
                _release(handed)
            except Exception:
                pass


# Seconds the scheduler may take to learn of a task just submitted.
KNOWN_WITHIN = 60


def _hand_over(handed, future, graph):
    """Sets the variable ``handed`` to the block's ``future`` once the scheduler
    knows its task; _Lost if the scheduler dropped the task instead (its graph
    was lost with a worker: Dask keeps one copy of a value no task waits for)."""
    deadline = time.monotonic() + KNOWN_WITHIN
    while True:
        if graph.status != "finished" or future.status in ("cancelled", "lost"):
            raise _Lost("a lost worker held the graph's only copy")
        try:
            handed.set(future, timeout=1)
            return
        except TimeoutError:
            if time.monotonic() > deadline:
                raise _Lost(f"the scheduler did not learn of task {future.key}") from None


def _release(handed):
    """Releases a block's state and deletes its variable.

    Deleting a variable that holds a future waits, in the scheduler's handling
    of this client's messages, until every reader has confirmed its read; a
    reader whose worker died in between never does, and every later message
    of this client (its next tasks) would wait behind it for good. Setting the
    variable to a plain value first lets the scheduler release the future on
    its own time; the delete then waits for nothing. A block that runs again
    and reads the plain value knows its state is gone (``_remote.LostState``).
    """
    handed.set(_remote.RELEASED)
    handed.delete()


def _chained_totals(cl, fg, task, args_of, sources, entries):
    """(totals, hit): each source's term rows added into float totals in source order."""
    blocks = _blocks(cl, sources, 8 * max(entries, 1))
    totals, hit = _chain(cl, fg, task, args_of, blocks, _remote.add_rows, entries) or (bytes(8 * entries), b"")
    return array.array("d", totals).tolist(), hit


def pair_total(cl, fg, weight, compensated):
    """``dijkstra_stats``' total of every distance from every node (None after a
    negative cycle): ints added up, floats carried through sum()'s float path
    from block to block in NetworkX's order."""
    blocks = _blocks(cl, range(len(fg)), 8 * max(len(fg), 1))
    int_total, partial, compensation, any_float = _chain(
        cl, fg, _remote.dijkstra_terms, lambda b: (weight, b, compensated), blocks, _remote.resume_sum, compensated)
    if int_total is None:
        return None
    if not any_float:
        return int_total
    return partial + compensation if compensation != 0.0 and math.isfinite(compensation) else partial


def betweenness(cl, fg, weight, endpoints, sources, edges, entries):
    """The unscaled (edge) betweenness sums, as ``core.betweenness`` / ``core.edge_betweenness`` return them."""
    totals, _ = _chained_totals(cl, fg, _remote.betweenness_rows, lambda b: (weight, endpoints, b, edges), sources,
                                entries)
    return totals


def harmonic(cl, fg, sources, in_nbunch, distance):
    """(sums, hit) as ``core.harmonic`` returns them."""
    totals, hit = _chained_totals(cl, fg, _remote.harmonic_rows, lambda b: (b, in_nbunch, distance), sources,
                                  len(fg))
    return totals, list(map(bool, hit)) if hit else [False] * len(fg)


def per_source(cl, fg, task, args_of, sources):
    """A per-source kernel's list over ``sources``, by blocks."""
    found = _ordered(cl, fg, task, args_of, _blocks(cl, sources, 0))
    return list(itertools.chain.from_iterable(found))


def streamed(cl, fg, task, args_of, sources):
    """A per-source kernel's results over ``sources`` one at a time, a bounded number of blocks in flight."""
    most = max(1, STREAM_VALUES // max(len(fg), 1))
    for found in _ordered(cl, fg, task, args_of, _blocks(cl, sources, 0, most)):
        yield from found
