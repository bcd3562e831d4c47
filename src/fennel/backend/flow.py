"""Maximum flows (NetworkX's flow package): Edmonds–Karp, and the maximum-flow
and minimum-cut functions run with the flow functions of FLOW_FUNCS.

The capacities are read here as ``build_residual_network`` reads them (each
edge of ``G.edges`` once, ``attr.get(capacity, inf)``, self-loops and
capacities not above 0 left out) and ``R.graph['inf']`` is Python's own
``3 * sum(...) or 1`` over them; the C++ core builds R with the same row
orders, runs ``edmonds_karp_core`` step by step and hands back what each
function returns. Capacities are Python ints and floats, mixed too: the core
carries each number's type through NetworkX's arithmetic (an int stays an int
until a float joins it), exact while ints stay below 2**53.
"""

import importlib
from array import array

import networkx as nx
from networkx.algorithms.flow import edmonds_karp as _nx_edmonds_karp
from networkx.algorithms.flow import preflow_push as _nx_preflow_push

from .checks import NX_VERSION, EXACT_INT_LIMIT, argument_rule, data_rule
from .graph import lookup_problem
from .serve import EXACT, served

# The flow functions as NetworkX 3.6 computes them.
_RELEASE = None if NX_VERSION == (3, 6) else "NetworkX before 3.6 is not followed" if NX_VERSION < (3, 6) else (
    "NetworkX 3.7 reads capacities through a capacity function and keeps every edge attribute on "
    "conversion: its residual networks are not yet followed")

_INF = float("inf")
# What the core hands back besides the flow value (see CoreGraph.max_flow).
WANT_VALUE, WANT_FLOWS, WANT_CUT = range(3)
# Codes of the edges of G.edges in R.
_DROPPED, _INT, _FLOAT, _INFINITE = range(4)
# Float capacities whose inf, doubled, stays finite.
_FLOAT_LIMIT = 2.0**1000


def _cutoff_problem(cutoff):
    if cutoff is None or type(cutoff) is float:
        return None
    if type(cutoff) in (int, bool):
        return None if abs(cutoff) <= EXACT_INT_LIMIT else "an int cutoff beyond 2**53 is left to NetworkX"
    return "cutoff must be None, an int or a float"


@argument_rule("flow_cutoff")
def _flow_cutoff(a):
    return _cutoff_problem(a["cutoff"])


@argument_rule("capacity_name")
def _capacity_name(a):
    return None if type(a["capacity"]) is str else "capacity must be an attribute name (a str)"


@argument_rule("own_residual")
def _own_residual(a):
    return None if a["residual"] is None else "a residual network given by the caller is left to NetworkX"


def edmonds_karp_keywords(extra):
    """Why Edmonds–Karp's keywords from a maximum-flow function are left to NetworkX, or None."""
    if set(extra) - {"cutoff", "residual"}:
        return "keywords other than cutoff and residual are left to NetworkX"
    if extra.get("residual") is not None:
        return "a residual network given by the caller is left to NetworkX"
    return _cutoff_problem(extra.get("cutoff"))


def run_edmonds_karp(G, s, t, capacity, extra, value_only, want):
    """Edmonds–Karp for a maximum-flow function: (flow_value, what `want` asks for)."""
    return _run(G, s, t, capacity, extra.get("cutoff"), want)[:2]


# The flow functions the maximum-flow functions run here: NetworkX's function
# object -> the room whose ``<name>_keywords(kwargs)`` (a reason to refuse, or
# None) and ``run_<name>(G, s, t, capacity, kwargs, value_only, want)`` serve it.
FLOW_FUNCS = {
    _nx_edmonds_karp: ("flow", "edmonds_karp"),
    _nx_preflow_push: ("preflowpush", "preflow_push"),
}


def _flow_runner(flow_func):
    """(keywords check, run) of a flow function (None: preflow_push, NetworkX's default), or None."""
    if flow_func is None:
        flow_func = _nx_preflow_push
    for func, (room, name) in FLOW_FUNCS.items():
        if func is flow_func:
            module = importlib.import_module(f"{__package__}.{room}")
            return getattr(module, f"{name}_keywords"), getattr(module, f"run_{name}")
    return None


@argument_rule("flow_func")
def _flow_func(a):
    """The maximum-flow functions are served when they run a flow function of FLOW_FUNCS, with its keywords."""
    if a["flow_func"] is None and a["kwargs"]:
        return "keywords without a flow_func are left to NetworkX (it raises)"
    runner = _flow_runner(a["flow_func"])
    if runner is None:
        return "flow functions other than " + ", ".join(f.__name__ for f in FLOW_FUNCS) + " are left to NetworkX"
    return runner[0](a["kwargs"])


def _run_flow_func(G, s, t, capacity, flow_func, kwargs, value_only, want):
    return _flow_runner(flow_func)[1](G, s, t, capacity, kwargs, value_only, want)


def read_capacities(fg, capacity):
    """(codes, values, objects, inf) of build_residual_network over G.edges, or the reason it cannot be followed.

    ``codes`` (bytes) and ``values`` (double bytes) go to the core, one entry
    per edge of G.edges; ``objects`` holds the capacity objects R keeps;
    ``inf`` is R.graph['inf'].
    """
    G = fg.source
    if reason := lookup_problem(G):
        return reason
    codes = bytearray()
    values = []
    objects = []
    finite = []
    has_int = False
    for u, v, c in G.edges(data=capacity, default=_INF):
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
        else:
            return f"{capacity!r} capacities of type {kind.__name__} are left to NetworkX"
        if u is v:
            if u != v:
                return "a self-loop on a node unequal to itself is left to NetworkX"
            if code == _INT or code == _FLOAT:
                finite.pop()
            code = _DROPPED
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


def _run(G, s, t, capacity, cutoff, want):
    """NetworkX's checks, then the core's run: (flow_value, what `want` asks for, the capacities read)."""
    _check_ends(G, s, t)
    read = capacities(G, capacity)
    codes, values, _, inf = read
    index = G.index
    value, unbounded, rest = G.core.max_flow(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        _INF if cutoff is None else float(cutoff), want,
    )
    if unbounded:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return value, rest, read


_RESIDUAL_DOCS = (
    "NetworkX's residual network built in C++ with its row orders, Edmonds–Karp's bidirectional searches and "
    "augmentations replayed step by step over Python's int and float arithmetic; R rebuilt with the same dicts. "
)


@served(docs=_RESIDUAL_DOCS + EXACT,
        rules=("capacity_name", "own_residual", "flow_cutoff"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE)
def edmonds_karp(G, s, t, capacity="capacity", residual=None, value_only=False, cutoff=None):
    _check_ends(G, s, t)
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, unbounded, rows = G.core.residual_network(
        codes, values, float(inf), type(inf) is float, index[s], index[t],
        _INF if cutoff is None else float(cutoff), G.node_tuple, objects, inf,
    )
    if unbounded:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    # R as build_residual_network and edmonds_karp leave it: its dicts made in C++, same orders and values.
    succ, pred = rows
    nodes = G.nodes
    R = nx.DiGraph()
    R.__networkx_cache__ = None
    R._node.update(zip(nodes, ({} for _ in nodes)))
    R._succ.update(zip(nodes, succ))
    R._pred.update(zip(nodes, pred))
    R.graph["inf"] = inf
    R.graph["flow_value"] = value
    R.graph["algorithm"] = "edmonds_karp"
    return R


_FLOW_DOCS = (
    "Served with flow_func=edmonds_karp or preflow_push (the default): NetworkX's residual network and the "
    "flow function's steps replayed in C++ over Python's int and float arithmetic. "
)


@served(docs=_FLOW_DOCS + "The flow dict keyed as build_flow_dict keys it. " + EXACT,
        rules=("capacity_name", "flow_func"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE)
def maximum_flow(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    value, rest = _run_flow_func(flowG, _s, _t, capacity, flow_func, kwargs, False, WANT_FLOWS)
    offsets, targets, flows = rest
    nodes = flowG.nodes
    node_of = nodes.__getitem__
    flow_dict = {}
    for u in range(len(nodes)):
        lo, hi = offsets[u], offsets[u + 1]
        flow_dict[nodes[u]] = dict(zip(map(node_of, targets[lo:hi]), flows[lo:hi]))
    return (value, flow_dict)


@served(docs=_FLOW_DOCS + EXACT,
        rules=("capacity_name", "flow_func"), data_rules=("flow_ends", "flow_capacities"),
        release=_RELEASE)
def maximum_flow_value(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    return _run_flow_func(flowG, _s, _t, capacity, flow_func, kwargs, True, WANT_VALUE)[0]


@served(docs=_FLOW_DOCS + "The partition's sets built by NetworkX's insertions (the nodes reaching t in "
             "breadth-first order). " + EXACT,
        rules=("capacity_name", "flow_func"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE)
def minimum_cut(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    value, reaching = _run_flow_func(flowG, _s, _t, capacity, flow_func, kwargs, True, WANT_CUT)
    nodes = flowG.nodes
    # set() of shortest_path_length's dict: sized for the dict first, as CPython does for a dict.
    non_reachable = set(dict.fromkeys(map(nodes.__getitem__, reaching)))
    return (value, (set(nodes) - non_reachable, non_reachable))


@served(docs=_FLOW_DOCS + EXACT,
        rules=("capacity_name", "flow_func"), data_rules=("flow_ends", "flow_capacities"),
        release=_RELEASE)
def minimum_cut_value(flowG, _s, _t, capacity="capacity", flow_func=None, **kwargs):
    return _run_flow_func(flowG, _s, _t, capacity, flow_func, kwargs, True, WANT_VALUE)[0]

