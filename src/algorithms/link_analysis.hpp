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

// NetworkX's adjacency_matrix(G, nodelist=list(G), dtype=float) in scipy's
// canonical form: row u holds its columns ascending (an undirected
// self-loop once, as w + w - w comes out), and the same entries by column,
// each column's rows ascending.
struct AdjacencyRows {
    Csr rows;
    std::vector<double> row_values;
    Csr cols;
    std::vector<double> col_values;
};
Result<AdjacencyRows> adjacency_rows(const CoreGraph& g, const std::vector<double>* weights);

// HITS by NetworkX 3.7's power iteration: a = h @ A, h = A @ a, h /= max(h)
// until the numpy sum of |h - hlast| falls below tol. Hubs and authorities
// by position, normalised as NetworkX does; nullopt when max_iter steps do
// not converge.
struct HitsScores {
    std::vector<double> hubs;
    std::vector<double> authorities;
};
Result<std::optional<HitsScores>> hits_power(const AdjacencyRows& a, std::vector<double> h, std::uint64_t max_iter,
                                             double tol, bool normalized);

}  // namespace fennel
