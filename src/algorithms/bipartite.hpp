// Bipartiteness, as NetworkX's is_bipartite decides it.
#pragma once

#include "graph/core_graph.hpp"

namespace fennel {

// Two-colouring by depth-first search over out rows (and back rows).
bool two_colorable(const Csr& out, const Csr* back);

}  // namespace fennel
