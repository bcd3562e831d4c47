// NetworkX's k-edge-connected components (connectivity/edge_kcomponents.py)
// where they come from bridges: bridge_components.
#pragma once

#include "graph/core_graph.hpp"

#include <cstddef>
#include <vector>

namespace fennel {

// Components as position lists, one after another (`bounds` has one more
// entry than there are components).
struct ComponentList {
    std::vector<Node> members;
    std::vector<std::size_t> bounds{0};
};

// bridge_components of the undirected simple graph with rows `rows`:
// H = G.copy() (each node's neighbours in the order G.edges meets its
// edges), the bridges removed, then connected_components(H): a
// breadth-first search from each node not yet in a component, in position
// order, its members in the order _plain_bfs inserts them into its set.
ComponentList bridge_components(const Csr& rows);

}  // namespace fennel
