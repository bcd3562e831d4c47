// Bipartiteness, as NetworkX's is_bipartite decides it, and Hopcroft-Karp
// matchings as NetworkX's bipartite.hopcroft_karp_matching finds them.
#pragma once

#include "graph/core_graph.hpp"

#include <optional>
#include <vector>

namespace fennel {

// Two-colouring by depth-first search over out rows (and back rows).
bool two_colorable(const Csr& out, const Csr* back);

struct BipartiteMatching {
    std::vector<Node> keys;    // NetworkX's dict: the matched left nodes in `left` order,
    std::vector<Node> values;  // then the matched right nodes in `right` order
    // A neighbour of a left node that is not in `right`: NetworkX's lookup
    // rightmatches[u] raises KeyError(u) on the first one its searches meet.
    std::optional<Node> missing;
};

// NetworkX's Hopcroft-Karp over out rows: `left` and `right` in the
// iteration order of NetworkX's two node sets (disjoint positions), the
// breadth-first layering from free left nodes in `left` order, then a
// depth-first augmentation from each free left node in `left` order.
BipartiteMatching hopcroft_karp(const Csr& out, const std::vector<Node>& left, const std::vector<Node>& right);

}  // namespace fennel
