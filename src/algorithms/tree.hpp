// Spanning trees, as NetworkX's minimum and maximum spanning edges (Kruskal)
// yield them.
#pragma once

#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

struct KeptEdges {
    std::vector<Node> us;
    std::vector<Node> vs;
};

// NetworkX's Kruskal forest: the edges in G.edges order (each undirected edge
// once, from its earlier endpoint), sorted stably by weight (descending when
// `maximum`), kept when they join two trees. Fails on a NaN weight.
Result<KeptEdges> kruskal(const GraphView& view, bool maximum);

}  // namespace fennel
