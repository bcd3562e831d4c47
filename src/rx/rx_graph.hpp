// The rustworkx-ordered graph and the algorithms that reproduce rustworkx.
//
// rustworkx keeps a node's edges in linked lists, the most recently added
// edge first: a node's out-row lists its out-edges by descending edge
// number, and an undirected node's row lists its out-edges, then its
// in-edges (self-loops once), each by descending edge number. Parallel edges
// are all kept. On such rows, the searches below follow petgraph's own
// algorithms step for step, so their orders are rustworkx's.
#pragma once

#include "graph/core_graph.hpp"

#include <memory>
#include <optional>
#include <vector>

namespace fennel {

// The name of the cost column of a rustworkx-ordered graph.
inline constexpr const char* RX_COST = "__rx_cost__";

// Edges i = 0 .. m-1 from src[i] to dst[i] over n nodes, with an optional
// cost per edge. Fails with "edge arrays differ in length", "edge endpoint
// out of range" or "too many nodes".
Result<std::unique_ptr<CoreGraph>> build_rx(Count n, bool directed, const std::vector<Node>& src,
                                            const std::vector<Node>& dst, const std::optional<std::vector<double>>& costs);

// Kosaraju's algorithm as petgraph runs it: a finishing pass over the
// in-rows, then components in decreasing finish order over the out-rows.
std::vector<std::vector<Node>> rx_scc(const GraphView& g);

// petgraph's depth-first topological order, or nullopt on a cycle.
std::optional<std::vector<Node>> rx_toposort(const GraphView& g);

// rustworkx's Dijkstra from `source` over `view`'s rows and costs: the
// distance at which each node left the heap, NaN for nodes that never did.
// The search ends when `goal` leaves the heap. A cost is read only on the
// way to a node not yet expanded and fails with "Negative weights not
// supported." when its sign bit is set, then "NaN weights not supported."
// when it is NaN.
Result<std::vector<double>> rx_dijkstra(const GraphView& view, Node source, std::optional<Node> goal);

}  // namespace fennel
