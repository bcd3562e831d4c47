// Reciprocity counts of a directed graph (NetworkX's reciprocity).
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// For one node: len(set(pred)) + len(set(succ)) and len(pred & succ), a
// self-loop counted in both sets and in their overlap, as NetworkX's sets
// hold the node itself.
struct ReciprocityCount {
    Count total = 0;
    Count overlap = 0;
};

// The counts of each of `nodes`, in parallel.
Result<std::vector<ReciprocityCount>> reciprocity_counts(const Csr& out, const Csr& in,
                                                         const std::vector<Node>& nodes);

// The ordered pairs (u, v), u != v, with both u -> v and v -> u: NetworkX's
// (number_of_edges - to_undirected().number_of_edges()) * 2.
Result<Count> reciprocated_pairs(const Csr& out, const Csr& in);

}  // namespace fennel
