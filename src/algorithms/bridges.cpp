// NetworkX's chain_decomposition (Schmidt's chains over a depth-first cycle
// forest) and bridges (the edges on no chain, listed in the graph's edge
// order).
//
// The forest is dfs_labeled_edges' search: rows in slot order, a node's
// first unvisited neighbour opening its child's frame. NetworkX adds a
// non-tree edge to its forest graph the first time the search meets it from
// an end that does not already point at the other: that is from the
// descendant, when it scans an ancestor other than its parent (or itself,
// for a self-loop). Each ancestor keeps those edges in the order they were
// met, which is the order its chains start in.
//
// Local bridges test each edge's ends for a shared neighbour (one end's row
// stamped, the other's scanned) and measure spans by one breadth-first
// search per local bridge, on the worker pool, each result at its bridge's
// index.
//
// Cost: O(n + m) time for the forest, chains and bridges; the non-tree lists
// are a stable counting sort of the edges met, so their order does not
// depend on how they are stored. Local bridges: O(sum of degree squared) for
// the test, plus a search per local bridge for spans.
#include "algorithms/bridges.hpp"

#include "lib/pool.hpp"

#include <limits>

namespace fennel {

namespace {

constexpr std::uint32_t UNSEEN = std::numeric_limits<std::uint32_t>::max();

struct Frame {
    Node v;
    Slot cursor;  // next slot of v's row
};

// A stable counting sort of (key, value) pairs by key into rows.
Csr rows_by_key(Count n, const std::vector<Node>& keys, const std::vector<Node>& values) {
    Csr out;
    out.offsets.assign(n + 1, 0);
    for (Node k : keys) ++out.offsets[k + 1];
    for (Count v = 0; v < n; ++v) out.offsets[v + 1] += out.offsets[v];
    out.targets.resize(keys.size());
    std::vector<Slot> fill(out.offsets.begin(), out.offsets.end() - 1);
    for (std::size_t i = 0; i < keys.size(); ++i) out.targets[fill[keys[i]]++] = values[i];
    return out;
}

}  // namespace

CycleForest cycle_forest(const Csr& rows, std::optional<Node> root) {
    const Count n = rows.node_count();
    CycleForest forest;
    forest.parent.assign(n, CycleForest::NONE);
    std::vector<std::uint32_t> discovery(n, UNSEEN);
    std::vector<Node> ancestors, descendants;  // non-tree edges in the order they are met
    std::vector<Frame> stack;
    auto open = [&](Node v) {
        discovery[v] = static_cast<std::uint32_t>(forest.preorder.size());
        forest.preorder.push_back(v);
        stack.push_back({v, rows.begin(v)});
    };
    const Node first = root.value_or(0);
    const Node last = root ? *root + 1 : static_cast<Node>(n);
    for (Node start = first; start < last; ++start) {
        if (discovery[start] != UNSEEN) continue;
        open(start);
        while (!stack.empty()) {
            Frame& f = stack.back();
            const Node v = f.v;
            if (f.cursor == rows.end(v)) {
                stack.pop_back();
                continue;
            }
            const Node w = rows.targets[f.cursor++];
            if (discovery[w] == UNSEEN) {
                forest.parent[w] = v;
                open(w);  // f is not used after this
            } else if (discovery[w] <= discovery[v] && w != forest.parent[v]) {
                ancestors.push_back(w);
                descendants.push_back(v);
            }
        }
    }
    forest.nontree = rows_by_key(n, ancestors, descendants);
    return forest;
}

Chains chains(const CycleForest& forest, bool edges) {
    Chains out;
    out.walked.assign(forest.parent.size(), 0);
    std::vector<std::uint8_t> visited(forest.parent.size(), 0);
    for (Node u : forest.preorder) {
        visited[u] = 1;
        for (Node v : forest.nontree.row(u)) {
            Node a = u, b = v;
            if (edges) {
                out.first.push_back(a);
                out.second.push_back(b);
            }
            // Invariant: (a, b) was just added; b is unvisited until the walk reaches
            // a node a chain or the preorder loop already passed.
            while (!visited[b]) {
                visited[b] = 1;
                out.walked[b] = 1;
                a = b;
                b = forest.parent[b];
                if (edges) {
                    out.first.push_back(a);
                    out.second.push_back(b);
                }
            }
            if (edges) out.bounds.push_back(out.first.size());
        }
    }
    return out;
}

EdgeList bridge_edges(const Csr& rows, std::optional<Node> root, const std::optional<std::vector<Node>>& order) {
    const Count n = rows.node_count();
    const CycleForest forest = cycle_forest(rows, root);
    const std::vector<std::uint8_t> walked = chains(forest, false).walked;
    std::vector<Node> by_position;
    if (!order) {
        std::vector<std::uint8_t> member(n, 0);
        for (Node v : forest.preorder) member[v] = 1;
        for (Node v = 0; v < n; ++v) {
            if (member[v]) by_position.push_back(v);
        }
    }
    const std::vector<Node>& nodes = order ? *order : by_position;
    std::vector<std::uint32_t> rank(n, UNSEEN);
    for (std::size_t i = 0; i < nodes.size(); ++i) rank[nodes[i]] = static_cast<std::uint32_t>(i);
    auto bridge_to_parent = [&](Node c, Node p) { return forest.parent[c] == p && !walked[c]; };
    EdgeList out;
    for (Node u : nodes) {
        for (Node v : rows.row(u)) {
            if (rank[v] < rank[u]) continue;
            if (bridge_to_parent(v, u) || bridge_to_parent(u, v)) {
                out.us.push_back(u);
                out.vs.push_back(v);
            }
        }
    }
    return out;
}

namespace {

// A breadth-first search from u to t that ignores the edges between them
// (NetworkX's hide_edge), stopping once t is reached. The shared engine
// neither skips edges nor stops at a target, so the loop is its own.
struct SpanSearch {
    std::vector<std::uint32_t> level;
    std::vector<Node> queue;
    std::size_t reached = 0;

    explicit SpanSearch(Count n) : level(n, LocalBridges::NO_SPAN) { queue.reserve(n); }

    std::uint32_t span(const Csr& rows, Node u, Node t) {
        for (std::size_t i = 0; i < reached; ++i) level[queue[i]] = LocalBridges::NO_SPAN;
        // Invariant: every level NO_SPAN.
        queue.clear();
        level[u] = 0;
        queue.push_back(u);
        std::uint32_t found = LocalBridges::NO_SPAN;
        for (std::size_t head = 0; head < queue.size() && found == LocalBridges::NO_SPAN; ++head) {
            const Node x = queue[head];
            const bool x_end = x == u || x == t;
            for (Node y : rows.row(x)) {
                if ((x_end && (y == u || y == t)) || level[y] != LocalBridges::NO_SPAN) continue;
                level[y] = level[x] + 1;
                queue.push_back(y);
                if (y == t) {
                    found = level[y];
                    break;
                }
            }
        }
        reached = queue.size();
        return found;
    }
};

}  // namespace

Result<LocalBridges> local_bridge_edges(const Csr& rows, bool span) {
    const Count n = rows.node_count();
    LocalBridges out;
    std::vector<Node> stamp(n, CycleForest::NONE);  // stamp[x] == u: x is in u's row
    for (Node u = 0; u < n; ++u) {
        for (Node x : rows.row(u)) stamp[x] = u;
        for (Node v : rows.row(u)) {
            if (v < u) continue;  // listed from v's row
            bool shared = false;
            for (Node y : rows.row(v)) {
                if (stamp[y] == u) {
                    shared = true;
                    break;
                }
            }
            if (!shared) {
                out.us.push_back(u);
                out.vs.push_back(v);
            }
        }
    }
    if (!span) return out;
    auto spans = map_with_scratch(
        out.us.size(), [&] { return SpanSearch(n); },
        [&](SpanSearch& search, std::size_t i) { return search.span(rows, out.us[i], out.vs[i]); });
    if (!spans.ok()) return spans.error();
    out.spans = std::move(spans.value());
    return out;
}

}  // namespace fennel
