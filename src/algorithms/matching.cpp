// The greedy maximal matching: one pass over the edges. Cost: O(n + m).
#include "algorithms/matching.hpp"

#include <cstdint>

namespace fennel {

std::vector<Node> greedy_matching(const Csr& adj) {
    const Count n = adj.node_count();
    std::vector<std::uint8_t> matched(n, 0), listed(n, 0);
    std::vector<Node> pairs;
    for (Node u = 0; u < n; ++u) {
        for (const Node v : adj.row(u)) {
            // G.edges() lists v's edges when v's row comes up.
            if (listed[v]) continue;
            if (!matched[u] && !matched[v] && u != v) {
                pairs.push_back(u);
                pairs.push_back(v);
                matched[u] = matched[v] = 1;
            }
        }
        listed[u] = 1;
    }
    return pairs;
}

}  // namespace fennel
