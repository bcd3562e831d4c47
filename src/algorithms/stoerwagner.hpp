// NetworkX's Stoer–Wagner minimum cut (connectivity/stoerwagner.py): its
// contraction phases over BinaryHeap's (value, insertion count) order and
// the dict orders of the contracted graph, over Python int/float weights.
#pragma once

#include "algorithms/flow.hpp"
#include "graph/core_graph.hpp"

#include <vector>

namespace fennel {

struct StoerWagnerCut {
    FlowNumber value;              // cut_value: the lightest cut of a phase
    std::vector<Node> nodes;       // the working copy's nodes, in its node order
    std::vector<Node> reachable;   // single_source_shortest_path_length's keys, in its order
};

// stoer_wagner over the edges (us[i], vs[i]) of G.edges with their weights
// (e.get(weight, 1)); self-loops are skipped as the working copy skips them.
// The graph is connected, of two nodes or more, every weight at least 0 and
// finite, and int sums stay below 2^53: the caller checks.
StoerWagnerCut stoer_wagner(Count n, const std::vector<Node>& us, const std::vector<Node>& vs,
                            const std::vector<FlowNumber>& weights);

}  // namespace fennel
