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

ComponentCursor::ComponentCursor(const Csr& out, const Csr* back)
    : out_(out), back_(back), seen_(out.node_count(), 0), order_(out.node_count()) {}

std::span<const Node> ComponentCursor::next() {
    const Count n = out_.node_count();
    while (next_start_ < n && seen_[next_start_]) ++next_start_;
    if (next_start_ == n) return {};
    const std::size_t begin = done_;
    seen_[next_start_] = 1;
    order_[done_++] = next_start_;
    auto reach = [&](Node w) {
        if (seen_[w]) return;
        seen_[w] = 1;
        order_[done_++] = w;
    };
    // The component doubles as the queue: its read position walks the levels
    // in order, each node's out-row before its in-row. Once every node is
    // placed no row can add one.
    for (std::size_t read = begin; read < done_ && done_ < n; ++read) {
        prefetch_rows_ahead(out_, back_, order_.data(), read, done_);
        const Node v = order_[read];
        for (Node w : out_.row(v)) reach(w);
        if (back_ != nullptr) {
            for (Node w : back_->row(v)) reach(w);
        }
    }
    return {order_.data() + begin, done_ - begin};
}

Result<std::span<const Node>> ComponentCursor::next_on_pool() {
    const Count n = out_.node_count();
    while (next_start_ < n && seen_[next_start_]) ++next_start_;
    if (next_start_ == n) return std::span<const Node>{};
    const std::size_t begin = done_;
    seen_[next_start_] = 1;
    order_[done_++] = next_start_;
    // Level by level, [lo, hi) the level expanded: the queue's order is the
    // same as the one-queue loop's, since that loop too reads a level only
    // after the whole previous one.
    for (std::size_t lo = begin; lo < done_ && done_ < n;) {
        const std::size_t hi = done_;
        if (LevelExpander::parallel(hi - lo)) {
            if (!expander_) expander_ = std::make_unique<LevelExpander>(n);
            auto grown = expander_->expand(
                out_, back_, order_.data(), lo, hi, [&](Node w) { return seen_[w] == 0; },
                [&](std::size_t, Node w, Node) { seen_[w] = 1; });
            if (!grown.ok()) {
                next_start_ = static_cast<Node>(n);
                return grown.error();
            }
            done_ = grown.value();
        } else {
            for (std::size_t read = lo; read < hi && done_ < n; ++read) {
                prefetch_rows_ahead(out_, back_, order_.data(), read, hi);
                for_each_neighbour(out_, back_, order_[read], [&](Node w) {
                    if (seen_[w]) return;
                    seen_[w] = 1;
                    order_[done_++] = w;
                });
            }
        }
        lo = hi;
    }
    return std::span<const Node>{order_.data() + begin, done_ - begin};
}

Components weak_components(const Csr& out, const Csr* back) {
    ComponentCursor cursor(out, back);
    Components result;
    for (auto c = cursor.next(); !c.empty(); c = cursor.next()) result.emplace_back(c.begin(), c.end());
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

Components strong_components(const Csr& succ, bool shortcut) {
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
