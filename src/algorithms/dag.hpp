// Topological generations, in the order NetworkX's generator yields them,
// and the longest path along such an order.
#pragma once

#include "algorithms/components.hpp"
#include "algorithms/set_table.hpp"
#include "graph/core_graph.hpp"

#include <cstdint>
#include <deque>
#include <vector>

namespace fennel {

// Generation k is order[bounds[k], bounds[k + 1]); `bounds` has one more
// entry than there are generations.
struct Generations {
    std::vector<Node> order;
    std::vector<std::size_t> bounds;
    bool has_cycle = false;
};

Generations generations(const Csr& succ, const Csr& in);

// In-degrees left after removing the out-edges of `processed` (distinct
// positions below n).
Result<std::vector<Count>> indegrees_after(const Csr& succ, const Csr& in, const std::vector<Node>& processed);

// NetworkX's dag_longest_path over `order` (positions; a node may recur):
// each node's distance is the first largest dist[u] + w(u, v) over its
// predecessors in G.pred's order, or 0 (the node itself) when it has none
// or the best is negative; the path ends at the first node of largest
// distance in order of first visit and follows the chosen predecessors
// back. `weights` per slot of `pred` (nullptr: unit weights). A predecessor
// not yet visited stops the walk, as NetworkX's dict lookup fails there:
// `missing` is that predecessor.
struct LongestPath {
    std::vector<Node> path;
    Node missing = 0;
    bool complete = true;
};
Result<LongestPath> longest_path_over(const Csr& pred, const std::vector<double>* weights,
                                     const std::vector<Node>& order);

// The gcd of level[u] - level[v] + 1 over the edges (u, v) reached from
// `root`, levels by breadth-first search: for a strongly connected graph
// the gcd of its cycle lengths (its period), whichever search tree gives
// the levels; 0 when no cycle is reached.
std::uint64_t period_divisor(const Csr& succ, Node root);

// Edges a graph constructor adds, in the order NetworkX adds them.
struct AddedEdges {
    std::vector<Node> tails;
    std::vector<Node> heads;
};

// Which targets transitive_closure adds from each node v (`reflexive`
// False, None, True): the heads of nx.edge_bfs(G, v) in order of first
// appearance (v itself once an edge comes back to it); the set
// nx.descendants(G, v), filled in breadth-first order; that set | {v}.
// Each in its iteration order, replayed from `hash` (hash() of each node),
// without the heads already in v's row of the closure being built.
enum class ClosureKind : std::uint8_t { EDGE_BFS, DESCENDANTS, WITH_SELF };
AddedEdges closure_edges(const Csr& succ, bool directed, const std::vector<std::int64_t>& hash, ClosureKind kind);

// transitive_closure_dag over `order` (positions, a node may recur): for v
// in reversed(order), the set of the third breadth-first layer from v in
// the closure built so far (rows of `succ` followed by the heads added to
// them), in its iteration order. `tails` holds each edge's index into
// `order`, so that the caller's own objects become the keys NetworkX stores.
AddedEdges closure_dag_edges(const Csr& succ, const std::vector<std::int64_t>& hash, const std::vector<Node>& order);

// transitive_reduction of a DAG: for each u in G's order, set(G[u]) less
// the descendants of each neighbour still in it (met in row order), in the
// final iteration order of that set, its table replayed from `hash`.
AddedEdges reduction_edges(const Csr& succ, const std::vector<std::int64_t>& hash);

// lexicographical_topological_sort when the nodes compare by `rank` (a
// permutation of positions; the smaller pops first): Kahn's order with a
// heap of ready nodes. `has_cycle`: some node never became ready.
struct RankedOrder {
    std::vector<Node> order;
    bool has_cycle = false;
};
RankedOrder ranked_topological_order(const Csr& succ, const Csr& in, const std::vector<Node>& rank);

// antichains over `order` (positions, a node may recur), handed out in
// batches: NetworkX's stack of (antichain, candidates) pairs, two items
// comparable when either is in the other's row of transitive_closure_dag
// over the same order. Items are indices into `order`. With `allowed`
// (one flag per node; empty: every node), only the antichains of allowed
// nodes, in the same relative order: every antichain holding another node
// has an ancestor in the stack that does, so they are cut off at the root.
class Antichains {
public:
    Antichains(const Csr& succ, std::vector<Node> order, const std::vector<std::uint8_t>& allowed = {});

    struct Batch {
        std::vector<Node> items;
        std::vector<std::size_t> bounds;  // antichain i is items[bounds[i], bounds[i + 1])
    };
    // Up to `limit` antichains more (fewer: the last ones).
    Batch next(std::size_t limit);
    std::size_t order_size() const { return order_.size(); }

private:
    bool comparable(Node a, Node b) const;

    struct Frame {
        std::vector<Node> antichain;
        std::vector<Node> candidates;
    };
    std::vector<Node> order_;
    std::vector<std::vector<Node>> closure_;  // sorted rows of the closure
    std::vector<Frame> frames_;
};

// all_topological_sorts (Knuth and Szwarcfiter), as NetworkX's iterative
// version runs it: the counts of edges not yet erased, the deque D of nodes
// free to come next, the bases of the positions; `parallel` gives the
// edge count of each slot of `succ` (empty: one edge per slot), so a
// multigraph's counts move as NetworkX's loop over out_edges moves them.
class TopologicalSorts {
public:
    TopologicalSorts(Csr succ, std::vector<std::int64_t> parallel);

    struct Batch {
        std::vector<Node> nodes;  // the sorts one after another, n nodes each
        std::size_t count = 0;
        bool cycle = false;  // NetworkX raises after these sorts
        bool done = false;   // no sort comes after these
    };
    // Up to `limit` sorts more. The stack is unwound on the step after a
    // sort, as NetworkX's generator resumes after its yield.
    Batch next(std::size_t limit);
    Count node_count() const { return succ_.node_count(); }

    // The loop's state right after the last sort handed out (count, D from
    // its front, bases, the sort): what NetworkX's generator holds there.
    struct State {
        std::vector<std::int64_t> count;
        std::vector<Node> d, bases, current;
    };
    State state() const { return {count_, {d_.begin(), d_.end()}, bases_, current_}; }

private:
    std::int64_t edges(Slot s) const { return parallel_.empty() ? 1 : parallel_[s]; }

    Csr succ_;
    std::vector<std::int64_t> parallel_;  // empty: one edge per slot
    std::vector<std::int64_t> count_;
    std::deque<Node> d_;
    std::vector<Node> bases_, current_;
    bool unwind_ = false;  // a sort was handed out: the stack is unwound next
    bool finished_ = false;
};

}  // namespace fennel
