// NetworkX's Gomory–Hu tree (flow/gomory_hu.py): Gusfield's n - 1 minimum
// cuts over one residual network, each cut's source and sink read from the
// tree as the cuts before it left it.
#pragma once

#include "algorithms/flow.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

// The flow algorithms a cut may run (the core's codes of NetworkX's flow functions).
enum class FlowAlgorithm : std::uint8_t { EdmondsKarp = 0 };

// One maximum flow of `algorithm` over R from s to t.
FlowRun run_flow(FlowAlgorithm algorithm, const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t,
                 double cutoff);

// minimum_cut's last step: the edges of R whose flow equals their capacity,
// taken out of R and added back in R.edges order, so each goes to the end of
// its tail's succ row and its head's pred row.
void requeue_saturated(Residual& r, const std::vector<FlowNumber>& flow);

struct GomoryHuTree {
    bool unbounded = false;           // a cut met an infinite capacity path
    std::int64_t missing_from = -1;   // labels had no (missing_from, missing_to): NetworkX's KeyError
    std::int64_t missing_to = -1;
    std::vector<Node> parent;         // tree[u] for u = 1 .. n - 1 (position 0 is the root)
    std::vector<FlowNumber> label;    // labels[u, tree[u]]
};

// gomory_hu_tree over R (built from G, n >= 1 nodes in G's order, node 0 the
// root): R's rows are reordered by every cut as NetworkX's minimum_cut
// reorders them (before 3.7). With `spare`, 3.7's minimum_cut: R's rows stay
// and the sink side is what reaches t over edges with flow below capacity.
GomoryHuTree gomory_hu(Residual& r, FlowAlgorithm algorithm, bool spare);

}  // namespace fennel
