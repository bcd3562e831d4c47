"""fennel's minimum-cost flows against NetworkX, from one run.

Rows: network_simplex, min_cost_flow_cost and min_cost_flow on a random
feasible problem (5,000 nodes and 25,000 edges: a random spanning path plus
random edges, int capacities 1..100 with a fifth missing, int weights 0..100
with ties, the demands those of a random flow within the capacities); then
network_simplex with float capacities and weights (quarters); then
network_simplex on a MultiDiGraph of the same shape. --quick uses 300 nodes
and 1,500 edges.

Columns: NetworkX; fennel's first call (the graph's conversion included);
fennel's call on the converted graph; NetworKit's
SuccessiveShortestPathMinCostFlow where installed, with --quick only (run
alone, on its graph built beforehand; missing capacities given as the total
supply; its cost is checked equal to NetworkX's, its flow is another optimal
one): its successive shortest paths take a path search per unit of supply,
16 s on the quick problem, so the full one is left to NetworkX; NetworkX /
fennel converted. Every time is one run. "equal": fennel's answer compared
with NetworkX's with ==, the flow dict also by its key order (every row,
every key); fennel is checked to have run (its call counter). igraph has no
minimum-cost flow (only maximum flows), so no igraph column.
"""

import random
import time

import cli
import networkx as nx

from fennel.backend import calls


def problem(n, m, *, floats=False, multigraph=False, seed=1):
    rng = random.Random(seed)
    G = nx.MultiDiGraph() if multigraph else nx.DiGraph()
    G.add_nodes_from(range(n))
    order = list(range(n))
    rng.shuffle(order)
    pairs = list(zip(order, order[1:]))
    while len(pairs) < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v:
            pairs.append((u, v))
    excess = [0] * n
    scale = 4.0 if floats else 1
    for u, v in pairs:
        data = {"weight": rng.randint(0, 100) / scale}
        if rng.random() < 0.8:
            data["capacity"] = rng.randint(1, 100) / scale
        G.add_edge(u, v, **data)
        flow = rng.choice([0, 0, int(data.get("capacity", 50))])
        excess[u] -= flow
        excess[v] += flow
    for u, x in enumerate(excess):
        if x:
            G.nodes[u]["demand"] = x / scale if floats else x
    return G


def timed(call):
    t = time.perf_counter()
    result = call()
    return time.perf_counter() - t, result


def same(a, b):
    """== and the same key order throughout (flow dicts nested two or three deep)."""
    if isinstance(a, dict):
        return type(a) is type(b) and list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, tuple):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return type(a) is type(b) and a == b


def networkit_run(G):
    """NetworKit's minimum cost (None when not installed), timed on its own graph."""
    try:
        import networkit
    except ImportError:
        return None, None
    if G.is_multigraph():
        return None, None
    g = networkit.Graph(len(G), weighted=True, directed=True)
    for u, v, w in G.edges(data="weight", default=0):
        g.addEdge(u, v, float(w))
    g.indexEdges()
    total = sum(d for _, d in G.nodes(data="demand", default=0) if d > 0)
    capacity = g.attachEdgeAttribute("capacity", float)
    for u, v, c in G.edges(data="capacity", default=total):
        capacity[u, v] = float(c)
    supply = g.attachNodeAttribute("supply", float)
    for u, d in G.nodes(data="demand", default=0):
        supply[u] = float(-d)
    algo = networkit.flow.SuccessiveShortestPathMinCostFlow(g, "capacity", "supply")
    t, _ = timed(algo.run)
    return t, algo.getTotalCost()


def row(label, name, G, peer=False):
    call = getattr(nx, name)
    t_nx, expected = timed(lambda: call(G, backend="networkx"))
    G.__networkx_cache__.clear()
    before = calls["ran", name]
    t_first, first = timed(lambda: call(G, backend="fennel"))
    t_cached, got = timed(lambda: call(G, backend="fennel"))
    ran = calls["ran", name] - before == 2
    equal = ran and same(first, expected) and same(got, expected)
    t_nk, cost = networkit_run(G) if peer else (None, None)
    if cost is not None and cost != expected[0]:
        t_nk = None
        print(f"NetworKit's cost {cost} differs from NetworkX's {expected[0]}")
    text = "".join(f"{'-' if t is None else f'{t:.4f}':>12}" for t in (t_nx, t_first, t_cached, t_nk))
    print(f"{label:<44}{text}{t_nx / t_cached:>10.1f}{'yes' if equal else 'NO':>7}", flush=True)


def main():
    args = cli.parser(__doc__, "300 nodes and 1,500 edges", ("networkit",)).parse_args()
    nx.config.warnings_to_ignore.add("cache")
    n, m = (300, 1500) if args.quick else (5000, 25000)
    G = problem(n, m)
    F = problem(n, m, floats=True)
    M = problem(n, m, multigraph=True)
    print(f"{'call':<44}{'NetworkX':>12}{'fennel 1st':>12}{'fennel':>12}{'NetworKit':>12}{'NX/fen':>10}{'equal':>7}")
    print(f"random feasible problem: {n} nodes, {m} edges")
    row("network_simplex (ints)", "network_simplex", G, peer=args.quick)
    row("min_cost_flow_cost (ints)", "min_cost_flow_cost", G)
    row("min_cost_flow (ints)", "min_cost_flow", G)
    row("network_simplex (floats)", "network_simplex", F, peer=args.quick)
    row("network_simplex (MultiDiGraph, ints)", "network_simplex", M)


if __name__ == "__main__":
    main()
