// Topological generations, in the order NetworkX's generator yields them.
#pragma once

#include "algorithms/components.hpp"
#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

struct Generations {
    Components generations;
    bool has_cycle = false;
};

// Kahn's layering over `in` (in-degrees) and succ: nodes enter a generation
// in the order their last incoming edge is removed.
Generations generations(const Csr& succ, const Csr& in);

// In-degrees left after removing the out-edges of `processed` (distinct
// positions below n).
Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed);

}  // namespace fennel
