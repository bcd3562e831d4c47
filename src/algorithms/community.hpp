// Community detection, as NetworkX's label_propagation_communities runs it.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

// Final labels of NetworkX's label_propagation_communities visiting `order`
// (a permutation of every position; labels start as positions).
Result<std::vector<Node>> label_propagation(const Csr& out, const std::vector<Node>& order);

}  // namespace fennel
