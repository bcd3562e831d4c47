// NetworkX's _biconnected_dfs: Hopcroft and Tarjan's search with an explicit
// frame stack (grandparent, parent, row cursor) and an edge stack.
//
// Orders that matter: starts in position order, rows in slot order; a
// component is the edge stack from its tree edge up, cut when the search
// leaves the tree edge's lower end; a non-root articulation point is yielded
// each time one of its children closes a component, the root after its
// tree, once it has two children. Discovery times run on across trees (the
// search only compares times within one tree, so offsets change nothing).
//
// Cost: O(n + m) time, flat per-node arrays.
#include "algorithms/biconnected.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace fennel {

namespace {

constexpr std::uint32_t UNSEEN = std::numeric_limits<std::uint32_t>::max();

struct Frame {
    Node grandparent;
    Node parent;
    Slot cursor;  // next slot of parent's row
};

}  // namespace

BiconnectedParts biconnected(const Csr& rows, bool edges, std::size_t max_parts) {
    const Count n = rows.node_count();
    std::vector<std::uint32_t> discovery(n, UNSEEN);
    std::vector<std::uint32_t> low(n, 0);
    std::vector<std::size_t> tree_index(n, 0);  // a node's tree edge's place on the edge stack
    std::vector<std::uint8_t> yielded(n, 0);
    std::vector<Frame> stack;
    std::vector<Node> stack_first, stack_second;
    BiconnectedParts out;
    std::uint32_t time = 0;
    auto point = [&](Node v) {
        if (!yielded[v]) {
            yielded[v] = 1;
            out.points.push_back(v);
        }
    };
    // Moves the edge stack from the tree edge into `child` up into a new component.
    auto close = [&](Node child) {
        const std::size_t from = tree_index[child];
        out.first.insert(out.first.end(), stack_first.begin() + from, stack_first.end());
        out.second.insert(out.second.end(), stack_second.begin() + from, stack_second.end());
        stack_first.resize(from);
        stack_second.resize(from);
        out.bounds.push_back(out.first.size());
    };
    auto full = [&] { return max_parts != 0 && out.size() >= max_parts; };
    for (Node start = 0; start < n && !full(); ++start) {
        if (discovery[start] != UNSEEN) continue;
        discovery[start] = low[start] = time++;
        std::size_t root_children = 0;
        stack.push_back({start, start, rows.begin(start)});
        while (!stack.empty()) {
            Frame& f = stack.back();
            const Node grandparent = f.grandparent;
            const Node parent = f.parent;
            if (f.cursor < rows.end(parent)) {
                const Node child = rows.targets[f.cursor++];
                if (child == grandparent) continue;
                if (discovery[child] != UNSEEN) {
                    if (discovery[child] <= discovery[parent]) {  // back edge
                        low[parent] = std::min(low[parent], discovery[child]);
                        if (edges) {
                            stack_first.push_back(parent);
                            stack_second.push_back(child);
                        }
                    }
                } else {
                    low[child] = discovery[child] = time++;
                    stack.push_back({parent, child, rows.begin(child)});  // f is not used after this
                    if (edges) {
                        tree_index[child] = stack_first.size();
                        stack_first.push_back(parent);
                        stack_second.push_back(child);
                    }
                }
                continue;
            }
            stack.pop_back();
            if (stack.size() > 1) {
                if (low[parent] >= discovery[grandparent]) {
                    if (edges) {
                        close(parent);
                        if (full()) return out;
                    } else {
                        point(grandparent);
                    }
                }
                low[grandparent] = std::min(low[parent], low[grandparent]);
            } else if (!stack.empty()) {  // grandparent is the root
                ++root_children;
                if (edges) {
                    close(parent);
                    if (full()) return out;
                }
            }
        }
        if (!edges && root_children > 1) point(start);
    }
    return out;
}

}  // namespace fennel
