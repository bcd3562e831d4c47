// Lowest common ancestors. Costs: the tree walk O(n + m + answers) with a
// near-constant union-find (without pairs every coloured node answers, so
// O(n^2)); each DAG answer O(min(|A(v)|, |A(w)|) + the walk's rows), each
// ancestor set built once, O(n + m).
#include "algorithms/lowest_common_ancestors.hpp"

#include <utility>

namespace fennel {

// NetworkX's loop over G.in_degree: a node of in-degree 0 is a source (a
// second one is an error); one with two or more predecessors rules out a
// tree (len(G.pred[n]) > 1: parallel edges from one parent are allowed).
TreeRoot tree_root(const Csr& pred) {
    const Count n = pred.node_count();
    TreeRoot out;
    bool found = false;
    for (Node v = 0; v < n; ++v) {
        const std::size_t parents = pred.row(v).size();
        if (parents == 0) {
            if (found) {
                out.problem = TreeRoot::Problem::MULTIPLE_SOURCES;
                return out;
            }
            found = true;
            out.root = v;
        } else if (parents > 1) {
            out.problem = TreeRoot::Problem::NOT_A_TREE;
            return out;
        }
    }
    if (!found) out.problem = TreeRoot::Problem::NO_SOURCE;
    return out;
}

TreeLca::TreeLca(Csr succ, Csr pred, Node root, std::optional<PairRows> pairs)
    : succ_(std::move(succ)), pred_(std::move(pred)), root_(root), pairs_(std::move(pairs)) {
    const Count n = succ_.node_count();
    parent_.resize(n);
    label_.resize(n);
    for (Node v = 0; v < n; ++v) parent_[v] = label_[v] = v;
    size_.assign(n, 1);
    visited_.assign(n, 0);
    coloured_.assign(n, 0);
}

Node TreeLca::find(Node x) {
    Node r = x;
    while (parent_[r] != r) r = parent_[r];
    while (parent_[x] != r) x = std::exchange(parent_[x], r);
    return r;
}

// uf.union(parent, child), then ancestors[uf[parent]] = parent: the merged
// set (or the parent's own, when they were one already) takes the parent as
// its label.
void TreeLca::unite(Node parent, Node child) {
    Node a = find(parent);
    Node b = find(child);
    if (a != b) {
        if (size_[a] < size_[b]) std::swap(a, b);
        parent_[b] = a;
        size_[a] += size_[b];
    }
    label_[a] = parent;
}

// dfs_postorder_nodes(G, root): a node comes out once its row, read in
// G._adj's order, has no unvisited child left.
Node TreeLca::next_postorder() {
    if (!started_) {
        started_ = true;
        visited_[root_] = 1;
        stack_.emplace_back(root_, succ_.begin(root_));
    }
    while (!stack_.empty()) {
        auto& [u, slot] = stack_.back();
        if (slot == succ_.end(u)) {
            const Node done = u;
            stack_.pop_back();
            return done;
        }
        const Node w = succ_.targets[slot++];
        if (!visited_[w]) {
            visited_[w] = 1;
            stack_.emplace_back(w, succ_.begin(w));
        }
    }
    return NONE;
}

std::vector<TreeLca::Item> TreeLca::next(std::size_t limit) {
    const Count n = succ_.node_count();
    std::vector<Item> out;
    while (out.size() < limit) {
        if (current_ == NONE) {
            current_ = next_postorder();
            if (current_ == NONE) break;
            coloured_[current_] = 1;
            cursor_ = pairs_ ? pairs_->rows.begin(current_) : 0;
        }
        const Node node = current_;
        if (pairs_) {
            // for v in pair_dict[node]: (node, v) if asked for, then (v, node).
            const std::size_t end = pairs_->rows.end(node);
            for (; cursor_ < end && out.size() + 2 <= limit; ++cursor_) {
                const Node v = pairs_->rows.targets[cursor_];
                if (!coloured_[v]) continue;
                const Node lca = label_[find(v)];
                const std::uint8_t flags = pairs_->flags[cursor_];
                const Node slot = static_cast<Node>(cursor_);
                if (flags & 1) out.push_back({node, slot, lca, false});
                if (flags & 2) out.push_back({node, slot, lca, true});
            }
            if (cursor_ < end) break;
        } else {
            // for v in G: (v, node) for every coloured v.
            for (; cursor_ < n && out.size() < limit; ++cursor_) {
                const Node v = static_cast<Node>(cursor_);
                if (coloured_[v]) out.push_back({node, v, label_[find(v)], true});
            }
            if (cursor_ < n) break;
        }
        // if node != root: the first key of G.pred[node] becomes its parent.
        if (node != root_) unite(pred_.targets[pred_.begin(node)], node);
        current_ = NONE;
    }
    return out;
}

DagLca::DagLca(Csr succ, Csr pred, std::vector<std::int64_t> hashes)
    : succ_(std::move(succ)), pred_(std::move(pred)), hash_(std::move(hashes)) {
    const Count n = succ_.node_count();
    ancestors_.resize(n);
    seen_.assign(n, NONE);
}

// {child for parent, child in nx.bfs_edges(G, v, reverse=True)}: each node
// added as the search along G._pred discovers it; then .add(v).
const SetTable& DagLca::ancestors(Node v) {
    std::optional<SetTable>& cached = ancestors_[v];
    if (cached) return *cached;
    SetTable found;
    const Node stamp = stamp_++;
    seen_[v] = stamp;
    queue_.assign(1, v);
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        for (Node w : pred_.row(queue_[i])) {
            if (seen_[w] == stamp) continue;
            seen_[w] = stamp;
            queue_.push_back(w);
            found.add(w, hash_[w]);
        }
    }
    found.add(v, hash_[v]);
    cached = std::move(found);
    return *cached;
}

DagLca::Answer DagLca::answer(Node v, Node w) {
    const SetTable& a = ancestors(v);
    const SetTable& b = ancestors(w);
    // common_ancestors = ancestor_cache[v] & ancestor_cache[w]
    SetTable common;
    Node owner = v;  // the node whose set the intersection iterates
    if (v == w) {
        common = SetTable::copy_of(a);
    } else {
        const bool a_smaller = b.size() > a.size();
        const SetTable& iterated = a_smaller ? a : b;
        const SetTable& probed = a_smaller ? b : a;
        owner = a_smaller ? v : w;
        iterated.each([&](Node x) {
            if (probed.contains(x, hash_[x])) common.add(x, hash_[x]);
        });
    }
    Answer out;
    if (common.size() == 0) return out;
    // next(iter(common_ancestors)), then down the first successor in it.
    Node at = common.first();
    bool moved = false;
    while (true) {
        Node successor = NONE;
        for (Node x : succ_.row(at)) {
            if (common.contains(x, hash_[x])) {
                successor = x;
                break;
            }
        }
        if (successor == NONE) break;
        at = successor;
        moved = true;
    }
    out.lca = at;
    out.own_member = !moved && at == owner;
    return out;
}

std::vector<DagLca::Triple> DagLca::next_all(std::size_t limit) {
    const Count n = succ_.node_count();
    std::vector<Triple> out;
    while (i_ < n && out.size() < limit) {
        const Answer found = answer(i_, j_);
        if (found.lca != NONE) out.push_back({i_, j_, found.lca});
        if (++j_ == n) j_ = ++i_;
    }
    return out;
}

}  // namespace fennel
