// NetworkX's disjoint paths (connectivity/disjoint_paths.py): a maximum flow
// over an auxiliary digraph's residual network, then the paths read back
// from its saturated edges as NetworkX's flow dict hands them out.
#pragma once

#include "algorithms/connectivity.hpp"
#include "algorithms/gomory_hu.hpp"
#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

struct DisjointPaths {
    enum Outcome { Found, NoPath, SameEnds } outcome = Found;
    std::vector<std::vector<Node>> paths;  // nodes of H, in the order NetworkX yields them
};

// edge_disjoint_paths over H (the edge auxiliary digraph of G, or the node
// one for node_disjoint_paths) from s to t, nodes of H; `cutoff` is the
// caller's (inf for None). SameEnds: the flow function's error for s == t.
DisjointPaths disjoint_paths(const AuxiliaryGraph& h, Node s, Node t, double cutoff, FlowAlgorithm algorithm);

}  // namespace fennel
