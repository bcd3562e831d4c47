// bridge_components as NetworkX runs it: nx.bridges(G) removed from G.copy(),
// then connected_components of the copy.
#include "algorithms/edge_kcomponents.hpp"

#include "algorithms/bridges.hpp"

#include <cstdint>
#include <optional>
#include <unordered_set>

namespace fennel {

namespace {

std::uint64_t pair_key(Node u, Node v) {
    if (u > v) std::swap(u, v);
    return (static_cast<std::uint64_t>(u) << 32) | v;
}

}  // namespace

ComponentList bridge_components(const Csr& rows) {
    const Count n = rows.node_count();
    const EdgeList bridges = bridge_edges(rows, std::nullopt, std::nullopt);
    std::unordered_set<std::uint64_t> cut;
    cut.reserve(bridges.us.size() * 2);
    for (std::size_t i = 0; i < bridges.us.size(); ++i) cut.insert(pair_key(bridges.us[i], bridges.vs[i]));

    // G.copy() adds the edges of G._adj row after row; an edge first met at
    // u (its other end v no earlier than u) appends v to u's row and u to
    // v's. The bridges are then removed, which keeps the other entries' order.
    std::vector<Slot> offsets(n + 1, 0);
    for (Node u = 0; u < n; ++u) {
        for (Node v : rows.row(u)) {
            if (v < u || cut.count(pair_key(u, v)) != 0) continue;
            ++offsets[u + 1];
            if (v != u) ++offsets[v + 1];
        }
    }
    for (Node u = 0; u < n; ++u) offsets[u + 1] += offsets[u];
    std::vector<Node> targets(offsets[n]);
    std::vector<Slot> fill(offsets.begin(), offsets.end() - 1);
    for (Node u = 0; u < n; ++u) {
        for (Node v : rows.row(u)) {
            if (v < u || cut.count(pair_key(u, v)) != 0) continue;
            targets[fill[u]++] = v;
            if (v != u) targets[fill[v]++] = u;
        }
    }

    // connected_components(H): _plain_bfs level by level from each new node.
    ComponentList out;
    out.members.reserve(n);
    std::vector<std::uint8_t> seen(n, 0);
    for (Node s = 0; s < n; ++s) {
        if (seen[s] != 0) continue;
        const std::size_t begin = out.members.size();
        seen[s] = 1;
        out.members.push_back(s);
        for (std::size_t next = begin; next < out.members.size(); ++next) {
            const Node v = out.members[next];
            for (Slot k = offsets[v]; k < offsets[v + 1]; ++k) {
                const Node w = targets[k];
                if (seen[w] == 0) {
                    seen[w] = 1;
                    out.members.push_back(w);
                }
            }
        }
        out.bounds.push_back(out.members.size());
    }
    return out;
}

}  // namespace fennel
