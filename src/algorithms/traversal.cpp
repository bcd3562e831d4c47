#include "algorithms/traversal.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace fennel {

namespace {

std::uint32_t depth_below(std::int64_t depth_limit) {
    if (depth_limit < 1) return 0;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(depth_limit, BfsState::UNREACHED));
}

}  // namespace

EdgePairs bfs_tree(BfsState& state, const Csr& rows, Node source, double cutoff) {
    EdgePairs out;
    out.parents.push_back(NO_PARENT);
    out.children.push_back(source);
    state.discover<false>(rows, source, expand_below(cutoff), [&](Node v, Node w) {
        out.parents.push_back(v);
        out.children.push_back(w);
    });
    return out;
}

EdgePairs bfs_edges(BfsState& state, const Csr& rows, Node source, std::int64_t depth_limit) {
    EdgePairs out;
    state.discover<true>(rows, source, depth_below(depth_limit), [&](Node v, Node w) {
        out.parents.push_back(v);
        out.children.push_back(w);
    });
    return out;
}

EdgePairs dfs_forward(const Csr& rows, std::span<const Node> starts, std::int64_t depth_limit) {
    EdgePairs out;
    std::vector<std::uint8_t> visited(rows.node_count(), 0);
    std::vector<std::pair<Node, Slot>> stack;  // (node, next slot of its row to examine)
    auto visit = [&](Node parent, Node child) {
        out.parents.push_back(parent);
        out.children.push_back(child);
        visited[child] = 1;
    };
    for (Node start : starts) {
        if (visited[start]) continue;
        visit(start, start);
        stack.assign(1, {start, rows.begin(start)});
        // Invariant: the stack holds the path from `start` to the node being
        // expanded; `depth` is its length.
        std::int64_t depth = 1;
        while (!stack.empty()) {
            auto& [parent, next] = stack.back();
            const Node p = parent;
            const Slot end = rows.end(p);
            if (depth < depth_limit) {
                while (next < end && visited[rows.targets[next]]) ++next;
                if (next < end) {
                    const Node child = rows.targets[next++];
                    visit(p, child);
                    stack.emplace_back(child, rows.begin(child));
                    ++depth;
                    continue;
                }
            } else {
                for (; next < end; ++next) {
                    if (!visited[rows.targets[next]]) visit(p, rows.targets[next]);
                }
            }
            stack.pop_back();
            --depth;
        }
    }
    return out;
}

}  // namespace fennel
