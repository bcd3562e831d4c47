// NetworkX's kernighan_lin_bisection (community.bipartitions, NetworkX 3.6
// on): sweeps that pop the cheapest node of each side from two lazy binary
// heaps, alternately, until one side runs out, then swap the prefix of
// popped pairs whose running total is the least (the first such prefix),
// while that total is negative and sweeps remain.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// One weighted, undirected row per node in G._adj's order. A slot's weight
// is NaN when NetworkX hides the edge (a None weight); `kinds` holds each
// slot's value kind (PY_INT or PY_FLOAT), as sum() meets it.
struct KlRows {
    const Csr* adj = nullptr;
    std::vector<double> weights;
    std::vector<std::uint8_t> kinds;
};

struct KlBisection {
    std::vector<std::uint8_t> side;  // per position: 1 in the second block
    bool empty_sweep = false;        // a sweep found one side empty (NetworkX's min() of no moves)
};

// `side`: the starting block of every position (1: the first block given,
// or the first half of the shuffled nodes). `compensated`: sum() compensates
// float totals (CPython 3.12 on).
Result<KlBisection> kernighan_lin(const KlRows& rows, std::vector<std::uint8_t> side, std::uint64_t max_iter,
                                  bool compensated);

}  // namespace fennel
