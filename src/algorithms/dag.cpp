// NetworkX's topological_generations (Kahn's layering): a generation is the
// nodes whose in-degree fell to zero while the previous one was removed,
// in that order. dag_longest_path: one pass over a topological order;
// is_aperiodic's divisor: one breadth-first search.
//
// Cost: O(n + m).
#include "algorithms/dag.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace fennel {

Generations generations(const Csr& succ, const Csr& in) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    Count remaining = 0;
    std::vector<Node> current;
    for (Node v = 0; v < n; ++v) {
        indeg[v] = in.end(v) - in.begin(v);
        if (indeg[v] == 0) {
            current.push_back(v);
        } else {
            ++remaining;
        }
    }
    Generations out;
    while (!current.empty()) {
        std::vector<Node> next;
        for (Node x : current) {
            for (Node w : succ.row(x)) {
                if (--indeg[w] == 0) {
                    next.push_back(w);
                    --remaining;
                }
            }
        }
        out.generations.push_back(std::move(current));
        current = std::move(next);
    }
    out.has_cycle = remaining != 0;
    return out;
}

Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    for (Node v = 0; v < n; ++v) indeg[v] = in.end(v) - in.begin(v);
    std::vector<std::uint8_t> seen(n, 0);
    for (Node p : processed) {
        if (p >= n) return index_error();
        // A node removed twice would take its out-edges away twice.
        if (seen[p]) return value_error("processed lists a node twice");
        seen[p] = 1;
        for (Node w : succ.row(p)) --indeg[w];
    }
    return indeg;
}

Result<LongestPath> longest_path_over(const Csr& pred, const std::vector<double>* weights,
                                     const std::vector<Node>& order) {
    const Count n = pred.node_count();
    constexpr Node UNSEEN = 0xFFFFFFFFu;
    std::vector<double> dist(n, 0.0);
    std::vector<Node> via(n, UNSEEN);  // the chosen predecessor, or the node itself
    std::vector<Node> first_seen;      // dist's keys, in insertion order
    LongestPath result;
    for (const Node v : order) {
        if (v >= n) return index_error();
        // max(us, key=...) keeps the first of equal lengths; NaN never wins
        // a comparison, as in Python.
        bool any = false;
        double best = 0.0;
        Node best_u = v;
        for (Slot s = pred.begin(v); s < pred.end(v); ++s) {
            const Node u = pred.targets[s];
            if (via[u] == UNSEEN) {
                result.missing = u;
                result.complete = false;
                return result;
            }
            const double length = dist[u] + (weights ? (*weights)[s] : 1.0);
            if (!any || length > best) {
                best = length;
                best_u = u;
                any = true;
            }
        }
        if (via[v] == UNSEEN) first_seen.push_back(v);
        if (any && best >= 0) {
            dist[v] = best;
            via[v] = best_u;
        } else {
            dist[v] = 0.0;
            via[v] = v;
        }
    }
    if (first_seen.empty()) return result;
    Node v = first_seen.front();
    for (const Node w : first_seen) {
        if (dist[w] > dist[v]) v = w;
    }
    // Each node's chosen predecessor was first visited before it (a node on
    // a cycle never is visited): the walk ends within n steps.
    for (Node u = UNSEEN; u != v; v = via[v]) {
        if (result.path.size() == n) return value_error("the chosen predecessors form a cycle");
        result.path.push_back(v);
        u = v;
    }
    std::reverse(result.path.begin(), result.path.end());
    return result;
}

std::uint64_t period_divisor(const Csr& succ, Node root) {
    const Count n = succ.node_count();
    constexpr std::int64_t UNSEEN = -1;
    std::vector<std::int64_t> level(n, UNSEEN);
    std::vector<Node> queue;
    queue.reserve(n);
    level[root] = 0;
    queue.push_back(root);
    std::int64_t g = 0;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const Node u = queue[head];
        for (const Node v : succ.row(u)) {
            if (level[v] == UNSEEN) {
                level[v] = level[u] + 1;
                queue.push_back(v);
            } else {
                g = std::gcd(g, level[u] - level[v] + 1);
            }
        }
    }
    return static_cast<std::uint64_t>(g);
}

}  // namespace fennel
