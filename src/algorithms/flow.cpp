// The residual network and Edmonds–Karp. Costs: O(n + m) to build R (one
// hash lookup per edge of G), O(visited rows) per augmenting-path search,
// O(n m^2) in all as in NetworkX.
#include "algorithms/flow.hpp"

#include <algorithm>

namespace fennel {

namespace {

// Python's min(a, b): b only when b < a.
FlowNumber py_min(FlowNumber a, FlowNumber b) { return b.value < a.value ? b : a; }
FlowNumber py_sub(FlowNumber a, FlowNumber b) { return {a.value - b.value, a.is_float || b.is_float}; }
FlowNumber py_add(FlowNumber a, FlowNumber b) { return {a.value + b.value, a.is_float || b.is_float}; }

// Rows of `ends` (one entry per edge id, in id order): row x lists the ids
// of the edges whose end is x, in id order, which is insertion order.
Csr rows_by(Count n, const std::vector<Node>& ends) {
    Csr rows;
    rows.offsets.assign(n + 1, 0);
    for (Node x : ends) ++rows.offsets[x + 1];
    for (Count x = 0; x < n; ++x) rows.offsets[x + 1] += rows.offsets[x];
    rows.targets.resize(ends.size());
    std::vector<Slot> next(rows.offsets.begin(), rows.offsets.end() - 1);
    for (Slot e = 0; e < ends.size(); ++e) rows.targets[next[ends[e]]++] = static_cast<Node>(e);
    return rows;
}

// For each edge i = (u, v) of G.edges kept in R, the earlier kept edge
// (v, u), whose insertion made R's edge u -> v, or NONE. Kept edges are
// grouped by their smaller end, in edge order, and within a group the first
// edge met at each larger end is remembered: O(n + m), no hashing.
std::vector<Slot> earlier_reversals(Count n, const std::vector<Node>& us, const std::vector<Node>& vs,
                                    const std::vector<std::uint8_t>& codes) {
    constexpr Slot NONE = ~Slot{0};
    const Slot m = us.size();
    std::vector<Node> lower(m);
    std::vector<Slot> kept;
    kept.reserve(m);
    for (Slot i = 0; i < m; ++i) {
        if (codes[i] == CAP_DROPPED) continue;
        lower[i] = std::min(us[i], vs[i]);
        kept.push_back(i);
    }
    Csr groups;
    groups.offsets.assign(n + 1, 0);
    for (Slot i : kept) ++groups.offsets[lower[i] + 1];
    for (Count x = 0; x < n; ++x) groups.offsets[x + 1] += groups.offsets[x];
    groups.targets.resize(kept.size());
    std::vector<Slot> next(groups.offsets.begin(), groups.offsets.end() - 1);
    std::vector<Slot> ids(kept.size());
    for (Slot i : kept) ids[next[lower[i]]++] = i;

    std::vector<Slot> partner(m, NONE);
    std::vector<Node> seen_in(n, 0);  // the group x + 1 that last met this larger end
    std::vector<Slot> first(n, NONE);
    for (Count x = 0; x < n; ++x) {
        for (Slot k = groups.offsets[x]; k < groups.offsets[x + 1]; ++k) {
            const Slot i = ids[k];
            const Node w = std::max(us[i], vs[i]);
            if (seen_in[w] == x + 1) {
                partner[i] = first[w];
            } else {
                seen_in[w] = static_cast<Node>(x + 1);
                first[w] = i;
            }
        }
    }
    return partner;
}

}  // namespace

Residual build_residual(Count n, bool directed, const std::vector<Node>& us, const std::vector<Node>& vs,
                        const std::vector<std::uint8_t>& codes, const std::vector<double>& values, FlowNumber inf) {
    Residual r;
    r.n = n;
    r.inf = inf;
    const std::size_t arcs = 2 * us.size();
    r.tail.reserve(arcs);
    r.head.reserve(arcs);
    r.capacity.reserve(arcs);
    r.origin.reserve(arcs);
    r.reverse.reserve(arcs);
    auto add = [&](Node u, Node v, FlowNumber cap, std::int64_t origin) {
        const Slot e = r.tail.size();
        r.tail.push_back(u);
        r.head.push_back(v);
        r.capacity.push_back(cap);
        r.origin.push_back(origin);
        return e;
    };
    const std::vector<Slot> partner = directed ? earlier_reversals(n, us, vs, codes) : std::vector<Slot>{};
    std::vector<Slot> forward_of(directed ? us.size() : 0);
    for (std::size_t i = 0; i < us.size(); ++i) {
        const std::uint8_t code = codes[i];
        if (code == CAP_DROPPED) continue;
        const Node u = us[i], v = vs[i];
        // min(attr.get(capacity, inf), inf): a finite capacity is at most a
        // third of inf, so min keeps it.
        const FlowNumber cap = code == CAP_INFINITE ? inf : FlowNumber{values[i], code == CAP_FLOAT};
        const auto origin = static_cast<std::int64_t>(i);
        if (directed) {
            if (partner[i] != ~Slot{0}) {
                // (u, v) came in with (v, u), just after it: only its capacity changes.
                const Slot found = forward_of[partner[i]] + 1;
                r.capacity[found] = cap;
                r.origin[found] = origin;
                continue;
            }
            const Slot forward = add(u, v, cap, origin);
            const Slot backward = add(v, u, FlowNumber{}, -1);
            forward_of[i] = forward;
            r.reverse.push_back(backward);
            r.reverse.push_back(forward);
        } else {
            const Slot forward = add(u, v, cap, origin);
            const Slot backward = add(v, u, cap, origin);
            r.reverse.push_back(backward);
            r.reverse.push_back(forward);
        }
    }
    r.flow.assign(r.tail.size(), FlowNumber{});
    r.succ = rows_by(n, r.tail);
    r.pred = rows_by(n, r.head);
    return r;
}

std::vector<FlowNumber> flows_by_slot(const CoreGraph& g, const Residual& r, const std::vector<FlowNumber>& flow) {
    PairIndex index;
    index.reserve(r.tail.size());
    for (Slot e = 0; e < r.tail.size(); ++e) index.insert(PairIndex::key(r.tail[e], r.head[e]), e);
    std::vector<FlowNumber> out(g.succ.slot_count(), FlowNumber{});
    for (Node u = 0; u < g.n; ++u) {
        for (Slot slot = g.succ.begin(u); slot < g.succ.end(u); ++slot) {
            const Slot e = index.find(PairIndex::key(u, g.succ.targets[slot]));
            if (e != PairIndex::NONE && flow[e].value > 0) out[slot] = flow[e];
        }
    }
    return out;
}

FlowRun edmonds_karp(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff) {
    const Count n = r.n;
    constexpr Slot NONE = ~Slot{0};
    // pred and succ of bidirectional_bfs: the edge each node was reached
    // by, valid while its stamp is the current search's.
    std::vector<Slot> pred_edge(n, NONE), succ_edge(n, NONE);
    std::vector<std::uint32_t> in_pred(n, 0), in_succ(n, 0);
    std::uint32_t stamp = 0;
    std::vector<Node> q_s, q_t, q;
    std::vector<Slot> path;

    auto residual_left = [&](Slot e) { return flow[e].value < r.capacity[e].value; };
    // One bidirectional_bfs: the meeting node, or NONE-as-node when t is
    // out of reach.
    auto search = [&]() -> std::int64_t {
        ++stamp;
        in_pred[s] = stamp;
        pred_edge[s] = NONE;
        in_succ[t] = stamp;
        succ_edge[t] = NONE;
        q_s.assign(1, s);
        q_t.assign(1, t);
        for (;;) {
            q.clear();
            if (q_s.size() <= q_t.size()) {
                for (Node u : q_s) {
                    for (Node e : r.succ.row(u)) {
                        const Node v = r.head[e];
                        if (in_pred[v] != stamp && residual_left(e)) {
                            in_pred[v] = stamp;
                            pred_edge[v] = e;
                            if (in_succ[v] == stamp) return v;
                            q.push_back(v);
                        }
                    }
                }
                if (q.empty()) return -1;
                std::swap(q_s, q);
            } else {
                for (Node u : q_t) {
                    for (Node e : r.pred.row(u)) {
                        const Node v = r.tail[e];
                        if (in_succ[v] != stamp && residual_left(e)) {
                            in_succ[v] = stamp;
                            succ_edge[v] = e;
                            if (in_pred[v] == stamp) return v;
                            q.push_back(v);
                        }
                    }
                }
                if (q.empty()) return -1;
                std::swap(q_t, q);
            }
        }
    };

    FlowRun run;  // flow_value = 0, an int
    while (run.value.value < cutoff) {
        const std::int64_t met = search();
        if (met < 0) break;
        // The path's edges from s to t: back from the meeting node along
        // pred, then on along succ.
        path.clear();
        for (Node u = static_cast<Node>(met); u != s; u = r.tail[pred_edge[u]]) path.push_back(pred_edge[u]);
        std::reverse(path.begin(), path.end());
        for (Node u = static_cast<Node>(met); u != t; u = r.head[succ_edge[u]]) path.push_back(succ_edge[u]);
        // augment(path): the smallest residual capacity, from inf on.
        FlowNumber least = r.inf;
        for (Slot e : path) least = py_min(least, py_sub(r.capacity[e], flow[e]));
        if (least.value * 2 > r.inf.value) {
            run.unbounded = true;
            return run;
        }
        for (Slot e : path) {
            flow[e] = py_add(flow[e], least);
            const Slot back = r.reverse[e];
            flow[back] = py_sub(flow[back], least);
        }
        run.value = py_add(run.value, least);
    }
    return run;
}

std::vector<Node> reaching_target(const Residual& r, const std::vector<FlowNumber>& flow, Node t, bool spare) {
    std::vector<std::uint8_t> seen(r.n, 0);
    std::vector<Node> order{t};
    seen[t] = 1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (Node e : r.pred.row(order[i])) {
            const Node w = r.tail[e];
            const bool closed = spare ? !(flow[e].value < r.capacity[e].value) : flow[e].value == r.capacity[e].value;
            if (seen[w] || closed) continue;
            seen[w] = 1;
            order.push_back(w);
        }
    }
    return order;
}

}  // namespace fennel
