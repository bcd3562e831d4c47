// Shortest augmenting paths. Costs: O(n^2 m) as in NetworkX; each advance,
// retreat and relabel is O(1) amortised over the current-edge scans, with no
// hashing (R's rows hold edge ids).
#include "algorithms/shortestaugmentingpath.hpp"

#include <algorithm>
#include <cmath>

namespace fennel {

namespace {

FlowNumber py_min(FlowNumber a, FlowNumber b) { return b.value < a.value ? b : a; }
FlowNumber py_sub(FlowNumber a, FlowNumber b) { return {a.value - b.value, a.is_float || b.is_float}; }
FlowNumber py_add(FlowNumber a, FlowNumber b) { return {a.value + b.value, a.is_float || b.is_float}; }

}  // namespace

FlowRun shortest_augmenting_path(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, bool two_phase,
                                 double cutoff, HeightLabels* labels) {
    const Count n = r.n;
    const auto big_n = static_cast<std::int64_t>(n);
    auto residual_left = [&](Slot e) { return flow[e].value < r.capacity[e].value; };
    FlowRun run;  // flow_value = 0, an int

    // heights = {t: 0}: a breadth-first search along R.pred rows over
    // edges with residual capacity; -1 marks a node not in heights.
    std::vector<std::int64_t> height(n, -1);
    std::vector<Node> queue{t};
    height[t] = 0;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const Node u = queue[i];
        for (Node e : r.pred.row(u)) {
            const Node v = r.tail[e];
            if (height[v] < 0 && residual_left(e)) {
                height[v] = height[u] + 1;
                queue.push_back(v);
            }
        }
    }
    if (height[s] < 0) return run;  // t out of reach: R keeps no heights

    for (Node u = 0; u < n; ++u) {
        if (height[u] < 0) height[u] = big_n;
    }
    std::vector<std::uint32_t> current(n, 0);
    std::vector<std::int64_t> counts(2 * n - 1, 0);
    for (Node u = 0; u < n; ++u) ++counts[height[u]];
    auto finish = [&] {
        if (labels != nullptr) {
            labels->labelled = true;
            labels->height = std::move(height);
            labels->current = std::move(current);
        }
        return run;
    };

    // relabel(u): one more than the lowest height over u's residual edges,
    // n - 1 at most before the increment.
    auto relabel = [&](Node u) {
        std::int64_t lowest = big_n - 1;
        for (Node e : r.succ.row(u)) {
            if (residual_left(e)) lowest = std::min(lowest, height[r.head[e]]);
        }
        return lowest + 1;
    };

    // d: n, or int(min(m ** 0.5, 2 * n ** (2.0 / 3))) with m = R.size() / 2.
    std::int64_t d = big_n;
    if (two_phase) {
        const double m = static_cast<double>(r.tail.size()) / 2;
        const double a = std::pow(m, 0.5);
        const double b = 2 * std::pow(static_cast<double>(n), 2.0 / 3);
        d = static_cast<std::int64_t>(b < a ? b : a);
    }

    // Phase 1: the path from s as nodes and the edges joining them.
    std::vector<Node> path{s};
    std::vector<Slot> path_edges;
    Node u = s;
    bool done = height[s] >= d;
    while (!done) {
        std::int64_t h = height[u];
        for (;;) {
            auto row = r.succ.row(u);
            const Slot e = row[current[u]];
            const Node v = r.head[e];
            if (h == height[v] + 1 && residual_left(e)) {
                // Advance along an admissible edge.
                path.push_back(v);
                path_edges.push_back(e);
                u = v;
                break;
            }
            // curr_edge.move_to_next(): past the row's end it rewinds and
            // raises StopIteration, and u is relabelled.
            if (++current[u] < row.size()) continue;
            current[u] = 0;
            if (--counts[h] == 0) return finish();  // the gap heuristic: a minimum cut
            h = relabel(u);
            if (u == s && h >= d) {
                if (!two_phase) return finish();
                done = true;  // s is at least d away from t: phase 2
                break;
            }
            ++counts[h];
            height[u] = h;
            if (u != s) {
                // Retreat one step from the no longer admissible edge.
                path.pop_back();
                path_edges.pop_back();
                u = path.back();
                break;
            }
        }
        if (u == t) {
            // augment(path): the smallest residual capacity, from inf on.
            FlowNumber least = r.inf;
            for (Slot e : path_edges) least = py_min(least, py_sub(r.capacity[e], flow[e]));
            if (least.value * 2 > r.inf.value) {
                run.unbounded = true;
                return run;
            }
            for (Slot e : path_edges) {
                flow[e] = py_add(flow[e], least);
                const Slot back = r.reverse[e];
                flow[back] = py_sub(flow[back], least);
            }
            run.value = py_add(run.value, least);
            if (run.value.value >= cutoff) return finish();
            path.assign(1, s);
            path_edges.clear();
            u = s;
        }
    }

    // Phase 2: Edmonds–Karp's breadth-first augmenting paths up to
    // cutoff - flow_value (a Python int or float subtraction, as here).
    const FlowRun rest = edmonds_karp(r, flow, s, t, cutoff - run.value.value);
    if (rest.unbounded) {
        run.unbounded = true;
        return run;
    }
    run.value = py_add(run.value, rest.value);
    return finish();
}

}  // namespace fennel
