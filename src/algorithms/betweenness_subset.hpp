// NetworkX's betweenness for subsets of nodes (betweenness_subset.py):
// betweenness_centrality_subset and edge_betweenness_centrality_subset,
// before rescaling.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

// One unscaled sum per node position: _accumulate_subset over the sources
// in list order (repeats count again), `is_target` flagging set(targets).
Result<std::vector<double>> betweenness_subset(const GraphView& g, std::span<const Node> sources,
                                               const std::vector<std::uint8_t>& is_target);

// One unscaled sum per edge, in edges_in_order order: _accumulate_edges_subset.
Result<std::vector<double>> edge_betweenness_subset(const GraphView& g, std::span<const Node> sources,
                                                    const std::vector<std::uint8_t>& is_target);

}  // namespace fennel
