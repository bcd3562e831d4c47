// Isolates: one pass over the row bounds. Cost: O(n).
#include "algorithms/isolate.hpp"

namespace fennel {

std::vector<Node> isolated_nodes(const Csr& out, const Csr& in) {
    std::vector<Node> found;
    const Count n = out.node_count();
    for (Node u = 0; u < n; ++u) {
        if (out.begin(u) == out.end(u) && in.begin(u) == in.end(u)) found.push_back(u);
    }
    return found;
}

}  // namespace fennel
