"""build_graph speed against a bare Python walk of the same adjacency.

For undirected and directed random graphs of 1,000,000 edges over 200,000
nodes, built in several ways, this prints the conversion time without
attributes and with one weight attribute, each beside the Python loop that
reads as much: a bare walk of the neighbour keys
(``for u, row in G._adj.items(): for v in row: pass``) and a loop that also
reads each edge's weight. All are measured in the same run, each the best of
several repeats, in wall-clock time (``--cpu``: in the process's CPU time,
steadier on a busy machine; worker threads count too).

Graph kinds (``--kinds``):

  ordered      int nodes 0..n-1 inserted in order (what NetworkX's generators make)
  shuffled     int nodes inserted in random order; edges name the node objects
  fresh-int    int nodes in random order; a new int object at every edge end,
               as edge lists (``array.tolist()``), ``read_edgelist(nodetype=int)``
               and DataFrame rows make
  fresh-id     as fresh-int, the nodes being ints spread over 0..2^40 (ids)
  str          str labels in random order; edges name the node objects
  fresh-str    str labels in random order; a new str object at every edge end

With ``--first-calls`` it also times, on the same graphs, NetworkX's own
``single_source_shortest_path_length`` (from the first node) and
``connected_components`` (``strongly_connected_components`` when directed)
against fennel's first call on the graph, conversion included (NetworkX's
cache of converted graphs cleared before each call).

    python bench/conversion.py [--quick] [--cpu] [--first-calls] [--kinds KIND ...]
"""

import random
import sys
import time

import cli
import networkx as nx

import fennel._core as core

EDGES = 1_000_000
NODES = 200_000
REPEATS = 5
KINDS = ("ordered", "shuffled", "fresh-int", "fresh-id", "str", "fresh-str")


def make_graph(kind, directed, n=NODES, m=EDGES, seed=1):
    """A random graph of m edges over n nodes with int weights 1..100, built as `kind` says."""
    rng = random.Random(seed)
    G = nx.DiGraph() if directed else nx.Graph()
    if kind.endswith("str"):
        labels = [f"v{i}" for i in range(n)]
    elif kind == "fresh-id":
        labels = random.Random(seed + 1).sample(range(2**40), n)
    else:
        labels = list(range(n))
    order = list(range(n))
    if kind != "ordered":
        rng.shuffle(order)
    G.add_nodes_from(labels[i] for i in order)
    if kind in ("fresh-int", "fresh-id"):
        def end(i):
            return int(str(labels[i]))
    elif kind == "fresh-str":
        def end(i):
            return f"v{i}"
    else:
        end = labels.__getitem__
    edges = 0
    while edges < m:
        u, v = rng.randrange(n), rng.randrange(n)
        if u != v and not G.has_edge(labels[u], labels[v]):
            G.add_edge(end(u), end(v), weight=rng.randint(1, 100))
            edges += 1
    return G


def random_graph(directed, n=NODES, m=EDGES, seed=1):
    """The ordered graph, which the other benchmarks share."""
    return make_graph("ordered", directed, n, m, seed)


CLOCK = time.perf_counter


def best(fn, repeats=REPEATS):
    times = []
    for _ in range(repeats):
        t = CLOCK()
        fn()
        times.append(CLOCK() - t)
    return min(times)


def bare_walk(adj):
    for u, row in adj.items():
        for v in row:
            pass


def bare_loop(adj):
    for u in adj:
        for v, d in adj[u].items():
            d.get("weight", 1)


def first_calls(G, repeats):
    """(name, NetworkX's time, fennel's first call) for the two calls on G."""
    source = next(iter(G))
    components = nx.strongly_connected_components if G.is_directed() else nx.connected_components
    calls = {
        "single_source_shortest_path_length": lambda b: nx.single_source_shortest_path_length(G, source, backend=b),
        components.__name__: lambda b: list(components(G, backend=b)),
    }
    found = []
    for name, call in calls.items():
        times = {}
        for backend in ("networkx", "fennel"):
            def fresh():
                G.__networkx_cache__.clear()
                call(backend)
            times[backend] = best(fresh, repeats)
        found.append((name, times["networkx"], times["fennel"]))
    return found


def arguments():
    parser = cli.parser(__doc__, "graphs of 100,000 edges over 20,000 nodes, 3 repeats")
    parser.add_argument("--cpu", action="store_true", help="time in process CPU time instead of wall-clock time")
    parser.add_argument("--first-calls", action="store_true",
                        help="also time fennel's first calls (conversion included) against NetworkX's")
    parser.add_argument("--kinds", nargs="+", choices=KINDS, default=list(KINDS), metavar="KIND",
                        help=f"graph kinds to measure (default: all of {', '.join(KINDS)})")
    return parser.parse_args()


def main():
    global CLOCK
    args = arguments()
    n, m, repeats = (20_000, 100_000, 3) if args.quick else (NODES, EDGES, REPEATS)
    CLOCK = time.process_time if args.cpu else time.perf_counter
    clock = "process CPU time" if args.cpu else "wall-clock time"
    print(f"Python {sys.version.split()[0]}, {m:,} edges over {n:,} nodes, best of {repeats} ({clock})")
    print(f"{'graph':<22}{'walk':>9}{'no attr':>10}{'ratio':>8}{'loop':>9}{'weight':>10}{'ratio':>8}")
    calls = []
    for directed in (False, True):
        for kind in args.kinds:
            G = make_graph(kind, directed, n, m)
            nodes = list(G)
            index = {v: i for i, v in enumerate(nodes)}
            walk = best(lambda: bare_walk(G._adj), repeats)
            plain = best(lambda: core.build_graph(nodes, index, G._adj, directed, []), repeats)
            loop = best(lambda: bare_loop(G._adj), repeats)
            weighted = best(lambda: core.build_graph(nodes, index, G._adj, directed, [("weight", 1)]), repeats)
            name = f"{'directed' if directed else 'undirected'} {kind}"
            print(f"{name:<22}{walk:>8.3f}s{plain:>9.3f}s{walk / plain:>7.1f}x"
                  f"{loop:>8.3f}s{weighted:>9.3f}s{loop / weighted:>7.1f}x", flush=True)
            if args.first_calls:
                calls += [(name, *found) for found in first_calls(G, repeats)]
            del G, nodes, index
    if calls:
        print(f"\n{'graph':<22}{'call':<38}{'NetworkX':>9}{'fennel first':>14}{'ratio':>8}")
        for name, call, t_nx, t_fennel in calls:
            print(f"{name:<22}{call:<38}{t_nx:>8.3f}s{t_fennel:>13.3f}s{t_nx / t_fennel:>7.1f}x")


if __name__ == "__main__":
    main()
