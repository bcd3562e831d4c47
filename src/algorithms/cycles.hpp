// Cycles, as NetworkX's cycles module finds them: the cycle basis.
#pragma once

#include "graph/core_graph.hpp"

#include <optional>
#include <vector>

namespace fennel {

// NetworkX's cycle_basis (Paton's spanning-tree walk) over undirected rows:
// components start at `root` first, then at the last node in node order not
// yet reached; a walk pops its stack from the top, and each non-tree edge
// closes a cycle [nbr, z, pred[z], ...] up to the first node nbr has seen.
// Cycle c is nodes[bounds[c]:bounds[c + 1]].
struct CycleLists {
    std::vector<Node> nodes;
    std::vector<Node> bounds{0};
};
Result<CycleLists> paton_cycles(const Csr& adj, std::optional<Node> root);

}  // namespace fennel
