// Topological generations, in the order NetworkX's generator yields them,
// and the longest path along such an order.
#pragma once

#include "algorithms/components.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
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

// NetworkX's dag_longest_path over `order` (positions; a node may recur):
// each node's distance is the first largest dist[u] + w(u, v) over its
// predecessors in G.pred's order, or 0 (the node itself) when it has none
// or the best is negative; the path ends at the first node of largest
// distance in order of first visit and follows the chosen predecessors
// back. `weights` per slot of `pred` (nullptr: unit weights). A predecessor
// not yet visited stops the walk, as NetworkX's dict lookup fails there:
// `missing` is that predecessor.
struct LongestPath {
    std::vector<Node> path;
    Node missing = 0;
    bool complete = true;
};
Result<LongestPath> longest_path_over(const Csr& pred, const std::vector<double>* weights,
                                     const std::vector<Node>& order);

// The gcd of level[u] - level[v] + 1 over the edges (u, v) reached from
// `root`, levels by breadth-first search: for a strongly connected graph
// the gcd of its cycle lengths (its period), whichever search tree gives
// the levels; 0 when no cycle is reached.
std::uint64_t period_divisor(const Csr& succ, Node root);

}  // namespace fennel
