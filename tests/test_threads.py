"""Betweenness does not depend on the worker pool's size or on concurrent callers."""

import json
import os
import random
import subprocess
import sys
import threading

import networkx as nx
import pytest

import fennel._core as core
from test_betweenness import edge_values, nx_betweenness, nx_edge_betweenness
from zoo import ZOO, add_weights, convert

pytestmark = pytest.mark.every_case

BIG_N = 120_000
COMPONENT = 40


def component():
    G = nx.gnp_random_graph(COMPONENT, 0.2, seed=31)
    rng = random.Random(32)
    for _, _, d in G.edges(data=True):
        d["weight"] = rng.choice([0.25, 0.5, 0.75, 1.0])
    return G


def big_graph():
    """The component plus a matching on ~120k further nodes.

    With this many nodes and edge slots, a batch of sources holds fewer than
    300 of them, so 500 sources take two batches; the searches stay in the
    component and run fast.
    """
    G = component()
    G.add_edges_from((u, u + 1) for u in range(COMPONENT, BIG_N - 1, 2))
    return G


def big_sources():
    return random.Random(33).choices(range(COMPONENT), k=500)


def hexes(values):
    return [float.hex(x) for x in values]


def compute():
    """Every result of interest, as float.hex strings."""
    out = {"module": [core.__file__]}
    for name in ("les_miserables", "digraph_loops_isolates", "multidigraph", "multigraph_loops"):
        G = add_weights(ZOO[name], "float", seed=3)
        g = convert(G, [("weight", 1)])
        for w in (None, "weight"):
            out[f"{name}/{w}/nodes"] = hexes(g.betweenness(w, False))
            out[f"{name}/{w}/endpoints"] = hexes(g.betweenness(w, True))
            out[f"{name}/{w}/edges"] = hexes(g.edge_betweenness(w))
    g = convert(big_graph(), [("weight", 1)])
    for w in (None, "weight"):
        out[f"big/{w}/nodes"] = hexes(g.betweenness(w, False, big_sources()))
        out[f"big/{w}/edges"] = hexes(g.edge_betweenness(w, big_sources()))
    # The backend's all-pairs generators: several batches of parallel searches.
    for name, (G, weight) in all_pairs_graphs().items():
        out[f"{name}/dijkstra"] = [repr(list(nx.all_pairs_dijkstra(G, weight=weight, backend="fennel")))]
        out[f"{name}/bfs"] = [repr(list(nx.all_pairs_shortest_path(G, backend="fennel")))]
        for key, call in distance_calls(G, weight).items():
            out[f"{name}/{key}"] = [repr(call(backend="fennel"))]
    out["pagerank"] = hexes(nx.pagerank(pagerank_graph(), backend="fennel").values())
    return out


def pagerank_graph():
    """Enough nodes for PageRank's parallel updates."""
    return add_weights(nx.gnm_random_graph(25_000, 100_000, seed=37, directed=True), "float", seed=38)


def distance_calls(G, weight):
    """Distance measures over more sources than one bit-parallel chunk and one batch."""
    core_part = G.subgraph(max(nx.strongly_connected_components(G), key=len))
    return {
        "closeness": lambda **kw: nx.closeness_centrality(G, **kw),
        "closeness_weighted": lambda **kw: nx.closeness_centrality(G, distance=weight, **kw),
        "harmonic_weighted": lambda **kw: nx.harmonic_centrality(G, distance=weight, **kw),
        "eccentricity": lambda **kw: nx.eccentricity(core_part, weight=weight, **kw),
        "average_weighted": lambda **kw: nx.average_shortest_path_length(core_part, weight=weight, **kw),
        "lengths": lambda **kw: list(nx.all_pairs_dijkstra_path_length(G, weight=weight, **kw)),
    }


def all_pairs_graphs():
    G = add_weights(nx.gnp_random_graph(300, 0.01, seed=34, directed=True), "float", seed=35)
    return {"apsp_float": (G, "weight"), "apsp_int": (add_weights(G, "int", seed=36), "weight")}


def run_python(script, **env_vars):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("RAYON_", "FENNEL_"))}
    env.update(env_vars, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    return json.loads(proc.stdout.splitlines()[-1])


COMPUTE = "import json, test_threads; print(json.dumps(test_threads.compute()))"


@pytest.fixture(scope="module")
def results_by_pool_size():
    return {k: run_python(COMPUTE, RAYON_NUM_THREADS=str(k)) for k in (1, 4)}


def test_pool_size_does_not_change_results(results_by_pool_size):
    one, four = results_by_pool_size[1], results_by_pool_size[4]
    assert one["module"] == [core.__file__]
    assert one.keys() == four.keys()
    for key in one:
        assert one[key] == four[key], key


def test_many_batches_match_networkx(results_by_pool_size):
    C = component()  # the searches never leave it
    g = convert(big_graph(), [("weight", 1)])
    sources = big_sources()
    for w in (None, "weight"):
        nodes = nx_betweenness(C, sources, w) + [0.0] * (BIG_N - COMPONENT)
        edge_bc = nx_edge_betweenness(C, sources, w)
        edges = edge_values(C, convert(C), edge_bc) + [0.0] * (g.number_of_edges() - len(edge_bc))
        # The reference is sensitive to the order of the sources.
        assert nx_betweenness(C, sources[::-1], w) != nodes[:COMPONENT]
        for k in (1, 4):
            assert results_by_pool_size[k][f"big/{w}/nodes"] == hexes(nodes), (k, w)
            assert results_by_pool_size[k][f"big/{w}/edges"] == hexes(edges), (k, w)


def test_all_pairs_match_networkx(results_by_pool_size):
    for name, (G, weight) in all_pairs_graphs().items():
        for k in (1, 4):
            assert results_by_pool_size[k][f"{name}/dijkstra"] == [repr(list(nx.all_pairs_dijkstra(G, weight=weight)))]
            assert results_by_pool_size[k][f"{name}/bfs"] == [repr(list(nx.all_pairs_shortest_path(G)))]
            for key, call in distance_calls(G, weight).items():
                assert results_by_pool_size[k][f"{name}/{key}"] == [repr(call())], key


def test_parallel_pagerank_matches_networkx(results_by_pool_size):
    expected = hexes(nx.pagerank(pagerank_graph()).values())
    for k in (1, 4):
        assert results_by_pool_size[k]["pagerank"] == expected


def test_concurrent_python_threads():
    G = add_weights(ZOO["les_miserables"], "float", seed=5)
    g = convert(G, [("weight", 1)])

    def work():
        return (g.betweenness(), g.betweenness("weight", True), g.edge_betweenness("weight"), g.edge_betweenness())

    expected = work()
    assert expected[0] == nx_betweenness(G, list(G))
    barrier = threading.Barrier(8)
    got = [None] * 8

    def run(i):
        barrier.wait()
        got[i] = [work() for _ in range(5)]

    threads = [threading.Thread(target=run, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(runs == [expected] * 5 for runs in got)


POOL_PROBE = """
import json, os
from zoo import ZOO, convert
g = convert(ZOO["karate"])
before = len(os.listdir("/proc/self/task"))
bc = g.betweenness()
print(json.dumps({"workers": len(os.listdir("/proc/self/task")) - before,
                  "cpus": os.sysconf("SC_NPROCESSORS_ONLN"), "bc": [float.hex(x) for x in bc]}))
"""

CPUS = os.cpu_count() or 1
POOL_ENVS = {
    "fennel_num_threads_3": ({"FENNEL_NUM_THREADS": "3", "RAYON_NUM_THREADS": "1"}, 3),
    "num_threads_3": ({"RAYON_NUM_THREADS": "3"}, 3),
    "num_threads_0_means_cpus": ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": str(CPUS + 3)}, None),
    "rs_num_cpus": ({"RAYON_RS_NUM_CPUS": str(CPUS + 3)}, CPUS + 3),
    "unparsable_num_threads": ({"RAYON_NUM_THREADS": "four", "RAYON_RS_NUM_CPUS": "5"}, 5),
    "rs_num_cpus_0": ({"RAYON_RS_NUM_CPUS": "0"}, None),
    "unset": ({}, None),
}


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="counts threads through /proc")
@pytest.mark.parametrize("case", list(POOL_ENVS))
def test_pool_size_from_environment(case):
    env, threads = POOL_ENVS[case]
    probe = run_python(POOL_PROBE, **env)
    # The calling thread works too: the pool starts one worker fewer.
    assert probe["workers"] == (threads or probe["cpus"]) - 1
    G = ZOO["karate"]
    assert probe["bc"] == hexes(nx_betweenness(G, list(G)))
