// NetworkX's highest-label preflow-push (flow/preflowpush.py) over the
// residual network of flow.hpp: the reverse breadth-first heights, the
// levels' active and inactive Python sets (replayed as CPython's set tables
// from the nodes' hashes), each node's current edge over its R.succ row, the
// global relabelling threshold and the gap heuristic, step by step.
#pragma once

#include "algorithms/flow.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// What preflow_push leaves on R's nodes besides the flows.
struct PreflowNodes {
    bool labelled = false;             // t was in reach: 'height' and 'curr_edge' were set
    bool failed = false;               // a step NetworkX itself fails on (unreachable in theory)
    std::vector<FlowNumber> excess;    // R.nodes[u]['excess']
    std::vector<std::int64_t> height;  // R.nodes[u]['height']
    std::vector<Slot> current;         // the position of R.nodes[u]['curr_edge'] in u's R.succ row
};

// preflow_push_impl on R from s to t: `hash` holds each node's hash() (the
// sets' orders), `freq` is global_relabel_freq (0: never relabel globally;
// NaN as Python compares it), `value_only` stops after the first phase.
// `flow` (one entry per edge of R) receives the flows, `nodes` the node
// attributes; R itself is only read, so runs over one R can go side by side.
FlowRun preflow_push(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t,
                     const std::vector<std::int64_t>& hash, double freq, bool value_only, PreflowNodes& nodes);

// detect_unboundedness: whether t is reached from s over edges whose
// capacity equals R.graph['inf'].
bool infinite_path(const Residual& r, Node s, Node t);

}  // namespace fennel
