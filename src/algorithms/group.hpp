// NetworkX's group centralities (group.py): the counts and sums behind
// group_degree_centrality (and its in/out forms) and
// group_closeness_centrality.
#pragma once

#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <span>
#include <vector>

namespace fennel {

// len(set().union(*[set(neighbours(i)) for i in S]) - set(S)), the
// neighbours read from `rows` (out-rows, or in-rows for G.reverse()).
std::size_t group_degree(const Csr& rows, std::span<const Node> group);

// The sum of multi_source_dijkstra_path_length(G, S) over the nodes not in
// S that it reaches, along `view` (the reversed graph for a directed G).
// The callers make every distance an integer and their sum exact, so the
// order of the sum does not matter. NaN weights are hidden edges.
__int128 group_distance_total(const GraphView& view, std::span<const Node> group);

}  // namespace fennel
