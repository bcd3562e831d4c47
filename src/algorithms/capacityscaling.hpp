// NetworkX's capacity scaling minimum-cost flow (flow/capacityscaling.py):
// its scaling phases over the residual multigraph, step for step.
#pragma once

#include "algorithms/mincost.hpp"
#include "graph/core_graph.hpp"
#include "lib/result.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// The residual network R of capacity_scaling as _build_residual_network
// leaves it. Arcs come in pairs: arc 2i is the i-th edge of NetworkX's
// edge_list (key (k, True)), arc 2i + 1 its reverse (key (k, False)), so an
// arc's partner is arc ^ 1. R.succ[u] is held as groups: one per neighbour
// in the order of R.succ[u]'s keys, each listing its arcs in key order.
struct ScalingProblem {
    Count n = 0;
    std::vector<Node> head;                        // per arc
    std::vector<PyNumber> capacity, weight, flow;  // per arc
    std::vector<PyNumber> excess, potential;       // per node
    std::vector<std::uint32_t> group_offsets;      // n + 1 offsets into group_heads
    std::vector<Node> group_heads;                 // the neighbour of each group
    std::vector<std::uint32_t> arc_offsets;        // one more than the groups: offsets into arcs
    std::vector<std::uint32_t> arcs;               // arc ids, group by group
    std::vector<std::int64_t> hashes;              // hash() of each node, for the order of the set S
    std::int64_t delta = 1;                        // 2 ** int(log(wmax, 2)), at least 1
};

// capacity_scaling's phases from `delta` down to 1: the saturation of the
// Δ-residual arcs of negative reduced cost, the Δ-active sets S and T (S
// replayed as CPython's set, so that arbitrary_element picks NetworkX's s),
// the Dijkstra searches with BinaryHeap's (distance, insertion count)
// order, the augmentations by Δ and the potential updates in the order of
// the dict d. Leaves the flows and excesses in p. Fails only when the user
// interrupts.
Status run_capacity_scaling(ScalingProblem& p);

}  // namespace fennel
