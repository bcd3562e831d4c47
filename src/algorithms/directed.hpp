// Strongly connected components and topological generations, in the orders
// NetworkX's generators yield them.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

using Components = std::vector<std::vector<Node>>;

// Tarjan's algorithm as NetworkX runs it: depth-first over succ rows from
// each unvisited node in position order; components in the order their roots
// finish, each listing its root and then the members as they leave the
// component stack. With `shortcut` (NetworkX 3.7 on), the search stops once
// every node is visited and the current node links to the tree's root: the
// last component is then the component stack bottom to top followed by the
// open frames bottom to top.
Components strongly_connected_components(const Csr& succ, bool shortcut);

struct Generations {
    Components generations;
    bool has_cycle = false;
};

// Kahn's layering over `in` (in-degrees) and succ: nodes enter a generation
// in the order their last incoming edge is removed.
Generations topological_generations(const Csr& succ, const Csr& in);

// In-degrees left after removing the out-edges of `processed` (distinct
// positions below n).
Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed);

}  // namespace fennel
