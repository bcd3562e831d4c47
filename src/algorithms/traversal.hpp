// Search trees and traversal orders, in the order NetworkX's traversals
// yield nodes and edges, so that the caller can rebuild NetworkX's
// generators, trees and path dictionaries from positions:
//
// - breadth-first trees (single_source_shortest_path's parents, the
//   level-by-level search of _single_shortest_path), tree edges
//   (generic_bfs_edges) and reachability (descendants): policies of the
//   breadth-first engine that record each node's discoverer;
// - depth-first forward edges (dfs_edges over several starts);
// - Dijkstra trees and the single-pair path (_dijkstra_multisource with
//   paths, an optional cutoff and target): a policy of the Dijkstra engine.
//
// Preconditions: every source is below the node count of the rows searched.
// Cost follows reach: the per-source forms reuse one search state per piece
// of sources and reset only what the previous search touched.
#pragma once

#include "graph/core_graph.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace fennel {

// Parent of a search root.
inline constexpr Node NO_PARENT = 0xFFFFFFFFu;

// Discovery order (the source first) and each entry's discoverer.
struct BfsTree {
    std::vector<Node> order;
    std::vector<Node> parents;  // NO_PARENT for the source
};

// Levels d < cutoff are expanded (a NaN or non-positive cutoff: none).
BfsTree bfs_tree(const Csr& rows, Node source, double cutoff);
Result<std::vector<BfsTree>> bfs_tree_many(const Csr& rows, std::span<const Node> sources, double cutoff);

// generic_bfs_edges: levels d < depth_limit are expanded. The edges are
// (parents[i], order[i]) for i >= 1 of the tree.
BfsTree bfs_edges(const Csr& rows, Node source, std::int64_t depth_limit);

// Nodes reachable from `source`, without it, in discovery order.
std::vector<Node> reachable(const Csr& rows, Node source);

struct ForwardEdges {
    std::vector<Node> parents;
    std::vector<Node> children;
};

// dfs_edges from each start in turn (a start already visited is skipped),
// with (start, start) before the edges of each new start. Nodes at depth
// depth_limit are not descended into (a limit below 1 acts as 1).
ForwardEdges dfs_forward(const Csr& rows, std::span<const Node> starts, std::int64_t depth_limit);

// One Dijkstra tree search.
struct DijkstraTree {
    std::vector<Node> order;       // settle order, the source first
    std::vector<double> dist;      // distance of each order entry
    std::vector<Node> parent;      // of each order entry: the node whose edge last lowered it
    std::vector<Node> first_seen;  // order of first tentative distances, the source first
    std::vector<std::uint8_t> kinds;  // of each order entry's distance, over a column of mixed kinds
};

// Fails with NegativeCycle when an edge within the cutoff would shorten a
// settled node. With a target the search ends once it is settled; a target
// beyond the node count never matches.
Result<DijkstraTree> dijkstra_tree(const PathAdj& view, Node source, std::optional<double> cutoff,
                                   std::optional<Node> target);
// One tree per source, in source order; nullopt where a search met a
// negative cycle.
Result<std::vector<std::optional<DijkstraTree>>> dijkstra_tree_many(const PathAdj& view,
                                                                     std::span<const Node> sources,
                                                                     std::optional<double> cutoff);

struct DijkstraPath {
    double distance;
    std::uint8_t kind;  // ValueKind of the distance, over a column of mixed kinds
    std::vector<Node> path;  // source .. target
};

// The path to `target` along settle parents; nullopt when the target is not
// settled (beyond the cutoff or unreachable).
Result<std::optional<DijkstraPath>> dijkstra_path(const PathAdj& view, Node source, Node target,
                                                  std::optional<double> cutoff);

}  // namespace fennel
