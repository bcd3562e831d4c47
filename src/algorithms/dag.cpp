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
#include <queue>
#include <utility>

namespace fennel {

namespace {

// Kahn's layering with in-degree counters of type Degree: the order is
// one array, each generation the stretch that the previous one appended.
template <class Degree>
Generations layered(const Csr& succ, const Csr& in) {
    const Count n = succ.node_count();
    std::vector<Degree> indeg(n);
    Generations out;
    out.order.reserve(n);
    // NetworkX's first generation: the nodes of in-degree 0, in G's order.
    for (Node v = 0; v < n; ++v) {
        indeg[v] = static_cast<Degree>(in.end(v) - in.begin(v));
        if (indeg[v] == 0) out.order.push_back(v);
    }
    std::size_t start = 0;
    while (start < out.order.size()) {
        const std::size_t end = out.order.size();
        out.bounds.push_back(start);
        // A node joins the next generation when its last incoming edge goes.
        for (std::size_t i = start; i < end; ++i) {
            for (Node w : succ.row(out.order[i])) {
                if (--indeg[w] == 0) out.order.push_back(w);
            }
        }
        start = end;
    }
    out.bounds.push_back(out.order.size());
    out.has_cycle = out.order.size() != n;
    return out;
}

}  // namespace

Generations generations(const Csr& succ, const Csr& in) {
    return in.slot_count() < 0xFFFFFFFFu ? layered<std::uint32_t>(succ, in) : layered<Count>(succ, in);
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

namespace fennel {

namespace {

constexpr Node NO_NODE = 0xFFFFFFFFu;

}  // namespace

// One breadth-first search per node. On an undirected graph each added
// edge also enters its head's row: by v's turn every earlier node of its
// component is there, and edge_bfs names v as a head only by a self-loop,
// met in v's own row. Stamps (the searching node, or the
// step) mark membership, so nothing is reset between searches: the cost
// is what each search reaches.
AddedEdges closure_edges(const Csr& succ, bool directed, const std::vector<std::int64_t>& hash, ClosureKind kind) {
    const Count n = succ.node_count();
    std::vector<Node> adjacent(n, NO_NODE);  // adjacent[w] == v: w in G[v]
    std::vector<Node> seen(n, NO_NODE);      // seen[w] == v: w discovered from v
    std::vector<Node> queue;
    AddedEdges out;
    auto emit = [&](Node v, Node w) {
        if (adjacent[w] == v || (!directed && w < v)) return;
        out.tails.push_back(v);
        out.heads.push_back(w);
    };
    for (Node v = 0; v < n; ++v) {
        for (Node w : succ.row(v)) adjacent[w] = v;
        queue.assign(1, v);
        seen[v] = v;
        bool self_met = false;
        for (std::size_t i = 0; i < queue.size(); ++i) {
            for (Node w : succ.row(queue[i])) {
                if (w == v) {
                    // edge_bfs starts with v visited: an edge back to v
                    // names it as a head without queueing it.
                    if (kind == ClosureKind::EDGE_BFS && !self_met && (directed || i == 0)) emit(v, v);
                    self_met = true;
                } else if (seen[w] != v) {
                    seen[w] = v;
                    queue.push_back(w);
                    if (kind == ClosureKind::EDGE_BFS) emit(v, w);
                }
            }
        }
        if (kind == ClosureKind::EDGE_BFS) continue;
        SetTable found;
        for (std::size_t i = 1; i < queue.size(); ++i) found.add(queue[i], hash[queue[i]]);
        if (kind == ClosureKind::WITH_SELF) {
            found = SetTable::copy_of(found);
            found.merge_one(v, hash[v]);
        }
        found.each([&](Node w) { emit(v, w); });
    }
    return out;
}

// The closure's rows grow as NetworkX's do: a node's added heads follow its
// own row, in the order they were added.
AddedEdges closure_dag_edges(const Csr& succ, const std::vector<std::int64_t>& hash, const std::vector<Node>& order) {
    const Count n = succ.node_count();
    std::vector<std::vector<Node>> rows(n);
    for (Node v = 0; v < n; ++v) rows[v].assign(succ.row(v).begin(), succ.row(v).end());
    std::vector<std::size_t> visited(n, order.size());  // visited[w] == step: w met in that step's layers
    AddedEdges out;
    for (std::size_t step = order.size(); step-- > 0;) {
        const Node v = order[step];
        visited[v] = step;
        std::vector<Node> first;
        for (Node w : rows[v]) {
            if (visited[w] != step) {
                visited[w] = step;
                first.push_back(w);
            }
        }
        SetTable second;
        for (Node x : first) {
            for (Node w : rows[x]) {
                if (visited[w] != step) {
                    visited[w] = step;
                    second.add(w, hash[w]);
                }
            }
        }
        second.each([&](Node w) {
            rows[v].push_back(w);
            out.tails.push_back(static_cast<Node>(step));
            out.heads.push_back(w);
        });
    }
    return out;
}

// NetworkX caches each neighbour's descendants until its last in-edge is
// seen; recomputing them from a stamp per search gives the same sets.
AddedEdges reduction_edges(const Csr& succ, const std::vector<std::int64_t>& hash) {
    const Count n = succ.node_count();
    std::vector<Count> reached(n, 0);  // reached[w] == search: w a descendant of that search's node
    Count search = 0;
    std::vector<Node> stack;
    std::vector<Node> members;
    AddedEdges out;
    for (Node u = 0; u < n; ++u) {
        SetTable nbrs;
        for (Node v : succ.row(u)) nbrs.add(v, hash[v]);
        for (Node v : succ.row(u)) {
            if (nbrs.size() == 0) break;
            if (!nbrs.contains(v, hash[v])) continue;
            // v's descendants (v itself excluded: G is acyclic).
            ++search;
            stack.assign(1, v);
            while (!stack.empty()) {
                const Node x = stack.back();
                stack.pop_back();
                for (Node w : succ.row(x)) {
                    if (reached[w] != search) {
                        reached[w] = search;
                        stack.push_back(w);
                    }
                }
            }
            members.clear();
            nbrs.each([&](Node w) { members.push_back(w); });
            for (Node w : members) {
                if (reached[w] == search) nbrs.discard(w, hash[w]);
            }
            nbrs.settle_dummies();
        }
        nbrs.each([&](Node v) {
            out.tails.push_back(u);
            out.heads.push_back(v);
        });
    }
    return out;
}

}  // namespace fennel

namespace fennel {

RankedOrder ranked_topological_order(const Csr& succ, const Csr& in, const std::vector<Node>& rank) {
    const Count n = succ.node_count();
    std::vector<Count> indeg(n);
    using Ready = std::pair<Node, Node>;  // (rank, position)
    std::priority_queue<Ready, std::vector<Ready>, std::greater<>> ready;
    for (Node v = 0; v < n; ++v) {
        indeg[v] = in.end(v) - in.begin(v);
        if (indeg[v] == 0) ready.emplace(rank[v], v);
    }
    RankedOrder out;
    out.order.reserve(n);
    while (!ready.empty()) {
        const Node v = ready.top().second;
        ready.pop();
        out.order.push_back(v);
        for (Node w : succ.row(v)) {
            if (--indeg[w] == 0) ready.emplace(rank[w], w);
        }
    }
    out.has_cycle = out.order.size() != n;
    return out;
}

// The closure's rows grow as in transitive_closure_dag; only membership
// matters here, so each row is sorted once built.
Antichains::Antichains(const Csr& succ, std::vector<Node> order, const std::vector<std::uint8_t>& allowed)
    : order_(std::move(order)) {
    const Count n = succ.node_count();
    closure_.resize(n);
    for (Node v = 0; v < n; ++v) closure_[v].assign(succ.row(v).begin(), succ.row(v).end());
    std::vector<std::size_t> visited(n, order_.size());
    for (std::size_t step = order_.size(); step-- > 0;) {
        const Node v = order_[step];
        visited[v] = step;
        const std::size_t first_end = closure_[v].size();
        std::vector<Node> first;
        for (std::size_t i = 0; i < first_end; ++i) {
            const Node w = closure_[v][i];
            if (visited[w] != step) {
                visited[w] = step;
                first.push_back(w);
            }
        }
        for (Node x : first) {
            for (Node w : closure_[x]) {
                if (visited[w] != step) {
                    visited[w] = step;
                    closure_[v].push_back(w);
                }
            }
        }
    }
    for (auto& row : closure_) std::sort(row.begin(), row.end());
    Frame start;
    // NetworkX's first stack is reversed(topo_order), popped from its end.
    for (std::size_t i = order_.size(); i-- > 0;) {
        if (allowed.empty() || allowed[order_[i]]) start.candidates.push_back(static_cast<Node>(i));
    }
    frames_.push_back(std::move(start));
}

bool Antichains::comparable(Node a, Node b) const {
    const Node u = order_[a];
    const Node v = order_[b];
    return std::binary_search(closure_[u].begin(), closure_[u].end(), v) ||
           std::binary_search(closure_[v].begin(), closure_[v].end(), u);
}

Antichains::Batch Antichains::next(std::size_t limit) {
    Batch out;
    out.bounds.push_back(0);
    while (!frames_.empty() && out.bounds.size() <= limit) {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        out.items.insert(out.items.end(), frame.antichain.begin(), frame.antichain.end());
        out.bounds.push_back(out.items.size());
        while (!frame.candidates.empty()) {
            const Node x = frame.candidates.back();
            frame.candidates.pop_back();
            Frame child;
            child.antichain = frame.antichain;
            child.antichain.push_back(x);
            for (Node t : frame.candidates) {
                if (!comparable(t, x)) child.candidates.push_back(t);
            }
            frames_.push_back(std::move(child));
        }
    }
    return out;
}

}  // namespace fennel

namespace fennel {

// count = dict(G.in_degree()): every edge into a node, parallel ones and
// self-loops included; D starts with the nodes of in-degree 0 in G's order.
TopologicalSorts::TopologicalSorts(Csr succ, std::vector<std::int64_t> parallel)
    : succ_(std::move(succ)), parallel_(std::move(parallel)) {
    const Count n = succ_.node_count();
    count_.assign(n, 0);
    for (Node u = 0; u < n; ++u) {
        for (Slot s = succ_.begin(u); s < succ_.end(u); ++s) count_[succ_.targets[s]] += edges(s);
    }
    for (Node v = 0; v < n; ++v) {
        if (count_[v] == 0) d_.push_back(v);
    }
    current_.reserve(n);
    bases_.reserve(n);
}

// NetworkX's do-while loop, step for step: a full sort is yielded, then the
// stack is unwound while the base of each position comes back to D's end;
// otherwise D's last node is chosen and its out-edges erased.
TopologicalSorts::Batch TopologicalSorts::next(std::size_t limit) {
    const Count n = succ_.node_count();
    Batch out;
    while (!finished_ && out.count < limit) {
        if (unwind_) {
            unwind_ = false;
            while (!current_.empty()) {
                const Node q = current_.back();
                current_.pop_back();
                // Restores the edges (q, x).
                for (Slot s = succ_.begin(q); s < succ_.end(q); ++s) count_[succ_.targets[s]] += edges(s);
                while (!d_.empty() && count_[d_.back()] > 0) d_.pop_back();
                // A circular shift of D: once the base of this position is
                // last in D again, every choice for it has been made.
                d_.push_front(q);
                if (d_.back() == bases_.back()) {
                    bases_.pop_back();
                } else {
                    break;
                }
            }
            if (bases_.empty()) finished_ = true;
            continue;
        }
        if (current_.size() == n) {
            out.nodes.insert(out.nodes.end(), current_.begin(), current_.end());
            ++out.count;
            unwind_ = true;
            continue;
        }
        if (d_.empty()) {
            out.cycle = true;
            finished_ = true;
            break;
        }
        const Node q = d_.back();
        d_.pop_back();
        // Erases the edges (q, x).
        for (Slot s = succ_.begin(q); s < succ_.end(q); ++s) {
            const Node j = succ_.targets[s];
            count_[j] -= edges(s);
            if (count_[j] == 0) d_.push_back(j);
        }
        current_.push_back(q);
        if (bases_.size() < current_.size()) bases_.push_back(q);
    }
    out.done = finished_;
    return out;
}

}  // namespace fennel
