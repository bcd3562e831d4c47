// NetworkX's core_number: the Batagelj-Zaversnik bucket algorithm, with
// NetworkX's stable sort by degree and its swaps, over rows in NetworkX's
// order.
//
// Cost: O(n + m), flat per-node arrays.
#include "algorithms/core.hpp"

#include <algorithm>

namespace fennel {

std::optional<std::vector<Count>> core_numbers(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    for (Node u = 0; u < n; ++u) {
        for (Node w : out.row(u)) {
            if (w == u) return std::nullopt;
        }
    }
    std::vector<Count> core(n);
    Count top = 0;
    for (Node v = 0; v < n; ++v) {
        core[v] = (out.end(v) - out.begin(v)) + (back ? back->end(v) - back->begin(v) : 0);
        top = std::max(top, core[v]);
    }
    // bin[d]: the first place of degree d's bucket in the stable sort by degree.
    std::vector<Count> bin(top + 2, 0);
    for (Node v = 0; v < n; ++v) ++bin[core[v] + 1];
    for (Count d = 1; d < bin.size(); ++d) bin[d] += bin[d - 1];
    std::vector<Node> vert(n);
    std::vector<Count> pos(n);
    {
        std::vector<Count> next(bin.begin(), bin.end() - 1);
        for (Node v = 0; v < n; ++v) {
            pos[v] = next[core[v]]++;
            vert[pos[v]] = v;
        }
    }
    for (Count i = 0; i < n; ++i) {
        const Node v = vert[i];
        for_each_neighbour(out, back, v, [&](Node u) {
            if (core[u] <= core[v]) return;
            // Move u to the front of its bucket, then out of it.
            const Count d = core[u];
            const Count p = bin[d];
            const Node w = vert[p];
            if (u != w) {
                std::swap(vert[pos[u]], vert[p]);
                pos[w] = pos[u];
                pos[u] = p;
            }
            bin[d] = p + 1;
            core[u] = d - 1;
        });
    }
    return core;
}

}  // namespace fennel
