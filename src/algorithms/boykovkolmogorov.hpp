// NetworkX's Boykov–Kolmogorov maximum flow (flow/boykovkolmogorov.py) over
// the residual network of flow.hpp.
#pragma once

#include "algorithms/flow.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// R.graph['trees'] as NetworkX leaves it: the source and target search
// trees as dicts, each (node, parent; -1 for None) in the dict's order.
struct SearchTrees {
    std::vector<std::pair<Node, std::int64_t>> source, target;
};

// boykov_kolmogorov_impl step by step: the growth stage from the active
// deque (the source tree along R.succ rows, the target tree along R.pred
// rows, shorter paths taken over by the marking heuristic), augmentation
// along the connecting edge's tree paths with its orphans in order of
// distance, and adoption (parents tried in order of distance, the
// timestamps and distances refreshed by each valid root found), while the
// flow value is below `cutoff` (None: R.graph['inf']); unbounded when the
// flow value doubled exceeds inf at the end. `flow` (every entry the int
// 0) receives the flows; R is only read. `trees`, when given, receives the
// search trees.
FlowRun boykov_kolmogorov(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff,
                          SearchTrees* trees = nullptr);

}  // namespace fennel
