// Biconnected components and articulation points, in the orders NetworkX's
// generators yield them.
#pragma once

#include "graph/core_graph.hpp"

#include <cstddef>
#include <vector>

namespace fennel {

// What NetworkX's _biconnected_dfs yields: with edges, each component's
// edges as (first, second) pairs, component after component (`bounds` has
// one more entry than there are components); without, the articulation
// points, each once, in the order the search first yields them.
struct BiconnectedParts {
    std::vector<Node> first;
    std::vector<Node> second;
    std::vector<std::size_t> bounds{0};
    std::vector<Node> points;

    std::size_t size() const { return bounds.size() - 1; }
};

// NetworkX's search over `rows` (undirected, one entry per neighbour): from
// each unvisited node in position order, rows in slot order, the node a
// frame came from skipped (so a root's self-loop is skipped, any other
// node's self-loop is a back edge of its component). `edges` keeps the edge
// stack (components); without it only the articulation points are found.
// The search stops once `max_parts` components are complete (0: never),
// as a caller that stops after that many would.
BiconnectedParts biconnected(const Csr& rows, bool edges, std::size_t max_parts);

}  // namespace fennel
