// Isolates, as NetworkX's isolate module finds them: nodes of degree zero.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// The nodes with no neighbour in `out` nor in `in` (a self-loop is a
// neighbour), in node order: NetworkX's `d == 0` over G.degree().
std::vector<Node> isolated_nodes(const Csr& out, const Csr& in);

}  // namespace fennel
