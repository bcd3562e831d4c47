// Single-source shortest-path lengths (NetworkX's
// single_source_shortest_path_length and single_source_dijkstra_path_length),
// as policies of the shared search engines.
//
// Breadth-first: nodes in discovery order with their hop counts; a node is
// expanded while its level is below the cutoff, and the search ends once
// every node is reached, as `_single_shortest_path_length` does.
//
// Dijkstra: nodes in settle order with their distances
// (`_dijkstra_multisource` without paths or target): the cutoff filter comes
// before the contradiction check, and an edge that would shorten a settled
// node is NetworkX's "Contradictory paths found" (negative weights).
#pragma once

#include "algorithms/search.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace fennel {

struct BfsLengths {
    std::vector<Node> order;
    std::vector<std::uint32_t> levels;
};

// Levels are expanded while level < cutoff (any real cutoff; NaN expands
// nothing).
BfsLengths bfs_lengths(const Csr& rows, Node source, double cutoff);

struct DijkstraLengths {
    std::vector<Node> order;
    std::vector<double> dist;
};

// Fails with NegativeCycle when an edge would shorten a settled node.
Result<DijkstraLengths> dijkstra_lengths(const PathAdj& view, Count n, Node source, std::optional<double> cutoff);

}  // namespace fennel
