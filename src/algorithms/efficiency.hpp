// Local efficiency (NetworkX's efficiency_measures).
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// global_efficiency(G.subgraph(G[v])) for every node v, in parallel.
// `small` marks the nodes whose subgraph has fewer than two nodes (NetworkX's
// int 0); `value` holds the others' floats.
struct LocalEfficiency {
    std::vector<double> value;
    std::vector<std::uint8_t> small;
};

// `hash`: hash() of each node, for the order in which the subgraph view
// lists its nodes; `filtered`: the length of the node dict that view filters
// (G's, or for a subgraph view G the dict under it).
Result<LocalEfficiency> local_efficiencies(const Csr& rows, const std::vector<std::int64_t>& hash, Count filtered);

}  // namespace fennel
