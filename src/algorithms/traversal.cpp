// Search trees and traversal orders (see traversal.hpp for the NetworkX
// functions reproduced).
//
// Breadth-first searches expand nodes in discovery order and rows in slot
// order; a node's parent is the node whose row discovered it first, so the
// tree is NetworkX's whatever the early exits (NetworkX stops once every
// node is seen, which appends nothing more). Dijkstra trees follow the
// engine's order exactly: a node's parent is the node whose relaxation last
// lowered its tentative distance, which is what `paths[pred[v][0]] + [v]`
// reads in _dijkstra_multisource.
#include "algorithms/traversal.hpp"

#include "algorithms/search.hpp"
#include "lib/pool.hpp"

#include <algorithm>

namespace fennel {

namespace {

// Breadth-first tree from `source`, expanding the levels below `max_level`.
BfsTree search_bfs_tree(BfsState& state, const Csr& rows, Node source, std::uint32_t max_level) {
    BfsTree out;
    out.parents.push_back(NO_PARENT);
    state.discover<true>(rows, source, max_level, [&](Node v, Node) { out.parents.push_back(v); });
    const auto order = state.order();
    out.order.assign(order.begin(), order.end());
    return out;
}

// Settle order with distances and parents; NetworkX's contradiction check
// after its cutoff filter; an optional target that ends the search.
struct TreePolicy {
    static constexpr bool SKIP_HIDDEN = true;
    std::optional<double> cutoff;
    std::optional<Node> target;
    DijkstraTree& out;
    PathKinds kinds;

    bool within(double d) const { return !cutoff || !(d > *cutoff); }
    void settle(Node v, double d, Node pred) {
        out.order.push_back(v);
        out.dist.push_back(d);
        out.parent.push_back(pred == v ? NO_PARENT : pred);  // only the source is its own
        if (kinds.active()) out.kinds.push_back(kinds.of(v));
    }
    bool stop_after(Node v) const { return target && v == *target; }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        return {};
    }
    void improve(Node v, Node w, Slot s) { kinds.improve(v, w, s); }
    void tie(Node, Node, Slot) {}
};

Result<DijkstraTree> search_dijkstra_tree(DijkstraState& state, const PathAdj& view, Node source,
                                          std::optional<double> cutoff, std::optional<Node> target) {
    DijkstraTree out;
    TreePolicy policy{cutoff, target, out, PathKinds(view, view.adj->node_count(), source)};
    if (Status st = state.run(view, source, policy); !st.ok()) return st.error();
    const auto seen = state.touched();
    out.first_seen.assign(seen.begin(), seen.end());
    return out;
}

}  // namespace

BfsTree bfs_tree(const Csr& rows, Node source, double cutoff) {
    BfsState state(rows.node_count());
    return search_bfs_tree(state, rows, source, BfsState::below_cutoff(cutoff));
}

Result<std::vector<BfsTree>> bfs_tree_many(const Csr& rows, std::span<const Node> sources, double cutoff) {
    const std::uint32_t max_level = BfsState::below_cutoff(cutoff);
    return map_with_scratch(
        sources.size(), [&] { return BfsState(rows.node_count()); },
        [&](BfsState& state, std::size_t i) { return search_bfs_tree(state, rows, sources[i], max_level); });
}

BfsTree bfs_edges(const Csr& rows, Node source, std::int64_t depth_limit) {
    BfsState state(rows.node_count());
    return search_bfs_tree(state, rows, source, BfsState::below_depth(depth_limit));
}

std::vector<Node> reachable(const Csr& rows, Node source) {
    BfsState state(rows.node_count());
    state.discover<true>(rows, source, BfsState::UNREACHED);
    const auto order = state.order();
    return {order.begin() + 1, order.end()};
}

ForwardEdges dfs_forward(const Csr& rows, std::span<const Node> starts, std::int64_t depth_limit) {
    const Count n = rows.node_count();
    // The stack never holds more than n nodes, so a larger limit is no limit.
    const Count limit = depth_limit < 1 ? 1 : std::min(static_cast<Count>(depth_limit), n);
    struct Frame {
        Node node;
        Slot next;  // next slot of the node's row to examine
    };
    std::vector<std::uint8_t> visited(n, 0);
    std::vector<Frame> stack;
    ForwardEdges out;
    auto add = [&](Node parent, Node child) {
        out.parents.push_back(parent);
        out.children.push_back(child);
        visited[child] = 1;
    };
    for (Node start : starts) {
        if (visited[start]) continue;
        add(start, start);
        stack.push_back({start, rows.begin(start)});
        // Invariant: the stack is the current path from `start`; every node
        // on it is visited, and its row before `next` is examined.
        while (!stack.empty()) {
            Frame& top = stack.back();
            const Slot end = rows.end(top.node);
            if (stack.size() < limit) {
                while (top.next < end && visited[rows.targets[top.next]]) ++top.next;
                if (top.next == end) {
                    stack.pop_back();
                    continue;
                }
                const Node child = rows.targets[top.next++];
                add(top.node, child);
                stack.push_back({child, rows.begin(child)});  // may move `top`
            } else {
                for (Slot s = top.next; s < end; ++s) {
                    if (!visited[rows.targets[s]]) add(top.node, rows.targets[s]);
                }
                stack.pop_back();
            }
        }
    }
    return out;
}

Result<DijkstraTree> dijkstra_tree(const PathAdj& view, Node source, std::optional<double> cutoff,
                                   std::optional<Node> target) {
    DijkstraState state(view.adj->node_count());
    return search_dijkstra_tree(state, view, source, cutoff, target);
}

Result<std::vector<std::optional<DijkstraTree>>> dijkstra_tree_many(const PathAdj& view,
                                                                     std::span<const Node> sources,
                                                                     std::optional<double> cutoff) {
    return map_with_scratch(
        sources.size(), [&] { return DijkstraState(view.adj->node_count()); },
        [&](DijkstraState& state, std::size_t i) -> std::optional<DijkstraTree> {
            auto tree = search_dijkstra_tree(state, view, sources[i], cutoff, std::nullopt);
            if (!tree.ok()) return std::nullopt;  // the policy fails only on a negative cycle
            return std::move(tree.value());
        });
}

Result<std::optional<DijkstraPath>> dijkstra_path(const PathAdj& view, Node source, Node target,
                                                  std::optional<double> cutoff) {
    auto tree = dijkstra_tree(view, source, cutoff, target);
    if (!tree.ok()) return tree.error();
    const DijkstraTree& t = tree.value();
    if (t.order.empty() || t.order.back() != target) return std::optional<DijkstraPath>{};
    // A parent settles before its child, so one backward scan of the settle
    // order meets every node of the path in turn.
    DijkstraPath out{t.dist.back(), t.kinds.empty() ? std::uint8_t{PY_INT} : t.kinds.back(), {target}};
    Node want = t.parent.back();
    for (std::size_t i = t.order.size() - 1; want != NO_PARENT && i-- > 0;) {
        if (t.order[i] == want) {
            out.path.push_back(want);
            want = t.parent[i];
        }
    }
    std::reverse(out.path.begin(), out.path.end());
    return std::optional<DijkstraPath>{std::move(out)};
}

}  // namespace fennel
