// asyn_fluidc, as NetworkX runs it. A node's count starts with its own
// community's density and adds each neighbour's (a self-loop counts the
// node again) as Counter.update does, density + count; the candidates keep
// first-met order, NetworkX's dict order. Densities change only between
// visits, so every count is a run of additions of one density.
//
// Cost: O(degree) per visit.
#include "algorithms/asyn_fluid.hpp"

#include "lib/pool.hpp"

#include <algorithm>

namespace fennel {

Result<FluidCommunities> fluid_communities(const Csr& adj, Node k, std::uint64_t max_rounds, Draws& draws) {
    const Count n = adj.node_count();
    FluidCommunities out;
    out.community.assign(static_cast<std::size_t>(n), NO_COMMUNITY);
    std::vector<Count> size(k, 1);
    std::vector<double> density(k, 1.0);
    auto first = draws.shuffled();
    if (!first.ok()) return first.error();
    for (Node i = 0; i < k; ++i) {
        out.community[first.value()[i]] = i;
        out.order.push_back(first.value()[i]);
    }
    std::vector<double> freq(k, 0.0);
    std::vector<std::uint8_t> seen(k, 0);
    std::vector<Node> met, best;
    auto add = [&](Node c) {
        if (!seen[c]) {
            seen[c] = 1;
            met.push_back(c);
            freq[c] = density[c];
        } else {
            freq[c] = density[c] + freq[c];
        }
    };
    bool changed = true;
    for (std::uint64_t round = 0; changed && round < max_rounds; ++round) {
        changed = false;
        auto order = draws.shuffled();
        if (!order.ok()) return order.error();
        for (Node v : order.value()) {
            const Node own = out.community[v];
            if (own != NO_COMMUNITY) add(own);
            for (Node w : adj.row(v)) {
                if (out.community[w] != NO_COMMUNITY) add(out.community[w]);
            }
            if (met.empty()) continue;
            double top = freq[met[0]];
            for (Node c : met) top = std::max(top, freq[c]);
            best.clear();
            for (Node c : met) {
                if ((top - freq[c]) < 0.0001) best.push_back(c);
                seen[c] = 0;
            }
            met.clear();
            if (own != NO_COMMUNITY && std::find(best.begin(), best.end(), own) != best.end()) continue;
            changed = true;
            auto picked = draws.choice(best);
            if (!picked.ok()) return picked.error();
            if (own != NO_COMMUNITY) {
                if (--size[own] == 0) {
                    out.emptied = true;
                    return out;
                }
                density[own] = 1.0 / static_cast<double>(size[own]);
            } else {
                out.order.push_back(v);
            }
            const Node c = picked.value();
            out.community[v] = c;
            density[c] = 1.0 / static_cast<double>(++size[c]);
        }
    }
    return out;
}

}  // namespace fennel
