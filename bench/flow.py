"""fennel's maximum flows and flow-based connectivity against NetworkX (and
igraph's maximum flow value), from one run.

Rows:

* maximum_flow_value and minimum_cut_value with each of NetworkX's flow
  functions (None: preflow_push, its default; edmonds_karp,
  shortest_augmenting_path, dinitz, boykov_kolmogorov) on a random digraph
  (100,000 nodes, 500,000 edges, seeded), with int capacities 1..100 and
  with float capacities (the same ints / 7); s is the node of largest
  out-degree, t the one of largest in-degree;
* each flow function called directly on the same graph (int capacities),
  its whole residual network rebuilt; beside them NetworkX's
  build_residual_network alone, the first step of each of NetworkX's own;
* all_pairs_node_connectivity on a connected Watts–Strogatz graph (200 nodes,
  k=6, p=0.3), fennel at 1 and at 2 worker threads.

--quick: 2,000 nodes and 10,000 edges, and 40 nodes for the connectivity.

Columns: NetworkX; fennel's first call (conversion and capacity reading
included); fennel's call on the converted graph (its capacities read
once, kept with the conversion); igraph's maxflow_value where installed, on its own
graph built beforehand; NetworkX / fennel converted. Every time is one run.
"equal": fennel's answer compared with NetworkX's by ``==`` and, for the
residual network, by its nodes, succ and pred rows in order and every data
dict; fennel is checked to have run (its call counter).
"""

import random
import time

import cli
import networkx as nx
from networkx.algorithms.flow import (boykov_kolmogorov, build_residual_network, dinitz, edmonds_karp,
                                     preflow_push, shortest_augmenting_path)

from fennel.backend import calls


def flow_graph(n, m, seed=1):
    rng = random.Random(seed)
    G = nx.gnm_random_graph(n, m, seed=seed, directed=True)
    for _, _, d in G.edges(data=True):
        d["capacity"] = rng.randint(1, 100)
    return G


def ends(G):
    s = max(G, key=G.out_degree)
    t = max((v for v in G if v != s), key=G.in_degree)
    return s, t


def timed(call):
    t = time.perf_counter()
    result = call()
    return time.perf_counter() - t, result


def residual_picture(R):
    return (list(R._node), [(u, list(row.items())) for u, row in R._succ.items()],
            [(v, list(row.items())) for v, row in R._pred.items()], R.graph)


def print_row(label, cells, ratio, equal):
    text = "".join(f"{'-' if t is None else f'{t:.4f}':>12}" for t in cells)
    print(f"{label:<46}{text}{'-' if ratio is None else f'{ratio:.1f}':>10}{'yes' if equal else 'NO':>7}",
          flush=True)


def flow_row(label, name, call, G, peer=None, same=lambda a, b: a == b, t_nx=None, expected=None):
    if t_nx is None:
        t_nx, expected = timed(lambda: call(G, backend="networkx"))
    G.__networkx_cache__.clear()
    before = calls["ran", name]
    t_first, first = timed(lambda: call(G, backend="fennel"))
    t_cached, got = timed(lambda: call(G, backend="fennel"))
    ran = calls["ran", name] - before == 2
    equal = ran and same(first, expected) and same(got, expected)
    print_row(label, [t_nx, t_first, t_cached, None if peer is None else timed(peer)[0]], t_nx / t_cached, equal)


def igraph_maxflow(G, s, t):
    igraph = cli.peer("igraph")
    if igraph is None:
        return None
    index = {v: i for i, v in enumerate(G)}
    g = igraph.Graph(n=len(G), edges=[(index[u], index[v]) for u, v in G.edges], directed=True)
    capacities = [d["capacity"] for _, _, d in G.edges(data=True)]
    return lambda: g.maxflow_value(index[s], index[t], capacity=capacities)


def main():
    args = cli.parser(__doc__, "2,000 nodes, 10,000 edges; 40 nodes for the connectivity",
                      optional=("igraph",)).parse_args()
    nx.config.warnings_to_ignore.add("cache")
    n, m, k = (2000, 10000, 40) if args.quick else (100_000, 500_000, 200)
    G = flow_graph(n, m)
    s, t = ends(G)
    F = G.copy()
    for _, _, d in F.edges(data=True):
        d["capacity"] = d["capacity"] / 7
    print(f"{'call':<46}{'NetworkX':>12}{'fennel 1st':>12}{'fennel':>12}{'igraph':>12}{'NX/fen':>10}{'equal':>7}")
    print(f"digraph: {n} nodes, {m} edges, s={s} (out-degree {G.out_degree(s)}), t={t} (in-degree {G.in_degree(t)})")

    flow_funcs = {"default": None, "edmonds_karp": edmonds_karp, "shortest_augmenting_path": shortest_augmenting_path,
                  "dinitz": dinitz, "boykov_kolmogorov": boykov_kolmogorov}
    for name in ("maximum_flow_value", "minimum_cut_value"):
        for label, flow_func in flow_funcs.items():
            for kind, H in (("int", G), ("float", F)):
                def value(H, backend, name=name, flow_func=flow_func):
                    return getattr(nx, name)(H, s, t, flow_func=flow_func, backend=backend)
                flow_row(f"{name}, {label}, {kind}", name, value, H,
                         igraph_maxflow(H, s, t) if label == "default" else None)

    t_build, _ = timed(lambda: build_residual_network(G, "capacity", backend="networkx"))
    print_row("NetworkX build_residual_network alone", [t_build, None, None, None], None, True)
    for flow_func in (edmonds_karp, preflow_push, shortest_augmenting_path, dinitz, boykov_kolmogorov):
        flow_row(f"{flow_func.__name__} (its residual network)", flow_func.__name__,
                 lambda H, backend, f=flow_func: f(H, s, t, backend=backend), G,
                 same=lambda a, b: residual_picture(a) == residual_picture(b))

    C = nx.connected_watts_strogatz_graph(k, 6, 0.3, seed=3)
    print(f"connectivity graph: {k} nodes, {C.number_of_edges()} edges, {k * (k - 1) // 2} pairs")
    t_nx, expected = timed(lambda: nx.all_pairs_node_connectivity(C, backend="networkx"))
    for threads in (1, 2):
        nx.config.backends.fennel.n_jobs = threads
        flow_row(f"all_pairs_node_connectivity, {threads} thread{'s' * (threads > 1)}",
                 "all_pairs_node_connectivity", nx.all_pairs_node_connectivity, C,
                 same=lambda a, b: a == b and [list(r) for r in a.values()] == [list(r) for r in b.values()],
                 t_nx=t_nx, expected=expected)


if __name__ == "__main__":
    main()
