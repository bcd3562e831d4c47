// Search trees and traversal orders in NetworkX's order: breadth-first
// trees and tree edges (policies of the shared breadth-first state) and
// depth-first forward edges.
//
// bfs_tree reproduces `_single_shortest_path`'s discovery: levels are
// expanded while level < cutoff. bfs_edges reproduces `generic_bfs_edges`:
// frontiers are expanded while depth < depth_limit, and the search ends after
// the row that reached the last node. dfs_forward reproduces `dfs_edges`
// over a list of starts: each new start is marked by a (start, start) pair,
// and a node at the depth limit still reports its unvisited neighbours
// without descending into them.
#pragma once

#include "algorithms/search.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace fennel {

inline constexpr Node NO_PARENT = 0xFFFFFFFFu;

// Pairs in the order NetworkX yields them (or, for bfs_tree, the discovery
// order in `children` with each discoverer in `parents`, NO_PARENT first).
struct EdgePairs {
    std::vector<Node> parents;
    std::vector<Node> children;
};

EdgePairs bfs_tree(BfsState& state, const Csr& rows, Node source, double cutoff);
EdgePairs bfs_edges(BfsState& state, const Csr& rows, Node source, std::int64_t depth_limit);

// Forward edges from each start in turn; starts already reached are skipped.
EdgePairs dfs_forward(const Csr& rows, std::span<const Node> starts, std::int64_t depth_limit);

}  // namespace fennel
