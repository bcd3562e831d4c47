// NetworkX's topological_generations (Kahn's layering): a generation is the
// nodes whose in-degree fell to zero while the previous one was removed,
// in that order.
//
// Cost: O(n + m).
#include "algorithms/dag.hpp"

#include <cstdint>

namespace fennel {

Generations generations(const Csr& succ, const Csr& in) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    Count remaining = 0;
    std::vector<Node> current;
    for (Node v = 0; v < n; ++v) {
        indeg[v] = in.end(v) - in.begin(v);
        if (indeg[v] == 0) {
            current.push_back(v);
        } else {
            ++remaining;
        }
    }
    Generations out;
    while (!current.empty()) {
        std::vector<Node> next;
        for (Node x : current) {
            for (Node w : succ.row(x)) {
                if (--indeg[w] == 0) {
                    next.push_back(w);
                    --remaining;
                }
            }
        }
        out.generations.push_back(std::move(current));
        current = std::move(next);
    }
    out.has_cycle = remaining != 0;
    return out;
}

Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    for (Node v = 0; v < n; ++v) indeg[v] = in.end(v) - in.begin(v);
    std::vector<std::uint8_t> seen(n, 0);
    for (Node p : processed) {
        if (p >= n) return index_error();
        // A node removed twice would take its out-edges away twice.
        if (seen[p]) return value_error("processed lists a node twice");
        seen[p] = 1;
        for (Node w : succ.row(p)) --indeg[w];
    }
    return indeg;
}

}  // namespace fennel
