// Highest-label preflow-push as preflow_push_impl runs it. Costs as in
// NetworkX: O(n^2 sqrt(m)) pushes and relabels, O(n + m) per global
// relabelling, and each arbitrary_element a scan of its set's table.
#include "algorithms/preflowpush.hpp"

#include "algorithms/set_table.hpp"

#include <algorithm>
#include <limits>

namespace fennel {

namespace {

FlowNumber py_min(FlowNumber a, FlowNumber b) { return b.value < a.value ? b : a; }
FlowNumber py_sub(FlowNumber a, FlowNumber b) { return {a.value - b.value, a.is_float || b.is_float}; }
FlowNumber py_add(FlowNumber a, FlowNumber b) { return {a.value + b.value, a.is_float || b.is_float}; }

// A step where NetworkX raises (an index past its levels, a KeyError, min()
// of nothing: float rounding can leave an excess on a node whose edges are
// all saturated) sets `failed_`; the run stops there and is reported, so
// that NetworkX's own run raises its error. (A flag, not an exception: no
// C++ exception crosses this code.)

// utils.Level: the active and inactive nodes of one height.
struct Level {
    SetTable active, inactive;
};

class PreflowPush {
public:
    PreflowPush(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t,
                const std::vector<std::int64_t>& hash, double freq, PreflowNodes& nodes)
        : r_(r), flow_(flow), s_(s), t_(t), hash_(hash), n_(static_cast<std::int64_t>(r.n)),
          excess_(nodes.excess), height_(nodes.height), current_(nodes.current), dist_(r.n, -1) {
        // GlobalRelabelThreshold: (n + m) / freq, or inf when freq is falsy.
        const double nm = static_cast<double>(r.n + r.tail.size());
        threshold_ = freq != 0.0 ? nm / freq : std::numeric_limits<double>::infinity();
    }

    // preflow_push_impl after its checks and detect_unboundedness.
    FlowRun run(bool value_only, bool& labelled) {
        // Initialize/reset the residual network.
        excess_.assign(r_.n, FlowNumber{});
        flow_.assign(r_.tail.size(), FlowNumber{});
        FlowRun result;
        // Initialize heights of the nodes.
        reverse_bfs(t_);
        if (dist_[s_] < 0) return result;  // flow_value = 0
        labelled = true;
        // max_height: the highest BFS height below n, s aside.
        std::int64_t max_height = 0;
        for (Node u : order_) {
            if (u != s_) max_height = std::max(max_height, dist_[u]);
        }
        height_.assign(r_.n, n_ + 1);
        for (Node u : order_) height_[u] = dist_[u];
        height_[s_] = n_;
        current_.assign(r_.n, 0);
        // Saturate every edge out of s, in R.succ[s]'s order.
        for (Node e : r_.succ.row(s_)) {
            const FlowNumber f = r_.capacity[e];
            if (f.value > 0) push(e, f);
        }
        // Partition nodes into levels, in R's node order.
        levels_.resize(static_cast<std::size_t>(2 * n_));
        for (Node u = 0; u < r_.n; ++u) {
            if (u == s_ || u == t_) continue;
            Level& level = at(height_[u]);
            if (failed_) return result;
            if (excess_[u].value > 0) {
                level.active.add(u, hash_[u]);
            } else {
                level.inactive.add(u, hash_[u]);
            }
        }

        // Phase 1: a maximum preflow, discharging the highest active level
        // first and each level's nodes by arbitrary_element (the first entry
        // of the set's table).
        std::int64_t height = max_height;
        while (height > 0) {
            for (;;) {
                Level& level = at(height);
                if (failed_) return result;
                if (level.active.size() == 0) {
                    --height;
                    break;
                }
                const std::int64_t old_height = height;
                height = discharge(level.active.first(), true);
                if (failed_) return result;
                if (reached()) {
                    height = global_relabel(true);
                    if (failed_) return result;
                    max_height = height;
                    work_ = 0;
                } else if (at(old_height).active.size() == 0 && at(old_height).inactive.size() == 0) {
                    gap_heuristic(old_height, max_height);
                    if (failed_) return result;
                    height = old_height - 1;
                    max_height = height;
                } else {
                    max_height = std::max(max_height, height);
                }
            }
        }
        if (!value_only) {
            // Phase 2: the excess returns to s, from exact heights.
            height = global_relabel(false);
            if (failed_) return result;
            work_ = 0;
            while (height > n_) {
                for (;;) {
                    Level& level = at(height);
                    if (failed_) return result;
                    if (level.active.size() == 0) {
                        --height;
                        break;
                    }
                    height = discharge(level.active.first(), false);
                    if (failed_) return result;
                    if (reached()) {
                        height = global_relabel(false);
                        if (failed_) return result;
                        work_ = 0;
                    }
                }
            }
        }
        result.value = excess_[t_];
        return result;
    }

private:
public:
    bool failed() const { return failed_; }

private:
    // levels[height]: past the list NetworkX raises IndexError; an empty
    // stand-in level is handed back and the run stops.
    Level& at(std::int64_t height) {
        if (height < 0 || height >= static_cast<std::int64_t>(levels_.size())) {
            failed_ = true;
            spare_ = Level{};
            return spare_;
        }
        return levels_[static_cast<std::size_t>(height)];
    }

    bool residual_left(Node e) const { return flow_[e].value < r_.capacity[e].value; }
    bool reached() const { return static_cast<double>(work_) >= threshold_; }

    // set.remove of a member: KeyError otherwise.
    void remove(SetTable& set, Node u) {
        if (!set.contains(u, hash_[u])) {
            failed_ = true;
            return;
        }
        set.discard(u, hash_[u]);
    }

    // reverse_bfs(src): the heights dict in insertion order (order_) with
    // its values (dist_), along R.pred over edges with flow < capacity.
    void reverse_bfs(Node src) {
        for (Node u : order_) dist_[u] = -1;
        order_.assign(1, src);
        dist_[src] = 0;
        for (std::size_t i = 0; i < order_.size(); ++i) {
            const Node u = order_[i];
            const std::int64_t height = dist_[u] + 1;
            for (Node e : r_.pred.row(u)) {
                const Node v = r_.tail[e];
                if (dist_[v] < 0 && residual_left(e)) {
                    dist_[v] = height;
                    order_.push_back(v);
                }
            }
        }
    }

    // push(u, v, flow) along edge e = u -> v.
    void push(Node e, FlowNumber f) {
        const Node u = r_.tail[e], v = r_.head[e];
        flow_[e] = py_add(flow_[e], f);
        const Slot back = r_.reverse[e];
        flow_[back] = py_sub(flow_[back], f);
        excess_[u] = py_sub(excess_[u], f);
        excess_[v] = py_add(excess_[v], f);
    }

    void activate(Node v) {
        if (v == s_ || v == t_) return;
        Level& level = at(height_[v]);
        if (level.inactive.contains(v, hash_[v])) {
            level.inactive.discard(v, hash_[v]);
            level.active.add(v, hash_[v]);
        }
    }

    // relabel(u): one more than the lowest height across a residual edge.
    std::int64_t relabel(Node u) {
        const auto row = r_.succ.row(u);
        work_ += row.size();
        std::int64_t least = std::numeric_limits<std::int64_t>::max();
        bool any = false;
        for (Node e : row) {
            if (residual_left(e)) {
                least = std::min(least, height_[r_.head[e]]);
                any = true;
            }
        }
        if (!any) {
            failed_ = true;
            return 0;
        }
        return least + 1;
    }

    // discharge(u, is_phase1): pushes along the current edge while it is
    // admissible, moving on in the row and relabelling on wraparound.
    std::int64_t discharge(Node u, bool is_phase1) {
        std::int64_t height = height_[u];
        const auto row = r_.succ.row(u);
        if (row.size() == 0) {  // CurrentEdge.get() of an empty row
            failed_ = true;
            return 0;
        }
        std::int64_t next_height = height;
        remove(at(height).active, u);
        if (failed_) return 0;
        Slot& current = current_[u];
        for (;;) {
            const Node e = row[current];
            const Node v = r_.head[e];
            if (height == height_[v] + 1 && residual_left(e)) {
                push(e, py_min(excess_[u], py_sub(r_.capacity[e], flow_[e])));
                activate(v);
                if (failed_) return 0;
                if (excess_[u].value == 0) {
                    at(height).inactive.add(u, hash_[u]);
                    break;
                }
            }
            // move_to_next: past the row's end it rewinds, then relabels.
            if (++current < row.size()) continue;
            current = 0;
            height = relabel(u);
            if (failed_) return 0;
            if (is_phase1 && height >= n_ - 1) {
                // On the s side of the minimum cut: parked until phase 2.
                Level& parked = at(height);
                if (failed_) return 0;
                parked.active.add(u, hash_[u]);
                break;
            }
            next_height = height;
        }
        height_[u] = height;
        return next_height;
    }

    // gap_heuristic(height): levels height + 1 .. max_height move to n + 1,
    // each set merged into level n + 1's and cleared.
    void gap_heuristic(std::int64_t height, std::int64_t max_height) {
        const std::int64_t end = std::min<std::int64_t>(max_height + 1, static_cast<std::int64_t>(levels_.size()));
        for (std::int64_t h = height + 1; h < end; ++h) {
            Level& level = levels_[static_cast<std::size_t>(h)];
            level.active.each([&](Node u) { height_[u] = n_ + 1; });
            level.inactive.each([&](Node u) { height_[u] = n_ + 1; });
            Level& top = at(n_ + 1);
            top.active.merge(level.active);
            level.active.clear();
            top.inactive.merge(level.inactive);
            level.inactive.clear();
        }
    }

    // global_relabel(from_sink): exact heights from a reverse search from t
    // (nodes out of its reach and below n go to n + 1) or from s (shifted by
    // n, t left out), each changed node moved between levels in the heights
    // dict's order.
    std::int64_t global_relabel(bool from_sink) {
        const Node src = from_sink ? t_ : s_;
        reverse_bfs(src);
        if (!from_sink && dist_[t_] < 0) {  // del heights[t]
            failed_ = true;
            return 0;
        }
        std::int64_t max_height = std::numeric_limits<std::int64_t>::min();
        for (Node u : order_) {
            if (from_sink || u != t_) max_height = std::max(max_height, dist_[u]);
        }
        moves_.clear();
        for (Node u : order_) {
            if (u == src || (!from_sink && u == t_)) continue;
            moves_.emplace_back(u, from_sink ? dist_[u] : dist_[u] + n_);
        }
        if (from_sink) {
            for (Node u = 0; u < r_.n; ++u) {
                if (dist_[u] < 0 && height_[u] < n_) moves_.emplace_back(u, n_ + 1);
            }
        } else {
            max_height += n_;
        }
        for (const auto& [u, new_height] : moves_) {
            const std::int64_t old_height = height_[u];
            if (new_height == old_height) continue;
            Level& old_level = at(old_height);
            if (failed_) return 0;
            if (old_level.active.contains(u, hash_[u])) {
                old_level.active.discard(u, hash_[u]);
                at(new_height).active.add(u, hash_[u]);
            } else {
                remove(old_level.inactive, u);
                if (failed_) return 0;
                at(new_height).inactive.add(u, hash_[u]);
            }
            if (failed_) return 0;
            height_[u] = new_height;
        }
        return max_height;
    }

    const Residual& r_;
    std::vector<FlowNumber>& flow_;
    const Node s_, t_;
    const std::vector<std::int64_t>& hash_;
    const std::int64_t n_;
    std::vector<FlowNumber>& excess_;
    std::vector<std::int64_t>& height_;
    std::vector<Slot>& current_;
    std::vector<std::int64_t> dist_;
    std::vector<Node> order_;
    std::vector<std::pair<Node, std::int64_t>> moves_;
    std::vector<Level> levels_;
    Level spare_;
    double threshold_ = 0.0;
    std::uint64_t work_ = 0;
    bool failed_ = false;
};

}  // namespace

bool infinite_path(const Residual& r, Node s, Node t) {
    std::vector<std::uint8_t> seen(r.n, 0);
    std::vector<Node> queue{s};
    seen[s] = 1;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        for (Node e : r.succ.row(queue[i])) {
            const Node v = r.head[e];
            if (r.capacity[e].value != r.inf.value || seen[v]) continue;
            if (v == t) return true;
            seen[v] = 1;
            queue.push_back(v);
        }
    }
    return false;
}

FlowRun preflow_push(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t,
                     const std::vector<std::int64_t>& hash, double freq, bool value_only, PreflowNodes& nodes) {
    nodes.labelled = nodes.failed = false;
    if (infinite_path(r, s, t)) {
        FlowRun run;
        run.unbounded = true;
        return run;
    }
    PreflowPush algorithm(r, flow, s, t, hash, freq, nodes);
    FlowRun run = algorithm.run(value_only, nodes.labelled);
    if (algorithm.failed()) {
        nodes.failed = true;
        return FlowRun{};
    }
    return run;
}

}  // namespace fennel
