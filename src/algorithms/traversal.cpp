// Traversals (see traversal.hpp for the NetworkX loops reproduced).
//
// Breadth-first searches expand nodes in discovery order and rows in slot
// order. The resumable searches do their work only when asked: a
// breadth-first cursor stops inside a row once the budget of new edges is
// met and resumes from that slot; a depth-first cursor keeps NetworkX's
// stack of (node, next slot). Scratch is allocated once per cursor (n
// entries), never per call. The component cursor is in components.cpp.
#include "algorithms/traversal.hpp"

#include "algorithms/search.hpp"

#include <algorithm>

namespace fennel {

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

BfsCursor::BfsCursor(const Csr& rows, std::span<const Node> roots, std::uint32_t max_level)
    : rows_(rows), level_(rows.node_count(), UNREACHED), queue_(rows.node_count()), max_level_(max_level),
      tail_(roots.size()), slot_(roots.empty() ? 0 : rows.begin(roots[0])) {
    std::copy(roots.begin(), roots.end(), queue_.begin());
    for (Node r : roots) level_[r] = 0;
}

void BfsCursor::advance(std::size_t budget, std::vector<BfsEdge>& out) {
    const std::size_t n = queue_.size();
    std::size_t added = 0;
    // Invariant: queue_[head_]'s row before slot_ is examined, and every node
    // it reached is queued; rows of the entries before head_ are done.
    while (head_ < tail_ && added < budget) {
        prefetch_row_ahead(rows_, queue_.data(), head_, tail_);
        const Node v = queue_[head_];
        const std::uint32_t lv = level_[v];
        // The queue is in level order: nothing after a node at the limit is
        // expanded, and once every node is queued no row finds a new one.
        if (lv >= max_level_ || tail_ == n) {
            head_ = tail_;
            break;
        }
        const Slot row_begin = rows_.begin(v);
        const Slot end = rows_.end(v);
        for (; slot_ < end && added < budget; ++slot_) {
            const Node w = rows_.targets[slot_];
            if (level_[w] != UNREACHED) continue;
            level_[w] = lv + 1;
            queue_[tail_++] = w;
            out.push_back({v, w, static_cast<std::uint32_t>(head_), static_cast<std::uint32_t>(slot_ - row_begin)});
            ++added;
        }
        if (slot_ < end) break;  // budget met inside the row
        ++expanded_;
        if (++head_ < tail_) slot_ = rows_.begin(queue_[head_]);
    }
}

std::span<const Node> BfsCursor::next_level() {
    if (level_end_ == 0) {
        // The roots, handed out before any row is read.
        level_end_ = tail_;
        return {queue_.data(), tail_};
    }
    const std::size_t begin = tail_;
    for (std::size_t i = level_begin_; i < level_end_; ++i) {
        prefetch_row_ahead(rows_, queue_.data(), i, tail_);
        const Node v = queue_[i];
        for (Node w : rows_.row(v)) {
            if (level_[w] != UNREACHED) continue;
            level_[w] = level_[v] + 1;
            queue_[tail_++] = w;
        }
        ++expanded_;
    }
    level_begin_ = begin;
    level_end_ = tail_;
    return {queue_.data() + begin, tail_ - begin};
}

DfsCursor::DfsCursor(const Csr& rows, std::vector<Node> starts, std::uint32_t limit, DfsEvents events)
    : rows_(rows), starts_(std::move(starts)), limit_(std::max<std::uint32_t>(limit, 1)), events_(events),
      visited_(rows.node_count(), 0), parent_(rows.node_count()), slot_(rows.node_count()) {}

void DfsCursor::visit(Node parent, Node child, std::uint32_t slot) {
    visited_[child] = 1;
    parent_[child] = parent;
    slot_[child] = slot;
    order_.push_back(child);
}

void DfsCursor::advance(std::size_t budget, std::vector<DfsStep>& out) {
    const std::size_t stop = out.size() + budget;
    // Invariant: the stack is the tree path from the current start; every
    // node on it is visited and its row before `next` examined.
    while (out.size() < stop) {
        if (stack_.empty()) {
            while (next_start_ < starts_.size() && visited_[starts_[next_start_]]) ++next_start_;
            if (next_start_ == starts_.size()) return;
            const Node s = starts_[next_start_++];
            visit(s, s, 0);
            if (events_ == DfsEvents::Preorder) {
                out.push_back({s, s, static_cast<std::uint32_t>(order_.size() - 1)});
            }
            stack_.push_back({s, rows_.begin(s)});
            continue;
        }
        Frame& top = stack_.back();
        const Slot end = rows_.end(top.node);
        while (top.next < end && visited_[rows_.targets[top.next]]) ++top.next;
        if (top.next == end) {
            const Node v = top.node;
            stack_.pop_back();
            ++expanded_;
            if (events_ == DfsEvents::Postorder) {
                out.push_back({parent_[v], v, static_cast<std::uint32_t>(order_.size())});
            }
            continue;
        }
        const Node parent = top.node;
        const Node child = rows_.targets[top.next];
        const auto slot = static_cast<std::uint32_t>(top.next - rows_.begin(parent));
        ++top.next;
        visit(parent, child, slot);
        if (events_ != DfsEvents::Postorder) {
            out.push_back({parent, child, static_cast<std::uint32_t>(order_.size() - 1)});
        }
        // A node at the limit is reported but never entered (nor finished).
        if (stack_.size() < limit_) stack_.push_back({child, rows_.begin(child)});  // may move `top`
    }
}

std::vector<std::pair<Node, std::uint32_t>> DfsCursor::stack_above(Node node) const {
    std::vector<std::pair<Node, std::uint32_t>> path;
    for (Node x = node; parent_[x] != x; x = parent_[x]) path.emplace_back(parent_[x], slot_[x] + 1);
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace fennel
