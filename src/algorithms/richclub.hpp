// NetworkX's rich-club coefficient (richclub.py): the counts behind
// _compute_rc, and double_edge_swap's randomisation of G.copy() replayed
// draw for draw from the caller's Mersenne Twister state.
#pragma once

#include "algorithms/py_random.hpp"
#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// _compute_rc's terms for d = 0, 1, ...: nk, the number of nodes of degree
// above d (while above 1), and ek, the number of edges both of whose ends
// have degree above d (what its pops from the sorted (k1, k2) list leave).
// `rows` is a simple undirected graph without self-loops.
struct RichClubTerms {
    std::vector<std::int64_t> nk;
    std::vector<std::int64_t> ek;
};
RichClubTerms rich_club_terms(const Csr& rows);

// How double_edge_swap ended.
enum class SwapEnd : std::uint8_t {
    Done,
    TriesExceeded,  // NetworkXAlgorithmError after `tries` attempts
    EmptyChoice,    // random.choice of a node without neighbours (IndexError)
};
struct SwapOutcome {
    SwapEnd end = SwapEnd::Done;
    std::int64_t tries = 0;  // NetworkX's n when it raised
};

// R = G.copy() (rows in the order the copy's add_edges_from makes them),
// then double_edge_swap(R, nswap, max_tries, seed) drawing from `rng`, then
// R's _compute_rc terms in `terms`. `rows`: G's rows in NetworkX's order, a
// simple undirected graph without self-loops, of 4 nodes and 2 edges or
// more.
SwapOutcome randomised_rich_club(const Csr& rows, std::int64_t nswap, std::int64_t max_tries, MersenneTwister& rng,
                                 RichClubTerms& terms);

}  // namespace fennel
