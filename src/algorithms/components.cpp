// NetworkX's connected_components and weakly_connected_components
// (_plain_bfs from each unseen node) and strongly_connected_components
// (Tarjan's algorithm in the iterative one-array form, a node's link value
// standing in for its index), with NetworkX's orders.
//
// Cost: O(n + m) each, flat per-node arrays and explicit stacks (no
// recursion).
#include "algorithms/components.hpp"

#include <cstdint>

namespace fennel {

Components connected_components(const Csr& out, const Csr* back) {
    const Count n = out.node_count();
    std::vector<std::uint8_t> seen(n, 0);
    Components result;
    for (Node s = 0; s < n; ++s) {
        if (seen[s]) continue;
        seen[s] = 1;
        std::vector<Node> c{s};
        // c doubles as the queue: its read position walks the levels in order.
        for (std::size_t read = 0; read < c.size(); ++read) {
            for_each_neighbour(out, back, c[read], [&](Node w) {
                if (!seen[w]) {
                    seen[w] = 1;
                    c.push_back(w);
                }
            });
        }
        result.push_back(std::move(c));
    }
    return result;
}

namespace {

// One open call of the depth-first search.
struct Frame {
    Node v;
    Slot cursor;  // next slot of v's row to look at
    bool lead;    // v is still the root of its component
};

}  // namespace

Components strongly_connected_components(const Csr& succ, bool shortcut) {
    const Count n = succ.node_count();
    std::vector<std::uint32_t> low(n, 0);  // 0: unvisited
    std::vector<std::uint8_t> found(n, 0);
    std::vector<Frame> frames;
    std::vector<Node> stack;  // finished nodes whose component is still open
    Components out;
    std::uint32_t index = 0;
    for (Node s = 0; s < n; ++s) {
        if (low[s] != 0) continue;
        low[s] = ++index;
        const std::uint32_t root_low = index;
        frames.push_back({s, succ.begin(s), true});
        while (!frames.empty()) {
            Frame& f = frames.back();
            const Node v = f.v;
            bool descended = false;
            while (f.cursor < succ.end(v)) {
                const Node w = succ.targets[f.cursor++];
                if (low[w] == 0) {
                    low[w] = ++index;
                    frames.push_back({w, succ.begin(w), true});  // f is not used after this
                    descended = true;
                    break;
                }
                if (!found[w] && low[v] > low[w]) {
                    f.lead = false;
                    low[v] = low[w];
                    if (shortcut && low[v] == root_low && index == n) {
                        // Every node is visited and v reaches the root: all
                        // that is open forms the last component.
                        std::vector<Node> last(stack);
                        for (const Frame& open : frames) last.push_back(open.v);
                        out.push_back(std::move(last));
                        return out;
                    }
                }
            }
            if (descended) continue;
            const bool lead = f.lead;
            frames.pop_back();
            if (lead) {
                std::vector<Node> component{v};
                found[v] = 1;
                while (!stack.empty() && low[stack.back()] >= low[v]) {
                    component.push_back(stack.back());
                    found[stack.back()] = 1;
                    stack.pop_back();
                }
                out.push_back(std::move(component));
            } else {
                stack.push_back(v);
                Frame& parent = frames.back();
                if (low[parent.v] > low[v]) {
                    parent.lead = false;
                    low[parent.v] = low[v];
                }
            }
        }
    }
    return out;
}

}  // namespace fennel
