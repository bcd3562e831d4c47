// NetworkX's is_bipartite: a two-colouring by depth-first search from each
// uncoloured node in position order.
//
// Cost: O(n + m), an explicit stack.
#include "algorithms/bipartite.hpp"

#include <cstdint>
#include <vector>

namespace fennel {

bool two_colorable(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    constexpr std::uint8_t NONE = 2;
    std::vector<std::uint8_t> colour(n, NONE);
    std::vector<Node> stack;
    for (Node s = 0; s < n; ++s) {
        if (colour[s] != NONE) continue;
        colour[s] = 1;
        stack.push_back(s);
        while (!stack.empty()) {
            const Node x = stack.back();
            stack.pop_back();
            bool clash = false;
            for_each_neighbour(out, back, x, [&](Node w) {
                if (colour[w] == NONE) {
                    colour[w] = static_cast<std::uint8_t>(1 - colour[x]);
                    stack.push_back(w);
                } else if (colour[w] == colour[x]) {
                    clash = true;
                }
            });
            if (clash) return false;
        }
    }
    return true;
}

}  // namespace fennel
