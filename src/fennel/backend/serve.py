"""The declaration of a served function, written on its body.

``@served(...)`` on a backend function declares everything the dispatch
needs: the refusal rules by name (argument rules, data rules), the parameter
that names the edge attribute to convert, the work estimate of
``should_run``, the release refusal, whether results keep the source graph's
attributes, and the docs text NetworkX shows. The function it returns is
the one NetworkX calls. It binds the call's arguments against the body's
signature (NetworkX's own), applies the argument rules, converts the graph,
applies the data rules, calls the body with the converted graph in the
graph parameter's place and the other arguments by name (``progress.CALL``
naming the call meanwhile), and records ``ran`` once the body returns or
raises NetworkX's answer (one of its exceptions about the graph, or an
exception the declaration lists in ``answers``), or ``refused`` with the
reason. Bodies never refuse: every refusal is a rule named here, so
``can_run`` answers what the call would do.

``_info`` lists the declared functions for ``get_info`` by reading this
decorator in the room modules' source, without importing them: ``docs``
must be built of string literals, ``+`` and module-level constants (written
in the room or imported from another module of this package).
"""

import inspect

import networkx as nx

from .checks import ARGUMENT_RULES, DATA_RULES
from .graph import FennelGraph, as_fennel, record
from .progress import CALL

EXACT = "Results are identical to NetworkX's, bit for bit: same values, value types and key order."
BFS_DOCS = "Breadth-first search in C++, in NetworkX's order. " + EXACT
STATS_DOCS = (
    "Bit-parallel breadth-first search (64 sources per pass) or parallel Dijkstra searches in C++. " + EXACT
    + " Weighted totals are summed by Python's own sum() in NetworkX's order."
)

# The smallest work worth handing to fennel, per family: (graph already
# converted, graph still to convert). Measured by bench/thresholds.py as the
# crossover of fennel's call (NetworkX's dispatch included) with NetworkX's
# own run, on one representative call per family.
WORK_BETWEENNESS = (1200, 1200)
WORK_BFS = (400, 12000)
WORK_DIJKSTRA = (200, 400)
WORK_DFS = (200, 400)
WORK_ALL_PAIRS = (5000, 5000)
WORK_STATS = (250, 250)
WORK_LINK = (0, 0)
# Link prediction over every non-edge (bench/thresholds.py, jaccard_coefficient).
WORK_LINK_PREDICTION = (32, 74)
WORK_COMPONENTS = (1300, 20000)
WORK_DIRECTED = (100, 200)
WORK_CORES = (75, 150)
WORK_TRIANGLES = (150, 150)
WORK_COLOURING = (150, 300)
WORK_SPANNING = (30, 75)
# NetworkX's blossoms cost O(n^3) Python steps: fennel wins from 4 nodes on.
WORK_BLOSSOMS = (0, 0)
# is_maximal_matching: NetworkX's validation loop on both sides, its pass over G.edges in C++.
WORK_MAXIMALITY = (700, 3000)
# Both sides run NetworkX's node sets in Python; only the matching itself is fennel's.
WORK_BIPARTITE_MATCHING = (82000, 82000)
WORK_NEIGHBOUR_DEGREES = (160, 10300)
WORK_MIXING = (12, 32)
WORK_RICH_CLUB = (32, 160)


# Shapes of calls whose work NetworkX bounds by what they reach.
def always(a):
    return True


def with_cutoff(a):
    return a["cutoff"] is not None


def with_depth_limit(a):
    return a["depth_limit"] is not None


def with_pair(a):
    return a["source"] is not None and a["target"] is not None


def with_target_or_cutoff(a):
    return a["target"] is not None or a["cutoff"] is not None


def with_one_node(a):
    """A per-node measure asked for one node: NetworkX reads only its neighbourhood."""
    return a["nodes"] is not None and a["nodes"] in a["G"]


# Every declaration, in the order the rooms were imported.
DECLARED = []

_EMPTY = inspect.Parameter.empty
_GRAPHS = (nx.Graph, FennelGraph)


def _binder(name, params):
    """A function of the body's parameters that returns them by name.

    CPython's own argument binding (a tenth of a pure-Python bind's cost, and
    its TypeError for arguments that do not fit), the dict made by locals().
    """
    params = list(params)
    written, keywords_only = [], False
    for i, p in enumerate(params):
        if p.kind is p.VAR_KEYWORD and i == len(params) - 1:
            # NetworkX's extra keywords, handed on as one dict (the flow functions').
            written.append(f"**{p.name}")
            continue
        if p.kind in (p.VAR_POSITIONAL, p.VAR_KEYWORD, p.POSITIONAL_ONLY):
            raise TypeError(f"{name}: a served function's parameters are named, without * or ** but a last **")
        if p.kind is p.KEYWORD_ONLY and not keywords_only:
            written.append("*")
            keywords_only = True
        written.append(p.name if p.default is _EMPTY else f"{p.name}=_defaults[{p.name!r}]")
    namespace = {"_defaults": {p.name: p.default for p in params if p.kind is not p.VAR_KEYWORD}}
    exec(f"def {name}({', '.join(written)}):\n    return locals()\n", namespace)
    return namespace[name]


class Fallback:
    """A constructor's call left to NetworkX: the reason, and arguments given in place of the caller's."""

    __slots__ = ("reason", "arguments")

    def __init__(self, reason, **arguments):
        self.reason = reason
        self.arguments = arguments


class Served:
    """How fennel serves one NetworkX function; made by ``served`` from its declaration.

    ``rules`` and ``data_rules`` name rules of ``checks.ARGUMENT_RULES`` and
    ``checks.DATA_RULES``: refusals decided from the arguments alone, and
    refusals that read the converted graph. A rule that applies only to some
    forms of a call reads the arguments and decides itself. ``weight``: the
    parameter naming the edge attribute to convert. ``per_source``: the work
    is one search per source (``k`` of them, or every node) rather than one
    search. ``min_work``: the smallest work (searches times ``n + adjacency
    entries``) worth handing to fennel, for a graph already converted and
    for one still to convert (see ``interface.should_run``). ``bounded``:
    given the arguments, whether NetworkX's work is bounded by the part of
    the graph the call reaches (a target, a cutoff, a depth limit) rather
    than the whole graph: such calls never pay for converting a graph. An
    int (not a bool) is the count of items asked for (an ebunch's pairs):
    true when nonzero, and below ``interface.FEW_ITEMS`` left to NetworkX
    on a converted graph too.
    ``release``: why the installed NetworkX keeps the function for itself,
    or None. ``keeps_attributes``: results are cut from the source graph with
    its own data dicts, so NetworkX converts the graph preserving every
    attribute; only the ``weight`` parameter's default is converted then.
    ``constructor``: a graph constructor (no graph argument), which serves
    any arguments, answering with NetworkX's own graph where it cannot build
    an identical fennel graph. ``answers``: exceptions other than NetworkX's
    own by which NetworkX answers about the graph or the data (``max()`` of
    an empty graph's core numbers, a zero sum): fennel ran when its body
    raises them. ``dispatched``: whether the installed NetworkX dispatches
    this very function under this name (it is also False when NetworkX has
    no dispatchable of the name); one it does not is refused, and never
    called.
    """

    __slots__ = (
        "name", "module", "docs", "weight", "rules", "data_rules", "per_source", "min_work", "bounded", "release",
        "keeps_attributes", "constructor", "answers", "dispatched", "body", "run", "_checks", "_data_checks", "_names",
        "_defaults", "_binder", "graph", "extra",
    )

    def __init__(self, body, docs, *, rules, data_rules, weight, per_source, min_work, bounded, release,
                 keeps_attributes, constructor, answers, dispatched):
        self.name = body.__name__
        self.module = body.__module__
        self.docs = docs
        self.body = body
        self.rules = tuple(rules)
        self.data_rules = tuple(data_rules)
        self._checks = tuple(ARGUMENT_RULES[rule] for rule in self.rules)
        self._data_checks = tuple(DATA_RULES[rule] for rule in self.data_rules)
        self.weight = weight
        self.per_source = per_source
        self.min_work = min_work
        self.bounded = bounded
        self.keeps_attributes = keeps_attributes
        self.constructor = constructor
        self.answers = tuple(answers)
        params = list(inspect.signature(body).parameters.values())
        # NetworkX's extra keywords (``**kwargs``), bound as one dict under their name.
        self.extra = params[-1].name if params and params[-1].kind is params[-1].VAR_KEYWORD else None
        self._names = tuple(p.name for p in params if p.name != self.extra)
        self._defaults = {p.name: p.default for p in params if p.name != self.extra}
        self._binder = _binder(self.name, params)
        if weight is not None and weight not in self._defaults:
            raise TypeError(f"{self.name} has no parameter {weight!r}")
        # The graph parameter: G, or NetworkX's own name for it (flowG).
        self.graph = self._names[0] if self._names else None
        if not constructor and self.graph not in ("G", "flowG"):
            raise TypeError(f"{self.name}: a served function takes the graph first, as G")
        # NetworkX's dispatchables by name: a served name the installed
        # release lacks, or gives another function, is never called.
        registered = getattr(nx.utils.backends, "_registered_algorithms", None)
        self.dispatched = dispatched and (registered is None or self.name in registered)
        if release is None and not self.dispatched:
            release = "this NetworkX version dispatches it under another name"
        self.release = release

    def networkx(self):
        """NetworkX's own implementation, past its dispatcher."""
        return nx.utils.backends._registered_algorithms[self.name].orig_func

    @property
    def default_attribute(self):
        """The attribute converted for a call that keeps the source graph's attributes, or None."""
        return None if self.weight is None else self._defaults[self.weight]

    def bind(self, args, kwargs):
        """The arguments by parameter name, in the signature's order, defaults filled in."""
        return self._binder(*args, **kwargs)

    def attributes(self, a):
        """The edge attributes the call needs converted."""
        weight = None if self.weight is None else a[self.weight]
        return () if weight is None else (weight,)

    def argument_problem(self, a):
        if self.release is not None:
            return self.release  # whatever the arguments
        G = a[self.graph]
        if not isinstance(G, _GRAPHS):
            return f"cannot convert {type(G).__name__}"
        for rule in self._checks:
            if reason := rule(a):
                return reason
        return None

    def data_problem(self, fg, a):
        for rule in self._data_checks:
            if reason := rule(fg, a):
                return reason
        return None


def _refuse(name, reason):
    record("refused", name, reason)
    raise NotImplementedError(reason)


def _graph_function(served):
    body, name, bind, attributes = served.body, served.name, served.bind, served.attributes
    argument_problem, data_problem = served.argument_problem, served.data_problem
    answers = (nx.NetworkXException, *served.answers)
    graph, extra = served.graph, served.extra

    def run(*args, **kwargs):
        a = bind(args, kwargs)
        if reason := argument_problem(a):
            _refuse(name, reason)
        fg = as_fennel(a[graph], attributes(a))
        if reason := data_problem(fg, a):
            _refuse(name, reason)
        a[graph] = fg
        if extra is not None:
            a.update(a.pop(extra))
        token = CALL.set(name)
        try:
            result = body(**a)
        except answers as exc:
            # NetworkX's answer about the graph (no path, no convergence, a
            # null graph, ...) is fennel's answer too; an unknown node is the
            # caller's error.
            if not isinstance(exc, nx.NodeNotFound):
                record("ran", name)
            raise
        finally:
            CALL.reset(token)
        record("ran", name)
        return result

    return run


def _constructor(served):
    body, name, bind, names = served.body, served.name, served.bind, served._names

    def run(*args, **kwargs):
        result = body(**bind(args, kwargs))
        if type(result) is not Fallback:
            record("ran", name)
            return result
        record("refused", name, result.reason)
        if result.arguments:
            kwargs = {**dict(zip(names, args)), **kwargs, **result.arguments}
            args = ()
        return served.networkx()(*args, **kwargs)

    return run


def served(*, docs, rules=(), data_rules=(), weight=None, per_source=False, min_work=(0, 0), bounded=None,
           release=None, keeps_attributes=False, constructor=False, answers=(), dispatched=True):
    """Declares the decorated function served (see ``Served`` for the fields)."""

    def declare(body):
        record_ = Served(
            body, docs, rules=rules, data_rules=data_rules, weight=weight, per_source=per_source,
            min_work=min_work, bounded=bounded, release=release, keeps_attributes=keeps_attributes,
            constructor=constructor, answers=answers, dispatched=dispatched,
        )
        run = (_constructor if constructor else _graph_function)(record_)
        run.__name__ = run.__qualname__ = record_.name
        run.__module__ = record_.module
        run.__doc__ = body.__doc__
        run.__wrapped__ = body
        run.served = record_
        record_.run = run
        DECLARED.append(record_)
        return run

    return declare
