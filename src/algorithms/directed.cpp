// NetworkX's strongly_connected_components (Tarjan's algorithm in the
// iterative one-array form, a node's link value standing in for its index)
// and topological_generations (Kahn's layering), with NetworkX's orders.
//
// Cost: O(n + m) each, explicit stacks only (no recursion).
#include "algorithms/directed.hpp"

#include <cstdint>

namespace fennel {

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

Generations topological_generations(const Csr& succ, const Csr& in) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    Count remaining = 0;
    std::vector<Node> current;
    for (Node v = 0; v < n; ++v) {
        indeg[v] = in.end(v) - in.begin(v);
        if (indeg[v] == 0) {
            current.push_back(v);
        } else {
            ++remaining;
        }
    }
    Generations out;
    while (!current.empty()) {
        std::vector<Node> next;
        for (Node x : current) {
            for (Node w : succ.row(x)) {
                if (--indeg[w] == 0) {
                    next.push_back(w);
                    --remaining;
                }
            }
        }
        out.generations.push_back(std::move(current));
        current = std::move(next);
    }
    out.has_cycle = remaining != 0;
    return out;
}

Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    for (Node v = 0; v < n; ++v) indeg[v] = in.end(v) - in.begin(v);
    std::vector<std::uint8_t> seen(n, 0);
    for (Node p : processed) {
        if (p >= n) return index_error();
        // A node removed twice would take its out-edges away twice.
        if (seen[p]) return value_error("processed lists a node twice");
        seen[p] = 1;
        for (Node w : succ.row(p)) --indeg[w];
    }
    return indeg;
}

}  // namespace fennel
