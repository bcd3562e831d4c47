// NetworkX's greedy_color (largest_first): the stable sort by degree, then
// each node the smallest colour its already coloured neighbours leave free.
//
// Cost: O(n log n + m); the colour marks are stamped per node, never cleared.
#include "algorithms/coloring.hpp"

#include <algorithm>

namespace fennel {

Colouring greedy_colour(const Csr& out, const std::vector<Count>& degrees) {
    const Count n = out.node_count();
    Colouring c;
    c.order.resize(n);
    for (Node v = 0; v < n; ++v) c.order[v] = v;
    std::stable_sort(c.order.begin(), c.order.end(), [&](Node a, Node b) { return degrees[a] > degrees[b]; });
    constexpr std::uint32_t NONE = 0xFFFFFFFFu;
    c.colours.assign(n, NONE);
    // stamp[k] == step: colour k is taken by a neighbour of the node coloured at this step.
    std::vector<Count> stamp;
    Count step = 0;
    for (Node u : c.order) {
        ++step;
        for (Node v : out.row(u)) {
            const std::uint32_t k = c.colours[v];
            if (k == NONE) continue;
            if (stamp.size() <= k) stamp.resize(std::size_t{k} + 1, 0);
            stamp[k] = step;
        }
        std::uint32_t k = 0;
        while (k < stamp.size() && stamp[k] == step) ++k;
        c.colours[u] = k;
    }
    return c;
}

}  // namespace fennel
