// NetworkX's Dinitz maximum flow (flow/dinitz_alg.py) over the residual
// network of flow.hpp.
#pragma once

#include "algorithms/flow.hpp"

#include <cstdint>

namespace fennel {

struct DinitzRun {
    FlowRun run;
    // NetworkX's depth-first search read parents[s] while s had none (an
    // augmentation's float arithmetic left no edge of its path at exactly
    // 0 residual capacity): it raises KeyError(s) there.
    bool key_error = false;
    // NetworkX's popleft met an empty deque of parents (float rounding again):
    // it raises IndexError there.
    bool index_error = false;
};

// dinitz_impl step by step: per phase a breadth-first search from s over
// R.succ rows, recording for each node reached the parents one level
// closer to s (the `parents` dict of deques, with NetworkX's treatment of s
// itself, which is not a key at first), stopped once t is a key; then the
// depth-first search from t along each node's first parent, augmenting at
// s and retreating past the first saturated edge, while the flow value is
// below `cutoff` (None: R.graph['inf']). A phase carrying more than inf / 2
// is unbounded. `flow` (every entry the int 0) receives the flows; R is
// only read.
DinitzRun dinitz(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff);

}  // namespace fennel
