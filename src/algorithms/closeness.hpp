// NetworkX's closeness centrality of each requested node, from the distances
// towards it (NetworkX reverses a directed graph first: its reversed copy
// lists each node's in-neighbours in ascending position, which is what the
// predecessor rows hold).
//
// closeness(v) = (r - 1) / t, with r the nodes that reach v (v included) and
// t the sum of their distances; scaled by (r - 1) / (n - 1) with the
// Wasserman-Faust improvement; 0 when t is not positive or n < 2.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

struct ClosenessOptions {
    bool wf_improved = true;
    bool int_weights = false;      // distances are ints: NetworkX's sum is exact
    bool compensated_sum = false;  // float sums as CPython 3.12+'s sum()
};

// `rows` run towards the requested nodes; without a column the search is
// breadth-first (bit-parallel, 64 sources at a time). Fails with
// NegativeCycle as NetworkX's Dijkstra does.
Result<std::vector<double>> closeness(const PathAdj& rows, std::span<const Node> sources,
                                      const ClosenessOptions& options);

// Harmonic centrality as NetworkX accumulates it: for each source in order,
// for each node u its search reaches at a distance d != 0 (settle order, or
// discovery order without a column), sums[u] += 1 / d when u is in the
// nbunch; hit[u] tells whether u received any term (NetworkX then holds a
// float, else its int 0).
struct HarmonicSums {
    std::vector<double> sums;
    std::vector<std::uint8_t> hit;
};

Result<HarmonicSums> harmonic(const PathAdj& rows, std::span<const Node> sources,
                              std::span<const std::uint8_t> in_nbunch);

}  // namespace fennel
