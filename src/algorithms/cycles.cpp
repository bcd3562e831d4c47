// NetworkX's cycles module over rows: cycle_basis, find_cycle, girth, and
// the depth-first searches that simple_cycles and chordless_cycles run per
// component. NetworkX's sets here (used, blocked, B, lock, explored, the
// active path) only answer membership, or are closed under an operation
// whose result does not depend on the order it pops them in (unblocking,
// relaxing locks): flags and pair sets stand for them.
#include "algorithms/cycles.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace fennel {

namespace {

constexpr Node NONE = 0xFFFFFFFFu;

std::uint64_t pair_key(Node a, Node b) { return std::uint64_t{a} << 32 | b; }

}  // namespace

// cycle_basis: `used[v]`, the nodes v has been seen from, only answers
// membership: a set of (v, u) pairs holds every node's.
// Cost: O(n + m + the cycles' total length) expected.
Result<CycleLists> paton_cycles(const Csr& adj, std::optional<Node> root) {
    const Count n = adj.node_count();
    if (root && *root >= n) return index_error();
    std::vector<Node> pred(n, NONE);  // NONE: not reached (not in `used`)
    std::unordered_set<std::uint64_t> used;
    auto pair = pair_key;
    CycleLists result;
    std::vector<Node> stack;
    // gnodes.popitem(): the last node in node order not yet reached.
    Node last = static_cast<Node>(n);
    Node given = root ? *root : NONE;
    for (;;) {
        Node start;
        if (given != NONE) {
            start = given;
            given = NONE;
        } else {
            while (last > 0 && pred[last - 1] != NONE) --last;
            if (last == 0) break;
            start = --last;
        }
        if (poll_interrupt()) return interrupted();
        pred[start] = start;
        stack.assign(1, start);
        while (!stack.empty()) {
            const Node z = stack.back();
            stack.pop_back();
            for (const Node nbr : adj.row(z)) {
                if (pred[nbr] == NONE) {
                    pred[nbr] = z;
                    stack.push_back(nbr);
                    used.insert(pair(nbr, z));
                } else if (nbr == z) {
                    result.nodes.push_back(z);
                    result.bounds.push_back(static_cast<Node>(result.nodes.size()));
                } else if (!used.contains(pair(z, nbr))) {
                    result.nodes.push_back(nbr);
                    result.nodes.push_back(z);
                    Node p = pred[z];
                    // The walk up the tree meets a node nbr has seen within n steps.
                    for (Count steps = 0; !used.contains(pair(nbr, p)); ++steps) {
                        if (steps == n) return value_error("the spanning tree walk found no end");
                        result.nodes.push_back(p);
                        p = pred[p];
                    }
                    result.nodes.push_back(p);
                    result.bounds.push_back(static_cast<Node>(result.nodes.size()));
                    used.insert(pair(nbr, z));
                }
            }
        }
    }
    return result;
}

// find_cycle. Per start, edge_dfs' state (the node stack, each reached
// node's place in its rows, the edges walked) is fresh; `explored` and the
// cycle's bookkeeping follow find_cycle: `edges` is the walk kept since the
// last backtrack, `active` holds `base` (the start, or the tail the walk
// restarted from) and the heads of `edges`.
Result<std::vector<WalkedEdge>> first_cycle(const Csr& out, const Csr* in, bool back_only, bool undirected,
                                            const std::vector<Node>& starts) {
    const Count n = out.node_count();
    for (const Node s : starts) {
        if (s >= n) return index_error();
    }
    std::vector<char> explored(n, 0), active(n, 0);
    std::vector<std::uint32_t> stamp(n, 0);  // edge_dfs' visited_nodes: stamp == the start's round
    std::vector<Slot> place(n, 0);           // each visited node's place in its rows (out, then in)
    std::unordered_set<std::uint64_t> walked;
    std::vector<Node> stack, seen;
    std::vector<WalkedEdge> edges;
    const Csr* first = back_only ? in : &out;
    const Csr* second = back_only ? nullptr : in;
    std::uint32_t round = 0;
    for (const Node start : starts) {
        if (explored[start]) continue;
        if (poll_interrupt()) return interrupted();
        ++round;
        walked.clear();
        stack.assign(1, start);
        seen.assign(1, start);
        edges.clear();
        Node base = start;
        active[base] = 1;
        Node previous_head = NONE;
        Node final_node = NONE;
        while (!stack.empty() && final_node == NONE) {
            const Node tail = stack.back();
            if (stamp[tail] != round) {
                stamp[tail] = round;
                place[tail] = 0;
            }
            const Slot first_len = first->end(tail) - first->begin(tail);
            const Slot len = first_len + (second ? second->end(tail) - second->begin(tail) : 0);
            if (place[tail] == len) {
                stack.pop_back();
                continue;
            }
            const Slot at = place[tail]++;
            const bool backward = back_only || at >= first_len;
            const Node head = at < first_len ? first->targets[first->begin(tail) + at]
                                             : second->targets[second->begin(tail) + (at - first_len)];
            // The edge's identity: the directed edge it walks, or the pair.
            std::uint64_t id = backward ? pair_key(head, tail) : pair_key(tail, head);
            if (undirected) id = pair_key(std::min(tail, head), std::max(tail, head));
            if (!walked.insert(id).second) continue;
            stack.push_back(head);
            if (explored[head]) continue;
            if (previous_head != NONE && tail != previous_head) {
                // Backtracked: drop walked edges until one ends at `tail`.
                for (;;) {
                    if (edges.empty()) {
                        active[base] = 0;
                        base = tail;
                        active[base] = 1;
                        break;
                    }
                    active[edges.back().head] = 0;
                    edges.pop_back();
                    if (!edges.empty() && edges.back().head == tail) break;
                }
            }
            edges.push_back({tail, head, backward && !undirected});
            if (active[head]) {
                final_node = head;
            } else {
                seen.push_back(head);
                active[head] = 1;
                previous_head = head;
            }
        }
        if (final_node != NONE) {
            // Edges before the first one leaving the cycle's node lead to it.
            std::size_t i = 0;
            while (i + 1 < edges.size() && edges[i].tail != final_node) ++i;
            edges.erase(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(i));
            return edges;
        }
        for (const Node v : seen) explored[v] = 1;
        active[base] = 0;
        for (const WalkedEdge& e : edges) active[e.head] = 0;
    }
    return std::vector<WalkedEdge>{};
}

// girth. Per source, only edges NetworkX's bfs_labeled_edges yields reach
// its depth check (tree edges, level edges to a node not yet dequeued and
// finished, forward edges); an edge back to a shallower node is silent.
// Invariant at each source: depth all NONE, finished all 0.
Result<std::optional<Count>> girth(const Csr& adj) {
    const Count n = adj.node_count();
    constexpr Count INF = std::numeric_limits<Count>::max();
    Count best = INF;
    Count depth_limit = INF;
    std::vector<Node> depth(n, NONE);
    std::vector<char> finished(n, 0);
    std::vector<Node> queue;
    for (Node s = 0; s < n; ++s) {
        if (poll_interrupt()) return interrupted();
        queue.assign(1, s);
        depth[s] = 0;
        bool stop = false;
        for (std::size_t head = 0; head < queue.size() && !stop; ++head) {
            const Node u = queue[head];
            const Count du = depth[u];
            for (const Node v : adj.row(u)) {
                Count delta;
                if (depth[v] == NONE) {
                    if (du > depth_limit) {
                        stop = true;
                        break;
                    }
                    depth[v] = static_cast<Node>(du + 1);
                    queue.push_back(v);
                    continue;
                } else if (depth[v] == du) {
                    if (finished[v]) continue;
                    delta = 1;
                } else if (du < depth[v]) {
                    delta = 0;
                } else {
                    continue;
                }
                if (du > depth_limit) {
                    stop = true;
                    break;
                }
                const Count length = du + du + 2 - delta;
                if (length < best) {
                    best = length;
                    depth_limit = du - delta;  // du >= delta: a level edge at depth 0 is a self-loop
                }
            }
            finished[u] = 1;
        }
        for (const Node v : queue) {
            depth[v] = NONE;
            finished[v] = 0;
        }
    }
    if (best == INF) return std::optional<Count>{};
    return std::optional<Count>{best};
}

namespace {

// A depth-first frame: the node whose row is walked and the place reached.
struct Frame {
    Node node;
    Slot at;
};

// _johnson_cycle_search and _bounded_cycle_search. `B[w]` holds the nodes
// whose search w's blocking holds back; `in_b` makes it a set. Unblocking
// from v frees every blocked node reachable through B from v, and relaxing
// locks reaches the greatest lock each node can take: neither depends on
// the order NetworkX pops its stacks in.
class JohnsonCursor final : public CycleCursor {
public:
    JohnsonCursor(Csr rows, std::vector<Node> path, std::optional<Count> bound)
        : rows_(std::move(rows)), path_(std::move(path)), bound_(bound) {
        const Count n = rows_.node_count();
        B_.resize(n);
        if (bound_) {
            lock_.assign(n, *bound_);
            for (const Node v : path_) lock_[v] = 0;
            blen_.assign(1, *bound_);
        } else {
            blocked_.assign(n, 0);
            for (const Node v : path_) blocked_[v] = 1;
            closed_.assign(1, 0);
        }
        on_path_.assign(n, 0);
        for (const Node v : path_) on_path_[v] = 1;
        stack_.push_back({path_.back(), rows_.begin(path_.back())});
    }

    Result<CycleLists> next(std::size_t limit) override {
        CycleLists found;
        const Node start = path_.front();
        std::size_t steps = 0;
        while (!stack_.empty() && found.size() < limit) {
            if ((++steps & 0xFFFF) == 0 && poll_interrupt()) return interrupted();
            Frame& top = stack_.back();
            const Slot end = rows_.end(top.node);
            bool descended = false;
            while (top.at < end && found.size() < limit) {
                const Node w = rows_.targets[top.at++];
                if (w == start) {
                    found.nodes.insert(found.nodes.end(), path_.begin(), path_.end());
                    found.bounds.push_back(static_cast<Node>(found.nodes.size()));
                    if (bound_) {
                        blen_.back() = 1;
                    } else {
                        closed_.back() = 1;
                    }
                } else if (bound_ ? path_.size() < lock_[w] : !blocked_[w]) {
                    path_.push_back(w);
                    on_path_[w] = 1;
                    if (bound_) {
                        blen_.push_back(*bound_);
                        lock_[w] = path_.size();
                    } else {
                        closed_.push_back(0);
                        blocked_[w] = 1;
                    }
                    stack_.push_back({w, rows_.begin(w)});
                    descended = true;
                    break;
                }
            }
            // A full batch may stop a row midway: the next batch resumes it.
            if (descended || top.at < end) continue;
            retreat();
        }
        return found;
    }

private:
    void add_to_b(Node v) {
        for (const Node w : rows_.row(v)) {
            if (in_b_.insert(pair_key(w, v)).second) B_[w].push_back(v);
        }
    }

    void retreat() {
        stack_.pop_back();
        const Node v = path_.back();
        path_.pop_back();
        on_path_[v] = 0;
        if (!bound_) {
            const bool closed = closed_.back();
            closed_.pop_back();
            if (!closed) {
                add_to_b(v);
                return;
            }
            if (!closed_.empty()) closed_.back() = 1;
            work_.assign(1, v);
            while (!work_.empty()) {
                const Node u = work_.back();
                work_.pop_back();
                if (!blocked_[u]) continue;
                blocked_[u] = 0;
                for (const Node x : B_[u]) {
                    in_b_.erase(pair_key(u, x));
                    work_.push_back(x);
                }
                B_[u].clear();
            }
            return;
        }
        const Count bound = *bound_;
        const Count bl = blen_.back();
        blen_.pop_back();
        if (!blen_.empty()) blen_.back() = std::min(blen_.back(), bl);
        if (bl >= bound) {
            add_to_b(v);
            return;
        }
        relax_.assign(1, {bl, v});
        while (!relax_.empty()) {
            const auto [b, u] = relax_.back();
            relax_.pop_back();
            // lock[u] < bound - b + 1, in unsigned terms (b may pass bound).
            if (b > bound || lock_[u] >= bound - b + 1) continue;
            lock_[u] = bound - b + 1;
            for (const Node w : B_[u]) {
                if (!on_path_[w]) relax_.push_back({b + 1, w});
            }
        }
    }

    Csr rows_;
    std::vector<Node> path_;
    std::optional<Count> bound_;
    std::vector<Frame> stack_;
    std::vector<char> on_path_;
    std::vector<std::vector<Node>> B_;
    std::unordered_set<std::uint64_t> in_b_;
    std::vector<char> blocked_, closed_;  // unbounded search
    std::vector<Node> work_;
    std::vector<Count> lock_, blen_;  // bounded search
    std::vector<std::pair<Count, Node>> relax_;
};

// _chordless_cycle_search: `blocked[v]` counts the nodes of the path (and
// the stem's second node once more) whose `both` row holds v; a node
// extends the path only when exactly one of them does.
class ChordlessCursor final : public CycleCursor {
public:
    ChordlessCursor(std::shared_ptr<ChordlessRows> rows, std::vector<Node> path, std::optional<Count> bound)
        : rows_(std::move(rows)), path_(std::move(path)), bound_(bound) {
        ChordlessRows& r = *rows_;
        for (const Node v : r.touched) {
            r.blocked[v] = 0;
            r.marked[v] = 0;
        }
        r.touched.clear();
        bump(path_[1], 1);
        for (std::size_t i = 1; i < path_.size(); ++i) block_row(path_[i], 1);
        stack_.push_back({path_[2], r.forward.begin(path_[2])});
    }

    Result<CycleLists> next(std::size_t limit) override {
        CycleLists found;
        const ChordlessRows& r = *rows_;
        const Node target = path_.front();
        std::size_t steps = 0;
        while (!stack_.empty() && found.size() < limit) {
            if ((++steps & 0xFFFF) == 0 && poll_interrupt()) return interrupted();
            Frame& top = stack_.back();
            const Slot end = r.forward.end(top.node);
            bool descended = false;
            while (top.at < end && found.size() < limit) {
                const Node w = r.forward.targets[top.at++];
                if (r.blocked[w] != 1 || (bound_ && path_.size() >= *bound_)) continue;
                if (holds(r.forward, w, target)) {
                    found.nodes.insert(found.nodes.end(), path_.begin(), path_.end());
                    found.nodes.push_back(w);
                    found.bounds.push_back(static_cast<Node>(found.nodes.size()));
                    continue;
                }
                if (holds(r.both, w, target)) continue;
                block_row(w, 1);
                path_.push_back(w);
                stack_.push_back({w, r.forward.begin(w)});
                descended = true;
                break;
            }
            if (descended || top.at < end) continue;
            stack_.pop_back();
            block_row(path_.back(), -1);
            path_.pop_back();
        }
        return found;
    }

private:
    static bool holds(const Csr& rows, Node v, Node x) {
        const auto row = rows.row(v);
        return std::find(row.begin(), row.end(), x) != row.end();
    }

    void bump(Node v, std::int64_t by) {
        ChordlessRows& r = *rows_;
        if (!r.marked[v]) {
            r.marked[v] = 1;
            r.touched.push_back(v);
        }
        r.blocked[v] += by;
    }

    void block_row(Node w, std::int64_t by) {
        for (const Node v : rows_->both.row(w)) bump(v, by);
    }

    std::shared_ptr<ChordlessRows> rows_;
    std::vector<Node> path_;
    std::optional<Count> bound_;
    std::vector<Frame> stack_;
};

}  // namespace

std::unique_ptr<CycleCursor> johnson_cursor(Csr rows, std::vector<Node> path, std::optional<Count> length_bound) {
    return std::make_unique<JohnsonCursor>(std::move(rows), std::move(path), length_bound);
}

std::unique_ptr<CycleCursor> chordless_cursor(std::shared_ptr<ChordlessRows> rows, std::vector<Node> path,
                                              std::optional<Count> length_bound) {
    return std::make_unique<ChordlessCursor>(std::move(rows), std::move(path), length_bound);
}

}  // namespace fennel
