"""The rich-club coefficient (NetworkX's richclub module).

_compute_rc's counts come from the core: nk, the nodes of degree above d,
and ek, the edges whose smaller end degree is above d (what its pops from
the sorted degree pairs leave). The normalisation randomises G.copy() with
double_edge_swap: the core replays the copy's row order and every draw of
NetworkX's random.Random (CPython's Mersenne Twister, from the state
getstate() shows, written back afterwards), so the swaps, the generator's
state and the errors are NetworkX's.
"""

import random
from array import array

import networkx as nx

from .checks import NX_VERSION, argument_rule, edge_count
from .serve import EXACT, WORK_RICH_CLUB, served

_NX37 = NX_VERSION >= (3, 7)
_DONE, _TRIES_EXCEEDED, _EMPTY_CHOICE = range(3)
# n_samples' default: 1 from NetworkX 3.7 on; before, a marker telling a
# call that gives it (NetworkX's TypeError) from one that does not.
_SAMPLES = 1 if _NX37 else object()
# Q * E * 10 stays an int64 in the core.
_MAX_TRIES_LIMIT = 2**62


@argument_rule("n_samples")
def _n_samples(a):
    n = a["n_samples"]
    if not _NX37:
        return None if n is _SAMPLES else "NetworkX before 3.7 takes no n_samples"
    return None if type(n) is int else "n_samples must be an int"


@argument_rule("rich_club_q")
def _rich_club_q(a):
    if not a["normalized"]:
        return None
    Q = a["Q"]
    if type(Q) is not int:
        return "a Q other than an int is left to NetworkX"
    if abs(Q) * edge_count(a["G"]) * 10 >= _MAX_TRIES_LIMIT:
        return "Q * E * 10 beyond 2**62 is left to NetworkX"
    return None


@argument_rule("rich_club_seed")
def _rich_club_seed(a):
    # NetworkX 3.7 turns the seed into a generator on every call; earlier
    # releases only in the normalisation's double_edge_swap.
    if not a["normalized"] and not _NX37:
        return None
    try:
        rng = nx.utils.create_py_random_state(a["seed"])
    except ValueError:
        return "a seed NetworkX cannot use is left to it"
    if type(rng) is not random.Random and a["normalized"]:
        return "random generators other than random.Random (numpy's) are left to NetworkX"
    return None


def _rc(terms, edges):
    """_compute_rc's dict from the core's (nk, ek) terms."""
    if edges == 0:
        return {}
    nks, eks = terms
    return {d: 2 * ek / (nk * (nk - 1)) for d, (nk, ek) in enumerate(zip(nks, eks))}


def _randomised(G, nswap, max_tries, rng):
    """_compute_rc of double_edge_swap(G.copy(), nswap, max_tries, seed=rng), rng's state moved on as NetworkX's."""
    if nswap > max_tries:
        raise nx.NetworkXError("Number of swaps > number of tries allowed.")
    if len(G) < 4:
        raise nx.NetworkXError("Graph has fewer than four nodes.")
    edges = G.core.number_of_edges()
    if edges < 2:
        raise nx.NetworkXError("Graph has fewer than 2 edges")
    version, internal, gauss = rng.getstate()
    words = array("q", internal[:624]).tobytes()
    end, tries, terms, after, index = G.core.rich_club_randomised(words, internal[624], nswap, max_tries)
    rng.setstate((version, (*after, index), gauss))
    if end == _TRIES_EXCEEDED:
        raise nx.NetworkXAlgorithmError(
            f"Maximum number of swap attempts ({tries}) exceeded before desired swaps achieved ({nswap})."
        )
    if end == _EMPTY_CHOICE:
        raise IndexError("Cannot choose from an empty sequence")
    return _rc(terms, edges)


@served(docs="_compute_rc's counts in C++; the normalisation's double_edge_swap replayed in C++ draw for draw "
        "from NetworkX's random.Random state. " + EXACT + " numpy random generators are left to NetworkX.",
        rules=("n_samples", "rich_club_q", "rich_club_seed"),
        answers=(ZeroDivisionError, IndexError), min_work=WORK_RICH_CLUB)
def rich_club_coefficient(G, normalized=True, Q=100, seed=None, *, n_samples=_SAMPLES):
    if G.directed:
        raise nx.NetworkXNotImplemented("not implemented for directed type")
    if G.multigraph:
        raise nx.NetworkXNotImplemented("not implemented for multigraph type")
    terms = G.core.rich_club_counts()
    if terms is None:
        raise Exception("rich_club_coefficient is not implemented for graphs with self loops.")
    if _NX37 and normalized and n_samples < 1:
        raise ValueError("n_samples must be >= 1 if 'normalized' = True")
    E = G.core.number_of_edges()
    rc = _rc(terms, E)
    if not normalized:
        return rc
    rng = nx.utils.create_py_random_state(seed)
    if not _NX37:
        rcran = _randomised(G, Q * E, Q * E * 10, rng)
        return {k: v / rcran[k] for k, v in rc.items()}
    averages = {k: 0 for k in rc}
    for _ in range(n_samples):
        rcran = _randomised(G, Q * E, Q * E * 10, rng)
        for deg, coef in rcran.items():
            averages[deg] += coef / n_samples
    for deg, coef in averages.items():
        if coef == 0:
            raise nx.NetworkXError(
                f"Rich-club coefficient normalization failed at degree {deg}. "
                f"The average rich-club coefficient of {n_samples} random "
                f"graphs is zero. Try increasing n_samples."
            )
    return {deg: coef / averages[deg] for deg, coef in rc.items()}
