"""Leiden against NetworkX 3.7's leiden.py: every level's sets compared
element by element in iteration order, exceptions by type and message, and
the seed generator's next draw after the call.

Under NetworkX 3.7 the oracle is the installed NetworkX. NetworkX 3.5 and
3.6 only declare Leiden; there the oracle is NetworkX 3.7 run by another
interpreter, named by FENNEL_NX37_PYTHON (skipped when it is not set), and
graphs with str nodes are compared only when both interpreters hash strings
alike (PYTHONHASHSEED set).
"""

import json
import os
import random
import subprocess
import sys

import networkx as nx
import pytest
from test_backend_traversal import always_run  # noqa: F401 - the fixture applies here too
from zoo import ZOO, add_weights

from fennel.backend import RELEASE_REFUSALS, calls
from fennel.backend import community as room
from fennel.backend.checks import NX_VERSION
from fennel.backend.interface import refusal

pytestmark = [
    pytest.mark.filterwarnings("ignore:Note. conversions to backend graphs"),
    pytest.mark.skipif("leiden_communities" in RELEASE_REFUSALS, reason="this NetworkX has no Leiden"),
]

IN_PROCESS = NX_VERSION >= (3, 7)
OTHER_PYTHON = os.environ.get("FENNEL_NX37_PYTHON")

# Runs in either interpreter: cases in, [answer, the generator's next draw] out.
RUNNER = r'''
import json, random, sys
import networkx as nx

def node(x):
    return tuple(node(y) for y in x["t"]) if isinstance(x, dict) else x

def graph(case):
    G = getattr(nx, case["cls"])()
    G.add_nodes_from(node(u) for u in case["nodes"])
    G.add_edges_from((node(u), node(v), d) for u, v, d in case["edges"])
    return G

def run(case, functions, **extra):
    rng = random.Random(case["seed"])
    try:
        got = functions[case["mode"]](graph(case), seed=rng, **case["kwargs"], **extra)
        got = [[list(c) for c in p] for p in got] if case["mode"] == "partitions" else [list(c) for c in got]
    except Exception as e:
        got = ["raised", type(e).__name__, str(e)]
    return [got, rng.random()]

if __name__ == "__main__":
    functions = {"partitions": nx.community.leiden_partitions, "communities": nx.community.leiden_communities}
    json.dump([run(case, functions) for case in json.load(sys.stdin)], sys.stdout)
'''
runner = {}
exec(compile(RUNNER, "leiden_runner", "exec"), runner)


def encode(u):
    return {"t": [encode(x) for x in u]} if isinstance(u, tuple) else u


def has_str(G):
    return any(isinstance(u, str) or (isinstance(u, tuple) and any(isinstance(x, str) for x in u)) for u in G)


def case(G, mode="partitions", seed=0, **kwargs):
    return {
        "cls": type(G).__name__, "nodes": [encode(u) for u in G], "seed": seed, "mode": mode, "kwargs": kwargs,
        "edges": [[encode(u), encode(v), d] for u, v, d in G.edges(data=True)], "str": has_str(G),
    }


def _cases():
    cases = {}
    for name, G in ZOO.items():
        for flavour in ("int", "missing"):
            H = add_weights(G, flavour, seed=len(name))
            cases[f"{name}-{flavour}-cpm"] = case(H, seed=1, metric="cpm", resolution=0.05)
            cases[f"{name}-{flavour}-modularity"] = case(H, seed=2, metric="modularity")
        cases[f"{name}-unweighted-cpm-int-resolution"] = case(G, mode="communities", seed=3, metric="cpm",
                                                              resolution=1, weight=None, theta=1)
    karate = ZOO["karate"]
    for seed in range(4):
        cases[f"karate-seed{seed}-theta0.1"] = case(karate, seed=seed, metric="modularity", theta=0.1, resolution=0.7)
    cases["karate-max-level-1"] = case(karate, mode="communities", metric="modularity", max_level=1)
    cases["karate-max-level-0"] = case(karate, mode="communities", metric="modularity", max_level=0)
    cases["karate-unknown-metric"] = case(karate, metric="surprise")
    cases["karate-barber"] = case(karate, metric="barber_modularity")
    cases["digraph-barber"] = case(ZOO["digraph"], metric="barber_modularity")
    cases["empty-unknown-metric"] = case(nx.empty_graph(3), metric="surprise")
    # Large sets: resized tables, set differences by copying, long queues.
    for n, directed in ((600, False), (400, True)):
        G = nx.gnm_random_graph(n, 6 * n, seed=n, directed=directed)
        G = nx.relabel_nodes(G, {u: (u % 7, u) for u in G})
        G = add_weights(G, "int", seed=n)
        kind = "directed" if directed else "undirected"
        cases[f"gnm{n}-{kind}-tuples-cpm"] = case(G, seed=5, metric="cpm", resolution=0.02)
        cases[f"gnm{n}-{kind}-tuples-modularity"] = case(G, seed=6, metric="modularity", resolution=1.5)
    # Sets whose dummies the next insertion reuses (CPython takes the last
    # one its probe meets before a free slot).
    cases["ba2000-modularity-dummy-reuse"] = case(nx.barabasi_albert_graph(2000, 5, seed=1), seed=1,
                                                  metric="modularity")
    caves = nx.relabel_nodes(nx.connected_caveman_graph(12, 15), lambda u: 10**12 + 3 * u)
    cases["caveman-big-ints-modularity"] = case(caves, seed=7, metric="modularity")
    return cases


CASES = _cases()


def networkx37_answers(cases):
    """NetworkX 3.7's answer to each case, by id (those it can compare)."""
    if IN_PROCESS:
        functions = {"partitions": nx.community.leiden_partitions, "communities": nx.community.leiden_communities}
        return {k: json.loads(json.dumps(runner["run"](c, functions, backend="networkx"))) for k, c in cases.items()}
    if not OTHER_PYTHON:
        pytest.skip("NetworkX 3.7 is not installed here: set FENNEL_NX37_PYTHON to an interpreter that has it")
    hash_seed = os.environ.get("PYTHONHASHSEED", "random")
    cases = {k: c for k, c in cases.items() if hash_seed != "random" or not c["str"]}
    done = subprocess.run([OTHER_PYTHON, "-c", RUNNER], input=json.dumps(list(cases.values())), text=True,
                          capture_output=True, check=True, env={**os.environ, "PYTHONHASHSEED": hash_seed})
    return dict(zip(cases, json.loads(done.stdout)))


@pytest.fixture(scope="module")
def networkx37():
    return networkx37_answers(CASES)


def fennel_answer(c):
    """fennel's answer: through NetworkX's dispatch, except for the directed
    graphs NetworkX 3.5/3.6 reject before dispatching (then the served
    function itself, with NetworkX's rejection checked)."""
    name = "leiden_" + c["mode"]
    if not IN_PROCESS and "Di" in c["cls"]:
        with pytest.raises(nx.NetworkXNotImplemented):
            getattr(nx.community, name)(runner["graph"](c), backend="fennel")
        functions = {"partitions": room.leiden_partitions, "communities": room.leiden_communities}
        return runner["run"](c, functions)
    before = calls["ran", name]
    functions = {"partitions": nx.community.leiden_partitions, "communities": nx.community.leiden_communities}
    got = runner["run"](c, functions, backend="fennel")
    assert calls["ran", name] == before + 1
    return got


@pytest.mark.parametrize("key", list(CASES))
def test_leiden_equals_networkx37(networkx37, key):
    if key not in networkx37:
        pytest.skip("str hashes differ between the two interpreters (PYTHONHASHSEED unset)")
    assert json.loads(json.dumps(fennel_answer(CASES[key]))) == networkx37[key]


def test_metric_default_follows_the_release():
    """NetworkX 3.5/3.6 document Leiden as modularity optimisation: there a
    call naming no metric is 3.7's metric="modularity", theta=0.01 call."""
    plain = {**CASES["karate-seed0-theta0.1"], "kwargs": {}}
    named = {**plain, "kwargs": {} if IN_PROCESS else {"metric": "modularity"}}
    expected = networkx37_answers({"named": named})["named"]
    assert json.loads(json.dumps(fennel_answer(plain))) == expected


def test_partitions_are_lazy():
    rng = random.Random(4)
    state = rng.getstate()
    levels = nx.community.leiden_partitions(ZOO["karate"], seed=rng, backend="fennel", metric="modularity")
    assert rng.getstate() == state
    first = next(levels)
    assert rng.getstate() != state
    assert sorted(u for c in first for u in c) == list(range(34))


def test_draws_follow_the_generator_methods():
    """Every draw goes through the caller's generator: shuffle once per
    level, choices once per merge, with NetworkX's arguments."""
    made = []

    class Recording(random.Random):
        def shuffle(self, x):
            made.append(("shuffle", len(x)))
            return super().shuffle(x)

        def choices(self, population, weights=None, **kw):
            made.append(("choices", list(population), list(weights)))
            return super().choices(population, weights=weights, **kw)

    levels = list(nx.community.leiden_partitions(ZOO["les_miserables"], seed=Recording(9), backend="fennel",
                                                 metric="modularity", weight=None))
    assert [m for m in made if m[0] == "shuffle"][0] == ("shuffle", 77)
    assert sum(m[0] == "shuffle" for m in made) == len(levels)
    draws = [m for m in made if m[0] == "choices"]
    assert draws and all(max(w) == 1.0 and len(p) == len(w) for _, p, w in draws)


class OwnRandom(random.Random):
    """random.Random's choices over its own random(), which the core must call for every draw."""

    draws = 0

    def random(self):
        self.draws += 1
        return super().random() ** 1.5


class OwnChoices(OwnRandom):
    """The same draws through random.Random.choices itself, run in Python."""

    def choices(self, population, weights=None, **kw):
        return super().choices(population, weights=weights, **kw)


@pytest.mark.parametrize("kwargs", [
    {"metric": "cpm", "resolution": 0.05, "weight": "weight"},
    {"metric": "cpm", "resolution": 0.05, "weight": None, "theta": 3},
    {"metric": "modularity", "resolution": 1, "weight": "weight", "theta": 0.3},
], ids=["cpm-weighted", "cpm-int-theta", "modularity"])
@pytest.mark.parametrize("name", ["les_miserables", "karate"])
def test_core_draws_equal_random_choices(name, kwargs):
    """The refinement's draws made in the core pick what random.Random.choices picks, one random() each."""
    G = add_weights(ZOO[name], "int", seed=5)
    for seed in range(3):
        ours, theirs = OwnRandom(seed), OwnChoices(seed)
        got = list(nx.community.leiden_partitions(G, seed=ours, backend="fennel", **kwargs))
        expected = list(nx.community.leiden_partitions(G, seed=theirs, backend="fennel", **kwargs))
        assert [[list(c) for c in p] for p in got] == [[list(c) for c in p] for p in expected]
        assert ours.draws == theirs.draws > 0
        assert ours.random() == theirs.random()


def refused(G, **kwargs):
    """The reason fennel gives for leaving a call to NetworkX."""
    with pytest.raises(NotImplementedError) as info:
        nx.community.leiden_communities(G, seed=1, backend="fennel", **kwargs)
    return str(info.value.__cause__ or info.value)


@pytest.mark.parametrize("flavour, reason", [
    ("float", "not Python ints"), ("mixed", "not Python ints"), ("none", "None"), ("zero", "zero"),
])
def test_weights_fennel_refuses(flavour, reason):
    G = add_weights(ZOO["karate"], flavour, seed=3)
    if flavour == "zero":
        for _, _, d in G.edges(data=True):
            d["weight"] = 0
    assert reason in refused(G, metric="modularity")


def test_negative_huge_weights_and_odd_theta_are_refused():
    G = add_weights(ZOO["karate"], "int")
    G.add_edge(0, 1, weight=-1)
    assert "negative" in refused(G)
    G.add_edge(0, 1, weight=2**50)
    assert "2**53" in refused(G, metric="modularity")
    G.add_edge(0, 1, weight=1)
    assert "theta" in refusal("leiden_partitions", (G,), {"theta": "0.1"})
    assert refusal("leiden_partitions", (G,), {"theta": 1}) is None
