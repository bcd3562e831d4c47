// NetworkX's cycles module over rows: cycle_basis, find_cycle, girth, the
// depth-first searches that simple_cycles and chordless_cycles run per
// component, recursive_simple_cycles and minimum_cycle_basis (whose set of
// chords is ordered as CPython's table orders it). NetworkX's other sets here (used, blocked, B, lock, explored, the
// active path) only answer membership, or are closed under an operation
// whose result does not depend on the order it pops them in (unblocking,
// relaxing locks): flags and pair sets stand for them.
#include "algorithms/cycles.hpp"
#include "algorithms/heap.hpp"
#include "algorithms/set_table.hpp"
#include "lib/pool.hpp"

#include <algorithm>
#include <iterator>
#include <limits>
#include <unordered_map>
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

// recursive_simple_cycles. `blocked` and `B` are reset for the component's
// nodes before each start, as NetworkX resets them; the search never leaves
// the component, so stale entries elsewhere are never read. B[w] is a list
// in NetworkX, read for membership and emptied by _unblock, which frees the
// blocked nodes reachable through B whatever order it pops them in: a flag
// per (w, v) pair stands for the membership test.
Result<CycleLists> recursive_cycles(const Csr& succ, const Csr& pred, bool multigraph) {
    const Count n = succ.node_count();
    CycleLists result;
    // NetworkX removes and reports the self-loops first, in node order.
    for (Node v = 0; v < n; ++v) {
        const auto row = succ.row(v);
        if (std::find(row.begin(), row.end(), v) != row.end()) {
            result.nodes.push_back(v);
            result.bounds.push_back(static_cast<Node>(result.nodes.size()));
        }
    }
    struct Frame {
        Node node;
        Slot at;
        bool closed;
    };
    std::vector<std::uint32_t> ahead(n, 0), member(n, 0);  // stamps: the start's round
    std::vector<std::uint64_t> counted(multigraph ? n : 0, 0);  // multigraphs: the row count that met w last
    std::uint64_t rows_counted = 0;
    std::vector<char> blocked(n, 0);
    std::vector<std::vector<Node>> B(n);
    std::unordered_set<std::uint64_t> in_b;  // (w, v): v is in B[w]
    std::vector<Node> stack, members, path, work;
    std::vector<Frame> frames;
    std::size_t steps = 0;
    for (Node s = 0; s < n; ++s) {
        if (poll_interrupt()) return interrupted();
        const std::uint32_t round = s + 1;
        // The strongly connected component of s among the nodes from s on:
        // reached from s, and reaching s, without passing a node before s.
        ahead[s] = round;
        stack.assign(1, s);
        while (!stack.empty()) {
            const Node u = stack.back();
            stack.pop_back();
            for (const Node w : succ.row(u)) {
                if (w > s && ahead[w] != round) {
                    ahead[w] = round;
                    stack.push_back(w);
                }
            }
        }
        member[s] = round;
        members.assign(1, s);
        stack.assign(1, s);
        while (!stack.empty()) {
            const Node u = stack.back();
            stack.pop_back();
            for (const Node w : pred.row(u)) {
                if (w > s && ahead[w] == round && member[w] != round) {
                    member[w] = round;
                    members.push_back(w);
                    stack.push_back(w);
                }
            }
        }
        if (members.size() < 2) continue;
        if (multigraph) {
            // A multigraph's subgraph view lists a row in the order of its
            // node set (CPython's set order) when the set holds fewer than
            // half as many nodes as the row: left to NetworkX.
            for (const Node v : members) {
                // The row's length in G._adj: its distinct neighbours, the
                // self-loop removed.
                ++rows_counted;
                std::size_t distinct = 0;
                for (const Node w : succ.row(v)) {
                    if (w != v && counted[w] != rows_counted) {
                        counted[w] = rows_counted;
                        ++distinct;
                    }
                }
                if (2 * members.size() < distinct) {
                    return not_implemented("a multigraph row more than twice as long as its strongly connected "
                                           "component is listed in the order of NetworkX's set of the component");
                }
            }
        }
        for (const Node v : members) {
            blocked[v] = 0;
            for (const Node x : B[v]) in_b.erase(pair_key(v, x));
            B[v].clear();
        }
        // circuit(s, s, component), its recursion kept as frames.
        auto enter = [&](Node v) {
            path.push_back(v);
            blocked[v] = 1;
            frames.push_back({v, succ.begin(v), false});
        };
        // The component's rows: G's rows without the removed self-loops.
        auto in_component = [&](Node v, Node w) { return w != v && member[w] == round; };
        enter(s);
        while (!frames.empty()) {
            if ((++steps & 0xFFFF) == 0 && poll_interrupt()) return interrupted();
            Frame& top = frames.back();
            const Node v = top.node;
            const Slot end = succ.end(v);
            bool descended = false;
            while (top.at < end) {
                const Node w = succ.targets[top.at++];
                if (!in_component(v, w)) continue;
                if (w == s) {
                    result.nodes.insert(result.nodes.end(), path.begin(), path.end());
                    result.bounds.push_back(static_cast<Node>(result.nodes.size()));
                    top.closed = true;
                } else if (!blocked[w]) {
                    enter(w);  // `top` is not read again before this frame returns
                    descended = true;
                    break;
                }
            }
            if (descended) continue;
            const bool closed = top.closed;
            if (closed) {
                // _unblock(v)
                work.assign(1, v);
                while (!work.empty()) {
                    const Node u = work.back();
                    work.pop_back();
                    if (!blocked[u]) continue;
                    blocked[u] = 0;
                    for (const Node x : B[u]) {
                        in_b.erase(pair_key(u, x));
                        work.push_back(x);
                    }
                    B[u].clear();
                }
            } else {
                for (const Node w : succ.row(v)) {
                    if (in_component(v, w) && in_b.insert(pair_key(w, v)).second) B[w].push_back(v);
                }
            }
            path.pop_back();
            frames.pop_back();
            if (closed && !frames.empty()) frames.back().closed = true;
        }
    }
    return result;
}

std::int64_t pair_tuple_hash(std::int64_t a, std::int64_t b) {
    constexpr std::uint64_t PRIME_1 = 11400714785074694791ULL;
    constexpr std::uint64_t PRIME_2 = 14029467366897019727ULL;
    constexpr std::uint64_t PRIME_5 = 2870177450012600261ULL;
    std::uint64_t acc = PRIME_5;
    for (const std::uint64_t lane : {static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b)}) {
        acc += lane * PRIME_2;
        acc = (acc << 31) | (acc >> 33);
        acc *= PRIME_1;
    }
    acc += 2 ^ (PRIME_5 ^ 3527539ULL);
    if (acc == ~std::uint64_t{0}) return 1546275796;
    return static_cast<std::int64_t>(acc);
}

namespace {

// minimum_cycle_basis, one connected component at a time. A node v of the
// component is lifted to two nodes of NetworkX's graph Gi, v (2v here) and
// (v, 1) (2v + 1). Gi's row of either copy of v lists one entry per edge at
// v, in the order of the subgraph's edge view (the order add_edges_from
// met them), to the same copy of the other end unless the edge is in the
// vector `orth` (then to the other copy): the rows are read off G's edges
// and a flag per edge rather than built per call.
class CycleBasis {
public:
    CycleBasis(const Csr& adj, const std::vector<std::int64_t>& hashes, const std::vector<double>* weights)
        : adj_(adj), hashes_(hashes), weights_(weights), n_(adj.node_count()), done_(n_, 0), local_(n_, NONE),
          inc_(n_), settled_(2 * n_, 0), seen_at_(2 * n_, 0), seen_(2 * n_, 0.0), heap_(2 * n_),
          fringe_{Heap<NxOrder, false>(2 * n_), Heap<NxOrder, false>(2 * n_)} {
        for (int d = 0; d < 2; ++d) {
            bd_settled_[d].assign(2 * n_, 0);
            bd_seen_at_[d].assign(2 * n_, 0);
            bd_seen_[d].assign(2 * n_, 0.0);
            bd_pred_[d].assign(2 * n_, NONE);
        }
    }

    Result<CycleLists> run() {
        // connected_components: components in order of their first node,
        // each a set filled by _plain_bfs.
        for (Node v = 0; v < n_; ++v) {
            if (done_[v]) continue;
            if (auto status = component(v); !status.ok()) return status.error();
        }
        return std::move(found_);
    }

private:
    struct Edge {
        Node u;
        Node v;
        double weight;
    };
    // One entry of a node's rows in Gi: the far end in G, the edge, its weight.
    struct Entry {
        Node other;
        std::uint32_t edge;
        double weight;
    };

    std::int64_t edge_hash(std::uint32_t e) const {
        return pair_tuple_hash(hashes_[edges_[e].u], hashes_[edges_[e].v]);
    }

    Status component(Node source) {
        // _plain_bfs: {source}, then each row's new nodes level by level.
        SetTable c;
        std::vector<Node> members{source};
        c.add(source, hashes_[source]);
        done_[source] = 1;
        for (std::size_t i = 0; i < members.size(); ++i) {
            for (const Node w : adj_.row(members[i])) {
                if (!done_[w]) {
                    done_[w] = 1;
                    c.add(w, hashes_[w]);
                    members.push_back(w);
                }
            }
        }
        // G.subgraph(c) keeps set(c) (filled in c's order); its nodes are
        // listed in that set's order when it is under half of G, else in G's.
        order_.clear();
        if (2 * members.size() < n_) {
            SetTable kept;
            c.each([&](Node x) { kept.add(x, hashes_[x]); });
            kept.each([&](Node x) { order_.push_back(x); });
        } else {
            order_ = members;
            std::sort(order_.begin(), order_.end());
        }
        for (std::size_t i = 0; i < order_.size(); ++i) local_[order_[i]] = static_cast<Node>(i);
        // The subgraph's edge view: each row in G's order, an edge listed from
        // the end the view reaches first.
        edges_.clear();
        edge_of_.clear();
        std::vector<char> listed(order_.size(), 0);
        for (const Node u : order_) {
            inc_[u].clear();
        }
        for (const Node u : order_) {
            for (Slot at = adj_.begin(u); at < adj_.end(u); ++at) {
                const Node v = adj_.targets[at];
                if (listed[local_[v]]) continue;
                const auto e = static_cast<std::uint32_t>(edges_.size());
                edges_.push_back({u, v, weights_ ? (*weights_)[at] : 1.0});
                inc_[u].push_back(e);
                if (v != u) inc_[v].push_back(e);
                edge_of_.emplace(pair_key(std::min(u, v), std::max(u, v)), e);
            }
            listed[local_[u]] = 1;
        }
        // The same entries laid out row after row, for the searches.
        row_start_.assign(order_.size() + 1, 0);
        for (std::size_t i = 0; i < order_.size(); ++i) row_start_[i + 1] = row_start_[i] + inc_[order_[i]].size();
        row_.clear();
        for (const Node u : order_) {
            for (const std::uint32_t e : inc_[u]) {
                const Edge& edge = edges_[e];
                row_.push_back({edge.u == u ? edge.v : edge.u, e, edge.weight});
            }
        }
        // minimum_spanning_edges(weight=None): Kruskal over the edges in
        // view order (every weight read as 1: a stable sort keeps the order).
        std::vector<Node> parent(order_.size());
        for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = static_cast<Node>(i);
        auto find = [&](Node x) {
            while (parent[x] != x) {
                parent[x] = parent[parent[x]];
                x = parent[x];
            }
            return x;
        };
        std::vector<char> tree(edges_.size(), 0);
        std::size_t tree_count = 0;
        for (std::size_t e = 0; e < edges_.size(); ++e) {
            const Node a = find(local_[edges_[e].u]), b = find(local_[edges_[e].v]);
            if (a != b) {
                parent[a] = b;
                tree[e] = 1;
                ++tree_count;
            }
        }
        // chords = G.edges - tree_edges - {reversed tree edges}: the first
        // difference fills a set in view order; the second removes nothing
        // (no chord is a tree edge reversed) but copies or refills it.
        SetTable outside;
        for (std::uint32_t e = 0; e < edges_.size(); ++e) {
            if (!tree[e]) outside.add(e, edge_hash(e));
        }
        const SetTable chords = SetTable::difference(
            outside, tree_count, [](Node) { return false; }, [&](Node e) { return edge_hash(e); });
        std::vector<std::vector<std::uint32_t>> orths;
        chords.each([&](Node e) { orths.push_back({e}); });
        orth_.assign(edges_.size(), 0);
        std::vector<std::uint32_t> cycle_edges, merged;
        while (!orths.empty()) {
            if (poll_interrupt()) return interrupted();
            const std::vector<std::uint32_t> base = std::move(orths.back());
            orths.pop_back();
            for (const std::uint32_t e : base) orth_[e] = 1;
            auto cycle = min_cycle(cycle_edges);
            for (const std::uint32_t e : base) orth_[e] = 0;
            if (!cycle.ok()) return cycle.error();
            // Vectors holding an odd number of the cycle's edges take base
            // in or out (a symmetric difference of edge sets).
            std::sort(cycle_edges.begin(), cycle_edges.end());
            for (auto& orth : orths) {
                std::size_t common = 0;
                for (const std::uint32_t e : cycle_edges) {
                    common += std::binary_search(orth.begin(), orth.end(), e);
                }
                if (common % 2 == 0) continue;
                merged.clear();
                std::set_symmetric_difference(orth.begin(), orth.end(), base.begin(), base.end(),
                                              std::back_inserter(merged));
                orth.swap(merged);
            }
        }
        return {};
    }

    // Gi's row of lifted node x: (lifted neighbour, weight) for each entry.
    template <class Visit>
    void lifted_row(Node x, Visit&& visit) const {
        const Node i = local_[x >> 1], copy = x & 1;
        for (std::size_t at = row_start_[i]; at < row_start_[i + 1]; ++at) {
            const Entry& entry = row_[at];
            visit(2 * entry.other + (copy ^ static_cast<Node>(orth_[entry.edge])), entry.weight);
        }
    }

    // nx.shortest_path_length(Gi, v, (v, 1), weight): _dijkstra_multisource
    // from 2v, stopped when 2v + 1 is settled. With `bound`, stopped (nullopt)
    // once a settled distance is not below it: min() keeps the first least
    // length, so such a node cannot be the one chosen.
    Result<std::optional<double>> lift_length(Node v, std::optional<double> bound) {
        const Node source = 2 * v, target = 2 * v + 1;
        ++round_;
        if (weights_ == nullptr) return unit_lift_length(source, target, bound);
        heap_.clear();
        std::uint64_t counter = 0;
        seen_at_[source] = round_;
        seen_[source] = 0.0;
        heap_.push(NxOrder::key(0.0, counter++), source, 0);
        while (!heap_.empty()) {
            const auto top = heap_.pop();
            const Node x = top.node;
            if (settled_[x] == round_) continue;
            const double d = NxOrder::distance(top.key);
            if (bound && !(d < *bound)) return std::optional<double>{};
            settled_[x] = round_;
            if (x == target) return std::optional<double>{d};
            lifted_row(x, [&](Node y, double w) {
                if (settled_[y] == round_) return;  // weights are never negative
                const double length = d + w;
                // An entry that would pop at or past the bound ends the search
                // when it pops: left out, the heap runs dry instead.
                if (bound && !(length < *bound)) return;
                if (seen_at_[y] != round_ || length < seen_[y]) {
                    seen_at_[y] = round_;
                    seen_[y] = length;
                    heap_.push(NxOrder::key(length, counter++), y, 0);
                }
            });
        }
        if (bound) return std::optional<double>{};
        return internal_error("the lifted copy of a node is out of reach");
    }

    // Every weight 1: lengths are hop counts, exact whichever path Dijkstra
    // settles them by, so a breadth-first search finds the same length.
    Result<std::optional<double>> unit_lift_length(Node source, Node target, std::optional<double> bound) {
        queue_.assign(1, source);
        settled_[source] = round_;
        seen_[source] = 0.0;
        for (std::size_t head = 0; head < queue_.size(); ++head) {
            const Node x = queue_[head];
            const double d = seen_[x] + 1.0;
            if (bound && !(d < *bound)) return std::optional<double>{};
            bool reached = false;
            lifted_row(x, [&](Node y, double) {
                if (settled_[y] == round_) return;
                settled_[y] = round_;
                seen_[y] = d;
                queue_.push_back(y);
                reached = reached || y == target;
            });
            if (reached) return std::optional<double>{d};
        }
        return internal_error("the lifted copy of a node is out of reach");
    }

    // nx.shortest_path(Gi, v, (v, 1), weight): bidirectional_dijkstra, its
    // turns alternating on every pop (stale entries included), one counter
    // for both heaps, the meeting node the first with the least sum seen.
    Result<std::vector<Node>> lifted_path(Node v) {
        const Node ends[2] = {2 * v, 2 * v + 1};
        ++bd_round_;
        std::uint64_t counter = 0;
        for (int d = 0; d < 2; ++d) {
            fringe_[d].clear();
            bd_seen_at_[d][ends[d]] = bd_round_;
            bd_seen_[d][ends[d]] = 0.0;
            bd_pred_[d][ends[d]] = NONE;
            fringe_[d].push(NxOrder::key(0.0, counter++), ends[d], 0);
        }
        std::optional<double> final_dist;
        Node meet = NONE;
        int dir = 1;
        while (!fringe_[0].empty() && !fringe_[1].empty()) {
            dir = 1 - dir;
            const auto top = fringe_[dir].pop();
            const Node x = top.node;
            if (bd_settled_[dir][x] == bd_round_) continue;
            const double d = NxOrder::distance(top.key);
            bd_settled_[dir][x] = bd_round_;
            if (bd_settled_[1 - dir][x] == bd_round_) {
                std::vector<Node> path;
                for (Node y = meet; y != NONE; y = bd_pred_[0][y]) path.push_back(y);
                std::reverse(path.begin(), path.end());
                for (Node y = bd_pred_[1][meet]; y != NONE; y = bd_pred_[1][y]) path.push_back(y);
                return path;
            }
            lifted_row(x, [&](Node y, double w) {
                if (bd_settled_[dir][y] == bd_round_) return;
                const double length = d + w;
                if (bd_seen_at_[dir][y] != bd_round_ || length < bd_seen_[dir][y]) {
                    bd_seen_at_[dir][y] = bd_round_;
                    bd_seen_[dir][y] = length;
                    fringe_[dir].push(NxOrder::key(length, counter++), y, 0);
                    bd_pred_[dir][y] = x;
                    if (bd_seen_at_[1 - dir][y] == bd_round_) {
                        const double total = length + bd_seen_[1 - dir][y];
                        if (!final_dist || *final_dist > total) {
                            final_dist = total;
                            meet = y;
                        }
                    }
                }
            });
        }
        return internal_error("no lifted path closes the cycle");
    }

    // _min_cycle: the cycle of least lifted length through an odd number of
    // orth's edges, appended to the results; `cycle_edges` gets its edges.
    Status min_cycle(std::vector<std::uint32_t>& cycle_edges) {
        std::optional<double> best;
        Node start = NONE;
        for (const Node v : order_) {
            auto length = lift_length(v, best);
            if (!length.ok()) return length.error();
            if (length.value() && (!best || *length.value() < *best)) {
                best = length.value();
                start = v;
            }
        }
        auto lifted = lifted_path(start);
        if (!lifted.ok()) return lifted.error();
        const std::vector<Node>& path = lifted.value();
        // Edges walked twice cancel; the rest keep the orientation first met.
        std::unordered_map<std::uint64_t, std::pair<Node, Node>> kept;
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const Node a = path[i] >> 1, b = path[i + 1] >> 1;
            const std::uint64_t key = pair_key(std::min(a, b), std::max(a, b));
            if (!kept.erase(key)) kept.emplace(key, std::make_pair(a, b));
        }
        cycle_edges.clear();
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const Node a = path[i] >> 1, b = path[i + 1] >> 1;
            const std::uint64_t key = pair_key(std::min(a, b), std::max(a, b));
            const auto it = kept.find(key);
            if (it == kept.end()) continue;
            found_.nodes.push_back(it->second.second);
            cycle_edges.push_back(edge_of_.at(key));
            kept.erase(it);
        }
        found_.bounds.push_back(static_cast<Node>(found_.nodes.size()));
        return {};
    }

    const Csr& adj_;
    const std::vector<std::int64_t>& hashes_;
    const std::vector<double>* weights_;
    const Count n_;
    std::vector<char> done_;
    std::vector<Node> local_;                       // position in order_
    std::vector<std::vector<std::uint32_t>> inc_;   // edges at each node, in view order
    std::vector<std::size_t> row_start_;            // by position in order_: the node's entries in row_
    std::vector<Entry> row_;
    std::vector<Node> order_;                       // the subgraph's nodes
    std::vector<Edge> edges_;                       // the subgraph's edges, in view order
    std::unordered_map<std::uint64_t, std::uint32_t> edge_of_;
    std::vector<char> orth_;                        // edges of the vector being served
    std::uint32_t round_ = 0;
    std::vector<std::uint32_t> settled_, seen_at_;
    std::vector<double> seen_;
    std::vector<Node> queue_;
    Heap<NxOrder, true> heap_;
    std::uint32_t bd_round_ = 0;
    Heap<NxOrder, false> fringe_[2];
    std::vector<std::uint32_t> bd_settled_[2], bd_seen_at_[2];
    std::vector<double> bd_seen_[2];
    std::vector<Node> bd_pred_[2];
    CycleLists found_;
};

}  // namespace

Result<CycleLists> min_cycle_basis(const Csr& adj, const std::vector<std::int64_t>& hashes,
                                   const std::vector<double>* weights) {
    return CycleBasis(adj, hashes, weights).run();
}

std::unique_ptr<CycleCursor> johnson_cursor(Csr rows, std::vector<Node> path, std::optional<Count> length_bound) {
    return std::make_unique<JohnsonCursor>(std::move(rows), std::move(path), length_bound);
}

std::unique_ptr<CycleCursor> chordless_cursor(std::shared_ptr<ChordlessRows> rows, std::vector<Node> path,
                                              std::optional<Count> length_bound) {
    return std::make_unique<ChordlessCursor>(std::move(rows), std::move(path), length_bound);
}

}  // namespace fennel
