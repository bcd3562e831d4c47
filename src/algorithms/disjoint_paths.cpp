// Disjoint paths. Costs: O(n + m) for H and R, the flow's augmenting paths
// (at most min(out-degree of s, in-degree of t) of them, each O(m)), then
// O(m) to read the paths back.
#include "algorithms/disjoint_paths.hpp"

#include <algorithm>

namespace fennel {

DisjointPaths disjoint_paths(const AuxiliaryGraph& h, Node s, Node t, double cutoff, FlowAlgorithm algorithm) {
    DisjointPaths out;
    // possible = min(H.out_degree(s), H.in_degree(t)).
    const Slot out_degree = h.rows.offsets[s + 1] - h.rows.offsets[s];
    const Slot in_degree = static_cast<Slot>(std::count(h.vs.begin(), h.vs.end(), t));
    const double possible = static_cast<double>(std::min(out_degree, in_degree));
    if (possible == 0) {
        out.outcome = DisjointPaths::NoPath;
        return out;
    }
    cutoff = std::min(cutoff, possible);
    if (s == t) {
        out.outcome = DisjointPaths::SameEnds;
        return out;
    }
    const Residual r = unit_residual(h);
    std::vector<FlowNumber> flow(r.tail.size());
    const FlowRun run = run_flow(algorithm, r, flow, s, t, cutoff);
    if (run.value.value == 0) {
        out.outcome = DisjointPaths::NoPath;
        return out;
    }
    // flow_dict: the saturated edges carrying flow, in R.edges order, per
    // tail in insertion order (popitem takes the last).
    std::vector<std::vector<Node>> flow_dict(r.n);
    for (Node u = 0; u < r.n; ++u) {
        for (Node e : r.succ.row(u)) {
            if (r.capacity[e].value == flow[e].value && flow[e].value > 0) flow_dict[u].push_back(r.head[e]);
        }
    }
    const std::vector<Node> firsts = flow_dict[s];  // list(flow_dict[s])
    double found = 0;
    for (Node v : firsts) {
        if (found >= cutoff) break;
        std::vector<Node> path{s};
        if (v == t) {
            // An edge s -> t is yielded without counting towards cutoff.
            path.push_back(v);
            out.paths.push_back(std::move(path));
            continue;
        }
        Node u = v;
        bool complete = true;
        while (u != t) {
            path.push_back(u);
            if (flow_dict[u].empty()) {  // KeyError: the path is dropped
                complete = false;
                break;
            }
            const Node next = flow_dict[u].back();
            flow_dict[u].pop_back();
            u = next;
        }
        if (complete) {
            path.push_back(t);
            out.paths.push_back(std::move(path));
            found += 1;
        }
    }
    return out;
}

}  // namespace fennel
