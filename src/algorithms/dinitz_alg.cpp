// Dinitz's blocking flows. Costs: O(n^2 m) as in NetworkX; one phase is a
// breadth-first search over R and a depth-first search whose pops each
// drop a parent entry, with no hashing (parents carry the edge ids).
#include "algorithms/dinitz_alg.hpp"

#include <limits>
#include <vector>

namespace fennel {

namespace {

FlowNumber py_min(FlowNumber a, FlowNumber b) { return b.value < a.value ? b : a; }
FlowNumber py_sub(FlowNumber a, FlowNumber b) { return {a.value - b.value, a.is_float || b.is_float}; }
FlowNumber py_add(FlowNumber a, FlowNumber b) { return {a.value + b.value, a.is_float || b.is_float}; }

constexpr std::uint32_t NONE = std::numeric_limits<std::uint32_t>::max();

}  // namespace

DinitzRun dinitz(const Residual& r, std::vector<FlowNumber>& flow, Node s, Node t, double cutoff) {
    const Count n = r.n;
    DinitzRun out;
    auto left_over = [&](Slot e) { return r.capacity[e].value - flow[e].value; };

    // parents: each key's deque as a linked list of entries (the parent
    // node and the edge parent -> key), `first` its front, `last` its back;
    // a node is a key while its stamp is the phase's.
    std::vector<std::uint32_t> stamp(n, 0), first(n, NONE), last(n, NONE);
    std::vector<std::int64_t> dist(n, 0);  // vertex_dist
    std::vector<Node> entry_node;
    std::vector<Slot> entry_edge;
    std::vector<std::uint32_t> entry_next;
    std::vector<std::pair<Node, std::int64_t>> queue;
    std::vector<Node> path;
    std::vector<Slot> path_edges;  // path_edges[i]: the edge path[i + 1] -> path[i]
    std::uint32_t phase = 0;

    auto add_parent = [&](Node v, Node u, Slot e) {
        const auto id = static_cast<std::uint32_t>(entry_node.size());
        entry_node.push_back(u);
        entry_edge.push_back(e);
        entry_next.push_back(NONE);
        if (first[v] == NONE) {
            first[v] = id;
        } else {
            entry_next[last[v]] = id;
        }
        last[v] = id;
    };
    // parents[v].popleft(): false where the deque is empty (NetworkX's IndexError).
    auto pop_parent = [&](Node v) {
        if (first[v] == NONE) return false;
        first[v] = entry_next[first[v]];
        return true;
    };

    auto breadth_first_search = [&] {
        ++phase;
        entry_node.clear();
        entry_edge.clear();
        entry_next.clear();
        queue.assign(1, {s, 0});
        dist[s] = 0;  // vertex_dist = {s: 0}; s is no key of parents
        for (std::size_t head = 0; head < queue.size(); ++head) {
            if (stamp[t] == phase) break;
            const auto [u, d] = queue[head];
            for (Node e : r.succ.row(u)) {
                if (!(left_over(e) > 0)) continue;
                const Node v = r.head[e];
                if (stamp[v] == phase) {
                    if (dist[v] == d + 1) add_parent(v, u, e);
                } else {
                    stamp[v] = phase;
                    first[v] = last[v] = NONE;
                    add_parent(v, u, e);
                    dist[v] = d + 1;
                    queue.emplace_back(v, d + 1);
                }
            }
        }
        return stamp[t] == phase;
    };

    // One depth-first search over the parents: the phase's flow, or
    // key_error set.
    auto depth_first_search = [&]() -> FlowNumber {
        FlowNumber total;
        Node u = t;
        path.assign(1, t);
        path_edges.clear();
        for (;;) {
            if (stamp[u] != phase) {
                out.key_error = true;
                return total;
            }
            Node v;
            if (first[u] != NONE) {
                v = entry_node[first[u]];
                path.push_back(v);
                path_edges.push_back(entry_edge[first[u]]);
            } else {
                path.pop_back();
                if (path.empty()) break;
                path_edges.pop_back();
                v = path.back();
                if (!pop_parent(v)) {
                    out.index_error = true;
                    return total;
                }
            }
            if (v == s) {
                // The smallest residual capacity from t back to s, then the
                // augmentation from s on; a saturated edge drops its parent
                // entry and cuts the path back to its head.
                FlowNumber least = r.inf;
                for (Slot e : path_edges) least = py_min(least, py_sub(r.capacity[e], flow[e]));
                for (std::size_t i = path_edges.size(); i-- > 0;) {
                    const Slot e = path_edges[i];
                    const Node head = path[i];
                    flow[e] = py_add(flow[e], least);
                    const Slot back = r.reverse[e];
                    flow[back] = py_sub(flow[back], least);
                    if (left_over(e) == 0) {
                        if (!pop_parent(head)) {
                            out.index_error = true;
                            return total;
                        }
                        while (path.back() != head) {
                            path.pop_back();
                            path_edges.pop_back();
                        }
                    }
                }
                total = py_add(total, least);
                v = path.back();
            }
            u = v;
        }
        return total;
    };

    // cutoff is R.graph['inf'] for None: the caller passes it.
    while (out.run.value.value < cutoff) {
        if (!breadth_first_search()) break;
        const FlowNumber this_flow = depth_first_search();
        if (out.key_error || out.index_error) return out;
        if (this_flow.value * 2 > r.inf.value) {
            out.run.unbounded = true;
            return out;
        }
        out.run.value = py_add(out.run.value, this_flow);
    }
    return out;
}

}  // namespace fennel
