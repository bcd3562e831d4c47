// Betweenness centrality: the raw sums of Brandes' accumulation, exactly as
// NetworkX's betweenness_centrality and edge_betweenness_centrality add them.
#pragma once

#include "graph/core_graph.hpp"

#include <span>
#include <vector>

namespace fennel {

// One unscaled sum per node position. Unweighted view: breadth-first mode.
Result<std::vector<double>> betweenness(const GraphView& g, bool endpoints, std::span<const Node> sources);

// One unscaled sum per edge, in edges_in_order order.
Result<std::vector<double>> edge_betweenness(const GraphView& g, std::span<const Node> sources);

// Edge index of every succ slot: the slot itself for directed graphs; for
// undirected graphs the position of its edge in edges_in_order, both
// directions of an edge sharing one index. NO_EDGE where an undirected row
// has no mirror slot.
inline constexpr Slot NO_EDGE = ~Slot{0};
std::vector<Slot> edge_ids(const GraphView& g, Slot& edge_count);

}  // namespace fennel
