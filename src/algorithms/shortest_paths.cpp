// Shortest paths (see shortest_paths.hpp for the NetworkX functions
// reproduced, their orders and tie-breaks).
#include "algorithms/shortest_paths.hpp"

#include "algorithms/level_bfs.hpp"

#include "lib/pool.hpp"

#include <algorithm>

namespace fennel {

namespace {

// Records the settle order and refuses contradictory paths.
struct LengthPolicy {
    static constexpr bool SKIP_HIDDEN = true;
    std::optional<double> cutoff;
    DijkstraLengths& out;
    PathKinds kinds;

    bool within(double d) const { return !cutoff || !(d > *cutoff); }
    void settle(Node v, double d, Node) {
        out.order.push_back(v);
        out.dist.push_back(d);
        if (kinds.active()) out.kinds.push_back(kinds.of(v));
    }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        return {};
    }
    void improve(Node v, Node w, Slot s) { kinds.improve(v, w, s); }
    void tie(Node, Node, Slot) {}
};

// Predecessor lists built edge by edge: every (node, predecessor) pair in
// the order the search met it. A Dijkstra search restarts a node's list
// when it finds a strictly shorter distance; pairs logged before that restart
// no longer count.
class PredLog {
public:
    explicit PredLog(Count n) : valid_from_(n, NOT_REACHED) {}

    bool reached(Node w) const { return valid_from_[w] != NOT_REACHED; }
    void restart(Node w) {
        if (!reached(w)) order_.push_back(w);
        valid_from_[w] = nodes_.size();
    }
    void add(Node w, Node v) {
        nodes_.push_back(w);
        preds_.push_back(v);
    }

    // The valid pairs as rows, by a stable counting sort: each row keeps
    // the order in which its pairs were logged.
    PredLists finish() const {
        const std::size_t n = valid_from_.size();
        PredLists out;
        out.order = order_;
        out.reached.resize(n);
        for (std::size_t v = 0; v < n; ++v) out.reached[v] = valid_from_[v] != NOT_REACHED;
        Csr& rows = out.rows;
        rows.offsets.assign(n + 1, 0);
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (i >= valid_from_[nodes_[i]]) ++rows.offsets[nodes_[i] + 1];
        }
        for (std::size_t v = 0; v < n; ++v) rows.offsets[v + 1] += rows.offsets[v];
        rows.targets.resize(rows.offsets[n]);
        std::vector<Slot> fill(rows.offsets.begin(), rows.offsets.end() - 1);
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (i >= valid_from_[nodes_[i]]) rows.targets[fill[nodes_[i]]++] = preds_[i];
        }
        return out;
    }

private:
    static constexpr std::uint64_t NOT_REACHED = ~std::uint64_t{0};
    std::vector<Node> nodes_;
    std::vector<Node> preds_;
    std::vector<std::uint64_t> valid_from_;  // first log index that counts for each node
    std::vector<Node> order_;                // nodes in the order they were first reached
};

// dijkstra_predecessor_and_distance's bookkeeping: a strictly shorter
// distance restarts a node's list, an equal one (also into a node already
// settled, which zero-weight edges allow) appends to it.
struct PredecessorPolicy {
    static constexpr bool SKIP_HIDDEN = true;
    PredLog& log;

    bool within(double) const { return true; }
    void settle(Node, double, Node) {}
    Status settled_edge(Node v, Node w, double d, Slot, double settled) {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        if (d == settled) log.add(w, v);
        return {};
    }
    void improve(Node v, Node w, Slot) {
        log.restart(w);
        log.add(w, v);
    }
    void tie(Node v, Node w, Slot) { log.add(w, v); }
};

constexpr Node NO_NODE = 0xFFFFFFFFu;

// One direction of the bidirectional Dijkstra search (0 from the source
// along out-edges, 1 from the target along in-edges). Its heap keeps stale
// entries: NetworkX flips the direction before every pop, a stale one
// included, so the heaps must hold what its heaps hold. A node's parent is
// its latest improver; the best meeting is the least total over nodes seen
// from both sides, the earliest of equal totals.
using MeetingSearch = DijkstraSearch<NxOrder, true>;

struct MeetingPolicy {
    static constexpr bool SKIP_HIDDEN = true;
    const MeetingSearch& mine;
    const MeetingSearch& other;
    std::vector<Node>& parent;  // NO_NODE for the root
    double& best;
    Node& meet;

    void settle(Node, double, Node) {}
    // Both sides saw v, the second one while the first had it seen already,
    // so a meeting was recorded then.
    bool stop_after(Node v) const { return other.settled(v); }
    bool within(double) const { return true; }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return value_error("Contradictory paths found: negative weights?");
        return {};
    }
    void improve(Node v, Node w, Slot) {
        parent[w] = v;
        if (!other.seen(w)) return;
        const double total = mine.dist(w) + other.dist(w);
        if (meet == NO_NODE || best > total) {
            best = total;
            meet = w;
        }
    }
    void tie(Node, Node, Slot) {}
};

// Settle order with distances and parents; NetworkX's contradiction check
// after its cutoff filter; an optional target that ends the search.
struct TreePolicy {
    static constexpr bool SKIP_HIDDEN = true;
    std::optional<double> cutoff;
    std::optional<Node> target;
    DijkstraTree& out;
    PathKinds kinds;

    bool within(double d) const { return !cutoff || !(d > *cutoff); }
    void settle(Node v, double d, Node pred) {
        out.order.push_back(v);
        out.dist.push_back(d);
        out.parent.push_back(pred == v ? NO_PARENT : pred);  // only the source is its own
        if (kinds.active()) out.kinds.push_back(kinds.of(v));
    }
    bool stop_after(Node v) const { return target && v == *target; }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        return {};
    }
    void improve(Node v, Node w, Slot s) { kinds.improve(v, w, s); }
    void tie(Node, Node, Slot) {}
};

Result<DijkstraTree> search_dijkstra_tree(DijkstraState& state, const GraphView& view, Node source,
                                          std::optional<double> cutoff, std::optional<Node> target) {
    DijkstraTree out;
    TreePolicy policy{cutoff, target, out, PathKinds(view, view.out->node_count(), source)};
    if (Status st = state.run(view, source, policy); !st.ok()) return st.error();
    const auto seen = state.touched();
    out.first_seen.assign(seen.begin(), seen.end());
    return out;
}

// The tree's settle order, distances and kinds only, written in place into
// arrays that hold the node count, each entry published to the consumer
// beside the search once final. A stop requested at a publication ends the
// search.
struct BesidePolicy {
    static constexpr bool SKIP_HIDDEN = true;
    std::optional<double> cutoff;
    DijkstraTree& out;
    PathKinds kinds;
    Beside& beside;
    std::size_t step;
    std::size_t count = 0, shown = 0;
    bool stopped = false;

    bool within(double d) const { return !cutoff || !(d > *cutoff); }
    void settle(Node v, double d, Node) {
        out.order[count] = v;
        out.dist[count] = d;
        if (kinds.active()) out.kinds[count] = kinds.of(v);
        if (++count - shown < step) return;
        stopped = stop_requested();
        beside.publish(shown = count);
    }
    bool stop_after(Node) const { return stopped; }
    Status settled_edge(Node, Node, double d, Slot, double settled) const {
        if (d < settled) return Error{ErrorKind::NegativeCycle, "Contradictory paths found: negative weights?"};
        return {};
    }
    void improve(Node v, Node w, Slot s) { kinds.improve(v, w, s); }
    void tie(Node, Node, Slot) {}
};

}  // namespace

Result<std::size_t> dijkstra_into(const GraphView& view, Node source, std::optional<double> cutoff,
                                  DijkstraTree& out, Beside& beside) {
    const Count n = view.out->node_count();
    DijkstraState state(n);
    BesidePolicy policy{cutoff, out, PathKinds(view, n, source), beside, beside_step()};
    Status st = state.run(view, source, policy);
    if (policy.stopped) return interrupted();
    if (!st.ok()) return st.error();
    beside.publish(policy.count);
    return policy.count;
}

Result<DijkstraLengths> dijkstra_lengths(DijkstraState& state, const GraphView& view, Node source,
                                         std::optional<double> cutoff) {
    DijkstraLengths out;
    LengthPolicy policy{cutoff, out, PathKinds(view, view.out->node_count(), source)};
    if (Status st = state.run(view, source, policy); !st.ok()) return st.error();
    return out;
}

Result<PredLists> shortest_path_predecessors(const GraphView& view, Node source) {
    const Csr& rows = *view.out;
    const Count n = rows.node_count();
    PredLog log(n);
    log.restart(source);
    if (view.weights == nullptr) {
        // nx.predecessor: v joins the list of every neighbour one level
        // below it, the first such v also reaching that neighbour. No early
        // stop: later rows still add predecessors to the last level.
        BfsState state(n);
        state.run<false>(
            rows, source, BfsState::UNREACHED, [](Node v) { return v; },
            [&](Node v, Node w, bool shortest) {
                if (!shortest) return;
                if (!log.reached(w)) log.restart(w);
                log.add(w, v);
            });
    } else {
        DijkstraState state(n);
        PredecessorPolicy policy{log};
        if (Status st = state.run(view, source, policy); !st.ok()) return st.error();
    }
    return log.finish();
}

AllPaths::AllPaths(PredLists lists, Node source, Node target, bool skip_ends_pass)
    : pred_(std::move(lists.rows)),
      stack_{target},
      cursor_{pred_.begin(target)},
      on_stack_(pred_.node_count(), 0),
      source_(source),
      skip_ends_pass_(skip_ends_pass) {
    on_stack_[target] = 1;
}

bool AllPaths::next(std::vector<Node>& path) {
    // Invariant: stack_ is a simple path from the target through
    // predecessor edges; cursor_ of each entry is the next of its
    // predecessors to try.
    while (!stack_.empty()) {
        const Node top = stack_.back();
        if (!yielded_ && top == source_) {
            yielded_ = true;
            path.assign(stack_.rbegin(), stack_.rend());
            return true;
        }
        yielded_ = false;
        Slot& at = cursor_.back();
        for (;;) {
            if (at == pred_.end(top)) {
                on_stack_[top] = 0;
                stack_.pop_back();
                cursor_.pop_back();
                break;
            }
            const Node p = pred_.targets[at++];
            if (!on_stack_[p]) {
                on_stack_[p] = 1;
                stack_.push_back(p);
                cursor_.push_back(pred_.begin(p));
                break;
            }
            // A predecessor already on the path: NetworkX 3.6 ends the pass
            // here and looks at the same top again (yielding it anew if it
            // is the source); 3.7 moves on to the next predecessor.
            if (skip_ends_pass_) break;
        }
    }
    return false;
}

std::optional<MetPath> bidirectional_bfs(const Csr& forward, const Csr& back, Node source, Node target) {
    if (source == target) return MetPath{{source}, source};
    // parent[d][v]: v's neighbour one step nearer to d's root, the root
    // itself for the root; meaningful once side d reached v.
    const std::size_t n = forward.node_count();
    BfsState side[2] = {BfsState(n), BfsState(n)};
    std::vector<Node> parent[2] = {std::vector<Node>(n), std::vector<Node>(n)};
    parent[0][source] = source;
    parent[1][target] = target;
    side[0].start(source);
    side[1].start(target);
    const Csr* rows[2] = {&forward, &back};
    Node meet = NO_NODE;
    // NetworkX expands the smaller fringe, the forward one on a tie, and
    // meets at the first slot whose target the other side has reached.
    while (meet == NO_NODE && side[0].fringe() > 0 && side[1].fringe() > 0) {
        const int d = side[0].fringe() <= side[1].fringe() ? 0 : 1;
        const BfsState& other = side[1 - d];
        side[d].expand_level(*rows[d], [&](Node v, Node w, bool first) {
            if (first) parent[d][w] = v;
            if (other.level[w] == BfsState::UNREACHED) return false;
            meet = w;
            return true;
        });
    }
    if (meet == NO_NODE) return std::nullopt;
    std::vector<Node> path;
    for (Node v = meet;; v = parent[0][v]) {
        path.push_back(v);
        if (v == source) break;
    }
    std::reverse(path.begin(), path.end());
    for (Node v = meet; v != target;) {
        v = parent[1][v];
        path.push_back(v);
    }
    return MetPath{std::move(path), meet};
}

Result<std::optional<WeightedPath>> bidirectional_weighted(const GraphView& forward, const GraphView& back, Node source,
                                                           Node target) {
    if (source == target) return std::optional<WeightedPath>(WeightedPath{0.0, {source}, source});
    const std::size_t n = forward.out->node_count();
    MeetingSearch side[2] = {MeetingSearch(n), MeetingSearch(n)};
    std::vector<Node> parent[2] = {std::vector<Node>(n, NO_NODE), std::vector<Node>(n, NO_NODE)};
    const GraphView* views[2] = {&forward, &back};
    double best = 0.0;
    Node meet = NO_NODE;
    MeetingPolicy policy[2] = {{side[0], side[1], parent[0], best, meet}, {side[1], side[0], parent[1], best, meet}};
    // NetworkX pushes the roots with counters 0 and 1 and shares one counter
    // between the sides; keys are only compared within a side, where either
    // counting orders pushes alike.
    side[0].begin(source, 0);
    side[1].begin(target, 1);
    int d = 1;
    while (!side[0].empty() && !side[1].empty()) {
        d = 1 - d;
        if (Status st = side[d].step(*views[d], policy[d]); !st.ok()) return st.error();
        if (!side[d].stopped()) continue;
        if (meet == NO_NODE) return internal_error("bidirectional search settled a node without a meeting");
        WeightedPath out{best, {}, meet};
        for (Node u = meet; u != NO_NODE; u = parent[0][u]) out.path.push_back(u);
        std::reverse(out.path.begin(), out.path.end());
        for (Node u = parent[1][meet]; u != NO_NODE; u = parent[1][u]) out.path.push_back(u);
        return std::optional<WeightedPath>(std::move(out));
    }
    return std::optional<WeightedPath>();
}

BfsTree breadth_first_tree(BfsState& state, const Csr& rows, Node source, std::uint32_t max_level) {
    BfsTree out;
    out.parents.push_back(NO_PARENT);
    state.discover<true>(rows, source, max_level, [&](Node v, Node) { out.parents.push_back(v); });
    const auto order = state.order();
    out.order.assign(order.begin(), order.end());
    out.levels.reserve(order.size());
    for (Node v : order) out.levels.push_back(state.level[v]);
    return out;
}

// One search level by level, the queue written straight into the tree: a
// level of parallel_frontier() nodes or more is expanded on the pool
// (level_bfs.hpp), smaller ones by the serial loop. Either way a level lists
// the nodes in the order the previous level's rows reach them first, each with
// that first discoverer. Once every node is reached nothing is left to find,
// which is where NetworkX's length search stops too.
//
// With a consumer beside it, every entry is final once written, so the
// serial loop publishes its progress every beside_step() entries; a level
// expanded on the pool is final when the level is done. The consumer's
// thread is one of the call's, and works on no level.
Result<std::size_t> breadth_first_into(const Csr& rows, Node source, double cutoff, BfsTree& out, Beside* beside) {
    const std::size_t step = beside != nullptr ? beside_step() : 0;
    const Count n = rows.node_count();
    const std::uint32_t max_level = BfsState::below_cutoff(cutoff);
    const std::size_t level_threads = beside == nullptr ? pool_size() : pool_size() - 1;
    std::vector<std::uint8_t> seen(n, 0);  // a byte a node: the flags of a large graph stay in the cache
    seen[source] = 1;
    out.order[0] = source;
    out.levels[0] = 0;
    out.parents[0] = NO_PARENT;
    LevelExpander expander(n);
    std::size_t begin = 0, end = 1, shown = 0;
    for (std::uint32_t lv = 0; begin < end && lv < max_level && end < n; ++lv) {
        std::size_t next = end;
        if (LevelExpander::parallel(end - begin, level_threads)) {
            auto grown = expander.expand(
                rows, nullptr, out.order.data(), begin, end, [&](Node w) { return seen[w] == 0; },
                [&](std::size_t at, Node w, Node v) {
                    seen[w] = 1;
                    out.levels[at] = lv + 1;
                    out.parents[at] = v;
                });
            if (!grown.ok()) return grown.error();
            next = grown.value();
        } else {
            for (std::size_t i = begin; i < end; ++i) {
                prefetch_row_ahead(rows, out.order.data(), i, next);
                const Node v = out.order[i];
                for (Node w : rows.row(v)) {
                    if (seen[w]) continue;
                    seen[w] = 1;
                    out.order[next] = w;
                    out.levels[next] = lv + 1;
                    out.parents[next++] = v;
                }
                if (beside != nullptr && next - shown >= step) {
                    if (stop_requested()) return interrupted();
                    beside->publish(shown = next);
                }
            }
        }
        begin = end;
        end = next;
        if (beside != nullptr) beside->publish(shown = end);
    }
    if (beside != nullptr) beside->publish(end);
    return end;
}

void size_bfs_tree(BfsTree& tree, std::size_t size) {
    tree.order.resize(size);
    tree.levels.resize(size);
    tree.parents.resize(size);
}

Result<BfsTree> breadth_first_tree(const Csr& rows, Node source, double cutoff) {
    BfsTree out;
    size_bfs_tree(out, rows.node_count());
    Result<std::size_t> reached = breadth_first_into(rows, source, cutoff, out, nullptr);
    if (!reached.ok()) return reached.error();
    size_bfs_tree(out, reached.value());
    return out;
}

Result<std::vector<BfsTree>> bfs_tree_many(const Csr& rows, std::span<const Node> sources, double cutoff) {
    const std::uint32_t max_level = BfsState::below_cutoff(cutoff);
    return map_with_scratch(
        sources.size(), [&] { return BfsState(rows.node_count()); },
        [&](BfsState& state, std::size_t i) {
            BfsTree found = breadth_first_tree(state, rows, sources[i], max_level);
            add_progress(1);
            return found;
        });
}

Result<std::vector<std::optional<DijkstraLengths>>> dijkstra_many(const GraphView& view, std::span<const Node> sources,
                                                                  std::optional<double> cutoff) {
    const Count n = view.out->node_count();
    return map_with_scratch(
        sources.size(), [&] { return DijkstraState(n); },
        [&](DijkstraState& state, std::size_t i) -> std::optional<DijkstraLengths> {
            auto found = dijkstra_lengths(state, view, sources[i], cutoff);
            add_progress(1);
            if (!found.ok()) return std::nullopt;  // the search fails only on a negative cycle
            return std::move(found.value());
        });
}

Result<DijkstraTree> dijkstra_tree(const GraphView& view, Node source, std::optional<double> cutoff,
                                   std::optional<Node> target) {
    DijkstraState state(view.out->node_count());
    return search_dijkstra_tree(state, view, source, cutoff, target);
}

Result<std::vector<std::optional<DijkstraTree>>> dijkstra_tree_many(const GraphView& view,
                                                                     std::span<const Node> sources,
                                                                     std::optional<double> cutoff) {
    return map_with_scratch(
        sources.size(), [&] { return DijkstraState(view.out->node_count()); },
        [&](DijkstraState& state, std::size_t i) -> std::optional<DijkstraTree> {
            auto tree = search_dijkstra_tree(state, view, sources[i], cutoff, std::nullopt);
            if (!tree.ok()) return std::nullopt;  // the policy fails only on a negative cycle
            return std::move(tree.value());
        });
}

std::optional<DijkstraPath> tree_path(const DijkstraTree& tree, Node target) {
    // A parent settles before its child, so one backward scan of the settle
    // order meets every node of the path in turn.
    std::size_t i = tree.order.size();
    while (i > 0 && tree.order[i - 1] != target) --i;
    if (i-- == 0) return std::nullopt;
    DijkstraPath out{tree.dist[i], tree.kinds.empty() ? std::uint8_t{PY_INT} : tree.kinds[i], {target}};
    for (Node want = tree.parent[i]; want != NO_PARENT && i-- > 0;) {
        if (tree.order[i] == want) {
            out.path.push_back(want);
            want = tree.parent[i];
        }
    }
    std::reverse(out.path.begin(), out.path.end());
    return out;
}

}  // namespace fennel
