"""Highest-label preflow-push (NetworkX's preflowpush module), the default flow
function of the maximum-flow and minimum-cut functions.

The capacities are read as flow.py reads them for build_residual_network;
the core builds R with NetworkX's row orders and runs preflow_push_impl step
by step: the levels' active and inactive sets are CPython's set tables
replayed from the nodes' hashes (which node ``arbitrary_element`` picks
follows them), each node's current edge walks its R.succ row, and excesses
and flows follow Python's int and float arithmetic. R comes back with the
node attributes NetworkX leaves, each 'curr_edge' one of NetworkX's own
CurrentEdge objects standing where NetworkX's stands.
"""

from array import array
from itertools import islice

import networkx as nx
from networkx.algorithms.flow import preflow_push as _nx_preflow_push
from networkx.algorithms.flow.utils import CurrentEdge
from networkx.classes.coreviews import AtlasView

from .checks import argument_rule
from .connectivity import CONNECTIVITY_FLOW_FUNCS
from .flow import (_NX37, _RELEASE, FLOW_FUNCS, WANT_FLOWS, FlowFunc, capacities, into_residual, network,
                   number_problem, orig)
from .serve import EXACT, served

_INF = float("inf")
WANT_RESIDUAL = 4  # the flow room's WANT_* codes, then R itself
_DONE, _UNBOUNDED, _FAILED = range(3)


def _freq_problem(freq):
    return number_problem(freq, "global_relabel_freq", "a global_relabel_freq")


def _value_only_problem(value_only):
    return None if type(value_only) in (bool, int) or value_only is None else "value_only must be a bool"


@argument_rule("relabel_freq")
def _relabel_freq(a):
    return _freq_problem(a["global_relabel_freq"]) or _value_only_problem(a["value_only"])


def preflow_push_keywords(extra):
    """Why preflow_push's keywords from a maximum-flow function are left to NetworkX, or None."""
    if set(extra) - {"residual", "global_relabel_freq"}:
        return "keywords other than residual and global_relabel_freq are left to NetworkX"
    if extra.get("residual") is not None:
        return "a residual network given by the caller is left to NetworkX"
    return _freq_problem(extra.get("global_relabel_freq", 1))


def _hashes(G):
    """hash() of each node as int64 bytes, kept with the conversion."""
    found = G.__dict__.get("_node_hashes")
    if found is None:
        found = G.__dict__["_node_hashes"] = array("q", map(hash, G.nodes)).tobytes()
    return found


def _nx_answer(G, s, t, capacity, freq, value_only):
    """NetworkX's own run, where the core met a step NetworkX fails on."""
    orig = nx.utils.backends._registered_algorithms["preflow_push"].orig_func
    return orig(G.source, s, t, capacity, None, freq, value_only)


def _run(G, s, t, capacity, freq, value_only, want):
    """preflow_push_impl's checks, then the core's run: (flow_value, status, what `want` asks for)."""
    if s not in G:
        raise nx.NetworkXError(f"node {str(s)} not in graph")
    if t not in G:
        raise nx.NetworkXError(f"node {str(t)} not in graph")
    if s == t:
        raise nx.NetworkXError("source and sink are the same node")
    if freq is None:
        freq = 0
    if freq < 0:
        raise nx.NetworkXError("global_relabel_freq must be nonnegative.")
    if G.multigraph:
        raise nx.NetworkXError("MultiGraph and MultiDiGraph not supported (yet).")
    codes, values, objects, inf = capacities(G, capacity)
    index = G.index
    value, status, rest = G.core.preflow(
        codes, values, float(inf), type(inf) is float, index[s], index[t], _hashes(G), float(freq),
        bool(value_only), want, G.node_tuple, objects, inf, network=network(G, capacity),
    )
    if status == _UNBOUNDED:
        raise nx.NetworkXUnbounded("Infinite capacity path, flow unbounded above.")
    return value, status, rest


def run_preflow_push(G, s, t, capacity, extra, want):
    """preflow_push for a maximum-flow function: (flow_value, what `want` asks for). NetworkX asks
    for value_only=True everywhere but in maximum_flow."""
    value_only = want != WANT_FLOWS
    freq = extra.get("global_relabel_freq", 1)
    value, status, rest = _run(G, s, t, capacity, freq, value_only, want)
    if status == _FAILED:
        _nx_answer(G, s, t, capacity, freq, value_only)  # raises NetworkX's error
        raise RuntimeError("the core met a failing step where NetworkX met none")
    return value, rest


def _current_edge(row, position):
    """NetworkX's CurrentEdge over R.succ[u] (an AtlasView of the row, its items a generator), moved on
    `position` times."""
    edge = CurrentEdge(AtlasView(row))
    if position:
        it = iter(edge._edges.items())
        edge._curr = next(islice(it, position, None))
        edge._it = it
    return edge


@served(docs="NetworkX's residual network and highest-label preflow-push replayed in C++: its levels' sets as "
             "CPython's set tables from the nodes' hashes, its current edges, global relabelling and gap "
             "heuristic, over Python's int and float arithmetic; R rebuilt with the same dicts and node "
             "attributes. " + EXACT,
        rules=("capacity_name", "caller_residual", "relabel_freq"), data_rules=("keys", "flow_ends", "flow_capacities"),
        release=_RELEASE, keeps_attributes=_NX37)
def preflow_push(G, s, t, capacity="capacity", residual=None, global_relabel_freq=1, value_only=False):
    def networkx():
        return orig("preflow_push", G, s, t, capacity, residual, global_relabel_freq, value_only)

    return into_residual(residual, lambda: _preflow_push(G, s, t, capacity, global_relabel_freq, value_only, networkx),
                         networkx)


def _preflow_push(G, s, t, capacity, global_relabel_freq, value_only, networkx):
    value, status, rest = _run(G, s, t, capacity, global_relabel_freq, value_only, WANT_RESIDUAL)
    if status == _FAILED:
        return networkx()
    (succ, pred), (excess, height, current) = rest
    nodes = G.nodes
    R = nx.DiGraph()
    R.__networkx_cache__ = None
    if height is None:  # t out of reach: only the excesses were set
        R._node.update(zip(nodes, ({"excess": x} for x in excess)))
    else:
        R._node.update(
            (u, {"excess": x, "height": h, "curr_edge": _current_edge(row, p)})
            for u, x, h, row, p in zip(nodes, excess, height, succ, current)
        )
    R._succ.update(zip(nodes, succ))
    R._pred.update(zip(nodes, pred))
    R.graph["inf"] = capacities(G, capacity)[3]
    R.graph["flow_value"] = value
    R.graph["algorithm"] = "preflow_push"
    return R


FLOW_FUNCS[_nx_preflow_push] = FlowFunc(frozenset({"global_relabel_freq"}), preflow_push_keywords, run_preflow_push)
# The connectivity functions run it as Edmonds–Karp: value_only's preflow
# leaves no excess where t can be reached, so the nodes reaching t in its
# residual network are those of every maximum flow.
CONNECTIVITY_FLOW_FUNCS.add(_nx_preflow_push)
