// PageRank by power iteration, with every sum formed in the order NetworkX's
// scipy implementation forms it.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

struct PageRankInput {
    double alpha = 0.85;
    std::optional<std::vector<double>> personalization;  // raw, by position
    std::optional<std::vector<double>> nstart;
    std::optional<std::vector<double>> dangling;
    std::uint64_t max_iter = 100;
    double tol = 1e-6;
    // NetworkX 3.7 and later: dangling nodes are those whose out-weights sum
    // to zero, and their mass is a numpy sum. Earlier releases: those whose
    // inverse sum is zero (an infinite sum too), summed left to right.
    bool numpy_dangling = false;
};

// NetworkX's scipy PageRank: the scores by position, or nullopt when the
// iteration does not converge within max_iter steps. `weights` is aligned
// with succ, `in_weights` with the in-rows (nullptr both: unweighted).
Result<std::optional<std::vector<double>>> walk_ranks(const CoreGraph& g, const std::vector<double>* weights,
                                                      const std::vector<double>* in_weights, const PageRankInput& in);


}  // namespace fennel
