// NetworkX's is_bipartite: a two-colouring by depth-first search from each
// uncoloured node in position order. Cost: O(n + m), an explicit stack.
//
// NetworkX's hopcroft_karp_matching: phases of a breadth-first layering and
// depth-first augmentations, in the orders of its two node sets and of the
// rows. Cost: O(m sqrt(n)); the depth-first search runs on an explicit stack
// where NetworkX recurses.
#include "algorithms/bipartite.hpp"

#include <cstdint>
#include <deque>
#include <limits>
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

namespace fennel {

namespace {

// NetworkX's distances hold ints and float('inf'); inf + 1 stays inf.
constexpr std::int64_t INF = std::numeric_limits<std::int64_t>::max();
constexpr Node NONE_NODE = std::numeric_limits<Node>::max();  // NetworkX's None: the end of an augmenting path

struct HopcroftKarp {
    const Csr& out;
    const std::vector<Node>& left;
    std::vector<std::uint8_t> is_right;
    std::vector<Node> leftmatch, rightmatch;  // NONE_NODE: matched to None
    std::vector<std::int64_t> dist;           // per node, and dist[n] for None
    std::optional<Node> missing;

    std::int64_t& distance(Node v) { return dist[v == NONE_NODE ? dist.size() - 1 : v]; }
    static std::int64_t next(std::int64_t d) { return d == INF ? INF : d + 1; }

    // Whether a free right node lies at the end of some layered path.
    bool breadth_first() {
        std::deque<Node> queue;
        for (const Node v : left) {
            if (leftmatch[v] == NONE_NODE) {
                dist[v] = 0;
                queue.push_back(v);
            } else {
                dist[v] = INF;
            }
        }
        distance(NONE_NODE) = INF;
        while (!queue.empty()) {
            const Node v = queue.front();
            queue.pop_front();
            if (!(distance(v) < distance(NONE_NODE))) continue;
            for (const Node u : out.row(v)) {
                if (!is_right[u]) {
                    missing = u;
                    return false;
                }
                const Node m = rightmatch[u];
                if (distance(m) == INF) {
                    distance(m) = distance(v) + 1;
                    queue.push_back(m);
                }
            }
        }
        return distance(NONE_NODE) != INF;
    }

    // NetworkX's recursive depth_first_search(v), on an explicit stack: a
    // frame's cursor is the slot to try next in its row.
    bool depth_first(Node root) {
        struct Frame {
            Node v;
            Slot next;
        };
        std::vector<Frame> stack{{root, out.begin(root)}};
        bool found = false;  // the answer of the call that just returned
        bool returned = false;
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (returned) {
                returned = false;
                if (found) {
                    const Node u = out.targets[f.next - 1];
                    rightmatch[u] = f.v;
                    leftmatch[f.v] = u;
                    stack.pop_back();
                    returned = true;
                    continue;
                }
            }
            bool descended = false;
            while (f.next < out.end(f.v)) {
                const Node u = out.targets[f.next++];
                if (!is_right[u]) {
                    missing = u;
                    return false;
                }
                const Node m = rightmatch[u];
                if (distance(m) == next(dist[f.v])) {
                    if (m == NONE_NODE) {
                        // depth_first_search(None) is True at once.
                        rightmatch[u] = f.v;
                        leftmatch[f.v] = u;
                        found = true;
                        break;
                    }
                    stack.push_back({m, out.begin(m)});
                    descended = true;
                    break;
                }
            }
            if (descended) continue;
            if (!found) dist[stack.back().v] = INF;
            stack.pop_back();
            returned = true;
        }
        return found;
    }
};

}  // namespace

BipartiteMatching hopcroft_karp(const Csr& out, const std::vector<Node>& left, const std::vector<Node>& right) {
    const Count n = out.node_count();
    HopcroftKarp hk{.out = out, .left = left};
    hk.is_right.assign(n, 0);
    for (const Node v : right) hk.is_right[v] = 1;
    hk.leftmatch.assign(n, NONE_NODE);
    hk.rightmatch.assign(n, NONE_NODE);
    hk.dist.assign(n + 1, INF);
    BipartiteMatching result;
    while (hk.breadth_first()) {
        for (const Node v : left) {
            if (hk.leftmatch[v] == NONE_NODE) {
                hk.depth_first(v);
                if (hk.missing) break;
            }
        }
        if (hk.missing) break;
    }
    if (hk.missing) {
        result.missing = hk.missing;
        return result;
    }
    for (const Node v : left) {
        if (hk.leftmatch[v] != NONE_NODE) {
            result.keys.push_back(v);
            result.values.push_back(hk.leftmatch[v]);
        }
    }
    for (const Node v : right) {
        if (hk.rightmatch[v] != NONE_NODE) {
            result.keys.push_back(v);
            result.values.push_back(hk.rightmatch[v]);
        }
    }
    return result;
}

}  // namespace fennel
