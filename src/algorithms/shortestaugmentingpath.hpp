// NetworkX's shortest augmenting path maximum flow
// (flow/shortestaugmentingpath.py) over the residual network of flow.hpp.
#pragma once

#include "algorithms/flow.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// The node attributes shortest_augmenting_path leaves on R: absent when t
// does not reach s at first (labelled false); else every node's 'height'
// and the position of its 'curr_edge' (a CurrentEdge) in its R.succ row.
struct HeightLabels {
    bool labelled = false;
    std::vector<std::int64_t> height;
    std::vector<std::uint32_t> current;
};

// shortest_augmenting_path_impl step by step: the exact heights by a
// breadth-first search back from t (R.pred rows in order), then depth-first
// advances along admissible edges through each node's current edge, the
// relabelling with its gap heuristic, and augmentation along the path while
// the flow value is below `cutoff`. With `two_phase`, phase 1 ends once s's
// height reaches min(sqrt(m), 2 n^(2/3)) and Edmonds–Karp finishes the
// flow. `flow` (every entry the int 0) receives the flows; R is only read.
// `labels`, when given, receives the node attributes.
FlowRun shortest_augmenting_path(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, bool two_phase,
                                 double cutoff, HeightLabels* labels = nullptr);

}  // namespace fennel
