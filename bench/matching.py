"""fennel's matchings against NetworkX, igraph and NetworKit, from one run.

Rows:

* max_weight_matching and min_weight_matching on a random graph (a random
  spanning path plus random edges, 5,000 nodes and 15,000 edges, int weights
  1..100: many ties), and max_weight_matching with maxcardinality=True;
* bipartite.hopcroft_karp_matching on a random bipartite graph (20,000 + 20,000
  nodes, 120,000 edges, top_nodes given).

NetworkX's blossom algorithm takes half a minute or more per call on the full
graph; --quick uses 150
nodes and 450 edges (and 2,000 + 2,000 bipartite nodes).

Columns: NetworkX; fennel's first call (the graph's conversion included);
fennel's call on the converted graph; igraph (maximum_bipartite_matching; it
has no general weighted matching) and NetworKit (SuitorMatcher, a
1/2-approximation of the maximum-weight matching: its time only, not the same
problem) where installed, each on its own graph built beforehand; NetworkX /
fennel converted. Every time is one run. "equal": fennel's answer compared
with NetworkX's with == and in iteration order (list of the set, items of
the dict); fennel is checked to have run (its call counter).
"""

import random
import time

import cli
import networkx as nx

from fennel.backend import calls


def weighted_graph(n, m, seed=1):
    rng = random.Random(seed)
    G = nx.Graph()
    order = list(range(n))
    rng.shuffle(order)
    G.add_nodes_from(range(n))
    for u, v in zip(order, order[1:]):
        G.add_edge(u, v, weight=rng.randint(1, 100))
    edges = n - 1  # counted here: G.number_of_edges() walks every row
    while edges < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v:
            edges += not G.has_edge(u, v)
            G.add_edge(u, v, weight=rng.randint(1, 100))
    return G


def bipartite_graph(half, m, seed=2):
    rng = random.Random(seed)
    G = nx.Graph()
    G.add_nodes_from(range(2 * half))
    edges = 0
    while edges < m:
        u, v = rng.randrange(half), half + rng.randrange(half)
        edges += not G.has_edge(u, v)
        G.add_edge(u, v)
    return G, list(range(half))


def timed(call):
    t = time.perf_counter()
    result = call()
    return time.perf_counter() - t, result


def igraph_of(G):
    try:
        import igraph
    except ImportError:
        return None
    g = igraph.Graph(n=len(G), edges=list(G.edges))
    g.es["weight"] = [d.get("weight", 1) for _, _, d in G.edges(data=True)]
    return g


def networkit_of(G):
    try:
        import networkit
    except ImportError:
        return None
    g = networkit.Graph(len(G), weighted=True)
    for u, v, w in G.edges(data="weight", default=1):
        g.addEdge(u, v, w)
    return g


def row(label, name, call, G, igraph_call=None, networkit_call=None):
    t_nx, expected = timed(lambda: call(G, backend="networkx"))
    G.__networkx_cache__.clear()
    before = calls["ran", name]
    t_first, first = timed(lambda: call(G, backend="fennel"))
    t_cached, got = timed(lambda: call(G, backend="fennel"))
    ran = calls["ran", name] - before == 2
    ordered = (lambda r: list(r.items())) if isinstance(expected, dict) else list
    equal = ran and first == got == expected and ordered(got) == ordered(expected)
    peers = []
    for peer_call in (igraph_call, networkit_call):
        peers.append(None if peer_call is None else timed(peer_call)[0])
    cells = [t_nx, t_first, t_cached, *peers]
    text = "".join(f"{'-' if t is None else f'{t:.4f}':>12}" for t in cells)
    print(f"{label:<44}{text}{t_nx / t_cached:>10.1f}{'yes' if equal else 'NO':>7}", flush=True)


def main():
    args = cli.parser(__doc__, "150 nodes (2,000 + 2,000 bipartite)").parse_args()
    nx.config.warnings_to_ignore.add("cache")
    n, m, half, bm = (150, 450, 2000, 12000) if args.quick else (5000, 15000, 20000, 120000)
    G = weighted_graph(n, m)
    B, top = bipartite_graph(half, bm)
    g, k = igraph_of(G), networkit_of(G)
    gb = igraph_of(B)

    def suitor():
        import networkit
        return networkit.matching.SuitorMatcher(k).run()

    print(f"{'call':<44}{'NetworkX':>12}{'fennel 1st':>12}{'fennel':>12}{'igraph':>12}{'NetworKit':>12}"
          f"{'NX/fen':>10}{'equal':>7}")
    print(f"weighted graph: {n} nodes, {m} edges; bipartite graph: {2 * half} nodes, {bm} edges")
    row("max_weight_matching", "max_weight_matching", nx.max_weight_matching, G, None, suitor if k is not None else None)
    row("max_weight_matching(maxcardinality=True)", "max_weight_matching",
        lambda G, backend: nx.max_weight_matching(G, True, backend=backend), G)
    row("min_weight_matching", "min_weight_matching", nx.min_weight_matching, G)
    types = [v >= half for v in range(2 * half)]
    row("bipartite.hopcroft_karp_matching(top_nodes)", "hopcroft_karp_matching",
        lambda B, backend: nx.bipartite.hopcroft_karp_matching(B, top, backend=backend), B,
        (lambda: gb.maximum_bipartite_matching(types)) if gb is not None else None)


if __name__ == "__main__":
    main()
