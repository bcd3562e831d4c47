// Boykov–Kolmogorov. Costs as in NetworkX (no polynomial bound better than
// O(n^2 m |C|) for the value |C|), without its linear scans: the active
// deque's membership and removal are O(1) here, where NetworkX searches it.
#include "algorithms/boykovkolmogorov.hpp"

#include <algorithm>
#include <deque>
#include <limits>

namespace fennel {

namespace {

FlowNumber py_min(FlowNumber a, FlowNumber b) { return b.value < a.value ? b : a; }
FlowNumber py_sub(FlowNumber a, FlowNumber b) { return {a.value - b.value, a.is_float || b.is_float}; }
FlowNumber py_add(FlowNumber a, FlowNumber b) { return {a.value + b.value, a.is_float || b.is_float}; }

constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();
constexpr Slot NO_EDGE = std::numeric_limits<Slot>::max();

// One search tree: NetworkX's dict {node: parent or None}, with the edge
// joining each node to its parent (parent -> node in the source tree,
// node -> parent in the target tree) and the dict's insertion order.
struct Tree {
    std::vector<std::uint8_t> member;
    std::vector<std::uint32_t> parent;
    std::vector<Slot> parent_edge;
    std::vector<std::uint64_t> inserted;  // the insertion's number, for the dict's order
    std::vector<std::pair<Node, std::uint64_t>> log;

    explicit Tree(Count n) : member(n, 0), parent(n, NONE), parent_edge(n, NO_EDGE), inserted(n, 0) {}
    void insert(Node v, std::uint32_t p, Slot e) {
        member[v] = 1;
        parent[v] = p;
        parent_edge[v] = e;
        inserted[v] = log.size();
        log.emplace_back(v, log.size());
    }
    std::vector<std::pair<Node, std::int64_t>> dict() const {
        std::vector<std::pair<Node, std::int64_t>> out;
        for (const auto& [v, k] : log) {
            if (member[v] && inserted[v] == k) out.emplace_back(v, parent[v] == NONE ? -1 : std::int64_t{parent[v]});
        }
        return out;
    }
};

}  // namespace

FlowRun boykov_kolmogorov(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff,
                          SearchTrees* trees) {
    const Count n = r.n;
    auto left_over = [&](Slot e) { return r.capacity[e].value - flow[e].value; };
    Tree source(n), target(n);
    std::vector<std::int64_t> dist(n, 0), timestamp(n, 0);
    // The active deque: entries (NONE once removed) from `head` on; a node
    // is in it at most once (grow adds a node new to a tree, adopt one not
    // in it, and a node leaves its tree and the deque together).
    std::vector<Node> active;
    std::vector<std::uint8_t> in_active(n, 0);
    std::vector<std::size_t> place(n, 0);
    std::size_t head = 0;
    auto push_active = [&](Node v) {
        in_active[v] = 1;
        place[v] = active.size();
        active.push_back(v);
    };
    auto front = [&]() -> std::uint32_t {
        while (head < active.size() && active[head] == NONE) ++head;
        return head < active.size() ? active[head] : NONE;
    };
    auto remove_active = [&](Node v) {
        in_active[v] = 0;
        active[place[v]] = NONE;
    };
    std::deque<Node> orphans;
    std::int64_t time = 1;

    source.insert(s, NONE, NO_EDGE);
    target.insert(t, NONE, NO_EDGE);
    push_active(s);
    push_active(t);
    timestamp[s] = timestamp[t] = time;

    auto is_closer = [&](Node u, Node v) { return timestamp[v] <= timestamp[u] && dist[v] > dist[u] + 1; };

    // grow(): the connecting edge (its source-tree end, target-tree end and
    // id), or NONE as the first.
    struct Connecting {
        std::uint32_t u = NONE, v = NONE, e = NONE;
    };
    auto grow = [&]() -> Connecting {
        for (std::uint32_t u = front(); u != NONE; u = front()) {
            const bool from_source = source.member[u] != 0;
            Tree& mine = from_source ? source : target;
            Tree& other = from_source ? target : source;
            const Csr& rows = from_source ? r.succ : r.pred;
            for (Node e : rows.row(u)) {
                if (!(left_over(e) > 0)) continue;
                const Node v = from_source ? r.head[e] : r.tail[e];
                if (!mine.member[v]) {
                    if (other.member[v]) return from_source ? Connecting{u, v, e} : Connecting{v, u, e};
                    mine.insert(v, u, e);
                    dist[v] = dist[u] + 1;
                    timestamp[v] = timestamp[u];
                    push_active(v);
                } else if (is_closer(u, v)) {
                    mine.parent[v] = u;
                    mine.parent_edge[v] = e;
                    dist[v] = dist[u] + 1;
                    timestamp[v] = timestamp[u];
                }
            }
            remove_active(u);  // active.popleft()
        }
        return {};
    };

    std::vector<Slot> path;
    std::vector<Node> these_orphans;
    auto augment = [&](const Connecting& c) {
        // The bottleneck: the connecting edge, the source tree's path up
        // from u, the target tree's path down from v.
        FlowNumber least = py_min(r.inf, py_sub(r.capacity[c.e], flow[c.e]));
        path.clear();
        for (Node w = c.u; w != s; w = source.parent[w]) {
            const Slot e = source.parent_edge[w];
            least = py_min(least, py_sub(r.capacity[e], flow[e]));
            path.push_back(e);
        }
        std::reverse(path.begin(), path.end());
        path.push_back(c.e);
        for (Node w = c.v; w != t; w = target.parent[w]) {
            const Slot e = target.parent_edge[w];
            least = py_min(least, py_sub(r.capacity[e], flow[e]));
            path.push_back(e);
        }
        these_orphans.clear();
        for (Slot e : path) {
            flow[e] = py_add(flow[e], least);
            const Slot back = r.reverse[e];
            flow[back] = py_sub(flow[back], least);
            if (flow[e].value == r.capacity[e].value) {
                const Node u = r.tail[e], v = r.head[e];
                if (source.member[v]) {
                    source.parent[v] = NONE;
                    source.parent_edge[v] = NO_EDGE;
                    these_orphans.push_back(v);
                }
                if (target.member[u]) {
                    target.parent[u] = NONE;
                    target.parent_edge[u] = NO_EDGE;
                    these_orphans.push_back(u);
                }
            }
        }
        std::stable_sort(these_orphans.begin(), these_orphans.end(),
                         [&](Node a, Node b) { return dist[a] < dist[b]; });
        orphans.insert(orphans.end(), these_orphans.begin(), these_orphans.end());
        return least;
    };

    std::vector<Node> walk;
    auto has_valid_root = [&](Node v, const Tree& tree) {
        walk.clear();
        std::int64_t base = 0;
        for (std::uint32_t x = v;; x = tree.parent[x]) {
            if (x == NONE) return false;
            walk.push_back(x);
            if (x == s || x == t) {
                base = 0;
                break;
            }
            if (timestamp[x] == time) {
                base = dist[x];
                break;
            }
        }
        const auto length = static_cast<std::int64_t>(walk.size());
        for (std::int64_t i = 1; i <= length; ++i) {
            dist[walk[i - 1]] = base + length - i;
            timestamp[walk[i - 1]] = time;
        }
        return true;
    };

    // The neighbours of an orphan in its tree, sorted by distance (stable):
    // (node, the edge joining them).
    std::vector<std::pair<Node, Slot>> nbrs;
    auto tree_neighbours = [&](Node u, const Tree& tree, bool in_source) {
        nbrs.clear();
        const Csr& rows = in_source ? r.pred : r.succ;
        for (Node e : rows.row(u)) {
            const Node x = in_source ? r.tail[e] : r.head[e];
            if (tree.member[x]) nbrs.emplace_back(x, e);
        }
        std::stable_sort(nbrs.begin(), nbrs.end(), [&](const auto& a, const auto& b) {
            return dist[a.first] < dist[b.first];
        });
    };
    auto adopt = [&] {
        while (!orphans.empty()) {
            const Node u = orphans.front();
            orphans.pop_front();
            const bool in_source = source.member[u] != 0;
            Tree& tree = in_source ? source : target;
            tree_neighbours(u, tree, in_source);
            bool adopted = false;
            for (const auto& [v, e] : nbrs) {
                if (left_over(e) > 0 && has_valid_root(v, tree)) {
                    tree.parent[u] = v;
                    tree.parent_edge[u] = e;
                    dist[u] = dist[v] + 1;
                    timestamp[u] = time;
                    adopted = true;
                    break;
                }
            }
            if (adopted) continue;
            tree_neighbours(u, tree, in_source);  // sorted again by the distances now
            for (const auto& [v, e] : nbrs) {
                if (left_over(e) > 0 && !in_active[v]) push_active(v);
                if (tree.parent[v] == u) {
                    tree.parent[v] = NONE;
                    tree.parent_edge[v] = NO_EDGE;
                    orphans.push_front(v);
                }
            }
            if (in_active[u]) remove_active(u);
            tree.member[u] = 0;  // del tree[u]
            tree.parent[u] = NONE;
            tree.parent_edge[u] = NO_EDGE;
        }
    };

    FlowRun run;
    while (run.value.value < cutoff) {
        const Connecting c = grow();
        if (c.u == NONE) break;
        ++time;
        run.value = py_add(run.value, augment(c));
        adopt();
    }
    if (run.value.value * 2 > r.inf.value) {
        run.unbounded = true;
        return run;
    }
    if (trees != nullptr) {
        trees->source = source.dict();
        trees->target = target.dict();
    }
    return run;
}

}  // namespace fennel
