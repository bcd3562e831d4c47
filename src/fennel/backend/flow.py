"""Maximum flows (NetworkX's flow package): Edmonds–Karp and the maximum-flow
and minimum-cut functions run with it.

The capacities are read here as ``build_residual_network`` reads them (each
edge of ``G.edges`` once, ``attr.get(capacity, inf)``, self-loops and
capacities not above 0 left out) and ``R.graph['inf']`` is Python's own
``3 * sum(...) or 1`` over them; the C++ core builds R with the same row
orders, runs ``edmonds_karp_core`` step by step and hands back what each
function returns. Capacities are Python ints and floats, mixed too: the core
carries each number's type through NetworkX's arithmetic (an int stays an int
until a float joins it), exact while ints stay below 2**53.
"""

from array import array
from itertools import islice
from typing import Callable, NamedTuple

import networkx as nx
from networkx.algorithms.flow.utils import CurrentEdge
from networkx.algorithms.flow import edmonds_karp as _nx_edmonds_karp
from networkx.algorithms.flow import preflow_push as _nx_preflow_push

from .checks import NX_VERSION, EXACT_INT_LIMIT, argument_rule, data_rule
from .graph import _VALUE_OF_KIND, lookup_problem
from .serve import EXACT, served

# Followed on every release fennel admits. NetworkX 3.7 reads each capacity
# through a capacity function (a None capacity hides the edge), asks for every
# edge attribute on conversion (the capacities are read from the source graph
# here either way) and finds minimum_cut's sink side by a search of its own
# (the edges with flow below capacity, its set grown by insertions).
_RELEASE = None
_NX37 = NX_VERSION >= (3, 7)

_INF = float("inf")
# NetworkX's flow functions the core runs inside other algorithms, with the
# code it knows each by (gomory_hu_tree and the disjoint paths choose theirs
# from here): the ones whose residual rows, not only their cut, are replayed.
CORE_FLOWS = {_nx_edmonds_karp: 0}
# What the core hands back besides the flow value (see CoreGraph.max_flow).
WANT_VALUE, WANT_FLOWS, WANT_CUT, WANT_SPARE_CUT = range(4)
# Codes of the edges of G.edges in R.
_DROPPED, _INT, _FLOAT, _INFINITE = range(4)
# Float capacities whose inf, doubled, stays finite.
_FLOAT_LIMIT = 2.0**1000


def number_problem(x, name, beyond):
    """Why a flow function's numeric keyword `name` is left to NetworkX, or None: None, floats and ints
    up to 2**53 (`beyond` names the others in the reason) are followed."""
    if x is None or type(x) is float:
        return None
    if type(x) in (int, bool):
        return None if abs(x) <= EXACT_INT_LIMIT else f"{beyond} beyond 2**53 is left to NetworkX"
    return f"{name} must be None, an int or a float"


def _cutoff_problem(cutoff):
    return number_problem(cutoff, "cutoff", "an int cutoff")


@argument_rule("flow_cutoff")
def _flow_cutoff(a):
    return _cutoff_problem(a["cutoff"])


@argument_rule("capacity_name")
def _capacity_name(a):
    if type(a["capacity"]) is str:
        return None
    if callable(a["capacity"]):
        return "a capacity function is left to NetworkX"
    return "capacity must be an attribute name (a str)"


@argument_rule("own_residual")
def _own_residual(a):
    return None if a["residual"] is None else "a residual network given by the caller is left to NetworkX"


@argument_rule("caller_residual")
def _caller_residual(a):
    """A flow function given R does not build one from G, so it never meets build_residual_network's
    multigraph error: that is left to NetworkX."""
    if a["residual"] is not None and a["G"].is_multigraph():
        return "a residual network with a multigraph is left to NetworkX"
    return None


def orig(name, G, *args, **kwargs):
    """NetworkX's own `name` on the source graph."""
    return nx.utils.backends._registered_algorithms[name].orig_func(G.source, *args, **kwargs)


class FlowFunc(NamedTuple):
    """How the maximum-flow functions run one of NetworkX's flow functions: the keywords it takes
    besides cutoff and residual, a rule over their values (None or a reason), and
    ``run(G, s, t, capacity, kwargs, want)`` -> (flow_value, what `want` asks for)."""

    keywords: frozenset
    rule: Callable[[dict], str | None]
    run: Callable


# NetworkX's flow functions the maximum-flow functions are served with; each
# flow room adds its own.
FLOW_FUNCS = {}


@argument_rule("served_flow_func")
def _served_flow_func(a):
    """The maximum-flow functions are served when they run a flow function of FLOW_FUNCS, with its keywords."""
    flow_func, extra = a["flow_func"], a["kwargs"]
    if flow_func is None:
        if extra:
            return "keywords without a flow_func are left to NetworkX (it raises)"
        flow_func = _nx_preflow_push
    entry = FLOW_FUNCS.get(flow_func) if callable(flow_func) else None
    if entry is None:
        names = ", ".join(sorted(f.__name__ for f in FLOW_FUNCS))
        return f"flow functions other than {names} are left to NetworkX"
    if set(extra) - {"cutoff", "residual"} - entry.keywords:
        return f"keywords other than cutoff, residual{''.join(', ' + k for k in sorted(entry.keywords))} are left to NetworkX"
    if extra.get("residual") is not None:
        return "a residual network given by the caller is left to NetworkX"
    return _cutoff_problem(extra.get("cutoff")) or entry.rule(extra)


def _capacity_edges(fg, capacity):
    """G.edges(data=capacity, default=inf) as NetworkX lists it, without building a
    native graph's dicts (its values rebuilt with their kinds)."""
    if not fg.native:
        return fg.source.edges(data=capacity, default=_INF)
    nodes = fg.nodes
    us, vs, ids = fg.core.edges_in_order()
    for name, values, kinds in fg.core.native_edges()[2]:
        if name == capacity:
            return ((nodes[u], nodes[v], _VALUE_OF_KIND[kinds[e]](values[e]) if kinds[e] else _INF)
                    for u, v, e in zip(us, vs, ids))
    return ((nodes[u], nodes[v], _INF) for u, v in zip(us, vs))


def read_capacities(fg, capacity):
    """(codes, values, objects, inf) of build_residual_network over G.edges, or the reason it cannot be followed.

    ``codes`` (bytes) and ``values`` (double bytes) go to the core, one entry
    per edge of G.edges; ``objects`` holds the capacity objects R keeps;
    ``inf`` is R.graph['inf'].
    """
    if not fg.native and (reason := lookup_problem(fg.source)):
        return reason
    codes = bytearray()
    values = []
    objects = []
    finite = []
    has_int = False
    for u, v, c in _capacity_edges(fg, capacity):
        # A self-loop (its ends equal, if not the same object) is not in R
        # and its capacity is never read.
        if u is v or u == v:
            if u != v:
                return "a self-loop on a node unequal to itself is left to NetworkX"
            codes.append(_DROPPED)
            values.append(0.0)
            objects.append(c)
            continue
        kind = type(c)
        if kind is float:
            if c == _INF:
                code = _INFINITE
            elif c > 0:
                code = _FLOAT
                finite.append(c)
            else:
                code = _DROPPED  # 0, below 0, NaN
        elif kind is int:
            if c > 0:
                code = _INT
                finite.append(c)
                has_int = True
            else:
                code = _DROPPED
        elif c is None and _NX37:
            code = _DROPPED  # hidden: not in R, not in inf's sum
        else:
            return f"{capacity!r} capacities of type {kind.__name__} are left to NetworkX"
        codes.append(code)
        values.append(c if code == _INT or code == _FLOAT else 0.0)
        objects.append(c)
    # NetworkX's own sum, in its order (compensated from CPython 3.12 on, as there).
    inf = 3 * sum(finite) or 1
    if type(inf) is float and not inf <= _FLOAT_LIMIT:
        return f"the {capacity!r} capacities sum beyond 2**1000 / 3"
    if (has_int or type(inf) is int) and 6 * (len(fg) + 2) * inf > EXACT_INT_LIMIT:
        return f"int {capacity!r} capacities could make flows beyond 2**53"
    return bytes(codes), array("d", values).tobytes(), objects, inf


def capacities(fg, capacity):
    """read_capacities of a converted graph, read once per attribute and kept with the conversion
    (as its converted columns are: NetworkX drops the conversion when G changes)."""
    kept = fg.__dict__.setdefault("_flow_capacities", {})
    found = kept.get(capacity)
    if found is None:
        found = kept[capacity] = read_capacities(fg, capacity)
    return found


def network(fg, capacity):
    """The core's residual network of fg with these capacities, built on first use and kept with the
    conversion (the runs only read it)."""
    kept = fg.__dict__.setdefault("_flow_networks", {})
    found = kept.get(capacity)
    if found is None:
        codes, values, _, inf = capacities(fg, capacity)
        found = kept[capacity] = fg.core.flow_network(codes, values, float(inf), type(inf) is float)
    return found


@data_rule("flow_capacities")
def _flow_capacities(fg, a):
    if fg.multigraph:
        return None  # NetworkX raises its error
    found = capacities(fg, a["capacity"])
    return found if isinstance(found, str) else None


@data_rule("flow_ends")
def _flow_ends(fg, a):
    """s and t unequal yet one node (a node unequal to itself) are left to NetworkX."""
    s, t = (a["s"], a["t"]) if "s" in a else (a["_s"], a["_t"])
    if s in fg and t in fg and not s == t and fg.index[s] == fg.index[t]:
        return "a source or sink unequal to itself is left to NetworkX"
    return None


def _check_ends(G, s, t):
    """edmonds_karp_impl's checks, then build_residual_network's."""
    if s not in G:
        raise nx.NetworkXError(f"node {str(s)} not in graph")
    if t not in G:
        raise nx.NetworkXError(f"node {str(t)} not in graph")
    if s == t:
        raise nx.NetworkXError("source and sink are the same node")
    if G.multigraph:
        raise nx.NetworkXError("MultiGraph and MultiDiGraph not supported (yet).")


def _edmonds_karp_run(G, s, t, capacity, kwargs, want):
    """NetworkX's checks, then the core's Edmonds–Karp: (flow_value, what `want` asks for)."""
    _check_ends(G, s, t)
    codes, values, _, inf = capacities(G, capacity)
    index = G.index
    cutoff = kwargs.get("cutoff")
    value, unbounded, rest = G.core.max_flow(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        _INF if cutoff is None else float(cutoff), want, network=network(G, capacity),
    )
    if unbounded:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return value, rest


FLOW_FUNCS[_nx_edmonds_karp] = FlowFunc(frozenset(), lambda kwargs: None, _edmonds_karp_run)


def _run(G, s, t, capacity, flow_func, kwargs, want):
    """The maximum-flow functions' run of flow_func (None: preflow_push, NetworkX's default)."""
    return FLOW_FUNCS[_nx_preflow_push if flow_func is None else flow_func].run(G, s, t, capacity, kwargs, want)


_RESIDUAL_DOCS = (
    "NetworkX's residual network built in C++ with its row orders, Edmonds–Karp's bidirectional searches and "
    "augmentations replayed step by step over Python's int and float arithmetic; R rebuilt with the same dicts. "
)


@served(docs=_RESIDUAL_DOCS + EXACT,
        rules=("capacity_name", "caller_residual", "flow_cutoff"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def edmonds_karp(G, s, t, capacity="capacity", residual=None, value_only=False, cutoff=None):
    return into_residual(residual, lambda: _edmonds_karp(G, s, t, capacity, cutoff),
                         lambda: orig("edmonds_karp", G, s, t, capacity, residual, value_only, cutoff))


def _edmonds_karp(G, s, t, capacity, cutoff):
    _check_ends(G, s, t)
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, unbounded, rows = G.core.residual_network(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        _INF if cutoff is None else float(cutoff), G.node_tuple, objects, inf, network=network(G, capacity),
    )
    if unbounded:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return residual_graph(G, rows, inf, value, "edmonds_karp")


def moved_edge(row, position):
    """CurrentEdge(row) moved on `position` times (row: R.succ[u], a view of the row)."""
    edge = CurrentEdge(row)
    if position:
        it = iter(row.items())
        edge._curr = next(islice(it, position, None))
        edge._it = it
    return edge


def _same_network(R, ours):
    """Whether the caller's R is the residual network `ours` was run on: its nodes, succ and pred rows
    in order, one dict per edge shared by both rows, the same capacities and inf (flows and node
    attributes an earlier run left are reset or overwritten by NetworkX's run)."""
    if type(R) is not nx.DiGraph or type(R._succ) is not dict or type(R._pred) is not dict:
        return False
    if type(R._node) is not dict or list(R._node) != list(ours._node):
        return False
    inf = R.graph.get("inf")
    if type(inf) is not type(ours.graph["inf"]) or inf != ours.graph["inf"]:
        return False
    pred = R._pred
    for (u, row), ours_row, ours_pred in zip(R._succ.items(), ours._succ.values(), ours._pred.values()):
        if type(row) is not dict or list(row) != list(ours_row) or list(pred[u]) != list(ours_pred):
            return False
        for (v, d), theirs in zip(row.items(), ours_row.values()):
            c = d.get("capacity") if type(d) is dict else None
            if type(c) is not type(theirs["capacity"]) or c != theirs["capacity"] or pred[v].get(u) is not d:
                return False
    return True


def into_residual(residual, run, networkx):
    """A flow function's answer: ``run()`` (a run over a fresh residual network) without a residual
    network from the caller. NetworkX runs on the caller's very R, resets its flows and returns it:
    where R is the network ``run()`` was made on, the run's flows, node attributes and graph attributes
    are written into R's own dicts as NetworkX writes them and R is returned; otherwise, and where
    the run raises (NetworkX's changes R before it raises), ``networkx()`` (NetworkX's own run)
    answers."""
    if residual is None:
        return run()
    try:
        ours = run()
    except Exception:  # noqa: BLE001 - NetworkX's run raises it again, with R changed as it leaves it
        return networkx()
    if not _same_network(residual, ours):
        return networkx()
    for row, ours_row in zip(residual._succ.values(), ours._succ.values()):
        for d, theirs in zip(row.values(), ours_row.values()):
            d["flow"] = theirs["flow"]
    succ = residual.succ
    for (u, data), (ours_u, ours_data) in zip(residual._node.items(), ours._node.items()):
        if not ours_data:
            continue
        data.update(ours_data)
        edge = ours_data.get("curr_edge")
        if edge is not None:
            # The current edge walks the caller's row, from the same place.
            place = list(ours._succ[ours_u]).index(edge._curr[0]) if hasattr(edge, "_curr") else 0
            data["curr_edge"] = moved_edge(succ[u], place)
    residual.graph.update((k, v) for k, v in ours.graph.items() if k != "inf")
    return residual


def residual_graph(G, rows, inf, value, algorithm):
    """R as build_residual_network and a flow function leave it: its dicts made in C++, same orders and values."""
    succ, pred = rows
    nodes = G.nodes
    R = nx.DiGraph()
    R.__networkx_cache__ = None
    R._node.update(zip(nodes, ({} for _ in nodes)))
    R._succ.update(zip(nodes, succ))
    R._pred.update(zip(nodes, pred))
    R.graph["inf"] = inf
    R.graph["flow_value"] = value
    R.graph["algorithm"] = algorithm
    return R


_FLOW_DOCS = (
    "Served with flow_func=None (preflow_push), preflow_push, edmonds_karp, shortest_augmenting_path, dinitz "
    "or boykov_kolmogorov: NetworkX's residual network and the flow function's pushes or augmenting paths "
    "replayed in C++ over Python's int and float arithmetic. "
)


@served(docs=_FLOW_DOCS + "The flow dict keyed as build_flow_dict keys it. " + EXACT,
        rules=("capacity_name", "served_flow_func"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def maximum_flow(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    value, rest = _run(flowG, _s, _t, capacity, flow_func, kwargs, WANT_FLOWS)
    offsets, targets, flows = rest
    nodes = flowG.nodes
    node_of = nodes.__getitem__
    flow_dict = {}
    for u in range(len(nodes)):
        lo, hi = offsets[u], offsets[u + 1]
        flow_dict[nodes[u]] = dict(zip(map(node_of, targets[lo:hi]), flows[lo:hi]))
    return (value, flow_dict)


@served(docs=_FLOW_DOCS + EXACT,
        rules=("capacity_name", "served_flow_func"), data_rules=("flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def maximum_flow_value(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    return _run(flowG, _s, _t, capacity, flow_func, kwargs, WANT_VALUE)[0]


@served(docs=_FLOW_DOCS + "The partition's sets built by NetworkX's insertions (the nodes reaching t in "
             "breadth-first order). " + EXACT,
        rules=("capacity_name", "served_flow_func"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def minimum_cut(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    return cut(flowG, _s, _t, capacity, flow_func, kwargs)


def cut(flowG, s, t, capacity, flow_func, kwargs):
    """minimum_cut's (value, (reachable, non_reachable)), its sets made by NetworkX's insertions."""
    value, reaching = _run(flowG, s, t, capacity, flow_func, kwargs, WANT_SPARE_CUT if _NX37 else WANT_CUT)
    nodes = flowG.nodes
    non_reachable = sink_side(map(nodes.__getitem__, reaching))
    return (value, (set(nodes) - non_reachable, non_reachable))


def sink_side(reaching):
    """minimum_cut's set of the nodes reaching t, given in breadth-first order, built as NetworkX builds it."""
    if _NX37:
        # {_t}, then one add per node found: one insertion at a time.
        return set(reaching)
    # set() of shortest_path_length's dict: sized for the dict first, as CPython does for a dict.
    return set(dict.fromkeys(reaching))


@served(docs=_FLOW_DOCS + EXACT,
        rules=("capacity_name", "served_flow_func"), data_rules=("flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def minimum_cut_value(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    return _run(flowG, _s, _t, capacity, flow_func, kwargs, WANT_VALUE)[0]

